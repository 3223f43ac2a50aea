#include "store/PendingMessages.h"

#include "store/SqlText.h"

namespace vesk::store {

std::unique_ptr<Recordset> DueMessages(db& outbox, int count, DateTime now)
{
    std::unique_ptr<Recordset> rows;
    outbox.ExecuteBound("SELECT TOP " + std::to_string(count)
            + " * FROM qry_Pending_Messages WHERE msgSendTime <= " + DateLiteral(now),
        {}, &rows);
    return rows;
}

} // namespace vesk::store
