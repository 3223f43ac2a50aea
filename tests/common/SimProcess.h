#pragma once

// Runs vesk-modemsim as its own process on a fresh pseudo-terminal and talks to its control socket.

#include "TempDir.h"

#include <algorithm>
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
// The child allocates nothing before exec: another thread may have held the allocator's lock
// when it was forked, and the child would wait for it for ever.
inline pid_t Spawn(std::vector<std::string> args, int out, bool errorsToo = false)
{
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(out, STDOUT_FILENO);
        if (errorsToo)
            dup2(out, STDERR_FILENO);
        execv(argv[0], argv.data());
        _exit(127);
    }
    return pid;
}

// Runs a program to its end; its exit code and standard output.
inline std::pair<int, std::string> RunProgram(std::vector<std::string> args)
{
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    const pid_t pid = Spawn(std::move(args), out[1]);
    close(out[1]);
    std::string text;
    char buf[4096];
    ssize_t n;
    while ((n = read(out[0], buf, sizeof buf)) > 0)
        text.append(buf, static_cast<std::size_t>(n));
    close(out[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, text};
}

// Stops a child (SIGTERM as a service manager sends it, SIGKILL as a crash) and waits for it;
// its exit code, -1 when a signal ended it. Stopping again gives the same code.
inline int StopChild(pid_t& pid, int& code, int signal = SIGTERM)
{
    if (pid <= 0)
        return code;
    kill(pid, signal);
    int status = 0;
    waitpid(pid, &status, 0);
    pid = -1;
    code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return code;
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
        std::string started;
        m_path = readLine(m_stdout, started); // the simulator's first line names its pseudo-terminal
        m_control = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un addr {};
        addr.sun_family = AF_UNIX;
        m_socket.copy(addr.sun_path, sizeof addr.sun_path - 1);
        if (connect(m_control, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
            throw std::runtime_error("cannot reach the simulator's control socket");
    }
    ~SimProcess()
    {
        close(m_control);
        kill(m_pid, SIGTERM);
        waitpid(m_pid, nullptr, 0);
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
        for (std::string reply; (reply = readLine(m_control, m_replies)) != "OK";) {
            if (reply.rfind("ERROR", 0) == 0)
                throw std::runtime_error(command + ": " + reply);
            lines.push_back(reply);
        }
        return lines;
    }

    // "key=value" fields of a record line; text= runs to the end of the line.
    static std::string field(const std::string& line, const std::string& key)
    {
        const auto at = line.find(" " + key + "=");
        if (at == std::string::npos)
            return {};
        const auto start = at + key.size() + 2;
        return key == "text" ? line.substr(start) : line.substr(start, line.find(' ', start) - start);
    }

    int countInTranscript(const std::string& command)
    {
        const auto lines = control("transcript");
        return static_cast<int>(std::count(lines.begin(), lines.end(), command));
    }

private:
    // The next line that comes on fd, after what `buffer` holds; throws when none comes in time.
    static std::string readLine(int fd, std::string& buffer)
    {
        std::size_t nl;
        while ((nl = buffer.find('\n')) == std::string::npos) {
            pollfd p {fd, POLLIN, 0};
            char got[4096];
            const ssize_t n = poll(&p, 1, 5000) > 0 ? read(fd, got, sizeof got) : 0;
            if (n <= 0)
                throw std::runtime_error("vesk-modemsim did not answer");
            buffer.append(got, static_cast<std::size_t>(n));
        }
        std::string line = buffer.substr(0, nl);
        buffer.erase(0, nl + 1);
        return line;
    }

    TempDir m_dir;
    std::string m_socket;
    std::string m_path;
    std::string m_replies;
    pid_t m_pid = -1;
    int m_stdout = -1;
    int m_control = -1;
};

} // namespace vesk::testing
