#pragma once

#include "support/LogSink.h"

#include <exception>
#include <stdexcept>
#include <string>

namespace vesk::core {

// Where a trapped step failed, as "File.cpp:line", for its log line.
inline std::string TrapSite(const char* file, int line)
{
    const std::string path = file;
    return path.substr(path.find_last_of('/') + 1) + ":" + std::to_string(line);
}

// Runs one step of a routine that must carry on whatever the step does: a failing step leaves one
// error line in the activity log (where and what) and the routine goes on with the next. The
// caller's file and line are filled in by the compiler (both gcc and clang know these builtins).
template<class Step>
void Trap(
    LogSink& log, Step&& step, const char* file = __builtin_FILE(), int line = __builtin_LINE()) noexcept
{
    try {
        step();
    } catch (const std::exception& e) {
        LogCaught(log, TrapSite(file, line), e);
    } catch (...) {
        // Only the modem's and the standard library's exceptions are expected; anything else is
        // still a fault the console must outlive, and still worth a line.
        LogCaught(log, TrapSite(file, line), std::runtime_error("unknown exception"));
    }
}

} // namespace vesk::core
