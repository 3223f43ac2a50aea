// How long the inbound side spends on forwarding: the rule search (worst case, the catch-all
// after every other rule was tried), the name lookup and the rebuild of the name cache.
// Usage: routing_forward_bench [rules, default 200] [contacts, default 5000]

#include "routing/Forwarding.h"
#include "routing/NameCache.h"
#include "store/SqlText.h"

#include "TempDir.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

using namespace vesk;

namespace {

class Quiet final : public LogSink
{
public:
    void Log(int, const std::string&, const std::string&) override { }
};

double msSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

int main(int argc, char** argv)
{
    const int rules = argc > 1 ? std::atoi(argv[1]) : 200;
    const int contacts = argc > 2 ? std::atoi(argv[2]) : 5000;
    testing::TempDir dir;
    for (const char* name : {store::kOutboxName, store::kContactsName})
        std::filesystem::copy_file(std::string(VESK_BIN_DIR "/DB/") + name, dir.file(name));

    SystemClock clock;
    NullPump pump;
    Quiet log;
    store::Outbox outbox(clock, pump, log);
    if (!store::OpenOutbox(outbox, dir.path(), true)
        || !outbox.handle->OpenDatabase(store::mode::kReadWriteShared)) {
        std::fprintf(stderr, "cannot open the outbox\n");
        return 1;
    }
    outbox.handle->BeginTransaction();
    for (int i = 0; i < rules; ++i)
        outbox.handle->Execute("INSERT INTO Forward (fwdSource, fwdKeyword, fwdDestination) VALUES ('+4477009"
            + std::to_string(10000 + i) + "', '^(order|stop|help)\\s+[0-9]{" + std::to_string(i % 9 + 1)
            + "}', '+15550001')");
    outbox.handle->Execute(
        "INSERT INTO Forward (fwdSource, fwdKeyword, fwdDestination) VALUES ('*', '*', '+1')");
    outbox.handle->CommitTransaction();

    {
        store::db book(clock, pump);
        book.setFilename(dir.file(store::kContactsName));
        book.OpenDatabase(store::mode::kReadWriteShared);
        book.BeginTransaction();
        for (int i = 0; i < contacts; ++i)
            book.Execute("INSERT INTO Contact (cntFirstNames, cntSurname, cntPhone) VALUES ('First"
                + std::to_string(i) + "', 'Surname', '+4477" + std::to_string(10000000 + i) + "')");
        book.CommitTransaction();
    }

    routing::NameCache cache;
    auto start = std::chrono::steady_clock::now();
    const bool imported = routing::ImportNameCache(cache, outbox, dir.path(), true);
    std::printf("name cache rebuild, %d contacts: %.1f ms%s\n", contacts, msSince(start),
        imported ? "" : " (failed)");

    constexpr int kRounds = 200;
    start = std::chrono::steady_clock::now();
    for (int i = 0; i < kRounds; ++i) {
        routing::ForwardRule match;
        routing::FindForwardRule(outbox, "+15559999", "nothing special in this text", match);
    }
    std::printf("rule search falling to the catch-all, %d rules: %.3f ms a message\n", rules,
        msSince(start) / kRounds);

    start = std::chrono::steady_clock::now();
    for (int i = 0; i < kRounds; ++i)
        routing::LookupFriendlyName(outbox, "+4477" + std::to_string(10000000 + i * 7 % contacts));
    std::printf("name lookup: %.3f ms a message\n", msSince(start) / kRounds);
    outbox.handle->CloseDatabase();
    return 0;
}
