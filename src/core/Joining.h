#pragma once

#include "modem/GSMMessage.h"
#include "support/SteadyTime.h"

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <tuple>

namespace vesk::core {

struct Context;

// The parts of long inbound messages that wait in the modem's memory for the rest of their
// group. A part stays in the modem until its group is handled, so a console that stops loses
// nothing: the parts are listed again and grouped afresh.
struct PartGroups
{
    struct Part
    {
        std::string text;
        std::string memory; // where the part is stored, for its delete
        std::int16_t index = 0;
        bool listed = false; // seen in the listing being read
    };
    struct Group
    {
        modem::GSMMessage first; // sender, times and reference of the group
        std::map<int, Part> parts; // by part number
        SteadyTime newest; // when the console first saw the group's newest part
    };
    // Sender, reference type (0x00 or 0x08), reference and part count.
    using Key = std::tuple<std::string, int, int, int>;
    std::map<Key, Group> groups;
    std::string memory; // the memory whose listing is being read
};

// True when long inbound messages are joined: JoinParts with InboundDecoding Full.
bool JoiningParts(const Context& ctx);
// Takes a listed part into its group; the part stays in the modem. A second part with the same
// number is deleted from the modem and logged.
void CollectPart(Context& ctx, const modem::GSMMessage& part);
// After a listing: handles every complete group, every group whose newest part is older than
// JoinTimeout (with a mark at each gap and a warning), and the oldest group when the modem's
// memory is full. Parts of this memory that the listing no longer holds are forgotten. `handle`
// gets each joined message and says whether it was kept; only then are its parts deleted (a
// group not kept is grouped afresh on the next read).
void FinishGroups(Context& ctx, const std::function<bool(modem::GSMMessage&)>& handle);

// The joined text of a group: its parts in order, a mark where one is missing.
std::string JoinedText(const PartGroups::Group& group, int count);
inline constexpr const char* kGapMark = "[...]";

} // namespace vesk::core
