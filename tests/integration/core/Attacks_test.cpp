// What an attacker can send the console through the network, the shared outbox and the local
// machine: each case is an attack that once got in, and must now stay out.
#include "core/AppLog.h"
#include "modem/ModemLog.h"
#include "store/Lifecycle.h"
#include "store/Migrate.h"
#include "support/Paths.h"
#include "support/Platform.h"

#include "ConsoleFixture.h"

#include <cstdlib>
#include <sys/stat.h>

using namespace std::chrono_literals;
using namespace vesk;
using vesk::testing::SimProcess;

namespace {

mode_t modeOf(const std::string& path)
{
    struct stat st
    {
    };
    return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 07777;
}

using AttackTest = vesk::testing::ConsoleFixture;

} // namespace

TEST_F(AttackTest, TextModeKeepsQueuedTextAndReportAddressesInTheirPlace)
{
    settings.set("COM", "Protocol", "TEXT");
    ASSERT_NO_FATAL_FAILURE(start());
    queue("+15550123",
        "hello\x1A"
        "AT+CMGS=\"+19005550199\"\rPREMIUM\x1B TEXT");
    queue("+15550124   ", "blanks after the number");
    pass();
    pass();
    const auto sent = sim.control("messages");
    ASSERT_EQ(sent.size(), 2u);
    for (const auto& line : sent)
        EXPECT_EQ(SimProcess::field(line, "to").rfind("+1555012", 0), 0u) << line;
    EXPECT_EQ(SimProcess::field(sent[0], "text"), "helloAT+CMGS=\"+19005550199\"PREMIUM TEXT");
    EXPECT_TRUE(logged(2, "3 control characters left out of the text"));

    // Text mode lists a report's address as the network gave it, quotes and all.
    sim.control("report 7 x';UPDATE/**/Message/**/SET/**/msgStatus=0;-- 0");
    ctx->NextRead = {};
    pass();
    pass();
    EXPECT_TRUE(logged(3, "No outstanding delivery id [7]")) << "the report was read and matched no row";
    EXPECT_EQ(column("SELECT msgStatus FROM Message"), (std::vector<std::string> {"3", "3"}));
    EXPECT_EQ(sim.control("messages").size(), 2u) << "nothing was queued again";
}

TEST_F(AttackTest, RowIdsPastThirtyOneBitsAreSent)
{
    ASSERT_NO_FATAL_FAILURE(start());
    sql("INSERT INTO Message (msgID, msgRecipient, msgAddress, msgText, msgSendTime) VALUES (2147483653, "
        "'Ann', "
        "'+15550123', 'big id', #"
        + Format(clock.now(), "dd/mmm/yyyy hh:nn:ss") + "#)");
    ASSERT_TRUE(ctx->outbox.handle->OpenDatabase(store::mode::kReadWriteShared));
    const RowId next = store::InsertMessage(ctx->outbox, "Bob", "+15550124", "after it", clock.now(), "test");
    ctx->outbox.handle->CloseDatabase();
    EXPECT_EQ(next, 2147483654);
    pass();
    EXPECT_EQ(sim.control("messages").size(), 2u);
    EXPECT_EQ(column("SELECT msgID FROM Message WHERE msgStatus >= 3").size(), 2u);
}

TEST(Attacks, HostileTextStaysOnOneLogLine)
{
    vesk::testing::ShiftedClock clock;
    core::AppLog log(clock);
    log.Log(10, "+1\n555",
        "hi\r\nFORGED 12:00 error\x1b[2J\x07\xc2\x9b"
        "31m caf\xc3\xa9");
    EXPECT_EQ(log.lines().front().address, "+1\\n555");
    EXPECT_EQ(log.lines().front().text, "hi\\r\\nFORGED 12:00 error\\x1b[2J\\x07\\x9b31m caf\xc3\xa9");
}

TEST(Attacks, FilesTheConsoleCreatesAreNeverWiderThanUserAndGroup)
{
    vesk::testing::TempDir dir;
    for (const auto& [mask, most] : {std::pair<mode_t, mode_t> {077, 0600}, {002, 0660}, {0, 0660}}) {
        SCOPED_TRACE(mask);
        const mode_t saved = ::umask(mask);
        const std::string folder = dir.file("data" + std::to_string(mask));
        CreateFolderPath(folder);
        std::string text, lines;
        ASSERT_TRUE(store::CreateOutbox(folder, VESK_BIN_DIR "/DB/", text, lines)) << text << lines;
        modem::ModemLog trace;
        trace.SetLogging(true);
        trace.SetLogFilename(folder + "/modemlog.txt");
        trace.WriteLog("AT\r");
        trace.LogFlush();
        core::SettingsStore settings(folder + "/conf/console.conf");
        settings.set("COM", "Port", "/dev/ttyUSB0");
        ::umask(saved);
        for (const char* name : {"/SMSMessages.mdb", "/SMSArchive.mdb", "/SMSContacts.mdb", "/modemlog.txt"})
            EXPECT_EQ(modeOf(folder + name) & ~most, 0u)
                << name << " is " << std::oct << modeOf(folder + name);
        EXPECT_EQ(modeOf(folder + "/conf/console.conf"), 0600u);
        EXPECT_EQ(modeOf(folder + "/conf"), 0700u);
    }
}

// Another user once created and held the lock file first, under its predictable name in the shared
// temp folder, and so kept the console from starting: the lock now lives beside the settings, in a
// folder only this user can enter.
TEST(Attacks, LockLivesWhereNoOtherUserCanPlantOne)
{
    vesk::testing::TempDir dir;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    const std::string savedRuntime = runtime ? runtime : "";
    ::unsetenv("XDG_RUNTIME_DIR");
    {
        SingleInstanceLock lock(dir.file("console.conf"));
        EXPECT_TRUE(lock.acquired()) << lock.error();
        EXPECT_EQ(lock.path().rfind(dir.path(), 0), 0u) << lock.path();
        EXPECT_EQ(modeOf(FolderOfPath(lock.path())), 0700u);
    }
    if (!savedRuntime.empty())
        ::setenv("XDG_RUNTIME_DIR", savedRuntime.c_str(), 1);
}
