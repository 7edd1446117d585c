// The palette, the corner radius and the fonts that every skin image shares, so that the whole look
// changes in one place. Used by the skin painter's drawing code on its only thread.
#pragma once

#include <QColor>
#include <QFont>
#include <QString>

namespace skin {

enum class Lang { Cn, En };
// A control's look under the pointer or when chosen; each is written as its own image.
enum class State { Normal, Hover, Selected, Disabled };

// The file-name suffix the windows append to a control's image name for a state.
QString stateSuffix(State state);

namespace pal {
constexpr QRgb kWindow = 0x14161B;
constexpr QRgb kPanel = 0x1B1E25;
constexpr QRgb kSunken = 0x181A20;  // side panels, title bands
constexpr QRgb kField = 0x20242C;   // fields, pop-ups, the user area
constexpr QRgb kRaised = 0x252932;
constexpr QRgb kHoverFill = 0x2A2F3A;
constexpr QRgb kHairline = 0x323846;
constexpr QRgb kHairlineHover = 0x464E5F;
constexpr QRgb kText = 0xE8EAF0;
constexpr QRgb kTextDim = 0x8D95A5;
constexpr QRgb kIcon = 0xC9CED8;
constexpr QRgb kWhite = 0xFFFFFF;
constexpr QRgb kAccent = 0x3F9CF9;
constexpr QRgb kAccentHover = 0x5AADFF;
constexpr QRgb kAccentPressed = 0x2F86DE;
constexpr QRgb kAccentDeep = 0x2563C9;
constexpr QRgb kLive = 0xE5484D;
constexpr QRgb kLiveHover = 0xEC5F63;
constexpr QRgb kSuccess = 0x30A46C;
constexpr QRgb kWarning = 0xF5A524;
constexpr QRgb kDisabled = 0x4A5060;
}  // namespace pal

constexpr qreal kRadius = 6.0;
// Selected controls lay the accent over whatever is behind them at this strength.
constexpr qreal kTintAlpha = 0.18;

QColor withAlpha(QRgb rgb, qreal alpha);
QColor mix(QRgb from, QRgb to, qreal t);

// The icon colour of a control in a state, shared by every line icon.
QColor iconColour(State state);

// Latin words are set in DejaVu Sans, Chinese ones in WenQuanYi Micro Hei (which has no bold face, so
// Chinese captions stay regular rather than get a smeared synthetic bold).
QFont latinFont(int pixelSize, bool bold);
QFont chineseFont(int pixelSize);
// The font for words of a language: Chinese runs one pixel larger so that both read at the same size.
QFont wordsFont(Lang lang, int latinPixelSize, bool bold);
// Chooses the Chinese or the English words of an image.
QString pick(Lang lang, const char* cn, const char* en);

// Empty when both families resolve to themselves; otherwise names the missing one.
QString missingFontFamily();

}  // namespace skin
