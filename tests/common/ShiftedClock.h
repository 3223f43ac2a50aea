#pragma once

#include "support/Clock.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace vesk::testing {

// Real time that a test can move forward: waits really wait (a modem on a pseudo-terminal needs
// time to answer), and advance() jumps minutes or days ahead for the time-dependent rules.
// A wait of one poll step or less (the driver looking again for a reply) is cut short: time-outs
// still run out in real time, only a reply that has come is seen sooner. Longer pauses are kept.
class ShiftedClock final : public Clock
{
public:
    explicit ShiftedClock(DateTime start = DateTime::fromParts(2026, 3, 5, 14, 7, 0))
        : m_start(start)
        , m_origin(std::chrono::steady_clock::now())
    {
    }

    DateTime now() const override { return m_start.addSeconds(elapsed().count() / 1000 + m_wallStep); }
    std::chrono::milliseconds elapsed() const override
    {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now() - m_origin)
            + m_shift;
    }
    void sleepFor(std::chrono::milliseconds d) override
    {
        std::this_thread::sleep_for(d <= std::chrono::milliseconds(100) ? std::min(d, kPollWait) : d);
    }

    void advance(std::chrono::milliseconds d) { m_shift += d; }
    // Steps the wall clock alone, as NTP or a change of civil time does: the steady count goes on.
    void stepWall(std::chrono::seconds d) { m_wallStep += d.count(); }

private:
    static constexpr std::chrono::milliseconds kPollWait {4};
    DateTime m_start;
    std::chrono::steady_clock::time_point m_origin;
    std::chrono::milliseconds m_shift {0};
    std::int64_t m_wallStep = 0;
};

} // namespace vesk::testing
