#pragma once

#include "FakeClock.h"
#include "ScriptedPump.h"
#include "TempDir.h"
#include "store/db.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

namespace vesk::testing {

// The PostgreSQL server of a test binary: the one the whole test run shares when the run started
// one (VESK_PG_SHARED names the file holding its connection string), otherwise a private one
// started on first use in a folder of its own, reached on a Unix socket there and stopped when the
// binary ends. Each test gets a fresh database. As root the server runs as "nobody" (initdb
// refuses root).
class PgServer
{
public:
    static PgServer& Shared() { return instance<0>(true); }
    // A server of this binary's own, for tests that stop or restart it.
    static PgServer& Own() { return instance<1>(false); }
    // A second server of this binary's own: a standby to fail over to.
    static PgServer& Standby() { return instance<2>(false); }

    // The folder of its socket: the host in a connection string.
    const std::string& Folder() const { return m_folder; }

    // Why there is no server, or empty when there is one.
    const std::string& Unavailable() const { return m_unavailable; }
    bool Installed() const { return !m_bin.empty(); }

    // A fresh, empty database; its connection string.
    std::string CreateDatabase()
    {
        const std::string name = "t" + std::to_string(getpid()) + "_" + std::to_string(++m_databases);
        FakeClock clock;
        ScriptedPump pump;
        store::db admin(clock, pump);
        admin.setFilename(Connection("postgres"));
        if (!admin.OpenDatabase(store::mode::kReadWriteShared) || !admin.Execute("CREATE DATABASE " + name))
            ADD_FAILURE() << "cannot create a test database: " << admin.LastError();
        return Connection(name);
    }

    std::string Connection(const std::string& database) const
    {
        return "host=" + m_folder + " user=vesk dbname=" + database;
    }

    // Runs pg_ctl with the arguments (restart, stop ...); true when it succeeded.
    bool Control(const std::string& arguments) const
    {
        if (m_shared)
            ADD_FAILURE() << "the shared server is not this test's to stop";
        return run(m_bin + "/pg_ctl -D " + m_folder + "/data -l " + m_folder + "/server.log -w " + arguments);
    }

    // Starts a server of its own again after a stop.
    bool Start() const
    {
        return Control("-o \"-k " + m_folder + " -c listen_addresses='' -c fsync=off\" start");
    }

    ~PgServer()
    {
        if (m_started) // only a server of this binary's own is started here
            Control("-m immediate stop");
    }

private:
    template<int Which> static PgServer& instance(bool shared)
    {
        static PgServer server(shared);
        return server;
    }

    explicit PgServer(bool shared)
    {
        if (const char* file = std::getenv("VESK_PG_SHARED"); shared && file && useShared(file))
            return;
        int newest = 0;
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator("/usr/lib/postgresql", ec))
            if (std::filesystem::exists(entry.path() / "bin/initdb"))
                newest = std::max(newest, std::atoi(entry.path().filename().c_str()));
        if (!newest) {
            m_unavailable = "PostgreSQL is not installed (no /usr/lib/postgresql/*/bin/initdb)";
            return;
        }
        m_bin = "/usr/lib/postgresql/" + std::to_string(newest) + "/bin";
        // The server may outlive a killed test binary: it must not keep the binary's files open.
        for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd", ec))
            if (const int n = std::atoi(fd.path().filename().c_str()); n > 2)
                fcntl(n, F_SETFD, FD_CLOEXEC);
        m_folder = m_dir.emplace().path();
        if (geteuid() == 0) {
            run("chown nobody " + m_folder);
            m_as = "runuser -u nobody -- ";
        }
        if (!run(m_bin + "/initdb -D " + m_folder
                + "/data -U vesk -A trust -E UTF8 --locale=C.UTF-8 --no-sync")
            || !Start()) {
            m_unavailable = "the PostgreSQL server did not start (see " + m_folder + "/server.log)";
            return;
        }
        m_started = true;
    }

    bool useShared(const std::string& file)
    {
        std::ifstream in(file);
        std::string conninfo;
        std::getline(in, conninfo);
        const auto host = conninfo.find("host=");
        if (host == std::string::npos)
            return false;
        m_folder = conninfo.substr(host + 5, conninfo.find(' ', host) - host - 5);
        m_shared = true;
        return true;
    }

    bool run(const std::string& command) const
    {
        // The server keeps the machine's clock, as a server elsewhere would (see scripts/pg-server).
        return std::system(("env -u LD_PRELOAD -u FAKETIME " + m_as + command + " >/dev/null 2>&1").c_str())
            == 0;
    }

    std::optional<TempDir> m_dir; // a server of its own: its folder
    std::string m_bin;
    std::string m_folder;
    std::string m_as;
    std::string m_unavailable;
    bool m_started = false;
    bool m_shared = false;
    int m_databases = 0;
};

// Skips a test that needs the server when PostgreSQL is not installed, but fails it where CI
// is set or when an installed server does not start.
#define VESK_REQUIRE_POSTGRES() VESK_REQUIRE_SERVER(::vesk::testing::PgServer::Shared())
#define VESK_REQUIRE_SERVER(which)                                                                           \
    do {                                                                                                     \
        auto& server = (which);                                                                              \
        if (const std::string& why = server.Unavailable(); !why.empty()) {                                   \
            if (std::getenv("CI") || server.Installed())                                                     \
                FAIL() << why;                                                                               \
            GTEST_SKIP() << why;                                                                             \
        }                                                                                                    \
    } while (false)

inline std::string EngineName(const ::testing::TestParamInfo<store::EngineKind>& info)
{
    return info.param == store::EngineKind::Postgres ? "Postgres" : "Sqlite";
}

} // namespace vesk::testing
