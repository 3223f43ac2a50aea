#include "store/MailTables.h"

#include "store/SettingsRow.h"
#include "store/SqlText.h"

namespace vesk::store {

std::optional<MailConfigRow> ReadMailConfig(db& outbox)
{
    std::unique_ptr<Recordset> rows;
    if (outbox.ExecuteBound("SELECT * FROM MailConfig", {}, &rows) < 0 || !rows)
        return std::nullopt;
    MailConfigRow row;
    if (!rows->IsEOF()) {
        row.server = TextOf(rows->Field("cfgServer"));
        row.account = TextOf(rows->Field("cfgAccount"));
        row.method = IntOf(rows->Field("cfgAuthentication"));
        row.password = TextOf(rows->Field("cfgPassword"));
    }
    return row;
}

bool WriteMailConfig(db& outbox, const MailConfigRow& row)
{
    return WriteSettingsRow(outbox, "MailConfig",
        {{"cfgServer", row.server}, {"cfgAccount", row.account}, {"cfgPassword", row.password},
            {"cfgAuthentication", std::to_string(row.method)}});
}

bool QueueMailRow(
    db& outbox, const std::string& recipients, const std::string& subject, const std::string& message)
{
    return outbox.ExecuteBound("INSERT INTO MailMessage (mlRecipients, mlSubject, mlMessage) VALUES (?,?,?)",
               {Left(recipients, 250), Left(subject, 100), message})
        == 1;
}

std::unique_ptr<Recordset> OldestMails(db& outbox, int count)
{
    std::unique_ptr<Recordset> rows;
    outbox.ExecuteBound(
        "SELECT TOP " + std::to_string(count) + " * FROM MailMessage ORDER BY mlID", {}, &rows);
    return rows;
}

bool DeleteMail(db& outbox, RowId id)
{
    return outbox.ExecuteBound("DELETE FROM MailMessage WHERE mlID = ?", {std::to_string(id)}) >= 0;
}

} // namespace vesk::store
