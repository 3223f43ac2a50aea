#pragma once

#include "support/Clock.h"
#include "support/EventPump.h"

#include <string>
#include <string_view>

namespace vesk::store {

// Whether a text names a PostgreSQL database rather than a folder of database files: a
// "postgresql://" or "postgres://" URI, or libpq's keyword=value pairs.
bool IsConnectionString(std::string_view text);

// The connection string with every password in it replaced by "********": the password of the
// URI's user part, a "password" parameter of the URI and a password=value pair (quoted or not,
// as libpq reads it). Everything else is kept as written.
std::string MaskPassword(std::string_view conninfo);

// A connection string edited from its masked form: each password still reading "********" is
// given back the password in the same place of the stored string.
std::string KeepPassword(std::string_view edited, std::string_view stored);

// The connection string with this password, written as libpq reads it: in place of the passwords
// it holds, else added to it.
std::string WithPassword(std::string_view conninfo, std::string_view password);

// Any text (an error, a log line) with the connection string and its passwords masked.
std::string MaskPasswordIn(std::string_view text, std::string_view conninfo);

// Opens a database on the connection string the way the console opens its outbox; empty when
// that worked, otherwise what went wrong in words, with passwords masked.
std::string TestConnection(Clock& clock, EventPump& pump, const std::string& conninfo);

} // namespace vesk::store
