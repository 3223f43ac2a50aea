#pragma once

#include "support/LogSink.h"

#include <cstdio>
#include <mutex>

namespace vesk::api {

// The log of a vesk-api: one line an event on a stream, from any thread, with the level as a
// syslog prefix the journal reads ("<4>" for a warning) and no control character in the text.
class LineLog final : public LogSink
{
public:
    explicit LineLog(std::FILE* stream)
        : m_stream(stream)
    {
    }
    void Log(int icon, const std::string& address, const std::string& text) override;

private:
    std::mutex m_mutex;
    std::FILE* m_stream;
};

} // namespace vesk::api
