#pragma once

#include "core/Journal.h"
#include "modem/GSMMessage.h"

#include <map>
#include <set>
#include <string>

namespace vesk::core {

struct Context;

// Inbound messages and delivery reports leave the modem only once they are kept: stored in the
// outbox, or written to the journal while the outbox is out of reach and a memory fills.
struct KeptUnits
{
    // Units kept whose delete from the modem has not been confirmed; a unit listed again is then
    // only deleted. The flag marks the units met in the read under way.
    std::map<std::string, bool> kept;
    // Units whose inbound line is in the activity log already (they wait for the outbox).
    std::set<std::string> logged;
    ModemJournal journal;
    bool journalLoaded = false;
};

// What one read of the modem's memories found out as it went.
struct ReadState
{
    bool outboxDown = false; // a store failed: the rest of the read does not try again
    bool journaling = false; // and the memory being read is nearly full: units go to the journal
    bool memoryChecked = false;
    bool complete = true; // every listing came back
    std::string memory; // the memory being read
    int waiting = 0; // units left in the modem for the next read
    int journaled = 0;
    int reports = 0; // reports listed
};

// Sender (or recipient), service-centre or discharge time and text (or reference and status): the
// same unit read twice has the same key.
std::string UnitKey(const modem::GSMMessage& unit);

// Keeps one inbound message (not a control text) or one report: true when it may be deleted
// from the modem. Inbound messages are logged, stored, answered and forwarded as one piece of
// work that is committed or not at all.
bool KeepUnit(Context& ctx, modem::GSMMessage& unit, ReadState& read);
// Keeps a report the modem handed over directly: recorded in the outbox, or else in the journal.
bool KeepRoutedReport(Context& ctx, modem::GSMMessage& report);
// Deletes a kept unit from the modem, remembering it when the delete fails; true when deleted.
bool DeleteKept(Context& ctx, const modem::GSMMessage& unit);
// After a whole read: forgets the kept units the modem no longer lists.
void ForgetUnlisted(Context& ctx);

// Stores the journal's units in the outbox, oldest first, until one cannot be; called with the
// outbox open. Each unit stored is marked done.
void ReplayJournal(Context& ctx);
// Units waiting in the journal.
long JournalWaiting(Context& ctx);

} // namespace vesk::core
