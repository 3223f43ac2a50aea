#include "modem/ModemLog.h"

#include "TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

using vesk::modem::ModemLog;
using vesk::testing::ReadFile;
using vesk::testing::WriteFile;

namespace {

class ModemLogTest : public ::testing::Test
{
protected:
    ModemLogTest() { log.SetLogging(true); }
    vesk::testing::TempDir dir;
    ModemLog log;
};

} // namespace

TEST_F(ModemLogTest, NothingIsKeptWhileLoggingIsOffAndAMissingFolderCostsOnlyTheTrace)
{
    log.SetLogging(false);
    log.SetLogFilename(dir.file("modemlog.txt"));
    log.WriteLog("AT\r");
    log.LogFlush();
    EXPECT_TRUE(log.pending().empty());
    EXPECT_FALSE(std::filesystem::exists(dir.file("modemlog.txt")));

    log.SetLogging(true);
    log.SetLogFilename(dir.file("no/such/folder/modemlog.txt"));
    log.WriteLog("AT\r");
    EXPECT_NO_THROW(log.LogFlush());
}

TEST_F(ModemLogTest, BufferIsWrittenOnceItPassesItsLimit)
{
    log.SetLogFilename(dir.file("modemlog.txt"));
    log.WriteLog(std::string(ModemLog::kBufferLimit, 'a'));
    EXPECT_FALSE(std::filesystem::exists(dir.file("modemlog.txt")));
    log.WriteLog("b");
    EXPECT_EQ(ReadFile(dir.file("modemlog.txt")).size(), ModemLog::kBufferLimit + 1);
    EXPECT_TRUE(log.pending().empty());
}

TEST_F(ModemLogTest, RenamingFlushesToTheOldFileFirst)
{
    log.SetLogFilename(dir.file("old.txt"));
    log.WriteLog("05.03 14:07:00 AT\r");
    log.SetLogFilename(dir.file("new.txt"));
    log.WriteLog("\r\nOK\r\n");
    log.LogFlush();
    EXPECT_EQ(ReadFile(dir.file("old.txt")), "05.03 14:07:00 AT\r");
    EXPECT_EQ(ReadFile(dir.file("new.txt")), "\r\nOK\r\n");
}

TEST_F(ModemLogTest, OversizedFileStartsAgainUnlessTheNameHasAWildcard)
{
    struct Case
    {
        const char* name;
        std::size_t size;
        std::size_t after;
    };
    const Case cases[] = {
        {"over.txt", ModemLog::kFileLimit + 1, 5},
        {"at*limit.txt", ModemLog::kFileLimit + 1, ModemLog::kFileLimit + 6},
        {"limit.txt", ModemLog::kFileLimit, ModemLog::kFileLimit + 5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.file(c.name);
        WriteFile(path, std::string(c.size, 'x'));
        log.SetLogFilename(path);
        log.WriteLog("next\r");
        log.LogFlush();
        EXPECT_EQ(ReadFile(path).size(), c.after);
        log.LogTruncateFile();
        EXPECT_FALSE(std::filesystem::exists(path));
    }
}
