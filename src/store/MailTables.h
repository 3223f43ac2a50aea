#pragma once

#include "store/Recordset.h"
#include "store/db.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace vesk::store {

// The outbox's mail tables: the one MailConfig row and the MailMessage queue.

struct MailConfigRow
{
    std::string server;
    std::string account;
    std::string password;
    std::int16_t method = 0;
};

// The mail account; an empty row when the table has none; nothing when it cannot be read.
std::optional<MailConfigRow> ReadMailConfig(db& outbox);
// Makes the table hold exactly this account; false when it was not written.
bool WriteMailConfig(db& outbox, const MailConfigRow& row);

// Queues one mail, recipients and subject cut to their columns; true when the row was added.
bool QueueMailRow(
    db& outbox, const std::string& recipients, const std::string& subject, const std::string& message);
// The oldest queued mails, at most count of them (mlID, mlRecipients, mlSubject, mlMessage).
std::unique_ptr<Recordset> OldestMails(db& outbox, int count);
// Removes a mail once it has left.
bool DeleteMail(db& outbox, RowId id);

} // namespace vesk::store
