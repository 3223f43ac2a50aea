#pragma once

#include <string>

namespace vesk::core {

struct Context;

// How the front end answers the questions start-up would ask in a message box.
struct StartOptions
{
    bool createOutbox = false; // fill a data folder that lacks the databases from the templates
};

enum class StartResult {
    Running, // the timer may start ticking
    Ended, // stopped before running, as the user chose
    Failed, // stopped before running; the reason is in the message
};

// Start-up without a window: every question becomes a clear message and a refusal.
StartResult Main(Context& ctx, const StartOptions& options, std::string& message);
void ShutDown(Context& ctx);

// True when the folder holds the outbox or the contacts database.
bool FolderHasDataFiles(const std::string& folder);
// The start-up lines about the outbox, the limits and the filter.
void LogStartupSummary(Context& ctx);

} // namespace vesk::core
