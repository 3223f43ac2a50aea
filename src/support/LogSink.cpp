#include "support/LogSink.h"

namespace vesk {

void LogCaught(LogSink& log, std::string_view where, const std::exception& error) noexcept
{
    try {
        log.Log(icon::kError, "", std::string(where) + " : " + error.what());
    } catch (const std::exception&) {
        // Out of memory while reporting: nothing more can be said.
    }
}

} // namespace vesk
