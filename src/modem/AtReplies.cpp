#include "modem/AtReplies.h"

#include "modem/PduUnits.h"
#include "support/Convert.h"

#include <cctype>
#include <cmath>
#include <functional>

namespace vesk::modem {

namespace {

bool startsWith(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() && text.substr(0, prefix.size()) == prefix;
}

bool endsWith(std::string_view text, std::string_view suffix)
{
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

std::string dropLast(std::string_view text, std::size_t n)
{
    return std::string(text.substr(0, text.size() >= n ? text.size() - n : 0));
}

std::string afterPrefix(std::string_view text, std::size_t n)
{
    return std::string(text.size() > n ? text.substr(n) : std::string_view {});
}

// The usual preparation of an information reply: drop "OK", join the lines, cut the prefix.
std::string clean(std::string_view reply, std::string_view prefix)
{
    std::string text = RemoveCRLF(dropLast(reply, 2));
    if (startsWith(text, prefix))
        text = text.substr(prefix.size());
    return text;
}

// The information after "+XXX:" of a reply that starts with it and ends in "OK", or nullopt.
std::optional<std::string> infoFields(std::string_view reply, std::string_view prefix)
{
    if (!startsWith(reply, prefix) || !endsWith(reply, "OK"))
        return std::nullopt;
    std::string rest = TrimSpaces(afterPrefix(reply, prefix.size()));
    return RemoveCRLF(dropLast(rest, 2));
}

const std::string& field(const std::vector<std::string>& fields, std::size_t index, const char* what)
{
    if (index >= fields.size())
        throw ModemError(std::string("reply lacks the ") + what);
    return fields[index];
}

int requiredInt(std::string_view text, const char* what)
{
    auto value = ToNumber(RemoveQuotes(text));
    if (!value || std::fabs(*value) > 2147483647.0)
        throw ModemError(std::string("not a number in the ") + what + ": \"" + std::string(text) + "\"");
    return static_cast<int>(std::lround(*value));
}

int lenientInt(std::string_view text)
{
    const double value = LeadingNumber(TrimSpaces(text));
    if (!(value > -2147483648.0 && value < 2147483647.0))
        return 0; // out of range or not a number: nothing a modem would mean
    return static_cast<int>(value);
}

} // namespace

std::string StripCRLF(std::string_view text)
{
    if (endsWith(text, kCRLF))
        text.remove_suffix(2);
    if (startsWith(text, kCRLF))
        text.remove_prefix(2);
    return std::string(text);
}

std::string StripAllCRLF(std::string_view text)
{
    while (startsWith(text, kCRLF))
        text.remove_prefix(2);
    while (endsWith(text, kCRLF))
        text.remove_suffix(2);
    return std::string(text);
}

bool HasFinalResult(std::string_view text)
{
    return text.find("OK\r\n") != std::string_view::npos || text.find("ERROR\r\n") != std::string_view::npos;
}

bool IsUnsolicited(std::string_view line, std::string_view own)
{
    static constexpr std::string_view kPrefixes[]
        = {"+CMTI:", "+CDSI:", "+CMT:", "+CDS:", "+CBM:", "+CBMI:", "+CREG:", "+CGREG:", "+CEREG:", "+CLIP:",
            "+CRING:", "+CCWA:", "+CUSD:", "+CIEV:", "+CSSI:", "+CSSU:", "+CGEV:", "^"};
    static constexpr std::string_view kWhole[] = {"RING", "NO CARRIER"};
    if (!own.empty() && startsWith(line, own))
        return false;
    for (const auto prefix : kPrefixes)
        if (startsWith(line, prefix))
            return true;
    for (const auto whole : kWhole)
        if (line == whole)
            return true;
    return false;
}

std::string InformationPrefix(std::string_view command)
{
    if (!startsWith(command, "AT+") && !startsWith(command, "at+"))
        return {};
    command.remove_prefix(2);
    const std::size_t end = command.find_first_of("=?");
    std::string prefix(command.substr(0, end));
    for (char& c : prefix)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return prefix + ":";
}

FramedReply SetAsideUnsolicited(std::string_view raw, std::string_view command, bool textMode)
{
    FramedReply framed;
    const std::string own = InformationPrefix(command);
    auto lines = SplitFields(raw, kCRLF);
    // The last piece has no CR LF after it yet: a prompt, or a line still arriving.
    std::vector<bool> drop(lines.size(), false);
    for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
        const std::string& line = lines[i];
        if (textMode && i > 0 && !drop[i - 1]
            && (startsWith(lines[i - 1], "+CMGL:") || startsWith(lines[i - 1], "+CMGR:")))
            continue; // message text, whatever it says
        if (!IsUnsolicited(line, own))
            continue;
        drop[i] = true;
        framed.unsolicited.push_back(line);
        const bool withUnit = startsWith(line, "+CMT:") || startsWith(line, "+CDS:");
        framed.announcesMessage
            = framed.announcesMessage || withUnit || startsWith(line, "+CMTI:") || startsWith(line, "+CDSI:");
        if (withUnit && i + 2 < lines.size()) {
            drop[++i] = true; // the unit or text that comes with it
            framed.unsolicited.push_back(lines[i]);
        }
    }
    if (framed.unsolicited.empty()) {
        framed.reply = std::string(raw);
        return framed;
    }
    // A dropped line takes the empty line that framed it from the front.
    for (std::size_t i = 1; i < lines.size(); ++i)
        if (drop[i] && !drop[i - 1] && lines[i - 1].empty())
            drop[i - 1] = true;
    bool first = true;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (drop[i])
            continue;
        if (!first)
            framed.reply += kCRLF;
        framed.reply += lines[i];
        first = false;
    }
    return framed;
}

std::vector<std::string> SplitFields(std::string_view text, std::string_view separator)
{
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t at = text.find(separator, start);
        if (at == std::string_view::npos) {
            fields.emplace_back(text.substr(start));
            return fields;
        }
        fields.emplace_back(text.substr(start, at - start));
        start = at + separator.size();
    }
}

std::string RemoveQuotes(std::string_view text)
{
    std::string out;
    for (char c : text)
        if (c != '"')
            out += c;
    return out;
}

std::string RemoveCRLF(std::string_view text)
{
    return ReplaceAll(std::string(text), kCRLF, "");
}

std::string TrimSpaces(std::string_view text)
{
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    return std::string(text);
}

std::string ParseMode(std::string_view reply)
{
    if (!endsWith(reply, "OK"))
        return "?";
    const std::string text = RemoveCRLF(dropLast(reply, 2));
    if (!startsWith(text, "+CMGF:"))
        return "?";
    return TrimSpaces(afterPrefix(text, 6)) == "0" ? "PDU" : ">";
}

bool ParseTextModeSupported(std::string_view reply)
{
    if (!endsWith(reply, "OK"))
        return false;
    std::string offer = clean(reply, "+CMGF: ");
    if (startsWith(offer, "("))
        offer = offer.size() >= 2 ? offer.substr(1, offer.size() - 2) : std::string();
    for (const auto& piece : SplitFields(offer))
        if (TrimSpaces(piece) == "1")
            return true;
    return false;
}

bool ParseSIMOkay(std::string_view reply)
{
    return startsWith(reply, "+CPIN: READY");
}

std::string ParseModel(std::string_view reply)
{
    std::string text = StripCRLF(reply);
    if (startsWith(text, "AT+CGMM"))
        text = text.substr(7);
    if (!endsWith(text, "OK"))
        return {};
    return RemoveCRLF(dropLast(text, 2));
}

std::string ParseIMEI(std::string_view reply)
{
    const std::string text = StripCRLF(reply);
    if (!endsWith(text, "OK"))
        return {};
    return RemoveCRLF(TrimSpaces(dropLast(text, 2)));
}

std::string ParseServiceCentre(std::string_view reply)
{
    if (!endsWith(reply, "OK"))
        return {};
    std::string text = dropLast(reply, 2);
    if (startsWith(text, "+CSCA: "))
        text = text.substr(7);
    text = RemoveQuotes(RemoveCRLF(text));
    return SplitFields(text).front();
}

std::string ParseSelectedMemory(std::string_view reply)
{
    if (!endsWith(reply, "OK"))
        return "?";
    const std::string text = TrimSpaces(clean(reply, "+CPMS: "));
    return RemoveQuotes(SplitFields(text).front());
}

bool ParseMemoryReadable(std::string_view reply)
{
    std::string text = StripCRLF(reply);
    if (text.find("ERROR") != std::string::npos)
        return false;
    if (endsWith(text, "OK")) {
        text = RemoveCRLF(dropLast(text, 2));
        if (startsWith(text, "+CPMS:"))
            text = TrimSpaces(text.substr(6));
    }
    if (text == "(),(),()")
        return false;
    return text.find(',') != std::string::npos;
}

int ParseMessageCount(std::string_view reply)
{
    if (!endsWith(reply, "OK"))
        return 0;
    const std::string text = clean(reply, "+CPMS: ");
    if (text.find(',') == std::string::npos)
        return 0;
    const auto fields = SplitFields(text);
    const double highest = static_cast<double>(fields.size() - 1);
    const int groups = static_cast<int>(std::nearbyint(highest / 3.0));
    int sm = 0, me = 0, mt = 0, sr = 0;
    for (int g = 0; g < groups; ++g) {
        const std::string name = TrimSpaces(RemoveQuotes(fields[static_cast<std::size_t>(3 * g)]));
        const int used = lenientInt(fields[static_cast<std::size_t>(3 * g + 1)]);
        if (name == "SM")
            sm = used;
        else if (name == "ME")
            me = used;
        else if (name == "MT")
            mt = used;
        else if (name == "SR")
            sr += used;
    }
    return sm + me + mt + sr;
}

bool ParseMemoryFull(std::string_view reply)
{
    if (!endsWith(reply, "OK"))
        return false;
    const auto fields = SplitFields(clean(reply, "+CPMS: "));
    if (fields.size() < 3)
        return false;
    const int used = lenientInt(fields[1]), total = lenientInt(fields[2]);
    return total > 0 && used >= total;
}

int ParseBatteryLevel(std::string_view reply)
{
    const auto info = infoFields(reply, "+CBC:");
    if (!info)
        return -1;
    return lenientInt(field(SplitFields(*info), 1, "charge level"));
}

int ParseSignalLevel(std::string_view reply)
{
    const auto info = infoFields(reply, "+CSQ:");
    if (!info)
        return -1;
    const auto strength = ToNumber(SplitFields(*info).front());
    if (!strength || *strength < 0 || *strength > 10000)
        return -1;
    // Banker's rounding, as the percentage has always been shown.
    return static_cast<int>(std::nearbyint(*strength * 100.0 / 31.0));
}

int ParseNetworkRegistration(std::string_view reply)
{
    const auto info = infoFields(reply, "+CREG:");
    if (!info)
        return 0;
    return lenientInt(field(SplitFields(*info), 1, "registration status"));
}

std::string ParseNetwork(std::string_view reply)
{
    const auto info = infoFields(reply, "+COPS:");
    if (!info)
        return "?";
    const auto fields = SplitFields(*info);
    if (fields.size() < 3)
        return "?";
    const auto format = ToNumber(fields[1]);
    if (format && *format == 0)
        return fields[2];
    if (format && *format == 2)
        return afterPrefix(RemoveQuotes(fields[2]), 3);
    return *info;
}

ReportOffer ParseReportOffer(std::string_view reply)
{
    ReportOffer offer;
    if (!endsWith(reply, "OK"))
        return offer;
    std::string text = dropLast(reply, 2);
    if (startsWith(text, "+CNMI:"))
        text = TrimSpaces(text.substr(6));
    text = RemoveCRLF(text);
    const std::string reports = afterPrefix(field(SplitFields(text, "),"), 3, "status report offer"), 1);
    if (reports.empty() || reports == "0")
        return offer;
    offer.enabled = true;
    if (reports.find('2') != std::string::npos)
        offer.command = "AT+CNMI=1,,,2";
    else if (reports.find('1') != std::string::npos)
        offer.command = "AT+CNMI=1,,,1";
    return offer;
}

int ParseSendReference(std::string_view answer)
{
    if (!startsWith(answer, "+CMGS: "))
        return -1;
    std::string rest(answer.substr(7));
    // An indication (+CDSI, +CMTI) can follow the final result in the same read; the answer to
    // the send still ended in OK, and losing its reference would send the message twice.
    if (const auto ok = rest.find("\r\nOK\r\n"); !endsWith(rest, "OK") && ok != std::string::npos)
        rest.resize(ok + 4);
    if (!endsWith(rest, "OK"))
        return -1;
    long long value = 0;
    for (char c : rest) {
        if (!std::isdigit(static_cast<unsigned char>(c)) || value > 99999999)
            break;
        value = value * 10 + (c - '0');
    }
    return static_cast<int>(value);
}

bool IsStatusReportEntry(std::string_view header)
{
    const auto fields = SplitFields(TrimSpaces(afterPrefix(header, 7)));
    return !startsWith(field(fields, 2, "third field of a listing header"), "\"");
}

DateTime ParseTextDate(std::string_view date)
{
    const auto parts = SplitFields(date, "/");
    if (parts.size() < 3)
        return {};
    const int yy = lenientInt(parts[0]);
    const int month = lenientInt(parts[1]);
    const int day = lenientInt(parts[2]);
    if (yy < 0 || yy > 99 || month < 1 || month > 12 || day < 1 || day > 31)
        return {};
    const int year = 2000 + yy;
    return DateTime::fromParts(year, month, day);
}

std::int64_t ParseTextTime(std::string_view time)
{
    const auto parts = SplitFields(time, ":");
    const int hours = lenientInt(parts[0]);
    const int minutes = parts.size() > 1 ? lenientInt(parts[1]) : 0;
    int seconds = 0;
    int quarters = 0;
    if (parts.size() > 2) {
        const std::string& third = parts[2];
        if (third.size() > 2) {
            seconds = lenientInt(third.substr(0, 2));
            const std::string zone = third.substr(2);
            const int amount = lenientInt(zone.substr(1));
            quarters = zone.front() == '+' ? amount : -amount;
        } else {
            seconds = lenientInt(third);
        }
    }
    return static_cast<std::int64_t>(hours) * 3600 + static_cast<std::int64_t>(minutes) * 60 + seconds
        + static_cast<std::int64_t>(quarters) * 15 * 60;
}

namespace {

DateTime textStamp(const std::string& date, const std::string& time)
{
    const DateTime day = ParseTextDate(RemoveQuotes(date));
    if (day.isZero())
        return {};
    return day.addSeconds(ParseTextTime(RemoveQuotes(time)));
}

int readStatusOfText(const std::string& status)
{
    if (status == "REC READ")
        return 1;
    if (status == "REC UNREAD")
        return 0;
    return 2;
}

} // namespace

GSMMessage ParseTextModeMessage(std::string_view header, std::string_view text)
{
    GSMMessage record;
    const auto fields = SplitFields(TrimSpaces(afterPrefix(header, 6)));
    record.MemoryIndex
        = static_cast<std::int16_t>(requiredInt(field(fields, 0, "memory index"), "memory index"));
    record.ReadStatus = readStatusOfText(RemoveQuotes(field(fields, 1, "message status")));
    const std::string& third = field(fields, 2, "originator");
    if (!third.empty() && third.front() == '"') {
        record.MessageType = 0;
        record.Address = StripCRLF(RemoveQuotes(third));
        record.Text = StripCRLF(text);
        if (fields.size() >= 6)
            record.Time = textStamp(fields[4], fields[5]);
        return record;
    }
    record.MessageType = 1;
    record.id = requiredInt(field(fields, 3, "message reference"), "message reference");
    record.Address = RemoveQuotes(field(fields, 4, "recipient"));
    record.DeliveryTime = textStamp(field(fields, 8, "discharge date"), field(fields, 9, "discharge time"));
    const int status = requiredInt(field(fields, 10, "report status"), "report status");
    record.DeliveryStatus = status;
    record.ErrorCode = static_cast<std::int16_t>(status);
    return record;
}

namespace {

// The memory index of a listing header, or -1.
int headerIndex(std::string_view header)
{
    const auto fields = SplitFields(TrimSpaces(afterPrefix(header, 6)));
    const auto value = ToNumber(fields.front());
    return value && *value >= 0 && *value <= 32767 ? static_cast<int>(*value) : -1;
}

// Decodes one entry; a malformed one goes to `unreadable` when given, otherwise raises.
void readEntry(std::vector<GSMMessage>& records, std::vector<UnreadableEntry>* unreadable,
    const std::string& header, const std::string& unit, const std::function<GSMMessage()>& decode)
{
    try {
        records.push_back(decode());
    } catch (const ModemError& e) {
        if (!unreadable)
            throw;
        unreadable->push_back(
            {headerIndex(header), unit.empty() ? header : header + "\r\n" + unit, e.what()});
    }
}

} // namespace

std::vector<GSMMessage> ReadTextMode(const std::string& listing, std::vector<UnreadableEntry>* unreadable)
{
    std::vector<GSMMessage> records;
    const auto lines = SplitFields(listing, kCRLF);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        if (!startsWith(line, "+CMGL:"))
            continue;
        bool report = false;
        try {
            report = IsStatusReportEntry(line);
        } catch (const ModemError&) {
            report = true; // too few fields for a message: read alone, and found unreadable
        }
        const std::string body = !report && i + 1 < lines.size() ? lines[++i] : std::string();
        readEntry(records, unreadable, line, body, [&] { return ParseTextModeMessage(line, body); });
    }
    return records;
}

std::vector<GSMMessage> ReadPDUMode(
    const std::string& listing, std::vector<UnreadableEntry>* unreadable, bool fullDecoding)
{
    std::vector<GSMMessage> records;
    const auto lines = SplitFields(listing, kCRLF);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        if (!startsWith(line, "+CMGL:"))
            continue;
        // An empty entry has no unit line: the next header follows at once.
        const bool hasUnit = i + 1 < lines.size() && !startsWith(lines[i + 1], "+CMGL:");
        const std::string pdu = hasUnit ? TrimSpaces(lines[++i]) : std::string();
        readEntry(records, unreadable, line, pdu, [&] {
            const auto fields = SplitFields(TrimSpaces(line.substr(6)));
            GSMMessage record;
            record.MemoryIndex
                = static_cast<std::int16_t>(requiredInt(field(fields, 0, "memory index"), "memory index"));
            const int status = requiredInt(field(fields, 1, "message status"), "message status");
            record.ReadStatus = status == 0 ? 0 : status == 1 ? 1 : 2;
            const int length = fields.size() > 3 ? lenientInt(fields[3]) : 0;
            if (!hasUnit)
                throw ModemError(
                    "listing ends after the header of entry " + std::to_string(record.MemoryIndex));
            if (!ParsePDU(pdu, length, record, fullDecoding))
                throw ModemError("unreadable unit in entry " + std::to_string(record.MemoryIndex));
            if (record.MessageType != 0 && record.MessageType != 1)
                record.Listed = line + "\r\n" + pdu; // kept as it was listed: the console cannot use it
            return record;
        });
    }
    return records;
}

} // namespace vesk::modem
