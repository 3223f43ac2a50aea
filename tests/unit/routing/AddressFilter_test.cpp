#include "routing/AddressFilter.h"
#include "support/LogSink.h"

#include "TempDir.h"

#include <gtest/gtest.h>

#include <vector>

using vesk::routing::AddressFilter;

namespace {

struct Lines final : vesk::LogSink
{
    void Log(int icon, const std::string&, const std::string& text) override
    {
        lines.push_back({icon, text});
    }
    std::vector<std::pair<int, std::string>> lines;
};

class AddressFilterTest : public ::testing::Test
{
protected:
    AddressFilter loadFrom(const std::string& content)
    {
        vesk::testing::WriteFile(dir.file("addressfilter.sms"), content);
        AddressFilter f(dir.path());
        f.LoadAddressFilter();
        return f;
    }

    vesk::testing::TempDir dir;
    Lines log;
};

} // namespace

TEST_F(AddressFilterTest, MissingOrBlankFileAllowsEveryAddress)
{
    AddressFilter none(dir.path());
    none.LoadAddressFilter();
    EXPECT_FALSE(none.IsAddressFilterActive());
    EXPECT_TRUE(none.IsAddressAllowed("+15550123", log));

    const AddressFilter blank = loadFrom("\r\n   \r\n\t\r\n");
    EXPECT_FALSE(blank.IsAddressFilterActive());
    EXPECT_TRUE(blank.IsAddressAllowed("anything", log));
    EXPECT_TRUE(log.lines.empty());
}

TEST_F(AddressFilterTest, LeadingStarSwitchesTheCheckOffYetCountsAsActive)
{
    const AddressFilter f = loadFrom("*\r\n^\\+44\r\n");
    EXPECT_TRUE(f.IsAddressFilterActive());
    EXPECT_TRUE(f.IsAddressAllowed("+15550123", log));
}

TEST_F(AddressFilterTest, AllowsWhenAnyPatternMatches)
{
    const AddressFilter f = loadFrom("  ^\\+44  \r\n^\\+353\r\nstaff\r\n");
    EXPECT_TRUE(f.IsAddressFilterActive());
    EXPECT_TRUE(f.IsAddressAllowed("+447912345678", log));
    EXPECT_TRUE(f.IsAddressAllowed("+353861234567", log));
    EXPECT_FALSE(f.IsAddressAllowed("07912345678", log));
    EXPECT_FALSE(f.IsAddressAllowed("+15550123", log));
    EXPECT_TRUE(f.IsAddressAllowed("STAFF-ROTA", log)); // letters compared without regard to case
}

TEST_F(AddressFilterTest, BadPatternNeverMatchesAndSaysNothing)
{
    const AddressFilter f = loadFrom("[\r\n^\\+44\r\n");
    EXPECT_FALSE(f.IsAddressAllowed("[", log));
    EXPECT_TRUE(f.IsAddressAllowed("+44123456", log));
    EXPECT_TRUE(log.lines.empty());
}

TEST_F(AddressFilterTest, TextRoundTripsThroughTheDialogAndTheFile)
{
    const AddressFilter f = loadFrom("^\\+44\r\n^\\+353\r\n^\\+1\r\n");
    const std::string text = f.GetAddressFilterText();
    EXPECT_EQ(text, "^\\+44\r\n^\\+353\r\n^\\+1\r\n");

    AddressFilter again(dir.path());
    again.SetAddressFilterText(text);
    EXPECT_EQ(again.entries(), f.entries());

    again.SetAddressFilterText("  \r\n^\\+49\n\n^\\+33  \r\n");
    EXPECT_EQ(again.entries(), (std::vector<std::string> {"^\\+49", "^\\+33"}));
    EXPECT_FALSE(again.IsAddressAllowed("+44123456", log)) << "takes effect before any save";
    ASSERT_TRUE(again.SaveAddressFilter());
    EXPECT_EQ(vesk::testing::ReadFile(dir.file("addressfilter.sms")), "^\\+49\r\n^\\+33\r\n");
}

TEST_F(AddressFilterTest, EmptyTextSavesTheOffMarker)
{
    AddressFilter f = loadFrom("^\\+44\r\n");
    f.SetAddressFilterText("   ");
    EXPECT_EQ(f.GetAddressFilterText(), "");
    ASSERT_TRUE(f.SaveAddressFilter());
    EXPECT_EQ(vesk::testing::ReadFile(dir.file("addressfilter.sms")), "*\r\n");
    AddressFilter back(dir.path());
    back.LoadAddressFilter();
    EXPECT_FALSE(back.IsAddressFilterActive());
}

TEST_F(AddressFilterTest, FailedSaveKeepsTheListInForce)
{
    AddressFilter f(dir.file("missing-folder"));
    f.SetAddressFilterText("^\\+44");
    EXPECT_FALSE(f.SaveAddressFilter());
    EXPECT_FALSE(f.IsAddressAllowed("+1555", log));
}
