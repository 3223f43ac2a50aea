// Webhook delivery from a real vesk-api to a local receiver, on each engine: events delivered per
// second over a backlog of events, and the delay from the outbox change (the event's creation
// time) to the POST's arrival, p50 and p99, under a steady stream. Figures are printed, nothing
// is asserted.
// Usage: webhook_bench [backlog events, default 5000] [stream events per second, default 400]

#include "ApiProcess.h"
#include "ScriptPgServer.h"
#include "WebhookReceiver.h"
#include "api/Times.h"
#include "api/WebhookSecret.h"
#include "store/Webhooks.h"

#include <algorithm>
#include <cstdio>
#include <thread>

using namespace vesk;
using namespace std::chrono_literals;

namespace {

// Stores `n` inbound messages in one transaction: one event each.
bool inbound(store::db& db, int n, int from)
{
    if (!db.BeginTransaction())
        return false;
    for (int i = 0; i < n; ++i)
        db.ExecuteBound("INSERT INTO Inbox (msgAddress, msgText) VALUES (?, ?)",
            {"+4477009" + std::to_string(from + i), "bench " + std::to_string(from + i)});
    return db.CommitTransaction();
}

double percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<std::size_t>(p * static_cast<double>(v.size())))];
}

void run(
    const char* engine, const std::string& folder, const std::string& database, int backlog, int perSecond)
{
    SystemClock clock;
    NullPump pump;
    store::db db(clock, pump);
    store::PointAt(db, database, folder, store::kOutboxName);
    if (!db.OpenDatabase(store::mode::kReadWriteShared)) {
        std::printf("%s: the outbox cannot be opened: %s\n", engine, db.LastError().c_str());
        return;
    }
    vesk::testing::WebhookReceiver receiver;
    store::WebhookEndpointRow e;
    e.url = receiver.url();
    e.types = "*";
    e.secret = api::NewWebhookSecret();
    e.created = std::time(nullptr);
    store::AddWebhookEndpoint(db, e);

    // A backlog made while no vesk-api runs, then delivered.
    inbound(db, backlog, 100000);
    vesk::testing::ApiProcess api(folder, database, {{"Webhooks/Allow", "127.0.0.1"}});
    receiver.waitFor(static_cast<std::size_t>(backlog), 600s);
    const auto got = receiver.received();
    // From the first arrival to the last: the dispatcher's start-up is not counted.
    const double seconds
        = got.size() < 2 ? 0 : std::chrono::duration<double>(got.back().at - got.front().at).count();
    std::printf("%-8s backlog of %d events: delivered %zu in %.2f s = %.0f events/s\n", engine, backlog,
        got.size(), seconds, seconds > 0 ? static_cast<double>(got.size() - 1) / seconds : 0.0);

    // A steady stream, in tenths of a second.
    const int each = std::max(perSecond / 10, 1);
    const int rounds = 50;
    for (int r = 0; r < rounds; ++r) {
        inbound(db, each, 200000 + r * each);
        std::this_thread::sleep_for(100ms);
    }
    const std::size_t total = static_cast<std::size_t>(backlog + each * rounds);
    receiver.waitFor(total, 120s);
    const auto all = receiver.received();
    std::vector<double> delays;
    const auto nowWall = std::chrono::system_clock::now();
    const auto nowSteady = std::chrono::steady_clock::now();
    for (std::size_t i = static_cast<std::size_t>(backlog); i < all.size(); ++i) {
        const auto body = nlohmann::json::parse(all[i].body, nullptr, false);
        const std::string stamp = body.is_object() ? body.value("timestamp", "") : "";
        const auto created = api::ParseRfc3339(stamp);
        if (!created || stamp.size() < 24)
            continue;
        const double createdMs = static_cast<double>(*created) * 1000 + std::stod(stamp.substr(20, 3));
        const double arrivedMs = static_cast<double>(std::chrono::duration_cast<std::chrono::milliseconds>(
            (nowWall - (nowSteady - all[i].at)).time_since_epoch())
                                                         .count());
        delays.push_back(arrivedMs - createdMs);
    }
    std::printf("%-8s stream of %d events/s: %zu delivered, delay change->POST p50 %.0f ms, p99 %.0f ms\n",
        engine, each * 10, delays.size(), percentile(delays, 0.5), percentile(delays, 0.99));
    api.stop();
}

} // namespace

int main(int argc, char** argv)
{
    const int backlog = argc > 1 ? std::atoi(argv[1]) : 5000;
    const int perSecond = argc > 2 ? std::atoi(argv[2]) : 400;
    {
        vesk::testing::TempDir dir;
        const std::string folder = dir.file("data");
        std::filesystem::create_directories(folder);
        std::string errorText, errorLines;
        if (store::CreateOutbox(folder, VESK_BIN_DIR "/DB/", errorText, errorLines))
            run("SQLite", folder, "", backlog, perSecond);
    }
    vesk::testing::TempDir serverFolder;
    const std::string conninfo = vesk::testing::StartScriptPgServer(serverFolder.path());
    if (conninfo.empty()) {
        std::printf("PostgreSQL: no server could be started\n");
        return 0;
    }
    {
        SystemClock clock;
        NullPump pump;
        store::db creator(clock, pump);
        creator.setFilename(conninfo);
        std::string why;
        if (creator.OpenDatabase(store::mode::kReadWriteShared) && store::CreatePgStore(creator, why)) {
            creator.CloseDatabase();
            vesk::testing::TempDir dir;
            run("Postgres", dir.path(), conninfo, backlog, perSecond);
        }
    }
    vesk::testing::StopScriptPgServer(serverFolder.path());
    return 0;
}
