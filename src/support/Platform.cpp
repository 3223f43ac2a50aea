#include "support/Platform.h"

#include "support/Convert.h"
#include "support/Paths.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/resource.h>
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

} // namespace

SingleInstanceLock::SingleInstanceLock(const std::string& key)
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    const std::string folder
        = runtime && *runtime && FolderExists(runtime) ? TrailingSeparator(runtime) : "/tmp/";
    char name[64];
    std::snprintf(name, sizeof name, "vesk-console-%u-%016llx.lock", static_cast<unsigned>(getuid()),
        static_cast<unsigned long long>(stableHash(key)));
    m_path = folder + name;
    m_fd = ::open(m_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (m_fd >= 0 && flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

SingleInstanceLock::~SingleInstanceLock()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

} // namespace vesk
