#include "routing/AddressFilter.h"
#include "support/LogSink.h"

#include "TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <tuple>
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
    // The filter as loaded from a file of the content (nullptr: no file at all).
    AddressFilter loadFrom(const char* content)
    {
        std::filesystem::remove(dir.file("addressfilter.sms"));
        if (content)
            vesk::testing::WriteFile(dir.file("addressfilter.sms"), content);
        AddressFilter f(dir.path());
        f.LoadAddressFilter();
        return f;
    }

    vesk::testing::TempDir dir;
    Lines log;
};

} // namespace

TEST_F(AddressFilterTest, AllowsWhenAnyPatternMatchesOrNoneIsInForce)
{
    const char* list = "  ^\\+44  \r\n^\\+353\r\nstaff\r\n";
    // The file, whether a check is in force, an address, whether it passes.
    const std::tuple<const char*, bool, const char*, bool> cases[]
        = {{nullptr, false, "+15550123", true}, {"\r\n   \r\n\t\r\n", false, "anything", true},
            {"*\r\n^\\+44\r\n", true, "+15550123", true}, // a leading star switches the check off
            {list, true, "+447912345678", true}, {list, true, "+353861234567", true},
            {list, true, "07912345678", false}, {list, true, "+15550123", false},
            {list, true, "STAFF-ROTA", true}, // letter case ignored
            {"[\r\n^\\+44\r\n", true, "[", false}, // a bad pattern never matches
            {"[\r\n^\\+44\r\n", true, "+44123456", true}};
    for (const auto& [file, active, address, allowed] : cases) {
        SCOPED_TRACE(std::string(file ? file : "(no file)") + " " + address);
        AddressFilter f = loadFrom(file);
        EXPECT_EQ(f.IsAddressFilterActive(), active);
        EXPECT_EQ(f.IsAddressAllowed(address, log), allowed);
    }
    EXPECT_TRUE(log.lines.empty()) << "nothing is said about bad patterns";
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

    // An empty list is saved as the marker that switches the check off.
    again.SetAddressFilterText("   ");
    EXPECT_EQ(again.GetAddressFilterText(), "");
    ASSERT_TRUE(again.SaveAddressFilter());
    EXPECT_EQ(vesk::testing::ReadFile(dir.file("addressfilter.sms")), "*\r\n"); // read back as off

    // A save that fails keeps the list in force.
    AddressFilter nowhere(dir.file("missing-folder"));
    nowhere.SetAddressFilterText("^\\+44");
    EXPECT_FALSE(nowhere.SaveAddressFilter());
    EXPECT_FALSE(nowhere.IsAddressAllowed("+1555", log));
}
