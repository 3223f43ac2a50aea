#include "support/ClockStepWatch.h"

#include <cstdio>
#include <cstdlib>

namespace vesk {

std::string ClockStep::text() const
{
    const long long s = std::llabs(seconds);
    char amount[48];
    std::snprintf(amount, sizeof amount, "%lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
    return std::string(seconds < 0 ? "went back " : "went forward ") + amount + " (from "
        + Format(expected, "hh:nn:ss") + " to " + Format(now, "hh:nn:ss") + ")";
}

std::optional<ClockStep> ClockStepWatch::look(const Clock& clock)
{
    const StampedTime now = StampedTime::Now(clock);
    std::optional<ClockStep> step;
    if (m_last.isSet()) {
        const DateTime expected = m_last.wallNow(clock);
        const std::int64_t moved = SecondsBetween(expected, now.wall);
        if (std::llabs(moved) > kToleranceSeconds)
            step = ClockStep {moved, expected, now.wall};
    }
    m_last = now;
    return step;
}

} // namespace vesk
