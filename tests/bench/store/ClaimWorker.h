#pragma once

// Several consoles working one outbox at once, each in a process of its own as in real use:
// every claimer takes due rows through the pending query, claims each with TakeOwnership and
// records it as sent, until nothing is left.

#include "store/DBMessage.h"
#include "store/Lifecycle.h"
#include "store/Outbox.h"
#include "store/SqlText.h"
#include "support/Clock.h"
#include "support/Convert.h"
#include "support/EventPump.h"
#include "support/LogSink.h"

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <string>
#include <vector>

namespace vesk::testing {

struct ClaimResult
{
    std::vector<std::int32_t> claimed;
    int lockConflicts = 0;
    std::vector<std::string> otherErrors;
    bool exitedCleanly = false;
};

inline bool IsLockConflict(const std::string& error)
{
    return error.find("SQL:3260 ") != std::string::npos || error.find("SQL:3261 ") != std::string::npos;
}

// Sorts what the store reports into retried lock conflicts and everything else.
class ClaimLog final : public LogSink
{
public:
    explicit ClaimLog(ClaimResult& result)
        : m_result(result)
    {
    }
    void Log(int, const std::string&, const std::string& text) override { note(text); }
    void note(const std::string& error)
    {
        if (IsLockConflict(error))
            ++m_result.lockConflicts;
        else
            m_result.otherErrors.push_back(error);
    }

private:
    ClaimResult& m_result;
};

inline ClaimResult ClaimAll(const std::string& folder, const std::string& agent)
{
    ClaimResult result;
    ClaimLog log(result);
    SystemClock clock;
    NullPump pump;
    store::Outbox outbox(clock, pump, log);
    outbox.handle = std::make_unique<store::db>(clock, pump);
    store::db& h = *outbox.handle;
    h.setFilename(store::OutboxPath(folder));
    for (int attempt = 0; attempt < 20 && !h.OpenDatabase(store::mode::kReadWriteShared); ++attempt)
        log.note(h.LastError());
    if (!h.IsConnected())
        return result;

    int idlePasses = 0;
    int failures = 0;
    while (idlePasses < 3 && failures < 100) {
        auto rs = h.OpenDynaset("SELECT TOP 25 * FROM qry_Pending_Messages WHERE msgSendTime <= "
            + store::DateLiteral(clock.now()));
        if (h.IsError())
            log.note(h.LastError());
        if (!rs) {
            ++failures;
            continue;
        }
        failures = 0;
        if (rs->IsEOF()) {
            ++idlePasses; // rows claimed by others and failed mid-retry come back as pending
            continue;
        }
        idlePasses = 0;
        for (; !rs->IsEOF(); rs->MoveNext()) {
            const auto id = static_cast<std::int32_t>(LeadingNumber(TextOf(rs->Field("msgID"))));
            if (!store::TakeOwnership(outbox, id, agent))
                continue;
            result.claimed.push_back(id);
            store::DBMessage m(h, clock, log);
            m.id = id;
            m.Complete = true;
            m.Status = store::MessageStatus::Sent;
            m.Reference = static_cast<std::int16_t>(id % 256);
            m.FragmentCount = 1;
            m.Update();
            if (h.IsError() && IsLockConflict(h.LastError()))
                ++result.lockConflicts;
        }
    }
    return result;
}

// Starts n claimer processes together and collects what each claimed.
inline std::vector<ClaimResult> RunClaimers(const std::string& folder, int n)
{
    int gate[2];
    if (pipe(gate) != 0)
        return {};
    std::vector<pid_t> children;
    for (int i = 0; i < n; ++i) {
        const pid_t pid = fork();
        if (pid == 0) {
            close(gate[1]);
            char c;
            (void)!read(gate[0], &c, 1); // wait until every claimer is ready
            const ClaimResult r = ClaimAll(folder, "AGENT-" + std::to_string(i + 1));
            std::ofstream out(folder + "/claims-" + std::to_string(i + 1) + ".txt");
            out << r.lockConflicts << "\n" << r.claimed.size() << "\n";
            for (auto id : r.claimed)
                out << id << "\n";
            for (const auto& e : r.otherErrors)
                out << e << "\n";
            out.close();
            _exit(0);
        }
        children.push_back(pid);
    }
    close(gate[0]);
    close(gate[1]); // opens the gate: all start at once

    std::vector<ClaimResult> results(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        int status = 0;
        waitpid(children[static_cast<std::size_t>(i)], &status, 0);
        ClaimResult& r = results[static_cast<std::size_t>(i)];
        r.exitedCleanly = WIFEXITED(status) && WEXITSTATUS(status) == 0;
        std::ifstream in(folder + "/claims-" + std::to_string(i + 1) + ".txt");
        std::size_t count = 0;
        in >> r.lockConflicts >> count;
        for (std::size_t k = 0; k < count; ++k) {
            std::int32_t id = 0;
            in >> id;
            r.claimed.push_back(id);
        }
        std::string line;
        std::getline(in, line);
        while (std::getline(in, line))
            r.otherErrors.push_back(line);
    }
    return results;
}

} // namespace vesk::testing
