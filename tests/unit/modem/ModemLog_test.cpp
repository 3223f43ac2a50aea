#include "modem/ModemLog.h"

#include "TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

using vesk::modem::ModemLog;
using vesk::testing::ReadFile;
using vesk::testing::TempDir;
using vesk::testing::WriteFile;

TEST(ModemLog, NothingIsKeptWhileLoggingIsOff)
{
    TempDir dir;
    ModemLog log;
    log.SetLogFilename(dir.file("modemlog.txt"));
    log.WriteLog("AT\r");
    log.LogFlush();
    EXPECT_TRUE(log.pending().empty());
    EXPECT_FALSE(std::filesystem::exists(dir.file("modemlog.txt")));
}

TEST(ModemLog, BufferIsWrittenOnceItPassesItsLimit)
{
    TempDir dir;
    ModemLog log;
    log.SetLogging(true);
    log.SetLogFilename(dir.file("modemlog.txt"));
    log.WriteLog(std::string(ModemLog::kBufferLimit, 'a'));
    EXPECT_FALSE(std::filesystem::exists(dir.file("modemlog.txt")));
    log.WriteLog("b");
    EXPECT_EQ(ReadFile(dir.file("modemlog.txt")).size(), ModemLog::kBufferLimit + 1);
    EXPECT_TRUE(log.pending().empty());
}

TEST(ModemLog, RenamingFlushesToTheOldFileFirst)
{
    TempDir dir;
    ModemLog log;
    log.SetLogging(true);
    log.SetLogFilename(dir.file("old.txt"));
    log.WriteLog("05.03 14:07:00 AT\r");
    log.SetLogFilename(dir.file("new.txt"));
    log.WriteLog("\r\nOK\r\n");
    log.LogFlush();
    EXPECT_EQ(ReadFile(dir.file("old.txt")), "05.03 14:07:00 AT\r");
    EXPECT_EQ(ReadFile(dir.file("new.txt")), "\r\nOK\r\n");
}

TEST(ModemLog, OversizedFileStartsAgainUnlessTheNameHasAWildcard)
{
    TempDir dir;
    for (const std::string name : {"modemlog.txt", "modem*log.txt"}) {
        SCOPED_TRACE(name);
        const std::string path = dir.file(name);
        WriteFile(path, std::string(ModemLog::kFileLimit + 1, 'x'));
        ModemLog log;
        log.SetLogging(true);
        log.SetLogFilename(path);
        log.WriteLog("next\r");
        log.LogFlush();
        const bool wildcard = name.find('*') != std::string::npos;
        EXPECT_EQ(ReadFile(path).size(), wildcard ? ModemLog::kFileLimit + 1 + 5 : 5u);
    }
}

TEST(ModemLog, FileAtTheLimitIsKeptAndTruncateDeletesIt)
{
    TempDir dir;
    const std::string path = dir.file("modemlog.txt");
    WriteFile(path, std::string(ModemLog::kFileLimit, 'x'));
    ModemLog log;
    log.SetLogging(true);
    log.SetLogFilename(path);
    log.WriteLog("z");
    log.LogFlush();
    EXPECT_EQ(ReadFile(path).size(), ModemLog::kFileLimit + 1);
    log.LogTruncateFile();
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(ModemLog, MissingFolderCostsOnlyTheTrace)
{
    TempDir dir;
    ModemLog log;
    log.SetLogging(true);
    log.SetLogFilename(dir.file("no/such/folder/modemlog.txt"));
    log.WriteLog("AT\r");
    EXPECT_NO_THROW(log.LogFlush());
}
