// Forwarding rules read from a real outbox, forwards written back to it.
#include "routing/Forwarding.h"

#include "StoreFixture.h"

#include <gtest/gtest.h>

using namespace vesk;
using namespace vesk::routing;

namespace {

class ForwardingTest : public vesk::testing::EngineStoreTest
{
protected:
    ForwardingTest()
    {
        target.agentAddress = "+447700900000";
        target.station = "HOST\\USER";
        target.queueMail = [this](const std::string& r, const std::string& s, const std::string& b) {
            mails.push_back(r + "|" + s + "|" + b);
            return mailWorks;
        };
    }

    // After the outbox is open: opening loads the saved settings.
    void SetUp() override
    {
        EngineStoreTest::SetUp();
        outbox.settings.SMSForwarding = true;
    }

    void rule(const std::string& source, const std::string& keyword, const std::string& destination,
        const std::string& sourceName = "")
    {
        ASSERT_TRUE(
            h().Execute("INSERT INTO Forward (fwdSource, fwdKeyword, fwdDestination, fwdSourceName) VALUES ('"
                + store::Quote(source) + "', '" + store::Quote(keyword) + "', '" + store::Quote(destination)
                + "', '" + store::Quote(sourceName) + "')"));
    }

    // Forwards written to the outbox as "address|text".
    std::vector<std::string> forwards()
    {
        std::vector<std::string> out;
        auto rs = h().OpenDynaset("SELECT msgAddress, msgText, msgRecipient FROM Message ORDER BY msgID");
        for (; rs && !rs->IsEOF(); rs->MoveNext()) {
            EXPECT_EQ(TextOf(rs->Field("msgRecipient")), "SMS Forward");
            out.push_back(TextOf(rs->Field("msgAddress")) + "|" + TextOf(rs->Field("msgText")));
        }
        return out;
    }

    ForwardTarget target;
    std::vector<std::string> mails; // "recipients|subject|body"
    bool mailWorks = true;
    const DateTime received = DateTime::fromParts(2026, 3, 5, 14, 5, 9);
};

} // namespace

TEST_P(ForwardingTest, SenderRulesComeFirstKeywordsIgnoreCaseAndBadPatternsNeverMatch)
{
    rule("*", "*", "+15550009");
    rule("+447700900001", "*", "+15550002");
    rule("+447700900001", "help", "+15550001");
    rule("*", "^stop", "+15550003");
    rule("+1", "STOP\\D", "+15550003");
    rule("+1", "([unclosed", "+15550004");

    // The sender, the text, the rule that matches.
    for (const auto& [sender, text, expected] :
        {std::tuple {"+447700900001", "I need HELP now", "+447700900001:help"},
            std::tuple {"+447700900001", "hello there", "+447700900001:*"},
            std::tuple {"+447700900002", "Stop sending", "*:^stop"},
            std::tuple {"+447700900002", "please stop", "*:*"},
            std::tuple {"447700900001", "help", "*:*"}, // compared as reported, no normalising
            std::tuple {"+1", "Stop1", "+1:STOP\\D"}, // \D acts as \d
            std::tuple {"+1", "stop!", "*:^stop"}, std::tuple {"+1", "([unclosed", "*:*"}}) {
        SCOPED_TRACE(std::string(sender) + " " + text);
        ForwardRule match;
        EXPECT_TRUE(FindForwardRule(outbox, sender, text, match));
        EXPECT_EQ(match.Description, expected);
    }
}

TEST_P(ForwardingTest, ForwardsByPhoneAndMailWithDisplayNames)
{
    // Private numbers are shown as such in the console's forwarding run with a real mail server.
    ASSERT_TRUE(h().Execute("INSERT INTO FriendlyNameCache (fnAddress, fnName, fnIsPrivate) VALUES "
                            "('+447700900001', 'Ann Lee', FALSE)"));
    rule("+447700900001", "*", " +15550001 , ops@example.com ,, +15550011,  desk@example.com");
    rule("+447700900003", "*", "+15550003", "Night Desk");
    rule("*", "*", "+15550009,+447700900000");

    ForwardMessage(outbox, target, "+447700900001", "  Hello there  ", received);
    ForwardMessage(outbox, target, "+447700900003", "desk", received);
    ForwardMessage(outbox, target, "+447700900004", "who", received);

    EXPECT_EQ(forwards(),
        (std::vector<std::string> {"+15550001|Forward from: Ann Lee@+447700900001 \"Hello there\"",
            "+15550011|Forward from: Ann Lee@+447700900001 \"Hello there\"",
            "+15550003|Forward from: Night Desk@+447700900003 \"desk\"",
            "+15550009|Forward from: Unknown Contact@+447700900004 \"who\""}));
    // Mail keeps the text unchanged.
    EXPECT_EQ(mails,
        std::vector<std::string> {
            "ops@example.com,desk@example.com|SMS From Ann Lee@+447700900001 at 14:05|  Hello there  "});

    EXPECT_TRUE(log.has("Forward matched to +447700900001:*"));
    EXPECT_TRUE(log.has("SMS Forward created from @+447700900001 to +15550001"));
    EXPECT_TRUE(log.has("SMS Forward created from Night Desk@+447700900003 to +15550003"));
    EXPECT_TRUE(
        log.has("Mail Forward created from Ann Lee@+447700900001 to ops@example.com,desk@example.com"));
}

TEST_P(ForwardingTest, NoRuleOrForwardingOffOrFailedMailIsReported)
{
    ForwardMessage(outbox, target, "+447700900001", "a message longer than twenty", received);
    EXPECT_TRUE(log.has("No forwarding rule matches +447700900001 a message longer tha"));

    rule("*", "*", "ops@example.com");
    mailWorks = false;
    ForwardMessage(outbox, target, "+447700900001", "x", received);
    EXPECT_EQ(log.lines.back().icon, icon::kWarning);
    EXPECT_EQ(log.lines.back().text.rfind("Could not create mail message : ", 0), 0u);

    log.lines.clear();
    mails.clear();
    outbox.settings.SMSForwarding = false;
    ForwardMessage(outbox, target, "+447700900001", "x", received);
    EXPECT_TRUE(log.lines.empty());
    EXPECT_TRUE(mails.empty());
}

TEST_P(ForwardingTest, SavedRulesDropUnusableRowsAndKeepTheirOrder)
{
    rule("old", "*", "+1");
    ASSERT_TRUE(SaveForwardRules(outbox,
        {{" +447700900001 ", "O'Neil", " help ", " +15550001 "}, {"+", "", "*", "+15550002"},
            {"*", "", "*", "+447700900000"}, {"", "", "*", "+15550003"}, {"*", "", "*", "ops@example.com"}},
        target.agentAddress));
    std::vector<std::string> saved; // "source|name|keyword|destination"
    for (const auto& r : LoadForwardRules(outbox))
        saved.push_back(r.Source + "|" + r.SourceName + "|" + r.Keyword + "|" + r.Destination);
    EXPECT_EQ(
        saved, (std::vector<std::string> {"*||*|ops@example.com", "+447700900001|O'Neil|help|+15550001"}));
}

VESK_ON_BOTH_ENGINES(ForwardingTest);
