// What a hostile server setting, recipient or careless setup can make the mail client do, tried
// against a real SMTP server without TLS.
#include "mail/MailQueue.h"

#include "SmtpServer.h"
#include "StoreFixture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using namespace std::string_literals;
using namespace vesk;
using namespace vesk::mail;
using vesk::testing::HeaderOf;
using vesk::testing::SmtpServer;

namespace {

bool anyLineHolds(const vesk::testing::RecordingLog& log, const std::string& part)
{
    for (const auto& l : log.lines)
        if (l.text.find(part) != std::string::npos)
            return true;
    return false;
}

bool anyLineHasControls(const vesk::testing::RecordingLog& log)
{
    for (const auto& l : log.lines)
        for (unsigned char c : l.text)
            if (c < 0x20)
                return true;
    return false;
}

} // namespace

TEST(MailSecurity, PasswordGoesWithoutTlsOnlyWhenPlainLoginIsAllowed)
{
    struct Case
    {
        const char* name;
        std::int16_t method;
        bool allowPlain;
        bool sent;
        bool loginTried;
    };
    for (const Case& c : {Case {"login, not allowed", login::kPlain, false, false, false},
             Case {"cram-md5, not allowed", login::kMD5, false, false, false},
             Case {"login, allowed", login::kLogin, true, true, true}}) {
        SCOPED_TRACE(c.name);
        SmtpServer server({"bob", "s3cret", false});
        ASSERT_TRUE(server.running());
        vesk::testing::RecordingLog log;
        MailClient mail(log);
        mail.Server = server.address();
        mail.Username = "bob";
        mail.Password = "s3cret";
        mail.LoginMethod = c.method;
        mail.AllowPlainLogin = c.allowPlain;
        EXPECT_EQ(mail.Send("ops@example.com", "", "", "s", "b"), c.sent);
        EXPECT_EQ(server.loginTried(), c.loginTried);
        EXPECT_EQ(server.mails().size(), c.sent ? 1u : 0u);
        if (!c.sent) {
            EXPECT_TRUE(anyLineHolds(log, "the server offers no TLS, so the password was not sent"));
            EXPECT_TRUE(anyLineHolds(log, "AllowPlainLogin=1 in section [Mail]"));
        }
        EXPECT_FALSE(anyLineHolds(log, "s3cret"));
    }
}

TEST(MailSecurity, ServerThatIsNoSmtpAddressIsRefusedAndNothingIsWritten)
{
    vesk::testing::TempDir dir;
    const std::string victim = dir.file("authorized_keys");
    std::ofstream(victim) << "ssh-ed25519 AAAA operator\n";
    // The "#" keeps the name the client adds as a path out of the file name.
    for (const std::string& server :
        {"file://" + victim + "#", "FILE://" + victim + "#", "http://127.0.0.1:9/x"s}) {
        SCOPED_TRACE(server);
        vesk::testing::RecordingLog log;
        MailClient mail(log);
        mail.Server = server;
        mail.Username = "console@example.com";
        EXPECT_FALSE(mail.Send("ops@example.com", "", "", "ssh-ed25519 AAAA attacker", "key"));
        EXPECT_EQ(vesk::testing::ReadFile(victim), "ssh-ed25519 AAAA operator\n");
        EXPECT_TRUE(anyLineHolds(log, "refused: only smtp:// and smtps:// addresses are accepted"));

        const auto shown = TestMailAccount(
            log, server, "console@example.com", "", login::kNone, "ops@example.com", dir.folder(), {});
        EXPECT_EQ(shown.outcome, MailTestResult::Outcome::NotConnected);
        EXPECT_NE(shown.message.find("only smtp:// and smtps://"), std::string::npos) << shown.message;
        EXPECT_EQ(vesk::testing::ReadFile(victim), "ssh-ed25519 AAAA operator\n");
    }
}

TEST(MailSecurity, RecipientWithLineBreaksAddsNoHeaderAndNoRecipient)
{
    struct Case
    {
        const char* name;
        std::string recipients;
        std::string envelopeTo; // "" when nothing may be sent
    };
    for (const Case& c :
        {Case {"extra RCPT", "ops@example.com, desk@example.com>\r\nRCPT TO:<extra@example.com",
             "ops@example.com"},
            Case {"header in a name", "Desk\r\nReply-To: evil@example.com <desk@example.com>",
                "desk@example.com"},
            Case {"only bad ones", "a@example.com\nb@example.com; c@example.com\0d@example.com"s, ""}}) {
        SCOPED_TRACE(c.name);
        SmtpServer server;
        ASSERT_TRUE(server.running());
        vesk::testing::RecordingLog log;
        MailClient mail(log);
        mail.Server = server.address();
        mail.Username = "console@example.com";
        EXPECT_EQ(
            mail.Send(c.recipients, "", "", "Alert\r\nBcc: extra@example.com", "b"), !c.envelopeTo.empty());
        const auto mails = server.mails();
        ASSERT_EQ(mails.size(), c.envelopeTo.empty() ? 0u : 1u);
        if (!mails.empty()) {
            EXPECT_EQ(HeaderOf(mails[0], "X-Envelope-To"), c.envelopeTo);
            EXPECT_EQ(HeaderOf(mails[0], "To"), c.envelopeTo);
            EXPECT_EQ(mails[0].find("Reply-To:"), std::string::npos);
            EXPECT_EQ(mails[0].find("\nBcc:"), std::string::npos);
        } else {
            EXPECT_TRUE(anyLineHolds(log, "no recipient address"));
        }
        EXPECT_FALSE(anyLineHasControls(log)) << "one event, one log line";
    }
}

namespace {

class MailPasswordFile : public vesk::testing::EngineStoreTest
{
protected:
    std::string passwordFile(const std::string& text, std::filesystem::perms mode)
    {
        const std::string path = dir.file("mail.secret");
        std::ofstream(path) << text;
        std::filesystem::permissions(path, mode);
        return path;
    }
};

} // namespace

TEST_P(MailPasswordFile, IsUsedOnlyWhenPrivateAndNeverLogged)
{
    using std::filesystem::perms;
    struct Case
    {
        const char* name;
        perms mode;
        bool used;
    };
    for (const Case& c :
        {Case {
             "0644", perms::owner_read | perms::owner_write | perms::group_read | perms::others_read, false},
            Case {"0600", perms::owner_read | perms::owner_write, true}}) {
        SCOPED_TRACE(c.name);
        log.lines.clear();
        SmtpServer server({"bob", "s3cret", false});
        ASSERT_TRUE(server.running());
        SaveMailConfig(outbox, server.address(), "bob", "", login::kLogin);
        MailQueue queue;
        queue.settings = {true, passwordFile("s3cret\n", c.mode)};
        InitMail(queue, outbox);
        queue.client->setTimeout(5);
        ASSERT_TRUE(QueueMail(outbox, "ops@example.com", "Alert", "text"));
        NoFeedback feedback;
        ProcessMailQueue(queue, outbox, feedback);

        EXPECT_EQ(server.mails().size(), c.used ? 1u : 0u);
        EXPECT_EQ(scalar("SELECT COUNT(*) FROM MailMessage"), c.used ? 0 : 1);
        EXPECT_EQ(anyLineHolds(log, "Mail password file " + dir.file("mail.secret") + " refused"), !c.used);
        EXPECT_FALSE(anyLineHolds(log, "s3cret"));
        h().Execute("DELETE FROM MailMessage");
    }
}

VESK_ON_BOTH_ENGINES(MailPasswordFile);
