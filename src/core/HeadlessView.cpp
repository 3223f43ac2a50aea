#include "core/HeadlessView.h"

#include "core/AppLog.h"

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

void HeadlessView::lineAdded(const LogLine& line)
{
    std::string level = LevelName(line.icon);
    level.resize(std::max<std::size_t>(level.size(), 7), ' ');
    std::string address = line.address;
    address.resize(std::max<std::size_t>(address.size(), 15), ' ');
    m_out << line.timeText() << "  " << level << ' ' << address << ' ' << line.text << std::endl;
}

} // namespace vesk::core
