#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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
    bool RoutedReports = false; // reports handed over directly (+CDS) where the modem offers it
    bool FilterActionDelete = false; // a recipient refused by the address filter is cancelled
    bool MailAllowPlainLogin = false; // the mail password may go to a server that offers no TLS
    std::string MailPasswordFile; // the mail password is read from this file, not from the outbox
    std::string
        Database; // a libpq connection string of a shared outbox server; empty: the data folder's files
    // Text handling, all off unless the operator opts in:
    bool OutboundAuto = false; // OutboundCoding=Auto: full 7-bit alphabet, else UCS2
    bool InboundFull = false; // InboundDecoding=Full: coding scheme, headers, UCS2, alphanumeric senders
    bool JoinParts = false; // the parts of a long inbound message are stored as one (needs Full)
    std::int32_t JoinTimeout = 0; // seconds after which an incomplete long message is handled as it stands
};

// The settings the configuration dialog shows, each by the object name of its control. They come
// from the one settings table (Environment.cpp): a key shows in the dialog when its line there
// names a control.
struct ShownSetting
{
    std::string control;
    bool renewsModem; // a change means the modem must be set up again
    bool caseless; // "text" and "TEXT" are the same value
};
std::vector<ShownSetting> ShownSettings();
// The value as the dialog shows it.
std::string ShownText(const CConfig& config, std::string_view control);
// Stores the dialog's text; true when the value changed (a text that does not convert changes nothing).
bool StoreShown(CConfig& config, std::string_view control, const std::string& text);

// For a strict reading of the settings file: nothing when the console reads no such key, "" for a
// value that converts, else what the value should be.
std::optional<std::string> CheckSettingValue(
    std::string_view section, std::string_view key, const std::string& value);

} // namespace vesk::core
