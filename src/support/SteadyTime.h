#pragma once

#include "support/Clock.h"
#include "support/DateTime.h"

#include <chrono>
#include <compare>
#include <optional>

namespace vesk {

// A moment on the clock's steady count. The console's own waits (between passes, sends, reads,
// checks and alerts) are measured on it, so they keep their length when the wall clock is set back
// or forward. The default value is unset: a wait until an unset moment is already over.
class SteadyTime
{
public:
    constexpr SteadyTime() = default;

    static SteadyTime Now(const Clock& clock) { return SteadyTime(clock.elapsed()); }
    static SteadyTime FromNow(const Clock& clock, std::chrono::milliseconds wait)
    {
        return SteadyTime(clock.elapsed() + wait);
    }

    bool isSet() const { return m_at.has_value(); }
    // True once the steady count has come to this moment; always true when unset.
    bool reached(const Clock& clock) const { return !m_at || clock.elapsed() >= *m_at; }
    // Time from now to this moment, negative once it has passed; zero when unset.
    std::chrono::milliseconds remaining(const Clock& clock) const
    {
        return m_at ? *m_at - clock.elapsed() : std::chrono::milliseconds(0);
    }
    // Time since this moment.
    std::chrono::milliseconds since(const Clock& clock) const { return -remaining(clock); }

    auto operator<=>(const SteadyTime&) const = default;

private:
    constexpr explicit SteadyTime(std::chrono::milliseconds at)
        : m_at(at)
    {
    }
    std::optional<std::chrono::milliseconds> m_at;
};

// A wall-clock time together with the steady moment it was read. The wall time now, seen from
// it, is the wall time then plus the steady time since: rules written in calendar terms (minute
// boundaries) then keep their length across a step of the wall clock.
struct StampedTime
{
    DateTime wall;
    SteadyTime steady; // unset: never stamped

    static StampedTime Now(const Clock& clock) { return {clock.now(), SteadyTime::Now(clock)}; }
    bool isSet() const { return steady.isSet(); }
    DateTime wallNow(const Clock& clock) const { return wall.addSeconds(steady.since(clock).count() / 1000); }
};

} // namespace vesk
