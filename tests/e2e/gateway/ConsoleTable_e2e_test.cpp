// Two console processes on simulated modems and one outbox keep the outbox's console table: each
// shows its modem, network and signal; vesk-status --all lists both; an orderly stop says
// "stopped".
#include "store/ConsoleTable.h"
#include "support/DateTime.h"

#include "ConsoleProcess.h"
#include "SimProcess.h"

using namespace std::chrono_literals;
using namespace vesk;
using vesk::testing::ConsoleProcess;
using vesk::testing::RunProgram;
using vesk::testing::SimProcess;
using vesk::testing::WaitFor;

namespace {

class ConsoleTableE2E : public vesk::testing::ConsoleTest
{
protected:
    ~ConsoleTableE2E() override { consoles.clear(); }

    void start(int n)
    {
        if (modems.size() <= static_cast<std::size_t>(n))
            modems.push_back(std::make_unique<SimProcess>(std::vector<std::string> {"--imei", imei(n),
                "--signal", std::to_string(10 + 8 * n), "--network", "Net" + std::to_string(n)}));
        consoles.resize(std::max(consoles.size(), static_cast<std::size_t>(n) + 1));
        consoles[n] = std::make_unique<ConsoleProcess>(
            dataFolder, modems[n]->path(), std::map<std::string, std::string> {});
    }

    std::optional<store::ConsoleRow> row(int n)
    {
        auto d = outbox();
        const auto rows = store::ListConsoles(*d);
        if (rows)
            for (const auto& r : *rows)
                if (r.id == imei(n).substr(8))
                    return r;
        return std::nullopt;
    }

    static std::string imei(int n) { return "35693803565" + std::to_string(1000 + n); }
    std::int64_t now() const { return UnixFromLocal(clock.now()); }

    std::vector<std::unique_ptr<SimProcess>> modems;
    std::vector<std::unique_ptr<ConsoleProcess>> consoles;
};

TEST_F(ConsoleTableE2E, ConsolesShowThemselvesAndSayWhenTheyStop)
{
    start(0);
    start(1);
    ASSERT_TRUE(WaitFor([&] { return row(0) && row(0)->signal >= 0 && !row(0)->network.empty(); }, 60s))
        << consoles[0]->log();
    ASSERT_TRUE(WaitFor([&] { return row(1) && row(1)->signal >= 0 && !row(1)->network.empty(); }, 60s))
        << consoles[1]->log();

    const auto first = *row(0), second = *row(1);
    EXPECT_EQ(store::ConsoleState(first, now()), "running");
    EXPECT_EQ(first.kind, "service");
    EXPECT_FALSE(first.model.empty());
    EXPECT_EQ(first.registration, "home");
    EXPECT_NE(first.signal, second.signal); // each row is its own modem's
    EXPECT_GT(first.started, 0);

    const auto [code, table]
        = RunProgram({VESK_BIN_DIR "/vesk-status", "--all", "--data-folder", dataFolder});
    EXPECT_EQ(code, 0) << table;
    EXPECT_NE(table.find(first.id), std::string::npos) << table;
    EXPECT_NE(table.find(second.id), std::string::npos) << table;
    EXPECT_NE(table.find(first.network), std::string::npos) << table;

    // An orderly stop: the row says so (a console killed is a fault row).
    EXPECT_EQ(consoles[1]->stop(), 0);
    EXPECT_EQ(store::ConsoleState(*row(1), now()), "stopped");
    EXPECT_EQ(store::ConsoleState(*row(1), now() + 150), "stopped");
}

} // namespace
