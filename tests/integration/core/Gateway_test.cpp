// The console as a whole against the modem simulator on a pseudo-terminal and a real outbox file.
#include "core/Configuration.h"
#include "core/SettingsReload.h"
#include "store/Migrate.h"
#include "support/Paths.h"

#include "ConsoleFixture.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <functional>

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

} // namespace

// The gateway's day: queued messages (one long, one with quotes), a standard reply to an inbound
// message, a ping, and every send confirmed by its report; the modem's memory ends empty.
TEST_F(GatewayTest, StartsIdleThenSendsRepliesAndRecordsReportsLikeAGateway)
{
    EXPECT_TRUE(ctx->app.IsIdle());
    for (const auto& [icon, start] : {std::pair<int, std::string> {1, "Application started V."},
             {1, "DB is revision 4"}, {9, "Port is [" + sim.path() + "] InitString is [9600,N,8,1]"},
             {9, "IMEI code is 356938035643809"}, {9, "Modem is a VESK-SIM 900"}, {9, "Signal level : 58%"},
             {1, "Validity Period is "}})
        EXPECT_TRUE(logged(icon, start)) << start;
    EXPECT_EQ(ctx->AgentIMEI, "356938035643809");
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
    EXPECT_TRUE(logged(3, "No outstanding delivery id [200] Status 0x0 @ "));
}

TEST_F(GatewayTest, TickDuringAPassDoesNothingPauseWaitsForTheEndAndHoldsOffTheRunTimeLimit)
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

    // The run-time limit stops an idle console but not a paused one.
    ctx->EndTime = clock.now().addHours(1);
    TogglePause(*ctx);
    clock.advance(2h);
    OnTick(*ctx);
    EXPECT_FALSE(ctx->stopRequested);
    TogglePause(*ctx);
    OnTick(*ctx);
    EXPECT_TRUE(ctx->stopRequested);
}

// Six seconds after a pass another pass is due but a send is not; the modem's memory, empty at the
// last pass, is asked again at once rather than after the read interval.
TEST_F(GatewayTest, PassesAreSpacedBySendIntervalAndAnEmptyMemoryIsAskedAgain)
{
    queue("+15550123", "first");
    pass();
    ASSERT_EQ(overTheAir().size(), 1u);
    EXPECT_TRUE(ctx->NextRead.isZero()) << "nothing was read, so the read stays due";
    const int counts = sim.countInTranscript("AT+CPMS?");
    queue("+15550124", "second");
    sim.control("deliver +447700900123 arrived later");
    clock.advance(6s);
    OnTick(*ctx);
    EXPECT_EQ(overTheAir().size(), 1u);
    EXPECT_TRUE(logged(10, "arrived later"));
    EXPECT_FALSE(ctx->NextRead.isZero());
    EXPECT_GT(sim.countInTranscript("AT+CPMS?"), counts) << "the memory was asked again";
    clock.advance(6s);
    OnTick(*ctx);
    EXPECT_EQ(overTheAir().size(), 2u);
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
        EXPECT_EQ(column("SELECT msgAttempts || '|' || msgStatus FROM Message"),
            std::vector<std::string> {std::to_string(attempt) + "|0"});
    }
    pass(4min);
    EXPECT_EQ(column("SELECT msgStatus || '|' || msgErrorReason FROM Message"),
        std::vector<std::string> {"2|Retry Exceeded."});
    EXPECT_TRUE(logged(2, "Canceled - Retry Count Exceeded. +CMS ERROR: 500"));
    EXPECT_TRUE(logged(2, "Retry at "));
}

using AddressFilterTest = vesk::testing::ConsoleFixture;
using SettingsReloadTest = vesk::testing::ConsoleFixture;

TEST_F(AddressFilterTest, RefusedRecipientIsCancelledOrHeldAsConfigured)
{
    for (const bool cancel : {true, false}) {
        SCOPED_TRACE(cancel);
        stop();
        std::filesystem::remove_all(dataFolder);
        sim.control("clear");
        settings.set("Agent", "FilterActionDelete", cancel ? "1" : "0");
        vesk::testing::WriteFile(dir.folder() + "addressfilter.sms", "^\\+44\r\n");
        ASSERT_NO_FATAL_FAILURE(start());
        EXPECT_TRUE(logged(2, "Address filtering is active"));
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
        EXPECT_TRUE(logged(cancel ? 2 : 1,
            std::string(cancel ? "Canceled" : "Ignored") + " - Recipient address failed Address Filtering."));
    }
}

// What the configuration dialog's OK stores, applied by the core on a running console.
TEST_F(GatewayTest, OneConfigurationApplyStoresAlertsMailRulesSystemRowAndFilter)
{
    core::Configuration c;
    c.alertEmail = " ops@example.com ";
    c.alertOnLostModem = true;
    c.alertSignalLevel = 30;
    c.mailServer = "smtp.example.com";
    c.mailAccount = "console@example.com";
    c.mailPassword = "secret";
    c.mailLoginMethod = 1;
    c.forwardRules = std::vector<routing::ForwardRuleRow> {{"+447700900001", "", "*", "+15550001"}};
    c.addressFilter = "+44*\r\n+1555*";
    c.filterActionDelete = true;
    ctx->outbox.settings.StandardReply = "Thanks";

    const auto result = core::ApplyConfiguration(*ctx, c, false);
    EXPECT_TRUE(result.errors.empty());
    EXPECT_TRUE(result.machineSettingsSaved) << "the filter action alone changed the machine settings";
    EXPECT_EQ(settings.get("Agent", "FilterActionDelete"), "1");
    EXPECT_EQ(column("SELECT diagEmail || '|' || diagSignalLevel FROM Diagnostic"),
        std::vector<std::string> {"ops@example.com|30"});
    EXPECT_EQ(column("SELECT cfgServer || '|' || cfgPassword FROM MailConfig"),
        std::vector<std::string> {"smtp.example.com|secret"});
    EXPECT_EQ(column("SELECT fwdDestination FROM Forward"), std::vector<std::string> {"+15550001"});
    EXPECT_EQ(column("SELECT sysStandardReply FROM System"), std::vector<std::string> {"Thanks"});
    EXPECT_NE(vesk::testing::ReadFile(ctx->filter.filePath()).find("+1555*"), std::string::npos);

    // Nothing changed the second time: the settings file is left alone.
    EXPECT_FALSE(core::ApplyConfiguration(*ctx, c, false).machineSettingsSaved);
}

// The settings file read again while the console runs (what SIGHUP does between passes).
TEST_F(SettingsReloadTest, NewBatchSizeTakesEffectAtTheNextPassAndABrokenFileIsRefused)
{
    settings.set("Resource", "SendBatchSize", "1");
    ASSERT_NO_FATAL_FAILURE(start());
    for (int i = 0; i < 10; ++i)
        queue("+1555012" + std::to_string(i), "message " + std::to_string(i));
    const auto sent = [&] { return sim.control("messages").size(); };
    pass();
    ASSERT_EQ(sent(), 1u);
    SettingsStore(settings.path()).set("Resource", "SendBatchSize", "3");
    ASSERT_TRUE(ReloadSettings(*ctx));
    EXPECT_TRUE(logged(1, "Setting Resource/SendBatchSize changed from [1] to [3]"));
    pass();
    ASSERT_EQ(sent(), 4u);

    SettingsStore(settings.path()).set("Resource", "SendBatchSize", "5");
    const std::string good = vesk::testing::ReadFile(settings.path());
    std::size_t expected = 4;
    for (const auto& [line, error] : {std::pair {"this line is not a setting", "Settings not reloaded: /"},
             std::pair {"[COM]\nSendTimeout=soon", "Settings not reloaded: a value in "}}) {
        SCOPED_TRACE(line);
        vesk::testing::WriteFile(settings.path(), good + line + "\n");
        EXPECT_FALSE(ReloadSettings(*ctx));
        EXPECT_TRUE(logged(3, error));
        pass();
        expected += 3;
        EXPECT_EQ(sent(), expected) << "the old batch size holds";
    }
}

namespace {

// The window's answers, scripted: counts what start-up asked.
struct ScriptedPrompts final : StartupPrompts
{
    FolderAnswer folderWithoutDataFiles(const std::string&) override
    {
        ++asked[0];
        return folderAnswer;
    }
    bool canRunWizard() const override { return true; }
    bool runWizard() override
    {
        ++asked[1];
        return wizard();
    }
    void invalidOutboxFolder() override { ++asked[2]; }
    std::optional<std::string> createOutbox() override { return std::nullopt; }
    void showMainWindow() override { ++asked[3]; }

    std::function<bool()> wizard = [] { return true; };
    FolderAnswer folderAnswer = FolderAnswer::End;
    std::array<int, 4> asked {}; // folder questions, wizard runs, invalid folders, main windows shown
};

struct StartupTest : vesk::testing::ConsoleFixture
{
    StartupTest()
    {
        settings.set("COM", "Port", dir.file("no-such-port"));
        settings.set("Setup", "RunWizard", "0");
    }
    Context& context(const std::string& commandLine = "")
    {
        ctx = std::make_unique<Context>(clock, pump, settings, dir.folder());
        ctx->commandLine = commandLine;
        return *ctx;
    }
    StartResult start(StartupPrompts& prompts) { return Main(ctx ? *ctx : context(), prompts); }
    // What the setup wizard leaves behind: a data folder with the databases, named in the settings.
    bool wizardCreatesOutbox()
    {
        std::string errorText, errorLines;
        vesk::CreateFolderPath(dir.file("data"));
        settings.set("Setup", "DataFolder", dir.file("data"));
        return store::CreateOutbox(dir.file("data"), VESK_BIN_DIR "/DB/", errorText, errorLines);
    }
    ScriptedPrompts prompts;
};

} // namespace

TEST_F(StartupTest, HeadlessRefusesAFolderWithoutDataFilesUnlessAskedToCreateThem)
{
    for (const char* folder : {"", "empty"}) {
        SCOPED_TRACE(folder);
        Context& c = context();
        if (*folder)
            c.overrides.dataFolder = dir.file(folder);
        HeadlessPrompts headless(c, false);
        EXPECT_EQ(start(headless), StartResult::Ended);
        EXPECT_NE(
            headless.message().find(*folder ? "Folder does not contain the data files" : "--data-folder"),
            std::string::npos);
    }
}

TEST_F(StartupTest, EmptyDataFolderRunsTheWizardEvenWhenItRanBefore)
{
    prompts.wizard = [&] { return wizardCreatesOutbox(); };
    EXPECT_EQ(start(prompts), StartResult::Running);
    EXPECT_EQ(prompts.asked, (std::array {0, 1, 0, 1}));
    EXPECT_EQ(settings.get("Setup", "RunWizard"), "0");
    EXPECT_EQ(vesk::TrailingSeparator(ctx->DataFolder), dir.folder() + "data/");
    EXPECT_TRUE(ctx->app.IsIdle());
}

TEST_F(StartupTest, SwitchIsFoundInAnyCaseInsideOtherText)
{
    ASSERT_TRUE(wizardCreatesOutbox());
    context(vesk::ToLower("-x/WIZARDnow"));
    prompts.wizard = [] { return false; }; // the user gives up
    EXPECT_EQ(start(prompts), StartResult::Ended);
    EXPECT_EQ(prompts.asked[1], 1);
}

TEST_F(StartupTest, FolderWithoutDataFilesAsksFirst)
{
    settings.set("Setup", "DataFolder", dir.path());
    // The wizard, when it runs, ends without making the databases.
    for (const auto answer : {StartupPrompts::FolderAnswer::End, StartupPrompts::FolderAnswer::RunWizard}) {
        context();
        prompts.asked = {};
        prompts.folderAnswer = answer;
        EXPECT_EQ(start(prompts), StartResult::Ended);
        EXPECT_EQ(prompts.asked,
            (answer == StartupPrompts::FolderAnswer::End ? std::array {1, 0, 0, 0}
                                                         : std::array {1, 1, 1, 0}));
    }
}

TEST_F(StartupTest, OnlyTheContactsFileIsEnoughAndNoModemKeepsStarting)
{
    ASSERT_TRUE(wizardCreatesOutbox());
    std::filesystem::remove(dir.file("data/SMSMessages.mdb"));
    settings.set("Agent", "MaxRunTime", "3");
    EXPECT_EQ(start(prompts), StartResult::Running);
    EXPECT_EQ(prompts.asked[0], 0);
    std::string log = "\n";
    for (const auto& line : ctx->app.log().lines())
        log += line.text + "\n";
    EXPECT_NE(log.find("\nNo modem detected.\n"), std::string::npos) << log;
    EXPECT_NE(log.find("\nCould not load database settings : "), std::string::npos);
    EXPECT_NE(log.find("\nProgram will terminate automatically at "), std::string::npos);
    EXPECT_NEAR(static_cast<double>(vesk::SecondsBetween(ctx->clock.now(), ctx->EndTime)), 3 * 3600.0, 30.0);
}
