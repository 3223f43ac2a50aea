#pragma once

#include "store/Engine.h"
#include "support/DateTime.h"

#include <string>
#include <string_view>

namespace vesk::store {

// A statement in the console's SQL dialect made ready for one engine.
struct TranslatedSql
{
    std::string sql;
    // "INSERT INTO t IN 'file' ..." writes into another database file: on SQLite it is attached
    // under kAttachedSchema for the statement; on PostgreSQL the name is the other schema.
    std::string attachFile;
    // On PostgreSQL the new row's id is a value the statement is given: the mark's number, 0 for none.
    int identityMark = 0;
};

inline constexpr std::string_view kAttachedSchema = "vesk_in";

// Rewrites the dialect the statements are written in (#date# literals, TOP n, TRUE/FALSE,
// DELETE * FROM, INSERT INTO t IN 'file', @@IDENTITY, [names], table-qualified columns in
// UPDATE, "?" marks for bound values) into the engine's. Text inside quotes is never changed.
// On PostgreSQL names are left unquoted so that they fold to lower case, and an INSERT into a
// table with a numbered key returns the new id.
TranslatedSql TranslateSql(std::string_view statement, EngineKind engine = EngineKind::Sqlite);

// The numbered key of a table ("msgID" for Message), empty when it has none.
std::string_view IdentityColumn(std::string_view table);

// A date-time as stored in the databases: "yyyy-mm-dd hh:nn:ss", which sorts in time order.
std::string StoredDateText(DateTime t);

} // namespace vesk::store
