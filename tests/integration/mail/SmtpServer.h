#pragma once

#include "SimProcess.h"
#include "TempDir.h"

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace vesk::testing {

// A real SMTP server (aiosmtpd) in a child process; every accepted mail lands in a spool folder.
class SmtpServer
{
public:
    struct Options
    {
        std::string user;
        std::string password;
        bool rejectData = false;
        int port = 0; // a restarted server listens where the last one did
    };

    SmtpServer()
        : SmtpServer(Options {})
    {
    }
    explicit SmtpServer(const Options& options)
    {
        std::vector<std::string> args = {VESK_PYTHON3, VESK_SMTP_SERVER, "--spool", m_spool.path()};
        if (!options.user.empty())
            args.insert(args.end(), {"--user", options.user, "--password", options.password});
        if (options.rejectData)
            args.push_back("--reject-data");
        if (options.port > 0)
            args.insert(args.end(), {"--port", std::to_string(options.port)});
        int out[2];
        if (pipe2(out, O_CLOEXEC) != 0)
            return;
        m_pid = Spawn(args, out[1]);
        close(out[1]);
        std::string line;
        char c;
        while (read(out[0], &c, 1) == 1 && c != '\n')
            line += c;
        close(out[0]);
        if (line.rfind("READY ", 0) == 0)
            m_port = std::stoi(line.substr(6));
    }

    ~SmtpServer()
    {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, nullptr, 0);
        }
    }

    bool running() const { return m_port > 0; }
    int port() const { return m_port; }
    std::string address() const { return "127.0.0.1:" + std::to_string(m_port); }

    // The mails accepted so far, oldest first, each as the server stored it.
    std::vector<std::string> mails() const
    {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(m_spool.path()))
            if (e.path().extension() == ".eml")
                names.push_back(e.path().string());
        std::sort(names.begin(), names.end());
        std::vector<std::string> out;
        for (const auto& n : names)
            out.push_back(ReadFile(n));
        return out;
    }

    // Whether a client tried to log in (only a server with a user offers AUTH).
    bool loginTried() const { return std::filesystem::exists(m_spool.file("auth.log")); }

private:
    TempDir m_spool;
    pid_t m_pid = -1;
    int m_port = 0;
};

// Whether a line of a recorded log holds `part` anywhere.
template<class Log> bool LogHolds(const Log& log, const std::string& part)
{
    return std::any_of(log.lines.begin(), log.lines.end(),
        [&](const auto& line) { return line.text.find(part) != std::string::npos; });
}

// One header of a stored mail, or "" when it has none.
inline std::string HeaderOf(const std::string& mail, const std::string& name)
{
    const auto at = mail.find(name + ": ");
    if (at == std::string::npos)
        return {};
    const auto start = at + name.size() + 2;
    return mail.substr(start, mail.find("\r\n", start) - start);
}

inline std::string BodyOf(const std::string& mail)
{
    const auto at = mail.find("\r\n\r\n");
    return at == std::string::npos ? std::string() : mail.substr(at + 4);
}

} // namespace vesk::testing
