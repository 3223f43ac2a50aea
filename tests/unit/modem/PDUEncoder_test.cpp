#include "modem/PDUEncoder.h"

#include "support/DateTime.h"

#include <gtest/gtest.h>

#include <string>

using vesk::DateTime;
using vesk::modem::PDUEncoder;

TEST(SeptetPacking, PacksTextWithFillBits)
{
    // n septets take ceil(7n/8) octets; "|" stays as the escape 27 and 64.
    struct Case
    {
        std::string text;
        int fillBits;
        std::string hex;
    };
    const Case cases[] = {
        {"", 0, ""},
        {"12345678", 0, "31D98C56B3DD70"},
        {"123456789", 0, "31D98C56B3DD7039"},
        {std::string(1, '\0'), 0, "00"},
        {"\x1B@", 0, "1B20"},
        {"", 1, "00"},
        {"a", 8, "0061"},
        {"a", -3, "61"},
    };
    const PDUEncoder codec;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text + " fill " + std::to_string(c.fillBits));
        EXPECT_EQ(codec.Encode7BitFill(c.text, c.fillBits), c.hex);
    }
}

TEST(TimeStamps, ReadsSwappedDigitsIgnoringTheZone)
{
    // Two-digit years below 30 are this century; month 00, impossible days and junk digits roll
    // over as calendar arithmetic does.
    struct Case
    {
        const char* stamp;
        DateTime time;
    };
    const Case cases[] = {
        {"1120821105054A", DateTime::fromParts(2011, 2, 28, 11, 50, 50)},
        {"92101010101000", DateTime::fromParts(2029, 1, 1, 1, 1, 1)},
        {"03101010101000", DateTime::fromParts(1930, 1, 1, 1, 1, 1)},
        {"62001000000000", DateTime::fromParts(2025, 12, 1)},
        {"62212300000000", DateTime::fromParts(2027, 1, 1)},
        {"FFFFFFFFFFFFFF", DateTime::fromParts(1999, 11, 30)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stamp);
        EXPECT_EQ(PDUEncoder::ParseTS(c.stamp), c.time);
    }
}
