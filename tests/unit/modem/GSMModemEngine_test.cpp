// The command engine against a real pseudo-terminal whose far end answers from a script, with
// virtual time: every 100 ms poll is a step of the injected clock, so no test sleeps.
#include "modem/GSMModem.h"

#include "FakeClock.h"
#include "Pty.h"
#include "ScriptedPump.h"

#include <gtest/gtest.h>

#include <map>

using namespace vesk;
using namespace vesk::modem;
using namespace std::chrono_literals;

namespace {

// The far end of the line: answers each command with pieces written a given number of polls
// after the command arrived.
class ScriptedLine
{
public:
    struct Piece
    {
        int afterPolls;
        std::string bytes;
    };

    ScriptedLine() { answer("ATE0", {{1, "\r\nOK\r\n"}}); }

    const std::string& path() const { return m_pty.path; }
    void answer(const std::string& command, std::vector<Piece> pieces)
    {
        m_script[command] = std::move(pieces);
    }
    int timesReceived(const std::string& command) const
    {
        int n = 0;
        for (const auto& c : m_received)
            n += c == command;
        return n;
    }

    // Called at every poll of the driver.
    void poll()
    {
        ++m_polls;
        char buffer[1024];
        ssize_t n;
        while ((n = read(m_pty.master, buffer, sizeof buffer)) > 0) {
            m_pendingInput.append(buffer, static_cast<std::size_t>(n));
        }
        std::size_t cr;
        while ((cr = m_pendingInput.find_first_of("\r\x1A")) != std::string::npos) {
            // A message body ends in Ctrl-Z, shown here as "^Z".
            const std::string command
                = m_pendingInput.substr(0, cr) + (m_pendingInput[cr] == '\x1A' ? "^Z" : "");
            m_pendingInput.erase(0, cr + 1);
            m_received.push_back(command);
            if (auto it = m_script.find(command); it != m_script.end())
                for (const auto& piece : it->second)
                    m_due.emplace(m_polls - 1 + piece.afterPolls, piece.bytes);
        }
        bool wrote = false;
        for (auto it = m_due.begin(); it != m_due.end() && it->first <= m_polls;) {
            (void)!write(m_pty.master, it->second.data(), it->second.size());
            it = m_due.erase(it);
            wrote = true;
        }
        if (wrote) // let the bytes reach the driver's side before its next look
            m_pty.waitForInputOnSlave();
    }

private:
    vesk::testing::Pty m_pty;
    std::map<std::string, std::vector<Piece>> m_script;
    std::multimap<int, std::string> m_due;
    std::vector<std::string> m_received;
    std::string m_pendingInput;
    int m_polls = 0;
};

class EngineTest : public ::testing::Test
{
protected:
    EngineTest()
    {
        clock.onSleep = [this] { line.poll(); };
    }
    void SetUp() override { ASSERT_TRUE(modem.OpenPort(line.path(), "9600,N,8,1")); }

    ScriptedLine line;
    vesk::testing::FakeClock clock;
    vesk::testing::ScriptedPump pump;
    GSMModem modem {clock, pump};
};

} // namespace

TEST_F(EngineTest, EchoedCommandMeansNotPresent)
{
    line.answer("AT", {{1, "AT\r\r\nOK\r\n"}});
    EXPECT_FALSE(modem.IsModemPresent());
    EXPECT_TRUE(modem.CheckModem());
}

TEST_F(EngineTest, SilentModemGivesNeutralValuesAfterTheTimeout)
{
    modem.CommandTimeout = 500;
    EXPECT_EQ(modem.GetMode(), "?");
    EXPECT_EQ(modem.Network(), "?");
    EXPECT_EQ(modem.SignalLevel(), -1);
    EXPECT_EQ(modem.MessageCount(), 0);
    EXPECT_EQ(modem.Model(), "");
}

TEST_F(EngineTest, TextModeFlagIsKeptEvenWhenRefused)
{
    line.answer("AT+CMGF=1", {{1, "\r\nERROR\r\n"}});
    EXPECT_FALSE(modem.TextMode(true));
    EXPECT_TRUE(modem.IsTextMode());
}

TEST_F(EngineTest, ClosedPortSendsNothingAndReportsFailure)
{
    modem.ClosePort();
    modem.CommandTimeout = 300;
    modem.DeleteMessageTimeout = 300;
    GSMMessage message;
    message.Address = "+15550123";
    message.Text = "hello";
    EXPECT_EQ(modem.SendSMS(message), -1);
    EXPECT_FALSE(modem.DeleteMessage(3));
    const auto listing = modem.ReadMessages();
    ASSERT_TRUE(listing.has_value());
    EXPECT_TRUE(listing->empty());
    EXPECT_EQ(modem.RawCommand("AT"), "");
    std::string answer = "untouched";
    EXPECT_EQ(modem.SendRawPDU("", answer), -1);
    EXPECT_EQ(answer, "untouched");
}

TEST_F(EngineTest, ResetReopensTheSamePort)
{
    EXPECT_TRUE(modem.ResetPort());
    EXPECT_TRUE(modem.IsPortOpen());
    EXPECT_EQ(modem.PortName, line.path());
    EXPECT_EQ(modem.InitString, "9600,N,8,1");
    EXPECT_EQ(line.timesReceived("ATE0"), 2);
}

TEST(LongMessagePieces, NeverSplitAnEscapePair)
{
    vesk::testing::FakeClock clock;
    NullPump pump;
    GSMModem modem(clock, pump);
    const std::string letters(151, 'a');
    EXPECT_EQ(modem.GetFragment(letters + "[bc", 152), letters);
    EXPECT_EQ(modem.GetFragment(letters + "b[c", 152), letters + "b");
    EXPECT_EQ(modem.GetFragment("héllo", 3), "hél"); // characters, not bytes
    modem.CharWidth = 8;
    EXPECT_EQ(modem.GetFragment(letters + "[bc", 152), letters + "[");
    modem.CharWidth = 16;
    EXPECT_EQ(modem.GetFragment("abc", 152), "16 bit chars not implemented");
    modem.CharWidth = 9;
    EXPECT_EQ(modem.GetFragment("abc", 152), "");
}
