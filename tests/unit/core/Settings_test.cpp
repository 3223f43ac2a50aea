#include "core/CConfig.h"
#include "core/ConsoleApp.h"
#include "core/SettingsStore.h"

#include "FakeClock.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <tuple>

using namespace vesk;
using namespace vesk::core;

namespace {

class SettingsTest : public ::testing::Test
{
protected:
    vesk::testing::TempDir dir;
    vesk::testing::FakeClock clock;
    std::string path = dir.file("console.conf");

    // A fresh store and application object over the same file, as a restarted console sees it.
    CConfig load(std::string* folder = nullptr)
    {
        SettingsStore store(path);
        ConsoleApp app(clock, store);
        CConfig config;
        std::string dataFolder;
        app.LoadEnvironment(config, dataFolder);
        if (folder)
            *folder = dataFolder;
        return config;
    }

    void save(const CConfig& config, const std::string& folder)
    {
        SettingsStore store(path);
        ConsoleApp app(clock, store);
        app.SaveEnviroment(config, folder);
    }
};

// Every stored setting, in the order the console loads them.
template<class Config> auto fields(Config& c)
{
    return std::tie(c.AppPriority, c.AgentAddress, c.MaxRunTime, c.FilterActionDelete, c.WindowTop,
        c.WindowLeft, c.WindowWidth, c.WindowHeight, c.COMPort, c.COMSpeed, c.COMInitString, c.AutoDetect,
        c.Protocol, c.ModemLog, c.CommandTimeout, c.SendTimeout, c.ListTimeout, c.DeleteTimeout,
        c.MessageMemory, c.ReportMemory, c.SendInterval, c.SendBatchSize, c.ReadInterval);
}

} // namespace

TEST_F(SettingsTest, EverySettingSurvivesSaveAndLoad)
{
    CConfig c;
    fields(c) = std::make_tuple(2, "+353861234567", 12, true, 120, 240, 9000, 6000.5f, "/dev/ttyUSB0",
        "115200", "115200,N,8,1", false, "TEXT", true, 0.5f, 30, 12.5f, 3, "ME", "SR", 30, 25, 45);
    save(c, "/srv/sms/");

    std::string folder;
    const CConfig loaded = load(&folder);
    EXPECT_EQ(fields(loaded), fields(c));
    EXPECT_EQ(folder, "/srv/sms/");

    // The report memory is written as "Reportmemory" and read as "ReportMemory": one key.
    const std::string text = vesk::testing::ReadFile(path);
    EXPECT_NE(text.find("CommandTimeout=.5\n"), std::string::npos);
    EXPECT_NE(text.find("Reportmemory=SR\n"), std::string::npos);
    ASSERT_TRUE(SettingsStore(path).set("com", "REPORTMEMORY", "MT"));
    EXPECT_EQ(load().ReportMemory, "MT");
}

TEST_F(SettingsTest, WindowFarOffScreenKeepsTheStoredRectangle)
{
    CConfig c = load();
    std::tie(c.WindowTop, c.WindowLeft, c.WindowWidth, c.WindowHeight)
        = std::tuple(100.f, 200.f, 8000.f, 5000.f);
    save(c, "");
    // Minimised windows report corners far off screen; -99 is still a real place.
    for (auto [top, left, placed] : {std::tuple {-100.f, 50.f, false}, std::tuple {50.f, -32000.f, false},
             std::tuple {-99.f, 200.f, true}}) {
        SCOPED_TRACE(top);
        CConfig moved = c;
        std::tie(moved.WindowTop, moved.WindowLeft, moved.WindowWidth) = std::tuple(top, left, 1.f);
        save(moved, "");
        const CConfig r = load();
        EXPECT_EQ(std::tie(r.WindowTop, r.WindowLeft, r.WindowWidth),
            placed ? std::tuple(top, left, 1.f) : std::tuple(100.f, 200.f, 8000.f));
    }
}

// Files as operators edit them by hand, and what a starting console makes of them. The load keeps
// the values it was given for a key that cannot be converted and for every key after it.
TEST_F(SettingsTest, HandWrittenFilesAreReadLenientlyAndABadValueStopsTheLoad)
{
    struct Case
    {
        const char* file;
        std::tuple<bool, std::string, int, std::string, int, int, int> values; // loaded, address,
                                                                               // run time, port, intervals
        std::tuple<bool, bool, bool, int> text; // Auto, Full, JoinParts, JoinTimeout
        std::size_t warnings;
    };
    const Case kCases[] = {
        {"", {true, "", 0, "COM1", 10, 10, 10}, {false, false, false, 600}, 0},
        {"; comment\r\n[COM]\r\nPort = /dev/ttyUSB1\r\njunk "
         "line\r\nstray=1\r\n[Resource]\r\nSendInterval=20\r\n",
            {true, "", 0, "/dev/ttyUSB1", 20, 10, 10}, {false, false, false, 600}, 0},
        {"[Resource]\nSendInterval=15 seconds\nSendBatchSize=lots\nReadInterval=7.6\n",
            {true, "", 0, "COM1", 15, 0, 8}, {false, false, false, 600}, 0},
        {"[Agent]\nLocalAddress=+15550123\nMaxRunTime=three\n[COM]\nPort=/dev/ttyACM0\n",
            {false, "+15550123", 7, "before", 0, 0, 0}, {false, false, false, 0}, 0},
        {"[Text]\nOutboundCoding=auto\nInboundDecoding=Full\nJoinParts=1\nJoinTimeout=90\n",
            {true, "", 0, "COM1", 10, 10, 10}, {true, true, true, 90}, 0},
        {"[Text]\nOutboundCoding=UCS2\nInboundDecoding=all\nJoinParts=yes\nJoinTimeout=-5\n",
            {true, "", 0, "COM1", 10, 10, 10}, {false, false, false, 600}, 4},
        // Joining needs full decoding.
        {"[Text]\nJoinParts=1\nJoinTimeout=1.5\n", {true, "", 0, "COM1", 10, 10, 10},
            {false, false, true, 600}, 2},
    };
    for (const Case& k : kCases) {
        SCOPED_TRACE(k.file);
        vesk::testing::WriteFile(path, k.file);
        SettingsStore store(path);
        ConsoleApp app(clock, store);
        CConfig c;
        c.MaxRunTime = 7;
        c.COMPort = "before";
        std::string folder = "unchanged";
        const bool loaded = app.LoadEnvironment(c, folder);
        EXPECT_EQ(std::tuple(loaded, c.AgentAddress, int(c.MaxRunTime), c.COMPort, int(c.SendInterval),
                      int(c.SendBatchSize), int(c.ReadInterval)),
            k.values);
        EXPECT_EQ(std::tie(c.OutboundAuto, c.InboundFull, c.JoinParts, c.JoinTimeout), k.text);
        EXPECT_EQ(app.log().lines().size(), k.warnings);
        EXPECT_EQ(folder, "") << "the data folder is read first";
    }
}

TEST_F(SettingsTest, StoreWritesWholeFilesAndKeepsOddValuesOnTheirKey)
{
    const std::string nested = dir.file("a/b/console.conf");
    SettingsStore store(nested);
    ASSERT_TRUE(store.set("Setup", "DataFolder", "  /srv/sms data/ä\\x\nnext=1"));
    EXPECT_EQ(SettingsStore(nested).get("Setup", "DataFolder"), "  /srv/sms data/ä\\x\nnext=1");
    EXPECT_FALSE(SettingsStore(nested).get("Setup", "next"));
    EXPECT_FALSE(std::filesystem::exists(nested + ".tmp"));

    SettingsStore unwritable("/proc/vesk/console.conf");
    EXPECT_FALSE(unwritable.set("Setup", "RunWizard", "0"));
    EXPECT_FALSE(unwritable.lastError().empty());
    EXPECT_EQ(unwritable.get("Setup", "RunWizard"), "0"); // the running console still sees it
}

TEST_F(SettingsTest, SavingWritesOnlyWhatChanged)
{
    vesk::testing::WriteFile(path, "; the operator's notes\n[COM]\nPort=/dev/ttyUSB1\nCommandTimeout=2.0\n");
    CConfig c = load();
    save(c, "");
    EXPECT_EQ(vesk::testing::ReadFile(path),
        "; the operator's notes\n[COM]\nPort=/dev/ttyUSB1\nCommandTimeout=2.0\n")
        << "nothing changed, so nothing is written and no default is added";
    c.SendBatchSize = 25;
    save(c, "");
    const std::string text = vesk::testing::ReadFile(path);
    EXPECT_NE(text.find("SendBatchSize=25"), std::string::npos);
    EXPECT_EQ(text.find("SendInterval"), std::string::npos);
    EXPECT_EQ(load().SendBatchSize, 25);
}

TEST(SettingsPath, EnvironmentNamesTheFileAndNoHomeFolderMeansNoFile)
{
    ::setenv("VESK_SETTINGS", "/tmp/x/test.conf", 1);
    EXPECT_EQ(SettingsStore::DefaultPath(), "/tmp/x/test.conf");
    ::unsetenv("VESK_SETTINGS");
    ::setenv("XDG_CONFIG_HOME", "/home/u/.cfg", 1);
    EXPECT_EQ(SettingsStore::DefaultPath(), "/home/u/.cfg/Quillon/Quillon Vesk Console.conf");
    ::unsetenv("XDG_CONFIG_HOME");
    const bool hadHome = std::getenv("HOME") != nullptr;
    const std::string savedHome = hadHome ? std::getenv("HOME") : "";
    ::unsetenv("HOME");
    EXPECT_EQ(SettingsStore::DefaultPath(), "") << "rather than a file in /tmp";
    ::setenv("HOME", "/no/such/home", 1);
    EXPECT_EQ(SettingsStore::DefaultPath(), "");
    hadHome ? ::setenv("HOME", savedHome.c_str(), 1) : ::unsetenv("HOME");
}
