// The desktop's own choosers that the settings dialogs hand over to: the folder chooser, the file
// chooser and the file browser that shows a folder. The dialogs hold them as values so that tests can
// put their own in place of windows they cannot drive. Main thread.
#pragma once

#include <QString>
#include <functional>
#include <string>

class QWidget;

struct DesktopChoosers {
    // The chosen folder, or empty when the user cancelled.
    std::function<QString(QWidget* parent, const QString& title, const QString& start)> chooseFolder;
    // The chosen file, or empty. filter: in Qt's form ("Name (*.a *.b);;Other (*)").
    std::function<QString(QWidget* parent, const QString& start, const QString& filter)> chooseFile;
    // Shows the folder in the desktop's file browser.
    std::function<void(const QString& folder)> showFolder;

    // The desktop's own.
    static DesktopChoosers System();
};

// A file-dialog filter of "name|patterns|name|patterns||" pairs (patterns separated by ";") in Qt's
// form. "*.*" becomes "*": on this system a file name needs no dot.
QString QtFileFilter(const std::string& pairs);
