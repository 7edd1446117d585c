// The application directory: where the language folders (with their skins) and the deployment values
// live. In a build tree or a portable folder it is the program's own folder; once installed it is
// <prefix>/share/brevacast beside <prefix>/bin. Pure file-system checks; any thread.
#pragma once

#include <string>

// programDir: the folder of the program file (AppConfig::ExecutableDir()). The program's folder when a
// language folder with skins stands there, else <programDir>/../share/brevacast when that exists, else
// the program's folder.
std::string ApplicationDirectory(const std::string& programDir);
