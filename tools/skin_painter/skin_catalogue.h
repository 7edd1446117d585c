// The skin painter's table of images: each has a file name, a size, whether it carries words (and is
// therefore drawn once per language) and the code that draws it. Filled by one file per window family.
#pragma once

#include <QPainter>
#include <QSize>
#include <QString>
#include <functional>
#include <initializer_list>
#include <vector>

#include "tools/skin_painter/skin_style.h"

namespace skin {

struct SkinEntry {
    QString name;  // without ".png"
    QSize size;
    bool words = false;
    std::function<void(QPainter&, Lang)> paint;
};
using SkinTable = std::vector<SkinEntry>;

// Adds one image per state, named `name` + the state's suffix.
void addStates(SkinTable& table, const QString& name, QSize size, std::initializer_list<State> states,
               const std::function<void(QPainter&, State)>& paint);
void addWordStates(SkinTable& table, const QString& name, QSize size, std::initializer_list<State> states,
                   const std::function<void(QPainter&, Lang, State)>& paint);
void addImage(SkinTable& table, const QString& name, QSize size, const std::function<void(QPainter&)>& paint);
void addWordImage(SkinTable& table, const QString& name, QSize size, const std::function<void(QPainter&, Lang)>& paint);

SkinTable mainWindowSkins();
SkinTable dialogSkins();
SkinTable controlSkins();
// Every image of a skin folder, the program icon included.
SkinTable allSkins();

}  // namespace skin
