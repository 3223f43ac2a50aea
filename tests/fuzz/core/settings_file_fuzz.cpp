// Any bytes in the settings file: the store reads what it can and answers every lookup.

#include "core/SettingsStore.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const std::string path = [] {
        char name[] = "/tmp/vesk-settings-fuzz-XXXXXX";
        const int fd = mkstemp(name);
        if (fd >= 0)
            close(fd);
        return std::string(name);
    }();
    const int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0)
        return 0;
    if (::write(fd, data, size) != static_cast<ssize_t>(size)) {
        ::close(fd);
        return 0;
    }
    ::close(fd);
    const vesk::core::SettingsStore settings(path);
    for (const char* section : {"COM", "Setup", "Resource", ""})
        for (const char* key : {"CommandTimeout", "DataFolder", "SendBatchSize", ""})
            (void)settings.get(section, key);
    return 0;
}
