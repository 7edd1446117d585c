// The information overlay: up to three lines of white text in the user-interface face, shown in
// the presenter's view only, never in the broadcast picture. The scene holds it outside the layer
// list (SetInfoText on the main thread); the view takes its image on the composition thread.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "scene/base_layer.h"

constexpr int32_t kInfoFontHeight = 16;
constexpr int32_t kInfoFontWeight = 600;
constexpr int32_t kInfoLines = 3;
// Text 37 of the Chinese table, the face until the language is chosen.
constexpr const char* kInfoFaceChinese = "微软雅黑";

class CInfoLayer : public CBaseLayer {
public:
    CInfoLayer(const std::string& text, uint32_t fourcc);
    ~CInfoLayer() override;

    // Renders the current text again when it changed since the last call.
    ImageBuffer* GetImage(float scale, uint32_t fourcc) override;

    // Any thread: replaces the text; the next GetImage renders it. The box keeps the size it got
    // from the first text, so a longer text is cut at that width.
    void SetText(const std::string& text);
    std::string Text() const;

    // The face of the overlay: text 37 of the language table in use. Set by the start-up once the
    // language is chosen; layers made afterwards use it.
    static void SetFaceName(const std::string& face);
    static std::string FaceName();

private:
    // Renders text into image; sizes the box too when placeBox is set (construction only).
    void Render(const std::string& text, bool placeBox);

    const uint32_t fourcc_;
    const std::string face_;
    mutable std::mutex textLock_;  // guards sourceName, which SetText replaces
};
