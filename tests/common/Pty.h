#pragma once

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <stdexcept>
#include <string>

namespace vesk::testing {

// A pseudo-terminal standing in for a modem line: the code under test opens `path`, the test
// talks through the non-blocking `master`; `spare` keeps the slave side open between uses.
struct Pty
{
    Pty()
    {
        char name[256] = {};
        if (openpty(&master, &spare, name, nullptr, nullptr) != 0)
            throw std::runtime_error("openpty failed");
        fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
        path = name;
    }
    ~Pty()
    {
        close(master);
        close(spare);
    }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    int master = -1;
    int spare = -1;
    std::string path;
};

} // namespace vesk::testing
