#pragma once

#include "modem/MemoryReplies.h"

#include <chrono>
#include <deque>
#include <map>
#include <string>

namespace vesk::modem {
struct GSMMessage;
}

namespace vesk::core {

struct Context;

// How the console takes delivery reports before a full memory can drop them, in the first way the
// modem offers: stored and announced, read once a memory is half full; stored without a word,
// read before the sends since the last read would fill it; or handed over directly (+CDS) and
// acknowledged, where the modem offers it and [COM] RoutedReports=1 asks for it.
enum class ReportWay { Announced, Counted, Routed };

struct ReportTaking
{
    ReportWay way = ReportWay::Counted;
    std::string routing; // the AT+CNMI setting of the way; empty: left as the modem has it
    std::map<std::string, modem::MemoryUse> memories; // by name, as last seen
    std::map<std::string, modem::Announced> announced; // announcements since each memory was last listed
    struct Outstanding
    {
        int reference;
        std::chrono::milliseconds sent;
    };
    std::deque<Outstanding> outstanding; // sends whose reports have not been read yet
    std::chrono::milliseconds lastReport {-1}; // when a report was last read (-1: none yet)
    bool quiet = false; // the network sent no report for 20 s: sends wait for none until one comes
    bool readRequested = false; // a full memory refused a send: read before the next one
    bool routingLost = false; // an acknowledgement failed: reports may be stored meanwhile
};

// Start-up questions (AT+CNMI=?, AT+CPMS=?, AT+CPMS? and, where routed reports are asked for,
// AT+CSMS=1), the choice of way, one log line, and the routing the way needs.
void LearnReportTaking(Context& ctx);
// Sets the routing of the chosen way again (after a modem restart or a missed acknowledgement).
void SetReportRouting(Context& ctx);
// Routed reports: asks the modem whether it still hands them over, and sets it again if not.
void CheckReportRouting(Context& ctx);
// A send that asked for a report went out.
void NoteReportWanted(Context& ctx, int reference);
// A report was read (matched or not): its send waits no more.
void NoteReportRead(Context& ctx, int reference);
// A memory is about to be listed: announcements from now on are of units the listing may not hold.
void NoteMemoryListing(Context& ctx, const std::string& memory);
// A memory was read: `left` units of the listing stay in it.
void NoteMemoryRead(Context& ctx, const std::string& memory, int left);
// Between two sends: the memories that would overflow before the pass ends.
struct MemoriesToRead
{
    bool reports = false;
    bool messages = false;

    bool any() const { return reports || messages; }
};
MemoriesToRead MemoriesNeedReading(Context& ctx);
// Between two sends: reads what needs reading and, when the reports still on their way could fill
// the report memory, gives them a moment to arrive and reads again. False when the memory still
// has no room: the pass stops and the rest waits for the next one.
bool MakeRoomForReports(Context& ctx);
// Routed reports: keeps each one the modem handed over and acknowledges it.
// How many it kept and acknowledged.
int TakeRoutedReports(Context& ctx);
// Outside a send: polls the modem and takes the reports it hands over one after another (the next
// comes once the last is acknowledged), a bounded number at a time.
void TakeRoutedBurst(Context& ctx);
// Text of the way for the log and the status.
std::string ReportWayText(const ReportTaking& taking);

} // namespace vesk::core
