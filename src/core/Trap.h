#pragma once

#include "support/LogSink.h"

#include <exception>
#include <stdexcept>
#include <source_location>
#include <string>

namespace vesk::core {

// Where a trapped step failed, as "File.cpp:line", for its log line.
inline std::string TrapSite(const std::source_location& where)
{
    const std::string file = where.file_name();
    return file.substr(file.find_last_of('/') + 1) + ":" + std::to_string(where.line());
}

// Runs one step of a routine that must carry on whatever the step does: a failing step leaves one
// error line in the activity log (where and what) and the routine goes on with the next.
template<class Step>
void Trap(LogSink& log, Step&& step, std::source_location where = std::source_location::current()) noexcept
{
    try {
        step();
    } catch (const std::exception& e) {
        LogCaught(log, TrapSite(where), e);
    } catch (...) {
        // Only the modem's and the standard library's exceptions are expected; anything else is
        // still a fault the console must outlive, and still worth a line.
        LogCaught(log, TrapSite(where), std::runtime_error("unknown exception"));
    }
}

} // namespace vesk::core
