#include "store/SqlDialect.h"

#include <gtest/gtest.h>

namespace vesk::store {
namespace {

// Every form of statement the console writes (TOP, dates, qualified and bracketed names, DELETE *,
// new ids, copies into the archive, awkward quoted or invalid UTF-8 text) runs for real on both
// engines in the store's integration tests; here are the cases they do not reach.

TEST(SqlDialect, InsertIntoAnotherFileNamesTheFileToAttach)
{
    const TranslatedSql t = TranslateSql("INSERT INTO Message IN '/data/o''brien/SMSArchive.mdb' SELECT * "
                                         "FROM Message WHERE a < #01/Jan/2026#");
    EXPECT_EQ(t.attachFile, "/data/o'brien/SMSArchive.mdb");
    EXPECT_EQ(t.sql, "INSERT INTO vesk_in.\"Message\" SELECT * FROM Message WHERE a < '2026-01-01 00:00:00'");
    // What is not a date passes through for the engine to refuse.
    EXPECT_EQ(TranslateSql("SELECT #no date#").sql, "SELECT #no date#");
}

} // namespace
} // namespace vesk::store
