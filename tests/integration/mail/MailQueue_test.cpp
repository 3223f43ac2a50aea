// The shared mail queue drained over a real SMTP server.
#include "mail/MailQueue.h"

#include "SmtpServer.h"
#include "StoreFixture.h"

#include <filesystem>
#include <fstream>

using namespace std::chrono_literals;
using namespace vesk;
using namespace vesk::mail;
using std::filesystem::perms;
using vesk::testing::BodyOf;
using vesk::testing::HeaderOf;
using vesk::testing::LogHolds;
using vesk::testing::SmtpServer;

namespace {

class MailQueueTest : public vesk::testing::EngineStoreTest
{
protected:
    void account(const std::string& server, const std::string& user = "console@example.com",
        const std::string& password = "", std::int16_t method = login::kNone)
    {
        SaveMailConfig(outbox, server, user, password, method);
        queue.settings.allowPlainLogin = method != login::kNone; // the test server has no TLS
        InitMail(queue, outbox);
        queue.client->setTimeout(5);
    }

    void queueMails(int n)
    {
        for (int i = 1; i <= n; ++i)
            ASSERT_TRUE(QueueMail(
                outbox, "ops@example.com", "Mail " + std::to_string(i), "Body " + std::to_string(i)));
    }

    int queued() { return scalar("SELECT COUNT(*) FROM MailMessage"); }
    bool senderFlag() { return scalar("SELECT sysMailSenderActive FROM System") != 0; }
    void pass() { ProcessMailQueue(queue, outbox, feedback); }

    int logged(int icon, const std::string& start) const
    {
        int n = 0;
        for (const auto& l : log.lines)
            n += l.icon == icon && l.text.rfind(start, 0) == 0;
        return n;
    }

    SmtpServer smtp;
    MailQueue queue;
    NoFeedback feedback;
};

} // namespace

TEST_P(MailQueueTest, SendsTwentyAPassTheRestTwoMinutesLaterAndNoneWhileAnotherConsoleSends)
{
    account(smtp.address());
    queueMails(25);

    pass();
    EXPECT_EQ(smtp.mails().size(), 20u);
    EXPECT_EQ(queued(), 5);
    EXPECT_EQ(scalar("SELECT MIN(mlID) FROM MailMessage"), 21); // sent rows are the ones deleted
    EXPECT_EQ(logged(icon::kMailed, "Mail "), 20);
    EXPECT_TRUE(log.has("Mail 1 to ops@example.com"));
    EXPECT_FALSE(senderFlag());

    clock.advance(119s);
    pass();
    EXPECT_EQ(queued(), 5) << "a pass within two minutes of the last does nothing";

    clock.advance(1s);
    pass();
    EXPECT_EQ(smtp.mails().size(), 25u);
    EXPECT_EQ(queued(), 0);
    EXPECT_FALSE(senderFlag());

    // Another console holding the sender flag stops the pass.
    queueMails(2);
    ASSERT_TRUE(SetMailSenderActive(outbox, true));
    EXPECT_FALSE(SetMailSenderActive(outbox, true)) << "the flag is taken only once";
    clock.advance(2min);
    pass();
    EXPECT_EQ(queued(), 2);
    EXPECT_TRUE(senderFlag()) << "a console never clears a flag it did not take";
    ASSERT_TRUE(SetMailSenderActive(outbox, false)); // the start-up switch
    clock.advance(2min);
    pass();
    EXPECT_EQ(smtp.mails().size(), 27u);
}

// Mail arrives as it was queued, with the no-reply notice, whatever the login; a refused login, a
// server that is not there or a password file others can read keeps the row for the pass two
// minutes later. The password is never logged.
TEST_P(MailQueueTest, MailArrivesAsQueuedOrWaitsWhenTheServerCannotBeUsed)
{
    SmtpServer guarded({"bob", "s3cret", false});
    ASSERT_TRUE(guarded.running());
    struct Case
    {
        const char* name;
        std::string server;
        std::string user;
        std::string password;
        std::int16_t method;
        bool sent;
        perms passwordFile = perms::none; // the password is kept in a file of these permissions
    };
    const std::string file = dir.file("mail.secret");
    for (const Case& c : {Case {"no login", smtp.address(), "console@example.com", "", login::kNone, true},
             Case {"login", guarded.address(), "bob", "s3cret", login::kLogin, true},
             Case {"cram-md5", guarded.address(), "bob", "s3cret", login::kMD5, true},
             Case {"wrong password", guarded.address(), "bob", "guess", login::kLogin, false},
             Case {"nobody listening", "127.0.0.1:9", "bob", "s3cret", login::kLogin, false},
             Case {"private password file", guarded.address(), "bob", "", login::kLogin, true,
                 perms::owner_read | perms::owner_write},
             Case {"password file others read", guarded.address(), "bob", "", login::kLogin, false,
                 perms::owner_read | perms::owner_write | perms::group_read | perms::others_read}}) {
        SCOPED_TRACE(c.name);
        log.lines.clear();
        std::ofstream(file) << "s3cret\n";
        std::filesystem::permissions(file, c.passwordFile | perms::owner_write);
        queue.settings.passwordFile = c.passwordFile == perms::none ? "" : file;
        const std::size_t before = smtp.mails().size() + guarded.mails().size();
        account(c.server, c.user, c.password, c.method);
        ASSERT_TRUE(QueueMail(outbox, "ann@example.com, Bob <bob@example.com>", "O'Brien's report",
            "  Line one\r\nLine two & \"quotes\"\r\n.starts with a dot  \r\n  "));
        queue.nextCheck = {};
        pass();
        ASSERT_EQ(smtp.mails().size() + guarded.mails().size(), before + c.sent);
        EXPECT_EQ(queued(), c.sent ? 0 : 1);
        EXPECT_FALSE(senderFlag()) << "the flag is given back after every pass";
        EXPECT_EQ(logged(icon::kError, "mail.Connect(" + c.server + ") : 0x"), c.sent ? 0 : 1);
        EXPECT_EQ(logged(icon::kMailed, ""), c.sent ? 1 : 0);
        EXPECT_EQ(LogHolds(log, "Mail password file " + file + " refused"),
            !c.sent && c.passwordFile != perms::none);
        EXPECT_FALSE(LogHolds(log, "s3cret"));
        if (!c.sent) {
            EXPECT_EQ(queue.nextCheck, SteadyTime::FromNow(clock, 2min));
            h().Execute("DELETE FROM MailMessage");
            continue;
        }
        const std::string mail = (c.method == login::kNone ? smtp : guarded).mails().back();
        EXPECT_EQ(HeaderOf(mail, "X-Envelope-From"), c.user);
        EXPECT_EQ(HeaderOf(mail, "X-Envelope-To"), "ann@example.com,bob@example.com");
        EXPECT_EQ(HeaderOf(mail, "Subject"), "O'Brien's report");
        EXPECT_EQ(BodyOf(mail),
            "Line one\r\nLine two & \"quotes\"\r\n.starts with a dot\r\n\r\n"
            "+------------------------------+\r\n"
            "|  DO NOT REPLY TO THIS EMAIL  |\r\n"
            "+------------------------------+\r\n");
    }
}

TEST_P(MailQueueTest, NothingIsSentWithoutAnAccountOrWithoutRecipients)
{
    account(smtp.address(), "");
    queueMails(1);
    pass();
    EXPECT_FALSE(IsMailConfigured(queue));
    EXPECT_EQ(queued(), 1);
    EXPECT_TRUE(log.lines.empty());

    h().Execute("DELETE FROM MailMessage");
    account(smtp.address());
    ASSERT_TRUE(QueueMail(outbox, "   ", "nobody", "lost"));
    ASSERT_TRUE(QueueMail(outbox, "ops@example.com", "somebody", "found"));
    queue.nextCheck = {};
    pass();
    EXPECT_EQ(smtp.mails().size(), 1u);
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM MailMessage WHERE mlSubject = 'nobody'"), 1);
}

TEST_P(MailQueueTest, StopsTakingMailsAfterTwoMinutesOfSending)
{
    account(smtp.address());
    queueMails(6);
    // Each mail appears to take 50 seconds: the third one ends the pass.
    const int before = pump.calls();
    for (int call = 1; call <= 12; ++call)
        pump.at(before + call, [this] { clock.advance(25s); });
    pass();
    EXPECT_EQ(smtp.mails().size(), 3u);
    EXPECT_EQ(queued(), 3);
    EXPECT_TRUE(log.has("MailQueue appears to be taking a long time to send messages."));
    EXPECT_FALSE(senderFlag());
}

TEST_P(MailQueueTest, QueueMailCutsRecipientsAndSubjectButNotTheBodyAndTheAccountIsSavedTrimmed)
{
    const std::string recipients(300, 'r');
    const std::string subject = "It's " + std::string(120, 's');
    const std::string body(5000, 'b');
    ASSERT_TRUE(QueueMail(outbox, recipients, subject, body));
    auto rs = h().OpenDynaset("SELECT * FROM MailMessage");
    ASSERT_TRUE(rs && !rs->IsEOF());
    EXPECT_EQ(TextOf(rs->Field("mlRecipients")), recipients.substr(0, 250));
    EXPECT_EQ(TextOf(rs->Field("mlSubject")), subject.substr(0, 100));
    EXPECT_EQ(TextOf(rs->Field("mlMessage")), body);

    h().CloseDatabase();
    EXPECT_TRUE(QueueMail(outbox, "a@b", "opened for the call", "x"));
    EXPECT_FALSE(h().IsConnected());

    // The account is saved trimmed, as the one row, and loaded as saved.
    ASSERT_TRUE(h().OpenDatabase(store::mode::kReadWriteShared));
    h().Execute("INSERT INTO MailConfig DEFAULT VALUES");
    SaveMailConfig(outbox, "  smtp.example.com:2525 ", " o'neil@example.com ", " pa'ss ", login::kNTLM);
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM MailConfig"), 1);
    InitMail(queue, outbox);
    ASSERT_TRUE(queue.client);
    const auto& c = *queue.client;
    EXPECT_EQ(std::tie(c.Server, c.Username, c.Password, c.LoginMethod),
        std::tuple("smtp.example.com:2525", "o'neil@example.com", "pa'ss", login::kNTLM));
}

VESK_ON_BOTH_ENGINES(MailQueueTest);
