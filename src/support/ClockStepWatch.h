#pragma once

#include "support/SteadyTime.h"

#include <cstdint>
#include <optional>
#include <string>

namespace vesk {

// A step of the wall clock: where it would be had it kept pace with the steady count, and where
// it is.
struct ClockStep
{
    std::int64_t seconds = 0; // negative when the clock went back
    DateTime expected;
    DateTime now;

    // "went back 1:00:00 (from 14:07:10 to 13:07:10)"
    std::string text() const;
};

// Notices a step of the wall clock (an NTP correction, a change of civil time, an operator's
// date command): between two looks the wall time moved by more than a few seconds differently
// from the steady count.
class ClockStepWatch
{
public:
    static constexpr std::int64_t kToleranceSeconds = 5;

    // The step since the last look; nothing when the wall time kept pace, and on the first look.
    std::optional<ClockStep> look(const Clock& clock);

private:
    StampedTime m_last;
};

} // namespace vesk
