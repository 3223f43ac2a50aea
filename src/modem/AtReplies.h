#pragma once

#include "modem/GSMMessage.h"
#include "support/DateTime.h"

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// Pure readers of modem replies: no port, no clock. Each takes the reply as the command engine
// returns it (one leading and one trailing CR LF already removed) and gives the documented
// result, or the neutral value when the reply is not the expected shape.
namespace vesk::modem {

// Raised where a reply has the right prefix and result but lacks a field the caller relies on
// (battery, registration, report offer) and for a listing entry that cannot be read.
class ModemError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

inline constexpr std::string_view kCRLF = "\r\n";

std::string StripCRLF(std::string_view text);
std::string StripAllCRLF(std::string_view text);
// True once the text holds "OK" CR LF or "ERROR" CR LF anywhere.
bool HasFinalResult(std::string_view text);

// Fields of an information line, separated by commas (quotes are not special).
std::vector<std::string> SplitFields(std::string_view text, std::string_view separator = ",");
std::string RemoveQuotes(std::string_view text);
std::string RemoveCRLF(std::string_view text);
std::string TrimSpaces(std::string_view text);

std::string ParseMode(std::string_view reply); // AT+CMGF?   "PDU", ">" or "?"
bool ParseTextModeSupported(std::string_view reply); // AT+CMGF=?
bool ParseSIMOkay(std::string_view reply); // AT+CPIN?
std::string ParseModel(std::string_view reply); // AT+CGMM    "" when not answered
std::string ParseIMEI(std::string_view reply); // AT+CGSN    "" when not answered
std::string ParseServiceCentre(std::string_view reply); // AT+CSCA?   "" when not answered
std::string ParseSelectedMemory(std::string_view reply); // AT+CPMS?   "?" when not answered
bool ParseMemoryReadable(std::string_view reply); // AT+CPMS=?
int ParseMessageCount(std::string_view reply); // AT+CPMS?   stored messages and reports
int ParseBatteryLevel(std::string_view reply); // AT+CBC     -1, may raise ModemError
int ParseSignalLevel(std::string_view reply); // AT+CSQ     percent or -1
int ParseNetworkRegistration(std::string_view reply); // AT+CREG?   0, may raise ModemError
std::string ParseNetwork(std::string_view reply); // AT+COPS?   "?" when not answered

// What the status-report offer of AT+CNMI=? allows: the setting command to send (empty for none)
// and whether reports can be had at all. May raise ModemError for an offer without a fourth group.
struct ReportOffer
{
    bool enabled = false;
    std::string command;
};
ReportOffer ParseReportOffer(std::string_view reply);

// The reference in a send answer ("+CMGS: 12" ... "OK"), or -1.
int ParseSendReference(std::string_view answer);

// Text-mode listing pieces.
bool IsStatusReportEntry(std::string_view header);
DateTime ParseTextDate(std::string_view date); // yy/MM/dd
std::int64_t ParseTextTime(std::string_view time); // seconds into the day, zone applied
GSMMessage ParseTextModeMessage(std::string_view header, std::string_view text);

// Whole listings (the text between the first header and the final result). A malformed entry
// raises ModemError.
std::vector<GSMMessage> ReadTextMode(const std::string& listing);
std::vector<GSMMessage> ReadPDUMode(const std::string& listing);

} // namespace vesk::modem
