#include "store/SqlDialect.h"

#include <gtest/gtest.h>

namespace vesk::store {
namespace {

// The statements of the console's dialect are run against real files in the store's integration
// tests, and awkward quoted text is stored and read back there; here are the cases they do not reach.

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
