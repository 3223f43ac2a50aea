#pragma once

#include <exception>
#include <string>
#include <string_view>

namespace vesk {

// Log icons, which are also the lines' levels.
namespace icon {
inline constexpr int kInfo = 1;
inline constexpr int kWarning = 2;
inline constexpr int kError = 3;
inline constexpr int kSending = 5;
inline constexpr int kDelivered = 7;
inline constexpr int kNotDelivered = 8;
inline constexpr int kModem = 9;
inline constexpr int kInbound = 10;
inline constexpr int kMailed = 11;
} // namespace icon

// Where every part writes its activity-log lines; the console's application object is the one
// real sink, so lower layers never need to know about it.
class LogSink
{
public:
    virtual ~LogSink() = default;
    virtual void Log(int icon, const std::string& address, const std::string& text) = 0;
};

// One error line for a fault that a routine caught and carried on after: where it was and what
// the exception said. Never throws.
void LogCaught(LogSink& log, std::string_view where, const std::exception& error) noexcept;

} // namespace vesk
