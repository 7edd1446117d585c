#include "scene/text_layer.h"

#include <algorithm>
#include <cstdio>

#include "platform/log.h"
#include "platform/media_clock.h"
#include "scene/scene_source.h"

namespace {

// A box dragged far beyond any canvas must not ask for a font (and an image) without bound.
constexpr int32_t kMaxFontHeight = 4096;
constexpr uint32_t kWhite = 0x00FFFFFF;
// Layers only draw the three colour bytes; a stray top byte must not decide the key.
constexpr uint32_t kColourMask = 0x00FFFFFF;

}  // namespace

TextStyle TextStyle::FromRecord(const SceneSource& record) {
    TextStyle style;
    style.FaceName = record.FaceName;
    style.rgbColor = record.rgbColor;
    style.Bold = record.Bold;
    style.Italic = record.Italic;
    style.UnderLine = record.UnderLine;
    style.StrikeOut = record.StrikeOut;
    style.Hollow = record.Hollow;
    style.MoveSpeed = record.MoveSpeed;
    style.MoveDirection = record.MoveDirection;
    return style;
}

void TextStyle::ToRecord(SceneSource* record) const {
    record->FaceName = FaceName;
    record->rgbColor = rgbColor;
    record->Bold = Bold;
    record->Italic = Italic;
    record->UnderLine = UnderLine;
    record->StrikeOut = StrikeOut;
    record->Hollow = Hollow;
    record->MoveSpeed = MoveSpeed;
    record->MoveDirection = MoveDirection;
}

CTxtLayer::CTxtLayer(const std::string& text, const TextStyle& style, uint32_t fourcc, TickClock clock)
    : style_(style), fourcc_(fourcc), clock_(clock ? std::move(clock) : TickClock(TimeGetTime)) {
    sourceName = text;
    keepRatio = 0;
    scrollStart_ = clock_();
    // The background must differ from the text: black text is keyed on white.
    keyColor = (style_.rgbColor & kColourMask) != 0 ? 0u : kWhite;

    const bool vertical = Vertical();
    font_.height = kCaptionBaseHeight;
    font_.escapement = vertical ? kVerticalEscapement : 0;
    font_.weight = style_.Bold ? 700 : 400;
    font_.italic = style_.Italic ? 1 : 0;
    font_.underline = style_.UnderLine ? 1 : 0;
    font_.strikeOut = style_.StrikeOut ? 1 : 0;
    font_.quality = kProofQuality;
    font_.faceName = vertical ? "@" + style_.FaceName : style_.FaceName;

    TextExtent extent;
    Render(&extent);
    baseWidth_ = vertical ? extent.cy : extent.cx + 4;
    baseHeight_ = vertical ? extent.cx : extent.cy;
    if (style_.Hollow) {
        baseWidth_ += 3;
        baseHeight_ += 3;
    }
    if (baseWidth_ > 0 && baseHeight_ > 0)
        aspectRatio = static_cast<float>(baseWidth_) / static_cast<float>(baseHeight_);
    scrollCycle_ = (2 * extent.cx) / kScrollStepPixels;
}

CTxtLayer::~CTxtLayer() = default;

bool CTxtLayer::Vertical() const {
    return style_.MoveDirection == kTextTopToBottom || style_.MoveDirection == kTextBottomToTop;
}

void CTxtLayer::Render(TextExtent* extent) {
    const CTextFont font(font_);
    *extent = font.Measure(sourceName);
    const bool vertical = font.Vertical();
    const bool hollow = style_.Hollow != 0;
    int W = vertical ? extent->cy : extent->cx;
    int H = vertical ? extent->cx : extent->cy;
    if (hollow) {
        W += 3;
        H += 3;
    }

    ImageBufferPtr rendered;
    // An empty text has nothing to show: no image, so nothing is drawn.
    std::unique_ptr<CTextSurface> surface =
        sourceName.empty() || extent->cx <= 0 ? nullptr : CTextSurface::Create(W, H);
    if (surface) {
        const uint32_t key = keyColor;
        const uint32_t colour = style_.rgbColor & kColourMask;
        surface->Fill(key);
        if (!hollow) {
            if (vertical)
                surface->DrawText(font, sourceName, TextRect{W, 0, 0, H}, kDtVCenter, colour);
            else
                surface->DrawText(font, sourceName, TextRect{0, 0, W, H}, kDtSingleLine | kDtVCenter, colour);
        } else {
            // The outline: the text at nine offsets around (1, 1), then its inside put back to the
            // background at (1, 1).
            for (int i = 0; i < 3; ++i)
                for (int j = 0; j < 3; ++j) {
                    if (vertical)
                        surface->DrawText(font, sourceName, TextRect{W - 3 + i, j, i, H - 3 + j}, kDtVCenter, colour);
                    else
                        surface->DrawText(font, sourceName, TextRect{i, j, W - 3 + i, H - 3 + j},
                                          kDtSingleLine | kDtVCenter, colour);
                }
            if (vertical)
                surface->DrawText(font, sourceName, TextRect{W - 2, 1, 1, H - 2}, kDtVCenter, key);
            else
                surface->DrawText(font, sourceName, TextRect{1, 1, W - 2, H - 2}, kDtSingleLine | kDtVCenter, key);
        }
        rendered.reset(CreateImageBuffer(W, H, fourcc_));
        if (!rendered || !surface->CopyTo(rendered.get())) {
            Log(LogLevel::kError, "scene", "cannot keep a %dx%d caption image", W, H);
            rendered.reset();
        }
    }
    std::lock_guard<std::mutex> guard(imageLock_);
    image = std::move(rendered);
}

void CTxtLayer::ResetSize(int canvasWidth, int canvasHeight, int viewWidth, int viewHeight, float scale) {
    std::lock_guard<std::mutex> guard(imageLock_);
    CBaseLayer::ResetSize(canvasWidth, canvasHeight, viewWidth, viewHeight, scale);
}

ImageBuffer* CTxtLayer::GetImage(float scale, uint32_t) {
    // Taken before rendering, so that a resize made meanwhile renders again on the next frame.
    if (!reRender.exchange(0)) return image.get();
    const LayerRect r = GetRect();
    const int w = static_cast<int>(r.Width() * scale);
    const int h = static_cast<int>(r.Height() * scale);
    if (sourceName.empty() || baseWidth_ <= 0 || baseHeight_ <= 0) {
        scrollCycle_ = 0;
        return image.get();
    }
    // The largest size at which the text fits the box: the smaller of the two ratios wins.
    const double fit =
        std::min(static_cast<double>(w) / baseWidth_, static_cast<double>(h) / baseHeight_) * kCaptionBaseHeight;
    font_.height =
        std::clamp(static_cast<int32_t>(std::min(fit, static_cast<double>(kMaxFontHeight))), 1, kMaxFontHeight);
    TextExtent extent;
    Render(&extent);
    // The text travels from just outside one edge of the box to just outside the other.
    scrollCycle_ = ((Vertical() ? h : w) + extent.cx) / kScrollStepPixels;
    return image.get();
}

void CTxtLayer::GetPosition(LayerPoint* out, float scale) {
    const LayerRect r = GetRect();
    out->x = static_cast<int32_t>(r.left * scale);
    out->y = static_cast<int32_t>(r.top * scale);
    // A cycle of 0 (an empty text, or a box too small to travel through) has nothing to scroll.
    if (style_.MoveSpeed == 0 || scrollCycle_ <= 0) return;
    const uint32_t steps = (clock_() - scrollStart_) / kScrollStepMs;
    const int64_t step = (static_cast<int64_t>(style_.MoveSpeed) * steps) % scrollCycle_;
    const auto d = static_cast<int32_t>(kScrollStepPixels * step);
    const ImageBuffer* shown = image.get();
    const int32_t imageWidth = shown ? shown->width : 0;
    const int32_t imageHeight = shown ? shown->height : 0;
    switch (style_.MoveDirection) {
        case kTextLeftToRight:
            out->x = out->x - imageWidth + d;
            break;
        case kTextRightToLeft:
            out->x = static_cast<int32_t>(r.right * scale) - d;
            break;
        case kTextTopToBottom:
            out->y = out->y - imageHeight + d;
            break;
        case kTextBottomToTop:
            out->y = static_cast<int32_t>(r.bottom * scale) - d;
            break;
        default:
            break;
    }
}

void CTxtLayer::ExportFields(SceneSource* record) const {
    if (record != nullptr) style_.ToRecord(record);
}
