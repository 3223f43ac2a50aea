#include "support/Platform.h"

#include "support/Convert.h"
#include "support/Paths.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysinfo.h>
#include <unistd.h>

namespace vesk {

std::string ProgramFolder()
{
    char buf[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0)
        return "./";
    return TrailingSeparator(FolderOfPath(std::string(buf, static_cast<std::size_t>(n))));
}

std::string HostName()
{
    char buf[HOST_NAME_MAX + 1] = {};
    if (gethostname(buf, sizeof buf - 1) != 0)
        return {};
    return buf;
}

std::string UserName()
{
    if (const passwd* pw = getpwuid(geteuid()); pw && pw->pw_name)
        return pw->pw_name;
    if (const char* u = std::getenv("USER"))
        return u;
    return {};
}

std::string TempFolder()
{
    const char* t = std::getenv("TMPDIR");
    return TrailingSeparator(t && *t ? t : "/tmp");
}

std::string StationName()
{
    return HostName() + "\\" + ToUpper(UserName());
}

std::int64_t FreePhysicalMemory()
{
    struct sysinfo info
    {
    };
    if (sysinfo(&info) != 0)
        return 0;
    return static_cast<std::int64_t>(info.freeram) * info.mem_unit / 1024;
}

bool SetAppPriority(int level)
{
    if (level < 0 || level > 2)
        level = 1;
    static constexpr int kNice[] = {19, 0, -10};
    errno = 0;
    return setpriority(PRIO_PROCESS, 0, kNice[level]) == 0;
}

namespace {

// FNV-1a, so the lock name for one settings file is the same in every build.
std::uint64_t stableHash(const std::string& s)
{
    std::uint64_t h = 1469598103934665603ULL;
    for (unsigned char c : s) {
        h ^= c;
        h *= 1099511628211ULL;
    }
    return h;
}

// A folder that only this user can write to, so no one else can create the lock file first.
bool isPrivateFolder(const std::string& folder)
{
    struct stat st
    {
    };
    return ::lstat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == geteuid()
        && (st.st_mode & 0077) == 0;
}

std::string lockFolder(const std::string& settingsFile)
{
    // Under the service manager: the unit's RuntimeDirectory (the first one named).
    if (const char* unit = std::getenv("RUNTIME_DIRECTORY"); unit && *unit) {
        const std::string first = std::string(unit).substr(0, std::string(unit).find(':'));
        if (isPrivateFolder(first))
            return TrailingSeparator(first);
    }
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime && isPrivateFolder(runtime))
        return TrailingSeparator(runtime);
    // Without a session's runtime folder: a private folder beside the settings file.
    std::string folder = FolderOfPath(settingsFile);
    folder = TrailingSeparator(folder.empty() ? "." : folder) + "run";
    CreatePrivateFolderPath(folder);
    return isPrivateFolder(folder) ? TrailingSeparator(folder) : std::string();
}

} // namespace

SingleInstanceLock::SingleInstanceLock(const std::string& key)
{
    const std::string folder = lockFolder(key);
    if (folder.empty()) {
        m_error
            = "no private folder for the lock file: " + FolderOfPath(key) + "/run is not this user's alone";
        return;
    }
    char name[64];
    std::snprintf(name, sizeof name, "vesk-console-%u-%016llx.lock", static_cast<unsigned>(getuid()),
        static_cast<unsigned long long>(stableHash(key)));
    m_path = folder + name;
    m_fd = ::open(m_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (m_fd < 0) {
        m_error = "cannot open the lock file " + m_path + ": " + std::strerror(errno);
        return;
    }
    if (flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(m_fd);
        m_fd = -1;
        m_error = "another console is already running with the settings file " + key;
    }
}

SingleInstanceLock::~SingleInstanceLock()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

} // namespace vesk
