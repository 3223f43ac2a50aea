// vesk-api under load, on each engine: accepted submits per second and p50/p99 latency at 1, 16
// and 64 connections (wrk against the real program), the raw rate of the same single-row
// committed inserts through the store layer in the same run, and the time to accept a batch of
// 1,000. Figures are printed, nothing is asserted.
// Usage: api_bench [seconds per load run, default 5] [server threads, both engines]
// The server's threads default to 4 on SQLite, where more writers waiting means larger shared
// commits, and to the machine's cores on PostgreSQL, whose server shares these cores here: more
// inserts at once than cores only queue inside it, and its slowest answers grow.

#include "ApiProcess.h"
#include "ScriptPgServer.h"
#include "store/ApiMessages.h"

#include <algorithm>
#include <cstdio>
#include <thread>

using namespace vesk;

namespace {

struct Place
{
    std::string folder;
    std::string database;
};

// The raw rate: one connection, one row and one commit at a time, as the API writes a submit.
double rawInserts(const Place& place, double seconds)
{
    SystemClock clock;
    NullPump pump;
    store::db db(clock, pump);
    store::PointAt(db, place.database, place.folder, store::kOutboxName);
    if (!db.OpenDatabase(store::mode::kReadWriteShared))
        return 0;
    const std::vector<store::NewMessage> one = {{"", "+447700900123", "load test", clock.now(), {}, ""}};
    std::vector<RowId> ids;
    long n = 0;
    const auto start = std::chrono::steady_clock::now();
    const auto end = start + std::chrono::duration<double>(seconds);
    // On a database server the API writes such a row in one statement and no transaction.
    const bool whole = store::QueuesInOneStatement(db, one);
    while (std::chrono::steady_clock::now() < end) {
        if (whole) {
            n += store::QueueApiMessages(db, one, "BENCH", "bench", 1, ids) ? 1 : 0;
            continue;
        }
        db.BeginTransaction();
        store::QueueApiMessages(db, one, "BENCH", "bench", 1, ids);
        if (db.CommitTransaction())
            ++n;
    }
    return n / std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// "1.23ms" as milliseconds.
double millis(const std::string& text)
{
    const double v = std::atof(text.c_str());
    if (text.find("us") != std::string::npos)
        return v / 1000;
    if (text.find("ms") != std::string::npos)
        return v;
    return v * 1000;
}

struct Load
{
    double perSecond = 0, p50 = 0, p99 = 0;
    long refused = 0;
};

Load wrk(const std::string& url, const std::string& script, int connections, double seconds)
{
    // One load thread: on a small machine every core wrk takes is one the server does not get.
    const std::string command = "wrk -t1 -c" + std::to_string(connections) + " -d"
        + std::to_string(static_cast<int>(seconds)) + "s --latency -s " + script + " " + url + " 2>&1";
    FILE* out = popen(command.c_str(), "r");
    Load load;
    char line[512];
    while (out && std::fgets(line, sizeof line, out)) {
        const std::string l = line;
        char value[64];
        if (std::sscanf(line, " 50%% %63s", value) == 1)
            load.p50 = millis(value);
        else if (std::sscanf(line, " 99%% %63s", value) == 1)
            load.p99 = millis(value);
        else if (l.rfind("Requests/sec:", 0) == 0)
            load.perSecond = std::atof(l.c_str() + 13);
        else if (l.find("Non-2xx or 3xx responses:") != std::string::npos)
            load.refused = std::atol(l.c_str() + l.find(':') + 1);
    }
    if (out)
        pclose(out);
    return load;
}

bool create(const Place& place)
{
    if (place.database.empty()) {
        std::filesystem::create_directories(place.folder);
        std::string errorText, errorLines;
        return store::CreateOutbox(place.folder, VESK_BIN_DIR "/DB/", errorText, errorLines);
    }
    SystemClock clock;
    NullPump pump;
    store::db creator(clock, pump);
    creator.setFilename(place.database);
    std::string why;
    return creator.OpenDatabase(store::mode::kReadWriteShared) && store::CreatePgStore(creator, why);
}

} // namespace

int main(int argc, char** argv)
{
    const double seconds = argc > 1 ? std::max(1.0, std::atof(argv[1])) : 5.0;
    const int given = argc > 2 ? std::max(1, std::atoi(argv[2])) : 0;
    const int cores = static_cast<int>(std::max(2u, std::thread::hardware_concurrency()));
    vesk::testing::TempDir scratch;
    std::filesystem::permissions(scratch.folder(),
        std::filesystem::perms::others_exec | std::filesystem::perms::group_exec,
        std::filesystem::perm_options::add); // the server runs as nobody when this runs as root
    const std::string serverFolder = scratch.file("server");
    const std::string conninfo = vesk::testing::StartScriptPgServer(serverFolder);
    if (conninfo.empty())
        std::fprintf(stderr, "no PostgreSQL server (scripts/pg-server start failed): SQLite only\n");
    std::printf(
        "%-10s %-22s %10s %9s %9s %8s\n", "outbox", "what", "per second", "p50 ms", "p99 ms", "refused");
    for (const bool onServer : {false, true}) {
        if (onServer && conninfo.empty())
            break;
        const Place place {scratch.file(onServer ? "pg" : "files"), onServer ? conninfo : ""};
        const char* name = onServer ? "PostgreSQL" : "SQLite";
        const int threads = given > 0 ? given : (onServer ? cores : 4);
        if (!create(place)) {
            std::fprintf(stderr, "could not create the %s outbox\n", name);
            return 1;
        }
        std::printf("%-10s %-22s %10.0f\n", name, "store inserts (raw)", rawInserts(place, seconds));
        std::printf("%-10s %-22s %10d\n", name, "server threads", threads);
        std::vector<std::string> add = {VESK_BIN_DIR "/vesk-api", onServer ? "--database" : "--data-folder",
            onServer ? place.database : place.folder, "key", "add", "--name", "bench", "--scope",
            "messages:send"};
        auto [code, key] = vesk::testing::RunProgram(add);
        key.erase(key.find_last_not_of('\n') + 1);
        // wrk's connections all come from one address: the per-address limit is not what is measured.
        vesk::testing::ApiProcess api(place.folder, place.database,
            {{"Api/Threads", std::to_string(threads)}, {"Api/PerAddressLimit", "0"}});
        const std::string script = scratch.file("submit.lua");
        vesk::testing::WriteFile(script,
            "wrk.method = \"POST\"\nwrk.headers[\"Content-Type\"] = \"application/json\"\n"
            "wrk.headers[\"Authorization\"] = \"Bearer "
                + key + "\"\nwrk.body = '{\"to\": \"+447700900123\", \"text\": \"load test\"}'\n");
        for (const int connections : {1, 16, 64}) {
            const Load l = wrk(api.url("/v1/messages"), script, connections, seconds);
            std::printf("%-10s %-22s %10.0f %9.2f %9.2f %8ld\n", name,
                ("API, " + std::to_string(connections) + " connection" + (connections > 1 ? "s" : ""))
                    .c_str(),
                l.perSecond, l.p50, l.p99, l.refused);
        }
        std::string batch = R"({"messages": [)";
        for (int i = 0; i < 1000; ++i)
            batch += std::string(i ? "," : "") + R"({"to": "+4477009)" + std::to_string(10000 + i)
                + R"(", "text": "rota update"})";
        batch += "]}";
        std::vector<double> times;
        for (int run = 0; run < 5; ++run) {
            const auto start = std::chrono::steady_clock::now();
            const auto a = vesk::testing::Http("POST", api.url("/v1/message-batches"), batch,
                {"Authorization: Bearer " + key, "Content-Type: application/json"});
            times.push_back(
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
            if (a.status != 202)
                std::fprintf(stderr, "batch refused: %ld %s%s\n", a.status, a.error.c_str(),
                    a.body.substr(0, 200).c_str());
        }
        std::sort(times.begin(), times.end());
        std::printf(
            "%-10s %-22s %10s %9.1f %9.1f\n", name, "batch of 1,000 (ms)", "", times[2], times.back());
    }
    if (!conninfo.empty())
        vesk::testing::StopScriptPgServer(serverFolder);
    return 0;
}
