// Draws every skin image of both interface languages and the program's icon set at build time.
// Usage: skin_painter OUTDIR [--sheet FILE.png]
// Writes OUTDIR/cn/skin/*.png, OUTDIR/en/skin/*.png and OUTDIR/icons/hicolor/NxN/apps/brevacast.png;
// --sheet also writes a contact sheet of all of them. Exits non-zero, with a line on standard error,
// when anything cannot be drawn or written.
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImageWriter>
#include <QPainter>
#include <QSet>
#include <cstdio>

#include "tools/skin_painter/contact_sheet.h"
#include "tools/skin_painter/program_icon.h"
#include "tools/skin_painter/skin_canvas.h"
#include "tools/skin_painter/skin_catalogue.h"

namespace {

using skin::Lang;

const int kIconSides[] = {16, 24, 32, 48, 64, 128, 256};

void complain(const QString& message) { std::fprintf(stderr, "skin_painter: %s\n", qPrintable(message)); }

QImage paint(const skin::SkinEntry& entry, Lang lang) {
    QImage image = skin::blankImage(entry.size);
    QPainter painter(&image);
    skin::prepare(painter);
    entry.paint(painter, lang);
    return image;
}

bool write(const QImage& image, const QString& path) {
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        complain(QStringLiteral("cannot create the folder of %1").arg(path));
        return false;
    }
    QImageWriter writer(path, "png");
    if (!writer.write(image)) {
        complain(QStringLiteral("cannot write %1: %2").arg(path, writer.errorString()));
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    // Drawing needs no display: the build machine may have none.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    QStringList args = QGuiApplication::arguments().mid(1);
    QString outDir;
    QString sheetPath;
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--sheet") && i + 1 < args.size()) {
            sheetPath = args[++i];
        } else if (outDir.isEmpty() && !args[i].startsWith(QLatin1Char('-'))) {
            outDir = args[i];
        } else {
            outDir.clear();
            break;
        }
    }
    if (outDir.isEmpty()) {
        complain(QStringLiteral("usage: skin_painter OUTDIR [--sheet FILE.png]"));
        return 2;
    }
    if (const QString missing = skin::missingFontFamily(); !missing.isEmpty()) {
        complain(QStringLiteral("the font family \"%1\" is not installed").arg(missing));
        return 1;
    }

    const skin::SkinTable table = skin::allSkins();
    QSet<QString> names;
    for (const skin::SkinEntry& entry : table) {
        if (names.contains(entry.name)) {
            complain(QStringLiteral("two images are named %1").arg(entry.name));
            return 1;
        }
        names.insert(entry.name);
    }

    std::vector<skin::SheetSection> sheet{{QStringLiteral("With words: cn and en"), {}},
                                          {QStringLiteral("Without words: the same in both folders"), {}},
                                          {QStringLiteral("Program icon set"), {}}};
    const std::pair<Lang, QString> folders[] = {{Lang::Cn, QStringLiteral("cn")}, {Lang::En, QStringLiteral("en")}};
    for (const skin::SkinEntry& entry : table) {
        // Images without words are drawn once, so the two folders cannot drift apart.
        const QImage shared = entry.words ? QImage() : paint(entry, Lang::En);
        for (const auto& [lang, folder] : folders) {
            const QImage image = entry.words ? paint(entry, lang) : shared;
            if (!write(image, QStringLiteral("%1/%2/skin/%3.png").arg(outDir, folder, entry.name))) return 1;
            if (entry.words)
                sheet[0].items.push_back({entry.name + QStringLiteral(" (") + folder + QLatin1Char(')'), image});
        }
        if (!entry.words) sheet[1].items.push_back({entry.name, shared});
    }
    for (int side : kIconSides) {
        const QImage icon = skin::programIcon(side);
        if (!write(icon,
                   QStringLiteral("%1/icons/hicolor/%2x%2/apps/brevacast.png").arg(outDir, QString::number(side))))
            return 1;
        sheet[2].items.push_back({QStringLiteral("%1 px").arg(side), icon});
    }
    if (!sheetPath.isEmpty() && !write(skin::contactSheet(sheet), sheetPath)) return 1;
    return 0;
}
