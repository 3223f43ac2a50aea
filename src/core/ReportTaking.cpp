#include "core/ReportTaking.h"

#include "core/Context.h"
#include "core/Engine.h"
#include "core/Keeping.h"
#include "core/Trap.h"

#include <algorithm>

namespace vesk::core {

namespace {

// Free slots kept in hand when reads are timed by counting sends.
constexpr int kMargin = 2;
// Most reports come within seconds; one that has not come after this long may never come, and
// its send stops counting.
constexpr std::chrono::minutes kReportWait {2};
// How long a pass waits for reports on their way before it gives up for now.
constexpr std::chrono::milliseconds kRoomWait {3000};
constexpr std::chrono::milliseconds kRoomStep {250};
// The modem hands over the next report once the last is acknowledged: a burst is taken this many
// at a time, waiting this long for each next one, rather than one a pass.
constexpr int kMostRoutedAtOnce = 20;
constexpr std::chrono::milliseconds kNextRoutedWait {200};
// A send this old without any report since means the network sends none (a handset that is on
// reports within seconds; one that is off leaves the others reporting meanwhile).
constexpr std::chrono::seconds kSilentNetwork {20};

// The AT+CNMI setting that stores new messages with an announcement and hands reports over as
// `ds` asks; mode 2 (indications held during message entry) where the modem has it.
std::string routingCommand(const modem::RoutingOffer& offer, int ds)
{
    const int mode = offer.offers(0, 2) ? 2 : 1;
    const int mt = offer.offers(1, 1) ? 1 : 0;
    return "AT+CNMI=" + std::to_string(mode) + "," + std::to_string(mt) + ",0," + std::to_string(ds) + ",0";
}

std::string slots(const ReportTaking& taking, const std::string& memory)
{
    const auto it = taking.memories.find(memory);
    if (it == taking.memories.end() || it->second.total <= 0)
        return memory;
    return memory + " (" + std::to_string(it->second.total) + " slots)";
}

void remember(ReportTaking& taking, const std::vector<modem::MemoryUse>& groups)
{
    std::map<std::string, bool> seen;
    for (const auto& group : groups)
        if (!seen[group.name]) {
            seen[group.name] = true;
            taking.memories[group.name] = group;
        }
}

void takeAnnouncements(Context& ctx)
{
    if (!ctx.modem)
        return;
    for (const auto& [memory, count] : ctx.modem->TakeAnnouncements()) {
        ctx.reports.announced[memory].messages += count.messages;
        ctx.reports.announced[memory].reports += count.reports;
    }
}

} // namespace

std::string ReportWayText(const ReportTaking& taking)
{
    switch (taking.way) {
    case ReportWay::Announced:
        return "stored and announced";
    case ReportWay::Routed:
        return "handed over directly";
    case ReportWay::Counted:
        break;
    }
    return "stored";
}

void LearnReportTaking(Context& ctx)
{
    if (!ctx.modem || !ctx.modem->IsPortOpen())
        return;
    modem::GSMModem& m = *ctx.modem;
    ReportTaking& taking = ctx.reports;
    taking.way = ReportWay::Counted;
    taking.routing.clear();
    taking.announced.clear();
    std::optional<modem::RoutingOffer> offer;
    bool readable = false;
    Trap(ctx.app, [&] { offer = m.RoutingOffered(); });
    Trap(ctx.app, [&] { readable = m.IsMessageMemoryReadable(); });
    Trap(ctx.app, [&] { remember(taking, m.MemoryStatus()); });
    const std::string& memory = ctx.config.ReportMemory;
    std::string why;
    if (ctx.config.RoutedReports) {
        if (!offer || !offer->offers(3, 1))
            why = "; the modem does not offer reports handed over directly";
        else if (m.IsTextMode())
            why = "; reports are handed over directly only in PDU mode";
        else if (!m.SelectService(1))
            why = "; the modem refused AT+CSMS=1";
        else {
            taking.way = ReportWay::Routed;
            taking.routing = routingCommand(*offer, 1);
        }
    }
    if (taking.way == ReportWay::Counted && offer && offer->offers(3, 2)) {
        taking.way = ReportWay::Announced;
        taking.routing = routingCommand(*offer, 2);
    }
    std::string line;
    switch (taking.way) {
    case ReportWay::Routed:
        line = "Delivery reports are handed over directly and acknowledged (AT+CSMS=1)";
        break;
    case ReportWay::Announced:
        line = "Delivery reports are stored in " + slots(taking, memory)
            + " and announced; read between sends once a memory is half full";
        break;
    case ReportWay::Counted:
        line = "Delivery reports are stored in " + slots(taking, memory)
            + " without announcement; read between sends before its free slots run out";
        break;
    }
    if (!readable)
        line += "; the modem does not list its memories";
    ctx.app.Log(icon::kModem, "", line + why);
    SetReportRouting(ctx);
}

void SetReportRouting(Context& ctx)
{
    if (!ctx.modem || ctx.reports.routing.empty())
        return;
    bool set = false;
    Trap(ctx.app, [&] { set = ctx.modem->SetRouting(ctx.reports.routing); });
    if (!set)
        ctx.app.Log(icon::kWarning, "", "The modem refused " + ctx.reports.routing);
}

void CheckReportRouting(Context& ctx)
{
    if (!ctx.modem || ctx.reports.way != ReportWay::Routed)
        return;
    int routing = -1;
    Trap(ctx.app, [&] { routing = ctx.modem->ReportRouting(); });
    if (routing == 1)
        return;
    ctx.reports.routingLost = true;
    ctx.app.Log(icon::kWarning, "",
        "The modem stopped handing reports over (an acknowledgement came too late); set again");
    SetReportRouting(ctx);
}

void NoteReportWanted(Context& ctx, int reference)
{
    ctx.reports.outstanding.push_back({reference, ctx.clock.elapsed()});
}

void NoteReportRead(Context& ctx, int reference)
{
    auto& outstanding = ctx.reports.outstanding;
    const auto it = std::find_if(outstanding.begin(), outstanding.end(),
        [&](const ReportTaking::Outstanding& o) { return o.reference == reference; });
    if (it != outstanding.end())
        outstanding.erase(it);
    ctx.reports.lastReport = ctx.clock.elapsed();
    ctx.reports.quiet = false;
}

void NoteMemoryListing(Context& ctx, const std::string& memory)
{
    takeAnnouncements(ctx);
    ctx.reports.announced[memory] = {};
}

void NoteMemoryRead(Context& ctx, const std::string& memory, int left)
{
    ReportTaking& taking = ctx.reports;
    if (ctx.modem)
        for (const auto& group : ctx.modem->LastMemoryUse())
            if (group.name == memory && taking.memories[memory].total <= 0)
                taking.memories[memory] = group;
    auto& use = taking.memories[memory];
    use.name = memory;
    use.used = std::max(left, 0);
    taking.readRequested = false;
}

namespace {

const modem::MemoryUse* knownMemory(const ReportTaking& taking, const std::string& memory)
{
    const auto it = taking.memories.find(memory);
    return it != taking.memories.end() && it->second.total > 0 ? &it->second : nullptr;
}

// What the report memory will hold once every report on its way has come.
bool couldOverflow(Context& ctx)
{
    const ReportTaking& taking = ctx.reports;
    if (taking.way == ReportWay::Routed && !taking.routingLost)
        return false; // reports handed over take no room
    const std::string& memory = ctx.config.ReportMemory;
    const auto* use = knownMemory(taking, memory);
    if (!use)
        return false;
    // Messages announced since the listing share the memory with the reports still to come.
    const auto announced = taking.announced.find(memory);
    const int messages = announced == taking.announced.end() ? 0 : announced->second.messages;
    return use->total - (use->used + messages + static_cast<int>(taking.outstanding.size())) <= kMargin;
}

} // namespace

MemoriesToRead MemoriesNeedReading(Context& ctx)
{
    ReportTaking& taking = ctx.reports;
    MemoriesToRead read;
    if (taking.readRequested) {
        read.reports = read.messages = true;
        return read;
    }
    takeAnnouncements(ctx);
    const auto now = ctx.clock.elapsed();
    while (!taking.outstanding.empty() && now - taking.outstanding.front().sent > kReportWait)
        taking.outstanding.pop_front();
    // Announced: what a memory holds is known; read it once it is half full.
    const auto halfFull = [&](const std::string& memory) {
        const auto* use = knownMemory(taking, memory);
        return use && 2 * (use->used + taking.announced[memory].all()) > use->total;
    };
    read.messages = taking.way != ReportWay::Counted && halfFull(ctx.config.MessageMemory);
    read.reports
        = couldOverflow(ctx) || (taking.way == ReportWay::Announced && halfFull(ctx.config.ReportMemory));
    return read;
}

bool MakeRoomForReports(Context& ctx)
{
    if (const auto memories = MemoriesNeedReading(ctx); memories.any())
        ReadMemories(ctx, memories.reports, memories.messages);
    // Reports are waited for unless they have stopped coming: a network that sends none (the oldest
    // send waits long, and no report came since) would otherwise hold every pass up. Once found
    // quiet it stays so until a report comes, so each new burst of sends does not find it again.
    const auto flowing = [&] {
        ReportTaking& taking = ctx.reports;
        if (taking.outstanding.empty())
            return true;
        if (taking.quiet)
            return false;
        const auto oldest = taking.outstanding.front().sent;
        if (ctx.clock.elapsed() - oldest < kSilentNetwork || taking.lastReport > oldest)
            return true;
        taking.quiet = true;
        ctx.app.Log(icon::kWarning, "",
            "No delivery report has come for " + std::to_string(kSilentNetwork.count())
                + " seconds; sends no longer wait for reports until one comes");
        return false;
    };
    const auto start = ctx.clock.elapsed();
    while (couldOverflow(ctx) && flowing() && ctx.clock.elapsed() - start < kRoomWait) {
        ctx.clock.sleepFor(kRoomStep);
        ctx.pump.runPending();
        ReadMemories(ctx, true, false);
    }
    if (!couldOverflow(ctx) || !flowing())
        return true;
    ctx.app.Log(icon::kInfo, "",
        "The report memory is spoken for by reports still to come; the next messages wait for the next pass");
    return false;
}

void TakeRoutedBurst(Context& ctx)
{
    if (!ctx.modem || ctx.reports.way != ReportWay::Routed || !ctx.modem->IsPortOpen())
        return;
    ctx.modem->PollUnsolicited();
    for (int i = 0; i < kMostRoutedAtOnce && TakeRoutedReports(ctx) > 0; ++i)
        ctx.modem->PollUnsolicited(kNextRoutedWait);
}

int TakeRoutedReports(Context& ctx)
{
    if (!ctx.modem || ctx.reports.way != ReportWay::Routed)
        return 0;
    auto routed = ctx.modem->TakeRoutedReports();
    if (routed.empty())
        return 0;
    store::db& h = *ctx.outbox.handle;
    const bool opened = !h.IsConnected() && ctx.outbox.settings.DBVersion != 0
        && h.OpenDatabase(store::mode::kReadWriteShared);
    int acknowledgedCount = 0;
    for (auto& report : routed) {
        bool kept = false;
        Trap(ctx.app, [&] { kept = KeepRoutedReport(ctx, report); });
        NoteReportRead(ctx, report.id);
        // An unkept report is not acknowledged: the modem gives it back to the network, which
        // sends it again later.
        if (!kept)
            continue;
        bool acknowledged = false;
        Trap(ctx.app, [&] { acknowledged = ctx.modem->AcknowledgeUnit(); });
        ctx.reports.routingLost = !acknowledged;
        if (!acknowledged)
            CheckReportRouting(ctx);
        acknowledgedCount += acknowledged ? 1 : 0;
    }
    if (opened)
        h.CloseDatabase();
    return acknowledgedCount;
}

} // namespace vesk::core
