#include "ClaimWorker.h"
#include "StoreFixture.h"

#include <filesystem>
#include <map>

namespace vesk::store {
namespace {

using testing::ClaimResult;

class ClaimStressTest : public ::testing::Test
{
protected:
    void fill(int rows)
    {
        std::filesystem::copy_file(testing::TemplateFolder() + kOutboxName, dir.file(kOutboxName));
        Outbox outbox(clock, pump, log);
        outbox.templateFolder = testing::TemplateFolder();
        ASSERT_TRUE(OpenOutbox(outbox, dir.path(), true));
        ASSERT_TRUE(outbox.handle->OpenDatabase(mode::kReadWriteShared));
        ASSERT_TRUE(outbox.handle->BeginTransaction());
        for (int i = 0; i < rows; ++i) {
            const std::string n = std::to_string(10000 + i);
            ASSERT_GT(InsertMessage(outbox, n, "+4477009" + n, "load", clock.now().addSeconds(-rows + i),
                          "BENCH\\TEST"),
                0);
        }
        ASSERT_TRUE(outbox.handle->CommitTransaction());
        outbox.handle->CloseDatabase(); // no connection may cross into the claimer processes
    }

    testing::TempDir dir;
    testing::FakeClock clock {DateTime::fromParts(2020, 1, 1)};
    NullPump pump;
    testing::RecordingLog log;
};

TEST_F(ClaimStressTest, FourProcessesClaimEveryRowExactlyOnce)
{
    constexpr int kRows = 2000;
    constexpr int kClaimers = 4;
    fill(kRows);
    const std::vector<ClaimResult> results = testing::RunClaimers(dir.path(), kClaimers);
    ASSERT_EQ(results.size(), static_cast<std::size_t>(kClaimers));

    std::map<std::int32_t, int> owner; // row -> claimer
    int conflicts = 0;
    for (int i = 0; i < kClaimers; ++i) {
        SCOPED_TRACE(i + 1);
        const ClaimResult& r = results[static_cast<std::size_t>(i)];
        EXPECT_TRUE(r.exitedCleanly);
        EXPECT_TRUE(r.otherErrors.empty()) << r.otherErrors.front();
        conflicts += r.lockConflicts;
        for (auto id : r.claimed) {
            const auto [it, fresh] = owner.emplace(id, i + 1);
            EXPECT_TRUE(fresh) << "row " << id << " claimed by " << it->second << " and " << i + 1;
        }
    }
    EXPECT_EQ(owner.size(), static_cast<std::size_t>(kRows));
    std::cout << "[ claims ] per process:";
    for (const auto& r : results)
        std::cout << " " << r.claimed.size();
    std::cout << "; lock conflicts retried: " << conflicts << "\n";

    // The file agrees: every row sent, owned by the one claimer that says it took it.
    db check(clock, pump);
    check.setFilename(dir.file(kOutboxName));
    ASSERT_TRUE(check.OpenDatabase(mode::kReadShared));
    auto rs = check.OpenDynaset("SELECT msgID, msgStatus, msgAgentIMEI FROM Message");
    ASSERT_TRUE(rs);
    EXPECT_EQ(rs->RecordCount(), static_cast<std::size_t>(kRows));
    int mismatches = 0;
    for (; !rs->IsEOF(); rs->MoveNext()) {
        const auto id = static_cast<std::int32_t>(LeadingNumber(TextOf(rs->Field("msgID"))));
        const auto it = owner.find(id);
        mismatches += it == owner.end()
            || TextOf(rs->Field("msgAgentIMEI")) != "AGENT-" + std::to_string(it->second)
            || IntOf(rs->Field("msgStatus")) != 3;
    }
    EXPECT_EQ(mismatches, 0);
}

} // namespace
} // namespace vesk::store
