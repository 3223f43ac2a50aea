#include "store/SettingsRow.h"

#include "store/Recordset.h"

namespace vesk::store {

DbValue FlagValue(bool v)
{
    return v ? "1" : "0";
}

bool WriteSettingsRow(db& handle, const std::string& table, const std::vector<ColumnValue>& columns)
{
    std::unique_ptr<Recordset> count;
    if (handle.ExecuteBound("SELECT COUNT(*) AS T FROM " + table, {}, &count) < 0 || !count || count->IsEOF())
        return false;
    const std::int32_t rows = LongOf(count->Field("T"));
    std::vector<DbValue> values;
    std::string assignments, names, marks;
    for (const auto& [name, value] : columns) {
        const std::string separator = values.empty() ? "" : ",";
        assignments += separator + name + " = ?";
        names += (values.empty() ? "" : ", ") + std::string(name);
        marks += separator + "?";
        values.push_back(value);
    }
    if (rows == 1)
        return handle.ExecuteBound("UPDATE " + table + " SET " + assignments, values) == 1;
    if (rows > 1)
        handle.ExecuteBound("DELETE * FROM " + table, {});
    return handle.ExecuteBound("INSERT INTO " + table + " (" + names + ") VALUES (" + marks + ")", values)
        == 1;
}

} // namespace vesk::store
