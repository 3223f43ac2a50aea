#include "support/PrivateFiles.h"

#include "support/Convert.h"
#include "support/Platform.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vesk {
namespace {

mode_t currentUmask()
{
    // Reading the umask means setting it; put it straight back.
    const mode_t mask = ::umask(0077);
    ::umask(mask);
    return mask;
}

bool writeAll(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

int OpenPrivateFile(const std::string& path, int flags)
{
    const int fd = ::open(path.c_str(), flags | O_CREAT | O_NOFOLLOW | O_CLOEXEC, kPrivateFileMode);
    if (fd >= 0 && (flags & O_TRUNC))
        ::fchmod(fd, kPrivateFileMode & ~currentUmask());
    return fd;
}

std::FILE* AppendPrivateFile(const std::string& path)
{
    const int fd = OpenPrivateFile(path, O_WRONLY | O_APPEND);
    if (fd < 0)
        return nullptr;
    std::FILE* file = ::fdopen(fd, "ab");
    if (!file)
        ::close(fd);
    return file;
}

bool WritePrivateFile(const std::string& path, const std::string& text)
{
    const int fd = OpenPrivateFile(path, O_WRONLY | O_TRUNC);
    if (fd < 0)
        return false;
    const bool ok = writeAll(fd, text.data(), text.size());
    return ::close(fd) == 0 && ok;
}

bool CopyPrivateFile(const std::string& from, const std::string& to, bool overwrite, std::string& error)
{
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        error = from + ": " + std::strerror(errno);
        return false;
    }
    const int out = OpenPrivateFile(to, O_WRONLY | (overwrite ? O_TRUNC : O_EXCL));
    if (out < 0) {
        error = to + ": " + std::strerror(errno);
        ::close(in);
        return false;
    }
    char buffer[65536];
    bool ok = true;
    for (;;) {
        const ssize_t n = ::read(in, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        if (!writeAll(out, buffer, static_cast<std::size_t>(n))) {
            ok = false;
            break;
        }
    }
    if (!ok)
        error = to + ": " + std::strerror(errno);
    ::close(in);
    if (::close(out) != 0 && ok) {
        error = to + ": " + std::strerror(errno);
        ok = false;
    }
    return ok;
}

void RestrictFileMode(const std::string& path)
{
    struct stat st
    {
    };
    if (::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode))
        ::chmod(path.c_str(), st.st_mode & kPrivateFileMode & ~currentUmask());
}

std::string MakePrivateTempFolder(const std::string& prefix)
{
    std::string pattern = TempFolder() + prefix + "-XXXXXX";
    if (!::mkdtemp(pattern.data()))
        return {};
    return pattern;
}

std::optional<std::string> ReadOwnerOnlyFile(
    const std::string& path, const std::string& what, std::size_t most, std::string& error)
{
    const std::string name = what + " " + EscapeControls(path);
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = name + " cannot be read: " + std::strerror(errno);
        return std::nullopt;
    }
    struct stat st = {};
    std::string text;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        error = name + " is not a file";
    } else if (st.st_uid != ::geteuid()) {
        error = name + " refused: it must belong to the user the program runs as";
    } else if ((st.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
        error = name + " refused: it is open to other users (chmod 600 makes it private)";
    } else {
        char buffer[4096];
        ssize_t n = 0;
        while (
            text.size() < most && (n = ::read(fd, buffer, std::min(sizeof buffer, most - text.size()))) > 0)
            text.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    if (!error.empty())
        return std::nullopt;
    return text;
}

} // namespace vesk
