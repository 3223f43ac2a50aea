#pragma once

// Runs vesk-console --headless as its own process with its own program folder (a copy of the
// executable and the template databases, so its address filter and modem log stay private).

#include "TempDir.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace vesk::testing {

// Runs a program to its end; its standard output and exit code.
struct Finished
{
    int code = -1;
    std::string out;
};

inline Finished RunProgram(std::vector<std::string> args)
{
    int out[2];
    if (pipe(out) != 0)
        throw std::runtime_error("pipe failed");
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], STDOUT_FILENO);
        close(out[0]);
        close(out[1]);
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(out[1]);
    Finished f;
    char buf[4096];
    ssize_t n;
    while ((n = read(out[0], buf, sizeof buf)) > 0)
        f.out.append(buf, static_cast<std::size_t>(n));
    close(out[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    f.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return f;
}

// Waits, in real time, until the condition holds or the deadline passes.
inline bool WaitFor(
    const std::function<bool()>& condition, std::chrono::seconds deadline = std::chrono::seconds(60))
{
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (std::chrono::steady_clock::now() < end) {
        if (condition())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    return condition();
}

class ConsoleProcess
{
public:
    // settings: "Section/Key" -> value, written before the console starts.
    ConsoleProcess(
        const std::string& dataFolder, const std::string& port, std::map<std::string, std::string> settings)
    {
        namespace fs = std::filesystem;
        fs::copy_file(VESK_BIN_DIR "/vesk-console", m_dir.file("vesk-console"));
        fs::copy(VESK_BIN_DIR "/DB", m_dir.file("DB"), fs::copy_options::recursive);
        settings.emplace("COM/AutoDetect", "0");
        settings.emplace("Setup/RunWizard", "0");
        std::map<std::string, std::vector<std::pair<std::string, std::string>>> sections;
        for (const auto& [name, value] : settings) {
            const auto slash = name.find('/');
            sections[name.substr(0, slash)].emplace_back(name.substr(slash + 1), value);
        }
        std::ofstream conf(m_dir.file("console.conf"));
        for (const auto& [section, keys] : sections) {
            conf << '[' << section << "]\n";
            for (const auto& [key, value] : keys)
                conf << key << '=' << value << '\n';
        }
        m_args = {m_dir.file("vesk-console"), "--headless", "--data-folder", dataFolder, "--port", port,
            "--create-outbox"};
    }

    ~ConsoleProcess() { stop(); }

    std::string programFolder() const { return m_dir.folder(); }

    void start()
    {
        const std::string log = m_dir.file("console.log");
        m_pid = fork();
        if (m_pid == 0) {
            const int fd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            dup2(fd, STDOUT_FILENO);
            dup2(fd, STDERR_FILENO);
            setenv("VESK_SETTINGS", m_dir.file("console.conf").c_str(), 1);
            std::vector<char*> argv;
            for (auto& a : m_args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
    }

    // Stops the console as a service manager would; its exit code.
    int stop()
    {
        if (m_pid <= 0)
            return m_code;
        kill(m_pid, SIGTERM);
        int status = 0;
        waitpid(m_pid, &status, 0);
        m_pid = -1;
        m_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return m_code;
    }

    std::string log() const { return ReadFile(m_dir.file("console.log")); }
    bool logHas(const std::string& text) const { return log().find(text) != std::string::npos; }

private:
    TempDir m_dir;
    std::vector<std::string> m_args;
    pid_t m_pid = -1;
    int m_code = -1;
};

} // namespace vesk::testing
