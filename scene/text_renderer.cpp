#include "scene/text_renderer.h"

#include <cairo.h>
#include <glib.h>
#include <pango/pangocairo.h>

#include <cstdio>
#include <cstring>
#include <mutex>

#include "platform/log.h"

namespace {

// Images may not be larger than this on either side (CreateImageBuffer refuses them), and Cairo
// itself stops at 32767.
constexpr int kMaxSurfaceSide = 16384;
// Size at which a face's ascent and descent are read to turn a cell height into an em size.
constexpr int kReferencePixels = 1024;

struct GObjectDeleter {
    void operator()(void* object) const {
        if (object) g_object_unref(object);
    }
};
template <typename T>
using GObjectPtr = std::unique_ptr<T, GObjectDeleter>;

struct FontDescriptionDeleter {
    void operator()(PangoFontDescription* d) const { pango_font_description_free(d); }
};
struct AttrListDeleter {
    void operator()(PangoAttrList* list) const { pango_attr_list_unref(list); }
};
struct FontMetricsDeleter {
    void operator()(PangoFontMetrics* m) const { pango_font_metrics_unref(m); }
};
struct FontOptionsDeleter {
    void operator()(cairo_font_options_t* o) const { cairo_font_options_destroy(o); }
};
struct CairoDeleter {
    void operator()(cairo_t* cr) const { cairo_destroy(cr); }
};
struct SurfaceDeleter {
    void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
struct GFreeDeleter {
    void operator()(char* p) const { g_free(p); }
};

// Pango's font maps and fontconfig are shared state that Pango does not protect across threads;
// captions are built on the main thread while the composition thread re-renders others.
std::mutex& TextLock() {
    static std::mutex lock;
    return lock;
}

// Under TextLock. One font map for the process, so that faces are opened once.
PangoFontMap* FontMap() {
    static GObjectPtr<PangoFontMap> map(pango_cairo_font_map_new());
    return map.get();
}

// Binary coverage and unhinted metrics: glyph edges never blend with the background (the key
// colour must stay exact), and extents scale in proportion to the font size.
std::unique_ptr<cairo_font_options_t, FontOptionsDeleter> UnsmoothedOptions() {
    std::unique_ptr<cairo_font_options_t, FontOptionsDeleter> options(cairo_font_options_create());
    cairo_font_options_set_antialias(options.get(), CAIRO_ANTIALIAS_NONE);
    cairo_font_options_set_hint_style(options.get(), CAIRO_HINT_STYLE_NONE);
    cairo_font_options_set_hint_metrics(options.get(), CAIRO_HINT_METRICS_OFF);
    return options;
}

// The rotation that turns a line to run downwards (270 degrees of escapement): x' = -y, y' = x.
constexpr double kDownXX = 0.0, kDownYX = 1.0, kDownXY = -1.0, kDownYY = 0.0;

// Under TextLock.
GObjectPtr<PangoContext> NewContext() {
    GObjectPtr<PangoContext> context(pango_font_map_create_context(FontMap()));
    pango_cairo_context_set_font_options(context.get(), UnsmoothedOptions().get());
    // The program's own language: Han characters pick Chinese faces first.
    pango_context_set_language(context.get(), pango_language_from_string("zh-cn"));
    // Glyphs keep their places on the line whatever the drawing transform; a vertical line is the
    // horizontal one turned as a whole.
    pango_context_set_base_gravity(context.get(), PANGO_GRAVITY_SOUTH);
    return context;
}

std::string ValidText(const std::string& text, bool oneLine) {
    std::unique_ptr<char, GFreeDeleter> valid(g_utf8_make_valid(text.c_str(), static_cast<gssize>(text.size())));
    std::string out = valid ? valid.get() : std::string();
    if (oneLine)
        for (char& c : out)
            if (c == '\n' || c == '\r') c = ' ';
    return out;
}

}  // namespace

struct CTextFont::Impl {
    std::unique_ptr<PangoFontDescription, FontDescriptionDeleter> description;

    // Under TextLock.
    GObjectPtr<PangoLayout> Layout(PangoContext* context, const std::string& text, bool underline,
                                   bool strikeOut) const {
        GObjectPtr<PangoLayout> layout(pango_layout_new(context));
        pango_layout_set_font_description(layout.get(), description.get());
        std::unique_ptr<PangoAttrList, AttrListDeleter> attrs(pango_attr_list_new());
        if (underline) pango_attr_list_insert(attrs.get(), pango_attr_underline_new(PANGO_UNDERLINE_SINGLE));
        if (strikeOut) pango_attr_list_insert(attrs.get(), pango_attr_strikethrough_new(TRUE));
        pango_layout_set_attributes(layout.get(), attrs.get());
        pango_layout_set_text(layout.get(), text.c_str(), static_cast<int>(text.size()));
        return layout;
    }
};

CTextFont::CTextFont(const LogFont& font) : font_(font), impl_(std::make_unique<Impl>()) {
    // The "@" vertical variant names the same face; the turn itself comes from the escapement.
    std::string face = font.faceName;
    if (!face.empty() && face[0] == '@') face.erase(0, 1);
    impl_->description.reset(pango_font_description_new());
    PangoFontDescription* d = impl_->description.get();
    pango_font_description_set_family(d, face.empty() ? "sans-serif" : face.c_str());
    const int weight = font.weight <= 0 ? 400 : (font.weight > 1000 ? 1000 : font.weight);
    pango_font_description_set_weight(d, static_cast<PangoWeight>(weight));
    pango_font_description_set_style(d, font.italic ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);

    // A positive height is the cell height, as the text's line height: find the em size that
    // gives it from the face's own ascent and descent.
    const int cell = font.height > 0 ? font.height : (font.height < 0 ? -font.height : 1);
    pango_font_description_set_absolute_size(d, static_cast<double>(kReferencePixels) * PANGO_SCALE);
    double emPixels = cell;
    {
        std::lock_guard<std::mutex> guard(TextLock());
        GObjectPtr<PangoContext> context = NewContext();
        std::unique_ptr<PangoFontMetrics, FontMetricsDeleter> metrics(
            pango_context_get_metrics(context.get(), d, nullptr));
        if (metrics) {
            const int lineUnits =
                pango_font_metrics_get_ascent(metrics.get()) + pango_font_metrics_get_descent(metrics.get());
            if (lineUnits > 0 && font.height > 0)
                emPixels = static_cast<double>(cell) * kReferencePixels * PANGO_SCALE / lineUnits;
        }
    }
    pango_font_description_set_absolute_size(d, emPixels * PANGO_SCALE);
}

CTextFont::~CTextFont() = default;

TextExtent CTextFont::Measure(const std::string& text) const {
    const std::string line = ValidText(text, true);
    std::lock_guard<std::mutex> guard(TextLock());
    GObjectPtr<PangoContext> context = NewContext();
    GObjectPtr<PangoLayout> layout = impl_->Layout(context.get(), line, font_.underline, font_.strikeOut);
    PangoRectangle logical{};
    pango_layout_get_pixel_extents(layout.get(), nullptr, &logical);
    return TextExtent{logical.width, logical.height};
}

struct CTextSurface::Impl {
    std::unique_ptr<cairo_surface_t, SurfaceDeleter> surface;
};

CTextSurface::CTextSurface(int width, int height, std::unique_ptr<Impl> impl)
    : width_(width), height_(height), impl_(std::move(impl)) {}

CTextSurface::~CTextSurface() = default;

std::unique_ptr<CTextSurface> CTextSurface::Create(int width, int height) {
    if (width <= 0 || height <= 0 || width > kMaxSurfaceSide || height > kMaxSurfaceSide) {
        Log(LogLevel::kWarning, "scene", "no text surface of %dx%d", width, height);
        return nullptr;
    }
    auto impl = std::make_unique<Impl>();
    impl->surface.reset(cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height));
    if (cairo_surface_status(impl->surface.get()) != CAIRO_STATUS_SUCCESS) {
        Log(LogLevel::kError, "scene", "cannot create a %dx%d text surface", width, height);
        return nullptr;
    }
    return std::unique_ptr<CTextSurface>(new CTextSurface(width, height, std::move(impl)));
}

void CTextSurface::Fill(uint32_t colour) {
    cairo_surface_t* s = impl_->surface.get();
    cairo_surface_flush(s);
    // Written directly so that the background holds exactly the colour asked for.
    const uint32_t pixel = ((colour & 0xFFu) << 16) | (colour & 0xFF00u) | ((colour >> 16) & 0xFFu);
    uint8_t* data = cairo_image_surface_get_data(s);
    const int stride = cairo_image_surface_get_stride(s);
    for (int y = 0; y < height_; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(data + static_cast<size_t>(y) * stride);
        for (int x = 0; x < width_; ++x) row[x] = pixel;
    }
    cairo_surface_mark_dirty(s);
}

void CTextSurface::DrawText(const CTextFont& font, const std::string& text, const TextRect& rect, uint32_t format,
                            uint32_t colour) {
    const bool singleLine = (format & kDtSingleLine) != 0;
    const std::string shown = ValidText(text, singleLine);
    if (shown.empty()) return;

    std::lock_guard<std::mutex> guard(TextLock());
    std::unique_ptr<cairo_t, CairoDeleter> cr(cairo_create(impl_->surface.get()));
    // Underline and strike-out bars are filled shapes: keep them as hard-edged as the glyphs.
    cairo_set_antialias(cr.get(), CAIRO_ANTIALIAS_NONE);
    cairo_set_font_options(cr.get(), UnsmoothedOptions().get());
    cairo_set_source_rgb(cr.get(), (colour & 0xFF) / 255.0, ((colour >> 8) & 0xFF) / 255.0,
                         ((colour >> 16) & 0xFF) / 255.0);

    const bool vertical = font.Vertical();
    GObjectPtr<PangoContext> context = NewContext();
    GObjectPtr<PangoLayout> layout =
        font.impl_->Layout(context.get(), shown, font.Description().underline, font.Description().strikeOut);
    if (vertical) {
        cairo_translate(cr.get(), rect.left, rect.top);
        cairo_matrix_t down;
        cairo_matrix_init(&down, kDownXX, kDownYX, kDownXY, kDownYY, 0.0, 0.0);
        cairo_transform(cr.get(), &down);
        cairo_move_to(cr.get(), 0.0, 0.0);
    } else {
        int y = rect.top;
        if (singleLine && (format & kDtVCenter)) {
            PangoRectangle logical{};
            pango_layout_get_pixel_extents(layout.get(), nullptr, &logical);
            y = rect.top + (rect.bottom - rect.top - logical.height) / 2;
        }
        cairo_move_to(cr.get(), rect.left, y);
    }
    pango_cairo_show_layout(cr.get(), layout.get());
    cairo_surface_flush(impl_->surface.get());
}

bool CTextSurface::CopyTo(ImageBuffer* image) const {
    if (image == nullptr || image->planes[0] == nullptr || image->width != width_ || image->height != height_)
        return false;
    const int bpp = BytesPerPixel(image->fourcc);
    if (bpp != 3 && bpp != 4) return false;
    cairo_surface_t* s = impl_->surface.get();
    cairo_surface_flush(s);
    const uint8_t* data = cairo_image_surface_get_data(s);
    const int stride = cairo_image_surface_get_stride(s);
    for (int y = 0; y < height_; ++y) {
        const auto* src = reinterpret_cast<const uint32_t*>(data + static_cast<size_t>(y) * stride);
        uint8_t* dst = image->planes[0] + static_cast<size_t>(y) * image->strides[0];
        for (int x = 0; x < width_; ++x, dst += bpp) {
            const uint32_t p = src[x];
            dst[0] = static_cast<uint8_t>(p);
            dst[1] = static_cast<uint8_t>(p >> 8);
            dst[2] = static_cast<uint8_t>(p >> 16);
            if (bpp == 4) dst[3] = 255;
        }
    }
    return true;
}
