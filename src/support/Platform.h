#pragma once

#include <cstdint>
#include <string>

namespace vesk {

std::string ProgramFolder(); // folder of the running executable, with a trailing "/"
std::string HostName();
std::string UserName();
std::string TempFolder(); // $TMPDIR or /tmp, with a trailing "/"
std::string StationName(); // host name, "\", user name in upper case
std::int64_t FreePhysicalMemory(); // available physical memory in kilobytes

// Process priority: 0 low, 1 normal, 2 high; above 2 counts as normal. False when refused.
bool SetAppPriority(int level);

// Refuses a second console started with the same settings file; released on destruction. The lock
// file lives in the service's $RUNTIME_DIRECTORY, else in $XDG_RUNTIME_DIR, when that is private to
// this user, else in a private "run" folder beside the settings file: never in a shared folder
// where another user could create it first.
class SingleInstanceLock
{
public:
    explicit SingleInstanceLock(const std::string& key);
    ~SingleInstanceLock();
    SingleInstanceLock(const SingleInstanceLock&) = delete;
    SingleInstanceLock& operator=(const SingleInstanceLock&) = delete;

    bool acquired() const { return m_fd >= 0; }
    const std::string& path() const { return m_path; }
    // Why the lock was not acquired, in words.
    const std::string& error() const { return m_error; }

private:
    int m_fd = -1;
    std::string m_path;
    std::string m_error;
};

} // namespace vesk
