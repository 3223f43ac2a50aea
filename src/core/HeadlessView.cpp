#include "core/HeadlessView.h"

#include "core/AppLog.h"
#include "support/LogSink.h"

#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>

namespace vesk::core {

std::string HeadlessView::LevelName(int icon)
{
    switch (icon) {
    case icon::kInfo:
        return "info";
    case icon::kWarning:
        return "warn";
    case icon::kError:
        return "error";
    case icon::kSending:
        return "send";
    case icon::kDelivered:
        return "report";
    case icon::kNotDelivered:
        return "failed";
    case icon::kModem:
        return "modem";
    case icon::kInbound:
        return "inbound";
    case icon::kMailed:
        return "mailed";
    default:
        return "[" + std::to_string(icon) + "]";
    }
}

bool HeadlessView::IsJournalStream(int fd)
{
    const char* stream = std::getenv("JOURNAL_STREAM");
    struct stat st;
    if (!stream || !*stream || ::fstat(fd, &st) != 0)
        return false;
    unsigned long long device = 0;
    unsigned long long inode = 0;
    return std::sscanf(stream, "%llu:%llu", &device, &inode) == 2 && device == st.st_dev
        && inode == st.st_ino;
}

std::string HeadlessView::SyslogPrefix(int icon)
{
    switch (icon) {
    case icon::kError:
        return "<3>";
    case icon::kWarning:
    case icon::kNotDelivered:
        return "<4>";
    case icon::kInfo:
    case icon::kSending:
    case icon::kDelivered:
    case icon::kModem:
    case icon::kInbound:
    case icon::kMailed:
        return "<6>";
    default:
        return "<7>";
    }
}

void HeadlessView::lineAdded(const LogLine& line)
{
    std::string level = LevelName(line.icon);
    level.resize(std::max<std::size_t>(level.size(), 7), ' ');
    std::string address = line.address;
    address.resize(std::max<std::size_t>(address.size(), 15), ' ');
    if (m_journal)
        m_out << SyslogPrefix(line.icon);
    else
        m_out << line.timeText() << "  ";
    m_out << level << ' ' << address << ' ' << line.text << std::endl;
}

} // namespace vesk::core
