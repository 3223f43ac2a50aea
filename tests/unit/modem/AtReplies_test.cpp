#include "modem/AtReplies.h"

#include <gtest/gtest.h>

using namespace vesk::modem;

// Replies are written as the command engine hands them over: one CR LF pair gone at each end.

TEST(ReplyShapes, StripCRLFRemovesOnePairAtEachEndOnly)
{
    EXPECT_EQ(StripCRLF("\r\n\r\nOK\r\n\r\n"), "\r\nOK\r\n");
    EXPECT_EQ(StripCRLF("+CPIN: READY\r\n\r\nOK"), "+CPIN: READY\r\n\r\nOK");
    EXPECT_EQ(StripAllCRLF("\r\n\r\n+CMGS: 7\r\n\r\nOK\r\n\r\n"), "+CMGS: 7\r\n\r\nOK");
    EXPECT_EQ(StripAllCRLF("\r\n"), "");
}

TEST(ReplyShapes, FinalResultNeedsItsLineEnd)
{
    EXPECT_TRUE(HasFinalResult("\r\n+CSQ: 1,2\r\n\r\nOK\r\n"));
    EXPECT_TRUE(HasFinalResult("\r\nERROR\r\n"));
    EXPECT_FALSE(HasFinalResult("\r\n+CMS ERROR: 500\r\n"));
    EXPECT_FALSE(HasFinalResult("\r\nOK"));
}

TEST(ReplyShapes, MessageFormatQuery)
{
    EXPECT_EQ(ParseMode("+CMGF: 0\r\n\r\nOK"), "PDU");
    EXPECT_EQ(ParseMode("+CMGF: 1\r\n\r\nOK"), ">");
    EXPECT_EQ(ParseMode("ERROR"), "?");
    EXPECT_EQ(ParseMode("OK"), "?");
}

TEST(ReplyShapes, TextModeOfferIsAListNotARange)
{
    struct Case
    {
        const char* reply;
        bool supported;
    };
    const Case cases[] = {
        {"+CMGF: (0,1)\r\n\r\nOK", true},
        {"+CMGF: (0-1)\r\n\r\nOK", false}, // a range is not read as offering 1
        {"+CMGF: (0)\r\n\r\nOK", false},
        {"+CMGF: 0,1\r\n\r\nOK", true},
        {"+CMGF: (1)\r\n\r\nOK", true},
        {"ERROR", false},
        {"", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reply);
        EXPECT_EQ(ParseTextModeSupported(c.reply), c.supported);
    }
}

TEST(ReplyShapes, SimReadyOnlyWhenReady)
{
    EXPECT_TRUE(ParseSIMOkay("+CPIN: READY\r\n\r\nOK"));
    EXPECT_FALSE(ParseSIMOkay("+CPIN: SIM PIN\r\n\r\nOK"));
    EXPECT_FALSE(ParseSIMOkay("+CME ERROR: 10"));
    EXPECT_FALSE(ParseSIMOkay(""));
}

TEST(ReplyShapes, ModelAndSerialNumber)
{
    EXPECT_EQ(ParseModel("MULTIBAND  900E  1800\r\n\r\nOK"), "MULTIBAND  900E  1800");
    EXPECT_EQ(ParseModel("AT+CGMM\r\r\nE173\r\n\r\nOK"), "\rE173"); // an echo the modem kept
    EXPECT_EQ(ParseModel("ERROR"), "");
    EXPECT_EQ(ParseModel(""), "");
    EXPECT_EQ(ParseIMEI("356938035643809\r\n\r\nOK"), "356938035643809");
    EXPECT_EQ(ParseIMEI(" 356938035643809 \r\n\r\nOK"), "356938035643809 ");
    EXPECT_EQ(ParseIMEI("+CME ERROR: 10"), "");
}

TEST(ReplyShapes, ServiceCentreNumberWithoutType)
{
    EXPECT_EQ(ParseServiceCentre("+CSCA: \"+447785016005\",145\r\n\r\nOK"), "+447785016005");
    EXPECT_EQ(ParseServiceCentre("+CSCA: \"\",129\r\n\r\nOK"), "");
    EXPECT_EQ(ParseServiceCentre("ERROR"), "");
}

TEST(ReplyShapes, MemoryQueries)
{
    EXPECT_EQ(ParseSelectedMemory("+CPMS: \"ME\",1,100,\"SM\",0,30,\"SM\",0,30\r\n\r\nOK"), "ME");
    EXPECT_EQ(ParseSelectedMemory("ERROR"), "?");
    EXPECT_TRUE(ParseMemoryReadable("+CPMS: (\"SM\",\"ME\"),(\"SM\",\"ME\"),(\"SM\")\r\n\r\nOK"));
    EXPECT_FALSE(ParseMemoryReadable("+CPMS: (),(),()\r\n\r\nOK"));
    EXPECT_FALSE(ParseMemoryReadable("+CPMS: (\"SM\")\r\n\r\nOK"));
    EXPECT_FALSE(ParseMemoryReadable("+CMS ERROR: 302"));
}

TEST(ReplyShapes, MessageCountAddsEachMemoryOnce)
{
    struct Case
    {
        const char* reply;
        int count;
    };
    const Case cases[] = {
        {"+CPMS: \"SM\",2,20,\"ME\",5,100,\"SR\",1,10\r\n\r\nOK", 8},
        {"+CPMS: \"SM\",3,30,\"SM\",3,30,\"SM\",3,30\r\n\r\nOK", 3}, // one memory named three times
        {"+CPMS: \"SR\",1,10,\"SR\",1,10\r\n\r\nOK", 2}, // reports are added up
        {"+CPMS: \"SM\",4,30,\"ME\",6,100\r\n\r\nOK", 10}, // two groups
        {"+CPMS: \"BM\",4,30,\"TA\",6,100\r\n\r\nOK", 0}, // memories the console does not read
        {"+CPMS: \"MT\", 0, 100, \"MT\", 0, 100, \"MT\", 0, 100\r\n\r\nOK", 0},
        {"+CPMS: ,,,,,,,,\r\n\r\nOK", 0},
        {"ERROR", 0},
        {"OK", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reply);
        EXPECT_EQ(ParseMessageCount(c.reply), c.count);
    }
}

TEST(ReplyShapes, SignalLevelInPercent)
{
    struct Case
    {
        const char* reply;
        int percent;
    };
    const Case cases[] = {
        {"+CSQ: 18,99\r\n\r\nOK", 58},
        {"+CSQ: 0,0\r\n\r\nOK", 0},
        {"+CSQ: 15,99\r\n\r\nOK", 48},
        {"+CSQ: 20,99\r\n\r\nOK", 65},
        {"+CSQ: 31,0\r\n\r\nOK", 100},
        {"+CSQ: 99,99\r\n\r\nOK", 319}, // "not detectable" is shown as it comes
        {"+CSQ:4,0\r\n\r\nOK", 13},
        {"+CSQ: ,\r\n\r\nOK", -1},
        {"ERROR", -1},
        {"OK", -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reply);
        EXPECT_EQ(ParseSignalLevel(c.reply), c.percent);
    }
}

TEST(ReplyShapes, BatteryAndRegistrationRaiseOnlyForAMissingField)
{
    EXPECT_EQ(ParseBatteryLevel("+CBC: 0,85\r\n\r\nOK"), 85);
    EXPECT_EQ(ParseBatteryLevel("ERROR"), -1);
    EXPECT_THROW(ParseBatteryLevel("+CBC: 0\r\n\r\nOK"), ModemError);
    EXPECT_EQ(ParseNetworkRegistration("+CREG: 0,1\r\n\r\nOK"), 1);
    EXPECT_EQ(ParseNetworkRegistration("+CREG: 2,5,\"84CD\",\"00D30173\"\r\n\r\nOK"), 5);
    EXPECT_EQ(ParseNetworkRegistration("+CME ERROR: 30"), 0);
    EXPECT_THROW(ParseNetworkRegistration("+CREG: 1\r\n\r\nOK"), ModemError);
}

TEST(ReplyShapes, OperatorByFormat)
{
    struct Case
    {
        const char* reply;
        const char* network;
    };
    const Case cases[] = {
        {"+COPS: 0,0,\"MTN\",2\r\n\r\nOK", "\"MTN\""}, // long name keeps its quotes
        {"+COPS: 0,2,\"27201\"\r\n\r\nOK", "01"}, // numeric without the country code
        {"+COPS: 0,1,\"TMO\"\r\n\r\nOK", "0,1,\"TMO\""}, // other formats: the whole text
        {"+COPS: 0\r\n\r\nOK", "?"},
        {"SOME RANDOM RESPONSE\r\n\r\nOK", "?"},
        {"ERROR", "?"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reply);
        EXPECT_EQ(ParseNetwork(c.reply), c.network);
    }
}

TEST(ReplyShapes, ReportOfferChoosesStoredReports)
{
    struct Case
    {
        const char* reply;
        bool enabled;
        const char* command;
    };
    const Case cases[] = {
        {"+CNMI: (0-2),(0-3),(0,2),(0-2),(0,1)\r\n\r\nOK", true, "AT+CNMI=1,,,2"},
        {"+CNMI: (0,1,2),(0,1),(0,2),(0,1),(1)\r\n\r\nOK", true, "AT+CNMI=1,,,1"},
        {"+CNMI: (0,1,2),(0,1),(0,2),(0),(1)\r\n\r\nOK", false, ""},
        {"+CNMI: (0-3),(0-3),(0-3),(3),(0,1)\r\n\r\nOK", true, ""},
        {"ERROR", false, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reply);
        const ReportOffer offer = ParseReportOffer(c.reply);
        EXPECT_EQ(offer.enabled, c.enabled);
        EXPECT_EQ(offer.command, c.command);
    }
    EXPECT_THROW(ParseReportOffer("+CNMI: (0-2),(0-3)\r\n\r\nOK"), ModemError);
}

TEST(ReplyShapes, SendReference)
{
    EXPECT_EQ(ParseSendReference("+CMGS: 12\r\n\r\nOK"), 12);
    EXPECT_EQ(ParseSendReference("+CMGS: 7\r\n\r\nOK"), 7);
    EXPECT_EQ(ParseSendReference("+CMGS: 7"), -1); // no final OK yet
    EXPECT_EQ(ParseSendReference("+CMGS: 7\r\n\r\nOK\r\n\r\n+CDSI: \"SM\",3"), 7);
    EXPECT_EQ(ParseSendReference("+CMGS: 7\r\n\r\n+CMS ERROR: 500"), -1);
    EXPECT_EQ(ParseSendReference("ERROR"), -1);
    EXPECT_EQ(ParseSendReference("+CMS ERROR: 500"), -1);
}

TEST(TextListing, TimeZoneIsAddedToTheTimeOfDay)
{
    EXPECT_EQ(ParseTextTime("12:01:00-04"), 11 * 3600 + 1 * 60);
    EXPECT_EQ(ParseTextTime("12:01:00+08"), 14 * 3600 + 1 * 60);
    EXPECT_EQ(ParseTextTime("12:01:30"), 12 * 3600 + 60 + 30);
    EXPECT_EQ(ParseTextDate("26/03/05"), vesk::DateTime::fromParts(2026, 3, 5));
    EXPECT_TRUE(ParseTextDate("junk").isZero());
}

TEST(TextListing, MessageAndReportInListingOrder)
{
    const std::string listing
        = "+CMGL: 1,\"REC UNREAD\",\"+447700900123\",,\"26/03/05,12:01:00-04\"\r\n"
          "Meet at 8\r\n"
          "+CMGL: 2,\"REC "
          "READ\",6,17,\"+447700900456\",145,\"26/03/05,12:00:00+00\",\"26/03/05,12:00:05+00\",0";
    const auto records = ReadTextMode(listing);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].MessageType, 0);
    EXPECT_EQ(records[0].MemoryIndex, 1);
    EXPECT_EQ(records[0].ReadStatus, 0);
    EXPECT_EQ(records[0].Address, "+447700900123");
    EXPECT_EQ(records[0].Text, "Meet at 8");
    EXPECT_EQ(records[0].Time, vesk::DateTime::fromParts(2026, 3, 5, 11, 1, 0));
    EXPECT_TRUE(records[0].DeliveryTime.isZero());
    EXPECT_EQ(records[1].MessageType, 1);
    EXPECT_EQ(records[1].ReadStatus, 1);
    EXPECT_EQ(records[1].id, 17);
    EXPECT_EQ(records[1].Address, "+447700900456");
    EXPECT_EQ(records[1].DeliveryTime, vesk::DateTime::fromParts(2026, 3, 5, 12, 0, 5));
    EXPECT_EQ(records[1].DeliveryStatus, 0);
    EXPECT_EQ(records[1].ErrorCode, 0);
    EXPECT_TRUE(records[1].Time.isZero());
}

TEST(TextListing, ShortHeaderGivesNoTimeAndMultiLineTextIsCut)
{
    const auto records = ReadTextMode("+CMGL: 4,\"STO SENT\",\"0123\",\r\nfirst line\r\nsecond line");
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].ReadStatus, 2);
    EXPECT_TRUE(records[0].Time.isZero());
    EXPECT_EQ(records[0].Text, "first line");
}

TEST(TextListing, MalformedEntryRaises)
{
    EXPECT_THROW(ReadTextMode("+CMGL: x,\"REC READ\",\"+1\",,\"26/03/05,12:01:00\"\r\ntext"), ModemError);
    EXPECT_THROW(ReadTextMode("+CMGL: 1,\"REC READ\""), ModemError);
    EXPECT_THROW(ReadTextMode("+CMGL: 2,\"REC READ\",6,17,\"+44\""), ModemError); // report without its fields
}

TEST(PduListing, EntriesByStatusAndType)
{
    // A received message (status 1) and a stored, sent submit (status 3).
    const std::string listing = "+CMGL: 1,1,,24\r\n"
                                "0791447758100650040691214365000062215021100000"
                                "05C8329BFD06\r\n"
                                "+CMGL: 2,3,,17\r\n"
                                "002100089151551032000005E8329BFD06";
    const auto records = ReadPDUMode(listing);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].MemoryIndex, 1);
    EXPECT_EQ(records[0].ReadStatus, 1);
    EXPECT_EQ(records[0].MessageType, 0);
    EXPECT_EQ(records[0].Address, "+123456");
    EXPECT_EQ(records[0].Text, "Hello");
    EXPECT_EQ(records[1].ReadStatus, 2);
    EXPECT_EQ(records[1].MessageType, 2);
}

TEST(PduListing, HeaderWithoutUnitEndsTheListing)
{
    EXPECT_THROW(ReadPDUMode("+CMGL: 1,0,,24"), ModemError);
    EXPECT_THROW(ReadPDUMode("+CMGL: 1,0,,24\r\n0791"), ModemError);
    EXPECT_TRUE(ReadPDUMode("something else\r\n").empty());
}
