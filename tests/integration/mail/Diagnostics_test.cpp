// Alert settings in a real outbox and the alerts they put in the mail queue.
#include "mail/Diagnostics.h"

#include "StoreFixture.h"

using namespace std::chrono_literals;
using namespace vesk;
using namespace vesk::mail;

namespace {

// The modem as the alert checks see it at one moment.
struct ModemState final : ModemProbe
{
    bool IsPortOpen() override { return portOpen; }
    bool IsModemPresent() override
    {
        ++presentAsked;
        return answers;
    }
    int SignalLevel() override { return signal; }

    bool portOpen = true;
    bool answers = true;
    int signal = 58;
    int presentAsked = 0;
};

class DiagnosticsTest : public vesk::testing::EngineStoreTest
{
protected:
    void settings(const std::string& email, bool messages, bool modem, bool signal, int level)
    {
        ASSERT_TRUE(h().Execute("UPDATE Diagnostic SET diagEmail = '" + email + "', diagNotifyMessages = "
            + store::BoolLiteral(messages) + ", diagNotifyModem = " + store::BoolLiteral(modem)
            + ", diagNotifySignal = " + store::BoolLiteral(signal)
            + ", diagSignalLevel = " + std::to_string(level)));
        LoadDiagnostics(diag, outbox, false);
    }

    // One column of the queued mails, oldest first.
    std::vector<std::string> mails(const std::string& column = "mlSubject")
    {
        std::vector<std::string> out;
        auto rs = h().OpenDynaset("SELECT " + column + " FROM MailMessage ORDER BY mlID");
        for (; rs && !rs->IsEOF(); rs->MoveNext())
            out.push_back(TextOf(rs->Field(0)));
        return out;
    }

    // One processing pass every minute for the given time.
    void passes(std::chrono::minutes span)
    {
        for (auto t = 0min; t < span; t += 1min) {
            CheckAlerts(diag, outbox, modem, origin, feedback);
            clock.advance(1min);
        }
    }

    Diagnostics diag;
    ModemState modem;
    AlertOrigin origin {"DESK-7", "356938035643809", "+447700900000"};
    NoFeedback feedback;
};

} // namespace

TEST_P(DiagnosticsTest, StartupSummaryListsTheAlertsThatAreOn)
{
    settings("ops@example.com", true, true, true, 30);
    for (const char* line :
        {"Alert messages emailed to ops@example.com", "Alert sent when signal level falls below 30%",
            "Alert sent when modem connection is lost", "Alert sent for failed messages"})
        EXPECT_TRUE(log.has(line)) << line;

    log.lines.clear();
    settings("", true, true, true, 30);
    EXPECT_TRUE(log.lines.empty()) << "no address, no summary";
    modem.portOpen = false;
    modem.signal = 5;
    passes(3min);
    SendFailureAlert(diag, outbox, "+1", "Ann", "Empty Message", clock.now(), feedback);
    EXPECT_TRUE(mails().empty());
}

TEST_P(DiagnosticsTest, LinkAlertAtMostEveryTenMinutes)
{
    settings("ops@example.com", false, true, false, 20);
    clock.set(DateTime::fromParts(2026, 3, 5, 14, 7, 30));
    modem.answers = false;
    passes(25min);
    EXPECT_EQ(mails(),
        (std::vector<std::string> {"Device Alert - No Link To Modem at 14:07",
            "Device Alert - No Link To Modem at 14:17", "Device Alert - No Link To Modem at 14:27"}));
    EXPECT_EQ(mails("mlMessage").at(0),
        "Computer: DESK-7\r\nIMEI: 356938035643809\r\nNumber: +447700900000\r\nMessages cannot be "
        "delivered.");

    modem.portOpen = false;
    const int asked = modem.presentAsked;
    origin.imei.clear();
    passes(10min);
    EXPECT_EQ(modem.presentAsked, asked) << "a closed port is not asked";
    EXPECT_EQ(mails("mlMessage").at(3),
        "Computer: DESK-7\r\nNumber: +447700900000\r\nMessages cannot be delivered.");

    modem.portOpen = modem.answers = true;
    passes(30min);
    EXPECT_EQ(mails().size(), 4u);

    // Minute boundaries count, not seconds: 9 minutes 1 second cross 10 of them.
    modem.answers = false;
    clock.set(DateTime::fromParts(2026, 3, 5, 15, 20, 59));
    CheckAlerts(diag, outbox, modem, origin, feedback);
    clock.advance(9min + 1s);
    CheckAlerts(diag, outbox, modem, origin, feedback);
    EXPECT_EQ(mails().size(), 6u);

    // The clock set back an hour, or forward, changes neither the period nor the time shown.
    clock.set(DateTime::fromParts(2026, 3, 5, 14, 30, 0));
    passes(11min);
    clock.set(DateTime::fromParts(2026, 3, 5, 20, 0, 0));
    passes(5min);
    const auto sent = mails();
    ASSERT_EQ(sent.size(), 7u);
    EXPECT_EQ(sent.back(), "Device Alert - No Link To Modem at 14:40");
}

TEST_P(DiagnosticsTest, SignalAlertAtMostEveryFiveMinutesBelowTheThreshold)
{
    settings("ops@example.com", false, false, true, 30);
    clock.set(DateTime::fromParts(2026, 3, 5, 9, 3, 0));
    modem.signal = 30;
    passes(10min);
    EXPECT_TRUE(mails().empty()) << "the threshold itself is not below";
    modem.signal = -1;
    passes(5min);
    EXPECT_TRUE(mails().empty()) << "no reading never alerts";

    modem.signal = 25;
    passes(11min);
    EXPECT_EQ(mails(),
        (std::vector<std::string> {"Signal Level Alert - 25% at09:18", "Signal Level Alert - 25% at09:23",
            "Signal Level Alert - 25% at09:28"}));
    EXPECT_EQ(mails("mlMessage").at(0), "Service may be affected.");
}

TEST_P(DiagnosticsTest, EveryFailedMessageGivesOneAlert)
{
    settings("ops@example.com", true, false, false, 20);
    const DateTime when = DateTime::fromParts(2026, 3, 5, 18, 42, 0);
    SendFailureAlert(diag, outbox, "+15550123", "Ann", "Retry exceeded", when, feedback);
    SendFailureAlert(diag, outbox, "+15550124", "Bob", "Message Expired", when, feedback);
    EXPECT_EQ(mails(),
        (std::vector<std::string> {"Send Message Failure Alert : +15550123 at 18:42",
            "Send Message Failure Alert : +15550124 at 18:42"}));

    settings("ops@example.com", false, true, true, 20);
    SendFailureAlert(diag, outbox, "+15550125", "Cy", "x", when, feedback);
    EXPECT_EQ(mails().size(), 2u);
}

TEST_P(DiagnosticsTest, SaveReplacesExtraRowsAndRoundTripsAndAMissingRowIsReported)
{
    h().Execute("INSERT INTO Diagnostic DEFAULT VALUES");
    std::tie(diag.Email, diag.NotifyMessages, diag.NotifySignal, diag.SignalLevel)
        = std::tuple("o'neil@example.com", true, true, 42);
    SaveDiagnostics(diag, outbox);
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM Diagnostic"), 1);

    diag.NotifyModem = true;
    SaveDiagnostics(diag, outbox);
    Diagnostics loaded;
    LoadDiagnostics(loaded, outbox, true);
    EXPECT_EQ(std::tie(loaded.Email, loaded.NotifyMessages, loaded.NotifySignal, loaded.NotifyModem,
                  loaded.SignalLevel),
        std::tuple(std::string("o'neil@example.com"), true, true, true, std::int16_t {42}));
    EXPECT_FALSE(log.has("Diagnostic settings could not be Saved. "));

    h().Execute("DELETE FROM Diagnostic");
    Diagnostics missing;
    LoadDiagnostics(missing, outbox, false);
    EXPECT_TRUE(log.has("Diagnostic settings could not be loaded."));
    EXPECT_TRUE(missing.Email.empty());
}

VESK_ON_BOTH_ENGINES(DiagnosticsTest);
