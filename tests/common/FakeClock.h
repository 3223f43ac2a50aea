#pragma once

#include "support/Clock.h"

#include <chrono>
#include <functional>

namespace vesk::testing {

// Virtual time: sleeping advances it at once, so hours of waiting cost nothing.
class FakeClock final : public Clock
{
public:
    explicit FakeClock(DateTime start = DateTime::fromParts(2026, 3, 5, 14, 7, 0))
        : m_now(start)
    {
    }

    DateTime now() const override { return m_now.addSeconds(m_ms.count() / 1000); }
    std::chrono::milliseconds elapsed() const override { return m_ms; }
    void sleepFor(std::chrono::milliseconds d) override
    {
        m_ms += d;
        ++m_sleeps;
    }

    void advance(std::chrono::milliseconds d) { m_ms += d; }
    // The wall clock is set to t, as an operator or NTP would set it; the steady count goes on.
    void set(DateTime t) { m_now = t.addSeconds(-(m_ms.count() / 1000)); }
    int sleeps() const { return m_sleeps; }

private:
    DateTime m_now;
    std::chrono::milliseconds m_ms {0};
    int m_sleeps = 0;
};

} // namespace vesk::testing
