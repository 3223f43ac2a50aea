#include "core/CConfig.h"
#include "core/ConsoleApp.h"
#include "core/SettingsStore.h"

#include "FakeClock.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

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

} // namespace

TEST_F(SettingsTest, EmptyStoreGivesEveryDefault)
{
    std::string folder = "unchanged";
    const CConfig c = load(&folder);
    EXPECT_EQ(folder, "");
    EXPECT_EQ(c.AppPriority, 1);
    EXPECT_EQ(c.AgentAddress, "");
    EXPECT_EQ(c.MaxRunTime, 0);
    EXPECT_FALSE(c.FilterActionDelete);
    EXPECT_EQ(c.WindowTop, -1);
    EXPECT_EQ(c.WindowLeft, -1);
    EXPECT_EQ(c.WindowWidth, -1);
    EXPECT_EQ(c.WindowHeight, -1);
    EXPECT_EQ(c.COMPort, "COM1");
    EXPECT_EQ(c.COMSpeed, "9600");
    EXPECT_EQ(c.COMInitString, "9600,N,8,1");
    EXPECT_TRUE(c.AutoDetect);
    EXPECT_EQ(c.Protocol, "PDU");
    EXPECT_FALSE(c.ModemLog);
    EXPECT_EQ(c.CommandTimeout, 2);
    EXPECT_EQ(c.SendTimeout, 20);
    EXPECT_EQ(c.ListTimeout, 20);
    EXPECT_EQ(c.DeleteTimeout, 2);
    EXPECT_EQ(c.MessageMemory, "SM");
    EXPECT_EQ(c.ReportMemory, "SM");
    EXPECT_EQ(c.SendInterval, 10);
    EXPECT_EQ(c.SendBatchSize, 10);
    EXPECT_EQ(c.ReadInterval, 10);
}

TEST_F(SettingsTest, EverySettingSurvivesSaveAndLoad)
{
    CConfig c;
    c.AgentAddress = "+353861234567";
    c.MaxRunTime = 12;
    c.WindowTop = 120;
    c.WindowLeft = 240;
    c.WindowWidth = 9000;
    c.WindowHeight = 6000.5f;
    c.COMPort = "/dev/ttyUSB0";
    c.COMSpeed = "115200";
    c.COMInitString = "115200,N,8,1";
    c.AutoDetect = false;
    c.ModemLog = true;
    c.ReportMemory = "SR";
    c.MessageMemory = "ME";
    c.Protocol = "TEXT";
    c.AppPriority = 2;
    c.SendInterval = 30;
    c.SendBatchSize = 25;
    c.ReadInterval = 45;
    c.CommandTimeout = 0.5f;
    c.SendTimeout = 30;
    c.ListTimeout = 12.5f;
    c.DeleteTimeout = 3;
    c.FilterActionDelete = true;
    save(c, "/srv/sms/");

    std::string folder;
    const CConfig r = load(&folder);
    EXPECT_EQ(folder, "/srv/sms/");
    EXPECT_EQ(r.AgentAddress, c.AgentAddress);
    EXPECT_EQ(r.MaxRunTime, c.MaxRunTime);
    EXPECT_EQ(r.WindowTop, c.WindowTop);
    EXPECT_EQ(r.WindowLeft, c.WindowLeft);
    EXPECT_EQ(r.WindowWidth, c.WindowWidth);
    EXPECT_EQ(r.WindowHeight, c.WindowHeight);
    EXPECT_EQ(r.COMPort, c.COMPort);
    EXPECT_EQ(r.COMSpeed, c.COMSpeed);
    EXPECT_EQ(r.COMInitString, c.COMInitString);
    EXPECT_EQ(r.AutoDetect, c.AutoDetect);
    EXPECT_EQ(r.ModemLog, c.ModemLog);
    EXPECT_EQ(r.ReportMemory, "SR"); // written as "Reportmemory", read as "ReportMemory"
    EXPECT_EQ(r.MessageMemory, c.MessageMemory);
    EXPECT_EQ(r.Protocol, c.Protocol);
    EXPECT_EQ(r.AppPriority, c.AppPriority);
    EXPECT_EQ(r.SendInterval, c.SendInterval);
    EXPECT_EQ(r.SendBatchSize, c.SendBatchSize);
    EXPECT_EQ(r.ReadInterval, c.ReadInterval);
    EXPECT_EQ(r.CommandTimeout, c.CommandTimeout);
    EXPECT_EQ(r.SendTimeout, c.SendTimeout);
    EXPECT_EQ(r.ListTimeout, c.ListTimeout);
    EXPECT_EQ(r.DeleteTimeout, c.DeleteTimeout);
    EXPECT_EQ(r.FilterActionDelete, c.FilterActionDelete);

    const std::string text = vesk::testing::ReadFile(path);
    EXPECT_NE(text.find("CommandTimeout=.5\n"), std::string::npos);
    EXPECT_EQ(text.find("ReportMemory"), std::string::npos) << "one key, whatever its letter case";
    EXPECT_NE(text.find("Reportmemory=SR\n"), std::string::npos);
}

TEST_F(SettingsTest, KeysAreOneWhateverTheirLetterCase)
{
    put("COM", "Reportmemory", "ME");
    put("com", "REPORTMEMORY", "MT");
    EXPECT_EQ(load().ReportMemory, "MT");
    SettingsStore store(path);
    EXPECT_EQ(store.get("Com", "reportMemory"), "MT");
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

TEST_F(SettingsTest, HandWrittenFileIsReadLeniently)
{
    vesk::testing::WriteFile(path,
        "; comment\r\n[COM]\r\nPort = /dev/ttyUSB1\r\njunk line\r\n"
        "stray=1\r\n[Resource]\r\nSendInterval=20\r\n");
    const CConfig c = load();
    EXPECT_EQ(c.COMPort, "/dev/ttyUSB1");
    EXPECT_EQ(c.SendInterval, 20);
}

TEST(SettingsPath, EnvironmentNamesTheFile)
{
    ::setenv("VESK_SETTINGS", "/tmp/x/test.conf", 1);
    EXPECT_EQ(SettingsStore::DefaultPath(), "/tmp/x/test.conf");
    ::unsetenv("VESK_SETTINGS");
    ::setenv("XDG_CONFIG_HOME", "/home/u/.cfg", 1);
    EXPECT_EQ(SettingsStore::DefaultPath(), "/home/u/.cfg/Quillon/Quillon Vesk Console.conf");
}
