// Forwarding, the mail queue and the alerts with the whole console running against the modem
// simulator, a real outbox and a real SMTP server.

#include "ConsoleFixture.h"
#include "SmtpServer.h"

#include <filesystem>

using namespace std::chrono_literals;
using namespace vesk;
using namespace vesk::core;
using vesk::testing::HeaderOf;
using vesk::testing::SimProcess;
using vesk::testing::SmtpServer;

namespace {

class MailGatewayTest : public vesk::testing::ConsoleFixture
{
protected:
    MailGatewayTest()
    {
        std::filesystem::create_directories(dataFolder);
        for (const char* name : {store::kOutboxName, store::kArchiveName, store::kContactsName})
            std::filesystem::copy_file(std::string(VESK_BIN_DIR "/DB/") + name, dataFolder + "/" + name);
        settings.set("COM", "CommandTimeout", "1");
        settings.set("Agent", "LocalAddress", "+447700900000");
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
