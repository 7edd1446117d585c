// The images of the logon dialog, the message box and the settings dialogs.
#include <QLinearGradient>

#include "tools/skin_painter/program_icon.h"
#include "tools/skin_painter/skin_catalogue.h"
#include "tools/skin_painter/skin_parts.h"

namespace skin {

namespace {

constexpr int kLogonHero = 170;

void logonCard(QPainter& p, Lang lang) {
    const QRectF rect(0, 0, 380, 500);
    const QPainterPath card = roundedPath(rect);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(pal::kPanel));
    p.drawPath(card);
    p.save();
    p.setClipPath(card);
    // The hero fades into the panel colour exactly at its lower edge, so no seam shows.
    QLinearGradient hero(0, 0, 0, kLogonHero);
    hero.setColorAt(0, mix(pal::kAccentPressed, pal::kPanel, 0.35));
    hero.setColorAt(1, QColor(pal::kPanel));
    p.fillRect(QRectF(0, 0, rect.width(), kLogonHero), hero);
    // Waves leaving the right edge echo the mark's arcs.
    const QPointF source(404, 84);
    const qreal radii[] = {34, 60, 86, 112};
    const qreal alphas[] = {0.16, 0.12, 0.08, 0.05};
    p.setBrush(Qt::NoBrush);
    for (int i = 0; i < 4; ++i) {
        p.setPen(QPen(withAlpha(pal::kWhite, alphas[i]), 1.5));
        p.drawEllipse(source, radii[i], radii[i]);
    }
    p.restore();
    drawBroadcastMark(p, QRectF(166, 36, 48, 48), QColor(pal::kWhite));
    std::vector<WordRun> title{{QStringLiteral("Brevacast"), latinFont(20, true), QColor(pal::kText)}};
    if (lang == Lang::Cn) {
        title.push_back({QString::fromUtf8("直播"), chineseFont(21), mix(pal::kText, pal::kTextDim, 0.45), 1});
    } else {
        title.push_back({QStringLiteral(" Streaming"), latinFont(20, false), mix(pal::kText, pal::kTextDim, 0.45)});
    }
    drawCentredRuns(p, QPointF(190, 112), title);
    framedPanel(p, rect, Qt::NoBrush, QColor(pal::kHairline));
}

// Title buttons over the hero: light on the blue, a translucent white plate under the pointer.
void heroButton(QPainter& p, Glyph glyph, bool hover) {
    const QRect icon(6, 6, 16, 16);
    if (glyph == Glyph::Cross && hover) {
        closeButton(p, {28, 28}, 16, true);
        return;
    }
    if (hover) framedPanel(p, QRectF(0, 0, 28, 28), withAlpha(pal::kWhite, 0.14), Qt::transparent);
    drawIcon(p, glyph, icon, hover ? QColor(pal::kWhite) : QColor(pal::kText));
}

void linkText(QPainter& p, Lang lang, bool hover) {
    const QFont font = wordsFont(lang, 13, false);
    const QString text = pick(lang, "注册账号", "Sign up");
    const QColor colour(hover ? pal::kAccentHover : pal::kAccent);
    drawCentredWords(p, QRectF(0, 0, 96, 20), text, font, colour);
    if (hover) {
        const qreal width = std::round(inkWidth({{text, font, colour}}));
        const qreal left = std::round((96 - width) / 2);
        p.fillRect(QRectF(left, 17, width, 1), colour);
    }
}

void warningBadge(QPainter& p) {
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(pal::kWarning));
    p.drawEllipse(QPointF(20, 20), 17, 17);
    p.setBrush(QColor(pal::kWindow));
    p.drawRoundedRect(QRectF(18.25, 9, 3.5, 14), 1.75, 1.75);
    p.drawEllipse(QPointF(20, 28.5), 2.25, 2.25);
}

void settingsTab(QPainter& p, Lang lang, State state, Glyph glyph, const char* cn, const char* en) {
    const QRectF rect(0, 0, 72, 64);
    stateFill(p, rect, state);
    if (state == State::Selected) {
        p.save();
        p.setClipPath(roundedPath(rect));
        p.fillRect(QRectF(0, 0, 3, rect.height()), QColor(pal::kAccent));
        p.restore();
    }
    drawIcon(p, glyph, QRect(24, 10, 24, 24), iconColour(state));
    const QColor words(state == State::Normal ? pal::kTextDim : pal::kText);
    drawCentredWords(p, QRectF(0, 40, 72, 16), pick(lang, cn, en), wordsFont(lang, 12, false), words);
}

struct DialogTitle {
    const char* name;
    QSize size;
    const char* cn;
    const char* en;
};

}  // namespace

SkinTable dialogSkins() {
    SkinTable t;
    addWordImage(t, "logonbg", {380, 500}, logonCard);
    addImage(t, "logonwhite", {332, 260},
             [](QPainter& p) { framedPanel(p, QRectF(0, 0, 332, 260), QColor(pal::kField), QColor(pal::kHairline)); });
    addImage(t, "logonedit", {300, 40}, [](QPainter& p) { entryFrame(p, QRectF(0, 0, 300, 40)); });
    addStates(t, "logonclose", {28, 28}, {State::Normal, State::Hover},
              [](QPainter& p, State s) { heroButton(p, Glyph::Cross, s == State::Hover); });
    addStates(t, "logonmini", {28, 28}, {State::Normal, State::Hover},
              [](QPainter& p, State s) { heroButton(p, Glyph::Minus, s == State::Hover); });
    addStates(t, "logoncheck", {16, 16}, {State::Normal, State::Hover, State::Selected, State::Disabled},
              [](QPainter& p, State s) { checkBox(p, QRectF(0, 0, 16, 16), s); });
    addWordStates(t, "logon", {300, 42}, {State::Normal, State::Hover}, [](QPainter& p, Lang l, State s) {
        solidButton(p, QRectF(0, 0, 300, 42), QColor(s == State::Hover ? pal::kAccentHover : pal::kAccent),
                    {{pick(l, "登 录", "Log In"), captionFont(l, 15), QColor(pal::kWhite)}});
    });
    addWordStates(t, "sign", {96, 20}, {State::Normal, State::Hover},
                  [](QPainter& p, Lang l, State s) { linkText(p, l, s == State::Hover); });
    // The marks inside the account and password fields, and the frame of the Offline button, whose words
    // the dialog writes from its language table.
    addImage(t, "logonuser", {16, 16},
             [](QPainter& p) { drawIcon(p, Glyph::Person, QRect(0, 0, 16, 16), QColor(pal::kTextDim)); });
    addImage(t, "logonlock", {16, 16},
             [](QPainter& p) { drawIcon(p, Glyph::Lock, QRect(0, 0, 16, 16), QColor(pal::kTextDim)); });
    addStates(t, "offline", {112, 30}, {State::Normal, State::Hover},
              [](QPainter& p, State s) { secondaryBody(p, QRectF(0, 0, 112, 30), s); });

    addImage(t, "msg_bg", {380, 190}, [](QPainter& p) {
        dialogBackground(p, {380, 190}, 36, pal::kSunken, QString(), Lang::En);
    });
    addImage(t, "warning", {40, 40}, warningBadge);
    for (const char* name : {"msgclose", "addclose"}) {
        addStates(t, name, {24, 24}, {State::Normal, State::Hover}, [](QPainter& p, State s) {
            closeButton(p, {24, 24}, 16, s == State::Hover);
        });
    }
    addWordStates(t, "ok", {96, 34}, {State::Normal, State::Hover}, [](QPainter& p, Lang l, State s) {
        solidButton(p, QRectF(0, 0, 96, 34), QColor(s == State::Hover ? pal::kAccentHover : pal::kAccent),
                    {{pick(l, "确定", "OK"), captionFont(l, 13), QColor(pal::kWhite)}});
    });
    addWordStates(t, "cancel", {96, 34}, {State::Normal, State::Hover}, [](QPainter& p, Lang l, State s) {
        const QRectF rect(0, 0, 96, 34);
        secondaryBody(p, rect, s);
        drawCentredWords(p, rect, pick(l, "取消", "Cancel"), captionFont(l, 13), QColor(pal::kText));
    });

    addWordImage(t, "sys_bg", {560, 400}, [](QPainter& p, Lang l) {
        dialogBackground(p, {560, 400}, 40, pal::kSunken, pick(l, "系统设置", "Settings"), l, 80);
    });
    const std::initializer_list<State> tabStates = {State::Normal, State::Hover, State::Selected};
    addWordStates(t, "video", {72, 64}, tabStates,
                  [](QPainter& p, Lang l, State s) { settingsTab(p, l, s, Glyph::Film, "视频", "Video"); });
    addWordStates(t, "audio", {72, 64}, tabStates,
                  [](QPainter& p, Lang l, State s) { settingsTab(p, l, s, Glyph::Wave, "音频", "Audio"); });
    addWordStates(t, "other", {72, 64}, tabStates,
                  [](QPainter& p, Lang l, State s) { settingsTab(p, l, s, Glyph::Sliders, "其他", "Other"); });
    const DialogTitle dialogs[] = {
        {"txt_bg", {540, 420}, "文字设置", "Text"},
        {"pic_bg", {500, 320}, "图片和音视频", "Picture and media"},
        {"border_bg", {360, 210}, "边框设置", "Border"},
        {"dev_bg", {500, 400}, "采集设备", "Capture device"},
        {"screen_bg", {500, 260}, "选择屏幕", "Choose a screen"},
        {"cam_bg", {500, 260}, "选择摄像头", "Choose a camera"},
        {"exit_bg", {380, 220}, "关闭", "Close"},
    };
    for (const DialogTitle& d : dialogs) {
        addWordImage(t, d.name, d.size, [d](QPainter& p, Lang l) {
            dialogBackground(p, d.size, 40, pal::kSunken, pick(l, d.cn, d.en), l);
        });
    }
    return t;
}

}  // namespace skin
