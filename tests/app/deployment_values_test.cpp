#include "app/deployment_values.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "app/server_address.h"

namespace {

class DeploymentFile : public ::testing::Test {
protected:
    void SetUp() override {
        unsetenv(kDeploymentEnvVar);
        char pattern[] = "/tmp/bv-deploy-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        unsetenv(kDeploymentEnvVar);
        std::filesystem::remove_all(dir_);
    }
    void Write(const std::string& name, const std::string& text) {
        std::ofstream(dir_ + "/" + name, std::ios::binary) << text;
    }

    std::string dir_;
};

TEST_F(DeploymentFile, IsReadFromTheProgramFolderPastCommentsBlanksAndJunk) {
    Write("deployment.ini",
          "\xEF\xBB\xBF# the operator's values\r\n"
          "; another comment\n"
          "\n"
          "  PortalAddress1 =  http://portal.example:8080/  \r\n"
          "PortalAddress2=\n"
          "VersionService=http://127.0.0.1:8080/\n"
          "a line without an equals sign\n"
          "Colour=blue\n"
          "=no key\n"
          "RegistrationHost = http://www.example/\n"
          "WebSite=http://first.example\n"
          "WebSite=http://site.example");
    const DeploymentValues values = LoadDeploymentValues(dir_);
    EXPECT_EQ(values.PortalAddress1, "http://portal.example:8080/");
    EXPECT_EQ(values.PortalAddress2, "");
    EXPECT_EQ(values.VersionService, "http://127.0.0.1:8080/");
    EXPECT_EQ(values.RegistrationHost, "http://www.example/");
    EXPECT_EQ(values.WebSite, "http://site.example");
    EXPECT_EQ(RegistrationPageUrl(values), "http://www.example/v2/register.jsp");
}

TEST_F(DeploymentFile, TheEnvironmentNamesAnotherFileAndNoFileMeansEmptyValues) {
    Write("deployment.ini", "PortalAddress1=http://folder.example/\n");
    Write("other.ini", "PortalAddress1=http://other.example/\nRegistrationHost=\n");
    setenv(kDeploymentEnvVar, (dir_ + "/other.ini").c_str(), 1);
    EXPECT_EQ(LoadDeploymentValues(dir_).PortalAddress1, "http://other.example/");

    setenv(kDeploymentEnvVar, (dir_ + "/absent.ini").c_str(), 1);
    const DeploymentValues none = LoadDeploymentValues(dir_);
    EXPECT_EQ(none.PortalAddress1 + none.PortalAddress2 + none.VersionService + none.RegistrationHost + none.WebSite,
              "");
    EXPECT_EQ(RegistrationPageUrl(none), "");

    // Set but empty is as good as unset.
    setenv(kDeploymentEnvVar, "", 1);
    EXPECT_EQ(LoadDeploymentValues(dir_).PortalAddress1, "http://folder.example/");
    // A folder in place of the file reads as no file.
    unsetenv(kDeploymentEnvVar);
    EXPECT_EQ(LoadDeploymentValues(dir_ + "/absent-folder").PortalAddress1, "");

    // Named by mistake: a pipe nobody writes to (reading it would hold the start-up for ever) and a
    // file far too large to be one; both give the built-in values.
    ASSERT_EQ(mkfifo((dir_ + "/pipe").c_str(), 0600), 0);
    setenv(kDeploymentEnvVar, (dir_ + "/pipe").c_str(), 1);
    EXPECT_EQ(LoadDeploymentValues(dir_).PortalAddress1, "");
    Write("huge.ini", "PortalAddress1=http://huge.example/\n" + std::string(1 << 20, '#'));
    setenv(kDeploymentEnvVar, (dir_ + "/huge.ini").c_str(), 1);
    EXPECT_EQ(LoadDeploymentValues(dir_).PortalAddress1, "");
}

TEST(ServerKindWithDeployment, OnlyTheDeploymentsPortalAddressesArePortals) {
    DeploymentValues deployment;
    deployment.PortalAddress1 = "http://127.0.0.1:18080/";  // PortalAddress2 stays empty and matches nothing

    const ServerAddressInfo rtmp = ClassifyServerAddress(" rtmp://host:1936/live/77 ", deployment);
    EXPECT_EQ(rtmp.kind, kServerDirectRtmp);
    EXPECT_EQ(rtmp.publishUrl + " " + std::to_string(rtmp.port) + " " + std::to_string(rtmp.tube),
              "rtmp://host:1936/live/77 1936 77");

    EXPECT_EQ(ClassifyServerAddress("http://host/x", deployment).kind, kServerStream);
    EXPECT_EQ(ClassifyServerAddress("ftp://host", deployment).kind, kServerNone);
    EXPECT_EQ(ClassifyServerAddress("host/live/77", deployment).kind, kServerNone);
    EXPECT_EQ(ClassifyServerAddress("", deployment).kind, kServerNone);
    EXPECT_EQ(ClassifyServerAddress("http://127.0.0.1:18080/PortalService", deployment).kind, kServerPortal);
    // The built-in example portal is not this deployment's.
    EXPECT_EQ(ClassifyServerAddress("http://portal.brevacast.example/PortalService.asmx", deployment).kind,
              kServerStream);

    const DeploymentValues without_portals;
    EXPECT_EQ(ClassifyServerAddress("http://127.0.0.1:18080/PortalService", without_portals).kind, kServerStream);
    EXPECT_EQ(ClassifyServerAddress("rtmp://host/live/1", without_portals).kind, kServerDirectRtmp);
}

}  // namespace
