#pragma once

// Runs vesk-modemsim as its own process on a fresh pseudo-terminal and talks to its control socket.

#include "TempDir.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <map>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace vesk::testing {

// Starts a program with its standard output (and its errors, if asked) going to `out`; its id.
inline pid_t Spawn(std::vector<std::string> args, int out, bool errorsToo = false)
{
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(out, STDOUT_FILENO);
        if (errorsToo)
            dup2(out, STDERR_FILENO);
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    return pid;
}

class SimProcess
{
public:
    explicit SimProcess(std::vector<std::string> options = {})
    {
        m_socket = m_dir.file("control");
        int out[2];
        if (pipe2(out, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe failed");
        std::vector<std::string> args = {VESK_BIN_DIR "/vesk-modemsim", "--control", m_socket};
        args.insert(args.end(), options.begin(), options.end());
        m_pid = Spawn(args, out[1]);
        close(out[1]);
        m_stdout = out[0];
        std::string started; // the simulator's first line names its pseudo-terminal
        for (std::string got; started.find('\n') == std::string::npos && !(got = readSome(m_stdout)).empty();)
            started += got;
        m_path = started.substr(0, started.find('\n'));
        if (m_path.empty())
            throw std::runtime_error("vesk-modemsim did not start");
        m_control = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un addr {};
        addr.sun_family = AF_UNIX;
        m_socket.copy(addr.sun_path, sizeof addr.sun_path - 1);
        if (connect(m_control, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
            throw std::runtime_error("cannot reach the simulator's control socket");
    }
    ~SimProcess()
    {
        if (m_control >= 0)
            close(m_control);
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, nullptr, 0);
        }
        if (m_stdout >= 0)
            close(m_stdout);
    }
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    // The pseudo-terminal the driver opens.
    const std::string& path() const { return m_path; }
    const std::string& controlSocket() const { return m_socket; }

    // The reply lines of a control command; throws when the simulator refuses it.
    std::vector<std::string> control(const std::string& command)
    {
        const std::string line = command + "\n";
        if (write(m_control, line.data(), line.size()) != static_cast<ssize_t>(line.size()))
            throw std::runtime_error("control socket write failed");
        std::vector<std::string> lines;
        std::string buffer;
        for (;;) {
            const auto nl = buffer.find('\n');
            if (nl == std::string::npos) {
                const std::string got = readSome(m_control);
                if (got.empty())
                    throw std::runtime_error("control socket closed");
                buffer += got;
                continue;
            }
            const std::string reply = buffer.substr(0, nl);
            buffer.erase(0, nl + 1);
            if (reply == "OK")
                return lines;
            if (reply.rfind("ERROR", 0) == 0)
                throw std::runtime_error(command + ": " + reply);
            lines.push_back(reply);
        }
    }

    // "key=value" fields of a record line; text= runs to the end of the line.
    static std::string field(const std::string& line, const std::string& key)
    {
        const auto at = line.find(" " + key + "=");
        if (at == std::string::npos)
            return {};
        const auto start = at + key.size() + 2;
        if (key == "text")
            return line.substr(start);
        return line.substr(start, line.find(' ', start) - start);
    }

    int countInTranscript(const std::string& command)
    {
        int n = 0;
        for (const auto& line : control("transcript"))
            n += line == command;
        return n;
    }

private:
    static std::string readSome(int fd)
    {
        pollfd p {fd, POLLIN, 0};
        if (poll(&p, 1, 5000) <= 0)
            return {};
        char buffer[4096];
        const ssize_t n = read(fd, buffer, sizeof buffer);
        return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
    }

    TempDir m_dir;
    std::string m_socket;
    std::string m_path;
    pid_t m_pid = -1;
    int m_stdout = -1;
    int m_control = -1;
};

} // namespace vesk::testing
