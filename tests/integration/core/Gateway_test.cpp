// The console as a whole against the modem simulator on a pseudo-terminal, a real outbox file and,
// for forwarding and alerts, a real SMTP server.
#include "core/Configuration.h"
#include "core/SettingsReload.h"
#include "modem/PduUnits.h"
#include "store/Migrate.h"
#include "store/SqlText.h"
#include "support/Paths.h"

#include "ConsoleFixture.h"
#include "DataTemplates.h"
#include "SmtpServer.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

using namespace std::chrono_literals;
using namespace vesk;
using namespace vesk::core;
using vesk::testing::HeaderOf;
using vesk::testing::SimProcess;
using vesk::testing::SmtpServer;

namespace {

class GatewayTest : public vesk::testing::ConsoleFixture
{
protected:
    void SetUp() override { ASSERT_NO_FATAL_FAILURE(start()); }
};

// Started by the test, after it has set the simulator up.
class ReportWaitTest : public vesk::testing::ConsoleFixture
{
protected:
    int sent() { return std::stoi(column("SELECT COUNT(*) FROM Message WHERE msgStatus = 3")[0]); }
};

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

// The unit of a recorded vector, by its id.
std::string vector(const std::string& id)
{
    std::stringstream all;
    all << std::ifstream(VESK_VECTORS_DIR "/deliver.json").rdbuf();
    const std::string text = all.str();
    const auto at = text.find("\"pdu\": \"", text.find("\"id\": \"" + id + "\"")) + 8;
    return text.substr(at, text.find('"', at) - at);
}

// The text of the vectors' parts in this order, as the inbox keeps it.
std::string joined(std::initializer_list<const char*> ids)
{
    std::string text;
    for (const char* id : ids) {
        modem::GSMMessage part;
        modem::ParsePDU(vector(id), 0, part, true);
        text += part.Text;
    }
    return store::Left(text, 255);
}

class JoiningTest : public vesk::testing::ConsoleFixture
{
protected:
    void SetUp() override
    {
        settings.set("Text", "InboundDecoding", "Full");
        settings.set("Text", "JoinParts", "1");
        ASSERT_NO_FATAL_FAILURE(start());
        ctx->outbox.settings.SMSSaveInbound = ctx->outbox.settings.SMSForwarding = true;
        ctx->outbox.settings.StandardReply = "Thanks";
        sql("INSERT INTO Forward (fwdSource, fwdKeyword, fwdDestination) VALUES ('*', '*', '+447700900555')");
    }
    void deliver(std::initializer_list<const char*> ids)
    {
        for (const char* id : ids)
            sim.control("deliver-pdu " + vector(id));
        pass();
    }
    // Inbox texts in order; replies and forwards queued.
    std::vector<std::string> inbox() { return column("SELECT msgText FROM Inbox ORDER BY inbID"); }
    std::size_t queued() { return column("SELECT msgID FROM Message WHERE msgText = 'Thanks'").size(); }
    std::size_t forwards()
    {
        return column("SELECT msgID FROM Message WHERE msgAddress = '+447700900555'").size();
    }
};

class MailGatewayTest : public vesk::testing::ConsoleFixture
{
protected:
    MailGatewayTest()
    {
        vesk::testing::CopyDataTemplates(dataFolder);
        settings.set("COM", "CommandTimeout", "1");
        sql("UPDATE MailConfig SET cfgServer = '" + smtp.address() + "', cfgAccount = 'console@example.com'");
    }

    void start(const std::string& commandLine = "")
    {
        ASSERT_NO_FATAL_FAILURE(ConsoleFixture::start(commandLine));
        ctx->mail.client->setTimeout(5);
    }

    // An address-book entry: "'first', 'surname', 'phone', private".
    void contact(const std::string& values)
    {
        sql("INSERT INTO Contact (cntFirstNames, cntSurname, cntPhone, cntPrivateNumber) VALUES (" + values
                + ")",
            store::kContactsName);
    }

    SmtpServer smtp;
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
    for (const auto& line : sim.control("messages"))
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

// Sends wait for the reports that would fill a 10-slot memory; a network that sends none holds
// them up for 20 seconds once, not again with every burst of sends after a quiet spell.
TEST_F(ReportWaitTest, ANetworkThatSendsNoReportsHoldsSendsUpOnce)
{
    sim.control("set reports off");
    sim.control("set sm-size 10");
    settings.set("Resource", "SendBatchSize", "30");
    ASSERT_NO_FATAL_FAILURE(start());
    const auto burst = [&](int n, const std::string& text) {
        for (int i = 0; i < n; ++i)
            queue("+1555012" + std::to_string(10 + i), text);
    };
    burst(30, "first burst");
    pass();
    EXPECT_EQ(sent(), 8) << "two slots kept in hand";
    EXPECT_TRUE(logged(icon::kInfo, "The report memory is spoken for by reports still to come"));
    pass(21s);
    EXPECT_EQ(sent(), 30);
    EXPECT_TRUE(logged(icon::kWarning, "No delivery report has come for 20 seconds"));

    clock.advance(5min);
    burst(20, "after a quiet spell");
    pass();
    EXPECT_EQ(sent(), 50) << "the network is still quiet: nothing waits";

    // A report comes: sends wait for the other reports again.
    sim.control("report 1 +15550999 0");
    burst(30, "third burst");
    pass();
    EXPECT_EQ(sent(), 50);
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
    EXPECT_EQ(sim.control("messages").size(), 0u);
    pass(); // paused: no pass
    EXPECT_EQ(sim.control("messages").size(), 0u);
    TogglePause(*ctx);
    pass();
    EXPECT_EQ(sim.control("messages").size(), 2u);

    // The run-time limit stops an idle console but not a paused one.
    ctx->EndTime = SteadyTime::FromNow(clock, 1h);
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
    ASSERT_EQ(sim.control("messages").size(), 1u);
    EXPECT_TRUE(ctx->NextRead.reached(clock)) << "nothing was read, so the read stays due";
    const int counts = sim.countInTranscript("AT+CPMS?");
    queue("+15550124", "second");
    sim.control("deliver +447700900123 arrived later");
    clock.advance(6s);
    OnTick(*ctx);
    EXPECT_EQ(sim.control("messages").size(), 1u);
    EXPECT_TRUE(logged(10, "arrived later"));
    EXPECT_TRUE(ctx->NextRead.isSet());
    EXPECT_GT(sim.countInTranscript("AT+CPMS?"), counts) << "the memory was asked again";
    clock.advance(6s);
    OnTick(*ctx);
    EXPECT_EQ(sim.control("messages").size(), 2u);
}

TEST_F(GatewayTest, LinkCheckResetsThePortOnceThenReports)
{
    sim.control("fault error");
    clock.advance(61min);
    CheckModemLink(*ctx);
    EXPECT_TRUE(logged(2, "Invalid response from modem -> "));
    EXPECT_TRUE(logged(3, "Could not reset link to modem"));
    EXPECT_GE(ctx->NextLinkCheck.remaining(clock), 59min);
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

// A modem that never answers after Esc and AT again: after ten tries one error line and the
// link alert, not a silent retry for ever.
TEST_F(GatewayTest, ModemStuckInMessageEntryIsReportedOnceWithTheLinkAlert)
{
    sql("UPDATE Diagnostic SET diagEmail = 'alerts@example.com', diagNotifyModem = TRUE");
    mail::LoadDiagnostics(ctx->diagnostics, ctx->outbox, true);
    queue("+15550123", "never leaves");
    sim.control("fault silent-on-send 3600");
    // Every command to a silent modem waits its time-out out: short ones keep the test short.
    ctx->config.CommandTimeout = ctx->config.SendTimeout = ctx->config.ListTimeout = ctx->config.DeleteTimeout
        = 0.2f;
    for (int i = 0; i < 20 && ctx->entryLeaveFailures <= kEntryLeaveTries; ++i)
        pass(1min);
    ASSERT_GT(ctx->entryLeaveFailures, kEntryLeaveTries);
    const auto& lines = ctx->app.log().lines();
    EXPECT_EQ(std::ranges::count_if(lines,
                  [](const auto& l) {
                      return l.icon == 3 && l.text.starts_with("The modem did not leave message entry");
                  }),
        1);
    EXPECT_FALSE(
        column("SELECT mlSubject FROM MailMessage WHERE mlSubject LIKE 'Device Alert - No Link To Modem%'")
            .empty());
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
        // The filter lives in the data folder; one left beside the program is moved there once.
        std::filesystem::create_directories(dataFolder);
        vesk::testing::WriteFile(
            (cancel ? dir.folder() : dataFolder + "/") + "addressfilter.sms", "^\\+44\r\n");
        ASSERT_NO_FATAL_FAILURE(start());
        EXPECT_TRUE(logged(2, "Address filtering is active"));
        EXPECT_EQ(
            logged(1, "Moved " + dir.folder() + "addressfilter.sms to " + dataFolder + "/addressfilter.sms"),
            cancel);
        EXPECT_FALSE(std::filesystem::exists(dir.folder() + "addressfilter.sms"));
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

    // A value that takes its default is told in the console's own log.
    vesk::testing::WriteFile(settings.path(), good + "[Text]\nOutboundCoding=Fancy\n");
    EXPECT_TRUE(ReloadSettings(*ctx));
    EXPECT_TRUE(logged(2, "Setting [Text] OutboundCoding=Fancy is not Legacy or Auto; Legacy is used"));
}

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
    EXPECT_NEAR(static_cast<double>(ctx->EndTime.remaining(ctx->clock).count()), 3 * 3600e3, 30e3);
}

// Long inbound messages joined: parts wait in the modem until their group is complete or too old.
TEST_F(JoiningTest, PartsInAnyOrderMakeOneMessageAndAMissingPartWaitsForTheTimeout)
{
    deliver({"ofono-assembly-3", "ofono-assembly-1", "android-multipart-2", "mm-pdu-multipart-1"});
    EXPECT_TRUE(inbox().empty()) << "every group lacks a part";
    EXPECT_EQ(sim.control("memory SM").size(), 4u) << "the parts wait in the modem";

    deliver({"ofono-assembly-2", "ofono-assembly-1", "android-multipart-1", "mm-pdu-multipart-2"});
    std::vector<std::string> stored = inbox(),
                             three = {joined({"ofono-assembly-1", "ofono-assembly-2", "ofono-assembly-3"}),
                                 joined({"android-multipart-1", "android-multipart-2"}),
                                 joined({"mm-pdu-multipart-1", "mm-pdu-multipart-2"})};
    std::sort(stored.begin(), stored.end());
    std::sort(three.begin(), three.end());
    EXPECT_EQ(stored, three);
    EXPECT_TRUE(logged(2, "Duplicate part 1 of long message reference 30 deleted"));
    EXPECT_TRUE(sim.control("memory SM").empty()) << "every part was deleted once its message was stored";
    EXPECT_EQ(std::pair(queued(), forwards()), std::pair(3ul, 3ul));

    // One part of two: stored once, as it stands, when its group is older than the timeout.
    deliver({"pm-german-multipart-1"});
    clock.advance(500s);
    pass();
    EXPECT_EQ(inbox().size(), 3u);
    clock.advance(100s);
    pass();
    pass();
    ASSERT_EQ(inbox().size(), 4u);
    EXPECT_EQ(inbox()[3], store::Left(joined({"pm-german-multipart-1"}) + "[...]", 255));
    EXPECT_TRUE(logged(2, "Incomplete long message reference 25 from "));
    EXPECT_EQ(std::pair(queued(), forwards()), std::pair(4ul, 4ul));

    // A full memory hands over the oldest waiting group at once.
    sim.control("set sm-size 2");
    deliver({"pm-german-multipart-2"});
    deliver({"mm-pdu-multipart-1"});
    EXPECT_EQ(inbox().back(), "[...]" + joined({"pm-german-multipart-2"}));
    EXPECT_EQ(sim.control("memory SM").size(), 1u) << "the newer group still waits";
}

// The engine's part of forwarding: names from the address book, a keyword rule and a catch-all,
// sent over the air and through the mail server. The rules themselves are shown in the routing tests.
TEST_F(MailGatewayTest, InboundMessagesAreForwardedToPhonesAndMail)
{
    ASSERT_TRUE(smtp.running());
    sql("UPDATE System SET sysSMSForwarding = TRUE");
    contact("'Ann', 'Lee', '+447700900001', 0");
    contact("'Sam', '', '+447700900002', 1");
    sql("INSERT INTO Forward (fwdSource, fwdKeyword, fwdDestination) VALUES ('+447700900001', 'help', "
        "'+15550001, ann-help@example.com'), ('*', '*', '+15550009,desk@example.com')");
    start();
    EXPECT_TRUE(logged(1, "SMS Forwading is enabled"));

    sim.control("deliver +447700900001 Please HELP me");
    sim.control("deliver +447700900002 call me");
    pass();

    std::vector<std::string> phones; // "destination|text" of everything the network delivered
    for (const auto& m : sim.control("messages"))
        phones.push_back(SimProcess::field(m, "to") + "|" + SimProcess::field(m, "text"));
    EXPECT_EQ(phones,
        (std::vector<std::string> {"+15550001|Forward from: Ann Lee@+447700900001 \"Please HELP me\"",
            "+15550009|Forward from: Sam@(Private Number) \"call me\""}));
    const auto mails = smtp.mails();
    ASSERT_EQ(mails.size(), 2u);
    EXPECT_NE(mails[0].find("X-Envelope-To: ann-help@example.com"), std::string::npos);
    EXPECT_NE(mails[0].find("Subject: SMS From Ann Lee@+447700900001 at "), std::string::npos);
    EXPECT_NE(mails[0].find("\r\n\r\nPlease HELP me\r\n\r\n+---"), std::string::npos);
    EXPECT_NE(mails[1].find("X-Envelope-To: desk@example.com"), std::string::npos);
    EXPECT_NE(mails[1].find("Subject: SMS From Sam@(Private Number) at "), std::string::npos);
    EXPECT_TRUE(column("SELECT mlID FROM MailMessage").empty());
    EXPECT_TRUE(logged(11, "SMS From Ann Lee@+447700900001 at "));
}

// Flags a stopped console left set are cleared by the start-up switches; the name cache is then
// built at start and built again two hours later.
TEST_F(MailGatewayTest, SwitchesClearFlagsLeftByAStoppedConsoleAndTheNameCacheIsRefreshed)
{
    sql("UPDATE System SET sysNameCacheImportFlag = TRUE, sysMailSenderActive = TRUE");
    contact("'Ann', 'Lee', '+447700900001', 0");
    settings.set("Setup", "DataFolder", dataFolder); // keeps the wizard switch check quiet
    ASSERT_NO_FATAL_FAILURE(start("vesk-console /resetnamecache /resetmailactive"));
    EXPECT_EQ(column("SELECT fnName FROM FriendlyNameCache"), (std::vector<std::string> {"Ann Lee"}));
    EXPECT_EQ(column("SELECT sysMailSenderActive FROM System")[0], "0");

    contact("'Bob', 'Ray', '+447700900002', 0");
    pass(60min);
    EXPECT_EQ(column("SELECT COUNT(*) FROM FriendlyNameCache")[0], "1");
    pass(61min);
    EXPECT_EQ(column("SELECT COUNT(*) FROM FriendlyNameCache")[0], "2");
}

// The alert rules are shown with the injected clock in the diagnostics tests; here they are wired to
// the engine's passes and the real mail server.
TEST_F(MailGatewayTest, FailedMessageAndWeakSignalAlertsReachTheMailServer)
{
    sql("UPDATE Diagnostic SET diagEmail = 'alerts@example.com', diagNotifyMessages = TRUE, diagNotifyModem "
        "= FALSE,"
        " diagNotifySignal = TRUE, diagSignalLevel = 30");
    ASSERT_NO_FATAL_FAILURE(start());
    queue("07123 456", "x");
    sim.control("set signal 5");
    for (int minute = 0; minute < 12; ++minute)
        pass(1min);
    pass(3min); // the last alert waits for the next mail pass
    std::vector<std::string> signal, failure;
    for (const auto& mail : smtp.mails())
        (HeaderOf(mail, "Subject").rfind("Signal Level Alert - 16% at", 0) == 0 ? signal : failure)
            .push_back(mail);
    EXPECT_EQ(signal.size(), 3u) << "at most every five minutes";
    ASSERT_EQ(failure.size(), 1u);
    EXPECT_EQ(HeaderOf(failure[0], "Subject").rfind("Send Message Failure Alert : 07123 456 at ", 0), 0u);
    EXPECT_NE(failure[0].find("Address\t : 07123 456\r\nName\t : Ann\r\nError\t : Invalid Number."),
        std::string::npos);
}
