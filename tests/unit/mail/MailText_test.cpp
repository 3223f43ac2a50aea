#include "mail/Diagnostics.h"
#include "mail/MailClient.h"
#include "mail/MailQueue.h"

#include <gtest/gtest.h>

#include <optional>

using namespace std::string_literals;
using namespace vesk::mail;

TEST(SignalThreshold, IsKeptBetweenOneAndNinety)
{
    const std::pair<int, int> cases[] = {{-5, 1}, {0, 1}, {1, 1}, {30, 30}, {100, 100}, {101, 90}, {150, 90}};
    for (const auto& [stored, used] : cases) {
        SCOPED_TRACE(stored);
        EXPECT_EQ(ClampSignalThreshold(static_cast<std::int16_t>(stored)), used);
    }
}

TEST(ServerUrl, TakesOnlySmtpAddressesOfAHost)
{
    struct Case
    {
        const char* server;
        const char* url; // "" when refused
    };
    for (const Case& c :
        {Case {"mail.example.com", "smtp://mail.example.com"},
            Case {"mail.example.com:2525", "smtp://mail.example.com:2525"},
            Case {"SMTPS://mail.example.com:465", "smtps://mail.example.com:465"},
            Case {"smtp://[::1]:25", "smtp://[::1]:25"}, Case {"file:///home/op/.ssh/authorized_keys", ""},
            Case {"http://mail.example.com", ""}, Case {"file:/etc/passwd", ""},
            Case {"smtp://host/path", ""}, Case {"smtp://user@host", ""}, Case {"mail example.com", ""},
            Case {"mail.example.com\r\n", ""}, Case {"host:0", ""}, Case {"host:99999", ""}, Case {"", ""}}) {
        SCOPED_TRACE(c.server);
        std::string error;
        EXPECT_EQ(ServerUrl(c.server, error), c.url);
        EXPECT_EQ(error.empty(), *c.url != '\0') << error;
        EXPECT_EQ(error.find_first_of("\r\n"), std::string::npos);
    }
}

TEST(MailAddress, RefusesWhatCouldAddAHeaderOrARecipient)
{
    struct Case
    {
        std::string entry;
        std::optional<std::string> address;
    };
    for (const Case& c : {Case {" ops@example.com ", "ops@example.com"},
             Case {"Night Desk <desk@example.com>", "desk@example.com"},
             Case {"Desk\r\nReply-To: x@evil <desk@example.com>", "desk@example.com"},
             Case {"a@example.com>\r\nRCPT TO:<b@example.com", std::nullopt},
             Case {"a@example.com\nb@example.com", std::nullopt}, Case {"a@exa\0mple.com"s, std::nullopt},
             Case {"<a@example.com> <b@example.com>", std::nullopt}, Case {"Name <>", std::nullopt}}) {
        SCOPED_TRACE(testing::PrintToString(c.entry));
        EXPECT_EQ(MailAddress(c.entry), c.address);
    }
}

TEST(MailMessage, HeaderTextStaysOnItsLineIsEncodedAndLineEndsAreCrLf)
{
    const std::string m = BuildMessage("a@b", "c@d", "Alert\r\nBcc: e@f", "body", "Thu, 05 Mar 2026");
    EXPECT_NE(m.find("\r\nSubject: Alert  Bcc: e@f\r\n"), std::string::npos);
    const std::string e = BuildMessage("a@b", "c@d", "Caf\xC3\xA9 alert", "x\r\ny\rz\n", "Thu, 05 Mar 2026");
    EXPECT_NE(e.find("Subject: =?UTF-8?B?Q2Fmw6kgYWxlcnQ=?=\r\n"), std::string::npos);
    EXPECT_NE(e.find("\r\n\r\nx\r\ny\r\nz\r\n"), std::string::npos);
    EXPECT_EQ(e.find("\n\n"), std::string::npos);
}
