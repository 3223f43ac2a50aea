// The wall clock stepped while the console runs (an NTP correction, the end or start of summer
// time): sends and reads keep their rhythm, and the activity log tells of each step once.
#include "ConsoleFixture.h"

#include <cstdio>
#include <string>
#include <vector>

using namespace std::chrono_literals;
using namespace vesk;

namespace {

class ClockStepTest : public vesk::testing::ConsoleFixture
{
protected:
    void SetUp() override { ASSERT_NO_FATAL_FAILURE(start()); }

    // The steps the log told of, in seconds, negative for a step back. The wall time reads whole
    // seconds and the steady count goes on between two looks, so each is its step give or take one.
    std::vector<long> stepsTold() const
    {
        std::vector<long> steps;
        for (const auto& line : ctx->app.log().lines()) {
            char way[8] = {};
            int h = 0, m = 0, s = 0;
            if (std::sscanf(line.text.c_str(), "The clock went %7s %d:%d:%d", way, &h, &m, &s) == 4)
                steps.push_back((std::string(way) == "back" ? -1 : 1) * (h * 3600L + m * 60L + s));
        }
        return steps;
    }
    std::size_t sent() { return sim.control("messages").size(); }
};

} // namespace

TEST_F(ClockStepTest, AStepBackNeitherStallsSendsNorReads)
{
    queue("+15550101", "before the step");
    pass();
    ASSERT_EQ(sent(), 1u);

    clock.stepWall(-1h);
    queue("+15550102", "queued after the step");
    sim.control("deliver +447700900123 arrived after the step");
    pass();
    EXPECT_EQ(sent(), 2u) << "the send interval ran out on the steady count";
    EXPECT_TRUE(logged(10, "arrived after the step"));
    EXPECT_TRUE(logged(2, "The clock went back "));
    ASSERT_EQ(stepsTold().size(), 1u);
    EXPECT_NEAR(stepsTold()[0], -3600, 1);

    // A row queued just before the step keeps its due time: it goes out with the next pass.
    queue("+15550103", "queued before the next step");
    clock.stepWall(-1h);
    pass();
    EXPECT_EQ(sent(), 3u);
    pass();
    EXPECT_EQ(stepsTold().size(), 2u) << "each step is told once";
}

TEST_F(ClockStepTest, AStepForwardDoesNotRushTheNextSend)
{
    queue("+15550201", "first");
    pass();
    ASSERT_EQ(sent(), 1u);
    queue("+15550202", "second");
    clock.stepWall(1h);
    pass(6s); // a pass is due again, a send is not
    EXPECT_EQ(sent(), 1u);
    EXPECT_TRUE(logged(2, "The clock went forward "));
    pass(6s);
    EXPECT_EQ(sent(), 2u);
    ASSERT_EQ(stepsTold().size(), 1u);
    EXPECT_NEAR(stepsTold()[0], 3600, 1);
}
