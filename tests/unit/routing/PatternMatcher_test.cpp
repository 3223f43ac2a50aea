#include "routing/PatternMatcher.h"

#include <gtest/gtest.h>

using vesk::routing::PatternMatcher;

TEST(PatternMatcher, SearchesAnywhereIgnoringCase)
{
    const PatternMatcher m;
    ASSERT_TRUE(m.IsRegEx());
    struct Case
    {
        const char* pattern;
        const char* text;
        bool match;
    };
    const Case cases[] = {
        {"^07", "0712345678", true},
        {"07", "+447912345678", false},
        {"07", "+4407912345", true},
        {"abc", "xxABCxx", true},
        {"^\\+44", "+447912345678", true},
        {"^\\+44", "07912345678", false},
        {"^\\+3538[5-8]", "+353861234567", true},
        {"^\\+([^3]|3[^5]|35[^3])", "+353861234567", false},
        {"^\\+([^3]|3[^5]|35[^3])", "+447912345678", true},
        {"stop|halt", "please HALT now", true},
        {"^\\d{3}$", "123", true},
        {"^\\d{3}$", "1234", false},
        {"^line$", "first\nline", false}, // no multi-line mode
        {"caf\xC3\xA9", "CAF\xC3\x89!", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.pattern) + " ~ " + c.text);
        EXPECT_EQ(m.Test(c.pattern, c.text), c.match);
    }
}

TEST(PatternMatcher, BadPatternsNeverMatchAndNeverHang)
{
    const PatternMatcher m;
    EXPECT_FALSE(m.Test("[", "anything ["));
    EXPECT_EQ(m.TestDebug("[", "anything"), "");
    EXPECT_FALSE(m.Test("*", "+44")); // "*" is no wildcard here
    // Catastrophic backtracking gives up as "no match" instead of hanging the console.
    EXPECT_FALSE(m.Test("^(a+)+$", std::string(64, 'a') + "!"));
    EXPECT_FALSE(m.Test("^(\\w+\\s?)*$", std::string(5000, 'x') + "!"));
    // Text that is not valid UTF-8 is searched, not rejected.
    EXPECT_TRUE(m.Test("ok", "\xff\xfe ok"));
}

TEST(PatternMatcher, InternationalPhoneIsPlusAndFiveToThirtyDigits)
{
    const PatternMatcher m;
    struct Case
    {
        std::string text;
        bool valid;
    };
    const Case cases[] = {
        {"+12345", true},
        {"+" + std::string(30, '9'), true},
        {"+1234", false},
        {"+" + std::string(31, '9'), false},
        {"+", false},
        {"00353861234567", false},
        {"+353 86 1234567", false},
        {"+35386123456a", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(m.IsInternationalPhone(c.text), c.valid);
    }
}

TEST(PatternMatcher, WithoutTheEngineFallsBackToWildcards)
{
    const PatternMatcher m(PatternMatcher::Engine::None);
    EXPECT_FALSE(m.IsRegEx());
    struct Case
    {
        const char* pattern;
        const char* text;
        bool match;
    };
    const Case cases[] = {
        {"07*", "0712", true},
        {"07", "0712", false},
        {"a*", "Abc", false},
        {"a?c", "abc", true},
        {"###", "123", true},
        {"###", "12a", false},
        {"[0-9][!a]", "5b", true},
        {"[0-9][!a]", "5a", false},
        {"*fire*", "the fire alarm", true},
        {"[abc", "a", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.pattern) + " ~ " + c.text);
        EXPECT_EQ(m.Test(c.pattern, c.text), c.match);
    }
    EXPECT_TRUE(m.IsInternationalPhone("+1"));
    EXPECT_TRUE(m.IsInternationalPhone("+1 anything"));
    EXPECT_FALSE(m.IsInternationalPhone("+"));
    EXPECT_EQ(m.TestDebug("b+", "abbc"), "");
}
