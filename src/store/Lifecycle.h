#pragma once

#include "store/MessageStatus.h"
#include "store/Outbox.h"
#include "support/Convert.h"

#include <cstdint>
#include <optional>
#include <string>

namespace vesk::store {

// Keeping the outbox's rows consistent between consoles and its size in bounds. Each works on
// the outbox handle, which the caller has opened (housekeeping opens it when it is not).

inline constexpr int kOrphanMinutes = 5;
inline constexpr std::size_t kOwnerLength = 7;

// The send time up to which rows are due: now, or the time the clock last went back from while
// it has not caught up, so that a row that was due stays due.
DateTime DueUntil(Outbox& outbox);

// The due pending rows, oldest send time first, at most count of them.
std::unique_ptr<Recordset> OpenDueMessages(Outbox& outbox, int count);

// On a database server: claims the oldest due pending row no other console is claiming at that
// moment (FOR UPDATE SKIP LOCKED) in one statement committed on its own, so consoles working the
// queue together never race for the same rows. Its id, or nothing when none is left.
std::optional<RowId> ClaimNextDue(Outbox& outbox, const std::string& agentIdentity);

// Claims a pending, unowned row for this console; false when another console was first.
bool TakeOwnership(Outbox& outbox, RowId id, const std::string& agentIdentity);
void ReleaseOwnership(Outbox& outbox, RowId id);
void SetStatus(Outbox& outbox, RowId id, MessageStatus status);

// Rows owned for longer than the orphan time-out go back to pending; the count released.
std::int32_t ReleaseOrphans(Outbox& outbox);
// Pending rows past their expiry fail as "Expired"; the count expired.
std::int32_t ExpireMessages(Outbox& outbox);

// Once a day at 23:00: archive old rows when asked to, then remove the complete ones and check
// the pending counter.
// True when the day's run completed.
bool Housekeeping(Outbox& outbox);
bool ArchiveMessages(Outbox& outbox, DateTime cutoff);

// Stores an inbound message in Inbox when the outbox keeps them.
bool SaveInbound(Outbox& outbox, const std::string& address, const std::string& text, DateTime time);
// Whether Inbox already holds this message (same sender, service-centre time and text, as
// SaveInbound would store them); nothing when the lookup itself failed.
std::optional<bool> InboxHolds(
    Outbox& outbox, const std::string& address, const std::string& text, DateTime time);

// Queues an outbound message; the new message id, 0 on failure.
RowId InsertMessage(Outbox& outbox, const std::string& recipient, const std::string& address,
    const std::string& text, DateTime sendTime, const std::string& station);

} // namespace vesk::store
