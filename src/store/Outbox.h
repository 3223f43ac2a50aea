#pragma once

#include "store/db.h"
#include "support/Clock.h"
#include "support/EventPump.h"
#include "support/LogSink.h"
#include "support/SteadyTime.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace vesk::store {

inline constexpr const char* kOutboxName = "SMSMessages.mdb";
inline constexpr const char* kArchiveName = "SMSArchive.mdb";
inline constexpr const char* kContactsName = "SMSContacts.mdb";

// The in-memory copy of the outbox's one System row.
struct SystemSettings
{
    std::int16_t DBVersion = 0;
    std::int16_t SMSMaxMessageSize = 160;
    std::int16_t SMSRemoveAfter = 0;
    bool SMSArchive = false;
    bool SMSSaveInbound = false;
    std::string StandardReply;
    std::int16_t Tariff = 0;
    std::int32_t ValidityPeriodInMinutes = 0;
    bool SMSForwarding = false;
};

// The long-lived pieces of the message store: the outbox handle, the system settings and the
// times of the periodic jobs. The console's context owns one.
struct Outbox
{
    Outbox(Clock& clock, EventPump& pump, LogSink& log);

    Clock& clock;
    EventPump& pump;
    LogSink& log;
    std::unique_ptr<db> handle; // the outbox handle; there is always one, open or closed
    SystemSettings settings;
    std::string templateFolder; // where the template databases live: the program folder's DB/
    // A libpq connection string when the outbox, archive and contacts are on PostgreSQL; empty
    // for the data folder's files.
    std::string database;
    SteadyTime nextRefresh; // the hourly refresh
    DateTime nextHousekeeping;
    DateTime clockWentBackFrom; // where the wall clock was when it last went back
    // The pending count last shown and when it was taken: one under a second old is shown again.
    std::optional<std::int32_t> queueSize;
    std::chrono::milliseconds queueSizeTakenAt {0};
    // Rows per step of the daily archive and removal; each step is its own short transaction.
    int housekeepingStep = 5000;
    // Days the webhook events and their attempts are kept ([Webhooks] KeepDays).
    int webhookKeepDays = 7;
};

std::string OutboxPath(const std::string& dataFolder);
// What the outbox handle opens: the connection string when one is set, else the folder's file.
std::string OutboxLocation(const Outbox& outbox, const std::string& dataFolder);
// The outbox handle, made (closed) when there is none.
db& OutboxHandle(Outbox& outbox);

// Points the outbox handle at the data folder's outbox and loads its settings; does not open it.
bool OpenOutbox(Outbox& outbox, const std::string& dataFolder, bool quiet);

bool LoadSystemSettings(
    const std::string& file, SystemSettings& settings, Clock& clock, EventPump& pump, LogSink& log);
bool SaveSystemSettings(
    const std::string& file, const SystemSettings& settings, Clock& clock, EventPump& pump);

// Once an hour a fresh outbox handle and a fresh copy of the settings; true when that happened.
bool HourlyRefresh(Outbox& outbox, const std::string& dataFolder);

// The number of messages waiting, for the status bar; nothing when the outbox cannot be opened.
// Counted at most once a second: a count under a second old is given again.
std::optional<std::int32_t> UpdateQueueSize(Outbox& outbox);
// The number of pending rows, read from the counter the outbox keeps.
std::int32_t PendingCount(Outbox& outbox);
// Counts the pending rows and corrects the counter when it has drifted (a program that replaces
// rows with INSERT OR REPLACE deletes without the delete trigger), with a warning. Needs an open
// handle; false when the count or the correction failed.
bool RecountPending(Outbox& outbox);
// The same on any open handle; nothing when it could not be read.
std::optional<std::int32_t> CountPending(db& outbox);

} // namespace vesk::store
