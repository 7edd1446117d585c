#include "app/program_main.h"

#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/app_config.h"
#include "app/application_directory.h"
#include "app/headless_live.h"
#include "app/language_choice.h"
#include "app/language_table.h"
#include "app/scene_restore.h"
#include "media/codec_factory.h"
#include "platform/log.h"
#include "platform/media_clock.h"
#include "scene/file_device_list.h"
#include "scene/scene.h"
#include "scene/video_device_list.h"

namespace {

volatile std::sig_atomic_t g_stop = 0;

void OnSignal(int) { g_stop = 1; }

struct Options {
    std::string configPath;
    std::string dialog;
    double seconds = 3.0;
    std::string snapshot;
    bool headless = false;
    bool demo = false;
    bool record = false;
    double duration = 0.0;
    bool durationGiven = false;
    bool secondsGiven = false;
};

void Usage() {
    std::fprintf(stderr,
                 "usage: brevacastpc [--config PATH]\n"
                 "       brevacastpc --headless [--config PATH] [--duration SECONDS] [--record]\n"
                 "       brevacastpc --demo [--duration SECONDS]\n"
                 "       brevacastpc --seconds N [--config PATH] [--snapshot FILE.ppm]\n"
                 "  --headless         run a live from the settings without windows; stops after\n"
                 "                     --duration seconds, or on Ctrl+C / SIGTERM\n"
                 "  --record           record locally as well as publishing\n"
                 "  (no mode)          the studio's windows; without a display, the demonstration\n"
                 "  --demo             a short recorded live of a built-in scene\n"
                 "  --config PATH      settings file (default: Config.xml beside the program, else\n"
                 "                     ~/.config/brevacast/Config.xml)\n"
                 "  --seconds N        how long to compose before stopping (default 3; Ctrl+C stops early)\n"
                 "  --snapshot FILE    write the last composed frame as a binary PPM\n");
}

bool ParseOptions(int argc, char** argv, Options* o) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](std::string* out) {
            if (i + 1 >= argc) return false;
            *out = argv[++i];
            return true;
        };
        std::string v;
        if (arg == "--config") {
            if (!value(&o->configPath)) return false;
        } else if (arg == "--seconds") {
            if (!value(&v)) return false;
            char* end = nullptr;
            o->seconds = std::strtod(v.c_str(), &end);
            if (end == v.c_str() || *end != '\0' || !(o->seconds >= 0.0) || o->seconds > 86400.0) return false;
            o->secondsGiven = true;
        } else if (arg == "--dialog") {
            if (!value(&o->dialog)) return false;
        } else if (arg == "--snapshot") {
            if (!value(&o->snapshot)) return false;
        } else if (arg == "--duration") {
            if (!value(&v)) return false;
            char* end = nullptr;
            o->duration = std::strtod(v.c_str(), &end);
            if (end == v.c_str() || *end != '\0' || !(o->duration >= 0.0) || o->duration > 31.0 * 86400.0) return false;
            o->durationGiven = true;
        } else if (arg == "--headless") {
            o->headless = true;
        } else if (arg == "--record") {
            o->record = true;
        } else if (arg == "--demo") {
            o->demo = true;
        } else {
            return false;
        }
    }
    return true;
}

bool WritePpm(const std::string& path, const std::vector<uint8_t>& bgr, int w, int h) {
    std::ofstream out(path, std::ios::binary);
    if (!out) return false;
    out << "P6\n" << w << " " << h << "\n255\n";
    std::vector<uint8_t> row(static_cast<size_t>(w) * 3);
    for (int y = 0; y < h; ++y) {
        const uint8_t* src = bgr.data() + static_cast<size_t>(y) * w * 3;
        for (int x = 0; x < w; ++x) {
            row[x * 3 + 0] = src[x * 3 + 2];
            row[x * 3 + 1] = src[x * 3 + 1];
            row[x * 3 + 2] = src[x * 3 + 0];
        }
        out.write(reinterpret_cast<const char*>(row.data()), static_cast<std::streamsize>(row.size()));
    }
    return static_cast<bool>(out);
}

// Where the demonstration keeps its scene and recording: beside the program in a build tree or a
// portable folder, in the user's data folder once installed (also for a user who could write into
// the installed program's folder).
std::string DemoFolder() {
    const std::string exeDir = AppConfig::ExecutableDir();
    const std::string beside = (exeDir.empty() ? std::string(".") : exeDir) + "/demo";
    if (ProgramFolderKeepsItsFiles(exeDir)) return beside;
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    std::string data = dataHome != nullptr && dataHome[0] == '/' ? dataHome
                       : home != nullptr                         ? std::string(home) + "/.local/share"
                                                                 : std::string("/tmp");
    std::error_code ignored;
    std::filesystem::create_directories(data + "/brevacast/demo", ignored);
    return data + "/brevacast/demo";
}

bool DisplayAvailable() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') return true;
    }
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    return platform != nullptr && *platform != '\0';
}

}  // namespace

int ProgramMain(int argc, char** argv, const WindowedRunner& runWindows) {
    Options options;
    if (!ParseOptions(argc, argv, &options)) {
        Usage();
        return 2;
    }
    // A start without a mode is the studio's windows where a display exists; without one it shows
    // what the program does with the demonstration live.
    const bool modeGiven = options.headless || options.demo || options.secondsGiven;
    if (!modeGiven && runWindows && DisplayAvailable()) {
        WindowedOptions windowed;
        windowed.configPath = options.configPath;
        windowed.dialog = options.dialog;
        windowed.argc = argc;
        windowed.argv = argv;
        return runWindows(windowed);
    }
    if (!modeGiven) options.demo = true;
    if (options.demo) {
        const std::string folder = DemoFolder();
        HeadlessOptions live;
        if (!WriteDemoSettings(folder, folder + "/recordings", &live.configPath)) {
            Log(LogLevel::kError, "app", "cannot write the demonstration settings in %s", folder.c_str());
            return 1;
        }
        live.durationSeconds = options.durationGiven ? options.duration : 6.0;
        std::printf("demonstration live: %s\n", live.configPath.c_str());
        return RunHeadlessLive(live);
    }
    if (options.configPath.empty()) options.configPath = AppConfig::DefaultConfigPath(AppConfig::ExecutableDir());
    if (options.headless) {
        HeadlessOptions live;
        live.configPath = options.configPath;
        live.durationSeconds = options.duration;
        live.record = options.record;
        return RunHeadlessLive(live);
    }

    AppConfig config(options.configPath, HardwareEncodingAvailable);
    switch (config.LastLoadResult()) {
        case AppConfig::LoadResult::kLoaded:
            std::printf("settings: %s\n", config.Path().c_str());
            break;
        case AppConfig::LoadResult::kMissing:
            std::printf("settings: %s does not exist yet; using the defaults\n", config.Path().c_str());
            break;
        case AppConfig::LoadResult::kBrokenKeptAside:
            std::printf("settings: %s could not be read; kept as %s, using the defaults\n", config.Path().c_str(),
                        config.KeptAsidePath().c_str());
            break;
        case AppConfig::LoadResult::kBrokenNotMoved:
            std::printf("settings: %s could not be read and is left untouched; using the defaults\n",
                        config.Path().c_str());
            break;
    }

    ApplyLanguage(config.Language);
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);

    // The registries outlive the scene, whose layers hold their devices. Nothing is mixed here.
    CFileDeviceList media(nullptr, config.SampleRate);
    CVideoDeviceList cameras;
    CScene scene(nullptr);
    media.SetFileEndedHandler([&scene](const CFileDevice* device) { scene.NotifyFileEnded(device); });
    scene.SetFrameRate(config.Framerate);
    if (!scene.Initialise(config.FrameSizeCX, config.FrameSizeCY, 0)) {
        Log(LogLevel::kError, "app", "cannot create a %dx%d canvas", config.FrameSizeCX, config.FrameSizeCY);
        return 1;
    }
    const int restored = RestoreStoredScene(&scene, config, &cameras, &media);
    const int stored = config.Scenes.empty() ? 0 : static_cast<int>(config.Scenes.front()->Records().size());
    std::printf("scene: %dx%d at %d fps, %d sources restored, %d skipped\n", config.FrameSizeCX, config.FrameSizeCY,
                config.Framerate, restored, stored - restored);

    const int64_t start = GetMediaTimeMs();
    const int64_t end = start + static_cast<int64_t>(options.seconds * 1000.0);
    const uint64_t framesAtStart = scene.ComposeThread().FramesComposed();
    while (!g_stop && GetMediaTimeMs() < end) {
        timespec pause{0, 20 * 1000 * 1000};
        nanosleep(&pause, nullptr);
    }
    const double elapsed = (GetMediaTimeMs() - start) / 1000.0;
    const uint64_t frames = scene.ComposeThread().FramesComposed() - framesAtStart;
    std::printf("composed %llu frames in %.2f s (%.2f fps)\n", static_cast<unsigned long long>(frames), elapsed,
                elapsed > 0 ? frames / elapsed : 0.0);

    int rc = 0;
    if (!options.snapshot.empty()) {
        std::vector<uint8_t> pixels;
        int w = 0, h = 0;
        if (scene.CopyCanvas(&pixels, &w, &h) && WritePpm(options.snapshot, pixels, w, h)) {
            std::printf("snapshot: %s\n", options.snapshot.c_str());
        } else {
            Log(LogLevel::kError, "app", "cannot write the snapshot %s", options.snapshot.c_str());
            rc = 1;
        }
    }
    scene.Destroy();
    media.SetFileEndedHandler(nullptr);

    // A first run leaves a settings file to edit; an existing file is only rewritten by the
    // windows that change settings.
    if (config.LastLoadResult() == AppConfig::LoadResult::kMissing && config.Save())
        std::printf("settings written to %s\n", config.Path().c_str());
    return rc;
}
