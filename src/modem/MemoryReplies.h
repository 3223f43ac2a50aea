#pragma once

#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Readers of the replies that tell how full the modem's memories are and how it hands over new
// messages and delivery reports. Pure: no port, no clock; replies as the command engine returns
// them (one leading and one trailing CR LF removed).
namespace vesk::modem {

// One memory group of AT+CPMS?.
struct MemoryUse
{
    std::string name;
    int used = 0;
    int total = 0;

    int free() const { return total > used ? total - used : 0; }
};
// The groups in the modem's order: the memory read and deleted from, the one written to, the one
// new units are stored in. Empty when the reply is not a memory status.
std::vector<MemoryUse> ParseMemoryUse(std::string_view reply);

// What AT+CNMI=? offers: for each parameter (mode, mt, bm, ds, bfr) the values allowed.
struct RoutingOffer
{
    std::vector<std::set<int>> values;

    bool offers(std::size_t parameter, int value) const
    {
        return parameter < values.size() && values[parameter].count(value) != 0;
    }
};
// "(0-2),(0,1,2,3),(0),(0-2),(0,1)"; nothing for an error or a shape without parentheses.
std::optional<RoutingOffer> ParseRoutingOffer(std::string_view reply);
// The <ds> value AT+CNMI? reports (0 reports not handed over, 1 routed, 2 stored and announced);
// -1 when the reply does not say.
int ParseReportRouting(std::string_view reply);
// What an announcement names: its memory and index, and whether a report (+CDSI) or a message
// (+CMTI) was stored.
struct Announcement
{
    std::string memory;
    int index = 0;
    bool report = false;
};
std::optional<Announcement> ParseAnnouncement(std::string_view line);
// Announcements of one memory since they were last taken.
struct Announced
{
    int messages = 0;
    int reports = 0;

    int all() const { return messages + reports; }
};
// True when a modem's answer refuses for a full memory (+CMS ERROR: 322).
bool IsMemoryFullAnswer(std::string_view answer);

} // namespace vesk::modem
