// The images of the main window: top and bottom bars, the source buttons, the live controls and the
// scene-sources panel at the right.
#include <QLinearGradient>

#include "tools/skin_painter/program_icon.h"
#include "tools/skin_painter/skin_catalogue.h"
#include "tools/skin_painter/skin_parts.h"

namespace skin {

namespace {

const std::initializer_list<State> kFourStates = {State::Normal, State::Hover, State::Selected, State::Disabled};

void banner(QPainter& p) {
    const QRectF rect(0, 0, 721, 56);
    QLinearGradient shade(0, 0, 0, rect.height());
    shade.setColorAt(0, QColor(pal::kPanel));
    shade.setColorAt(1, QColor(pal::kSunken));
    p.setPen(Qt::NoPen);
    p.setBrush(shade);
    // The bar is the top of the window, so its upper corners are the window's.
    p.drawPath(roundedPath(rect, kRadius, kTopLeft | kTopRight));
    p.fillRect(QRectF(0, rect.height() - 1, rect.width(), 1), QColor(pal::kHairline));
}

void bottomBar(QPainter& p) {
    const QRectF rect(0, 0, 721, 64);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(pal::kPanel));
    p.drawPath(roundedPath(rect, kRadius, kBottomLeft | kBottomRight));
    p.fillRect(QRectF(0, 0, rect.width(), 1), QColor(pal::kHairline));
}

// The word mark after the mark: "Brevacast" in bold, the second word lighter.
std::vector<WordRun> wordMark(Lang lang, int pixelSize) {
    std::vector<WordRun> runs{{QStringLiteral("Brevacast"), latinFont(pixelSize, true), QColor(pal::kText)}};
    if (lang == Lang::Cn) {
        runs.push_back({QString::fromUtf8("直播"), chineseFont(pixelSize + 1), QColor(pal::kTextDim), 1});
    } else {
        runs.push_back({QStringLiteral(" Streaming"), latinFont(pixelSize, false), QColor(pal::kTextDim)});
    }
    return runs;
}

void logo(QPainter& p, Lang lang) {
    constexpr qreal kWordsLeft = 36;
    drawBroadcastMark(p, QRectF(0, 2, 28, 28), QColor(pal::kAccent));
    // Both languages share the size at which the longer English mark still fits, so that "Brevacast"
    // looks the same in either.
    int size = 16;
    while (size > 10 && inkWidth(wordMark(Lang::En, size)) > 190 - kWordsLeft - 2) --size;
    const std::vector<WordRun> runs = wordMark(lang, size);
    drawCentredRuns(p, QPointF(kWordsLeft + inkWidth(runs) / 2, 16), runs);
}

void userArea(QPainter& p) { framedPill(p, QRectF(0, 0, 160, 36), QColor(pal::kField), QColor(pal::kHairline)); }

void portrait(QPainter& p) {
    const QRectF rect(0, 0, 28, 28);
    QPainterPath circle;
    circle.addEllipse(rect);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(pal::kHoverFill));
    p.drawPath(circle);
    p.save();
    p.setClipPath(circle);
    p.setBrush(QColor(pal::kTextDim));
    p.drawEllipse(QPointF(14, 11), 5, 5);
    p.drawEllipse(QPointF(14, 28), 10, 8);
    p.restore();
}

void sourceButton(QPainter& p, Glyph glyph, State state) {
    stateFill(p, QRectF(0, 0, 120, 40), state);
    drawIcon(p, glyph, QRect(12, 10, 20, 20), iconColour(state));
}

// Microphone and speaker: the chosen look is the muted one, tinted red like every live warning.
void soundButton(QPainter& p, Glyph glyph, State state) {
    const QRect icon(8, 8, 20, 20);
    if (state != State::Selected) {
        iconButton(p, QSize(36, 36), glyph, state, 20);
        return;
    }
    framedPanel(p, QRectF(0, 0, 36, 36), withAlpha(pal::kLive, 0.16), Qt::transparent);
    drawSlashedIcon(p, glyph, icon, QColor(pal::kIcon), QColor(pal::kLive));
}

void recordButton(QPainter& p, State state) {
    if (state != State::Selected) {
        iconButton(p, QSize(36, 36), Glyph::Ring, state, 20);
        return;
    }
    framedPanel(p, QRectF(0, 0, 36, 36), withAlpha(pal::kLive, 0.16), Qt::transparent);
    drawIcon(p, Glyph::Ring, QRect(8, 8, 20, 20), QColor(pal::kLive));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(pal::kLive));
    p.drawEllipse(QPointF(18, 18), 4, 4);
}

void liveButton(QPainter& p, Lang lang, bool start, bool hover) {
    const QRectF rect(0, 0, 132, 40);
    const QColor fill =
        start ? QColor(hover ? pal::kAccentHover : pal::kAccent) : QColor(hover ? pal::kLiveHover : pal::kLive);
    framedPill(p, rect, fill, Qt::transparent);
    const std::vector<WordRun> words{{start ? pick(lang, "开始直播", "Go Live") : pick(lang, "停止直播", "Stop"),
                                      captionFont(lang, 14), QColor(pal::kWhite)}};
    // The dot or square leads the caption; the pair is centred as one.
    constexpr qreal kMark = 8;
    constexpr qreal kGap = 8;
    const qreal group = kMark + kGap + inkWidth(words);
    const qreal left = std::round((rect.width() - group) / 2);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(pal::kWhite));
    const QRectF mark(left, 16, kMark, kMark);
    if (start) {
        p.drawEllipse(mark);
    } else {
        p.drawRoundedRect(mark, 1.5, 1.5);
    }
    drawCentredRuns(p, QPointF(left + kMark + kGap + inkWidth(words) / 2, 20), words);
}

void sourcesPanel(QPainter& p) {
    p.fillRect(QRect(0, 0, 220, 760), QColor(pal::kSunken));
    p.fillRect(QRect(0, 0, 220, 36), QColor(pal::kPanel));
    p.fillRect(QRect(0, 35, 220, 1), QColor(pal::kHairline));
    p.fillRect(QRect(0, 0, 1, 760), QColor(pal::kHairline));
}

void layerRow(QPainter& p, State state) {
    const QRectF rect(0, 0, 216, 34);
    if (state == State::Hover) framedPanel(p, rect, QColor(pal::kRaised), Qt::transparent);
    if (state == State::Selected) {
        framedPanel(p, rect, withAlpha(pal::kAccent, kTintAlpha), Qt::transparent);
        p.save();
        p.setClipPath(roundedPath(rect));
        p.fillRect(QRectF(0, 0, 3, rect.height()), QColor(pal::kAccent));
        p.restore();
    }
}

void eyeButton(QPainter& p, State state) {
    const QRect icon(2, 2, 16, 16);
    if (state == State::Selected) {
        drawSlashedIcon(p, Glyph::Eye, icon, QColor(pal::kTextDim), QColor(pal::kTextDim));
        return;
    }
    stateFill(p, QRectF(0, 0, 20, 20), state);
    drawIcon(p, Glyph::Eye, icon, iconColour(state));
}

// The tab hangs off the panel's left edge, so only its outer corners are round.
void panelTab(QPainter& p, State state) {
    const QRectF rect(0, 0, 14, 64);
    const bool hover = state == State::Hover;
    framedPanel(p, rect, QColor(hover ? pal::kHoverFill : pal::kRaised), QColor(pal::kHairline), kRadius,
                kTopLeft | kBottomLeft);
    const Glyph glyph = state == State::Selected ? Glyph::ChevronLeft : Glyph::ChevronRight;
    drawIcon(p, glyph, QRect(-1, 26, 16, 16), iconColour(hover ? State::Hover : State::Normal));
}

}  // namespace

SkinTable mainWindowSkins() {
    SkinTable t;
    addImage(t, "banner", {721, 56}, banner);
    addWordImage(t, "logo", {190, 32}, logo);
    addImage(t, "user", {160, 36}, userArea);
    addImage(t, "portrait", {28, 28}, portrait);
    addStates(t, "active", {220, 30}, {State::Normal, State::Hover, State::Disabled}, [](QPainter& p, State s) {
        choiceField(p, {220, 30}, 24, s);
    });
    const std::pair<const char*, Glyph> titleButtons[] = {
        {"setting", Glyph::Gear}, {"minisize", Glyph::Minus}, {"web", Glyph::Globe}};
    for (const auto& [name, glyph] : titleButtons) {
        addStates(t, name, {32, 32}, {State::Normal, State::Hover}, [glyph](QPainter& p, State s) {
            iconButton(p, {32, 32}, glyph, s, 20);
        });
    }
    addStates(t, "close", {32, 32}, {State::Normal, State::Hover}, [](QPainter& p, State s) {
        closeButton(p, {32, 32}, 20, s == State::Hover);
    });
    addImage(t, "bottom", {721, 64}, bottomBar);
    addImage(t, "bmline", {1, 36}, [](QPainter& p) { p.fillRect(QRect(0, 0, 1, 36), QColor(pal::kHairline)); });
    const std::pair<const char*, Glyph> sources[] = {
        {"screen", Glyph::Monitor}, {"image", Glyph::Picture}, {"font", Glyph::Letter}, {"camera", Glyph::Camera}};
    for (const auto& [name, glyph] : sources) {
        addStates(t, name, {120, 40}, kFourStates, [glyph](QPainter& p, State s) { sourceButton(p, glyph, s); });
    }
    addStates(t, "mic", {36, 36}, kFourStates, [](QPainter& p, State s) { soundButton(p, Glyph::Mic, s); });
    addStates(t, "spk", {36, 36}, kFourStates, [](QPainter& p, State s) { soundButton(p, Glyph::Speaker, s); });
    addStates(t, "record", {36, 36}, kFourStates, recordButton);
    addWordStates(t, "start", {132, 40}, {State::Normal, State::Hover},
                  [](QPainter& p, Lang l, State s) { liveButton(p, l, true, s == State::Hover); });
    addWordStates(t, "stop", {132, 40}, {State::Normal, State::Hover},
                  [](QPainter& p, Lang l, State s) { liveButton(p, l, false, s == State::Hover); });
    addImage(t, "right", {220, 760}, sourcesPanel);
    addStates(t, "layerrow", {216, 34}, {State::Normal, State::Hover, State::Selected}, layerRow);
    addStates(t, "eye", {20, 20}, {State::Normal, State::Hover, State::Selected}, eyeButton);
    addStates(t, "ctrlbtn", {14, 64}, {State::Normal, State::Hover, State::Selected}, panelTab);
    const std::pair<const char*, Glyph> kinds[] = {{"kind_screen", Glyph::Monitor},
                                                   {"kind_camera", Glyph::Camera},
                                                   {"kind_media", Glyph::Play},
                                                   {"kind_text", Glyph::Letter},
                                                   {"kind_picture", Glyph::Picture}};
    for (const auto& [name, glyph] : kinds) {
        addImage(t, name, {16, 16},
                 [glyph](QPainter& p) { drawIcon(p, glyph, QRect(0, 0, 16, 16), QColor(pal::kTextDim)); });
    }
    return t;
}

}  // namespace skin
