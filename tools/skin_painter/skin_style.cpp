#include "tools/skin_painter/skin_style.h"

#include <QFontInfo>

namespace skin {

namespace {
const char* const kLatinFamily = "DejaVu Sans";
const char* const kChineseFamily = "WenQuanYi Micro Hei";

QFont baseFont(const char* family, int pixelSize) {
    QFont font(QString::fromLatin1(family));
    font.setPixelSize(pixelSize);
    // A missing glyph must show up as a gap on the contact sheet, not as another family's shape.
    font.setStyleStrategy(QFont::StyleStrategy(QFont::PreferAntialias | QFont::NoFontMerging));
    font.setHintingPreference(QFont::PreferDefaultHinting);
    return font;
}
}  // namespace

QString stateSuffix(State state) {
    switch (state) {
        case State::Normal:
            return {};
        case State::Hover:
            return QStringLiteral("_o");
        case State::Selected:
            return QStringLiteral("_s");
        case State::Disabled:
            return QStringLiteral("_d");
    }
    return {};
}

QColor withAlpha(QRgb rgb, qreal alpha) {
    QColor colour(rgb);
    colour.setAlphaF(static_cast<float>(alpha));
    return colour;
}

QColor mix(QRgb from, QRgb to, qreal t) {
    auto channel = [t](int a, int b) { return qRound(a + (b - a) * t); };
    return QColor(channel(qRed(from), qRed(to)), channel(qGreen(from), qGreen(to)), channel(qBlue(from), qBlue(to)));
}

QColor iconColour(State state) {
    switch (state) {
        case State::Normal:
            return QColor(pal::kIcon);
        case State::Hover:
            return QColor(pal::kWhite);
        case State::Selected:
            return QColor(pal::kAccent);
        case State::Disabled:
            return QColor(pal::kDisabled);
    }
    return QColor(pal::kIcon);
}

QFont latinFont(int pixelSize, bool bold) {
    QFont font = baseFont(kLatinFamily, pixelSize);
    font.setBold(bold);
    return font;
}

QFont chineseFont(int pixelSize) { return baseFont(kChineseFamily, pixelSize); }

QFont wordsFont(Lang lang, int latinPixelSize, bool bold) {
    return lang == Lang::Cn ? chineseFont(latinPixelSize + 1) : latinFont(latinPixelSize, bold);
}

QString pick(Lang lang, const char* cn, const char* en) { return QString::fromUtf8(lang == Lang::Cn ? cn : en); }

QString missingFontFamily() {
    for (const char* family : {kLatinFamily, kChineseFamily}) {
        if (QFontInfo(baseFont(family, 14)).family() != QString::fromLatin1(family)) return QString::fromLatin1(family);
    }
    return {};
}

}  // namespace skin
