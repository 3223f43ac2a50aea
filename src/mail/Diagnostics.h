#pragma once

#include "mail/Feedback.h"
#include "store/Outbox.h"
#include "support/DateTime.h"
#include "support/SteadyTime.h"

#include <cstdint>
#include <string>

namespace vesk::mail {

// The alert settings shared by every console of an outbox, and this console's repeat timers.
struct Diagnostics
{
    std::string Email; // empty: no alerts at all
    bool NotifyMessages = false;
    bool NotifyModem = false;
    bool NotifySignal = false;
    std::int16_t SignalLevel = 0; // percent

    // When the last alert of each kind was queued; the periods between them run on the steady count.
    StampedTime lastLinkAlert;
    StampedTime lastSignalAlert;
};

// What the alerts need to know of the modem; the console answers from its driver.
class ModemProbe
{
public:
    virtual ~ModemProbe() = default;
    virtual bool IsPortOpen() = 0;
    virtual bool IsModemPresent() = 0;
    virtual int SignalLevel() = 0; // percent, -1 without a reading
};

// Who is raising the alert, for the body of the link alert.
struct AlertOrigin
{
    std::string computer;
    std::string imei;
    std::string agentAddress;
};

inline constexpr int kLinkAlertMinutes = 10;
inline constexpr int kSignalAlertMinutes = 5;

// The threshold as the checks use it: 1 to 100, and anything above 100 becomes 90.
std::int16_t ClampSignalThreshold(std::int16_t level);

void LoadDiagnostics(Diagnostics& diag, store::Outbox& outbox, bool quiet);
void SaveDiagnostics(const Diagnostics& diag, store::Outbox& outbox);

void CheckAlerts(Diagnostics& diag, store::Outbox& outbox, ModemProbe& modem, const AlertOrigin& origin,
    Feedback& feedback);
void CheckModemAlert(Diagnostics& diag, store::Outbox& outbox, ModemProbe& modem, const AlertOrigin& origin,
    Feedback& feedback);
void CheckSignalAlert(Diagnostics& diag, store::Outbox& outbox, ModemProbe& modem, Feedback& feedback);
void SendFailureAlert(const Diagnostics& diag, store::Outbox& outbox, const std::string& address,
    const std::string& name, const std::string& error, DateTime when, Feedback& feedback);

} // namespace vesk::mail
