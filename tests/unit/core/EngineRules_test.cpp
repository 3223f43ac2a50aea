#include "core/Engine.h"
#include "core/Startup.h"
#include "core/Trap.h"

#include "TempDir.h"

#include <gtest/gtest.h>

using namespace vesk::core;

TEST(ValidityPeriodText, EveryRangeOfTheTable)
{
    struct Case
    {
        long minutes;
        const char* text;
    };
    const Case cases[] = {{0, "set by Network Operator"}, {30, "30 Minutes"}, {60, "1 Hour"},
        {120, "2 hours"}, {240, "4 hours"}, {1380, "23 hours"}, {1440, "1 Day"}, {2880, "2 days"},
        {4320, "3 days"}, {8640, "6 days"}, {10080, "1 Week"}, {20160, "2 weeks"}, {45, "0 weeks"},
        {90, "0 weeks"}, {1400, "0 weeks"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.minutes);
        EXPECT_EQ(ValidityPeriodText(c.minutes), c.text);
    }
}

TEST(ControlText, CodeBetweenMarkersAtFixedPlaces)
{
    for (const auto& [text, control] : {std::pair {"(&PNG&)", true}, {"(&XYZ&) and more text", true},
             {"(&", false}, {"(&PNG&", false}, {"(&PNGX&)", false}, {"ping", false}})
        EXPECT_EQ(IsControlText(text), control) << text;
}

TEST(DeliveryPassRules, FetchesAQuarterMoreRowsThanItHandles)
{
    // 12.5 and 7.5 round to even.
    for (const auto& [batch, fetched] : {std::pair {10, 12}, {6, 8}, {1, 1}, {0, 0}, {-3, 1}, {100, 125}})
        EXPECT_EQ(FetchCount(batch), fetched) << batch;
}

TEST(DeliveryPassRules, ModemAnswerIsFoldedOntoOneShortLine)
{
    EXPECT_EQ(CleanModemResponse("+CMS ERROR: 500\r\n\r\n"), "+CMS ERROR: 500");
    EXPECT_EQ(CleanModemResponse("+CMGS: 12\r\n\r\nOK"), "+CMGS: 12~~OK");
    EXPECT_EQ(CleanModemResponse(std::string(80, 'x')).size(), 50u);
    EXPECT_EQ(CleanModemResponse(""), "");
}

// An empty, a missing and a contacts-only folder are the start-up stories' cases.
TEST(DataFolder, NameWithBlanksAndATrailingSeparatorStillFindsTheFiles)
{
    vesk::testing::TempDir dir;
    vesk::testing::WriteFile(dir.file("SMSContacts.mdb"), "");
    EXPECT_TRUE(FolderHasDataFiles(" " + dir.path() + "/ "));
}

TEST(Trap, AFailingStepLeavesOneLineSayingWhereAndWhat)
{
    struct Lines final : vesk::LogSink
    {
        void Log(int icon, const std::string&, const std::string& text) override
        {
            lines.push_back(std::to_string(icon) + " " + text);
        }
        std::vector<std::string> lines;
    } log;
    int after = 0;
    Trap(log, [] { throw std::out_of_range("index 9 of 3"); });
    Trap(log, [&] { ++after; });
    ASSERT_EQ(log.lines.size(), 1u);
    EXPECT_EQ(log.lines[0].rfind("3 EngineRules_test.cpp:", 0), 0u) << log.lines[0];
    EXPECT_NE(log.lines[0].find(" : index 9 of 3"), std::string::npos);
    EXPECT_EQ(after, 1);
}
