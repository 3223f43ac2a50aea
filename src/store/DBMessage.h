#pragma once

#include "store/MessageStatus.h"
#include "store/db.h"
#include "support/Clock.h"
#include "support/Convert.h"
#include "support/LogSink.h"

#include <cstdint>
#include <string>

namespace vesk::store {

// One row of the outbox's Message table and the statements that change it. The caller opens
// the outbox; each write checks that it touched exactly its row and logs when it did not.
class DBMessage
{
public:
    DBMessage(db& outbox, Clock& clock, LogSink& log);

    RowId id = 0;
    std::string Recipient;
    std::string Address;
    std::string Text;
    bool Complete = false;
    MessageStatus Status = MessageStatus::Pending;
    DateTime SendTime;
    std::int16_t Attempts = 0;
    std::int16_t Reference = 0;
    std::int16_t DeliveryStatus = 0; // -1 stands for NULL
    DateTime DeliveryTime; // zero stands for NULL
    DateTime Expires; // zero stands for NULL
    std::string ErrorReason;
    std::int16_t Tariff = 0;
    std::uint8_t FragmentCount = 0;
    std::string ModemResponse;

    bool Load();
    // Finds the row a delivery report belongs to; Reference and Address are set from the report.
    bool LoadByPendingReference(const std::string& agentIdentity);
    // True when the last load could not run (the outbox out of reach), as against finding no row.
    bool LookupFailed() const { return m_lookupFailed; }
    bool Update();
    bool UpdateStatus();
    bool ScheduleRetry();
    bool UpdateDeliveryStatus();
    bool UpdateExpiryTime();
    bool Cancel();
    std::uint8_t GSMValidityPeriod() const;

    static constexpr int kMaxAttempts = 6;

private:
    bool loadFrom(const std::string& sql);
    void logFailure(const std::string& prefix);

    db& m_db;
    Clock& m_clock;
    LogSink& m_log;
    bool m_lookupFailed = false;
};

} // namespace vesk::store
