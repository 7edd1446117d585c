#include "ui/desktop_choosers.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QStringList>
#include <QUrl>

DesktopChoosers DesktopChoosers::System() {
    DesktopChoosers choosers;
    choosers.chooseFolder = [](QWidget* parent, const QString& title, const QString& start) {
        return QFileDialog::getExistingDirectory(parent, title, start, QFileDialog::ShowDirsOnly);
    };
    choosers.chooseFile = [](QWidget* parent, const QString& start, const QString& filter) {
        return QFileDialog::getOpenFileName(parent, QString(), start, filter);
    };
    choosers.showFolder = [](const QString& folder) { QDesktopServices::openUrl(QUrl::fromLocalFile(folder)); };
    return choosers;
}

QString QtFileFilter(const std::string& pairs) {
    const QStringList parts = QString::fromStdString(pairs).split('|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString name = parts[i].trimmed();
        if (name.isEmpty()) break;  // the closing "||"
        QStringList patterns;
        for (const QString& pattern : parts[i + 1].split(';', Qt::SkipEmptyParts))
            patterns << (pattern.trimmed() == "*.*" ? QString("*") : pattern.trimmed());
        filters << QString("%1 (%2)").arg(name, patterns.join(' '));
    }
    return filters.join(";;");
}
