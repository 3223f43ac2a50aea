#include "store/DiagnosticTable.h"

#include "store/SettingsRow.h"

namespace vesk::store {

std::unique_ptr<Recordset> DiagnosticRows(db& outbox)
{
    std::unique_ptr<Recordset> rows;
    outbox.ExecuteBound("SELECT * FROM Diagnostic", {}, &rows);
    return rows;
}

bool WriteDiagnostic(db& outbox, const DiagnosticRow& row)
{
    return WriteSettingsRow(outbox, "Diagnostic",
        {{"diagEmail", row.email}, {"diagNotifyMessages", FlagValue(row.notifyMessages)},
            {"diagNotifySignal", FlagValue(row.notifySignal)},
            {"diagSignalLevel", std::to_string(row.signalLevel)},
            {"diagNotifyModem", FlagValue(row.notifyModem)}});
}

} // namespace vesk::store
