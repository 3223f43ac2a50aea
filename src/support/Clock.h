#pragma once

#include "support/DateTime.h"

#include <chrono>

namespace vesk {

// The only source of "now" and the only way to wait, so tests can run hours in an instant.
class Clock
{
public:
    virtual ~Clock() = default;
    virtual DateTime now() const = 0; // local civil time
    // A steady count for time-outs; only differences mean anything.
    virtual std::chrono::milliseconds elapsed() const = 0;
    virtual void sleepFor(std::chrono::milliseconds duration) = 0;
};

class SystemClock final : public Clock
{
public:
    DateTime now() const override;
    std::chrono::milliseconds elapsed() const override;
    void sleepFor(std::chrono::milliseconds duration) override;
};

} // namespace vesk
