#include "support/Paths.h"

#include "support/Convert.h"

#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>
#include <system_error>

namespace fs = std::filesystem;

namespace vesk {

std::string TrailingSeparator(std::string_view path)
{
    std::string p = Trim(path);
    if (p.empty() || p.back() != '/')
        p += '/';
    return p;
}

std::string FolderOfPath(std::string_view path)
{
    const auto at = path.rfind('/');
    return at == std::string_view::npos ? std::string() : std::string(path.substr(0, at));
}

bool FolderExists(std::string_view folder)
{
    std::error_code ec;
    const std::string f = Trim(folder);
    return !f.empty() && fs::is_directory(f, ec);
}

bool CreateFolderPath(std::string_view folder)
{
    const std::string f = Trim(folder);
    if (f.empty())
        return false;
    std::error_code ec;
    fs::create_directories(f, ec); // level by level from the top, skipping those that exist
    return FolderExists(f);
}

bool CreatePrivateFolderPath(std::string_view folder)
{
    const std::string f = Trim(folder);
    if (f.empty())
        return false;
    std::string level;
    for (std::size_t at = 0; at != std::string::npos;) {
        const std::size_t next = f.find('/', at + 1);
        level = f.substr(0, next);
        if (!level.empty() && level != "/" && !FolderExists(level))
            ::mkdir(level.c_str(), 0700);
        at = next;
    }
    return FolderExists(f);
}

std::string HomeFolder()
{
    if (const char* h = std::getenv("HOME"); h && *h && FolderExists(h))
        return h;
    return {};
}

bool FileExists(std::string_view path)
{
    std::error_code ec;
    return !path.empty() && fs::is_regular_file(std::string(path), ec);
}

std::string NetworkPathOfDrive(std::string_view)
{
    return {};
}

void RestoreNetworkFolder(std::string_view) { }

std::string DefaultDataFolder()
{
    std::error_code ec;
    const fs::path cwd = fs::current_path(ec);
    return ec ? std::string("/") : TrailingSeparator(cwd.string());
}

} // namespace vesk
