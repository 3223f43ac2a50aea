#include "modem/ModemLog.h"

#include "support/PrivateFiles.h"

#include <cstdio>
#include <filesystem>

namespace vesk::modem {

ModemLog::~ModemLog()
{
    if (m_logging && !m_buffer.empty())
        LogFlush();
}

void ModemLog::SetLogFilename(const std::string& path)
{
    LogFlush();
    m_filename = path;
}

void ModemLog::WriteLog(const std::string& text)
{
    if (!m_logging)
        return;
    m_buffer += text;
    if (m_buffer.size() > kBufferLimit) {
        LogFlush();
        m_buffer.clear();
    }
}

void ModemLog::LogFlush()
{
    if (m_filename.empty() || m_buffer.empty())
        return;
    std::error_code ec;
    const bool wildcard = m_filename.find_first_of("*?") != std::string::npos;
    if (!wildcard) {
        auto size = std::filesystem::file_size(m_filename, ec);
        if (!ec && size > static_cast<std::uintmax_t>(kFileLimit))
            std::filesystem::remove(m_filename, ec);
    }
    std::FILE* file = AppendPrivateFile(m_filename);
    if (!file)
        return; // a missing folder or a locked file costs only the trace
    std::fwrite(m_buffer.data(), 1, m_buffer.size(), file);
    std::fclose(file);
    m_buffer.clear();
}

void ModemLog::LogTruncateFile()
{
    if (m_filename.empty())
        return;
    std::error_code ec;
    std::filesystem::remove(m_filename, ec);
}

} // namespace vesk::modem
