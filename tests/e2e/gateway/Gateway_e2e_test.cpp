// Consoles as their users run them: vesk-modemsim, vesk-console --headless and vesk-queue as
// separate processes around one outbox file. The engine's stories run in this process in the
// core integration tests; here only what needs separate processes.
#include "store/Migrate.h"
#include "store/SqlText.h"
#include "store/db.h"
#include "support/Clock.h"
#include "support/Convert.h"

#include "ConsoleProcess.h"
#include "SimProcess.h"

#include <gtest/gtest.h>

#include <set>

using namespace std::chrono_literals;
using namespace vesk;
using vesk::testing::ConsoleProcess;
using vesk::testing::SimProcess;
using vesk::testing::WaitFor;

namespace {

class GatewayE2E : public ::testing::Test
{
protected:
    void queue(const std::string& to, const std::string& text)
    {
        const auto [code, out] = vesk::testing::RunProgram({VESK_BIN_DIR "/vesk-queue", "--data-folder", dataFolder, "--to",
            to, "--text", text, "--name", "Ann"});
        EXPECT_EQ(code, 0) << out;
    }

    // Every row's value of one column, in id order; empty while the outbox cannot be read.
    std::vector<std::string> column(const std::string& name, const std::string& table = "Message")
    {
        store::db d(clock, pump);
        d.setFilename(dataFolder + "/SMSMessages.mdb");
        std::vector<std::string> out;
        if (!d.OpenDatabase(store::mode::kReadShared))
            return out;
        auto rows = d.OpenDynaset("SELECT " + name + " FROM " + table + " ORDER BY rowid");
        for (; rows && !rows->IsEOF(); rows->MoveNext())
            out.push_back(TextOf(rows->Field(0)));
        return out;
    }

    void sql(const std::string& statement)
    {
        store::db d(clock, pump);
        d.setFilename(dataFolder + "/SMSMessages.mdb");
        ASSERT_TRUE(d.OpenDatabase(store::mode::kReadWriteShared) && d.Execute(statement)) << d.LastError();
    }

    bool allStatus(const std::string& status)
    {
        const auto s = column("msgStatus");
        return !s.empty()
            && std::all_of(s.begin(), s.end(), [&](const std::string& v) { return v == status; });
    }

    // A console started on the modem at `port`.
    std::unique_ptr<ConsoleProcess> launch(
        const std::string& port, std::map<std::string, std::string> settings)
    {
        settings.emplace("Resource/SendInterval", "1");
        settings.emplace("COM/SendTimeout", "2");
        auto console = std::make_unique<ConsoleProcess>(dataFolder, port, settings);
        console->start();
        return console;
    }
    bool running(ConsoleProcess& console)
    {
        return WaitFor([&] { return console.logHas("Validity Period is"); }, 30s);
    }

    SystemClock clock;
    NullPump pump;
    vesk::testing::TempDir dir;
    std::string dataFolder = dir.file("data");
};

} // namespace

TEST_F(GatewayE2E, FullTextSendsCyrillicAndEmojiAndJoinsALongUCS2Message)
{
    SimProcess modem({"--parts-reversed", "on"});
    std::filesystem::create_directories(dataFolder);
    std::string errorText, errorLines;
    ASSERT_TRUE(store::CreateOutbox(dataFolder, VESK_BIN_DIR "/DB/", errorText, errorLines)) << errorText;
    sql("UPDATE System SET sysStandardReply = 'Спасибо 👍', sysSMSSaveInbound = TRUE");
    auto console = launch(modem.path(),
        {{"Text/OutboundCoding", "Auto"}, {"Text/InboundDecoding", "Full"}, {"Text/JoinParts", "1"},
            {"Resource/ReadInterval", "1"}});
    ASSERT_TRUE(running(*console)) << console->log();

    std::string inbound;
    for (int i = 0; i < 8; ++i)
        inbound += "Сервер в порядке, температура 21 градус. ";
    queue("+15550123", "Привет, мир");
    queue("+15550124", "Fire drill 🔥 at 3");
    modem.control("deliver +447700900123 " + inbound);

    ASSERT_TRUE(WaitFor([&] { return column("msgStatus").size() == 3 && allStatus("5"); })) << console->log();
    EXPECT_EQ(column("msgText", "Inbox"), (std::vector<std::string> {store::Left(inbound, 255)}));
    std::multiset<std::string> texts;
    for (const auto& line : modem.control("messages"))
        texts.insert(SimProcess::field(line, "text"));
    EXPECT_EQ(texts, (std::multiset<std::string> {"Привет, мир", "Fire drill 🔥 at 3", "Спасибо 👍"}));
    EXPECT_TRUE(modem.control("memory SM").empty());
    EXPECT_EQ(console->stop(), 0);
    EXPECT_NE(console->log().find("] Ann (UCS2, 1 part)"), std::string::npos);
}
