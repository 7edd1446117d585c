#include "app/md5_checksum.h"

#include <gtest/gtest.h>

namespace {

TEST(PasswordDigest, IsTheLowerCaseMd5OfTheTrimmedPasswordUnlessItIsTheStoredDigest) {
    // RFC 1321's test suite.
    EXPECT_EQ(CMD5Checksum::GetMD5(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(CMD5Checksum::GetMD5("abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(CMD5Checksum::GetMD5("message digest"), "f96b697d7cb7938d525a2f31aaf161d0");

    const std::string stored = "5ebe2294ecd0e0f08eab7690d2a6ee69";  // the digest of "secret"
    // Typed back unchanged, the stored value is already what the service expects.
    EXPECT_EQ(LogonPasswordDigest(stored, stored), stored);
    EXPECT_EQ(LogonPasswordDigest(" \tsecret\r\n", stored), stored);
    EXPECT_EQ(LogonPasswordDigest("secret", ""), stored);
    // The stored digest with a blank around it is no longer the stored value: it is a password.
    EXPECT_EQ(LogonPasswordDigest(" " + stored, stored), "7022cd14c42ff272619d6beacdc9ffde");
    EXPECT_EQ(LogonPasswordDigest("   ", stored), "");
    EXPECT_EQ(LogonPasswordDigest("", stored), "");
    // Spaces inside the password count.
    EXPECT_NE(LogonPasswordDigest("sec ret", ""), stored);
    // Digested from the UTF-8 bytes.
    EXPECT_EQ(LogonPasswordDigest("密码", ""), "a8105204604a0b11e916f3879aae3b0b");
}

}  // namespace
