#pragma once

#include "store/db.h"

#include <string>
#include <string_view>

namespace vesk::store {

// The schemas of the archive and the contacts inside one PostgreSQL database.
inline constexpr const char* kArchiveSchema = "archive";
inline constexpr const char* kContactsSchema = "contacts";

// One column of the Message table, which the outbox and the archive both hold.
struct ColumnDef
{
    std::string_view name;
    std::string_view pgType;
};

// The columns of Message, in order: the one list the outbox's and the archive's tables and the
// archive copy are made from.
const ColumnDef* MessageColumns(std::size_t& count);
// "msgID, msgRecipient, ...": the Message columns for a statement that names them.
std::string MessageColumnList();

// Creates the outbox tables, the archive and the contacts in a PostgreSQL database, in one
// transaction under an advisory lock, so that consoles starting at once create them once. An
// existing outbox is left as it is. False with the reason in errorText.
bool CreatePgStore(db& database, std::string& errorText);

// Adds what the current outbox holds beyond an older one (counter, triggers, indexes) on
// PostgreSQL; true when nothing was missing.
bool PgStoreIsCurrent(db& database);
bool UpgradePgStore(db& database);

// Where one of the three databases is: the file in the data folder, or, with a connection string,
// the PostgreSQL database and the schema that stands for that file. Every program that reaches
// the outbox, the archive or the contacts asks this one function.
struct DatabaseLocation
{
    std::string target; // a file path or a connection string
    std::string schema; // on PostgreSQL; empty for the outbox's own
};
DatabaseLocation LocationOf(
    const std::string& connection, const std::string& dataFolder, const char* fileName);

// Points a db at one of the three databases: the file in the data folder, or, with a connection
// string, the PostgreSQL database and the schema that stands for that file.
void PointAt(
    db& database, const std::string& connection, const std::string& dataFolder, const char* fileName);

} // namespace vesk::store
