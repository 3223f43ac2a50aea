#include "api/LineLog.h"

#include "support/Convert.h"

namespace vesk::api {

void LineLog::Log(int icon, const std::string& address, const std::string& text)
{
    const char* level = icon == icon::kError ? "<3>" : icon == icon::kWarning ? "<4>" : "<6>";
    const std::string line = EscapeControls(address.empty() ? text : address + " " + text);
    const std::lock_guard lock(m_mutex);
    std::fprintf(m_stream, "%s%s\n", level, line.c_str());
    std::fflush(m_stream);
}

} // namespace vesk::api
