#include "modem/AtReplies.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>

using namespace vesk::modem;

namespace {

std::string flag(bool b)
{
    return b ? "yes" : "no";
}

// Every reader with its result as text; "raises" when it throws. A reply shape met on a real
// modem is one line in the table below.
std::string readWith(const std::string& reader, const std::string& reply)
{
    using Read = std::function<std::string(const std::string&)>;
    static const std::map<std::string, Read> kReaders = {
        {"strip", [](const std::string& r) { return StripCRLF(r); }},
        {"strip all", [](const std::string& r) { return StripAllCRLF(r); }},
        {"final", [](const std::string& r) { return flag(HasFinalResult(r)); }},
        {"mode", [](const std::string& r) { return ParseMode(r); }},
        {"text offered", [](const std::string& r) { return flag(ParseTextModeSupported(r)); }},
        {"model", [](const std::string& r) { return ParseModel(r); }},
        {"imei", [](const std::string& r) { return ParseIMEI(r); }},
        {"centre", [](const std::string& r) { return ParseServiceCentre(r); }},
        {"memory", [](const std::string& r) { return ParseSelectedMemory(r); }},
        {"readable", [](const std::string& r) { return flag(ParseMemoryReadable(r)); }},
        {"count", [](const std::string& r) { return std::to_string(ParseMessageCount(r)); }},
        {"signal", [](const std::string& r) { return std::to_string(ParseSignalLevel(r)); }},
        {"battery", [](const std::string& r) { return std::to_string(ParseBatteryLevel(r)); }},
        {"registration", [](const std::string& r) { return std::to_string(ParseNetworkRegistration(r)); }},
        {"network", [](const std::string& r) { return ParseNetwork(r); }},
        {"reports",
            [](const std::string& r) {
                const ReportOffer o = ParseReportOffer(r);
                return flag(o.enabled) + " " + o.command;
            }},
        {"reference", [](const std::string& r) { return std::to_string(ParseSendReference(r)); }},
        {"time", [](const std::string& r) { return std::to_string(ParseTextTime(r)); }},
    };
    try {
        return kReaders.at(reader)(reply);
    } catch (const ModemError&) {
        return "raises";
    }
}

} // namespace

// Replies are written as the command engine hands them over: one CR LF pair gone at each end.
TEST(ReplyShapes, EachReaderGivesItsResultOrItsNeutralValue)
{
    struct Case
    {
        const char* reader;
        const char* reply;
        const char* result;
    };
    const Case cases[] = {
        {"strip", "\r\n\r\nOK\r\n\r\n", "\r\nOK\r\n"},
        {"strip", "+CPIN: READY\r\n\r\nOK", "+CPIN: READY\r\n\r\nOK"},
        {"strip all", "\r\n\r\n+CMGS: 7\r\n\r\nOK\r\n\r\n", "+CMGS: 7\r\n\r\nOK"},
        {"strip all", "\r\n", ""},
        {"final", "\r\nERROR\r\n", "yes"},
        {"final", "\r\n+CMS ERROR: 500\r\n", "no"},
        {"final", "\r\nOK", "no"}, // no line end yet
        {"mode", "ERROR", "?"},
        {"mode", "OK", "?"},
        {"text offered", "+CMGF: 0,1\r\n\r\nOK", "yes"},
        {"text offered", "+CMGF: (1)\r\n\r\nOK", "yes"},
        {"text offered", "ERROR", "no"},
        {"model", "AT+CGMM\r\r\nE173\r\n\r\nOK", "\rE173"}, // an echo the modem kept
        {"model", "ERROR", ""},
        {"imei", " 356938035643809 \r\n\r\nOK", "356938035643809 "},
        {"imei", "+CME ERROR: 10", ""},
        {"centre", "+CSCA: \"\",129\r\n\r\nOK", ""},
        {"memory", "ERROR", "?"},
        {"readable", "+CPMS: (\"SM\")\r\n\r\nOK", "no"},
        {"readable", "+CMS ERROR: 302", "no"},
        {"count", "+CPMS: \"SM\",2,20,\"ME\",5,100,\"SR\",1,10\r\n\r\nOK", "8"},
        {"count", "+CPMS: \"SR\",1,10,\"SR\",1,10\r\n\r\nOK", "2"}, // reports are added up
        {"count", "+CPMS: \"SM\",4,30,\"ME\",6,100\r\n\r\nOK", "10"}, // two groups
        {"count", "+CPMS: \"BM\",4,30,\"TA\",6,100\r\n\r\nOK", "0"}, // memories the console does not read
        {"count", "+CPMS: \"MT\", 0, 100, \"MT\", 0, 100, \"MT\", 0, 100\r\n\r\nOK", "0"},
        {"count", "+CPMS: ,,,,,,,,\r\n\r\nOK", "0"},
        {"count", "ERROR", "0"},
        {"signal", "+CSQ: 0,0\r\n\r\nOK", "0"},
        {"signal", "+CSQ: ,\r\n\r\nOK", "-1"},
        {"signal", "ERROR", "-1"},
        {"battery", "+CBC: 0\r\n\r\nOK", "raises"},
        {"registration", "+CME ERROR: 30", "0"},
        {"registration", "+CREG: 1\r\n\r\nOK", "raises"},
        {"network", "+COPS: 0,1,\"TMO\"\r\n\r\nOK", "0,1,\"TMO\""}, // other formats: the whole text
        {"network", "ERROR", "?"},
        {"reports", "+CNMI: (0-3),(0-3),(0-3),(3),(0,1)\r\n\r\nOK", "yes "},
        {"reports", "ERROR", "no "},
        {"reports", "+CNMI: (0-2),(0-3)\r\n\r\nOK", "raises"},
        {"reference", "+CMGS: 7", "-1"}, // no final OK yet
        {"reference", "+CMGS: 7\r\n\r\n+CMS ERROR: 500", "-1"},
        {"time", "12:01:00+08", "50460"}, // the zone is added to the time of day
        {"time", "12:01:30", "43290"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.reader) + ": " + c.reply);
        EXPECT_EQ(readWith(c.reader, c.reply), c.result);
    }
    EXPECT_EQ(ParseTextDate("26/03/05"), vesk::DateTime::fromParts(2026, 3, 5));
    EXPECT_TRUE(ParseTextDate("junk").isZero());
}

// Kinds, numbers and texts of a listing are read through the simulator; here the times a real
// modem writes, and the shapes it does not.
TEST(TextListing, TimesCarryTheirZoneAndAShortEntryKeepsItsFirstLine)
{
    const std::string listing
        = "+CMGL: 1,\"REC UNREAD\",\"+447700900123\",,\"26/03/05,12:01:00-04\"\r\n"
          "Meet at 8\r\n"
          "+CMGL: 2,\"REC "
          "READ\",6,17,\"+447700900456\",145,\"26/03/05,12:00:00+00\",\"26/03/05,12:00:05+00\",0\r\n"
          "+CMGL: 4,\"STO SENT\",\"0123\",\r\nfirst line\r\nsecond line\r\n"
          "+CMGL: 5,\"REC READ\"\r\n+CMGL: 6,\"REC READ\",6,17,\"+44\""; // too short, a report without fields
    std::vector<UnreadableEntry> bad;
    const auto records = ReadTextMode(listing, &bad);
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(bad.size(), 2u);
    EXPECT_EQ(records[0].Time, vesk::DateTime::fromParts(2026, 3, 5, 11, 1, 0));
    EXPECT_EQ(records[1].DeliveryTime, vesk::DateTime::fromParts(2026, 3, 5, 12, 0, 5));
    EXPECT_EQ(records[2].ReadStatus, 2);
    EXPECT_TRUE(records[2].Time.isZero());
    EXPECT_EQ(records[2].Text, "first line");
}

// Unsolicited lines wherever a modem puts them: what is left is the reply as it would have been.
// The simulator's floods put them before answers and inside listings in the fault runs.
TEST(ReplyFraming, UnsolicitedLinesAreSetAsideWhereverTheyArrive)
{
    struct Case
    {
        const char* where;
        const char* command;
        bool textMode;
        const char* raw;
        const char* reply;
        std::vector<std::string> setAside;
        bool announces;
    };
    const Case cases[] = {
        {"idle, unframed", "AT", false, "+CREG: 1\r\n\r\nOK\r\n", "\r\nOK\r\n", {"+CREG: 1"}, false},
        {"before the prompt", "AT+CMGS=23", false, "\r\n+CMTI: \"SM\",3\r\n\r\n> ", "\r\n> ",
            {"+CMTI: \"SM\",3"}, true},
        {"after the final result", "AT+CMGS=23", false, "\r\n+CMGS: 4\r\n\r\nOK\r\n\r\n+CDSI: \"SM\",9\r\n",
            "\r\n+CMGS: 4\r\n\r\nOK\r\n", {"+CDSI: \"SM\",9"}, true},
        {"two in a row", "AT", false, "\r\n^RSSI:12\r\n\r\nNO CARRIER\r\n\r\nOK\r\n", "\r\nOK\r\n",
            {"^RSSI:12", "NO CARRIER"}, false},
        {"a routed message takes its unit", "AT", false, "\r\n+CMT: ,24\r\n07914477581006500\r\n\r\nOK\r\n",
            "\r\nOK\r\n", {"+CMT: ,24", "07914477581006500"}, true},
        {"message text saying RING", "AT+CMGL=\"ALL\"", true,
            "\r\n+CMGL: 1,\"REC READ\",\"+4477\",,\"26/03/05,12:01:00+00\"\r\nRING\r\n\r\nOK\r\n",
            "\r\n+CMGL: 1,\"REC READ\",\"+4477\",,\"26/03/05,12:01:00+00\"\r\nRING\r\n\r\nOK\r\n", {}, false},
        {"a line still arriving", "AT", false, "\r\nOK\r\n\r\n+CMT", "\r\nOK\r\n\r\n+CMT", {}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.where);
        const FramedReply framed = SetAsideUnsolicited(c.raw, c.command, c.textMode);
        EXPECT_EQ(framed.reply, c.reply);
        EXPECT_EQ(framed.unsolicited, c.setAside);
        EXPECT_EQ(framed.announcesMessage, c.announces);
    }
}

// Each entry of a listing is read on its own; the ones that cannot be are named with their index.
TEST(ReplyFraming, BadListingEntriesAreCollectedBesideTheGoodOnes)
{
    const std::string good = "079144775810065004069121436500006221502110000005C8329BFD06";
    std::vector<UnreadableEntry> bad;
    const auto records = ReadPDUMode("+CMGL: 1,0,,24\r\n" + good
            + "\r\n+CMGL: 2,0,,25\r\n0791447758100650040\r\n"
              "+CMGL: 3,0,,0\r\n+CMGL: 4,1,,24\r\n"
            + good + "\r\n+CMGL: 5,0,,24",
        &bad);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].MemoryIndex, 1);
    EXPECT_EQ(records[1].MemoryIndex, 4);
    ASSERT_EQ(bad.size(), 3u);
    EXPECT_EQ(bad[0].index, 2);
    EXPECT_EQ(bad[0].raw, "+CMGL: 2,0,,25\r\n0791447758100650040");
    EXPECT_EQ(bad[1].index, 3);
    EXPECT_EQ(bad[1].raw, "+CMGL: 3,0,,0");
    EXPECT_EQ(bad[2].raw, "+CMGL: 5,0,,24"); // the listing ends after a header
}
