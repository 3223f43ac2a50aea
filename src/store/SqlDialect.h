#pragma once

#include "support/DateTime.h"

#include <string>
#include <string_view>

namespace vesk::store {

// A statement in the console's SQL dialect made ready for SQLite.
struct TranslatedSql
{
    std::string sql;
    // "INSERT INTO t IN 'file' ..." writes into another database file: it is attached under
    // kAttachedSchema for the statement.
    std::string attachFile;
};

inline constexpr std::string_view kAttachedSchema = "vesk_in";

// Rewrites the dialect the statements are written in (#date# literals, TOP n, TRUE/FALSE,
// DELETE * FROM, INSERT INTO t IN 'file', @@IDENTITY, [names], table-qualified columns in
// UPDATE) into SQLite. Text inside quotes is never changed.
TranslatedSql TranslateSql(std::string_view statement);

// A date-time as stored in the databases: "yyyy-mm-dd hh:nn:ss", which sorts in time order.
std::string StoredDateText(DateTime t);

} // namespace vesk::store
