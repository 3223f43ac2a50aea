#include "core/HeadlessView.h"

#include "core/AppLog.h"

#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>

namespace vesk::core {

std::string HeadlessView::LevelName(int icon)
{
    switch (icon) {
    case 1:
        return "info";
    case 2:
        return "warn";
    case 3:
        return "error";
    case 5:
        return "send";
    case 7:
        return "report";
    case 8:
        return "failed";
    case 9:
        return "modem";
    case 10:
        return "inbound";
    case 11:
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
    case 3:
        return "<3>";
    case 2:
    case 8:
        return "<4>";
    case 1:
    case 5:
    case 7:
    case 9:
    case 10:
    case 11:
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
