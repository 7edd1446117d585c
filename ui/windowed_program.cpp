#include "ui/windowed_program.h"

#include <time.h>

#include <QApplication>
#include <QIcon>
#include <QProcess>
#include <memory>

#include "app/app_config.h"
#include "app/application_directory.h"
#include "app/language_choice.h"
#include "app/language_table.h"
#include "app/shell_loop.h"
#include "app/version_check.h"
#include "app/web_session.h"
#include "media/audio_mixer.h"
#include "media/codec_factory.h"
#include "platform/log.h"
#include "scene/file_device_list.h"
#include "scene/video_device_list.h"
#include "ui/dialog_runner.h"
#include "ui/logon_dialog.h"
#include "ui/main_dialog.h"
#include "ui/msg_panel.h"
#include "ui/quit_signals.h"
#include "ui/single_instance.h"
#include "ui/skin.h"
#include "ui/skin_dialog.h"
#include "ui/studio_context.h"

namespace {

// The name the updater is told the program has.
constexpr const char* kProgramFileName = "brevacastpc";

// Every window that runs, top first, ends as the user's quit would.
void QuitRunningWindows() {
    std::vector<CSkinDialog*> running = CSkinDialog::Running();
    for (auto it = running.rbegin(); it != running.rend(); ++it) (*it)->QuitAsRequested();
}

void BringRunningWindowsForward() {
    Log(LogLevel::kInfo, "ui", "brought forward at another start's request");
    for (CSkinDialog* window : CSkinDialog::Running()) window->BringForward();
}

class CShellWindows : public IShellWindows {
public:
    explicit CShellWindows(StudioContext* context) : context_(context) {}

    bool RunLogon(bool firstOfRun) override {
        if (CQuitSignals::Requested()) return false;
        CLogonDlg logon(context_, firstOfRun);
        Log(LogLevel::kInfo, "ui", "logon window shown");
        return logon.exec() == QDialog::Accepted && !CQuitSignals::Requested();
    }

    int RunMain() override {
        if (CQuitSignals::Requested()) return QDialog::Rejected;
        CBrevacastPCDlg main(context_);
        Log(LogLevel::kInfo, "ui", "main window shown");
        const int result = main.exec();
        return CQuitSignals::Requested() ? QDialog::Rejected : result;
    }

private:
    StudioContext* context_;
};

}  // namespace

bool LaunchUpdater(const std::string& programDirectory, const std::string& versionService) {
    const QString updater = QString::fromStdString(programDirectory) + "/UpdateRunner";
    return QProcess::startDetached(updater, {QString::fromStdString(versionService), kProgramFileName});
}

int RunWindowedProgram(const WindowedOptions& options) {
    int argc = options.argc;
    QApplication application(argc, options.argv);
    QApplication::setApplicationName("brevacast");
    // The windows are modal dialogs run one after the other; no window closing ends the program.
    QApplication::setQuitOnLastWindowClosed(false);

    // A developer's single dialog runs beside the studio and needs no newer version.
    const bool oneDialog = !options.dialog.empty();
    CSingleInstance instance;
    if (!oneDialog) {
        if (!instance.Claim()) return 0;
        instance.OnRaiseRequested(BringRunningWindowsForward);
    }

    StudioContext context;
    context.programDirectory = AppConfig::ExecutableDir();
    const std::string appDirectory = ApplicationDirectory(context.programDirectory);
    context.deployment = LoadDeploymentValues(appDirectory);
    const std::string version = GetFileVersionString();
    context.versionText = "V" + version;

    const std::string serverVersion = oneDialog ? std::string() : FetchServerVersion(context.deployment.VersionService);
    if (IsServerVersionNewer(version, serverVersion)) {
        Log(LogLevel::kInfo, "ui", "version %s is available (this is %s)", serverVersion.c_str(), version.c_str());
        if (LaunchUpdater(context.programDirectory, context.deployment.VersionService)) return 0;
        // Without its updater the program still works: it goes on in the version it has.
        Log(LogLevel::kWarning, "ui", "the updater could not be started; going on with version %s", version.c_str());
    }

    const std::string configPath =
        options.configPath.empty() ? AppConfig::DefaultConfigPath(context.programDirectory) : options.configPath;
    auto config = std::make_unique<AppConfig>(configPath, HardwareEncodingAvailable);
    ApplyLanguage(config->Language);
    CSkin::Current().Choose(appDirectory, config->Language);
    QApplication::setWindowIcon(QIcon(QString::fromStdString(CSkin::Current().SkinFolder() + "/icon.png")));

    timespec now{};
    if (clock_gettime(CLOCK_MONOTONIC, &now) != 0) ShowMessage(GetText(kTextNoHardwareClock));

    // The process-wide objects, in order; torn down in reverse below.
    auto session = std::make_unique<CWebSession>(context.deployment);
    session->SetServer(config->ServerURL);
    session->SetPortraitPlaceholder(CSkin::Current().PortraitPlaceholder().toStdString());
    auto mixer = std::make_unique<CAudioMixer>(config->SampleRate);
    auto media = std::make_unique<CFileDeviceList>(mixer.get(), config->SampleRate);
    auto cameras = std::make_unique<CVideoDeviceList>();
    context.config = config.get();
    context.session = session.get();
    context.mixer = mixer.get();
    context.media = media.get();
    context.cameras = cameras.get();

    CQuitSignals quitSignals(QuitRunningWindows);
    int status = 0;
    if (oneDialog) {
        status = RunDialogOnItsOwn(options.dialog, &context);
    } else {
        CShellWindows windows(&context);
        RunShellLoop([&session] { return session->Kind(); }, windows);
    }

    media.reset();
    cameras.reset();
    mixer.reset();
    session.reset();
    config.reset();
    return status;
}
