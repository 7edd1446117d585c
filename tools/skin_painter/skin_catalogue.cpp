#include "tools/skin_painter/skin_catalogue.h"

#include "tools/skin_painter/program_icon.h"

namespace skin {

void addStates(SkinTable& table, const QString& name, QSize size, std::initializer_list<State> states,
               const std::function<void(QPainter&, State)>& paint) {
    for (State state : states) {
        table.push_back(
            {name + stateSuffix(state), size, false, [paint, state](QPainter& p, Lang) { paint(p, state); }});
    }
}

void addWordStates(SkinTable& table, const QString& name, QSize size, std::initializer_list<State> states,
                   const std::function<void(QPainter&, Lang, State)>& paint) {
    for (State state : states) {
        table.push_back(
            {name + stateSuffix(state), size, true, [paint, state](QPainter& p, Lang lang) { paint(p, lang, state); }});
    }
}

void addImage(SkinTable& table, const QString& name, QSize size, const std::function<void(QPainter&)>& paint) {
    table.push_back({name, size, false, [paint](QPainter& p, Lang) { paint(p); }});
}

void addWordImage(SkinTable& table, const QString& name, QSize size,
                  const std::function<void(QPainter&, Lang)>& paint) {
    table.push_back({name, size, true, paint});
}

SkinTable allSkins() {
    SkinTable table = mainWindowSkins();
    for (SkinTable part : {dialogSkins(), controlSkins()}) {
        table.insert(table.end(), std::make_move_iterator(part.begin()), std::make_move_iterator(part.end()));
    }
    addImage(table, QStringLiteral("icon"), QSize(256, 256), [](QPainter& p) { p.drawImage(0, 0, programIcon(256)); });
    return table;
}

}  // namespace skin
