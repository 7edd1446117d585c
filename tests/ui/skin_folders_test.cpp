// The skin folders the windows load their images from, as the build leaves them: every image the
// windows ask for is in both language folders at the size their layout is built on, only images with
// words differ between the languages, and where the windows write over or stretch an image it is plain.
#include <gtest/gtest.h>
#include <png.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace {

struct SkinImage {
    const char* name;
    int width;
    int height;
    bool words;
    // Columns [plainFrom, plainTo) are all alike: the windows write text there or stretch the image. The
    // zone stops short of a rounded fill's corners.
    int plainFrom = 0;
    int plainTo = 0;
    // A window background: opaque everywhere but in its rounded corners.
    bool window = false;
};

// Every image the windows load, with the size their layout expects.
const SkinImage kManifest[] = {
    // Main window
    {"banner", 721, 56, false, 6, 715},
    {"logo", 190, 32, true},
    {"user", 160, 36, false, 40, 142},
    {"portrait", 28, 28, false},
    {"active", 220, 30, false, 10, 196},
    {"active_o", 220, 30, false, 10, 196},
    {"active_d", 220, 30, false, 10, 196},
    {"setting", 32, 32, false},
    {"setting_o", 32, 32, false},
    {"minisize", 32, 32, false},
    {"minisize_o", 32, 32, false},
    {"close", 32, 32, false},
    {"close_o", 32, 32, false},
    {"web", 32, 32, false},
    {"web_o", 32, 32, false},
    {"bottom", 721, 64, false, 6, 715},
    {"bmline", 1, 36, false},
    {"screen", 120, 40, false, 40, 114},
    {"screen_o", 120, 40, false, 40, 114},
    {"screen_s", 120, 40, false, 40, 114},
    {"screen_d", 120, 40, false, 40, 114},
    {"image", 120, 40, false, 40, 114},
    {"image_o", 120, 40, false, 40, 114},
    {"image_s", 120, 40, false, 40, 114},
    {"image_d", 120, 40, false, 40, 114},
    {"font", 120, 40, false, 40, 114},
    {"font_o", 120, 40, false, 40, 114},
    {"font_s", 120, 40, false, 40, 114},
    {"font_d", 120, 40, false, 40, 114},
    {"camera", 120, 40, false, 40, 114},
    {"camera_o", 120, 40, false, 40, 114},
    {"camera_s", 120, 40, false, 40, 114},
    {"camera_d", 120, 40, false, 40, 114},
    {"mic", 36, 36, false},
    {"mic_o", 36, 36, false},
    {"mic_s", 36, 36, false},
    {"mic_d", 36, 36, false},
    {"spk", 36, 36, false},
    {"spk_o", 36, 36, false},
    {"spk_s", 36, 36, false},
    {"spk_d", 36, 36, false},
    {"record", 36, 36, false},
    {"record_o", 36, 36, false},
    {"record_s", 36, 36, false},
    {"record_d", 36, 36, false},
    {"start", 132, 40, true},
    {"start_o", 132, 40, true},
    {"stop", 132, 40, true},
    {"stop_o", 132, 40, true},
    {"right", 220, 760, false, 1, 220},
    {"layerrow", 216, 34, false, 8, 208},
    {"layerrow_o", 216, 34, false, 8, 208},
    {"layerrow_s", 216, 34, false, 8, 208},
    {"eye", 20, 20, false},
    {"eye_o", 20, 20, false},
    {"eye_s", 20, 20, false},
    {"ctrlbtn", 14, 64, false},
    {"ctrlbtn_o", 14, 64, false},
    {"ctrlbtn_s", 14, 64, false},
    {"kind_screen", 16, 16, false},
    {"kind_camera", 16, 16, false},
    {"kind_media", 16, 16, false},
    {"kind_text", 16, 16, false},
    {"kind_picture", 16, 16, false},
    // Logon dialog
    {"logonbg", 380, 500, true, 0, 0, true},
    {"logonwhite", 332, 260, false, 6, 326},
    {"logonedit", 300, 40, false, 6, 294},
    {"logonclose", 28, 28, false},
    {"logonclose_o", 28, 28, false},
    {"logonmini", 28, 28, false},
    {"logonmini_o", 28, 28, false},
    {"logoncheck", 16, 16, false},
    {"logoncheck_o", 16, 16, false},
    {"logoncheck_s", 16, 16, false},
    {"logoncheck_d", 16, 16, false},
    {"logon", 300, 42, true},
    {"logon_o", 300, 42, true},
    {"sign", 96, 20, true},
    {"sign_o", 96, 20, true},
    {"logonuser", 16, 16, false},
    {"logonlock", 16, 16, false},
    {"offline", 112, 30, false, 6, 106},
    {"offline_o", 112, 30, false, 6, 106},
    // Message box
    {"msg_bg", 380, 190, false, 6, 374, true},
    {"warning", 40, 40, false},
    {"msgclose", 24, 24, false},
    {"msgclose_o", 24, 24, false},
    {"ok", 96, 34, true},
    {"ok_o", 96, 34, true},
    {"cancel", 96, 34, true},
    {"cancel_o", 96, 34, true},
    // Settings dialogs
    {"addclose", 24, 24, false},
    {"addclose_o", 24, 24, false},
    {"sys_bg", 560, 400, true, 0, 0, true},
    {"video", 72, 64, true},
    {"video_o", 72, 64, true},
    {"video_s", 72, 64, true},
    {"audio", 72, 64, true},
    {"audio_o", 72, 64, true},
    {"audio_s", 72, 64, true},
    {"other", 72, 64, true},
    {"other_o", 72, 64, true},
    {"other_s", 72, 64, true},
    {"txt_bg", 540, 420, true, 0, 0, true},
    {"pic_bg", 500, 320, true, 0, 0, true},
    {"border_bg", 360, 210, true, 0, 0, true},
    {"dev_bg", 500, 400, true, 0, 0, true},
    {"screen_bg", 500, 260, true, 0, 0, true},
    {"cam_bg", 500, 260, true, 0, 0, true},
    {"exit_bg", 380, 220, true, 0, 0, true},
    // Shared controls
    {"check", 18, 18, false},
    {"check_o", 18, 18, false},
    {"check_s", 18, 18, false},
    {"check_d", 18, 18, false},
    {"radio", 18, 18, false},
    {"radio_o", 18, 18, false},
    {"radio_s", 18, 18, false},
    {"radio_d", 18, 18, false},
    {"toggle", 76, 28, false, 6, 70},
    {"toggle_o", 76, 28, false, 6, 70},
    {"toggle_s", 76, 28, false, 6, 70},
    {"listbtn", 220, 30, false, 8, 192},
    {"listbtn_o", 220, 30, false, 8, 192},
    {"listbtn_d", 220, 30, false, 8, 192},
    {"listpanel_bg", 220, 200, false, 1, 219},
    {"edit", 220, 30, false, 6, 214},
    {"btn", 88, 30, false, 6, 82},
    {"btn_o", 88, 30, false, 6, 82},
    {"btn_d", 88, 30, false, 6, 82},
    {"spin_up", 18, 14, false},
    {"spin_up_o", 18, 14, false},
    {"spin_down", 18, 14, false},
    {"spin_down_o", 18, 14, false},
    {"slider_track", 200, 6, false, 3, 197},
    {"slider_fill", 200, 6, false, 3, 197},
    {"slider_thumb", 16, 16, false},
    {"slider_thumb_o", 16, 16, false},
    {"vslider_track", 6, 110, false},
    {"vslider_fill", 6, 110, false},
    {"volume_bg", 56, 160, false},
    {"logoff_bg", 132, 48, false, 6, 126, true},
    {"logoff", 116, 32, true},
    {"logoff_o", 116, 32, true},
    {"menu_bg", 148, 316, false, 6, 142, true},
    {"menuitem", 140, 30, false, 6, 134},
    {"menuitem_o", 140, 30, false, 6, 134},
    {"activepanel_bg", 260, 220, false, 6, 254, true},
    {"activelist", 244, 32, false, 6, 238},
    {"activelist_o", 244, 32, false, 6, 238},
    {"monitor", 128, 88, false},
    {"monitor_o", 128, 88, false},
    {"monitor_s", 128, 88, false},
    {"cambtn", 128, 88, false},
    {"cambtn_o", 128, 88, false},
    {"cambtn_s", 128, 88, false},
    {"colorbtn", 48, 26, false},
    {"colorbtn_o", 48, 26, false},
    // Program icon
    {"icon", 256, 256, false},
};

const char* const kLanguages[] = {"cn", "en"};
constexpr int kCornerRadius = 6;

std::string skinPath(const char* language, const char* name) {
    return std::string(SKIN_ROOT) + "/" + language + "/skin/" + name + ".png";
}

std::optional<std::string> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct Size {
    int width = 0;
    int height = 0;
};

// The size from the PNG signature and the IHDR chunk that must follow it.
std::optional<Size> pngSize(const std::string& bytes) {
    static const char kSignature[] = "\x89PNG\r\n\x1a\n";
    if (bytes.size() < 24 || bytes.compare(0, 8, kSignature, 8) != 0 || bytes.compare(12, 4, "IHDR") != 0) {
        return std::nullopt;
    }
    auto bigEndian = [&](size_t at) {
        uint32_t value = 0;
        for (size_t i = 0; i < 4; ++i) value = value << 8 | static_cast<uint8_t>(bytes[at + i]);
        return static_cast<int>(value);
    };
    return Size{bigEndian(16), bigEndian(20)};
}

// Decoded RGBA pixels, one uint32_t each.
struct Pixels {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> rgba;
    uint32_t at(int x, int y) const { return rgba[static_cast<size_t>(y * width + x)]; }
    int alpha(int x, int y) const {
        const auto* bytes = reinterpret_cast<const uint8_t*>(&rgba[static_cast<size_t>(y * width + x)]);
        return bytes[3];
    }
};

class PngImage {
public:
    PngImage() { image_.version = PNG_IMAGE_VERSION; }
    ~PngImage() { png_image_free(&image_); }
    PngImage(const PngImage&) = delete;
    PngImage& operator=(const PngImage&) = delete;
    png_image* get() { return &image_; }

private:
    png_image image_{};
};

std::optional<Pixels> decode(const std::string& bytes) {
    PngImage png;
    if (!png_image_begin_read_from_memory(png.get(), bytes.data(), bytes.size())) return std::nullopt;
    png.get()->format = PNG_FORMAT_RGBA;
    Pixels pixels{static_cast<int>(png.get()->width), static_cast<int>(png.get()->height), {}};
    pixels.rgba.resize(static_cast<size_t>(pixels.width) * static_cast<size_t>(pixels.height));
    if (!png_image_finish_read(png.get(), nullptr, pixels.rgba.data(), 0, nullptr)) return std::nullopt;
    return pixels;
}

bool inCorner(int x, int y, int width, int height) {
    const bool left = x < kCornerRadius;
    const bool right = x >= width - kCornerRadius;
    const bool top = y < kCornerRadius;
    const bool bottom = y >= height - kCornerRadius;
    return (left || right) && (top || bottom);
}

TEST(SkinFolders, EveryImageIsAPngOfItsSizeInBothLanguages) {
    for (const char* language : kLanguages) {
        for (const SkinImage& image : kManifest) {
            const std::string path = skinPath(language, image.name);
            const std::optional<std::string> bytes = readFile(path);
            ASSERT_TRUE(bytes.has_value()) << path << " is missing";
            const std::optional<Size> size = pngSize(*bytes);
            ASSERT_TRUE(size.has_value()) << path << " is not a PNG";
            EXPECT_EQ(size->width, image.width) << path;
            EXPECT_EQ(size->height, image.height) << path;
            EXPECT_TRUE(decode(*bytes).has_value()) << path << " does not decode";
        }
    }
}

TEST(SkinFolders, OnlyImagesWithWordsDifferBetweenLanguages) {
    for (const SkinImage& image : kManifest) {
        const std::optional<std::string> cn = readFile(skinPath("cn", image.name));
        const std::optional<std::string> en = readFile(skinPath("en", image.name));
        ASSERT_TRUE(cn.has_value() && en.has_value()) << image.name << " is missing";
        if (image.words) {
            EXPECT_NE(*cn, *en) << image.name << " carries words but is the same in both languages";
        } else {
            EXPECT_EQ(*cn, *en) << image.name << " has no words but differs between the languages";
        }
    }
}

TEST(SkinFolders, ZonesTheWindowsDrawOnArePlainAndBackgroundsOpaqueButForCorners) {
    int checkedZones = 0;
    int checkedWindows = 0;
    for (const char* language : kLanguages) {
        for (const SkinImage& image : kManifest) {
            if (image.plainTo == 0 && !image.window) continue;
            const std::string path = skinPath(language, image.name);
            const std::optional<std::string> bytes = readFile(path);
            ASSERT_TRUE(bytes.has_value()) << path << " is missing";
            const std::optional<Pixels> pixels = decode(*bytes);
            ASSERT_TRUE(pixels.has_value()) << path << " does not decode";
            ASSERT_EQ(pixels->width, image.width) << path;
            ASSERT_EQ(pixels->height, image.height) << path;
            if (image.plainTo > 0) {
                ++checkedZones;
                int detailColumn = -1;
                for (int y = 0; y < pixels->height && detailColumn < 0; ++y) {
                    for (int x = image.plainFrom + 1; x < image.plainTo && detailColumn < 0; ++x) {
                        if (pixels->at(x, y) != pixels->at(image.plainFrom, y)) detailColumn = x;
                    }
                }
                EXPECT_EQ(detailColumn, -1) << path << " has detail where the windows write or stretch";
            }
            if (image.window) {
                ++checkedWindows;
                const int w = pixels->width;
                const int h = pixels->height;
                EXPECT_EQ(pixels->alpha(0, 0) + pixels->alpha(w - 1, 0) + pixels->alpha(0, h - 1) +
                              pixels->alpha(w - 1, h - 1),
                          0)
                    << path << " has square corners";
                int seeThrough = 0;
                for (int y = 0; y < h; ++y) {
                    for (int x = 0; x < w; ++x) {
                        if (!inCorner(x, y, w, h) && pixels->alpha(x, y) != 255) ++seeThrough;
                    }
                }
                EXPECT_EQ(seeThrough, 0) << path << " lets the desktop show through inside its corners";
            }
        }
    }
    EXPECT_GT(checkedZones, 0);
    EXPECT_GT(checkedWindows, 0);
}

TEST(SkinFolders, DesktopIconsComeInEverySizeAndMatchTheSkinIcon) {
    const std::optional<std::string> skinIcon = readFile(skinPath("en", "icon"));
    ASSERT_TRUE(skinIcon.has_value());
    for (int side : {16, 24, 32, 48, 64, 128, 256}) {
        const std::string path = std::string(SKIN_ROOT) + "/icons/hicolor/" + std::to_string(side) + "x" +
                                 std::to_string(side) + "/apps/brevacast.png";
        const std::optional<std::string> bytes = readFile(path);
        ASSERT_TRUE(bytes.has_value()) << path << " is missing";
        const std::optional<Pixels> pixels = decode(*bytes);
        ASSERT_TRUE(pixels.has_value()) << path << " does not decode";
        EXPECT_EQ(pixels->width, side) << path;
        EXPECT_EQ(pixels->height, side) << path;
        // A rounded tile: see-through corners, solid middle.
        EXPECT_EQ(pixels->alpha(0, 0), 0) << path;
        EXPECT_EQ(pixels->alpha(side / 2, side / 2), 255) << path;
        if (side == 256) {
            EXPECT_EQ(*bytes, *skinIcon) << "the desktop and the windows show different icons";
        }
    }
}

}  // namespace
