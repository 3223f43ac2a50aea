#pragma once

#include "support/Convert.h"

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace vesk::store {

class db;

// The rows a query returned, read from first to last. Column access is by name without regard
// to case; a missing column reads as NULL. A set opened for update on one table can also add
// rows and change the current one (as migration does); a detached set keeps its rows in memory
// with no link to the file.
class Recordset
{
public:
    Recordset(std::vector<std::string> columns, std::vector<std::vector<DbValue>> rows);

    bool IsEOF() const { return m_closed || m_position >= m_rows.size(); }
    void MoveNext();
    void MoveFirst() { m_position = 0; }
    std::size_t RecordCount() const { return m_rows.size(); }
    void Close() { m_closed = true; }

    int FieldCount() const { return static_cast<int>(m_columns.size()); }
    const std::string& FieldName(int index) const { return m_columns.at(static_cast<std::size_t>(index)); }
    bool HasField(std::string_view name) const { return columnIndex(name) >= 0; }
    DbValue Field(std::string_view name) const;
    DbValue Field(int index) const;

    bool IsUpdatable() const { return m_db != nullptr; }
    bool IsDetached() const { return m_detached; }
    // Starts a new row; Update writes it.
    bool AddNew();
    // False when the set has no such column or the column is numbered by the database.
    bool SetField(std::string_view name, const DbValue& value);
    // Writes the new row or the changed columns of the current row; false when that failed
    // (the reason is in the database's LastError).
    bool Update();

private:
    friend class db;
    int columnIndex(std::string_view name) const;

    std::vector<std::string> m_columns;
    std::vector<std::vector<DbValue>> m_rows;
    std::size_t m_position = 0;
    bool m_closed = false;
    bool m_detached = false;

    // Only for sets that can be written.
    db* m_db = nullptr;
    std::string m_table;
    std::vector<std::int64_t> m_rowids;
    std::set<int> m_fixedColumns;
    std::map<int, DbValue> m_pending;
    bool m_adding = false;
};

} // namespace vesk::store
