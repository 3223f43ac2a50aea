#pragma once

#include <exception>

namespace vesk::core {

// Runs one step of a routine that must carry on whatever the step does: a failing step is
// skipped and the routine goes on with the next.
template<class Step> void Trap(Step&& step) noexcept
{
    try {
        step();
    } catch (const std::exception&) {
    } catch (...) {
    }
}

} // namespace vesk::core
