// The windows' look: the skin folder of the interface language below the application directory, the
// images in it (cached), the faces the skinned controls write with, and the colours the text of
// skinned controls uses. Set up once at start-up after the language is chosen; main thread only.
#pragma once

#include <QColor>
#include <QFont>
#include <QHash>
#include <QPixmap>
#include <QString>
#include <string>

class QPainter;
class QRect;

// Draws image into target, keeping its left and right columns (and top and bottom rows) at their size
// and stretching the middle: fields and list buttons of any width from one image.
void DrawStretched(QPainter& painter, const QPixmap& image, const QRect& target, int left, int right, int top = 0,
                   int bottom = 0);

// Text index of the language table as the windows show it (line breaks as "\n").
QString UiText(int index);

class CSkin {
public:
    // The one skin of the process.
    static CSkin& Current();

    // appDirectory: ApplicationDirectory(); code: the Language setting. Forgets the cached images.
    void Choose(const std::string& appDirectory, const std::string& code);

    const std::string& ApplicationDirectory() const { return appDirectory_; }
    // <application directory>/<code>, the folder of the language (the text's "application directory").
    const std::string& LanguageFolder() const { return languageFolder_; }
    // <language folder>/skin.
    const std::string& SkinFolder() const { return skinFolder_; }
    // The placeholder picture of an account without a portrait.
    QString PortraitPlaceholder() const;

    // <name>.png of the skin folder (name without ".png"); a null pixmap when there is no such image.
    QPixmap Image(const QString& name);
    bool Has(const QString& name) { return !Image(name).isNull(); }

    // The face of skinned controls (text 74) with the machine's fallbacks for its script, at a pixel size.
    QFont ControlFont(int pixelSize, bool bold = false) const;

    // Texts of skinned buttons: hovered or selected, and normal. Labels, values and titles.
    static QColor HotText() { return QColor(0x3F, 0x9C, 0xF9); }
    static QColor NormalText() { return QColor(0x85, 0x85, 0x85); }
    static QColor LabelText() { return QColor(0xC9, 0xCE, 0xD8); }
    static QColor BrightText() { return QColor(0xE8, 0xEA, 0xF0); }
    static QColor FieldBackground() { return QColor(0x14, 0x16, 0x1B); }
    static QColor PanelBackground() { return QColor(0x1B, 0x1E, 0x25); }
    static QColor Hairline() { return QColor(0x32, 0x38, 0x46); }

private:
    std::string appDirectory_;
    std::string languageFolder_;
    std::string skinFolder_;
    QHash<QString, QPixmap> images_;
};
