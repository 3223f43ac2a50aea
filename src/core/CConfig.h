#pragma once

#include <cstdint>
#include <string>

namespace vesk::core {

// The machine settings record. Plain storage: setting one property changes nothing else.
// Before LoadEnvironment every property is zero, empty or false.
struct CConfig
{
    std::string AgentAddress; // this console's own telephone number
    std::int16_t MaxRunTime = 0; // hours until the console stops by itself; 0 = never
    float WindowTop = 0; // main-window rectangle; -1 = not stored
    float WindowLeft = 0;
    float WindowWidth = 0;
    float WindowHeight = 0;
    std::string COMPort; // device path, or "COMn"
    std::string COMSpeed; // bits per second, as text
    std::string COMInitString; // serial line settings, "9600,N,8,1"
    bool AutoDetect = false; // search every port for the modem
    bool ModemLog = false; // the driver writes its command log
    std::string ReportMemory; // "SM", "ME", "MT" or "SR"
    std::string MessageMemory;
    std::string Protocol; // "PDU" or "TEXT", any case
    std::uint8_t AppPriority = 0; // 0 low, 1 normal, 2 high
    std::int16_t SendInterval = 0; // seconds between delivery passes
    std::int16_t SendBatchSize = 0; // most rows taken per pass
    std::int16_t ReadInterval = 0; // seconds between reads of the modem's memory
    float CommandTimeout = 0; // seconds
    float SendTimeout = 0;
    float ListTimeout = 0;
    float DeleteTimeout = 0;
    bool FilterActionDelete = false; // a recipient refused by the address filter is cancelled
    bool MailAllowPlainLogin = false; // the mail password may go to a server that offers no TLS
    std::string MailPasswordFile; // the mail password is read from this file, not from the outbox
    // The outbox's database: empty for the data folder's files, else a PostgreSQL connection string.
    std::string Database;
};

} // namespace vesk::core
