#pragma once

#include "store/db.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vesk::store {

// Table Console: one row per console that works this outbox, kept up to date by the console
// itself, so that everyone looking at the outbox sees every console, on every machine. Times
// are Unix seconds, 0 for none.
struct ConsoleRow
{
    std::string id; // the identity the console stamps its claims with
    std::string host;
    std::string version;
    std::string kind; // "window" or "service"
    std::string mode; // "starting", "running", "paused", "modem lost", "stopped"
    std::string model;
    std::string network;
    std::string registration; // "home", "roaming", "searching", "denied", "not registered", "unknown"
    int signal = -1; // percent; -1 unknown
    std::int64_t started = 0;
    std::int64_t lastPass = 0;
    std::int64_t lastSend = 0;
    std::int64_t sent = 0; // since the console started
    std::int64_t received = 0;
};

// A console whose last pass is older than this has gone silent (killed, hung, cut off).
inline constexpr int kConsoleSilentSeconds = 120;

// What the row says at `now`: its mode, "silent" when the console has not passed for too long,
// "stopped" when it said so.
std::string ConsoleState(const ConsoleRow& row, std::int64_t now);

// Makes or refreshes the console's row; retried like any write. For start-up.
bool RegisterConsole(db& outbox, const ConsoleRow& row);

enum class RowUpdate { Updated, Skipped, Failed };
// The row's figures in one statement that never waits: a busy outbox (another program's write
// lock, or the row locked on a server) skips it until the next pass. A row someone removed is
// made again.
RowUpdate UpdateConsoleRow(db& outbox, const ConsoleRow& row);

// The console has stopped in order.
bool MarkConsoleStopped(db& outbox, const std::string& id, std::int64_t when);

// Every console's row, by id; nothing when the table could not be read.
std::optional<std::vector<ConsoleRow>> ListConsoles(db& outbox);

} // namespace vesk::store
