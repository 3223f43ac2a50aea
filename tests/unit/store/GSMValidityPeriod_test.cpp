#include "FakeClock.h"
#include "store/DBMessage.h"

#include <gtest/gtest.h>

namespace vesk::store {
namespace {

class NoLog final : public LogSink
{
public:
    void Log(int, const std::string&, const std::string&) override { }
};

TEST(GSMValidityPeriod, CoversAtLeastTheTimeLeft)
{
    testing::FakeClock clock;
    NullPump pump;
    NoLog log;
    db outbox(clock, pump);
    DBMessage m(outbox, clock, log);
    // Seconds left before the message expires, the octet sent.
    const std::pair<std::int64_t, int> cases[]
        = {{-60, 0}, {0, 0}, {59, 0}, {60, 0}, {5 * 60, 0}, {6 * 60, 1}, {720 * 60, 143}, {721 * 60, 143},
            {750 * 60, 144}, {1440 * 60, 167}, {1441 * 60, 168}, {2879 * 60, 168}, {2880 * 60, 168},
            {2881 * 60, 169}, {30LL * 1440 * 60, 196}, {31LL * 1440 * 60, 197}, {63LL * 7 * 1440 * 60, 255},
            {400LL * 1440 * 60, 250}, {500LL * 1440 * 60, 255}};
    for (const auto& [secondsLeft, octet] : cases) {
        SCOPED_TRACE(secondsLeft);
        m.Expires = clock.now().addSeconds(secondsLeft);
        EXPECT_EQ(m.GSMValidityPeriod(), octet);
    }
}

} // namespace
} // namespace vesk::store
