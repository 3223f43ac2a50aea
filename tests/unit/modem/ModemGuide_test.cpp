#include "modem/ModemGuide.h"

#include "TempDir.h"

#include <gtest/gtest.h>

using namespace vesk::modem;
using vesk::testing::TempDir;
using vesk::testing::WriteFile;

namespace {

const char* const kList = "; ACME X1|comment that must never match|F|SM|SM|9600,N,8,1|\n"
                          "\n"
                          "   ACME X1|Acme X1 terminal|P|SM|SR|9600,N,8,1|Reports arrive late   \r\n"
                          "acme x1|second entry for the same model|F|ME|ME|115200,N,8,1|\n"
                          "Short One|only three fields|N\n"
                          "BAD|bad|I|||19200,N,8,1|No AT port\n";

} // namespace

TEST(ModemGuide, FindsTheFirstEntryOfAModelInAnyLetterCase)
{
    TempDir dir;
    WriteFile(dir.file(kModemListName), kList);
    struct Case
    {
        const char* model;
        const char* description; // nullptr: not found
    };
    const Case kCases[] = {
        {"ACME X1", "Acme X1 terminal"}, {"acme X1", "Acme X1 terminal"},
        {"; ACME X1", nullptr}, // a comment line is never an entry
        {"short one", "only three fields"}, {"ACME", nullptr},
        {"", nullptr}, // a modem that gave no model does not match a blank line
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.model);
        const auto entry = LookupModem(c.model, dir.file(kModemListName));
        if (!c.description) {
            EXPECT_FALSE(entry);
            continue;
        }
        ASSERT_TRUE(entry);
        ASSERT_EQ(entry->size(), kModemListFieldCount);
        EXPECT_EQ((*entry)[kDescription], c.description);
    }
    const auto acme = LookupModem("ACME X1", dir.file(kModemListName));
    ASSERT_TRUE(acme);
    EXPECT_EQ((*acme)[kReportMemory], "SR");
    EXPECT_EQ((*acme)[kNotes], "Reports arrive late"); // the line is trimmed, "\r" included
    EXPECT_FALSE(LookupModem("ACME X1", dir.file("nothing-here.dat")));
}

TEST(ModemGuide, ShippedListKnowsTheSimulatorAndUsesOnlyKnownRatings)
{
    const std::string path = std::string(VESK_BIN_DIR) + "/" + kModemListName;
    const auto sim = LookupModem("vesk-sim 900", path);
    ASSERT_TRUE(sim);
    EXPECT_EQ((*sim)[kCompatibility], "F");
    EXPECT_FALSE((*sim)[kInitString].empty());
    for (const char* model : {"E1752", "MC35i", "SIMCOM_SIM900", "E3372"}) {
        SCOPED_TRACE(model);
        const auto entry = LookupModem(model, path);
        ASSERT_TRUE(entry);
        EXPECT_NE(std::string("FPIN").find((*entry)[kCompatibility]), std::string::npos);
        EXPECT_EQ((*entry)[kCompatibility].size(), 1u);
    }
}
