#include "support/KeptFiles.h"

#include "support/Convert.h"
#include "support/Paths.h"
#include "support/Platform.h"
#include "support/PrivateFiles.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace vesk {

std::string KeptFilesFolder(const std::string& dataFolder)
{
    if (!Trim(dataFolder).empty())
        return TrailingSeparator(dataFolder);
    if (const char* state = std::getenv("STATE_DIRECTORY"); state && *state) {
        const std::string first = std::string(state).substr(0, std::string(state).find(':'));
        return TrailingSeparator(first);
    }
    return ProgramFolder();
}

std::string KeptFilePath(const std::string& dataFolder, std::string_view name)
{
    return KeptFilesFolder(dataFolder) + std::string(name);
}

std::string MoveKeptFile(
    const std::string& programFolder, const std::string& dataFolder, std::string_view name)
{
    const std::string from = TrailingSeparator(programFolder) + std::string(name);
    const std::string to = KeptFilePath(dataFolder, name);
    if (from == to || !FileExists(from) || FileExists(to) || !FolderExists(KeptFilesFolder(dataFolder)))
        return {};
    if (std::rename(from.c_str(), to.c_str()) == 0)
        return "Moved " + from + " to " + to;
    std::string error;
    if (!CopyPrivateFile(from, to, false, error))
        return "Could not move " + from + " to " + to + ": " + error;
    if (::unlink(from.c_str()) != 0)
        return "Copied " + from + " to " + to + "; the old one stays (" + std::strerror(errno) + ")";
    return "Moved " + from + " to " + to;
}

} // namespace vesk
