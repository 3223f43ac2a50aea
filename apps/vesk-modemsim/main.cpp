// vesk-modemsim: a GSM modem on a pseudo-terminal, for tests, demos and dry runs.
#include "ModemSimulator.h"
#include "SimLoop.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <pty.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

using namespace vesk::modemsim;

namespace {

volatile std::sig_atomic_t g_stop = 0;
void onSignal(int)
{
    g_stop = 1;
}

// A fresh pseudo-terminal, its path printed (and linked at `link`) for the driver to open.
bool openPty(LineEnds& line, const std::string& link)
{
    char name[256] = {};
    if (openpty(&line.master, &line.spare, name, nullptr, nullptr) != 0)
        return false;
    fcntl(line.master, F_SETFL, fcntl(line.master, F_GETFL) | O_NONBLOCK);
    fcntl(line.master, F_SETFD, FD_CLOEXEC);
    fcntl(line.spare, F_SETFD, FD_CLOEXEC);
    if (!link.empty()) {
        unlink(link.c_str());
        if (symlink(name, link.c_str()) != 0)
            std::cerr << "vesk-modemsim: cannot link " << link << ": " << std::strerror(errno) << "\n";
    }
    std::cout << name << std::endl;
    return true;
}

int listenControl(const std::string& path)
{
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr {};
    addr.sun_family = AF_UNIX;
    if (fd < 0 || path.size() >= sizeof addr.sun_path)
        return -1;
    std::strcpy(addr.sun_path, path.c_str());
    unlink(path.c_str());
    if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(fd, 8) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// The client side of the control socket: send one command (or each line of standard input) to a
// running simulator and print its answers. Exit status 1 when any answer was an error.
int sendCommands(const std::string& path, const std::vector<std::string>& words)
{
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr {};
    addr.sun_family = AF_UNIX;
    if (fd < 0 || path.size() >= sizeof addr.sun_path) {
        std::cerr << "vesk-modemsim: bad control socket path " << path << "\n";
        return 2;
    }
    std::strcpy(addr.sun_path, path.c_str());
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        std::cerr << "vesk-modemsim: no simulator listens on " << path << ": " << std::strerror(errno)
                  << "\n";
        close(fd);
        return 2;
    }
    std::vector<std::string> commands;
    if (words.empty()) {
        for (std::string line; std::getline(std::cin, line);)
            commands.push_back(line);
    } else {
        std::string command;
        for (const auto& w : words)
            command += (command.empty() ? "" : " ") + w;
        commands.push_back(command);
    }
    int status = 0;
    for (const auto& command : commands) {
        writeAll(fd, command + "\n");
        std::string answer;
        for (;;) {
            char buffer[4096];
            const ssize_t n = read(fd, buffer, sizeof buffer);
            if (n <= 0)
                break;
            answer.append(buffer, static_cast<std::size_t>(n));
            if (answer.back() != '\n')
                continue;
            const auto last = answer.size() >= 2 ? answer.rfind('\n', answer.size() - 2) : std::string::npos;
            const std::string final = answer.substr(last == std::string::npos ? 0 : last + 1);
            if (final == "OK\n" || final.rfind("ERROR", 0) == 0) {
                if (final != "OK\n")
                    status = 1;
                break;
            }
        }
        std::cout << answer << std::flush;
    }
    close(fd);
    return status;
}

void usage()
{
    std::cout
        << "usage: vesk-modemsim [--link PATH] [--control SOCKET] [--script FILE] [--OPTION VALUE ...]\n"
           "       vesk-modemsim --send SOCKET [COMMAND ...]   (commands from standard input when none)\n"
           "options (VALUE after each):\n"
        << optionUsage() << "See docs/modemsim.md for the control commands.\n";
}

// Runs the control commands of a file before the line opens; refusals are reported, not fatal.
bool runScript(ModemSimulator& sim, const std::string& script)
{
    FILE* f = std::fopen(script.c_str(), "r");
    if (!f) {
        std::cerr << "vesk-modemsim: cannot read " << script << "\n";
        return false;
    }
    char buffer[4096];
    while (std::fgets(buffer, sizeof buffer, f)) {
        std::string line(buffer);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
            line.pop_back();
        if (line.empty() || line[0] == '#')
            continue;
        const std::string reply = sim.control(line);
        if (reply.rfind("ERROR", 0) == 0 || reply.find("\nERROR") != std::string::npos)
            std::cerr << "vesk-modemsim: " << script << ": " << line << ": " << reply;
    }
    std::fclose(f);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc >= 3 && std::string(argv[1]) == "--send")
        return sendCommands(argv[2], std::vector<std::string>(argv + 3, argv + argc));
    SimOptions options;
    std::string link, control, script;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            usage();
            return 0;
        }
        if (arg.rfind("--", 0) != 0 || i + 1 >= argc) {
            std::cerr << "vesk-modemsim: " << arg << " needs a value\n";
            usage();
            return 2;
        }
        const std::string value = argv[++i];
        const std::string key = arg.substr(2);
        std::string error;
        if (key == "link")
            link = value;
        else if (key == "control")
            control = value;
        else if (key == "script")
            script = value;
        else if (!setOption(options, key, value, error)) {
            std::cerr << "vesk-modemsim: " << error << "\n";
            return 2;
        }
    }
    std::signal(SIGTERM, onSignal);
    std::signal(SIGINT, onSignal);
    std::signal(SIGPIPE, SIG_IGN);

    ModemSimulator sim(options);
    if (!script.empty() && !runScript(sim, script))
        return 2;
    int listener = -1;
    if (!control.empty()) {
        listener = listenControl(control);
        if (listener < 0) {
            std::cerr << "vesk-modemsim: cannot listen on " << control << ": " << std::strerror(errno)
                      << "\n";
            return 1;
        }
    }
    int status = 0;
    {
        SimLoop loop(
            sim, [&](LineEnds& line) { return openPty(line, link); }, listener);
        if (!loop.start()) {
            std::cerr << "vesk-modemsim: cannot open a pseudo-terminal: " << std::strerror(errno) << "\n";
            return 1;
        }
        while (!g_stop && loop.step(200)) { }
        status = loop.lineLost() ? 1 : 0;
    }
    if (listener >= 0)
        unlink(control.c_str());
    if (!link.empty())
        unlink(link.c_str());
    return status;
}
