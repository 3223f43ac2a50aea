// vesk-modemsim: a GSM modem on a pseudo-terminal, for tests, demos and dry runs.
#include "ModemSimulator.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <iostream>
#include <poll.h>
#include <pty.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

using namespace vesk::modemsim;
using Clock = std::chrono::steady_clock;

namespace {

volatile std::sig_atomic_t g_stop = 0;
void onSignal(int)
{
    g_stop = 1;
}

struct Line
{
    int master = -1;
    int spare = -1; // keeps the slave side alive between the driver's opens
    std::string path;
};

bool openLine(Line& line, const std::string& link)
{
    char name[256] = {};
    if (openpty(&line.master, &line.spare, name, nullptr, nullptr) != 0)
        return false;
    fcntl(line.master, F_SETFL, fcntl(line.master, F_GETFL) | O_NONBLOCK);
    fcntl(line.master, F_SETFD, FD_CLOEXEC);
    fcntl(line.spare, F_SETFD, FD_CLOEXEC);
    line.path = name;
    if (!link.empty()) {
        unlink(link.c_str());
        if (symlink(line.path.c_str(), link.c_str()) != 0)
            std::cerr << "vesk-modemsim: cannot link " << link << ": " << std::strerror(errno) << "\n";
    }
    std::cout << line.path << std::endl;
    return true;
}

void closeLine(Line& line)
{
    if (line.master >= 0)
        close(line.master);
    if (line.spare >= 0)
        close(line.spare);
    line = Line {};
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

void writeAll(int fd, const std::string& data)
{
    std::size_t done = 0;
    int rounds = 0;
    while (done < data.size() && rounds < 1000) {
        ssize_t n = write(fd, data.data() + done, data.size() - done);
        if (n > 0)
            done += static_cast<std::size_t>(n);
        else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            ++rounds;
            usleep(1000);
        } else
            break;
    }
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

struct Pending
{
    Clock::time_point due;
    std::string bytes;
};

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
    if (!script.empty()) {
        FILE* f = std::fopen(script.c_str(), "r");
        if (!f) {
            std::cerr << "vesk-modemsim: cannot read " << script << "\n";
            return 2;
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
    }
    int listener = -1;
    if (!control.empty()) {
        listener = listenControl(control);
        if (listener < 0) {
            std::cerr << "vesk-modemsim: cannot listen on " << control << ": " << std::strerror(errno)
                      << "\n";
            return 1;
        }
    }
    Line line;
    if (!openLine(line, link)) {
        std::cerr << "vesk-modemsim: cannot open a pseudo-terminal: " << std::strerror(errno) << "\n";
        return 1;
    }
    struct Client
    {
        int fd;
        std::string input;
    };
    std::vector<Client> clients;
    std::deque<Pending> queue;
    Clock::time_point lastDue = Clock::now();

    while (!g_stop && !sim.quitRequested()) {
        std::vector<pollfd> fds;
        fds.push_back({line.master, POLLIN, 0});
        if (listener >= 0)
            fds.push_back({listener, POLLIN, 0});
        for (const auto& c : clients)
            fds.push_back({c.fd, POLLIN, 0});
        auto now = Clock::now();
        int timeout = 200;
        if (!queue.empty())
            timeout = static_cast<int>(std::clamp<long long>(
                std::chrono::duration_cast<std::chrono::milliseconds>(queue.front().due - now).count(), 0,
                200));
        if (auto due = sim.nextDue())
            timeout = std::min(timeout,
                static_cast<int>(std::clamp<long long>(
                    std::chrono::duration_cast<std::chrono::milliseconds>(*due - now).count() + 1, 0, 200)));
        if (poll(fds.data(), fds.size(), timeout) < 0 && errno != EINTR)
            break;
        std::size_t k = 0;
        if (fds[k].revents & POLLIN) {
            char buffer[4096];
            ssize_t n = read(line.master, buffer, sizeof buffer);
            if (n > 0) {
                for (auto& out : sim.receive(std::string_view(buffer, static_cast<std::size_t>(n)))) {
                    // Replies keep their order even when one of them is slow.
                    auto due = std::max(Clock::now() + out.delay, lastDue);
                    if (out.delay.count() > 0 && !queue.empty())
                        due = std::max(due, queue.back().due + out.delay);
                    lastDue = due;
                    queue.push_back({due, out.bytes});
                }
            }
        }
        ++k;
        if (listener >= 0) {
            if (fds[k].revents & POLLIN) {
                int fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
                if (fd >= 0)
                    clients.push_back({fd, {}});
            }
            ++k;
        }
        for (std::size_t c = 0; c < clients.size() && k < fds.size(); ++c, ++k) {
            if (!(fds[k].revents & (POLLIN | POLLHUP)))
                continue;
            char buffer[4096];
            ssize_t n = read(clients[c].fd, buffer, sizeof buffer);
            if (n <= 0) {
                close(clients[c].fd);
                clients[c].fd = -1;
                continue;
            }
            clients[c].input.append(buffer, static_cast<std::size_t>(n));
            std::size_t eol;
            while ((eol = clients[c].input.find('\n')) != std::string::npos) {
                std::string command = clients[c].input.substr(0, eol);
                clients[c].input.erase(0, eol + 1);
                if (!command.empty() && command.back() == '\r')
                    command.pop_back();
                writeAll(clients[c].fd, sim.control(command));
                if (sim.takeDropRequest()) {
                    queue.clear();
                    closeLine(line);
                    if (!openLine(line, link))
                        return 1;
                }
            }
        }
        clients.erase(
            std::remove_if(clients.begin(), clients.end(), [](const Client& c) { return c.fd < 0; }),
            clients.end());
        sim.tick();
        for (auto& indication : sim.takeUnsolicited())
            queue.push_back({std::max(Clock::now(), lastDue), indication});
        now = Clock::now();
        while (!queue.empty() && queue.front().due <= now) {
            writeAll(line.master, queue.front().bytes);
            queue.pop_front();
        }
    }
    for (auto& c : clients)
        close(c.fd);
    if (listener >= 0) {
        close(listener);
        unlink(control.c_str());
    }
    if (!link.empty())
        unlink(link.c_str());
    closeLine(line);
    return 0;
}
