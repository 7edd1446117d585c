// The application directory: where the language folders (with their skins) and the deployment values
// live. In a build tree or a portable folder it is the program's own folder; once installed it is
// <prefix>/share/brevacast beside <prefix>/bin. Pure file-system checks; any thread.
#pragma once

#include <string>

// programDir: the folder of the program file (AppConfig::ExecutableDir()). The program's folder when a
// language folder with skins stands there, else <programDir>/../share/brevacast when that exists, else
// the program's folder.
std::string ApplicationDirectory(const std::string& programDir);

// True when the program's folder is its own application directory (a build tree or a portable folder)
// and writable: the settings and the demonstration's files are kept there. An installed program's
// folder (<prefix>/bin) never is, even for a user who may write into it.
bool ProgramFolderKeepsItsFiles(const std::string& programDir);
