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

    void put(const std::string& section, const std::string& key, const std::string& value)
    {
        SettingsStore store(path);
        ASSERT_TRUE(store.set(section, key, value));
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

TEST_F(SettingsTest, EmptyStoreGivesEveryDefault)
{
    std::string folder = "unchanged";
    const CConfig c = load(&folder);
    EXPECT_EQ(folder, "");
    EXPECT_EQ(fields(c),
        std::make_tuple(1, "", 0, false, -1, -1, -1, -1, "COM1", "9600", "9600,N,8,1", true, "PDU", false, 2,
            20, 20, 2, "SM", "SM", 10, 10, 10));
}

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
    put("com", "REPORTMEMORY", "MT");
    EXPECT_EQ(load().ReportMemory, "MT");
}

TEST_F(SettingsTest, WindowFarOffScreenKeepsTheStoredRectangle)
{
    CConfig c = load();
    c.WindowTop = 100;
    c.WindowLeft = 200;
    c.WindowWidth = 8000;
    c.WindowHeight = 5000;
    save(c, "");

    for (auto [top, left] : {std::pair {-100.f, 50.f}, std::pair {50.f, -32000.f}}) {
        CConfig minimised = c;
        minimised.WindowTop = top;
        minimised.WindowLeft = left;
        minimised.WindowWidth = 1;
        save(minimised, "");
        const CConfig r = load();
        EXPECT_EQ(r.WindowTop, 100);
        EXPECT_EQ(r.WindowLeft, 200);
        EXPECT_EQ(r.WindowWidth, 8000);
    }

    c.WindowTop = -99;
    save(c, "");
    EXPECT_EQ(load().WindowTop, -99);
}

TEST_F(SettingsTest, UnconvertibleValueStopsTheLoadAtThatKey)
{
    put("Agent", "LocalAddress", "+15550123");
    put("Agent", "MaxRunTime", "three");
    put("COM", "Port", "/dev/ttyACM0");

    SettingsStore store(path);
    ConsoleApp app(clock, store);
    CConfig c;
    c.MaxRunTime = 7;
    c.COMPort = "before";
    std::string folder;
    EXPECT_FALSE(app.LoadEnvironment(c, folder));
    EXPECT_EQ(c.AppPriority, 1); // before the bad key: loaded
    EXPECT_EQ(c.AgentAddress, "+15550123");
    EXPECT_EQ(c.MaxRunTime, 7); // the bad key keeps its value
    EXPECT_EQ(c.COMPort, "before"); // and so does every key after it
}

TEST_F(SettingsTest, IntervalsTakeTheLeadingNumber)
{
    put("Resource", "SendInterval", "15 seconds");
    put("Resource", "SendBatchSize", "lots");
    put("Resource", "ReadInterval", "7.6");
    const CConfig c = load();
    EXPECT_EQ(c.SendInterval, 15);
    EXPECT_EQ(c.SendBatchSize, 0);
    EXPECT_EQ(c.ReadInterval, 8);
}

TEST_F(SettingsTest, ValuesWithLineEndsAndOddCharactersSurvive)
{
    put("Setup", "DataFolder", "  /srv/sms data/ä\\x\nnext=1");
    SettingsStore store(path);
    EXPECT_EQ(store.get("Setup", "DataFolder"), "  /srv/sms data/ä\\x\nnext=1");
    EXPECT_FALSE(store.get("Setup", "next"));
}

TEST_F(SettingsTest, WritesLeaveNoTemporaryFileAndCreateTheFolder)
{
    const std::string nested = dir.file("a/b/console.conf");
    SettingsStore store(nested);
    ASSERT_TRUE(store.set("Setup", "RunWizard", "0"));
    EXPECT_TRUE(std::filesystem::exists(nested));
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

TEST_F(SettingsTest, HandWrittenFileIsReadLeniently)
{
    vesk::testing::WriteFile(path,
        "; comment\r\n[COM]\r\nPort = /dev/ttyUSB1\r\njunk line\r\n"
        "stray=1\r\n[Resource]\r\nSendInterval=20\r\n");
    const CConfig c = load();
    EXPECT_EQ(c.COMPort, "/dev/ttyUSB1");
    EXPECT_EQ(c.SendInterval, 20);
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

TEST_F(SettingsTest, TextSettingsTakeTheirWordsOrWarnAndFallBack)
{
    struct Case
    {
        const char* file;
        std::tuple<bool, bool, bool, int> text; // Auto, Full, JoinParts, JoinTimeout
        std::size_t warnings;
    };
    const Case kCases[] = {
        {"", {false, false, false, 600}, 0},
        {"OutboundCoding=auto\nInboundDecoding=Full\nJoinParts=1\nJoinTimeout=90\n", {true, true, true, 90},
            0},
        {"OutboundCoding=UCS2\nInboundDecoding=all\nJoinParts=yes\nJoinTimeout=-5\n",
            {false, false, false, 600}, 4},
        {"JoinParts=1\nJoinTimeout=1.5\n", {false, false, true, 600}, 2}, // joining needs Full
    };
    for (const Case& k : kCases) {
        SCOPED_TRACE(k.file);
        vesk::testing::WriteFile(path, std::string("[Text]\n") + k.file);
        SettingsStore store(path);
        ConsoleApp app(clock, store);
        CConfig c;
        std::string folder;
        EXPECT_TRUE(app.LoadEnvironment(c, folder));
        EXPECT_EQ(std::tie(c.OutboundAuto, c.InboundFull, c.JoinParts, c.JoinTimeout), k.text);
        EXPECT_EQ(app.log().lines().size(), k.warnings);
    }
}
