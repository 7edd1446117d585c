// What the window tests share: a QApplication on the offscreen platform (or on the display a fixture
// gives), the skins the painter drew into the build tree in the language a test asks for, and a
// folder for the screenshots the tests save for a person to look at.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QWidget>
#include <string>

#include "app/language_choice.h"
#include "ui/skin.h"

namespace ui_test {

// The skins of a language; "en", "cn", or any other code.
inline void UseLanguage(const std::string& code) {
    ApplyLanguage(code);
    CSkin::Current().Choose(SKIN_ROOT, code);
}

inline QString ScreenshotPath(const QString& name) {
    QDir().mkpath(SCREENSHOT_DIR);
    return QString(SCREENSHOT_DIR) + "/" + name + ".png";
}

// Saves what the window shows now.
inline void SaveScreenshot(QWidget* window, const QString& name) { window->grab().save(ScreenshotPath(name)); }

// The widget drawn alone on transparent pixels (no parent or window background).
inline QImage RenderAlone(QWidget* widget) {
    QImage image(widget->size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    widget->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

inline QImage SkinImage(const QString& name) {
    return QImage(QString::fromStdString(CSkin::Current().SkinFolder()) + "/" + name + ".png")
        .convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

}  // namespace ui_test
