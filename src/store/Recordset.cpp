#include "store/Recordset.h"

#include "store/db.h"

namespace vesk::store {

// Writes go through the database that opened the set.

Recordset::Recordset(std::vector<std::string> columns, std::vector<std::vector<DbValue>> rows)
    : m_columns(std::move(columns))
    , m_rows(std::move(rows))
{
}

void Recordset::MoveNext()
{
    if (m_position < m_rows.size())
        ++m_position;
    m_pending.clear();
    m_adding = false;
}

int Recordset::columnIndex(std::string_view name) const
{
    for (std::size_t i = 0; i < m_columns.size(); ++i)
        if (EqualsNoCase(m_columns[i], name))
            return static_cast<int>(i);
    return -1;
}

DbValue Recordset::Field(int index) const
{
    if (IsEOF() || index < 0 || index >= FieldCount())
        return std::nullopt;
    return m_rows[m_position][static_cast<std::size_t>(index)];
}

DbValue Recordset::Field(std::string_view name) const
{
    return Field(columnIndex(name));
}

bool Recordset::AddNew()
{
    if (!m_db)
        return false;
    m_pending.clear();
    m_adding = true;
    return true;
}

bool Recordset::SetField(std::string_view name, const DbValue& value)
{
    const int i = columnIndex(name);
    if (!m_db || i < 0 || m_fixedColumns.count(i))
        return false;
    if (!m_adding && IsEOF())
        return false;
    m_pending[i] = value;
    return true;
}

bool Recordset::Update()
{
    if (!m_db || (!m_adding && IsEOF()))
        return false;
    db::Bound statement;
    const std::string table = "\"" + m_table + "\"";
    std::string names, marks;
    for (const auto& [i, value] : m_pending) {
        const std::string column = "\"" + m_columns[static_cast<std::size_t>(i)] + "\"";
        if (m_adding) {
            names += (names.empty() ? "" : ", ") + column;
            marks += std::string(marks.empty() ? "" : ", ") + "?";
        } else {
            names += (names.empty() ? "" : ", ") + column + " = ?";
        }
        statement.values.push_back(value);
    }
    std::int64_t rowid = 0;
    if (m_adding) {
        statement.sql = names.empty() ? "INSERT INTO " + table + " DEFAULT VALUES"
                                      : "INSERT INTO " + table + " (" + names + ") VALUES (" + marks + ")";
        if (m_db->runBoundWithRetries(statement, &rowid) != 1)
            return false;
    } else {
        if (m_pending.empty())
            return true;
        rowid = m_rowids[m_position];
        statement.sql = "UPDATE " + table + " SET " + names + " WHERE rowid = " + std::to_string(rowid);
        if (m_db->runBoundWithRetries(statement, nullptr) != 1)
            return false;
    }
    // Read the row back, so numbered keys and defaults show in the set.
    db::Outcome outcome;
    EngineError error;
    if (m_db->runBound(db::Bound {"SELECT * FROM " + table + " WHERE rowid = " + std::to_string(rowid), {}},
            outcome, error)
        && outcome.rows && !outcome.rows->m_rows.empty()) {
        auto fresh = std::move(outcome.rows->m_rows.front());
        std::vector<DbValue> row(m_columns.size());
        for (std::size_t c = 0; c < m_columns.size(); ++c) {
            const int k = outcome.rows->columnIndex(m_columns[c]);
            if (k >= 0)
                row[c] = fresh[static_cast<std::size_t>(k)];
        }
        if (m_adding) {
            m_rows.push_back(std::move(row));
            m_rowids.push_back(rowid);
            m_position = m_rows.size() - 1;
        } else {
            m_rows[m_position] = std::move(row);
        }
    }
    m_pending.clear();
    m_adding = false;
    return true;
}

} // namespace vesk::store
