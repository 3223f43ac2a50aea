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

} // namespace

TEST(Gsm7, ConvertsToOneCodePerSeptet)
{
    // Characters outside the alphabet keep their own code, one per character whatever its UTF-8
    // length, and broken UTF-8 counts byte by byte, so septet counts stay right. The 64 after the
    // escape for "|" must not become 0 as an "@" would.
    struct Case
    {
        std::string text;
        std::vector<int> codes;
    };
    const Case cases[] = {
        {"{x}", {27, 40, 120, 27, 41}},
        {"€5", {27, 101, 53}},
        {"£$", {1, 2}},
        {"^\\[]~", {27, 20, 27, 47, 27, 60, 27, 62, 27, 61}},
        {"|@_", {27, 64, 0, 45}},
        {"first_name", {102, 105, 114, 115, 116, 45, 110, 97, 109, 101}},
        {"é`Ω", {0xE9, 96, 0xA9}},
        {"a\xC3"
         "b\xFF\xE2\x82",
            {97, 0xC3, 98, 0xFF, 0xE2, 0x82}},
        {"", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(codesOf(ToGSMCharset(c.text)), c.codes);
        EXPECT_EQ(GSMLength(c.text), static_cast<int>(c.codes.size()));
    }
    EXPECT_EQ(GSMLength("éΩ😀"), 3);
    EXPECT_EQ(GSMLength(std::string(40000, '{')), 32767); // saturates
}

TEST(Gsm7, RecognisesExactlyTheNineExtensionCharacters)
{
    const std::u32string extensions = U"€[]^{}~|\\";
    for (char32_t ch = 0; ch < 0x2100; ++ch) {
        const bool expected = extensions.find(ch) != std::u32string::npos;
        EXPECT_EQ(IsGSMExtension(ch), expected) << "code point " << static_cast<unsigned>(ch);
    }
}
