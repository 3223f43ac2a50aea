#include "modem/GSMText.h"
#include "modem/PduUnits.h"

#include <gtest/gtest.h>

using namespace vesk::modem;

namespace {

std::string times(const std::string& s, int n)
{
    std::string out;
    while (n-- > 0)
        out += s;
    return out;
}

} // namespace

TEST(FullText, TheTextPicksItsCodingAndItsParts)
{
    // Part boundaries never cut an escape pair or a surrogate pair; the first part's length octet
    // (for +15550123 without expiry) shows where the cut fell.
    struct Case
    {
        std::string text;
        int coding;
        std::size_t parts;
        const char* firstLength;
    };
    const Case kCases[] = {
        {"ß Ø é £ ¥ € [ ] { } ~ | \\ ^ _ @ ¿ ñ ü à Λ", 0, 1, "32"},
        {std::string(160, 'a'), 0, 1, "A0"},
        {std::string(151, 'a') + "€" + std::string(8, 'a'), 0, 2, "9E"},
        {"Hi `there`", 8, 1, "14"}, // the backquote has no place in the alphabet
        {times("Ж", 70), 8, 1, "8C"},
        {times("Ж", 71), 8, 2, "8C"},
        {times("Ж", 66) + "😀" + times("Ж", 10), 8, 2, "8A"},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.text);
        const AutoUnits units = BuildAutoSubmitPDUs("+15550123", c.text, {});
        EXPECT_EQ(units.coding, c.coding);
        ASSERT_EQ(units.pdus.size(), c.parts);
        EXPECT_EQ(units.pdus[0].substr(22, 2), c.firstLength);
    }
}

TEST(FullText, CharactersTakeTheirRealCodesBothWays)
{
    EXPECT_EQ(ToGSMAlphabet("Café Δ_"), std::string("Caf\x05 \x10\x11"));
    EXPECT_EQ(FromGSMAlphabet(std::string {0, 1, 2, 0x10, 0x1E, 0x7F, 0x1B, 0x65, 0x1B, 0x0A}), "@£$Δßà€\f");
    EXPECT_EQ(
        FromGSMAlphabet(std::string {0x1B, 'A', 'b', 0x1B}), "Ab"); // undefined extension: the base character
    EXPECT_EQ(FromUCS2Octets({0xD8, 0x3D, 0xDE, 0x00, 0x04, 0x42}), "😀т");
    EXPECT_EQ(FromUCS2Octets({0xD8, 0x3D, 0x00, 0x41, 0xDE}),
        "\xEF\xBF\xBD"
        "A"); // lone surrogate, odd octet
}
