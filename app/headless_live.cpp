#include "app/headless_live.h"

#include <signal.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <vector>

#include "app/app_config.h"
#include "app/application_directory.h"
#include "app/deployment_values.h"
#include "app/language_choice.h"
#include "app/language_table.h"
#include "app/live_session.h"
#include "app/live_settings.h"
#include "app/scene_restore.h"
#include "app/server_address.h"
#include "media/audio_mixer.h"
#include "media/codec_factory.h"
#include "media/live_engine.h"
#include "platform/log.h"
#include "platform/queue_window_target.h"
#include "platform/window_messages.h"
#include "scene/file_device_list.h"
#include "scene/scene.h"
#include "scene/video_device_list.h"

namespace {

std::atomic<bool> g_stopRequested{false};

void OnStopSignal(int) { g_stopRequested = true; }

// The scene's notifications that a headless run acts on: a media file that ended with "hide at
// the end" gets its layer hidden, as the sources panel does.
void HandleSceneEvents(CScene* scene, CQueueWindowTarget* events) {
    for (const ThreadMessage& m : events->TakeAll())
        if (m.code == WM_SCENE_FILE_ENDED) scene->SetLayerVisible(reinterpret_cast<const LayerNode*>(m.wParam), false);
}

void PrintStatus(int32_t state, intptr_t detail) {
    if (state == kEngineLiveRecording || state == kEngineLivePublishing) {
        std::printf("live %s\n", FormatLiveElapsed(static_cast<uint32_t>(detail)).c_str());
    } else {
        const int index = LiveStatusTextIndex(state);
        if (index >= 0) std::printf("%s\n", GetText(index).c_str());
    }
    std::fflush(stdout);
}

// Prints the engine's status reports: elapsed-time reports come once a second, other states are
// shown when they change.
class CStatusPrinter {
public:
    void Show(const ThreadMessage& m) {
        if (m.code != WM_LIVE_STATUS) return;
        const auto state = static_cast<int32_t>(m.wParam);
        if (state != lastState_ || state == kEngineLiveRecording || state == kEngineLivePublishing)
            PrintStatus(state, m.lParam);
        lastState_ = state;
    }

private:
    int32_t lastState_ = -1;
};

}  // namespace

int RunHeadlessLive(const HeadlessOptions& options) {
    AppConfig config(options.configPath, HardwareEncodingAvailable);
    if (config.LastLoadResult() == AppConfig::LoadResult::kBrokenKeptAside)
        Log(LogLevel::kWarning, "app", "%s could not be read; kept as %s, using the defaults", config.Path().c_str(),
            config.KeptAsidePath().c_str());
    ApplyLanguage(config.Language);

    const ServerAddressInfo server =
        ClassifyServerAddress(config.ServerURL, LoadDeploymentValues(ApplicationDirectory(AppConfig::ExecutableDir())));
    if (server.kind == kServerPortal || server.kind == kServerStream) {
        Log(LogLevel::kError, "app",
            "%s needs an interactive logon; a headless live publishes to an rtmp:// address or "
            "records without a server",
            config.ServerURL.c_str());
        return 2;
    }
    const LiveSettings settings =
        LiveSettings::From(config, server.kind, server.publishToUrl, server.publishUrl, options.record);

    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);

    // Made in the main window's order and destroyed in reverse: the scene (whose layers hold
    // devices) goes before the device registries, and they go before the mixer.
    CAudioMixer mixer(config.SampleRate);
    mixer.EnumerateEndpoints(CAudioMixer::kFlowCapture);
    mixer.EnumerateEndpoints(CAudioMixer::kFlowRender);
    mixer.SelectDevices(config.MicAudioDevice, config.SpkAudioDevice);
    mixer.SetMicrophoneGain(config.MicGain);
    mixer.SetSystemSoundGain(config.SpkGain);
    CFileDeviceList media(&mixer, config.SampleRate);
    CVideoDeviceList cameras;

    CQueueWindowTarget sceneEvents;
    CScene scene(nullptr);
    scene.SetNotificationWindow(&sceneEvents);
    media.SetFileEndedHandler([&scene](const CFileDevice* device) { scene.NotifyFileEnded(device); });
    struct FileEndedLink {
        CFileDeviceList* media;
        ~FileEndedLink() { media->SetFileEndedHandler(nullptr); }
    } fileEndedLink{&media};
    scene.SetFrameRate(config.Framerate);
    if (!scene.Initialise(config.FrameSizeCX, config.FrameSizeCY, 0)) {
        Log(LogLevel::kError, "app", "cannot create a %dx%d canvas", config.FrameSizeCX, config.FrameSizeCY);
        return 1;
    }
    const int restored = RestoreStoredScene(&scene, config, &cameras, &media);
    std::printf("scene: %dx%d at %d fps, %d sources\n", config.FrameSizeCX, config.FrameSizeCY, config.Framerate,
                restored);

    CQueueWindowTarget window;
    CLiveEngine engine(&window);
    // Media sound is taken only while the engine runs a live; the registry forgets the engine
    // before it is destroyed.
    media.SetLiveEngine(&engine);
    struct EngineLink {
        CFileDeviceList* media;
        ~EngineLink() { media->SetLiveEngine(nullptr); }
    } engineLink{&media};
    LiveSession session(&engine, LiveProducers::Of(&scene, &mixer));

    std::printf("%s\n",
                settings.publishEnabled
                    ? ("publishing to " + settings.publishUrl + (settings.recordEnabled ? ", recording" : "")).c_str()
                    : "recording only (no server)");
    std::fflush(stdout);
    // The start runs on its own thread so that Ctrl+C cuts a connection to a silent server short.
    CStatusPrinter printer;
    session.BeginStart(settings, &window);
    LiveStartResult started = LiveStartResult::kCancelled;
    for (;;) {
        if (g_stopRequested) session.Stop();
        ThreadMessage m;
        if (!window.Take(&m, std::chrono::milliseconds(100))) continue;
        if (m.code != WM_LIVE_START_DONE) {
            printer.Show(m);
            continue;
        }
        std::string failure;
        started = session.FinishStart(&failure);
        if (started != LiveStartResult::kLive) {
            for (const ThreadMessage& rest : window.TakeAll()) printer.Show(rest);
            if (started == LiveStartResult::kFailed) std::printf("%s\n", failure.c_str());
            scene.Destroy();
            return started == LiveStartResult::kFailed ? 1 : 0;
        }
        break;
    }

    const auto start = std::chrono::steady_clock::now();
    const auto end = start + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                 std::chrono::duration<double>(options.durationSeconds));
    while (!g_stopRequested && (options.durationSeconds <= 0 || std::chrono::steady_clock::now() < end)) {
        HandleSceneEvents(&scene, &sceneEvents);
        ThreadMessage m;
        if (window.Take(&m, std::chrono::milliseconds(100))) printer.Show(m);
    }

    const double liveSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const uint64_t encoded = scene.ComposeThread().FramesEncoded();
    session.Stop();
    for (const ThreadMessage& m : window.TakeAll())
        if (m.code == WM_LIVE_STATUS && static_cast<int32_t>(m.wParam) != kEngineLiveRecording &&
            static_cast<int32_t>(m.wParam) != kEngineLivePublishing)
            PrintStatus(static_cast<int32_t>(m.wParam), m.lParam);
    scene.Destroy();
    std::printf("encoded %llu frames (%.2f fps)\n", static_cast<unsigned long long>(encoded),
                liveSeconds > 0 ? static_cast<double>(encoded) / liveSeconds : 0.0);
    if (settings.recordEnabled) std::printf("recording: %s\n", engine.RecordPath().c_str());
    return 0;
}

namespace {

// A 24-bit BMP with a colour gradient and a few bars: something recognisable on screen.
bool WriteDemoPicture(const std::string& path, int w, int h) {
    const int rowBytes = (w * 3 + 3) & ~3;
    const uint32_t pixelBytes = static_cast<uint32_t>(rowBytes) * h;
    std::vector<uint8_t> file(54 + pixelBytes, 0);
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) file[at + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    file[0] = 'B';
    file[1] = 'M';
    put32(2, static_cast<uint32_t>(file.size()));
    put32(10, 54);
    put32(14, 40);
    put32(18, static_cast<uint32_t>(w));
    put32(22, static_cast<uint32_t>(h));
    file[26] = 1;
    file[28] = 24;
    put32(34, pixelBytes);
    for (int y = 0; y < h; ++y) {
        uint8_t* row = file.data() + 54 + static_cast<size_t>(h - 1 - y) * rowBytes;  // bottom-up rows
        for (int x = 0; x < w; ++x) {
            const bool bar = (x / (w / 8)) % 2 == 0 && y > h * 2 / 3;
            row[x * 3 + 0] = static_cast<uint8_t>(bar ? 255 : 255 * y / h);
            row[x * 3 + 1] = static_cast<uint8_t>(bar ? 255 : 128);
            row[x * 3 + 2] = static_cast<uint8_t>(bar ? 255 : 255 * x / w);
        }
    }
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
    return static_cast<bool>(out);
}

std::string Escape(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '&')
            out += "&amp;";
        else if (c == '<')
            out += "&lt;";
        else if (c == '>')
            out += "&gt;";
        else
            out += c;
    }
    return out;
}

}  // namespace

bool WriteDemoSettings(const std::string& folder, const std::string& recordFolder, std::string* configPath) {
    mkdir(folder.c_str(), 0755);
    const std::string picture = folder + "/demo_picture.bmp";
    if (!WriteDemoPicture(picture, 640, 360)) return false;
    *configPath = folder + "/Config.xml";
    std::ofstream out(*configPath, std::ios::binary | std::ios::trunc);
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Config><ServerURL></ServerURL>"
        << "<LocalSaveFolder>" << Escape(recordFolder) << "</LocalSaveFolder>"
        << "<FrameSizeCX>1280</FrameSizeCX><FrameSizeCY>720</FrameSizeCY><Bitrate>2048</Bitrate>"
        << "<UseIpp>0</UseIpp><Language>en</Language><Scene>"
        // Top first: the caption above the picture.
        << "<SceneSource><type>2</type><SourceName>BrevacastPC demo live</SourceName><Left>40</Left><Top>40</Top>"
           "<Right>680</Right><Bottom>100</Bottom><KeepRatio>0</KeepRatio><Visible>1</Visible><BorderWidth>0"
           "</BorderWidth><BorderColor>0</BorderColor><FaceName>DejaVu Sans</FaceName><rgbColor>16777215</rgbColor>"
           "<Bold>1</Bold><Italic>0</Italic><UnderLine>0</UnderLine><StrikeOut>0</StrikeOut><Hollow>0</Hollow>"
           "<MoveSpeed>1</MoveSpeed><MoveDirection>1</MoveDirection></SceneSource>"
        << "<SceneSource><type>0</type><SourceName>" << Escape(picture)
        << "</SourceName><Left>0</Left><Top>0</Top><Right>720</Right><Bottom>405</Bottom><KeepRatio>0</KeepRatio>"
           "<Visible>1</Visible><BorderWidth>0</BorderWidth><BorderColor>0</BorderColor><Alpha>255</Alpha>"
           "</SceneSource></Scene></Config>";
    return static_cast<bool>(out);
}
