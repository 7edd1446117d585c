#include "app/app_config.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <pugixml.hpp>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "app/application_directory.h"
#include "platform/log.h"

namespace {

// Spaces in source names are stored as this sequence (written as element text, so it reaches the file
// as "&amp;#x0020"); files written by earlier versions depend on it.
constexpr std::string_view kSpaceCode = "&#x0020";

constexpr int32_t kDefaultWidth = 1920;
constexpr int32_t kDefaultHeight = 1080;
constexpr int32_t kMaxFrameSide = 4096;

std::string ReplaceAll(std::string s, std::string_view from, std::string_view to) {
    for (size_t pos = s.find(from); pos != std::string::npos; pos = s.find(from, pos + to.size())) {
        s.replace(pos, from.size(), to);
    }
    return s;
}

std::string HomeDir() {
    const char* home = std::getenv("HOME");
    if (home && *home) return home;
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buf(size > 0 ? static_cast<size_t>(size) : 16384);
    passwd pw{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &pw, buf.data(), buf.size(), &found) == 0 && found && found->pw_dir && *found->pw_dir) {
        return found->pw_dir;
    }
    return "/tmp";
}

// Hand-edited files hold all sorts of numbers: accept leading blanks and trailing junk, and clamp
// rather than wrap when the digits run past 64 bits.
int64_t ParseInt64(const char* s) {
    while (*s == ' ' || *s == '\t' || *s == '\n' || *s == '\r' || *s == '\v' || *s == '\f') ++s;
    bool negative = false;
    if (*s == '+' || *s == '-') negative = *s++ == '-';
    const uint64_t limit = negative ? uint64_t{1} << 63 : static_cast<uint64_t>(INT64_MAX);
    uint64_t value = 0;
    for (; *s >= '0' && *s <= '9'; ++s) {
        const auto digit = static_cast<uint64_t>(*s - '0');
        if (value > (limit - digit) / 10) return negative ? INT64_MIN : INT64_MAX;
        value = value * 10 + digit;
    }
    return negative ? static_cast<int64_t>(0 - value) : static_cast<int64_t>(value);
}

// from_chars ignores LC_NUMERIC, so a German desktop still reads "0.75" as three quarters.
float ParseFloat(const char* s) {
    while (*s == ' ' || *s == '\t' || *s == '\n' || *s == '\r' || *s == '\v' || *s == '\f') ++s;
    if (*s == '+') ++s;
    float value = 0.0f;
    const char* end = s + std::strlen(s);
    if (std::from_chars(s, end, value, std::chars_format::general).ec != std::errc{}) return 0.0f;
    return std::isfinite(value) ? value : 0.0f;
}

std::string FormatFixed6(double value) {
    char buf[400];  // room for the largest double written out in full
    const auto result = std::to_chars(buf, buf + sizeof(buf), value, std::chars_format::fixed, 6);
    if (result.ec != std::errc{}) return "0.000000";
    return std::string(buf, result.ptr);
}

void PutText(pugi::xml_node parent, const char* name, const std::string& value) {
    parent.append_child(name).text().set(value.c_str());
}

void PutInt(pugi::xml_node parent, const char* name, int64_t value) {
    char buf[24];
    const auto result = std::to_chars(buf, buf + sizeof(buf), value);
    parent.append_child(name).text().set(std::string(buf, result.ptr).c_str());
}

// Colours and codes are unsigned in memory but stored as signed decimals.
void PutSigned(pugi::xml_node parent, const char* name, uint32_t value) {
    PutInt(parent, name, static_cast<int32_t>(value));
}

void PutFloat(pugi::xml_node parent, const char* name, float value) { PutText(parent, name, FormatFixed6(value)); }

void GetText(pugi::xml_node parent, const char* name, std::string& out) {
    if (pugi::xml_node node = parent.child(name)) out = node.text().get();
}

template <typename T>
void GetInt(pugi::xml_node parent, const char* name, T& out) {
    if (pugi::xml_node node = parent.child(name)) out = static_cast<T>(ParseInt64(node.text().get()));
}

void GetFloat(pugi::xml_node parent, const char* name, float& out) {
    if (pugi::xml_node node = parent.child(name)) out = ParseFloat(node.text().get());
}

bool ValidFrameSide(int32_t side) { return side > 0 && side % 2 == 0 && side <= kMaxFrameSide; }

// How a record's field is written: plain decimal, a colour or code stored as a signed decimal, a
// fixed six-decimal number, or text.
enum class FieldForm { kInt, kSigned, kFloat, kText };

// One field of a stored record: its element, the record kind that has it (-1: every kind) and where it
// lives. Records are written in this order and read back from the same table.
struct RecordField {
    const char* name;
    int32_t kind;
    FieldForm form;
    std::variant<int32_t SceneSource::*, uint8_t SceneSource::*, uint32_t SceneSource::*, float SceneSource::*,
                 std::string SceneSource::*>
        member;
};

constexpr int32_t kEveryKind = -1;

const RecordField kRecordFields[] = {
    {"type", kEveryKind, FieldForm::kInt, &SceneSource::type},
    {"SourceName", kEveryKind, FieldForm::kText, &SceneSource::SourceName},
    {"Left", kEveryKind, FieldForm::kInt, &SceneSource::Left},
    {"Top", kEveryKind, FieldForm::kInt, &SceneSource::Top},
    {"Right", kEveryKind, FieldForm::kInt, &SceneSource::Right},
    {"Bottom", kEveryKind, FieldForm::kInt, &SceneSource::Bottom},
    {"KeepRatio", kEveryKind, FieldForm::kInt, &SceneSource::KeepRatio},
    {"Visible", kEveryKind, FieldForm::kInt, &SceneSource::Visible},
    {"BorderWidth", kEveryKind, FieldForm::kInt, &SceneSource::BorderWidth},
    {"BorderColor", kEveryKind, FieldForm::kSigned, &SceneSource::BorderColor},
    {"FaceName", kSourceText, FieldForm::kText, &SceneSource::FaceName},
    {"rgbColor", kSourceText, FieldForm::kSigned, &SceneSource::rgbColor},
    {"Bold", kSourceText, FieldForm::kInt, &SceneSource::Bold},
    {"Italic", kSourceText, FieldForm::kInt, &SceneSource::Italic},
    {"UnderLine", kSourceText, FieldForm::kInt, &SceneSource::UnderLine},
    {"StrikeOut", kSourceText, FieldForm::kInt, &SceneSource::StrikeOut},
    {"Hollow", kSourceText, FieldForm::kInt, &SceneSource::Hollow},
    {"MoveSpeed", kSourceText, FieldForm::kInt, &SceneSource::MoveSpeed},
    {"MoveDirection", kSourceText, FieldForm::kInt, &SceneSource::MoveDirection},
    {"Alpha", kSourcePicture, FieldForm::kInt, &SceneSource::Alpha},
    {"ScrIdx", kSourceScreen, FieldForm::kInt, &SceneSource::ScrIdx},
    {"DeInterlace", kSourceDevice, FieldForm::kInt, &SceneSource::DeInterlace},
    {"ChromaKey", kSourceDevice, FieldForm::kInt, &SceneSource::ChromaKey},
    {"KeyColor", kSourceDevice, FieldForm::kSigned, &SceneSource::KeyColor},
    {"Similarity", kSourceDevice, FieldForm::kInt, &SceneSource::Similarity},
    {"Width", kSourceDevice, FieldForm::kInt, &SceneSource::Width},
    {"Height", kSourceDevice, FieldForm::kInt, &SceneSource::Height},
    {"FrameRate", kSourceDevice, FieldForm::kFloat, &SceneSource::FrameRate},
    {"Fourcc", kSourceDevice, FieldForm::kSigned, &SceneSource::Fourcc},
    {"Volume", kSourceMedia, FieldForm::kInt, &SceneSource::Volume},
    {"PlayFlag", kSourceMedia, FieldForm::kInt, &SceneSource::PlayFlag},
};

bool FieldApplies(const RecordField& field, int32_t kind) { return field.kind == kEveryKind || field.kind == kind; }

void WriteRecord(pugi::xml_node node, const SceneSource& r) {
    for (const RecordField& field : kRecordFields) {
        if (!FieldApplies(field, r.type)) continue;
        std::visit(
            [&](auto member) {
                using Value = std::remove_cvref_t<decltype(r.*member)>;
                const Value& value = r.*member;
                if constexpr (std::is_same_v<Value, std::string>) {
                    // Spaces are stored as a character reference, as files written before expect.
                    PutText(node, field.name,
                            member == &SceneSource::SourceName ? ReplaceAll(value, " ", kSpaceCode) : value);
                } else if constexpr (std::is_same_v<Value, float>) {
                    PutFloat(node, field.name, value);
                } else if (field.form == FieldForm::kSigned) {
                    PutSigned(node, field.name, static_cast<uint32_t>(value));
                } else {
                    PutInt(node, field.name, static_cast<int64_t>(value));
                }
            },
            field.member);
    }
}

std::unique_ptr<SceneSource> ReadRecord(pugi::xml_node node) {
    auto r = std::make_unique<SceneSource>();
    // The kind decides which fields there are, so it is read first.
    GetInt(node, "type", r->type);
    for (const RecordField& field : kRecordFields) {
        if (!FieldApplies(field, r->type)) continue;
        std::visit(
            [&](auto member) {
                auto& value = (*r).*member;
                using Value = std::remove_cvref_t<decltype(value)>;
                if constexpr (std::is_same_v<Value, std::string>) {
                    GetText(node, field.name, value);
                } else if constexpr (std::is_same_v<Value, float>) {
                    GetFloat(node, field.name, value);
                } else {
                    GetInt(node, field.name, value);
                }
            },
            field.member);
    }
    r->SourceName = ReplaceAll(std::move(r->SourceName), kSpaceCode, " ");
    return r;
}

struct StringWriter : pugi::xml_writer {
    std::string out;
    void write(const void* data, size_t size) override { out.append(static_cast<const char*>(data), size); }
};

bool WriteAll(int fd, const std::string& data) {
    const char* p = data.data();
    size_t left = data.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
    return true;
}

// Replaces `target` with `data` so that a crash at any point leaves either the old or the new file,
// never a partial one. On failure returns false with a description in `error`.
bool ReplaceFileAtomically(const std::string& target, const std::string& data, std::string& error) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::path(target).parent_path();
    std::error_code ec;
    if (!dir.empty() && !fs::is_directory(dir, ec)) {
        fs::create_directories(dir, ec);
        if (ec) {
            error = "cannot create directory " + dir.string() + ": " + ec.message();
            return false;
        }
    }

    const std::string tmp = target + ".tmp-" + std::to_string(getpid());
    // The file may hold the account password: keep it private to the user.
    const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
    if (fd < 0) {
        error = "cannot create " + tmp + ": " + std::strerror(errno);
        return false;
    }
    const char* failed_step = nullptr;
    int err = 0;
    if (!WriteAll(fd, data)) {
        failed_step = "writing";
        err = errno;
    } else if (::fsync(fd) != 0) {
        failed_step = "flushing";
        err = errno;
    }
    if (::close(fd) != 0 && !failed_step) {
        failed_step = "closing";
        err = errno;
    }
    if (failed_step) {
        error = std::string(failed_step) + " " + tmp + " failed: " + std::strerror(err);
        ::unlink(tmp.c_str());
        return false;
    }
    if (::rename(tmp.c_str(), target.c_str()) != 0) {
        error = "cannot rename " + tmp + " to " + target + ": " + std::strerror(errno);
        ::unlink(tmp.c_str());
        return false;
    }
    // Make the rename itself durable; the data is safe either way, so a failure here is not reported.
    const std::string dir_name = dir.empty() ? "." : dir.string();
    const int dir_fd = ::open(dir_name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir_fd >= 0) {
        ::fsync(dir_fd);
        ::close(dir_fd);
    }
    return true;
}

// Reads the whole file. Returns 0 on success, otherwise an errno value; ENOTSUP for anything that is
// not a regular file (opened non-blocking so that a FIFO cannot hang the start-up).
int ReadWholeFile(const std::string& path, std::string& out) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return errno;
    struct stat st {};
    const int stat_error = ::fstat(fd, &st) != 0 ? errno : (S_ISREG(st.st_mode) ? 0 : ENOTSUP);
    if (stat_error != 0) {
        ::close(fd);
        return stat_error;
    }
    out.clear();
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof(buf));
        if (n < 0) {
            if (errno == EINTR) continue;
            const int err = errno;
            ::close(fd);
            return err;
        }
        if (n == 0) break;
        out.append(buf, static_cast<size_t>(n));
    }
    ::close(fd);
    return 0;
}

bool PathExists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 || errno != ENOENT;
}

// Renames `from` to a name that is not in use; RENAME_NOREPLACE closes the gap between choosing the
// name and using it where the filesystem supports it.
bool RenameToFreeName(const std::string& from, const std::string& base, std::string& chosen, int& err) {
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const std::string candidate = attempt == 0 ? base : base + "-" + std::to_string(attempt);
        if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, candidate.c_str(), RENAME_NOREPLACE) == 0) {
            chosen = candidate;
            return true;
        }
        if (errno == EEXIST) continue;
        if (errno != EINVAL && errno != ENOSYS) {
            err = errno;
            return false;
        }
        if (PathExists(candidate)) continue;
        if (::rename(from.c_str(), candidate.c_str()) == 0) {
            chosen = candidate;
            return true;
        }
        err = errno;
        return false;
    }
    err = EEXIST;
    return false;
}

}  // namespace

AppConfig::AppConfig(std::string path, std::function<bool()> hardware_encoding_probe)
    : path_(std::move(path)), hardware_encoding_probe_(std::move(hardware_encoding_probe)) {
    ApplyDefaults();
    static const SizePreset kPresets[] = {
        {"1920x1080 1080P", 1920, 1080}, {"1280x720 720P", 1280, 720}, {"1024x768 XGA", 1024, 768},
        {"768x576 HDTV", 768, 576},      {"720x480 480P", 720, 480},   {"640x480 VGA", 640, 480},
        {"640x360 360P", 640, 360},
    };
    // Each preset goes in at the head, so the list ends up smallest first.
    for (const SizePreset& preset : kPresets) Presets.insert(Presets.begin(), preset);
    load_result_ = Load();
}

uint8_t AppConfig::DefaultUseIpp() const { return hardware_encoding_probe_ && hardware_encoding_probe_() ? 1 : 0; }

void AppConfig::ApplyDefaults() {
    ServerURL = "http://portal.brevacast.example/PortalService.asmx";
    Account.clear();
    EncPassword.clear();
    FrameSizeCX = kDefaultWidth;
    FrameSizeCY = kDefaultHeight;
    Bitrate = 3072;
    Framerate = 25;
    KeyframeInterval = 3;
    LocalSaveFolder = HomeDir() + "/Videos/Brevacast";
    DeinterlaceDevices.clear();
    SampleRate = 44100;
    MicAudioDevice.clear();
    SpkAudioDevice.clear();
    MicGain = 0.5f;
    SpkGain = 0.2f;
    Scenes.clear();
    // Settled by Load(): the hardware is only asked about when the file does not set it.
    UseIpp = 0;
    CloseAero = 1;
    AutoPWD = 0;
    AutoLogon = 0;
    ShowCtrl = 1;
    LastAction = 0;
    Language = "cn";
}

void AppConfig::AddDefaultScene() {
    auto camera = std::make_unique<SceneSource>();
    camera->type = kSourceDevice;
    camera->SourceName = "Integrated Camera";
    camera->Left = 0;
    camera->Top = 0;
    camera->Right = 1280;
    camera->Bottom = 720;
    camera->KeepRatio = 0;
    auto scene = std::make_unique<CSceneBase>();
    scene->AddRecord(std::move(camera));
    Scenes.push_back(std::move(scene));
}

AppConfig::LoadResult AppConfig::Load() {
    ApplyDefaults();
    kept_aside_path_.clear();

    std::string bytes;
    const int read_error = ReadWholeFile(path_, bytes);
    if (read_error == ENOENT || read_error == ENOTDIR) {
        AddDefaultScene();
        UseIpp = DefaultUseIpp();
        return LoadResult::kMissing;
    }
    if (read_error != 0) {
        AddDefaultScene();
        UseIpp = DefaultUseIpp();
        if (read_error == ENOTSUP) return KeepAside("it is not a regular file");
        return KeepAside(std::string("it cannot be read: ") + std::strerror(read_error));
    }

    pugi::xml_document doc;
    const pugi::xml_parse_result parsed =
        doc.load_buffer(bytes.data(), bytes.size(), pugi::parse_default | pugi::parse_ws_pcdata_single);
    pugi::xml_node root = doc.document_element();
    if (!parsed || std::strcmp(root.name(), "Config") != 0) {
        AddDefaultScene();
        UseIpp = DefaultUseIpp();
        if (!parsed) {
            return KeepAside(std::string("it is not valid XML (") + parsed.description() + " at byte " +
                             std::to_string(parsed.offset) + ")");
        }
        return KeepAside("its root element is not Config");
    }

    GetText(root, "ServerURL", ServerURL);
    GetText(root, "Account", Account);
    GetText(root, "EncPassword", EncPassword);
    GetInt(root, "AutoPWD", AutoPWD);
    GetInt(root, "AutoLogon", AutoLogon);
    GetInt(root, "ShowCtrl", ShowCtrl);
    GetText(root, "LocalSaveFolder", LocalSaveFolder);
    GetInt(root, "FrameSizeCX", FrameSizeCX);
    GetInt(root, "FrameSizeCY", FrameSizeCY);
    GetInt(root, "Bitrate", Bitrate);
    GetInt(root, "KeyframeInterval", KeyframeInterval);
    // A stored value always stands, even where the hardware has gone since.
    if (root.child("UseIpp")) {
        GetInt(root, "UseIpp", UseIpp);
    } else {
        UseIpp = DefaultUseIpp();
    }
    GetInt(root, "CloseAero", CloseAero);
    GetInt(root, "LastAction", LastAction);
    GetText(root, "Language", Language);
    GetText(root, "MicAudioDevice", MicAudioDevice);
    GetText(root, "SpkAudioDevice", SpkAudioDevice);
    GetFloat(root, "MicGain", MicGain);
    GetFloat(root, "SpkGain", SpkGain);
    // Framerate and SampleRate are written but never read back: every start uses 25 fps and 44.1 kHz.

    // The encoder needs an even frame of sane size; a bad pair is replaced as a whole.
    if (!ValidFrameSide(FrameSizeCX) || !ValidFrameSide(FrameSizeCY)) {
        FrameSizeCX = kDefaultWidth;
        FrameSizeCY = kDefaultHeight;
    }

    for (pugi::xml_node scene_node : root.children("Scene")) {
        auto scene = std::make_unique<CSceneBase>();
        for (pugi::xml_node record_node : scene_node.children("SceneSource")) {
            scene->AddRecord(ReadRecord(record_node));
        }
        Scenes.push_back(std::move(scene));
    }
    return LoadResult::kLoaded;
}

AppConfig::LoadResult AppConfig::KeepAside(const std::string& reason) {
    char stamp[32] = "unknown-time";
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (localtime_r(&now, &local)) std::strftime(stamp, sizeof(stamp), "%Y%m%d-%H%M%S", &local);

    // Only plain files (or links to them) are moved; anything else is left alone.
    struct stat st {};
    if (::lstat(path_.c_str(), &st) != 0 || !(S_ISREG(st.st_mode) || S_ISLNK(st.st_mode))) {
        Log(LogLevel::kError, "config",
            "%s is unusable because %s; left it in place, started from defaults and will "
            "not save over it",
            path_.c_str(), reason.c_str());
        return LoadResult::kBrokenNotMoved;
    }
    const std::string wanted = path_ + ".broken-" + stamp;
    std::string chosen;
    int err = 0;
    if (RenameToFreeName(path_, wanted, chosen, err)) {
        kept_aside_path_ = chosen;
        Log(LogLevel::kError, "config", "%s is unusable because %s; kept it as %s and started from defaults",
            path_.c_str(), reason.c_str(), chosen.c_str());
        return LoadResult::kBrokenKeptAside;
    }
    Log(LogLevel::kError, "config",
        "%s is unusable because %s, and moving it to %s failed (%s); started from defaults and "
        "will not save over it",
        path_.c_str(), reason.c_str(), wanted.c_str(), std::strerror(err));
    return LoadResult::kBrokenNotMoved;
}

bool AppConfig::Save() {
    if (load_result_ == LoadResult::kBrokenNotMoved) {
        if (!refusal_logged_) {
            Log(LogLevel::kError, "config",
                "not saving to %s: it holds an unreadable file that could not be moved aside", path_.c_str());
            refusal_logged_ = true;
        }
        return false;
    }
    if (!AutoPWD) EncPassword.clear();

    pugi::xml_document doc;
    pugi::xml_node decl = doc.append_child(pugi::node_declaration);
    decl.append_attribute("version") = "1.0";
    decl.append_attribute("encoding") = "UTF-8";
    pugi::xml_node root = doc.append_child("Config");
    PutText(root, "ServerURL", ServerURL);
    PutText(root, "Account", Account);
    PutText(root, "EncPassword", EncPassword);
    PutInt(root, "AutoPWD", AutoPWD);
    PutInt(root, "AutoLogon", AutoLogon);
    PutInt(root, "ShowCtrl", ShowCtrl);
    PutText(root, "LocalSaveFolder", LocalSaveFolder);
    PutInt(root, "FrameSizeCX", FrameSizeCX);
    PutInt(root, "FrameSizeCY", FrameSizeCY);
    PutInt(root, "Bitrate", Bitrate);
    PutInt(root, "Framerate", Framerate);
    PutInt(root, "KeyframeInterval", KeyframeInterval);
    PutInt(root, "UseIpp", UseIpp);
    PutInt(root, "CloseAero", CloseAero);
    PutInt(root, "SampleRate", SampleRate);
    PutInt(root, "LastAction", LastAction);
    PutText(root, "Language", Language);
    PutText(root, "MicAudioDevice", MicAudioDevice);
    PutText(root, "SpkAudioDevice", SpkAudioDevice);
    PutFloat(root, "MicGain", MicGain);
    PutFloat(root, "SpkGain", SpkGain);
    for (const auto& scene : Scenes) {
        pugi::xml_node scene_node = root.append_child("Scene");
        if (!scene) continue;
        for (const auto& record : scene->Records()) {
            if (record) WriteRecord(scene_node.append_child("SceneSource"), *record);
        }
    }

    StringWriter writer;
    doc.save(writer, "", pugi::format_raw | pugi::format_no_empty_element_tags, pugi::encoding_utf8);

    // Write through a symlinked Config.xml to its target instead of replacing the link.
    std::string target = path_;
    struct stat st {};
    if (::lstat(path_.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        if (char* resolved = ::realpath(path_.c_str(), nullptr)) {
            target = resolved;
            std::free(resolved);
        }
    }
    std::string error;
    if (!ReplaceFileAtomically(target, writer.out, error)) {
        Log(LogLevel::kError, "config", "could not save %s: %s", path_.c_str(), error.c_str());
        return false;
    }
    return true;
}

std::string AppConfig::DefaultConfigPath(const std::string& exe_dir) {
    if (!exe_dir.empty() && ProgramFolderKeepsItsFiles(exe_dir)) return exe_dir + "/Config.xml";
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    // Relative values are to be ignored, as other desktop programs do.
    const std::string base = (xdg && xdg[0] == '/') ? std::string(xdg) : HomeDir() + "/.config";
    return base + "/brevacast/Config.xml";
}

std::string AppConfig::ExecutableDir() {
    std::vector<char> buf(4096);
    for (;;) {
        const ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
        if (n < 0) return {};
        if (static_cast<size_t>(n) < buf.size()) {
            const std::string exe(buf.data(), static_cast<size_t>(n));
            const size_t slash = exe.rfind('/');
            if (slash == std::string::npos) return {};
            return slash == 0 ? "/" : exe.substr(0, slash);
        }
        buf.resize(buf.size() * 2);
    }
}
