#include "mail/Diagnostics.h"
#include "mail/MailClient.h"
#include "mail/MailQueue.h"

#include <gtest/gtest.h>

#include <optional>

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
    // The address used, or "" when the setting is refused (file and web addresses: the mail security tests).
    const std::pair<const char*, const char*> cases[] = {{"mail.example.com", "smtp://mail.example.com"},
        {"mail.example.com:2525", "smtp://mail.example.com:2525"},
        {"SMTPS://mail.example.com:465", "smtps://mail.example.com:465"},
        {"smtp://[::1]:25", "smtp://[::1]:25"}, {"file:/etc/passwd", ""}, {"smtp://host/path", ""},
        {"smtp://user@host", ""}, {"mail example.com", ""}, {"mail.example.com\r\n", ""}, {"host:0", ""},
        {"host:99999", ""}, {"", ""}};
    for (const auto& [server, url] : cases) {
        SCOPED_TRACE(server);
        std::string error;
        EXPECT_EQ(ServerUrl(server, error), url);
        EXPECT_EQ(error.empty(), *url != '\0') << error;
        EXPECT_EQ(error.find_first_of("\r\n"), std::string::npos);
    }
}

TEST(MailAddress, RefusesWhatCouldAddAHeaderOrARecipient)
{
    // Entries with line breaks or NULs are in the mail security tests, sent to a real server.
    using Case = std::pair<std::string, std::optional<std::string>>;
    for (const auto& [entry, address] : {Case {" ops@example.com ", "ops@example.com"},
             Case {"Night Desk <desk@example.com>", "desk@example.com"},
             Case {"<a@example.com> <b@example.com>", std::nullopt}, Case {"Name <>", std::nullopt}}) {
        SCOPED_TRACE(testing::PrintToString(entry));
        EXPECT_EQ(MailAddress(entry), address);
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
