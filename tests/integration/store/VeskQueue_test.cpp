#include "StoreFixture.h"

#include "SimProcess.h"

namespace vesk::store {
namespace {

struct ToolRun
{
    int exitCode = -1;
    std::string output;
};

class VeskQueueTest : public testing::EngineStoreTest
{
protected:
    // vesk-queue pointed at this test's outbox (unless told otherwise), then the arguments.
    ToolRun tool(std::vector<std::string> args, bool pointed = true)
    {
        if (pointed)
            args.insert(args.begin(),
                {onServer() ? "--database" : "--data-folder", onServer() ? outbox.database : dir.path()});
        args.insert(args.begin(), VESK_BIN_DIR "/vesk-queue");
        int out[2];
        ToolRun run;
        if (pipe2(out, O_CLOEXEC) != 0)
            return run;
        const pid_t pid = testing::Spawn(args, out[1], true);
        close(out[1]);
        char buffer[512];
        for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) > 0;)
            run.output.append(buffer, static_cast<std::size_t>(n));
        close(out[0]);
        int status = 0;
        waitpid(pid, &status, 0);
        run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return run;
    }
};

TEST_P(VeskQueueTest, QueuesAPendingMessageCutToTheOutboxLimitAndPrintsItsId)
{
    const ToolRun run = tool({"--to", "+447700900123", "--text", "Don't \"panic\" ✓", "--name", "O'Neil",
        "--expires", "05/Mar/2030 12:00:00"});
    ASSERT_EQ(run.exitCode, 0) << run.output;
    const std::int32_t id = std::stoi(run.output);
    const DBMessage m = load(id);
    EXPECT_EQ(std::tuple(m.Address, m.Text, m.Recipient, m.Status, m.Expires),
        std::tuple("+447700900123", "Don't \"panic\" ✓", "O'Neil", MessageStatus::Pending,
            DateTime::fromParts(2030, 3, 5, 12, 0, 0)));
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM qry_Pending_Messages"), 1);

    h().Execute("UPDATE System SET sysSMSMaxMessageSize = 5");
    const ToolRun cut = tool({"--to", "+447700900123", "--text", "hello world"});
    ASSERT_EQ(cut.exitCode, 0) << cut.output;
    EXPECT_NE(cut.output.find("cut to the outbox's limit of 5 characters"), std::string::npos) << cut.output;
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM Message WHERE msgText = 'hello'"), 1);
}

TEST_P(VeskQueueTest, RefusesWhatTheConsoleWouldNotSendOrAnOutboxItCannotReach)
{
    // The arguments, whether they point at this test's outbox, the exit code, what the tool says.
    const std::tuple<std::vector<std::string>, bool, int, std::string> cases[] = {
        {{"--to", "+44 7700 900123", "--text", "hi"}, true, 1,
            "Invalid Number. Not in format +<Country><AreaCode><Number>"},
        {{"--to", "+447700900123", "--text", "   "}, true, 1, "Empty Message"},
        {{"--to", "+447700900123", "--text", "hi", "--at", "next week"}, true, 1, "is not a date and time"},
        {{"--to", "+447700900123"}, true, 1, "option --text is required"},
        {{"--to", "+447700900123", "--text", "hi", "--colour", "red"}, true, 1, "unknown option '--colour'"},
        {{"--data-folder", dir.file("nowhere"), "--to", "+4477", "--text", "hi"}, false, 2,
            "there is no outbox in"},
        {{"--database", "postgresql://vesk:hunter2@/outbox?host=/nonexistent", "--to", "+447700900123",
             "--text", "hi"},
            false, 2, ""}};
    for (const auto& [args, pointed, exitCode, says] : cases) {
        SCOPED_TRACE(args[0] + " " + says);
        const ToolRun run = tool(args, pointed);
        EXPECT_EQ(run.exitCode, exitCode);
        EXPECT_NE(run.output.find(says), std::string::npos) << run.output;
        EXPECT_EQ(run.output.find("hunter2"), std::string::npos) << run.output;
    }
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM Message"), 0);
}

VESK_ON_BOTH_ENGINES(VeskQueueTest);

} // namespace
} // namespace vesk::store
