#pragma once

#include "store/Recordset.h"
#include "store/db.h"

#include <memory>
#include <string>

namespace vesk::store {

// The outbox's one Diagnostic row: where alerts go and which ones are sent.
struct DiagnosticRow
{
    std::string email;
    bool notifyMessages = false;
    bool notifySignal = false;
    int signalLevel = 0;
    bool notifyModem = false;
};

// The table's rows as stored; none when it cannot be read (the reason is in LastError).
std::unique_ptr<Recordset> DiagnosticRows(db& outbox);
// Makes the table hold exactly this row; false when it was not written.
bool WriteDiagnostic(db& outbox, const DiagnosticRow& row);

} // namespace vesk::store
