#pragma once

#include <string>

namespace vesk::modem {
struct GSMMessage;
}

namespace vesk::core {

struct Context;
struct ReadState;

// The one-second timer: starts a processing pass when the console is idle and one is due.
void OnTick(Context& ctx);
void ProcessCycle(Context& ctx);
void InitialiseModem(Context& ctx, bool quiet);
void ReportModemInfo(Context& ctx);
void CheckModemLink(Context& ctx);
// Writes a console event into the outbox when the modem link went down or came back since the last
// pass (and when the first pass finds it down); tried again next pass when the outbox is out of reach.
void NoteModemLink(Context& ctx);
void ScheduleLinkCheck(Context& ctx);
// The driver's attempts to end message entry, counted in a row across drivers.
inline constexpr int kEntryLeaveTries = 10;
void NoteEntryLeave(Context& ctx, bool left);
void TogglePause(Context& ctx);

// Inbound messages and delivery reports. Entries the console cannot decode are kept in this file
// of the data folder.
inline constexpr const char* kUnreadableFile = "unreadable-messages.txt";
inline constexpr const char* kModemLogName = "modemlog.txt";
void ReadModemMessages(Context& ctx);
// With the outbox out of reach, units stay in the modem, or go to the journal when a memory is
// nearly full.
void ReadModemMessages(Context& ctx, bool outboxReachable);
// Reads the report memory, the message memory or both (one read when they are the same).
void ReadMemories(Context& ctx, bool reportMemory, bool messageMemory, bool outboxReachable = true);
void ProcessInboundMessages(Context& ctx, const std::string& feedback);
void ProcessInboundMessages(Context& ctx, const std::string& feedback, ReadState& read);
bool ProcessDeliveryReport(Context& ctx, const modem::GSMMessage& report);
void HandleControlMessage(Context& ctx, const modem::GSMMessage& message);
void SendStatusReply(Context& ctx, modem::GSMMessage message);
void SendStandardReply(Context& ctx, const modem::GSMMessage& message);
std::string ValidityPeriodText(long minutes);
bool IsControlText(const std::string& text);

// The outbound delivery pass, entered with the outbox open.
void DeliverPendingMessages(Context& ctx);
void DeliveryPass(Context& ctx);
// How many rows a pass fetches for a batch size: a quarter more, halves to even.
int FetchCount(int batchSize);
// The modem's answer as kept with the message: CR LF pairs as "~", no trailing "~", 50 characters.
std::string CleanModemResponse(const std::string& result);

} // namespace vesk::core
