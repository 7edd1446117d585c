// The images of controls shared by several windows: boxes, toggles, fields, sliders, pop-up panels and
// their entries, and the screen and camera choice tiles.
#include "tools/skin_painter/skin_catalogue.h"
#include "tools/skin_painter/skin_parts.h"

namespace skin {

namespace {

const std::initializer_list<State> kChoiceStates = {State::Normal, State::Hover, State::Selected, State::Disabled};
const std::initializer_list<State> kTileStates = {State::Normal, State::Hover, State::Selected};

// The program sets a chosen toggle's caption in the accent colour, so the chosen look is a strong
// accent tint with an accent edge rather than a solid accent fill the caption would vanish into.
void toggle(QPainter& p, State state) {
    const QRectF rect(0, 0, 76, 28);
    if (state == State::Selected) {
        framedPanel(p, rect, withAlpha(pal::kAccent, 0.24), QColor(pal::kAccent));
    } else {
        secondaryBody(p, rect, state);
    }
}

void spinButton(QPainter& p, Glyph glyph, State state) {
    const bool hover = state == State::Hover;
    framedPanel(p, QRectF(0, 0, 18, 14), QColor(hover ? pal::kHoverFill : pal::kRaised),
                QColor(hover ? pal::kHairlineHover : pal::kHairline), 3);
    drawIcon(p, glyph, QRect(3, 1, 12, 12), iconColour(state));
}

void sliderThumb(QPainter& p, State state) {
    QPainterPath knob;
    knob.addEllipse(QPointF(8, 8), 6, 6);
    softShadow(p, knob, 3, QPointF(0, 1), 0.55);
    p.setPen(Qt::NoPen);
    if (state == State::Hover) {
        p.setBrush(QColor(pal::kAccent));
        p.drawPath(knob);
        p.setBrush(QColor(pal::kWhite));
        p.drawEllipse(QPointF(8, 8), 4, 4);
    } else {
        p.setBrush(QColor(pal::kWhite));
        p.drawPath(knob);
    }
}

void volumePanel(QPainter& p) {
    const QRectF panel(5, 3, 46, 150);
    softShadow(p, roundedPath(panel), 6, QPointF(0, 2), 0.5);
    framedPanel(p, panel, QColor(pal::kRaised), QColor(pal::kHairline));
}

void logOffEntry(QPainter& p, Lang lang, State state) {
    popupEntry(p, {116, 32}, state);
    const std::vector<WordRun> words{{pick(lang, "注销", "Log off"), wordsFont(lang, 13, false),
                                      QColor(state == State::Hover ? pal::kWhite : pal::kText)}};
    constexpr int kIcon = 16;
    constexpr qreal kGap = 8;
    const qreal left = std::round((116 - (kIcon + kGap + inkWidth(words))) / 2);
    drawIcon(p, Glyph::LogOut, QRect(static_cast<int>(left), 8, kIcon, kIcon), iconColour(state));
    drawCentredRuns(p, QPointF(left + kIcon + kGap + inkWidth(words) / 2, 16), words);
}

// A choice tile's body; the program draws the screen number or camera name on it.
void tileBody(QPainter& p, State state) {
    const QRectF rect(0, 0, 128, 88);
    switch (state) {
        case State::Hover:
            framedPanel(p, rect, QColor(pal::kHoverFill), QColor(pal::kHairlineHover));
            break;
        case State::Selected:
            framedPanel(p, rect, withAlpha(pal::kAccent, kTintAlpha), QColor(pal::kAccent));
            break;
        default:
            framedPanel(p, rect, QColor(pal::kField), QColor(pal::kHairline));
            break;
    }
}

void monitorTile(QPainter& p, State state) {
    tileBody(p, state);
    const QColor line = iconColour(state);
    // The screen stays dark and flat: the program writes the screen's number in it.
    const QRectF screen(31, 15, 66, 44);
    framedPanel(p, screen, QColor(pal::kWindow), Qt::transparent, 4);
    p.setPen(QPen(line, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(roundedPath(screen.adjusted(1, 1, -1, -1), 3));
    p.drawLine(QPointF(64, 59), QPointF(64, 67));
    p.drawLine(QPointF(53, 69), QPointF(75, 69));
}

void cameraTile(QPainter& p, State state) {
    tileBody(p, state);
    drawIcon(p, Glyph::Camera, QRect(40, 8, 48, 48), iconColour(state));
}

}  // namespace

SkinTable controlSkins() {
    SkinTable t;
    addStates(t, "check", {18, 18}, kChoiceStates, [](QPainter& p, State s) { checkBox(p, QRectF(0, 0, 18, 18), s); });
    addStates(t, "radio", {18, 18}, kChoiceStates,
              [](QPainter& p, State s) { radioButton(p, QRectF(0, 0, 18, 18), s); });
    addStates(t, "toggle", {76, 28}, kTileStates, toggle);
    addStates(t, "listbtn", {220, 30}, {State::Normal, State::Hover, State::Disabled}, [](QPainter& p, State s) {
        choiceField(p, {220, 30}, 28, s);
    });
    // Stretched both ways by the program, so it has square corners and nothing but its edge line.
    addImage(t, "listpanel_bg", {220, 200}, [](QPainter& p) {
        p.fillRect(QRect(0, 0, 220, 200), QColor(pal::kHairline));
        p.fillRect(QRect(1, 1, 218, 198), QColor(pal::kField));
    });
    addImage(t, "edit", {220, 30}, [](QPainter& p) { entryFrame(p, QRectF(0, 0, 220, 30)); });
    addStates(t, "btn", {88, 30}, {State::Normal, State::Hover, State::Disabled},
              [](QPainter& p, State s) { secondaryBody(p, QRectF(0, 0, 88, 30), s); });
    addStates(t, "spin_up", {18, 14}, {State::Normal, State::Hover},
              [](QPainter& p, State s) { spinButton(p, Glyph::ChevronUp, s); });
    addStates(t, "spin_down", {18, 14}, {State::Normal, State::Hover},
              [](QPainter& p, State s) { spinButton(p, Glyph::ChevronDown, s); });
    addImage(t, "slider_track", {200, 6},
             [](QPainter& p) { framedPill(p, QRectF(0, 0, 200, 6), QColor(pal::kHairline), Qt::transparent); });
    addImage(t, "slider_fill", {200, 6},
             [](QPainter& p) { framedPill(p, QRectF(0, 0, 200, 6), QColor(pal::kAccent), Qt::transparent); });
    addStates(t, "slider_thumb", {16, 16}, {State::Normal, State::Hover}, sliderThumb);
    addImage(t, "vslider_track", {6, 110},
             [](QPainter& p) { framedPill(p, QRectF(0, 0, 6, 110), QColor(pal::kHairline), Qt::transparent); });
    addImage(t, "vslider_fill", {6, 110},
             [](QPainter& p) { framedPill(p, QRectF(0, 0, 6, 110), QColor(pal::kAccent), Qt::transparent); });
    addImage(t, "volume_bg", {56, 160}, volumePanel);
    addImage(t, "logoff_bg", {132, 48}, [](QPainter& p) { popupPanel(p, {132, 48}); });
    addWordStates(t, "logoff", {116, 32}, {State::Normal, State::Hover}, logOffEntry);
    addImage(t, "menu_bg", {148, 316}, [](QPainter& p) { popupPanel(p, {148, 316}); });
    addStates(t, "menuitem", {140, 30}, {State::Normal, State::Hover}, [](QPainter& p, State s) {
        popupEntry(p, {140, 30}, s);
    });
    addImage(t, "activepanel_bg", {260, 220}, [](QPainter& p) { popupPanel(p, {260, 220}); });
    addStates(t, "activelist", {244, 32}, {State::Normal, State::Hover}, [](QPainter& p, State s) {
        popupEntry(p, {244, 32}, s);
    });
    addStates(t, "monitor", {128, 88}, kTileStates, monitorTile);
    addStates(t, "cambtn", {128, 88}, kTileStates, cameraTile);
    addStates(t, "colorbtn", {48, 26}, {State::Normal, State::Hover}, [](QPainter& p, State s) {
        framedPanel(p, QRectF(0, 0, 48, 26), QColor(pal::kField),
                    QColor(s == State::Hover ? pal::kHairlineHover : pal::kHairline));
    });
    return t;
}

}  // namespace skin
