// The console as its users run it: vesk-modemsim, vesk-console --headless and vesk-queue as
// separate processes around one outbox file.
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
using vesk::testing::RunProgram;
using vesk::testing::SimProcess;
using vesk::testing::WaitFor;

namespace {

class GatewayE2E : public ::testing::Test
{
protected:
    void queue(const std::string& to, const std::string& text)
    {
        const auto [code, out] = RunProgram({VESK_BIN_DIR "/vesk-queue", "--data-folder", dataFolder, "--to",
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

    // A console that has made its outbox and is running; `filter` is its address filter file.
    std::unique_ptr<ConsoleProcess> startConsole(const std::string& port,
        std::map<std::string, std::string> settings = {}, const std::string& filter = "")
    {
        settings.emplace("Resource/SendInterval", "1");
        settings.emplace("COM/SendTimeout", "2");
        auto console = std::make_unique<ConsoleProcess>(dataFolder, port, settings);
        if (!filter.empty())
            vesk::testing::WriteFile(console->programFolder() + "addressfilter.sms", filter);
        console->start();
        EXPECT_TRUE(WaitFor([&] { return console->logHas("Validity Period is"); }, 30s)) << console->log();
        return console;
    }

    SystemClock clock;
    NullPump pump;
    vesk::testing::TempDir dir;
    std::string dataFolder = dir.file("data");
};

} // namespace

TEST_F(GatewayE2E, SendsRepliesAndRecordsReportsLikeAGateway)
{
    SimProcess modem;
    std::filesystem::create_directories(dataFolder);
    std::string errorText, errorLines;
    ASSERT_TRUE(store::CreateOutbox(dataFolder, VESK_BIN_DIR "/DB/", errorText, errorLines)) << errorText;
    sql("UPDATE System SET sysStandardReply = 'Thanks, we will call you back', sysSMSSaveInbound = TRUE");
    auto console = startConsole(modem.path());

    queue("+15550123", "Short one with O'Brien's # and \"quotes\"");
    queue("+15550124", std::string(400, 'L'));
    modem.control("deliver +447700900123 Is the server room warm?");
    modem.control("deliver +447700900124 ping");
    modem.control("report 200 +15550999 0");

    // Two queued messages and one standard reply, each confirmed by its report.
    ASSERT_TRUE(WaitFor([&] { return column("msgStatus").size() == 3 && allStatus("5"); })) << console->log();
    EXPECT_EQ(column("msgFragmentCount"), (std::vector<std::string> {"1", "3", "1"}));
    EXPECT_EQ(column("msgAddress")[2], "+447700900123");
    EXPECT_EQ(column("msgText", "Inbox"), (std::vector<std::string> {"Is the server room warm?"}));

    const auto received = modem.control("messages");
    std::multiset<std::string> texts;
    for (const auto& line : received)
        texts.insert(SimProcess::field(line, "text"));
    EXPECT_EQ(texts.count("Short one with O'Brien's # and \"quotes\""), 1u);
    EXPECT_EQ(texts.count(std::string(400, 'L')), 1u);
    EXPECT_EQ(texts.count("Thanks, we will call you back"), 1u);
    EXPECT_EQ(std::count_if(
                  texts.begin(), texts.end(), [](const std::string& t) { return t.rfind("Ver:", 0) == 0; }),
        1);
    EXPECT_TRUE(modem.control("memory SM").empty()) << "every entry was handled and deleted";

    EXPECT_EQ(console->stop(), 0);
    const std::string log = console->log();
    EXPECT_NE(log.find("No outstanding delivery id [200] Status 0x0 @ "), std::string::npos);
    EXPECT_NE(log.find("Is the server room warm?"), std::string::npos);
    EXPECT_NE(log.find("Stop requested by signal 15"), std::string::npos);
}

TEST_F(GatewayE2E, FullTextSendsCyrillicAndEmojiAndJoinsALongUCS2Message)
{
    SimProcess modem({"--parts-reversed", "on"});
    std::filesystem::create_directories(dataFolder);
    std::string errorText, errorLines;
    ASSERT_TRUE(store::CreateOutbox(dataFolder, VESK_BIN_DIR "/DB/", errorText, errorLines)) << errorText;
    sql("UPDATE System SET sysStandardReply = 'Спасибо 👍', sysSMSSaveInbound = TRUE");
    auto console = startConsole(modem.path(),
        {{"Text/OutboundCoding", "Auto"}, {"Text/InboundDecoding", "Full"}, {"Text/JoinParts", "1"},
            {"Resource/ReadInterval", "1"}});

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

TEST_F(GatewayE2E, RefusedSendIsRetriedAndTheSixthFailureCancels)
{
    SimProcess modem;
    modem.control("fault send-error 500");
    auto console = startConsole(modem.path());
    queue("+15550123", "cannot go");
    for (int attempt = 1; attempt <= 5; ++attempt) {
        ASSERT_TRUE(WaitFor([&] {
            const auto a = column("msgAttempts");
            return !a.empty() && a[0] == std::to_string(attempt);
        })) << console->log();
        EXPECT_EQ(column("msgStatus")[0], "0");
        // Rather than wait the minutes of the retry schedule, the retry falls due now.
        sql("UPDATE Message SET msgSendTime = #01/Jan/2020 00:00:00#");
    }
    ASSERT_TRUE(WaitFor([&] { return allStatus("2"); })) << console->log();
    EXPECT_EQ(column("msgErrorReason")[0], "Retry Exceeded.");
    console->stop();
    EXPECT_TRUE(console->logHas("Canceled - Retry Count Exceeded. +CMS ERROR: 500"));
    EXPECT_TRUE(console->logHas("Retry at "));
}

TEST_F(GatewayE2E, AddressFilterCancelsOrHoldsAsConfigured)
{
    for (const bool cancel : {true, false}) {
        SCOPED_TRACE(cancel);
        std::filesystem::remove_all(dataFolder);
        SimProcess modem;
        auto console
            = startConsole(modem.path(), {{"Agent/FilterActionDelete", cancel ? "1" : "0"}}, "^\\+44\r\n");
        ASSERT_TRUE(WaitFor([&] { return console->logHas("Address filtering is active"); }, 30s));
        queue("+447700900123", "allowed");
        queue("+15550123", "refused");
        ASSERT_TRUE(WaitFor([&] {
            const auto s = column("msgStatus");
            return s.size() == 2 && s[0] == "5" && console->logHas("Address Filtering.");
        })) << console->log();
        EXPECT_EQ(column("msgStatus")[1], cancel ? "2" : "0");
        EXPECT_TRUE(cancel || column("msgAgentIMEI")[1].empty()) << "a held row has no owner";
        console->stop();
        EXPECT_TRUE(console->logHas(cancel ? "Canceled - Recipient address failed Address Filtering."
                                           : "Ignored - Recipient address failed Address Filtering."));
        EXPECT_EQ(modem.control("messages").size(), 1u);
    }
}

TEST_F(GatewayE2E, DroppedLineIsPickedUpAgain)
{
    const std::string link = dir.file("modem");
    SimProcess modem({"--link", link});
    auto console = startConsole(link);
    queue("+15550123", "before");
    ASSERT_TRUE(WaitFor([&] { return allStatus("5"); })) << console->log();
    modem.control("fault drop"); // a fresh line, and the link moved to it
    queue("+15550124", "after");
    ASSERT_TRUE(WaitFor([&] { return column("msgStatus").size() == 2 && allStatus("5"); })) << console->log();
    EXPECT_EQ(modem.control("messages").size(), 2u);
    EXPECT_EQ(console->stop(), 0);
}

TEST_F(GatewayE2E, TwoConsolesShareOneOutboxAndSendEachMessageOnce)
{
    SimProcess first({"--reports", "off"});
    SimProcess second({"--reports", "off", "--imei", "490154203237518"});
    const std::map<std::string, std::string> settings {{"Resource/SendBatchSize", "50"}};
    auto a = startConsole(first.path(), settings);
    auto b = startConsole(second.path(), settings);
    // Enough rows that both consoles claim side by side for many passes; which console sends
    // which share is up to the scheduler, so only exactly-once is asserted.
    constexpr int kMessages = 150;
    for (int i = 0; i < kMessages; i += 50) {
        std::string values;
        for (int k = i; k < i + 50; ++k)
            values += std::string(values.empty() ? "" : ",") + "('Bulk', '+1555" + std::to_string(100000 + k)
                + "', 'message " + std::to_string(k) + "', #01/Jan/2020 00:00:00#)";
        sql("INSERT INTO Message (msgRecipient, msgAddress, msgText, msgSendTime) VALUES " + values);
    }
    ASSERT_TRUE(WaitFor([&] { return column("msgStatus").size() == kMessages && allStatus("3"); }, 240s))
        << a->log() << b->log();
    a->stop();
    b->stop();

    std::multiset<std::string> texts;
    for (SimProcess* sim : {&first, &second})
        for (const auto& line : sim->control("messages"))
            texts.insert(SimProcess::field(line, "text"));
    EXPECT_EQ(texts.size(), std::size_t {kMessages});
    EXPECT_EQ(std::set<std::string>(texts.begin(), texts.end()).size(), std::size_t {kMessages})
        << "no message went out twice";
}
