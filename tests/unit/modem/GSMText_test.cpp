#include "modem/GSMText.h"
#include "modem/PduUnits.h"

#include <gtest/gtest.h>

#include <string>

using namespace vesk::modem;

namespace {

std::string times(const std::string& s, int n)
{
    std::string out;
    while (n-- > 0)
        out += s;
    return out;
}

// The user data length octet of a unit built for +15550123 without expiry.
std::string lengthOctet(const std::string& pdu)
{
    return pdu.substr(22, 2);
}

} // namespace

TEST(FullText, TheTextPicksItsCodingAndPartCount)
{
    struct Case
    {
        std::string text;
        int coding;
        std::size_t parts;
    };
    const Case kCases[] = {
        {"Café Δ", 0, 1},
        {"ß Ø é £ ¥ € [ ] { } ~ | \\ ^ _ @ ¿ ñ ü à Λ", 0, 1},
        {std::string(160, 'a'), 0, 1},
        {std::string(161, 'a'), 0, 2},
        {std::string(151, 'a') + "€" + std::string(8, 'a'), 0, 2}, // the escape pair is never cut
        {"Привет", 8, 1},
        {"你好", 8, 1},
        {"Hi `there`", 8, 1}, // the backquote has no place in the alphabet
        {times("Ж", 70), 8, 1},
        {times("Ж", 71), 8, 2},
        {times("Ж", 134), 8, 2},
        {times("Ж", 135), 8, 3},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.text);
        const AutoUnits units = BuildAutoSubmitPDUs("+15550123", c.text, {});
        EXPECT_EQ(units.coding, c.coding);
        EXPECT_EQ(units.pdus.size(), c.parts);
        if (c.coding == 0) {
            EXPECT_EQ(FromGSMAlphabet(ToGSMAlphabet(c.text).value()), c.text);
        }
        EXPECT_EQ(FromUTF16(ToUTF16(c.text)), c.text);
    }
    EXPECT_EQ(lengthOctet(BuildAutoSubmitPDUs("+15550123", times("Ж", 71), {}).pdus[0]), "8C"); // 6 + 2 * 67
    EXPECT_EQ(
        lengthOctet(
            BuildAutoSubmitPDUs("+15550123", std::string(151, 'a') + "€" + std::string(8, 'a'), {}).pdus[0]),
        "9E"); // 7 + 151: the euro sign starts the second part
}

TEST(FullText, AnEmojiIsNeverSplitAcrossParts)
{
    const std::string text = times("Ж", 66) + "😀" + times("Ж", 10);
    const auto pieces = SplitUnits(ToUTF16(text), 67);
    ASSERT_EQ(pieces.size(), 2u);
    EXPECT_EQ(FromUTF16(pieces[0]) + FromUTF16(pieces[1]), text);
    EXPECT_EQ(FromUTF16(pieces[0]), times("Ж", 66));
    EXPECT_EQ(lengthOctet(BuildAutoSubmitPDUs("+15550123", text, {}).pdus[0]), "8A"); // 6 + 2 * 66
    EXPECT_EQ(UCS2Hex(ToUTF16("😀")), "D83DDE00");
}

TEST(FullText, ReceivedCodesAndUnitsDecode)
{
    struct Case
    {
        std::string codes;
        std::string text;
    };
    const Case kCases[] = {
        {{0, 1, 2, 0x10, 0x1E, 0x7F}, "@£$Δßà"},
        {{0x1B, 0x65, 0x1B, 0x3C, 0x1B, 0x0A}, "€[\f"},
        {{0x1B, 'A', 'b'}, "Ab"}, // an escape before an undefined code gives the base character
        {{'x', 0x1B}, "x"},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(FromGSMAlphabet(c.codes), c.text);
    }
    EXPECT_EQ(FromUCS2Octets({0xD8, 0x3D, 0xDE, 0x00, 0x04, 0x42}), "😀т");
    EXPECT_EQ(FromUCS2Octets({0xD8, 0x3D, 0x00, 0x41, 0xDE}),
        "\xEF\xBF\xBD"
        "A"); // lone surrogate, odd octet
}
