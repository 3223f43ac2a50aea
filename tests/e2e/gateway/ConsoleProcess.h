#pragma once

// Runs vesk-console --headless (or vesk-consoled) as its own process with its own program folder (a copy of
// the executable and the template databases, so its address filter and modem log stay private).

#include "core/SettingsStore.h"
#include "store/Migrate.h"
#include "store/Outbox.h"
#include "store/StoreSchema.h"
#include "store/db.h"
#include "support/Clock.h"
#include "support/Convert.h"

#include "OutboxSql.h"
#include "SimProcess.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

namespace vesk::testing {

// Waits, in real time, until the condition holds or the deadline passes.
inline bool WaitFor(
    const std::function<bool()>& condition, std::chrono::seconds deadline = std::chrono::seconds(60))
{
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    return true;
}

class ConsoleProcess
{
public:
    // Starts the console, sending every second. settings: "Section/Key" -> value, written before it starts.
    // options: more command-line options; env: more "NAME=value" for its environment, or a bare
    // NAME to take out of it.
    ConsoleProcess(const std::string& dataFolder, const std::string& port,
        std::map<std::string, std::string> settings, const std::vector<std::string>& options = {},
        const std::string& program = "vesk-console", const std::vector<std::string>& env = {})
    {
        namespace fs = std::filesystem;
        fs::copy_file(VESK_BIN_DIR "/" + program, m_dir.file(program));
        fs::copy(VESK_BIN_DIR "/DB", m_dir.file("DB"), fs::copy_options::recursive);
        settings.emplace("Resource/SendInterval", "1");
        settings.emplace("COM/AutoDetect", "0");
        settings.emplace("Setup/RunWizard", "0");
        core::SettingsStore conf(m_dir.file("console.conf"));
        for (const auto& [name, value] : settings)
            conf.set(name.substr(0, name.find('/')), name.substr(name.find('/') + 1), value);
        std::vector<std::string> args = {"/usr/bin/env"};
        for (const auto& name : env)
            if (name.find('=') == std::string::npos)
                args.insert(args.end(), {"-u", name});
        args.push_back("VESK_SETTINGS=" + m_dir.file("console.conf"));
        for (const auto& setting : env)
            if (setting.find('=') != std::string::npos)
                args.push_back(setting);
        args.insert(args.end(),
            {m_dir.file(program), "--headless", "--data-folder", dataFolder, "--port", port,
                "--create-outbox"});
        args.insert(args.end(), options.begin(), options.end());
        const int log
            = ::open(m_dir.file("console.log").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        m_pid = Spawn(args, log, true);
        close(log);
    }

    ~ConsoleProcess() { stop(); }

    pid_t pid() const { return m_pid; }

    // Stops the console as a service manager would (or with SIGKILL, as a crash would); its exit code.
    int stop(int signal = SIGTERM) { return StopChild(m_pid, m_code, signal); }

    std::string log() const { return ReadFile(m_dir.file("console.log")); }
    bool logHas(const std::string& text) const { return log().find(text) != std::string::npos; }

private:
    TempDir m_dir;
    pid_t m_pid = -1;
    int m_code = -1;
};

// The test's side of the outbox the consoles share: files in dataFolder, or the database named
// by `database` when one is set.
class ConsoleTest : public ::testing::Test
{
protected:
    void createOutbox()
    {
        std::filesystem::create_directories(dataFolder);
        std::string errorText, errorLines;
        ASSERT_TRUE(store::CreateOutbox(dataFolder, VESK_BIN_DIR "/DB/", errorText, errorLines)) << errorText;
    }

    std::unique_ptr<store::db> outbox(int mode = store::mode::kReadShared)
    {
        auto d = std::make_unique<store::db>(clock, pump);
        store::PointAt(*d, database, dataFolder, store::kOutboxName);
        d->OpenDatabase(mode);
        return d;
    }

    OutboxSql shared() { return {clock, pump, dataFolder, database}; }
    void sql(const std::string& statement) { shared().run(statement); }
    std::vector<std::string> column(const std::string& query) { return shared().column(query); }
    // A send or expiry time some minutes ago, as a date literal: due now, yet too young for the
    // consoles' daily housekeeping (23:00) to remove, whatever the hour the test runs at.
    std::string minutesAgo(int minutes) const
    {
        return "#" + Format(clock.now().addMinutes(-minutes), "dd/mmm/yyyy hh:nn:ss") + "#";
    }

    // How many messages match; -1 while the outbox cannot be read.
    long count(const std::string& where)
    {
        return shared().count("SELECT COUNT(*) FROM Message WHERE " + where);
    }

    SystemClock clock;
    NullPump pump;
    TempDir dir;
    std::string dataFolder = dir.file("data");
    std::string database;
};

} // namespace vesk::testing
