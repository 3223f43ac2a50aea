// The wall clock stepped while the console runs (an NTP correction, the end or start of summer
// time): sends and reads keep their rhythm, and the activity log tells of each step once.
#include "ConsoleFixture.h"

#include <algorithm>

using namespace std::chrono_literals;
using namespace vesk;

namespace {

class ClockStepTest : public vesk::testing::ConsoleFixture
{
protected:
    void SetUp() override { ASSERT_NO_FATAL_FAILURE(start()); }

    int stepLines() const
    {
        const auto& lines = ctx->app.log().lines();
        return static_cast<int>(std::count_if(lines.begin(), lines.end(),
            [](const auto& line) { return line.text.rfind("The clock went ", 0) == 0; }));
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
    EXPECT_TRUE(logged(2, "The clock went back 1:00:00 (from "));

    // A row queued just before the step keeps its due time: it goes out with the next pass.
    queue("+15550103", "queued before the next step");
    clock.stepWall(-1h);
    pass();
    EXPECT_EQ(sent(), 3u);
    pass();
    EXPECT_EQ(stepLines(), 2) << "each step is told once";
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
    EXPECT_TRUE(logged(2, "The clock went forward 1:00:00"));
    pass(6s);
    EXPECT_EQ(sent(), 2u);
    EXPECT_EQ(stepLines(), 1);
}
