#pragma once

#include <ctime>
#include <optional>
#include <string>

namespace vesk {

// What a running console publishes about itself for vesk-status and for metrics collectors.
struct StatusSnapshot
{
    std::string version;
    std::string mode; // "starting", "running", "paused", "modem lost", "stopping", "stopped"
    std::string port;
    std::string model;
    std::string imei;
    std::string network;
    int signal = -1; // percent; -1 unknown
    long queued = -1; // -1 until the outbox was counted
    long sent = 0; // the counters run from the console's start
    long failed = 0;
    long expired = 0;
    long received = 0;
    long reports = 0;
    long journal = 0; // units taken out of a full modem, waiting for the outbox
    std::string lastError;
    std::time_t lastErrorTime = 0;
    std::time_t lastPass = 0; // when the last delivery pass ended; 0 none yet
    std::time_t started = 0;
    std::time_t updated = 0;
    long pid = 0;
};

// A console refreshes its snapshot at least this often while its timer runs.
inline constexpr int kSnapshotRefreshSeconds = 15;
// Older than this, the console is taken for stopped or hung.
inline constexpr int kSnapshotStaleSeconds = 60;
inline constexpr const char* kSnapshotName = "vesk-console.status";

// "key=value" lines, one field each; values never hold a line break.
std::string SnapshotText(const StatusSnapshot& s);
// Unknown keys are skipped, so an older vesk-status reads a newer console; nothing without a version.
std::optional<StatusSnapshot> ParseSnapshot(const std::string& text);
// The same figures in the Prometheus text exposition format.
std::string MetricsText(const StatusSnapshot& s);
// The snapshot as one JSON object.
std::string SnapshotJson(const StatusSnapshot& s, bool stale);

// Writes a file in one step for its readers: a private temporary name in the same folder, then
// a rename over the old one. The file gets `mode` (at most 0660). Empty on success, else why not.
std::string WriteFileAtomically(const std::string& path, const std::string& text, unsigned mode);

} // namespace vesk
