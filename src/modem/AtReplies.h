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

// A reply with the unsolicited result codes taken out of it. The lines left keep their framing, so
// a reply without unsolicited lines comes back byte for byte.
struct FramedReply
{
    std::string reply;
    std::vector<std::string> unsolicited; // each line as it came, without its CR LF
    bool announcesMessage = false; // +CMTI, +CDSI, +CMT or +CDS was among them
};
// True for a result code a modem sends on its own (new message, ring, registration, vendor "^").
// `own` is the information prefix of the command being answered ("+CREG:"), never unsolicited.
bool IsUnsolicited(std::string_view line, std::string_view own = {});
// The information prefix of a command: "AT+CREG?" gives "+CREG:", "ATE0" gives "".
std::string InformationPrefix(std::string_view command);
// Sets aside the complete unsolicited lines of a reply to `command`. In text mode the line after
// a listing header is message text and stays whatever it says.
FramedReply SetAsideUnsolicited(std::string_view raw, std::string_view command, bool textMode);

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
bool ParseMemoryFull(std::string_view reply); // AT+CPMS?   the memory read from holds no more
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

// An entry of a listing that could not be decoded: its memory index (-1 when the header has
// none), its header and unit as listed, and why.
struct UnreadableEntry
{
    int index = -1;
    std::string raw;
    std::string reason;
};

// Whole listings (the text between the first header and the final result). Without `unreadable`
// a malformed entry raises ModemError; with it, each entry is decoded on its own and the ones
// that cannot be are collected there. `fullDecoding` is that of ParsePDU.
std::vector<GSMMessage> ReadTextMode(
    const std::string& listing, std::vector<UnreadableEntry>* unreadable = nullptr);
std::vector<GSMMessage> ReadPDUMode(const std::string& listing,
    std::vector<UnreadableEntry>* unreadable = nullptr, bool fullDecoding = false);

} // namespace vesk::modem
