#pragma once

#include "store/db.h"

#include <string>
#include <utility>
#include <vector>

namespace vesk::store {

// A column of a settings table and the value it is given.
using ColumnValue = std::pair<const char*, DbValue>;

// A flag as a bound value: the engines read "1" and "0" as true and false.
DbValue FlagValue(bool v);

// Makes a settings table that holds one row hold exactly these values: the row is changed when
// there is exactly one, otherwise the table is emptied and the row added. False when the table
// could not be counted or the row was not written; the reason is in the handle's LastError.
bool WriteSettingsRow(db& handle, const std::string& table, const std::vector<ColumnValue>& columns);

} // namespace vesk::store
