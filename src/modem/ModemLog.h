#pragma once

#include <string>

namespace vesk::modem {

// The modem log: the whole exchange with the modem, buffered and appended to a trace file.
class ModemLog
{
public:
    static constexpr std::size_t kBufferLimit = 4096;
    static constexpr long long kFileLimit = 1024000;

    ~ModemLog();

    bool Logging() const { return m_logging; }
    void SetLogging(bool on) { m_logging = on; }
    const std::string& LogFilename() const { return m_filename; }
    // Pending text still belongs to the file named so far.
    void SetLogFilename(const std::string& path);

    void WriteLog(const std::string& text);
    void LogFlush();
    void LogTruncateFile();

    const std::string& pending() const { return m_buffer; }

private:
    bool m_logging = false;
    std::string m_filename;
    std::string m_buffer;
};

} // namespace vesk::modem
