#include "routing/PatternMatcher.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

using vesk::routing::PatternMatcher;

TEST(PatternMatcher, SearchesAnywhereIgnoringCase)
{
    const PatternMatcher m;
    ASSERT_TRUE(m.IsRegEx());
    // The pattern, the text, whether it matches.
    const std::tuple<std::string, std::string, bool> rows[]
        = {{"^07", "0712345678", true}, {"07", "+447912345678", false}, {"07", "+4407912345", true},
            {"abc", "xxABCxx", true}, {"^\\+44", "+447912345678", true}, {"^\\+44", "07912345678", false},
            {"^\\+3538[5-8]", "+353861234567", true}, {"^\\+([^3]|3[^5]|35[^3])", "+353861234567", false},
            {"^\\+([^3]|3[^5]|35[^3])", "+447912345678", true}, {"stop|halt", "please HALT now", true},
            {"^\\d{3}$", "123", true}, {"^\\d{3}$", "1234", false},
            {"^line$", "first\nline", false}, // no multi-line mode
            {"caf\xC3\xA9", "CAF\xC3\x89!", true},
            // Bad patterns never match, "*" is no wildcard here, and text that is not UTF-8 is searched.
            {"[", "anything [", false}, {"*", "+44", false}, {"ok", "\xff\xfe ok", true},
            // Catastrophic backtracking gives up as "no match" instead of hanging the console.
            {"^(a+)+$", std::string(64, 'a') + "!", false},
            {"^(\\w+\\s?)*$", std::string(5000, 'x') + "!", false}};
    for (const auto& [pattern, text, match] : rows) {
        SCOPED_TRACE(pattern + " ~ " + text);
        EXPECT_EQ(m.Test(pattern, text), match);
    }
    EXPECT_EQ(m.TestDebug("[", "anything"), "");
}

TEST(PatternMatcher, InternationalPhoneIsPlusAndFiveToThirtyDigits)
{
    const PatternMatcher m;
    for (const auto& [text, valid] : {std::pair<std::string, bool> {"+12345", true},
             {"+" + std::string(30, '9'), true}, {"+1234", false}, {"+" + std::string(31, '9'), false},
             {"+", false}, {"00353861234567", false}, {"+353 86 1234567", false}, {"+35386123456a", false}}) {
        SCOPED_TRACE(text);
        EXPECT_EQ(m.IsInternationalPhone(text), valid);
    }
}
