#pragma once

// A real vesk-api process on a free port of 127.0.0.1 over a fresh outbox (SQLite files or a
// database on the test server), and a real HTTP client (libcurl) to talk to it.

#include "FakeClock.h"
#include "PgServer.h"
#include "ScriptedPump.h"
#include "SimProcess.h"
#include "TempDir.h"
#include "core/SettingsStore.h"
#include "store/Migrate.h"
#include "store/Outbox.h"
#include "store/StoreSchema.h"

#include <arpa/inet.h>
#include <curl/curl.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <future>
#include <map>
#include <string>
#include <vector>

namespace vesk::testing {

struct HttpAnswer
{
    long status = 0;
    std::map<std::string, std::string> headers; // names in lower case
    std::string body;
    std::string error; // why there is no answer

    nlohmann::json json() const { return nlohmann::json::parse(body, nullptr, false); }
    // The problem's type without its "/problems/" prefix.
    std::string problem() const
    {
        const auto j = json();
        const std::string type = j.is_object() && j.contains("type") ? j["type"].get<std::string>() : "";
        return type.rfind("/problems/", 0) == 0 ? type.substr(10) : type;
    }
    std::string header(const std::string& name) const
    {
        const auto it = headers.find(name);
        return it == headers.end() ? "" : it->second;
    }
};

// One request, as a client on another machine sends it.
inline HttpAnswer Http(const std::string& method, const std::string& url, const std::string& body = "",
    const std::vector<std::string>& headers = {}, const std::string& trustedCertificate = "")
{
    HttpAnswer answer;
    CURL* curl = curl_easy_init();
    curl_slist* list = nullptr;
    for (const auto& h : headers)
        list = curl_slist_append(list, h.c_str());
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, method.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, list);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, 30L);
    if (!trustedCertificate.empty())
        curl_easy_setopt(curl, CURLOPT_CAINFO, trustedCertificate.c_str());
    if (method == "POST" || !body.empty()) {
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.data());
        curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    }
    const auto onBody = +[](char* data, size_t size, size_t n, void* out) {
        static_cast<std::string*>(out)->append(data, size * n);
        return size * n;
    };
    const auto onHeader = +[](char* data, size_t size, size_t n, void* out) {
        const std::string line(data, size * n);
        const auto colon = line.find(':');
        if (colon != std::string::npos) {
            std::string name = line.substr(0, colon), value = line.substr(colon + 1);
            for (auto& c : name)
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            value.erase(0, value.find_first_not_of(' '));
            while (!value.empty() && (value.back() == '\r' || value.back() == '\n'))
                value.pop_back();
            (*static_cast<std::map<std::string, std::string>*>(out))[name] = value;
        }
        return size * n;
    };
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, onBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &answer.body);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, onHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &answer.headers);
    if (const CURLcode rc = curl_easy_perform(curl); rc == CURLE_OK)
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &answer.status);
    else
        answer.error = curl_easy_strerror(rc);
    curl_slist_free_all(list);
    curl_easy_cleanup(curl);
    return answer;
}

// vesk-api started over an outbox; stopped with SIGTERM at the end.
class ApiProcess
{
public:
    // settings: "Section/Key" -> value; filter: the address filter's lines, kept in the data folder
    // (with an outbox on a server, beside a copy of the program).
    ApiProcess(const std::string& dataFolder, const std::string& database,
        std::map<std::string, std::string> settings = {}, const std::string& filter = "")
    {
        std::string program = VESK_BIN_DIR "/vesk-api";
        if (!filter.empty() && database.empty()) {
            WriteFile(dataFolder + "/addressfilter.sms", filter);
        } else if (!filter.empty()) {
            std::filesystem::copy_file(program, m_dir.file("vesk-api"));
            program = m_dir.file("vesk-api");
            WriteFile(m_dir.file("addressfilter.sms"), filter);
        }
        core::SettingsStore conf(m_dir.file("api.conf"));
        settings.emplace("Api/Listen", "127.0.0.1:0");
        for (const auto& [name, value] : settings)
            conf.set(name.substr(0, name.find('/')), name.substr(name.find('/') + 1), value);
        std::vector<std::string> args = {"/usr/bin/env", "VESK_SETTINGS=" + m_dir.file("api.conf"), program};
        if (database.empty())
            args.insert(args.end(), {"--data-folder", dataFolder});
        else
            args.insert(args.end(), {"--database", database});
        const int out = ::open(m_dir.file("api.log").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        m_pid = Spawn(args, out, true);
        close(out);
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (m_port == 0 && std::chrono::steady_clock::now() < end) {
            const std::string text = log();
            if (const auto at = text.find(" on 127.0.0.1:"); at != std::string::npos)
                m_port = std::atoi(text.c_str() + at + 14);
            else if (waitpid(m_pid, nullptr, WNOHANG) == m_pid)
                break;
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        if (m_port == 0)
            ADD_FAILURE() << "vesk-api did not start:\n" << log();
    }
    ~ApiProcess() { stop(); }

    int stop() { return StopChild(m_pid, m_code); }
    // Ends the process at once, mid-work, as a crash or the OOM killer would.
    int kill() { return StopChild(m_pid, m_code, SIGKILL); }

    int port() const { return m_port; }
    std::string url(const std::string& path, const char* scheme = "http") const
    {
        return std::string(scheme) + "://127.0.0.1:" + std::to_string(m_port) + path;
    }
    std::string log() const { return ReadFile(m_dir.file("api.log")); }

private:
    TempDir m_dir;
    pid_t m_pid = -1;
    int m_code = -1;
    int m_port = 0;
};

// An answer collected for the check against the OpenAPI document.
struct Recorded
{
    std::string method, route;
    HttpAnswer answer;
};

// A fresh outbox on the engine of the test's parameter, keys made with `vesk-api key add`, and
// the API over it.
class ApiTest : public ::testing::TestWithParam<store::EngineKind>
{
protected:
    void SetUp() override
    {
        if (GetParam() == store::EngineKind::Postgres) {
            VESK_REQUIRE_POSTGRES();
            database = PgServer::Shared().CreateDatabase();
            store::db creator(clock, pump);
            creator.setFilename(database);
            std::string why;
            ASSERT_TRUE(
                creator.OpenDatabase(store::mode::kReadWriteShared) && store::CreatePgStore(creator, why))
                << why;
        } else {
            std::filesystem::create_directories(dataFolder);
            std::string errorText, errorLines;
            ASSERT_TRUE(store::CreateOutbox(dataFolder, VESK_BIN_DIR "/DB/", errorText, errorLines))
                << errorText;
        }
        key = makeKey("all", "messages:send,messages:read,inbound:read,status:read");
    }

    // `vesk-api key ...` on the test's outbox: its exit code and what it printed.
    std::pair<int, std::string> keyCommand(std::vector<std::string> args)
    {
        std::vector<std::string> command = {VESK_BIN_DIR "/vesk-api"};
        if (database.empty())
            command.insert(command.end(), {"--data-folder", dataFolder});
        else
            command.insert(command.end(), {"--database", database});
        command.push_back("key");
        command.insert(command.end(), args.begin(), args.end());
        return RunProgram(command);
    }

    std::string makeKey(const std::string& name, const std::string& scopes, const std::string& allow = "")
    {
        std::vector<std::string> args = {"add", "--name", name, "--scope", scopes};
        if (!allow.empty())
            args.insert(args.end(), {"--allow", allow});
        auto [code, out] = keyCommand(args);
        EXPECT_EQ(code, 0) << out;
        while (!out.empty() && out.back() == '\n')
            out.pop_back();
        return out;
    }

    void start(std::map<std::string, std::string> settings = {}, const std::string& filter = "")
    {
        api = std::make_unique<ApiProcess>(dataFolder, database, std::move(settings), filter);
    }

    // A request with the test's key (or the one given; "" for none).
    HttpAnswer call(const std::string& method, const std::string& path, const std::string& body = "",
        std::vector<std::string> headers = {}, const std::string* withKey = nullptr)
    {
        const std::string& k = withKey ? *withKey : key;
        if (!k.empty())
            headers.push_back("Authorization: Bearer " + k);
        if (method == "POST" && !body.empty())
            headers.push_back("Content-Type: application/json");
        return Http(method, api->url(path), body, headers);
    }

    // A statement on the outbox, as the console would run it.
    void sql(const std::string& statement)
    {
        store::db d(clock, pump);
        store::PointAt(d, database, dataFolder, store::kOutboxName);
        ASSERT_TRUE(d.OpenDatabase(store::mode::kReadWriteShared)) << d.LastError();
        ASSERT_TRUE(d.Execute(statement)) << d.LastError() << " in " << statement;
    }
    // The number a counting query gives; -1 while the outbox cannot be read.
    long number(const std::string& query)
    {
        store::db d(clock, pump);
        store::PointAt(d, database, dataFolder, store::kOutboxName);
        if (!d.OpenDatabase(store::mode::kReadShared))
            return -1;
        auto rs = d.OpenDynaset(query);
        return rs && !rs->IsEOF() ? static_cast<long>(LeadingNumber(TextOf(rs->Field(0)))) : -1;
    }
    long count(const std::string& where) { return number("SELECT COUNT(*) FROM Message WHERE " + where); }

    // Makes `holder` another connection that holds the outbox's write lock (on a server, the lock
    // of `serverTable`) until it rolls back.
    void holdWriteLock(store::db& holder, const std::string& serverTable = "Message")
    {
        store::PointAt(holder, database, dataFolder, store::kOutboxName);
        ASSERT_TRUE(holder.OpenDatabase(store::mode::kReadWriteShared)) << holder.LastError();
        ASSERT_TRUE(holder.BeginTransaction());
        ASSERT_TRUE(holder.Execute(GetParam() == store::EngineKind::Postgres
                ? "LOCK TABLE " + serverTable + " IN EXCLUSIVE MODE"
                : std::string("UPDATE System SET sysTariff = sysTariff")));
    }
    // `n` submits to `to` at once, each from a thread of its own, with the texts "<tag> 0" onwards.
    std::vector<std::future<HttpAnswer>> submitAtOnce(int n, const std::string& to, const std::string& tag)
    {
        std::vector<std::future<HttpAnswer>> answers;
        for (int c = 0; c < n; ++c)
            answers.push_back(std::async(std::launch::async, [this, c, to, tag] {
                return call("POST", "/v1/messages",
                    nlohmann::json {{"to", to}, {"text", tag + " " + std::to_string(c)}}.dump());
            }));
        return answers;
    }

#ifdef VESK_PYTHON3 // the tests have it; the benchmarks that start vesk-api do not
    // The answers are documented, with bodies as the server's OpenAPI document says.
    void expectDocumented(const std::vector<Recorded>& answers)
    {
        nlohmann::json collected = nlohmann::json::array();
        for (const auto& r : answers)
            collected.push_back({{"method", r.method}, {"route", r.route}, {"status", r.answer.status},
                {"content_type", r.answer.header("content-type")}, {"body", r.answer.body}});
        WriteFile(dir.file("openapi.json"), call("GET", "/v1/openapi.json").body);
        WriteFile(dir.file("answers.json"), collected.dump());
        const auto [code, report]
            = RunProgram({VESK_PYTHON3, VESK_SOURCE_DIR "/tests/integration/api/check_openapi.py",
                dir.file("openapi.json"), dir.file("answers.json")});
        EXPECT_EQ(code, 0) << report;
    }
#endif

    FakeClock clock;
    ScriptedPump pump;
    TempDir dir;
    std::string dataFolder = dir.file("data");
    std::string database;
    std::string key;
    std::unique_ptr<ApiProcess> api;
};

#define VESK_API_ON_BOTH_ENGINES(suite)                                                                      \
    INSTANTIATE_TEST_SUITE_P(, suite,                                                                        \
        ::testing::Values(::vesk::store::EngineKind::Sqlite, ::vesk::store::EngineKind::Postgres),           \
        ::vesk::testing::EngineName)

} // namespace vesk::testing
