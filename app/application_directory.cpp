#include "app/application_directory.h"

#include <sys/stat.h>
#include <unistd.h>

namespace {

bool IsDirectory(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

std::string ApplicationDirectory(const std::string& programDir) {
    const std::string dir = programDir.empty() ? std::string(".") : programDir;
    // Either language's skins mark a build tree or a portable folder.
    if (IsDirectory(dir + "/cn/skin") || IsDirectory(dir + "/en/skin")) return dir;
    const std::string installed = dir + "/../share/brevacast";
    if (IsDirectory(installed)) return installed;
    return dir;
}

bool ProgramFolderKeepsItsFiles(const std::string& programDir) {
    const std::string dir = programDir.empty() ? std::string(".") : programDir;
    return ApplicationDirectory(programDir) == dir && access(dir.c_str(), W_OK) == 0;
}
