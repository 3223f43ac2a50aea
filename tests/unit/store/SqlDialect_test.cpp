#include "store/SqlDialect.h"

#include <gtest/gtest.h>

#include <tuple>

namespace vesk::store {
namespace {

// The statements of the console's dialect are run against real files in the store's integration
// tests on both engines (new ids, copies into the archive, awkward quoted or invalid UTF-8 text); here
// are the cases they do not reach.

TEST(SqlDialect, InsertIntoAnotherFileNamesTheFileToAttach)
{
    const TranslatedSql t = TranslateSql("INSERT INTO Message IN '/data/o''brien/SMSArchive.mdb' SELECT * "
                                         "FROM Message WHERE a < #01/Jan/2026#");
    EXPECT_EQ(t.attachFile, "/data/o'brien/SMSArchive.mdb");
    EXPECT_EQ(t.sql, "INSERT INTO vesk_in.\"Message\" SELECT * FROM Message WHERE a < '2026-01-01 00:00:00'");
    // What is not a date passes through for the engine to refuse.
    EXPECT_EQ(TranslateSql("SELECT #no date#").sql, "SELECT #no date#");
}

TEST(SqlDialect, EachEngineGetsItsOwnForm)
{
    // The statement as the console writes it, then as SQLite and PostgreSQL get it.
    const std::tuple<const char*, const char*, const char*> cases[]
        = {{"SELECT TOP 3 * FROM qry_Pending_Messages WHERE msgSendTime <= #07/Dec/2026 10:00:00#",
               "SELECT * FROM qry_Pending_Messages WHERE msgSendTime <= '2026-12-07 10:00:00' LIMIT 3",
               "SELECT * FROM qry_Pending_Messages WHERE msgSendTime <= '2026-12-07 10:00:00' LIMIT 3"},
            {"SELECT TOP 2 msgID FROM Message WHERE msgStatus = ? FOR UPDATE SKIP LOCKED",
                "SELECT msgID FROM Message WHERE msgStatus = ? FOR UPDATE SKIP LOCKED LIMIT 2",
                "SELECT msgID FROM Message WHERE msgStatus = $1 LIMIT 2 FOR UPDATE SKIP LOCKED"},
            {"UPDATE Message SET Message.msgComplete = TRUE WHERE [msgID] = 1 AND x = 'TRUE [y]'",
                "UPDATE Message SET msgComplete = 1 WHERE \"msgID\" = 1 AND x = 'TRUE [y]'",
                "UPDATE Message SET msgComplete = TRUE WHERE msgid = 1 AND x = 'TRUE [y]'"},
            {"DELETE * FROM Inbox WHERE msgText = \"say \"\"hi\"\"\"",
                "DELETE FROM Inbox WHERE msgText = 'say \"hi\"'",
                "DELETE FROM Inbox WHERE msgText = 'say \"hi\"'"}};
    for (const auto& [written, sqlite, postgres] : cases) {
        SCOPED_TRACE(written);
        EXPECT_EQ(TranslateSql(written).sql, sqlite);
        EXPECT_EQ(TranslateSql(written, EngineKind::Postgres).sql, postgres);
    }
}

} // namespace
} // namespace vesk::store
