#include "scene/info_layer.h"

#include <cstdio>

#include "platform/log.h"
#include "scene/text_renderer.h"

namespace {

constexpr uint32_t kWhite = 0x00FFFFFF;
constexpr uint32_t kBlack = 0;

std::mutex& FaceLock() {
    static std::mutex lock;
    return lock;
}

std::string& Face() {
    static std::string face = kInfoFaceChinese;
    return face;
}

}  // namespace

void CInfoLayer::SetFaceName(const std::string& face) {
    std::lock_guard<std::mutex> guard(FaceLock());
    Face() = face;
}

std::string CInfoLayer::FaceName() {
    std::lock_guard<std::mutex> guard(FaceLock());
    return Face();
}

CInfoLayer::CInfoLayer(const std::string& text, uint32_t fourcc) : fourcc_(fourcc), face_(FaceName()) {
    sourceName = text;
    keyColor = kBlack;
    Render(text, true);
}

CInfoLayer::~CInfoLayer() = default;

void CInfoLayer::SetText(const std::string& text) {
    {
        std::lock_guard<std::mutex> guard(textLock_);
        sourceName = text;
    }
    reRender = 1;
}

std::string CInfoLayer::Text() const {
    std::lock_guard<std::mutex> guard(textLock_);
    return sourceName;
}

ImageBuffer* CInfoLayer::GetImage(float, uint32_t) {
    // Cleared before the text is read: a text set while rendering is rendered on the next call.
    if (reRender.exchange(0)) Render(Text(), false);
    return image.get();
}

void CInfoLayer::Render(const std::string& text, bool placeBox) {
    LogFont description;
    description.height = kInfoFontHeight;
    description.weight = kInfoFontWeight;
    description.quality = kProofQuality;
    description.faceName = face_;
    const CTextFont font(description);
    const TextExtent extent = font.Measure(text);
    const int w = extent.cx, h = kInfoLines * extent.cy;
    if (placeBox) {
        if (h > 0) aspectRatio = static_cast<float>(extent.cx + 4) / static_cast<float>(h);
        SetRect(LayerRect{10, 10, w + 10, h + 10});
    }

    ImageBufferPtr rendered;
    std::unique_ptr<CTextSurface> surface = text.empty() || w <= 0 ? nullptr : CTextSurface::Create(w, h);
    if (surface) {
        surface->Fill(kBlack);
        // Without the single-line format every line break starts a new line from the top.
        surface->DrawText(font, text, TextRect{0, 0, w, h}, kDtVCenter, kWhite);
        rendered.reset(CreateImageBuffer(w, h, fourcc_));
        if (!rendered || !surface->CopyTo(rendered.get())) {
            Log(LogLevel::kError, "scene", "cannot keep a %dx%d information image", w, h);
            rendered.reset();
        }
    }
    image = std::move(rendered);
}
