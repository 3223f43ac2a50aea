#include "store/SqlDialect.h"

#include <gtest/gtest.h>

namespace vesk::store {
namespace {

TEST(SqlDialect, RewritesTheConsoleDialectForSqlite)
{
    struct Case
    {
        std::string in, out;
    };
    const Case cases[] = {
        {"SELECT * FROM Message WHERE msgSendTime <= #05/Mar/2026 14:07:09#",
            "SELECT * FROM Message WHERE msgSendTime <= '2026-03-05 14:07:09'"},
        {"DELETE FROM Message WHERE msgSendTime < #26/Feb/2026#",
            "DELETE FROM Message WHERE msgSendTime < '2026-02-26 00:00:00'"},
        {"UPDATE Message SET x = 1 WHERE t <= #05/Mar/26 14:07:09#",
            "UPDATE Message SET x = 1 WHERE t <= '2026-03-05 14:07:09'"},
        {"SELECT TOP 12 * FROM qry_Pending_Messages WHERE a = 1",
            "SELECT * FROM qry_Pending_Messages WHERE a = 1 LIMIT 12"},
        {"SELECT TOP 0 * FROM q", "SELECT * FROM q LIMIT 0"},
        {"UPDATE Message SET msgComplete = TRUE, b = false", "UPDATE Message SET msgComplete = 1, b = 0"},
        {"DELETE * FROM Message", "DELETE FROM Message"},
        {"SELECT @@IDENTITY AS ID", "SELECT last_insert_rowid() AS ID"},
        {"UPDATE Message SET a = 1 WHERE [msgID] = 5", "UPDATE Message SET a = 1 WHERE \"msgID\" = 5"},
        {"UPDATE Message SET Message.msgStatus = 2 WHERE (Message.msgStatus = 0)",
            "UPDATE Message SET msgStatus = 2 WHERE (msgStatus = 0)"},
        {"SELECT Message.msgID FROM Message", "SELECT Message.msgID FROM Message"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.in);
        const TranslatedSql t = TranslateSql(c.in);
        EXPECT_EQ(t.sql, c.out);
        EXPECT_TRUE(t.attachFile.empty());
    }
}

TEST(SqlDialect, NeverChangesQuotedText)
{
    const std::string texts[] = {
        "'TRUE or FALSE, #05/Mar/2026#, [x], TOP 5, @@IDENTITY, Message.msgID'",
        "'it''s DELETE * FROM x'",
        "'ünïcødé ✓ \" ; -- \\'",
    };
    for (const auto& text : texts) {
        SCOPED_TRACE(text);
        const std::string sql = "UPDATE Message SET msgText = " + text + " WHERE msgID = 1";
        EXPECT_EQ(TranslateSql(sql).sql, sql);
    }
    EXPECT_EQ(TranslateSql("SELECT \"it's\" AS a").sql, "SELECT 'it''s' AS a");
}

TEST(SqlDialect, InsertIntoAnotherFileNamesTheFileToAttach)
{
    const TranslatedSql t = TranslateSql("INSERT INTO Message IN '/data/o''brien/SMSArchive.mdb' SELECT * "
                                         "FROM Message WHERE a < #01/Jan/2026#");
    EXPECT_EQ(t.attachFile, "/data/o'brien/SMSArchive.mdb");
    EXPECT_EQ(t.sql, "INSERT INTO vesk_in.\"Message\" SELECT * FROM Message WHERE a < '2026-01-01 00:00:00'");
}

TEST(SqlDialect, MalformedInputPassesThroughForTheEngineToRefuse)
{
    for (const std::string bad : {"SELECT '", "SELECT #no date#", "SELECT [open", "SELECT TOP", "#"}) {
        SCOPED_TRACE(bad);
        EXPECT_NO_THROW(TranslateSql(bad));
    }
    EXPECT_EQ(TranslateSql("SELECT #no date#").sql, "SELECT #no date#");
}

} // namespace
} // namespace vesk::store
