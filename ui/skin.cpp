#include "ui/skin.h"

#include <QFile>
#include <QPainter>

#include "app/language_table.h"
#include "platform/log.h"

void DrawStretched(QPainter& painter, const QPixmap& image, const QRect& target, int left, int right, int top,
                   int bottom) {
    if (image.isNull()) return;
    const int w = image.width(), h = image.height();
    const int xs[4] = {0, left, w - right, w};
    const int ys[4] = {0, top, h - bottom, h};
    const int xd[4] = {target.left(), target.left() + left, target.right() + 1 - right, target.right() + 1};
    const int yd[4] = {target.top(), target.top() + top, target.bottom() + 1 - bottom, target.bottom() + 1};
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 3; ++col) {
            const QRect from(xs[col], ys[row], xs[col + 1] - xs[col], ys[row + 1] - ys[row]);
            const QRect to(xd[col], yd[row], xd[col + 1] - xd[col], yd[row + 1] - yd[row]);
            if (from.isEmpty() || to.isEmpty()) continue;
            painter.drawPixmap(to, image, from);
        }
    }
}

QString UiText(int index) { return QString::fromStdString(GetText(index)).replace("\r\n", "\n"); }

CSkin& CSkin::Current() {
    static CSkin skin;
    return skin;
}

void CSkin::Choose(const std::string& appDirectory, const std::string& code) {
    appDirectory_ = appDirectory;
    languageFolder_ = LanguageDirectory(appDirectory, code);
    skinFolder_ = languageFolder_ + "/skin";
    images_.clear();
    if (!QFile::exists(QString::fromStdString(skinFolder_)))
        Log(LogLevel::kWarning, "ui", "no skin folder %s: the windows are drawn without their images",
            skinFolder_.c_str());
}

QString CSkin::PortraitPlaceholder() const { return QString::fromStdString(skinFolder_ + "/portrait.png"); }

QPixmap CSkin::Image(const QString& name) {
    auto it = images_.find(name);
    if (it != images_.end()) return *it;
    QPixmap image;
    const QString path = QString::fromStdString(skinFolder_) + "/" + name + ".png";
    if (QFile::exists(path)) image.load(path);
    images_.insert(name, image);
    return image;
}

QFont CSkin::ControlFont(int pixelSize, bool bold) const {
    QFont font;
    // The table's face first; where it is not installed the machine's faces for both scripts follow.
    font.setFamilies({QString::fromStdString(GetText(kTextSkinFontFace)), "DejaVu Sans", "WenQuanYi Micro Hei",
                      "Noto Sans CJK SC", "Sans Serif"});
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}
