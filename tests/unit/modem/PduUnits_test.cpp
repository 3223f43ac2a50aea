#include "modem/GSMCharset.h"
#include "modem/PduUnits.h"

#include "support/DateTime.h"

#include <gtest/gtest.h>

#include <string>

using vesk::DateTime;
using namespace vesk::modem;

namespace {

// Fields of a built SMS-SUBMIT, found by walking its layout.
struct SubmitFields
{
    int firstOctet = 0;
    std::string addressField;
    std::string validity;
    int userDataLength = 0;
    std::string userData;
};

SubmitFields splitSubmit(const std::string& pdu)
{
    SubmitFields f;
    std::size_t pos = 2; // service-centre field "00"
    f.firstOctet = PDUEncoder::OctetDecode(pdu.substr(pos, 2));
    pos += 4; // first octet and message reference
    const int width = PDUEncoder::AddressFieldWidth(pdu.substr(pos));
    f.addressField = pdu.substr(pos, static_cast<std::size_t>(width));
    pos += static_cast<std::size_t>(width) + 4; // protocol identifier and coding scheme
    if ((f.firstOctet & 0x18) == 0x18) {
        f.validity = pdu.substr(pos, 14);
        pos += 14;
    }
    f.userDataLength = PDUEncoder::OctetDecode(pdu.substr(pos, 2));
    f.userData = pdu.substr(pos + 2);
    return f;
}

// An SMS-DELIVER as a modem would list it, from the parts of a submit (the address field turns
// from destination to originator).
std::string deliverFrom(const SubmitFields& f, DateTime stamp)
{
    std::string pdu = "0004" + f.addressField + "0000" + PDUEncoder::GSMTimeStamp(stamp, 0);
    pdu += HexByte(f.userDataLength) + f.userData;
    return pdu;
}

std::string statusReportFor(
    int reference, const std::string& addressField, DateTime centreTime, DateTime dischargeTime, int status)
{
    return "0006" + HexByte(reference) + addressField + PDUEncoder::GSMTimeStamp(centreTime, 0)
        + PDUEncoder::GSMTimeStamp(dischargeTime, 0) + HexByte(status);
}

} // namespace

TEST(SubmitUnit, WholeUnits)
{
    const DateTime expiry = DateTime::fromParts(2026, 12, 31, 23, 59, 30);
    struct Case
    {
        const char* name;
        std::string destination;
        DateTime expiry;
        bool report;
        std::string header;
        int charWidth;
        std::string pdu;
    };
    const Case cases[] = {
        {"single", "+15550123", DateTime(), true, "", 7, "002100089151551032000005E8329BFD06"},
        {"part 1 of 2 with fill bit", "+15550123", DateTime(), false, "050003000201", 7,
            "00410008915155103200000C050003000201D06536FB0D"},
        {"absolute expiry", "+15550123", expiry, true, "", 7,
            "00390008915155103200006221133295030005E8329BFD06"},
        {"8-bit width changes only the coding scheme", "+15550123", DateTime(), true, "", 8,
            "002100089151551032000405E8329BFD06"},
        {"odd-digit national number", "1555012", DateTime(), true, "", 7,
            "0021000781515510F2000005E8329BFD06"},
        {"| counts as two septets, 27 and 64", "+15550123", DateTime(), true, "", 7,
            "0021000891515510320000021B20"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string text = ToGSMCharset(c.name[0] == '|' ? "|" : "hello");
        EXPECT_EQ(BuildSubmitPDU(c.destination, text, c.expiry, c.report, c.header, c.charWidth), c.pdu);
    }
    EXPECT_EQ(SemiOctets(""), "");
}

TEST(SubmitUnit, FirstOctetFollowsReportExpiryAndHeader)
{
    const DateTime expiry = DateTime::fromParts(2027, 1, 1);
    const DateTime beforeZero = DateTime().addDays(-1);
    struct Case
    {
        const char* name;
        DateTime expiry;
        bool report;
        std::string header;
        std::string firstTwo;
    };
    const Case cases[] = {
        {"single, expiry", expiry, true, "", "0039"},
        {"part", DateTime(), false, "050003000301", "0041"},
        {"part, expiry", expiry, false, "050003000302", "0059"},
        {"last part", DateTime(), true, "050003000303", "0061"},
        {"last part, expiry", expiry, true, "050003000303", "0079"},
        {"no report", DateTime(), false, "", "0001"},
        {"expiry before the zero date means none", beforeZero, false, "", "0001"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(BuildSubmitPDU("+15550123", "x", c.expiry, c.report, c.header).substr(0, 4), c.firstTwo);
    }
}

TEST(SubmitUnit, FullLengthPartFitsItsOctets)
{
    const std::string text(152, 'a');
    const std::string pdu = BuildSubmitPDU("+15550123", text, DateTime(), false, "050003000201");
    const SubmitFields f = splitSubmit(pdu);
    EXPECT_EQ(f.userDataLength, 159);
    EXPECT_EQ(f.userData.size() / 2, 140u); // the most one message can carry
}

TEST(ReceivedUnit, HeaderIsDecodedAsTextAndCodingSchemeIgnored)
{
    // A listed part of a long message: the header octets come out as septets in front.
    const std::string part = BuildSubmitPDU("+15550123", "hello", DateTime(), false, "050003000201");
    SubmitFields f = splitSubmit(part);
    GSMMessage received;
    ASSERT_TRUE(ParsePDU(deliverFrom(f, DateTime::fromParts(2026, 1, 1)), 0, received));
    EXPECT_EQ(received.Text.size(), 12u);
    EXPECT_EQ(received.Text.substr(7), "hello");
    EXPECT_EQ(received.Text.substr(0, 2), std::string("\x05@"));
}

TEST(ListedUnit, SubmitAndReservedTypesAreOnlyTyped)
{
    for (const std::string pdu : {"0001000B915155551532F40000", "0003", "07912143658709F111"}) {
        SCOPED_TRACE(pdu);
        GSMMessage record;
        EXPECT_TRUE(ParsePDU(pdu, 0, record));
        EXPECT_EQ(record.MessageType, 2);
        EXPECT_EQ(record.Address, "");
    }
}

TEST(ListedUnit, EveryTruncationFailsCleanly)
{
    // Each prefix of a good unit either decodes or is reported as short; none may crash.
    const std::string deliver = "07912143658709F1040B918100551512F20000111010214365000AE8329BFD4697D9EC37";
    const std::string report = "00"
        + statusReportFor(
            7, "0B918100551512F2", DateTime::fromParts(2026, 1, 1), DateTime::fromParts(2026, 1, 2), 0)
              .substr(2);
    for (const std::string& whole : {deliver, report}) {
        for (std::size_t n = 0; n < whole.size(); ++n) {
            SCOPED_TRACE(whole.substr(0, n));
            GSMMessage record;
            EXPECT_FALSE(ParsePDU(whole.substr(0, n), 0, record));
        }
        GSMMessage record;
        EXPECT_TRUE(ParsePDU(whole, 0, record));
    }
}
