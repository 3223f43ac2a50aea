// Claims plus status updates per second on one outbox, for 1, 2 and 4 consoles at once.
// Usage: store_claim_bench [rows per run, default 2000]

#include "ClaimWorker.h"
#include "TempDir.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

using namespace vesk;

namespace {

bool fill(const std::string& folder, int rows)
{
    std::filesystem::copy_file(
        std::string(VESK_BIN_DIR "/DB/") + store::kOutboxName, folder + "/" + store::kOutboxName);
    SystemClock clock;
    NullPump pump;
    testing::ClaimResult unused;
    testing::ClaimLog log(unused);
    store::Outbox outbox(clock, pump, log);
    if (!store::OpenOutbox(outbox, folder, true)
        || !outbox.handle->OpenDatabase(store::mode::kReadWriteShared))
        return false;
    outbox.handle->BeginTransaction();
    for (int i = 0; i < rows; ++i)
        store::InsertMessage(outbox, "Bench", "+447700900" + std::to_string(i % 1000), "benchmark message",
            clock.now().addSeconds(-rows + i), "BENCH\\RUN");
    const bool ok = outbox.handle->CommitTransaction();
    outbox.handle->CloseDatabase();
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    const int rows = argc > 1 ? std::max(1, std::atoi(argv[1])) : 2000;
    std::printf("%-9s %7s %9s %14s %16s %10s\n", "claimers", "rows", "seconds", "claims/s",
        "claims+updates/s", "conflicts");
    for (int claimers : {1, 2, 4}) {
        testing::TempDir dir;
        if (!fill(dir.path(), rows)) {
            std::fprintf(stderr, "could not fill the outbox in %s\n", dir.path().c_str());
            return 1;
        }
        const auto start = std::chrono::steady_clock::now();
        const auto results = testing::RunClaimers(dir.path(), claimers);
        const double seconds
            = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::size_t claimed = 0;
        int conflicts = 0, errors = 0;
        for (const auto& r : results) {
            claimed += r.claimed.size();
            conflicts += r.lockConflicts;
            errors += static_cast<int>(r.otherErrors.size());
        }
        std::printf("%-9d %7zu %9.3f %14.0f %16.0f %10d%s\n", claimers, claimed, seconds, claimed / seconds,
            2 * claimed / seconds, conflicts, errors ? "  (other errors!)" : "");
    }
    return 0;
}
