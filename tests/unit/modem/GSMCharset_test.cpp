#include "modem/GSMCharset.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace vesk::modem;

namespace {

std::vector<int> codesOf(const std::string& converted)
{
    std::vector<int> codes;
    for (char c : converted)
        codes.push_back(static_cast<unsigned char>(c));
    return codes;
}

std::string repeated(std::string_view piece, int times)
{
    std::string s;
    for (int i = 0; i < times; ++i)
        s += piece;
    return s;
}

} // namespace

TEST(Gsm7, ConvertsCharactersWhoseAlphabetCodeDiffers)
{
    struct Case
    {
        std::string text;
        std::vector<int> codes;
    };
    const Case cases[] = {
        {"a@b", {97, 0, 98}},
        {"{x}", {27, 40, 120, 27, 41}},
        {"€5", {27, 101, 53}},
        {"£$", {1, 2}},
        {"^\\[]~", {27, 20, 27, 47, 27, 60, 27, 62, 27, 61}},
        {"|", {27, 64}},
        {"_", {45}},
        {"Hi 09,.?!", {72, 105, 32, 48, 57, 44, 46, 63, 33}},
        {"", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(codesOf(ToGSMCharset(c.text)), c.codes);
    }
}

TEST(Gsm7, EscapedCodesAreNotConvertedAgain)
{
    // The 64 after the escape for "|" must not become 0 as an "@" would, and the hyphen made from
    // "_" stays a hyphen.
    EXPECT_EQ(codesOf(ToGSMCharset("|@_")), (std::vector<int> {27, 64, 0, 45}));
}

TEST(Gsm7, UnderscoreBecomesHyphenWithoutChangingLength)
{
    EXPECT_EQ(ToGSMCharset("first_name"), "first-name");
    EXPECT_EQ(GSMLength("first_name"), 10);
}

TEST(Gsm7, CharactersOutsideTheAlphabetKeepTheirOwnCode)
{
    // One code per character, whatever its UTF-8 length, so septet counts stay right.
    EXPECT_EQ(codesOf(ToGSMCharset("é`")), (std::vector<int> {0xE9, 96}));
    EXPECT_EQ(codesOf(ToGSMCharset("Ω")), (std::vector<int> {0xA9}));
    EXPECT_EQ(GSMLength("éΩ😀"), 3);
}

TEST(Gsm7, BrokenUtf8CountsByteByByte)
{
    const std::string broken = "a\xC3"
                               "b\xFF\xE2\x82";
    EXPECT_EQ(codesOf(ToGSMCharset(broken)), (std::vector<int> {97, 0xC3, 98, 0xFF, 0xE2, 0x82}));
    EXPECT_EQ(GSMLength(broken), 6);
    EXPECT_EQ(characterCount(broken), 6u);
}

TEST(Gsm7, LengthCountsExtensionCharactersTwice)
{
    struct Case
    {
        std::string text;
        int septets;
    };
    const Case cases[] = {
        {repeated("a", 150) + repeated("[", 5), 160},
        {repeated("a", 149) + repeated("[", 6), 161},
        {repeated("a", 158) + "{}", 162},
        {repeated("a", 158) + "~~", 162},
        {"€", 2},
        {"@£$_", 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(GSMLength(c.text), c.septets);
        EXPECT_EQ(static_cast<int>(ToGSMCharset(c.text).size()), c.septets);
    }
}

TEST(Gsm7, LengthOfHugeTextSaturates)
{
    EXPECT_EQ(GSMLength(std::string(40000, '{')), 32767);
}

TEST(Gsm7, RecognisesExactlyTheNineExtensionCharacters)
{
    const std::u32string extensions = U"€[]^{}~|\\";
    for (char32_t ch = 0; ch < 0x2100; ++ch) {
        const bool expected = extensions.find(ch) != std::u32string::npos;
        EXPECT_EQ(IsGSMExtension(ch), expected) << "code point " << static_cast<unsigned>(ch);
    }
    EXPECT_TRUE(IsGSMExtension(std::string_view("€")));
    EXPECT_FALSE(IsGSMExtension(std::string_view("£")));
    EXPECT_FALSE(IsGSMExtension(std::string_view("")));
}

TEST(Gsm7, LeadingCharactersNeverCutsACharacter)
{
    const std::string text = "a€bé";
    EXPECT_EQ(leadingCharacters(text, 2), "a€");
    EXPECT_EQ(leadingCharacters(text, 3), "a€b");
    EXPECT_EQ(leadingCharacters(text, 10), text);
    EXPECT_EQ(leadingCharacters(text, 0), "");
    EXPECT_EQ(characterCount(text), 4u);
}
