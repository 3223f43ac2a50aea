#pragma once

#include "FakeClock.h"
#include "PgServer.h"
#include "ScriptedPump.h"
#include "TempDir.h"
#include "store/DBMessage.h"
#include "store/Lifecycle.h"
#include "store/Outbox.h"
#include "store/SqlText.h"
#include "store/StoreSchema.h"
#include "support/Convert.h"
#include "support/LogSink.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace vesk::testing {

inline std::string TemplateFolder()
{
    return VESK_BIN_DIR "/DB/";
}

struct LogLine
{
    int icon;
    std::string address, text;
};

class RecordingLog final : public LogSink
{
public:
    void Log(int icon, const std::string& address, const std::string& text) override
    {
        lines.push_back({icon, address, text});
    }
    bool has(const std::string& text) const { return count(text) > 0; }
    int count(const std::string& text) const
    {
        return static_cast<int>(
            std::count_if(lines.begin(), lines.end(), [&](auto& l) { return l.text == text; }));
    }
    std::vector<LogLine> lines;
};

// A data folder made from the templates, or a fresh database on the test server, and an
// outbox over it as one console holds it.
class StoreTest : public ::testing::Test
{
protected:
    explicit StoreTest(store::EngineKind kind = store::EngineKind::Sqlite)
        : engine(kind)
        , outbox(clock, pump, log)
    {
        outbox.templateFolder = TemplateFolder();
        for (const char* name : {store::kOutboxName, store::kArchiveName, store::kContactsName})
            std::filesystem::copy_file(TemplateFolder() + name, dir.file(name));
        if (!onServer())
            open();
    }

    void SetUp() override
    {
        if (!onServer())
            return;
        VESK_REQUIRE_POSTGRES();
        outbox.database = serverDatabase();
        store::db creator(clock, pump);
        creator.setFilename(outbox.database);
        std::string why;
        ASSERT_TRUE(creator.OpenDatabase(store::mode::kReadWriteShared) && store::CreatePgStore(creator, why))
            << why << creator.LastError();
        open();
    }

    void open()
    {
        EXPECT_TRUE(store::OpenOutbox(outbox, dir.path(), true));
        outbox.handle->LockWaitMs = 0;
        EXPECT_TRUE(outbox.handle->OpenDatabase(store::mode::kReadWriteShared)) << outbox.handle->LastError();
    }

    // The fresh database a test on the server gets; a suite may ask for one made otherwise.
    virtual std::string serverDatabase() { return PgServer::Shared().CreateDatabase(); }

    bool onServer() const { return engine == store::EngineKind::Postgres; }

    store::db& h() { return *outbox.handle; }

    // Reads one column of one row as the database holds it.
    DbValue column(std::int32_t id, const std::string& name)
    {
        auto rs = h().OpenDynaset("SELECT " + name + " FROM Message WHERE msgID = " + std::to_string(id));
        EXPECT_TRUE(rs) << h().LastError();
        return rs && !rs->IsEOF() ? rs->Field(name) : DbValue {};
    }

    // The message as the console reads it.
    store::DBMessage load(std::int32_t id)
    {
        store::DBMessage m(h(), clock, log);
        m.id = id;
        EXPECT_TRUE(m.Load());
        return m;
    }

    std::int32_t queue(const std::string& text = "hello", DateTime sendTime = {})
    {
        return store::InsertMessage(
            outbox, "Ann", "+447700900001", text, sendTime.isZero() ? clock.now() : sendTime, "HOST\\USER");
    }

    std::int32_t scalar(const std::string& sql) { return numberIn(h(), sql); }

    // The same, through a connection of its own, for when the outbox handle is closed.
    std::int32_t scalarClosed(const std::string& sql, const std::string& file = store::kOutboxName)
    {
        store::db other(clock, pump);
        store::PointAt(other, outbox.database, dir.path(), file.c_str());
        return other.OpenDatabase(store::mode::kReadShared) ? numberIn(other, sql) : -1;
    }

    static std::int32_t numberIn(store::db& d, const std::string& sql)
    {
        auto rs = d.OpenDynaset(sql);
        EXPECT_TRUE(rs) << d.LastError() << " in " << sql;
        return rs && !rs->IsEOF() ? static_cast<std::int32_t>(LeadingNumber(TextOf(rs->Field(0)))) : -1;
    }

    store::EngineKind engine;
    TempDir dir;
    FakeClock clock;
    ScriptedPump pump;
    RecordingLog log;
    store::Outbox outbox;
};

// The same, for suites that run on both engines (or on the one named).
class EngineStoreTest : public StoreTest, public ::testing::WithParamInterface<store::EngineKind>
{
protected:
    EngineStoreTest()
        : StoreTest(GetParam())
    {
    }
};

#define VESK_ON_ENGINES(suite, ...)                                                                          \
    INSTANTIATE_TEST_SUITE_P(, suite, ::testing::Values(__VA_ARGS__), ::vesk::testing::EngineName)
// Runs a store suite on SQLite and on PostgreSQL, on the data folder's files only, or on what only a
// database server does.
#define VESK_ON_BOTH_ENGINES(suite)                                                                          \
    VESK_ON_ENGINES(suite, ::vesk::store::EngineKind::Sqlite, ::vesk::store::EngineKind::Postgres)
#define VESK_ON_FILES_ONLY(suite) VESK_ON_ENGINES(suite, ::vesk::store::EngineKind::Sqlite)
#define VESK_ON_SERVER_ONLY(suite) VESK_ON_ENGINES(suite, ::vesk::store::EngineKind::Postgres)

} // namespace vesk::testing
