// The driver against vesk-modemsim on a real pseudo-terminal, in real time with short time-outs.
#include "modem/GSMModem.h"
#include "modem/ModemGuide.h"

#include "ShiftedClock.h"
#include "SimProcess.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>
#include <sstream>
#include <tuple>

using namespace vesk;
using namespace vesk::modem;
using vesk::testing::SimProcess;

namespace {

class SimTest : public ::testing::Test
{
protected:
    void open(SimProcess& sim)
    {
        modem.CommandTimeout = 1000;
        modem.SendMessageTimeout = 3000;
        modem.ListMessageTimeout = 3000;
        modem.DeleteMessageTimeout = 1000;
        modem.SetLogging(true);
        modem.SetLogFilename(dir.file("modemlog.txt"));
        ASSERT_TRUE(modem.OpenPort(sim.path(), "9600,N,8,1"));
    }

    vesk::testing::TempDir dir;
    vesk::testing::ShiftedClock clock;
    NullPump pump;
    GSMModem modem {clock, pump};
};

GSMMessage sms(const std::string& text, const std::string& to = "+15550123")
{
    GSMMessage message;
    message.Address = to;
    message.Text = text;
    return message;
}

std::string letters(std::size_t n)
{
    std::string text;
    for (std::size_t i = 0; i < n; ++i)
        text += static_cast<char>('a' + i % 26);
    return text;
}

struct RecordingStatusBar final : StatusDisplay
{
    void SetPanelText(int panel, const std::string& text) override
    {
        texts.push_back(std::to_string(panel) + ":" + text);
    }
    void Refresh() override { }
    std::vector<std::string> texts;
};

// What the readers made of the modem's replies, in one line: text mode offered, mode, SIM ready,
// battery, signal, registration, network, memory readable, message count, reports enabled.
std::string readings(GSMModem& m)
{
    auto yes = [](bool b) { return b ? "yes " : "no "; };
    std::ostringstream line; // the reports are enabled last: they change what the modem says
    line << yes(m.IsTextModeSupported()) << m.GetMode() << " " << yes(m.IsSIMOkay()) << m.BatteryLevel()
         << " " << m.SignalLevel() << " " << m.NetworkRegistration() << " " << m.Network() << " "
         << yes(m.IsMessageMemoryReadable()) << m.MessageCount() << " " << yes(m.EnableMessageReports(true));
    return line.str();
}

} // namespace

TEST_F(SimTest, InterrogationReadsEachReplyShape)
{
    struct Case
    {
        const char* name;
        std::vector<std::string> options;
        std::string readings; // the message count after two messages and one report were stored
        std::string reportCommand;
    };
    const std::vector<Case> cases = {
        {"list offer, three memory groups, long operator name", {},
            "yes PDU yes 80 58 1 \"Simnet\" yes 3 yes ", "AT+CNMI=1,,,2"},
        {"range offer, two memory groups, numeric operator",
            {"--cmgf-offer", "(0-1)", "--cpms-groups", "2", "--cops-format", "2", "--numeric", "27201",
                "--signal", "31", "--creg", "5", "--battery", "55", "--cnmi-offer",
                "(0-2),(0-3),(0,2),(0,1),(0,1)", "--pin", "SIM PIN", "--report-memory", "SR"},
            "no PDU no 55 100 5 01 yes 2 yes ", "AT+CNMI=1,,,1"},
        {"no text mode, no operator, no battery, no reports",
            {"--cmgf-offer", "(0)", "--cops-format", "none", "--battery", "-1", "--cnmi-offer",
                "(0,1,2),(0,1),(0,2),(0),(1)", "--signal", "99", "--creg", "2", "--cpms-offer", "(),(),()",
                "--mode", "1"},
            "no > yes -1 319 2 ? no 3 no ", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SimProcess sim(c.options);
        open(sim);
        sim.control("deliver +447700900123 first");
        sim.control("deliver +447700900123 second");
        sim.control("report 5 +447700900456 0");
        EXPECT_EQ(readings(modem), c.readings);
        EXPECT_EQ(modem.ServiceCentre(), "+447785016005"); // model and IMEI: the core gateway start
        EXPECT_EQ(modem.GetSelectedMemory(), "SM");
        if (!c.reportCommand.empty()) {
            EXPECT_EQ(sim.countInTranscript(c.reportCommand), 1);
        }
        EXPECT_TRUE(modem.SelectMemory("ME"));
        EXPECT_EQ(modem.GetSelectedMemory(), "ME");
        modem.CommandTimeout = 300; // a refusal with a cause number waits the time-out out
        EXPECT_FALSE(modem.SelectMemory("XX"));
        modem.CommandTimeout = 1000;
        EXPECT_TRUE(modem.ATI(3).ends_with("OK\r\n"));
        modem.ClosePort();
    }
}

TEST_F(SimTest, ErrorWaitsTheTimeOutSplitReplyIsWholeAndSerialIsAskedUntilRead)
{
    SimProcess sim;
    open(sim);
    sim.control("fault cms 500");
    modem.CommandTimeout = 400;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(modem.IsSIMOkay());
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(400));
    modem.LogFlush();
    EXPECT_NE(vesk::testing::ReadFile(dir.file("modemlog.txt")).find("AT+CPIN?\r\r\n+CMS ERROR: 500\r\n"),
        std::string::npos);

    sim.control("fault error");
    EXPECT_EQ(modem.IMEI(), ""); // not kept: asked again until it is read
    sim.control("fault clear");
    modem.CommandTimeout = 1000;
    sim.control("fault split 250");
    EXPECT_EQ(modem.Model(), "VESK-SIM 900");
    EXPECT_EQ(modem.IMEI(), "356938035643809");
    EXPECT_EQ(modem.IMEI(), "356938035643809");
    EXPECT_EQ(sim.countInTranscript("AT+CGSN"), 2);
}

TEST_F(SimTest, FindModemProbesFromTheLastPortAndStopsAtTheFirstAnswerAsTheGuideDoes)
{
    SimProcess first({"--model", "FIRST"});
    SimProcess second({"--model", "SECOND"});
    modem.CommandTimeout = 600; // a silent port costs two of these
    modem.SetLogging(true);
    modem.SetLogFilename(dir.file("modemlog.txt"));
    modem.Port().SetPortList({first.path(), second.path()});
    RecordingStatusBar bar;
    EXPECT_EQ(modem.FindModem("9600,N,8,1", &bar), second.path());
    EXPECT_FALSE(modem.IsPortOpen());
    EXPECT_EQ(bar.texts, std::vector<std::string>({"3:Looking for a GSM device on " + second.path()}));
    EXPECT_TRUE(first.control("transcript").empty());

    second.control("fault silent");
    bar.texts.clear();
    EXPECT_EQ(modem.FindModem("9600,N,8,1", &bar), first.path());
    EXPECT_EQ(bar.texts.size(), 2u);
    EXPECT_EQ(first.countInTranscript("AT+CGMM"), 1);
    EXPECT_EQ(DetectModemModel(clock, pump, first.path()), "FIRST"); // the port the user named is tried too

    first.control("fault silent");
    EXPECT_EQ(modem.FindModem("9600,N,8,1", nullptr), "");
    modem.LogFlush();
    const std::string log = vesk::testing::ReadFile(dir.file("modemlog.txt"));
    EXPECT_NE(log.find("Autodetecting on port [" + second.path() + "]\r\n"), std::string::npos);
    EXPECT_NE(log.find("Found " + second.path() + "\r\n"), std::string::npos);
    EXPECT_NE(log.find("Autodetection complete.\r\n"), std::string::npos);
}

// The modem log holds the whole exchange of a send, the set-up before it included.
TEST_F(SimTest, SingleMessagesReturnTheModemsReferenceAndAreLogged)
{
    SimProcess sim({"--first-reference", "42"});
    open(sim);
    modem.Model();
    GSMMessage pdu = sms("hello");
    EXPECT_EQ(modem.SendSMS(pdu), 42);
    EXPECT_EQ(pdu.id, 42);
    EXPECT_EQ(pdu.ModemResult, "+CMGS: 42\r\n\r\nOK");

    ASSERT_TRUE(modem.TextMode(true));
    GSMMessage text = sms("hello from text mode", "+15550124");
    EXPECT_EQ(modem.SendSMS(text), 43);

    const auto units = sim.control("sent");
    ASSERT_EQ(units.size(), 2u);
    EXPECT_EQ(SimProcess::field(units[0], "to"), "+15550123");
    EXPECT_EQ(SimProcess::field(units[0], "report"), "1");
    EXPECT_EQ(SimProcess::field(units[0], "text"), "hello");
    EXPECT_EQ(SimProcess::field(units[1], "mode"), "text");
    EXPECT_EQ(SimProcess::field(units[1], "text"), "hello from text mode");

    modem.LogFlush();
    const std::string log = vesk::testing::ReadFile(dir.file("modemlog.txt"));
    // Opening ends any message entry a console that died left behind, then turns echo off.
    EXPECT_TRUE(std::regex_search(log,
        std::regex(
            "^\\d\\d\\.\\d\\d \\d\\d:\\d\\d:\\d\\d Ending any message entry before set-up\r\n[^\n]*<ESC>\r\n"
            "[^\n]*AT\r\r\nOK\r\n[^\n]*Message entry ended\r\n[^\n]* ATE0\r")));
    EXPECT_TRUE(std::regex_search(
        log, std::regex("\\d\\d\\.\\d\\d \\d\\d:\\d\\d:\\d\\d AT\\+CGMM\r\r\nVESK-SIM 900\r\n\r\nOK\r\n")));
    EXPECT_NE(
        log.find("AT+CMGS=16\r\r\n> 002100089151551032000005E8329BFD06<CTRL-Z>\r\r\n+CMGS: 42\r\n\r\nOK\r\n"),
        std::string::npos);
}

// Sent from text mode, as the hardest case: the parts go out in PDU mode, then the mode is restored.
// The console's own long send from PDU mode is the core gateway test's.
TEST_F(SimTest, LongMessageGoesOutInJoinedPartsInPduModeAndTheModeIsRestored)
{
    SimProcess sim({"--first-reference", "7"});
    open(sim);
    ASSERT_TRUE(modem.TextMode(true));
    modem.MaxMessageSize = 400;
    GSMMessage message = sms(letters(400));
    EXPECT_EQ(modem.SendSMS(message), 9);
    EXPECT_EQ(message.ModemResult, "+CMGS: 9\r\n\r\nOK");
    EXPECT_EQ(message.FragmentCount, 3);
    EXPECT_TRUE(modem.IsTextMode());
    EXPECT_EQ(modem.GetMode(), ">");

    const auto units = sim.control("sent");
    ASSERT_EQ(units.size(), 3u);
    const char* headers[] = {"050003000301", "050003000302", "050003000303"};
    const std::size_t septets[] = {152, 152, 96};
    for (std::size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(units[i]);
        EXPECT_EQ(SimProcess::field(units[i], "udh"), headers[i]);
        EXPECT_EQ(SimProcess::field(units[i], "text").size(), septets[i]);
        EXPECT_EQ(SimProcess::field(units[i], "report"), i == 2 ? "1" : "0");
    }
    const auto transcript = sim.control("transcript");
    const auto at = [&](const std::string& line) {
        return std::find(transcript.begin(), transcript.end(), line) - transcript.begin();
    };
    EXPECT_LT(at("AT+CMGF=0"), at("AT+CMGS=159"));
    EXPECT_EQ(sim.countInTranscript("AT+CMGF=1"), 2);

    sim.control("reply AT+CMGF=0 \\r\\nERROR\\r\\n");
    GSMMessage refused = sms(letters(400));
    EXPECT_EQ(modem.SendSMS(refused), -1);
    EXPECT_NE(refused.ModemResult.find("refused"), std::string::npos);
    EXPECT_EQ(sim.control("sent").size(), 3u);
}

// Deleting what was read is the core gateway test's (the modem's memory ends empty).
TEST_F(SimTest, RefusedPromptSendsNoBodyAndARefusedDeleteFails)
{
    SimProcess sim;
    open(sim);
    modem.DeleteMessageTimeout = 300;
    EXPECT_FALSE(modem.DeleteMessage(99)); // no such entry
    sim.control("fault refuse-send 302");
    modem.CommandTimeout = 300;
    GSMMessage message = sms("never sent");
    EXPECT_EQ(modem.SendSMS(message), -1);
    EXPECT_EQ(message.ModemResult, "");
    for (const auto& line : sim.control("transcript"))
        EXPECT_EQ(line.rfind("<body>", 0), std::string::npos) << line;
    EXPECT_TRUE(sim.control("sent").empty());
}

// Either mode lists a received message, then the report of a send, in memory order; a message
// listed once is read the next time.
TEST_F(SimTest, ListingGivesMessagesAndReportsOfSendsInBothModes)
{
    for (const bool textMode : {false, true}) {
        SCOPED_TRACE(textMode ? "text mode" : "PDU mode");
        SimProcess sim({"--first-reference", "33", "--report-status", "0"});
        open(sim);
        ASSERT_TRUE(modem.TextMode(textMode));
        sim.control("deliver +447700900123 Meet at 8");
        GSMMessage sent = sms("please confirm");
        ASSERT_EQ(modem.SendSMS(sent), 33);
        if (textMode) // a text-mode send asks for no report
            sim.control("report 33 +15550123 0");
        const auto records = modem.ReadMessages();
        ASSERT_TRUE(records.has_value()) << modem.LastListingError();
        ASSERT_EQ(records->size(), 2u);
        const GSMMessage &message = (*records)[0], &report = (*records)[1];
        EXPECT_EQ(std::tuple(message.MessageType, message.MemoryIndex, message.ReadStatus, message.Address,
                      message.Text),
            std::tuple(0, 1, 0, "+447700900123", "Meet at 8"));
        EXPECT_FALSE(message.Time.isZero());
        EXPECT_EQ(std::tuple(report.MessageType, report.MemoryIndex, report.id, report.Address,
                      report.DeliveryStatus),
            std::tuple(1, 2, 33, "+15550123", 0));
        EXPECT_FALSE(report.DeliveryTime.isZero());
        if (!textMode) {
            EXPECT_EQ(message.Time, message.DeliveryTime);
        }
        EXPECT_EQ(modem.ReadMessages().value().at(0).ReadStatus, 1);
        modem.ClosePort();
    }
}

TEST_F(SimTest, EmptyErrorAndMalformedListings)
{
    SimProcess sim;
    open(sim);
    auto empty = modem.ReadMessages();
    ASSERT_TRUE(empty.has_value());
    EXPECT_TRUE(empty->empty());

    sim.control("fault error");
    EXPECT_FALSE(modem.ReadMessages().has_value());
    sim.control("fault clear");

    ASSERT_TRUE(modem.TextMode(true));
    sim.control("reply AT+CMGL=\"ALL\" \\r\\n+CMGL: x,\"REC READ\"\\r\\n\\r\\nOK\\r\\n");
    ASSERT_TRUE(modem.ReadMessages().has_value());
    ASSERT_EQ(modem.UnreadableEntries().size(), 1u);
    EXPECT_EQ(modem.UnreadableEntries()[0].index, -1);
}

TEST_F(SimTest, DroppedLineFailsQuietly)
{
    SimProcess sim;
    open(sim);
    modem.CommandTimeout = 300;
    modem.ListMessageTimeout = 300;
    sim.control("fault drop");
    EXPECT_FALSE(modem.IsModemPresent());
    GSMMessage message = sms("lost");
    EXPECT_EQ(modem.SendSMS(message), -1);
    EXPECT_FALSE(modem.ReadMessages().has_value());
    EXPECT_FALSE(modem.DeleteMessage(1));
}

TEST_F(SimTest, LongInboundMessageIsListedPartByPart)
{
    SimProcess sim;
    open(sim);
    EXPECT_EQ(sim.control("deliver +447700900123 " + letters(200)), std::vector<std::string>({"stored 2"}));
    const auto records = modem.ReadMessages();
    ASSERT_TRUE(records.has_value()) << modem.LastListingError();
    ASSERT_EQ(records->size(), 2u);
    // Parts are not joined, and the header is read as the start of the text.
    EXPECT_EQ((*records)[0].Text.size(), 160u);
    EXPECT_EQ((*records)[0].Text.substr(7), letters(153));
    EXPECT_EQ((*records)[1].Text.size(), 54u);
}

TEST_F(SimTest, CommandLineClientInjectsIntoARunningSimulator)
{
    SimProcess sim;
    open(sim);
    const std::string client = std::string(VESK_BIN_DIR "/vesk-modemsim --send ") + sim.controlSocket();
    EXPECT_EQ(std::system((client + " deliver +447700900123 sent by hand >/dev/null").c_str()), 0);
    EXPECT_NE(std::system((client + " no-such-command >/dev/null").c_str()), 0);
    const auto records = modem.ReadMessages();
    ASSERT_TRUE(records.has_value());
    ASSERT_EQ(records->size(), 1u);
    EXPECT_EQ((*records)[0].Text, "sent by hand");
}
