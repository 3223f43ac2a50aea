#include "mail/MailClient.h"
#include "support/LogSink.h"

#include "SmtpServer.h"
#include "StoreFixture.h"

#include <gtest/gtest.h>

using namespace vesk::mail;
using vesk::testing::SmtpServer;

using Lines = vesk::testing::RecordingLog;

TEST(MailClient, RejectedMailIsLoggedWithTheRecipients)
{
    SmtpServer server({"", "", true});
    ASSERT_TRUE(server.running());
    Lines log;
    MailClient mail(log);
    mail.Server = server.address();
    mail.Username = "console@example.com";
    ASSERT_TRUE(mail.Connect());
    EXPECT_FALSE(mail.Send("ops@example.com", "", "", "s", "b"));
    ASSERT_EQ(log.lines.size(), 1u);
    EXPECT_EQ(log.lines[0].text.rfind("Mail.Send(ops@example.com) : ", 0), 0u) << log.lines[0].text;
}

TEST(MailClient, ConnectionLogHoldsTheConversationWithoutThePassword)
{
    SmtpServer server({"bob", "s3cret", false});
    ASSERT_TRUE(server.running());
    vesk::testing::TempDir dir;
    Lines log;
    MailClient mail(log);
    mail.Server = server.address();
    mail.Username = "bob";
    mail.Password = "s3cret";
    mail.LoginMethod = login::kLogin;
    mail.AllowPlainLogin = true; // the test server has no TLS
    mail.setConnectionLog(dir.file("maillog.txt"));
    ASSERT_TRUE(mail.Send("ops@example.com", "", "", "s", "b"));
    const std::string text = vesk::testing::ReadFile(dir.file("maillog.txt"));
    EXPECT_NE(text.find("< 220"), std::string::npos);
    EXPECT_NE(text.find("> EHLO"), std::string::npos);
    EXPECT_NE(text.find("> AUTH LOGIN ****"), std::string::npos);
    EXPECT_NE(text.find("> MAIL FROM:<bob>"), std::string::npos);
    EXPECT_EQ(text.find("czNjcmV0"), std::string::npos) << "base64 of the password";
    EXPECT_EQ(text.find("s3cret"), std::string::npos);
}
