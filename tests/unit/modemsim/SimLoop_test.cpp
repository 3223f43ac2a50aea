#include "SimLoop.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace vesk::modemsim;
using namespace std::chrono_literals;

// The loop over socket pairs: the test holds the far end of the line and of one control connection.
class SimLoopTest : public ::testing::Test
{
protected:
    SimLoopTest()
    {
        socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, control);
        loop.addClient(control[1]);
        EXPECT_TRUE(loop.start());
    }
    ~SimLoopTest() override
    {
        close(control[0]);
        close(far);
    }
    // Writes to the line ("line") or the control connection, lets the loop step and reads the answer.
    std::string say(const std::string& where, const std::string& bytes)
    {
        const int fd = where == "line" ? far : control[0];
        EXPECT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
        stepped = loop.step(0);
        std::string got;
        char buffer[4096];
        for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;)
            got.append(buffer, static_cast<std::size_t>(n));
        return got;
    }

    ModemSimulator::TimePoint now;
    ModemSimulator sim {SimOptions {}, [this] { return now; }};
    int control[2] = {-1, -1};
    int far = -1;
    SimLoop loop {sim,
        [this](LineEnds& line) {
            int ends[2];
            socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, ends);
            line.master = ends[0];
            far = ends[1];
            return true;
        },
        -1, [this] { return now; }};
    bool stepped = true;
};

TEST_F(SimLoopTest, CommandsAndControlLinesChangeWhatTheLineSays)
{
    struct Case
    {
        const char* where;
        std::string said;
        std::chrono::milliseconds wait;
        std::string answer;
    };
    const Case kCases[] = {
        {"line", "ATE0\rAT\rAT+NONSENSE\r", 0ms, "ATE0\r\r\nOK\r\n\r\nOK\r\n\r\nERROR\r\n"},
        {"control", "set signal lots\nset colour red\nfault sideways\nfrobnicate\nreport 1 +1\n", 0ms,
            "ERROR not a number for signal: lots\nERROR no option called colour\n"
            "ERROR no fault called sideways\nERROR unknown control command frobnicate (try help)\n"
            "ERROR report needs REF RECIPIENT STATUS\n"},
        {"control", "set SM-size 1\ndeliver +1 one\ndeliver @XX +1 two\ndeliver +1 two\n", 0ms,
            "OK\nstored 1\nOK\nERROR no memory called XX\nERROR SM memory full\n"},
        {"control", "fault slow 500\n", 0ms, "OK\n"}, // the answer waits for the clock
        {"line", "AT\r", 0ms, ""}, // no echo since ATE0
        {"line", "", 499ms, ""}, // not yet
        {"line", "", 1ms, "\r\nOK\r\n"}, // due now
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.said);
        now += c.wait;
        EXPECT_EQ(say(c.where, c.said), c.answer);
    }
    EXPECT_EQ(say("control", "quit\n"), "OK\n");
    EXPECT_FALSE(stepped);
}
