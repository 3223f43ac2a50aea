#include "modem/PduUnits.h"

#include "support/DateTime.h"

#include <gtest/gtest.h>

#include <string>

using vesk::DateTime;
using namespace vesk::modem;

// Shapes the recorded submits of other encoders do not show; plain units, headers and the report
// bit of the last part are compared against them and in the simulator runs.
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
        {"absolute expiry", "+15550123", expiry, true, "", 7,
            "00390008915155103200006221133295030005E8329BFD06"},
        {"last part with expiry", "+15550123", expiry, true, "050003000303", 7,
            "0079000891515510320000622113329503000C050003000303D06536FB0D"},
        {"expiry before the zero date means none", "+15550123", DateTime().addDays(-1), false, "", 7,
            "000100089151551032000005E8329BFD06"},
        {"8-bit width changes only the coding scheme", "+15550123", DateTime(), true, "", 8,
            "002100089151551032000405E8329BFD06"},
        {"odd-digit national number", "1555012", DateTime(), true, "", 7,
            "0021000781515510F2000005E8329BFD06"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(BuildSubmitPDU(c.destination, "hello", c.expiry, c.report, c.header, c.charWidth), c.pdu);
    }
    EXPECT_EQ(SemiOctets(""), "");
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
    const std::string report = "0006070B918100551512F2621010000000006210200000000000";
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
