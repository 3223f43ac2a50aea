#pragma once

// Runs vesk-console --headless (or vesk-consoled) as its own process with its own program folder (a copy of
// the executable and the template databases, so its address filter and modem log stay private).

#include "core/SettingsStore.h"

#include "SimProcess.h"
#include "TempDir.h"

#include <filesystem>
#include <functional>

namespace vesk::testing {

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
    // env: more "NAME=value" for its environment; options: more command-line options.
    ConsoleProcess(const std::string& dataFolder, const std::string& port,
        std::map<std::string, std::string> settings, const std::string& program = "vesk-console",
        const std::vector<std::string>& env = {}, const std::vector<std::string>& options = {})
    {
        namespace fs = std::filesystem;
        fs::copy_file(VESK_BIN_DIR "/" + program, m_dir.file(program));
        fs::copy(VESK_BIN_DIR "/DB", m_dir.file("DB"), fs::copy_options::recursive);
        settings.emplace("COM/AutoDetect", "0");
        settings.emplace("Setup/RunWizard", "0");
        core::SettingsStore conf(m_dir.file("console.conf"));
        for (const auto& [name, value] : settings)
            conf.set(name.substr(0, name.find('/')), name.substr(name.find('/') + 1), value);
        m_args = {"/usr/bin/env", "VESK_SETTINGS=" + m_dir.file("console.conf")};
        m_args.insert(m_args.end(), env.begin(), env.end());
        m_args.insert(m_args.end(),
            {m_dir.file(program), "--headless", "--data-folder", dataFolder, "--port", port,
                "--create-outbox"});
        m_args.insert(m_args.end(), options.begin(), options.end());
    }

    ~ConsoleProcess() { stop(); }

    std::string programFolder() const { return m_dir.folder(); }
    std::string settingsFile() const { return m_dir.file("console.conf"); }
    pid_t pid() const { return m_pid; }

    void start()
    {
        const int log
            = ::open(m_dir.file("console.log").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        m_pid = Spawn(m_args, log, true);
        close(log);
    }

    // Stops the console as a service manager would (or with SIGKILL, as a crash would); its exit code.
    int stop(int signal = SIGTERM)
    {
        if (m_pid <= 0)
            return m_code;
        kill(m_pid, signal);
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
