// The console as a whole against the modem simulator on a pseudo-terminal and a real outbox file.
#include "core/Context.h"
#include "core/Engine.h"
#include "core/SettingsStore.h"
#include "core/Startup.h"
#include "store/Migrate.h"
#include "store/db.h"
#include "support/Convert.h"
#include "support/Paths.h"

#include "ConsoleFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <set>

using namespace std::chrono_literals;
using namespace vesk;
using namespace vesk::core;
using vesk::testing::SimProcess;

namespace {

class GatewayTest : public vesk::testing::ConsoleFixture
{
protected:
    void SetUp() override { ASSERT_NO_FATAL_FAILURE(start()); }

    std::vector<std::string> overTheAir(const std::string& what = "messages") { return sim.control(what); }
};

// A line of the activity log that holds `text` anywhere.
bool logHas(core::Context& ctx, const std::string& text)
{
    const auto& lines = ctx.app.log().lines();
    return std::any_of(lines.begin(), lines.end(),
        [&](const auto& line) { return line.text.find(text) != std::string::npos; });
}

} // namespace

TEST_F(GatewayTest, StartsIdleAndReportsTheModem)
{
    EXPECT_TRUE(ctx->app.IsIdle());
    EXPECT_TRUE(logged(1, "Application started V."));
    EXPECT_TRUE(logged(1, "DB is revision 4"));
    EXPECT_TRUE(logged(9, "Port is [" + sim.path() + "] InitString is [9600,N,8,1]"));
    EXPECT_TRUE(logged(9, "IMEI code is 356938035643809"));
    EXPECT_TRUE(logged(9, "Modem is a VESK-SIM 900"));
    EXPECT_TRUE(logged(9, "Signal level : 58%"));
    EXPECT_TRUE(logged(1, "Validity Period is "));
    EXPECT_EQ(ctx->AgentIMEI, "356938035643809");
}

// The gateway's day: queued messages (one long, one with quotes), a standard reply to an inbound
// message, a ping, and every send confirmed by its report; the modem's memory ends empty.
TEST_F(GatewayTest, SendsRepliesAndRecordsReportsLikeAGateway)
{
    ctx->outbox.settings.StandardReply = "Thanks, we will call you back";
    ctx->outbox.settings.SMSSaveInbound = true;
    const std::string awkward = "Short one with O'Brien's # and \"quotes\"";
    queue("+15550123", ReplaceAll(awkward, "'", "''"));
    queue("+15550124", std::string(400, 'L'));
    sim.control("deliver +447700900123 Is the server room warm?");
    sim.control("deliver +447700900124 ping");
    sim.control("report 200 +15550999 0");
    for (int i = 0; i < 4; ++i)
        pass();

    EXPECT_EQ(
        column("SELECT msgStatus FROM Message ORDER BY msgID"), (std::vector<std::string> {"5", "5", "5"}));
    EXPECT_EQ(column("SELECT msgFragmentCount FROM Message ORDER BY msgID"),
        (std::vector<std::string> {"1", "3", "1"}));
    EXPECT_EQ(column("SELECT msgAddress FROM Message ORDER BY msgID")[2], "+447700900123");
    EXPECT_EQ(column("SELECT msgText FROM Inbox"), std::vector<std::string> {"Is the server room warm?"});
    std::multiset<std::string> texts;
    for (const auto& line : overTheAir())
        texts.insert(SimProcess::field(line, "text"));
    EXPECT_EQ(texts.count(awkward), 1u);
    EXPECT_EQ(texts.count(std::string(400, 'L')), 1u);
    EXPECT_EQ(texts.count("Thanks, we will call you back"), 1u);
    // The ping is answered with the status line, and neither logged nor stored.
    const std::string status
        = "Ver:" + VersionNumbers() + ", DB Revision:4, Model: VESK-SIM 900, Signal: 58%, Sent:";
    EXPECT_EQ(std::count_if(
                  texts.begin(), texts.end(), [&](const std::string& t) { return t.rfind(status, 0) == 0; }),
        1);
    EXPECT_FALSE(logged(10, "ping"));
    EXPECT_TRUE(sim.control("memory SM").empty()) << "every entry was handled and deleted";
    EXPECT_TRUE(logHas(*ctx, "No outstanding delivery id [200] Status 0x0 @ "));
}

TEST_F(GatewayTest, TickDuringAPassDoesNothingAndPauseWaitsForTheEnd)
{
    queue("+15550123", "one");
    queue("+15550124", "two");
    // The first moment the delivery pass lets events run, before its first row.
    pump.when([&] { return ctx->app.Feedback() == "Processing messages for delivery..."; },
        [&] {
            OnTick(*ctx); // re-entrant tick: refused by the mode and the guard
            TogglePause(*ctx); // the Pause button pressed mid-pass
            EXPECT_TRUE(ctx->app.PauseRequest());
            EXPECT_FALSE(ctx->app.IsPaused());
        });
    pass();
    EXPECT_TRUE(ctx->app.IsPaused());
    EXPECT_FALSE(ctx->app.PauseRequest());
    // The request stops the delivery pass before its next row.
    EXPECT_EQ(overTheAir().size(), 0u);
    pass(); // paused: no pass
    EXPECT_EQ(overTheAir().size(), 0u);
    TogglePause(*ctx);
    pass();
    EXPECT_EQ(overTheAir().size(), 2u);
}

TEST_F(GatewayTest, DeliveryPassesAreSpacedBySendInterval)
{
    queue("+15550123", "first");
    pass();
    ASSERT_EQ(overTheAir().size(), 1u);
    queue("+15550124", "second");
    clock.advance(6s); // a pass is due, a send is not
    OnTick(*ctx);
    EXPECT_EQ(overTheAir().size(), 1u);
    clock.advance(6s);
    OnTick(*ctx);
    EXPECT_EQ(overTheAir().size(), 2u);
}

TEST_F(GatewayTest, EmptyModemMemoryIsAskedAgainOnEveryPass)
{
    pass();
    EXPECT_TRUE(ctx->NextRead.isZero()) << "nothing was read, so the read stays due";
    const int counts = sim.countInTranscript("AT+CPMS?");
    sim.control("deliver +447700900123 arrived later");
    clock.advance(6s); // the next pass, before the read interval would have run out
    OnTick(*ctx);
    EXPECT_TRUE(logged(10, "arrived later"));
    EXPECT_FALSE(ctx->NextRead.isZero());
    EXPECT_GT(sim.countInTranscript("AT+CPMS?"), counts) << "the memory was asked again";
}

TEST_F(GatewayTest, MaxRunTimeStopsAnIdleConsoleButNotAPausedOne)
{
    ctx->EndTime = clock.now().addHours(1);
    TogglePause(*ctx);
    clock.advance(2h);
    OnTick(*ctx);
    EXPECT_FALSE(ctx->stopRequested);
    TogglePause(*ctx);
    OnTick(*ctx);
    EXPECT_TRUE(ctx->stopRequested);
}

TEST_F(GatewayTest, LinkCheckResetsThePortOnceThenReports)
{
    sim.control("fault error");
    clock.advance(61min);
    CheckModemLink(*ctx);
    EXPECT_TRUE(logged(2, "Invalid response from modem -> "));
    EXPECT_TRUE(logged(3, "Could not reset link to modem"));
    EXPECT_GE(ctx->NextLinkCheck, clock.now().addMinutes(59));
}

TEST_F(GatewayTest, RefusedSendIsRetriedAndTheSixthFailureCancels)
{
    sim.control("fault send-error 500");
    ctx->modem->SendMessageTimeout = 500; // a refusal waits the time-out out
    queue("+15550123", "cannot go");
    for (int attempt = 1; attempt <= 5; ++attempt) {
        pass(4min); // the retry falls due
        EXPECT_EQ(
            column("SELECT msgAttempts FROM Message"), std::vector<std::string> {std::to_string(attempt)});
        EXPECT_EQ(column("SELECT msgStatus FROM Message"), std::vector<std::string> {"0"});
    }
    pass(4min);
    EXPECT_EQ(column("SELECT msgStatus FROM Message"), std::vector<std::string> {"2"});
    EXPECT_EQ(column("SELECT msgErrorReason FROM Message"), std::vector<std::string> {"Retry Exceeded."});
    EXPECT_TRUE(logHas(*ctx, "Canceled - Retry Count Exceeded. +CMS ERROR: 500"));
    EXPECT_TRUE(logHas(*ctx, "Retry at "));
}

class AddressFilterTest : public vesk::testing::ConsoleFixture
{
};

TEST_F(AddressFilterTest, RefusedRecipientIsCancelledOrHeldAsConfigured)
{
    for (const bool cancel : {true, false}) {
        SCOPED_TRACE(cancel);
        if (ctx)
            core::ShutDown(*ctx);
        ctx.reset();
        std::filesystem::remove_all(dataFolder);
        sim.control("clear");
        settings.set("Agent", "FilterActionDelete", cancel ? "1" : "0");
        vesk::testing::WriteFile(dir.folder() + "addressfilter.sms", "^\\+44\r\n");
        ASSERT_NO_FATAL_FAILURE(start());
        EXPECT_TRUE(logHas(*ctx, "Address filtering is active"));
        queue("+447700900123", "allowed");
        queue("+15550123", "refused");
        pass();
        ASSERT_EQ(sim.control("messages").size(), 1u);
        EXPECT_EQ(SimProcess::field(sim.control("messages")[0], "text"), "allowed");
        EXPECT_EQ(column("SELECT msgStatus FROM Message WHERE msgAddress = '+15550123'"),
            std::vector<std::string> {cancel ? "2" : "0"});
        if (!cancel) {
            EXPECT_EQ(column("SELECT COUNT(*) FROM Message WHERE msgStatus = 0 AND msgAgentIMEI > ''"),
                std::vector<std::string> {"0"})
                << "a held row has no owner";
        }
        EXPECT_TRUE(logHas(*ctx,
            cancel ? "Canceled - Recipient address failed Address Filtering."
                   : "Ignored - Recipient address failed Address Filtering."));
    }
}

TEST(Startup, RefusesAFolderWithoutDataFilesUnlessAskedToCreateThem)
{
    vesk::testing::TempDir dir;
    vesk::testing::ShiftedClock clock;
    vesk::testing::ScriptedPump pump;
    SettingsStore settings(dir.file("console.conf"));
    {
        Context ctx(clock, pump, settings, dir.folder());
        HeadlessPrompts prompts(ctx, false);
        EXPECT_EQ(Main(ctx, prompts), StartResult::Ended);
        EXPECT_NE(prompts.message().find("--data-folder"), std::string::npos);
    }
    {
        Context ctx(clock, pump, settings, dir.folder());
        ctx.overrides.dataFolder = dir.file("empty");
        HeadlessPrompts prompts(ctx, false);
        EXPECT_EQ(Main(ctx, prompts), StartResult::Ended);
        EXPECT_NE(prompts.message().find("Folder does not contain the data files"), std::string::npos);
    }
}

namespace {

// The window's answers, scripted: counts what start-up asked.
class ScriptedPrompts final : public StartupPrompts
{
public:
    explicit ScriptedPrompts(std::function<bool()> wizard)
        : m_wizard(std::move(wizard))
    {
    }
    FolderAnswer folderWithoutDataFiles(const std::string&) override
    {
        ++folderQuestions;
        return folderAnswer;
    }
    bool canRunWizard() const override { return true; }
    bool runWizard() override
    {
        ++wizardRuns;
        return m_wizard();
    }
    void invalidOutboxFolder() override { ++invalidFolder; }
    std::optional<std::string> createOutbox() override { return std::nullopt; }
    void showMainWindow() override { ++windowShown; }

    FolderAnswer folderAnswer = FolderAnswer::End;
    int folderQuestions = 0;
    int wizardRuns = 0;
    int invalidFolder = 0;
    int windowShown = 0;

private:
    std::function<bool()> m_wizard;
};

struct StartupTest : ::testing::Test
{
    StartupTest()
    {
        settings.set("COM", "AutoDetect", "0");
        settings.set("COM", "Port", dir.file("no-such-port"));
    }
    // What the setup wizard leaves behind: a data folder with the databases, named in the settings.
    bool wizardCreatesOutbox()
    {
        std::string errorText, errorLines;
        vesk::CreateFolderPath(dir.file("data"));
        settings.set("Setup", "DataFolder", dir.file("data"));
        return store::CreateOutbox(dir.file("data"), VESK_BIN_DIR "/DB/", errorText, errorLines);
    }
    vesk::testing::TempDir dir;
    vesk::testing::ShiftedClock clock;
    vesk::testing::ScriptedPump pump;
    SettingsStore settings {dir.file("console.conf")};
};

} // namespace

TEST_F(StartupTest, EmptyDataFolderRunsTheWizardEvenWhenItRanBefore)
{
    settings.set("Setup", "RunWizard", "0");
    Context ctx(clock, pump, settings, dir.folder());
    ScriptedPrompts prompts([&] { return wizardCreatesOutbox(); });
    EXPECT_EQ(Main(ctx, prompts), StartResult::Running);
    EXPECT_EQ(prompts.wizardRuns, 1);
    EXPECT_EQ(prompts.windowShown, 1);
    EXPECT_EQ(settings.get("Setup", "RunWizard"), "0");
    EXPECT_EQ(vesk::TrailingSeparator(ctx.DataFolder), dir.folder() + "data/");
    EXPECT_TRUE(ctx.app.IsIdle());
    ShutDown(ctx);
}

TEST_F(StartupTest, SwitchIsFoundInAnyCaseInsideOtherText)
{
    ASSERT_TRUE(wizardCreatesOutbox());
    settings.set("Setup", "RunWizard", "0");
    Context ctx(clock, pump, settings, dir.folder());
    ctx.commandLine = vesk::ToLower("-x/WIZARDnow");
    ScriptedPrompts prompts([] { return false; }); // the user gives up
    EXPECT_EQ(Main(ctx, prompts), StartResult::Ended);
    EXPECT_EQ(prompts.wizardRuns, 1);
}

TEST_F(StartupTest, FolderWithoutDataFilesAsksFirst)
{
    settings.set("Setup", "RunWizard", "0");
    settings.set("Setup", "DataFolder", dir.path());
    {
        Context ctx(clock, pump, settings, dir.folder());
        ScriptedPrompts prompts([] { return true; });
        EXPECT_EQ(Main(ctx, prompts), StartResult::Ended);
        EXPECT_EQ(prompts.folderQuestions, 1);
        EXPECT_EQ(prompts.wizardRuns, 0);
    }
    {
        Context ctx(clock, pump, settings, dir.folder());
        ScriptedPrompts prompts([] { return true; }); // the wizard ends without making the databases
        prompts.folderAnswer = StartupPrompts::FolderAnswer::RunWizard;
        EXPECT_EQ(Main(ctx, prompts), StartResult::Ended);
        EXPECT_EQ(prompts.wizardRuns, 1);
        EXPECT_EQ(prompts.invalidFolder, 1);
    }
}

TEST_F(StartupTest, OnlyTheContactsFileIsEnoughAndNoModemKeepsStarting)
{
    settings.set("Setup", "RunWizard", "0");
    ASSERT_TRUE(wizardCreatesOutbox());
    std::filesystem::remove(dir.file("data/SMSMessages.mdb"));
    settings.set("Agent", "MaxRunTime", "3");
    Context ctx(clock, pump, settings, dir.folder());
    ScriptedPrompts prompts([] { return true; });
    EXPECT_EQ(Main(ctx, prompts), StartResult::Running);
    EXPECT_EQ(prompts.folderQuestions, 0);
    bool noModem = false, outboxError = false, stopLine = false;
    for (const auto& line : ctx.app.log().lines()) {
        noModem = noModem || line.text == "No modem detected.";
        outboxError = outboxError || line.text.rfind("Could not load database settings : ", 0) == 0;
        stopLine = stopLine || line.text.rfind("Program will terminate automatically at ", 0) == 0;
    }
    EXPECT_TRUE(noModem);
    EXPECT_TRUE(outboxError);
    EXPECT_TRUE(stopLine);
    EXPECT_NEAR(static_cast<double>(vesk::SecondsBetween(ctx.clock.now(), ctx.EndTime)), 3 * 3600.0, 30.0);
    ShutDown(ctx);
}
