// What a hostile server setting, recipient or careless setup can make the mail client do, tried
// against a real SMTP server without TLS.
#include "mail/MailClient.h"
#include "mail/MailQueue.h"

#include "SmtpServer.h"
#include "StoreFixture.h"
#include "support/Paths.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

using namespace std::string_literals;
using namespace vesk;
using namespace vesk::mail;
using vesk::testing::HeaderOf;
using vesk::testing::LogHolds;
using vesk::testing::SmtpServer;

namespace {

// A client of the test server that may log in as bob, over a plain connection when allowed.
struct Client
{
    Client(const std::string& server, std::int16_t method = login::kNone, bool allowPlain = false)
    {
        mail.Server = server;
        mail.Username = method == login::kNone ? "console@example.com" : "bob";
        mail.Password = method == login::kNone ? "" : "s3cret";
        mail.LoginMethod = method;
        mail.AllowPlainLogin = allowPlain;
    }
    vesk::testing::RecordingLog log;
    MailClient mail {log};
};

} // namespace

TEST(MailSecurity, PasswordGoesWithoutTlsOnlyWhenPlainLoginIsAllowedAndIsNeverWrittenDown)
{
    struct Case
    {
        const char* name;
        std::int16_t method;
        bool sent; // only when a plain login is allowed
    };
    for (const Case& c : {Case {"login, not allowed", login::kPlain, false},
             Case {"cram-md5, not allowed", login::kMD5, false},
             Case {"login, allowed", login::kLogin, true}}) {
        SCOPED_TRACE(c.name);
        SmtpServer server({"bob", "s3cret", false});
        ASSERT_TRUE(server.running());
        vesk::testing::TempDir dir;
        Client client(server.address(), c.method, c.sent);
        client.mail.setConnectionLog(dir.file("maillog.txt"));
        EXPECT_EQ(client.mail.Send("ops@example.com", "", "", "s", "b"), c.sent);
        EXPECT_EQ(server.loginTried(), c.sent);
        EXPECT_EQ(server.mails().size(), c.sent ? 1u : 0u);
        if (!c.sent) {
            EXPECT_TRUE(LogHolds(client.log, "the server offers no TLS, so the password was not sent"));
            EXPECT_TRUE(LogHolds(client.log, "AllowPlainLogin=1 in section [Mail]"));
        }
        EXPECT_FALSE(LogHolds(client.log, "s3cret"));
        // The connection log holds the conversation, with the login hidden.
        const std::string text = vesk::testing::ReadFile(dir.file("maillog.txt"));
        for (const auto& [line, always] : {std::pair {"< 220", true}, {"> EHLO", true},
                 {"> AUTH LOGIN ****", false}, {"> MAIL FROM:<bob>", false}})
            EXPECT_EQ(text.find(line) != std::string::npos, always || c.sent) << line;
        EXPECT_EQ(text.find("czNjcmV0"), std::string::npos) << "base64 of the password";
        EXPECT_EQ(text.find("s3cret"), std::string::npos);
    }
}

TEST(MailSecurity, ServerThatIsNoSmtpAddressIsRefusedAndTheAccountTestShowsWhy)
{
    vesk::testing::TempDir dir;
    const std::string victim = dir.file("authorized_keys");
    std::ofstream(victim) << "ssh-ed25519 AAAA operator\n";
    // The "#" keeps the name the client adds as a path out of the file name.
    for (const std::string& server :
        {"file://" + victim + "#", "FILE://" + victim + "#", "http://127.0.0.1:9/x"s}) {
        SCOPED_TRACE(server);
        Client client(server);
        EXPECT_FALSE(client.mail.Send("ops@example.com", "", "", "ssh-ed25519 AAAA attacker", "key"));
        EXPECT_EQ(vesk::testing::ReadFile(victim), "ssh-ed25519 AAAA operator\n");
        EXPECT_TRUE(LogHolds(client.log, "refused: only smtp:// and smtps:// addresses are accepted"));
    }

    // The settings dialog's account test: what it shows for each answer, and no file for a file address.
    SmtpServer guarded({"bob", "s3cret", false});
    ASSERT_TRUE(guarded.running());
    using Outcome = MailTestResult::Outcome;
    struct Case
    {
        std::string server;
        const char* password;
        const char* alertAddress;
        Outcome outcome;
        std::string message; // the start of it
    };
    const std::string fileServer = "file://" + victim + "#";
    for (const Case& c :
        {Case {fileServer, "s3cret", "alerts@example.com", Outcome::NotConnected,
             "Error 3\r\nmail server \"" + fileServer + "\" refused: only smtp:// and smtps://"},
            Case {guarded.address(), "s3cret", "alerts@example.com", Outcome::Sent,
                "A test message was successfully sent to the Alert recipient"},
            Case {guarded.address(), "s3cret", "", Outcome::ConnectedOnly, ""},
            Case {guarded.address(), "nope", "alerts@example.com", Outcome::NotConnected, "Error "}}) {
        SCOPED_TRACE(c.server + " " + c.password + " " + c.alertAddress);
        vesk::testing::RecordingLog log;
        // The test server has no TLS.
        const auto r = TestMailAccount(log, c.server, "bob", c.password, login::kPlain, c.alertAddress,
            dir.folder(), MailSettings {true, ""});
        EXPECT_EQ(r.outcome, c.outcome);
        EXPECT_EQ(r.message.substr(0, c.message.size()), c.message);
        EXPECT_EQ(r.message.empty(), c.message.empty()) << r.message;
    }
    ASSERT_EQ(guarded.mails().size(), 1u);
    EXPECT_EQ(HeaderOf(guarded.mails()[0], "Subject"), "Test message from Quillon Vesk Console");
    EXPECT_TRUE(FileExists(dir.folder() + "maillog.txt"));
    EXPECT_EQ(vesk::testing::ReadFile(victim), "ssh-ed25519 AAAA operator\n");
}

// Whatever the server refuses or the recipients hold, each event is one log line of its own.
TEST(MailSecurity, RecipientWithLineBreaksAddsNoHeaderAndNoRecipient)
{
    struct Case
    {
        const char* name;
        std::string recipients;
        std::string envelopeTo; // "" when nothing may be sent
        bool rejectData = false;
    };
    for (const Case& c :
        {Case {"extra RCPT", "ops@example.com, desk@example.com>\r\nRCPT TO:<extra@example.com",
             "ops@example.com"},
            Case {"header in a name", "Desk\r\nReply-To: evil@example.com <desk@example.com>", ""},
            Case {"recipient in a name",
                "Ops <ops@example.com>, ops1@example.test\r\nRCPT TO:<attacker1@evil.test>",
                "ops@example.com"},
            Case {"only bad ones", "a@example.com\nb@example.com; c@example.com\0d@example.com"s, ""},
            Case {"refused by the server", "ops@example.com", "", true}}) {
        SCOPED_TRACE(c.name);
        SmtpServer server({"", "", c.rejectData});
        ASSERT_TRUE(server.running());
        Client client(server.address());
        EXPECT_EQ(client.mail.Send(c.recipients, "", "", "Alert\r\nBcc: extra@example.com", "b"),
            !c.envelopeTo.empty());
        const auto mails = server.mails();
        ASSERT_EQ(mails.size(), c.envelopeTo.empty() ? 0u : 1u);
        if (!mails.empty()) {
            EXPECT_EQ(HeaderOf(mails[0], "X-Envelope-To"), c.envelopeTo);
            EXPECT_EQ(HeaderOf(mails[0], "To"), c.envelopeTo);
            EXPECT_EQ(mails[0].find("Reply-To:"), std::string::npos);
            EXPECT_EQ(mails[0].find("\nBcc:"), std::string::npos);
        } else if (c.rejectData) {
            ASSERT_EQ(client.log.lines.size(), 1u);
            EXPECT_EQ(client.log.lines[0].text.rfind("Mail.Send(ops@example.com) : ", 0), 0u)
                << client.log.lines[0].text;
        } else {
            EXPECT_TRUE(LogHolds(client.log, "no recipient address"));
        }
        for (const auto& l : client.log.lines)
            EXPECT_EQ(
                std::count_if(l.text.begin(), l.text.end(), [](unsigned char ch) { return ch < 0x20; }), 0)
                << l.text;
    }
}
