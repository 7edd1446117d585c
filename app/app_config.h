// The program's settings and stored scenes, kept in Config.xml. The object loads the file when it is
// constructed and writes it back on Save(); the members are read and changed directly by the rest of
// the program. Used on the main thread only.
//
// A file that cannot be read is never lost: it is renamed aside before the defaults take over, and
// if that rename fails the object refuses to save rather than overwrite the only copy.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "scene/scene_source.h"

struct SizePreset {
    std::string label;
    int32_t width, height;
};

class AppConfig {
public:
    enum class LoadResult {
        kLoaded,           // the file was read
        kMissing,          // no file yet: defaults, and the next save creates it
        kBrokenKeptAside,  // unreadable: renamed to KeptAsidePath(), defaults in use
        kBrokenNotMoved,   // unreadable and could not be renamed: defaults in use, Save() refuses
    };

    // Builds the defaults and loads `path` at once. hardware_encoding_probe answers whether this machine can
    // encode in hardware; it is asked only when the file does not set UseIpp (none means it cannot).
    explicit AppConfig(std::string path, std::function<bool()> hardware_encoding_probe = nullptr);
    AppConfig(const AppConfig&) = delete;
    AppConfig& operator=(const AppConfig&) = delete;

    // Writes every setting and scene to Path() through a temporary file that replaces the old one only
    // once it is complete. Returns false (and leaves any old file as it was) when the write fails or
    // when an unreadable file could not be kept aside. Clears EncPassword unless AutoPWD is set.
    bool Save();

    LoadResult LastLoadResult() const { return load_result_; }
    // Where an unreadable file was moved to; empty unless LastLoadResult() is kBrokenKeptAside.
    const std::string& KeptAsidePath() const { return kept_aside_path_; }
    const std::string& Path() const { return path_; }

    // "Config.xml" beside the program when its directory is writable, else under the user's XDG
    // configuration directory.
    static std::string DefaultConfigPath(const std::string& exe_dir);
    // The directory holding the running program; empty if it cannot be determined.
    static std::string ExecutableDir();

    std::string ServerURL;
    std::string Account;
    std::string EncPassword;
    int32_t FrameSizeCX = 0;
    int32_t FrameSizeCY = 0;
    int32_t Bitrate = 0;  // kbit/s
    int32_t Framerate = 0;
    int32_t KeyframeInterval = 0;  // seconds
    std::string LocalSaveFolder;
    std::vector<std::string> DeinterlaceDevices;  // filled at run time, never stored
    int32_t SampleRate = 0;
    std::string MicAudioDevice;
    std::string SpkAudioDevice;
    float MicGain = 0.0f;
    float SpkGain = 0.0f;
    std::vector<std::unique_ptr<CSceneBase>> Scenes;
    std::vector<SizePreset> Presets;  // smallest first; never stored
    uint8_t UseIpp = 0;               // hardware encoding; by default on where the machine has it
    uint8_t CloseAero = 0;
    uint8_t AutoPWD = 0;  // remember the password
    uint8_t AutoLogon = 0;
    uint8_t ShowCtrl = 0;
    int32_t LastAction = 0;
    std::string Language;

private:
    void ApplyDefaults();
    // UseIpp where the file does not set it: on only where the machine can encode in hardware.
    uint8_t DefaultUseIpp() const;
    void AddDefaultScene();
    LoadResult Load();
    // Renames the unreadable file at path_ aside; logs the outcome.
    LoadResult KeepAside(const std::string& reason);

    std::string path_;
    std::function<bool()> hardware_encoding_probe_;
    LoadResult load_result_ = LoadResult::kMissing;
    std::string kept_aside_path_;
    bool refusal_logged_ = false;
};
