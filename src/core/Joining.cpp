#include "core/Joining.h"

#include "core/Context.h"
#include "core/Trap.h"

#include <algorithm>

namespace vesk::core {
namespace {

std::string groupName(const PartGroups::Key& key)
{
    return "long message reference " + std::to_string(std::get<2>(key));
}

void deleteParts(Context& ctx, const PartGroups::Group& group)
{
    modem::GSMModem& m = *ctx.modem;
    for (const auto& [number, part] : group.parts) {
        const bool elsewhere = part.memory != ctx.partGroups.memory && !part.memory.empty();
        if (elsewhere)
            m.SelectMemory(part.memory);
        m.DeleteMessage(part.index);
        if (elsewhere)
            m.SelectMemory(ctx.partGroups.memory);
    }
}

// Hands the group's message on and, once it is kept, deletes its parts; a group short of parts
// gets a warning.
void handOver(Context& ctx, PartGroups::Key key, const std::string& why,
    const std::function<bool(modem::GSMMessage&)>& handle)
{
    const auto found = ctx.partGroups.groups.find(key);
    const PartGroups::Group group = std::move(found->second);
    ctx.partGroups.groups.erase(found);
    const int count = std::get<3>(key);
    if (static_cast<int>(group.parts.size()) < count) {
        std::string missing;
        for (int n = 1; n <= count; ++n)
            if (!group.parts.count(n))
                missing += (missing.empty() ? "" : ", ") + std::to_string(n);
        ctx.app.Log(icon::kWarning, group.first.Address,
            "Incomplete " + groupName(key) + " from " + group.first.Address + " " + why + ": part " + missing
                + " of " + std::to_string(count) + " missing; handled as it stands");
    }
    modem::GSMMessage joined = group.first;
    joined.Text = JoinedText(group, count);
    joined.PartNumber = 0;
    if (handle(joined))
        Trap(ctx.app, [&] { deleteParts(ctx, group); });
}

} // namespace

bool JoiningParts(const Context& ctx)
{
    return ctx.config.InboundFull && ctx.config.JoinParts;
}

std::string JoinedText(const PartGroups::Group& group, int count)
{
    std::string text;
    for (int n = 1; n <= count; ++n) {
        const auto part = group.parts.find(n);
        text += part == group.parts.end() ? kGapMark : part->second.text;
    }
    return text;
}

void CollectPart(Context& ctx, const modem::GSMMessage& part)
{
    PartGroups& all = ctx.partGroups;
    const PartGroups::Key key {part.Address, part.PartReferenceType, part.PartReference, part.PartCount};
    auto [at, fresh] = all.groups.try_emplace(key);
    PartGroups::Group& group = at->second;
    if (fresh)
        group.first = part;
    const auto known = group.parts.find(part.PartNumber);
    if (known == group.parts.end()) {
        group.parts[part.PartNumber] = {part.Text, all.memory, part.MemoryIndex, true};
        group.newest = SteadyTime::Now(ctx.clock);
        return;
    }
    if (known->second.memory == all.memory && known->second.index == part.MemoryIndex) {
        known->second.listed = true; // the same entry, listed again while its group waits
        return;
    }
    ctx.modem->DeleteMessage(part.MemoryIndex);
    ctx.app.Log(icon::kWarning, part.Address,
        "Duplicate part " + std::to_string(part.PartNumber) + " of " + groupName(key) + " deleted");
}

void FinishGroups(Context& ctx, const std::function<bool(modem::GSMMessage&)>& handle)
{
    PartGroups& all = ctx.partGroups;
    // Parts deleted from this memory behind the console's back no longer count.
    for (auto g = all.groups.begin(); g != all.groups.end();) {
        auto& parts = g->second.parts;
        for (auto p = parts.begin(); p != parts.end();)
            p = p->second.memory == all.memory && !p->second.listed ? parts.erase(p) : std::next(p);
        for (auto& [number, part] : parts)
            if (part.memory == all.memory)
                part.listed = false;
        g = parts.empty() ? all.groups.erase(g) : std::next(g);
    }

    std::vector<PartGroups::Key> complete, stale;
    for (const auto& [key, group] : all.groups) {
        if (static_cast<int>(group.parts.size()) == std::get<3>(key))
            complete.push_back(key);
        else if (group.newest.since(ctx.clock) >= std::chrono::seconds(ctx.config.JoinTimeout))
            stale.push_back(key);
    }
    for (const auto& key : complete)
        handOver(ctx, key, "", handle);
    for (const auto& key : stale)
        handOver(ctx, key, "after " + std::to_string(ctx.config.JoinTimeout) + " s", handle);

    // A full memory would refuse the parts still to come: the oldest group goes as it stands.
    if (all.groups.empty() || !ctx.modem->MemoryFull())
        return;
    const auto oldest = std::min_element(all.groups.begin(), all.groups.end(),
        [](const auto& a, const auto& b) { return a.second.newest < b.second.newest; });
    handOver(ctx, oldest->first, "with the modem memory full", handle);
}

} // namespace vesk::core
