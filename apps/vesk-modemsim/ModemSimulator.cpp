#include "ModemSimulator.h"

#include <algorithm>
#include <cctype>
#include <ctime>
#include <sstream>

namespace vesk::modemsim {

namespace {

constexpr char kCtrlZ = '\x1A';
constexpr char kEsc = '\x1B';
const char* const kStatNames[] = {"REC UNREAD", "REC READ", "STO UNSENT", "STO SENT"};

std::string upper(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

std::string trim(const std::string& s)
{
    const auto b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos)
        return {};
    return s.substr(b, s.find_last_not_of(" \t\r\n") - b + 1);
}

std::string unquote(std::string s)
{
    s = trim(s);
    if (s.size() >= 2 && s.front() == '"' && s.back() == '"')
        return s.substr(1, s.size() - 2);
    return s;
}

std::optional<int> number(const std::string& s)
{
    const std::string t = trim(s);
    if (t.empty())
        return std::nullopt;
    std::size_t used = 0;
    try {
        const int v = std::stoi(t, &used);
        if (used != t.size())
            return std::nullopt;
        return v;
    } catch (...) {
        return std::nullopt;
    }
}

std::vector<std::string> splitComma(const std::string& s)
{
    std::vector<std::string> out;
    std::string piece;
    bool quoted = false;
    for (char c : s) {
        if (c == '"')
            quoted = !quoted;
        if (c == ',' && !quoted) {
            out.push_back(piece);
            piece.clear();
        } else {
            piece += c;
        }
    }
    out.push_back(piece);
    return out;
}

std::string info(const std::string& text)
{
    return "\r\n" + text + "\r\n\r\nOK\r\n";
}
const std::string kOK = "\r\nOK\r\n";
const std::string kError = "\r\nERROR\r\n";
std::string cmsError(int n)
{
    return "\r\n+CMS ERROR: " + std::to_string(n) + "\r\n";
}

bool knownMemory(const std::string& m)
{
    return m == "SM" || m == "ME" || m == "MT" || m == "SR";
}

} // namespace

// The faults on demand, by name. Each takes the rest of the control line and gives "" or why it
// refused.
std::string ModemSimulator::fault(const std::string& kind, const std::string& rest)
{
    using Handler = std::string (*)(ModemSimulator&, const std::string&);
    static const std::map<std::string, Handler> kFaults = {
        {"slow",
            [](ModemSimulator& m, const std::string& r) {
                m.m_slowMs = number(r).value_or(1000);
                return std::string();
            }},
        {"split",
            [](ModemSimulator& m, const std::string& r) {
                m.m_splitMs = number(r).value_or(300);
                return std::string();
            }},
        {"silent",
            [](ModemSimulator& m, const std::string& r) {
                const auto seconds = number(r);
                m.m_silentUntil = seconds ? m.m_now() + std::chrono::seconds(*seconds) : TimePoint::max();
                return std::string();
            }},
        {"silent-on-send",
            [](ModemSimulator& m, const std::string& r) {
                m.m_sendFault = SendFault::Silent;
                m.m_sendFaultSeconds = number(r).value_or(5);
                return std::string();
            }},
        {"reboot",
            [](ModemSimulator& m, const std::string& r) {
                m.reboot(trim(r) == "keep-entry");
                return std::string();
            }},
        {"reboot-on-send",
            [](ModemSimulator& m, const std::string& r) {
                m.m_sendFault = trim(r) == "keep-entry" ? SendFault::RebootKeepingEntry : SendFault::Reboot;
                return std::string();
            }},
        {"flood",
            [](ModemSimulator& m, const std::string& r) {
                static const std::map<std::string, Flood> kWhere
                    = {{"held", Flood::Held}, {"free", Flood::Free}, {"final", Flood::AfterFinal}};
                std::istringstream in(r);
                std::string count, where = "held";
                in >> count >> where;
                const auto it = kWhere.find(where);
                if (!number(count) || it == kWhere.end())
                    return std::string("flood needs a count and held, free or final");
                m.m_floodLeft = *number(count);
                m.m_flood = it->second;
                m.m_floodHeld = 0;
                return std::string();
            }},
        {"error",
            [](ModemSimulator& m, const std::string& r) {
                m.m_errorAll = r.empty() ? kError : "\r\n" + unescapeText(r) + "\r\n";
                return std::string();
            }},
        {"cms",
            [](ModemSimulator& m, const std::string& r) {
                m.m_errorAll = cmsError(number(r).value_or(500));
                return std::string();
            }},
        {"cme",
            [](ModemSimulator& m, const std::string& r) {
                m.m_errorAll = "\r\n+CME ERROR: " + std::to_string(number(r).value_or(100)) + "\r\n";
                return std::string();
            }},
        {"refuse-send",
            [](ModemSimulator& m, const std::string& r) {
                m.m_refuseSend = r.empty() ? kError : cmsError(number(r).value_or(500));
                return std::string();
            }},
        {"send-error",
            [](ModemSimulator& m, const std::string& r) {
                m.m_sendError = cmsError(number(r).value_or(500));
                return std::string();
            }},
        {"drop",
            [](ModemSimulator& m, const std::string&) {
                m.m_dropRequested = true;
                return std::string();
            }},
        {"hold-delete",
            [](ModemSimulator& m, const std::string&) {
                m.m_holdDelete = true;
                return std::string();
            }},
        {"clear",
            [](ModemSimulator& m, const std::string&) {
                m.m_slowMs = m.m_splitMs = m.m_floodLeft = m.m_floodHeld = 0;
                m.m_silentUntil.reset();
                m.m_sendFault = SendFault::None;
                m.m_errorAll.clear();
                m.m_refuseSend.clear();
                m.m_sendError.clear();
                m.m_holdDelete = false;
                return std::string();
            }},
    };
    const auto it = kFaults.find(kind);
    return it == kFaults.end() ? "no fault called " + kind : it->second(*this, rest);
}

// Power lost and back: echo and message format as at power-on, indications off. With keepEntry the
// modem comes back still waiting for a message, as some firmware does.
void ModemSimulator::reboot(bool keepEntry)
{
    m_echo = true;
    m_mode = m_options.mode;
    m_cnmi = "0,0,0,0,0";
    m_service = 0;
    if (m_unacknowledged) // the unit it held goes back to the network
        m_network.push_back(*m_unacknowledged);
    m_unacknowledged.reset();
    m_ackDue.reset();
    m_line.clear();
    m_inBody = keepEntry;
    m_body.clear();
    m_transcript.push_back(keepEntry ? "<reboot, still in entry>" : "<reboot>");
}

// Bad entries for the listing: "truncated" (the unit cut short), "length" (its text longer than
// the unit holds), "reserved" (a reserved message type) or "empty" (no unit at all).
bool ModemSimulator::deliverBad(const std::string& kind, std::string& error)
{
    const auto units = encodeDeliverParts(m_options.smsc, "+447700900999", "unreadable", stampNow(), 0);
    std::string unit = units.front();
    const int scLength = static_cast<int>(fromHex(unit.substr(0, 2)).front());
    const std::size_t tpdu = 2 + static_cast<std::size_t>(scLength) * 2;
    if (kind == "truncated")
        unit.resize(unit.size() - 8);
    else if (kind == "length")
        unit = unit.substr(0, unit.size() - 20);
    else if (kind == "reserved")
        unit[tpdu + 1] = static_cast<char>(unit[tpdu + 1] | 3);
    else if (kind == "empty")
        unit.clear();
    else {
        error = "deliver-bad takes truncated, length, reserved or empty";
        return false;
    }
    if (!store(m_options.inboundMemory, unit, 0, error, Announce::None))
        return false;
    if (kind == "length")
        for (auto& [index, entry] : memory(m_options.inboundMemory).entries)
            if (entry.pdu == unit)
                entry.listedLength = 40;
    return true;
}

std::string ModemSimulator::unsolicitedLine()
{
    static const char* const kLines[] = {"+CMTI: \"SM\",1", "RING", "+CDSI: \"SM\",2", "+CREG: 1"};
    --m_floodLeft;
    return std::string("\r\n") + kLines[m_floodSent++ % 4] + "\r\n";
}

// A reply with the flood's lines around it: before it, inside a listing after its first header,
// after its final result, or held while a message is being entered.
std::string ModemSimulator::withFlood(std::string reply, bool isListing)
{
    if (m_floodLeft <= 0 || reply.empty())
        return reply;
    const bool prompt = reply == "\r\n> ";
    if (m_flood == Flood::AfterFinal)
        return prompt ? reply : reply + unsolicitedLine();
    if (prompt && m_flood == Flood::Held) {
        ++m_floodHeld;
        return reply;
    }
    if (prompt)
        return unsolicitedLine() + reply;
    if (isListing) {
        const auto header = reply.find("\r\n+CMGL:");
        const auto end = header == std::string::npos ? header : reply.find("\r\n", header + 2);
        if (end != std::string::npos && m_floodLeft > 1)
            reply.insert(end + 2, unsolicitedLine().substr(2)); // between the header and its unit
    }
    std::string before;
    for (; m_floodHeld > 0 && m_floodLeft > 1; --m_floodHeld)
        before += unsolicitedLine();
    m_floodHeld = 0;
    return before + unsolicitedLine() + reply;
}

std::string escapeText(const std::string& text)
{
    std::string out;
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\\')
            out += "\\\\";
        else if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else if (u < 0x20 || u == 0x7F) {
            const char* hex = "0123456789ABCDEF";
            out += "\\x";
            out += hex[u >> 4];
            out += hex[u & 15];
        } else
            out += c;
    }
    return out;
}

std::string unescapeText(const std::string& text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 >= text.size()) {
            out += text[i];
            continue;
        }
        const char e = text[++i];
        if (e == 'r')
            out += '\r';
        else if (e == 'n')
            out += '\n';
        else if (e == 'x' && i + 2 < text.size()) {
            const auto v = fromHex(text.substr(i + 1, 2));
            if (v.size() == 1) {
                out += static_cast<char>(v[0]);
                i += 2;
            } else {
                out += 'x';
            }
        } else
            out += e;
    }
    return out;
}

namespace {

bool readInteger(int& target, const std::string& key, const std::string& value, std::string& error)
{
    const auto v = number(value);
    if (!v) {
        error = "not a number for " + key + ": " + value;
        return false;
    }
    target = *v;
    return true;
}

template<auto Member> bool text(SimOptions& o, const std::string&, const std::string& value, std::string&)
{
    o.*Member = value;
    return true;
}

template<auto Member>
bool integer(SimOptions& o, const std::string& key, const std::string& value, std::string& error)
{
    return readInteger(o.*Member, key, value, error);
}

template<auto Member>
bool flag(SimOptions& o, const std::string& key, const std::string& value, std::string& error)
{
    const std::string v = upper(value);
    if (v == "1" || v == "ON" || v == "YES" || v == "TRUE")
        o.*Member = true;
    else if (v == "0" || v == "OFF" || v == "NO" || v == "FALSE")
        o.*Member = false;
    else {
        error = "not on or off for " + key + ": " + value;
        return false;
    }
    return true;
}

template<auto Member>
bool memoryName(SimOptions& o, const std::string&, const std::string& value, std::string& error)
{
    const std::string v = upper(value);
    if (!knownMemory(v)) {
        error = "no memory called " + value;
        return false;
    }
    o.*Member = v;
    return true;
}

bool capacity(SimOptions& o, const std::string& key, const std::string& value, std::string& error)
{
    return readInteger(o.capacity[upper(key.substr(0, 2))], key, value, error);
}

bool copsFormat(SimOptions& o, const std::string&, const std::string& value, std::string& error)
{
    if (value != "0" && value != "2" && value != "none") {
        error = "cops-format is 0, 2 or none";
        return false;
    }
    o.copsFormat = value;
    return true;
}

bool cpmsGroups(SimOptions& o, const std::string& key, const std::string& value, std::string& error)
{
    if (!readInteger(o.cpmsGroups, key, value, error))
        return false;
    o.cpmsGroups = std::clamp(o.cpmsGroups, 1, 3);
    return true;
}

bool fullMode(SimOptions& o, const std::string&, const std::string& value, std::string& error)
{
    if (value != "drop" && value != "reject" && value != "error322") {
        error = "full is drop, reject or error322";
        return false;
    }
    o.full = value;
    return true;
}

using S = SimOptions;
struct OptionRow
{
    const char* name;
    bool (*set)(SimOptions&, const std::string& key, const std::string& value, std::string& error);
    const char* help;
};
// Every option, in the order --help lists them.
constexpr OptionRow kOptions[] = {
    {"manufacturer", text<&S::manufacturer>, "AT+CGMI and the first line of ATI"},
    {"model", text<&S::model>, "AT+CGMM"},
    {"revision", text<&S::revision>, "AT+CGMR"},
    {"imei", text<&S::imei>, "AT+CGSN"},
    {"imsi", text<&S::imsi>, "AT+CIMI"},
    {"pin", text<&S::pin>, "the text after +CPIN:, such as \"SIM PIN\""},
    {"signal", integer<&S::signal>, "+CSQ: SIGNAL,ber"},
    {"ber", integer<&S::ber>, "+CSQ: signal,BER"},
    {"battery", integer<&S::battery>, "+CBC: charge-state,BATTERY; -1 answers ERROR"},
    {"charge-state", integer<&S::chargeState>, "+CBC: CHARGE-STATE,battery"},
    {"creg", integer<&S::creg>, "+CREG: creg-mode,CREG"},
    {"creg-mode", integer<&S::cregMode>, "+CREG: CREG-MODE,creg"},
    {"network", text<&S::network>, "operator name for cops-format 0"},
    {"numeric", text<&S::numeric>, "operator number for cops-format 2"},
    {"cops-format", copsFormat, "+COPS? shape: 0 (name), 2 (number) or none"},
    {"smsc", text<&S::smsc>, "+CSCA? and the service centre of injected units"},
    {"cmgf-offer", text<&S::cmgfOffer>, "answer to AT+CMGF=?"},
    {"cnmi-offer", text<&S::cnmiOffer>, "answer to AT+CNMI=?"},
    {"cpms-offer", text<&S::cpmsOffer>, "answer to AT+CPMS=?"},
    {"cpms-groups", cpmsGroups, "memory groups AT+CPMS reports (1 to 3)"},
    {"text-mode", flag<&S::textModeAllowed>, "off refuses AT+CMGF=1"},
    {"mode", integer<&S::mode>, "message format at power-on (0 PDU, 1 text)"},
    {"echo", flag<&S::echo>, "command echo at power-on"},
    {"reports", flag<&S::reports>, "store a status report for sends that ask"},
    {"report-delay", integer<&S::reportDelayMs>, "milliseconds from a send to its report"},
    {"report-status", integer<&S::reportStatus>, "TP-Status of those reports"},
    {"report-memory", memoryName<&S::reportMemory>, "where status reports are stored"},
    {"inbound-memory", memoryName<&S::inboundMemory>, "where deliver stores messages"},
    {"zone", integer<&S::zoneQuarters>, "time zone of time stamps, in quarter-hours"},
    {"first-reference", integer<&S::firstReference>, "the first +CMGS: reference"},
    {"sm-size", capacity, "capacity of SM"},
    {"me-size", capacity, "capacity of ME"},
    {"mt-size", capacity, "capacity of MT"},
    {"sr-size", capacity, "capacity of SR"},
    {"full", fullMode, "a unit meeting a full memory: drop, reject (tried again) or error322"},
    {"retry-delay", integer<&S::retryMs>, "milliseconds until the network tries a kept unit again"},
    {"csms-offer", text<&S::csmsOffer>, "answer to AT+CSMS=?; (0) refuses acknowledgements"},
    {"ack-timeout", integer<&S::ackTimeoutMs>, "milliseconds a routed report waits for AT+CNMA"},
    {"parts-reversed", flag<&S::partsReversed>, "long inbound messages stored last part first"},
    {"missing-part", integer<&S::missingPart>, "this part of long inbound messages never arrives"},
};

const OptionRow* findOption(const std::string& key)
{
    // A memory's size takes the memory's name in either case ("sm-size", "SM-size").
    const bool sizeKey = key.size() == 7 && key.substr(2) == "-size";
    for (const auto& row : kOptions)
        if (row.name == key || (sizeKey && upper(row.name) == upper(key)))
            return &row;
    return nullptr;
}

} // namespace

std::string optionUsage()
{
    std::string out;
    for (const auto& row : kOptions) {
        std::string name = std::string("  --") + row.name;
        name.resize(std::max<std::size_t>(name.size() + 1, 22), ' ');
        out += name + row.help + "\n";
    }
    return out;
}

bool setOption(SimOptions& options, const std::string& key, const std::string& value, std::string& error)
{
    const OptionRow* row = findOption(key);
    if (!row) {
        error = "no option called " + key;
        return false;
    }
    return row->set(options, key, value, error);
}

ModemSimulator::ModemSimulator(SimOptions options, Now now)
    : m_options(std::move(options))
    , m_now(std::move(now))
    , m_echo(m_options.echo)
    , m_mode(m_options.mode)
    , m_nextReference(m_options.firstReference)
{
    for (const auto& [name, size] : m_options.capacity)
        m_memories[name].capacity = size;
}

Stamp ModemSimulator::stampNow() const
{
    const std::time_t t = std::time(nullptr);
    std::tm local {};
    localtime_r(&t, &local);
    Stamp s;
    s.year = local.tm_year + 1900;
    s.month = local.tm_mon + 1;
    s.day = local.tm_mday;
    s.hour = local.tm_hour;
    s.minute = local.tm_min;
    s.second = local.tm_sec;
    s.zoneQuarters = m_options.zoneQuarters;
    return s;
}

std::vector<Output> ModemSimulator::receive(std::string_view bytes)
{
    std::vector<Output> outputs;
    if (silentNow())
        return outputs;
    for (char c : bytes) {
        if (m_inBody) {
            if (c == kCtrlZ) {
                m_inBody = false;
                m_transcript.push_back("<body> " + m_body);
                std::string reply = m_sendError.empty() ? sendBody(m_body) : m_sendError;
                outputs.push_back({std::chrono::milliseconds(m_slowMs), withFlood(reply, false), false});
                m_body.clear();
            } else if (c == kEsc) {
                m_inBody = false;
                m_transcript.push_back("<cancelled> " + m_body);
                m_body.clear();
                outputs.push_back({std::chrono::milliseconds(m_slowMs), kOK, false});
            } else {
                m_body += c;
            }
            continue;
        }
        if (c == '\r') {
            const std::string line = trim(m_line);
            m_line.clear();
            if (m_echo)
                outputs.push_back({std::chrono::milliseconds(0), line + "\r", false});
            if (line.empty())
                continue;
            for (auto& o : command(line))
                outputs.push_back(std::move(o));
        } else if (static_cast<unsigned char>(c) >= 0x20 || c == '\t') {
            m_line += c; // other control characters on a command line are ignored, as modems do
        }
    }
    return outputs;
}

std::vector<Output> ModemSimulator::command(const std::string& line)
{
    m_transcript.push_back(line);
    std::vector<Output> outputs;
    std::string reply;
    const std::string key = upper(line);
    if (auto it = m_replies.find(key); it != m_replies.end())
        reply = it->second;
    else if (!m_errorAll.empty())
        reply = m_errorAll;
    else
        reply = answer(line);
    if (m_silentUntil && !silentNow())
        m_silentUntil.reset();
    if (silentNow())
        return outputs; // the fault struck while the command was being read
    reply = withFlood(reply, key.rfind("AT+CMGL", 0) == 0);
    const auto delay = std::chrono::milliseconds(m_slowMs);
    if (m_splitMs > 0 && reply.size() > 1 && !m_inBody) {
        const std::size_t half = reply.size() / 2;
        outputs.push_back({delay, reply.substr(0, half), false});
        outputs.push_back({std::chrono::milliseconds(m_splitMs), reply.substr(half), false});
    } else {
        outputs.push_back({delay, reply, false});
    }
    return outputs;
}

// A command after its "AT": what follows the matched name, in capitals and as typed.
struct ModemSimulator::AtArgs
{
    std::string arg;
    std::string typed;
};

std::string ModemSimulator::answer(const std::string& line)
{
    using M = ModemSimulator;
    using Handler = std::string (*)(M&, const AtArgs&);
    enum class Match { Exact, Prefix, Digits };
    struct Row
    {
        const char* name;
        Match match;
        Handler handler;
    };
    static const auto ok = [](M&, const AtArgs&) { return kOK; };
    static const auto restoreEcho = [](M& m, const AtArgs&) { return m.m_echo = m.m_options.echo, kOK; };
    static const auto echoOff = [](M& m, const AtArgs&) { return m.m_echo = false, kOK; };
    static const auto manufacturer = [](M& m, const AtArgs&) { return info(m.m_options.manufacturer); };
    static const auto model = [](M& m, const AtArgs&) { return info(m.m_options.model); };
    static const auto revision = [](M& m, const AtArgs&) { return info(m.m_options.revision); };
    static const auto imei = [](M& m, const AtArgs&) { return info(m.m_options.imei); };
    // The first row that matches answers, so an exact name comes before the prefix it shares.
    static const Row kCommands[] = {
        {"", Match::Exact, ok},
        {"Z", Match::Exact, restoreEcho},
        {"&F", Match::Exact, restoreEcho},
        {"E0", Match::Exact, echoOff},
        {"E", Match::Exact, echoOff},
        {"E1", Match::Exact, [](M& m, const AtArgs&) { return m.m_echo = true, kOK; }},
        {"I", Match::Digits, [](M& m, const AtArgs&) { return m.identity(); }},
        {"+CGMI", Match::Exact, manufacturer},
        {"+GMI", Match::Exact, manufacturer},
        {"+CGMM", Match::Exact, model},
        {"+GMM", Match::Exact, model},
        {"+CGMR", Match::Exact, revision},
        {"+GMR", Match::Exact, revision},
        {"+CGSN", Match::Exact, imei},
        {"+GSN", Match::Exact, imei},
        {"+CIMI", Match::Exact, [](M& m, const AtArgs&) { return info(m.m_options.imsi); }},
        {"+CPIN?", Match::Exact, [](M& m, const AtArgs&) { return info("+CPIN: " + m.m_options.pin); }},
        {"+CSQ", Match::Exact, [](M& m, const AtArgs&) { return m.signalQuality(); }},
        {"+CBC", Match::Exact, [](M& m, const AtArgs&) { return m.batteryCharge(); }},
        {"+CREG?", Match::Exact, [](M& m, const AtArgs&) { return m.registration(); }},
        {"+COPS?", Match::Exact, [](M& m, const AtArgs&) { return m.operatorName(); }},
        {"+CSCA?", Match::Exact, [](M& m, const AtArgs&) { return m.serviceCentre(); }},
        {"+CSCA=", Match::Prefix, [](M& m, const AtArgs& a) { return m.setServiceCentre(a.typed); }},
        {"+CMGF?", Match::Exact,
            [](M& m, const AtArgs&) { return info("+CMGF: " + std::to_string(m.m_mode)); }},
        {"+CMGF=?", Match::Exact,
            [](M& m, const AtArgs&) { return info("+CMGF: " + m.m_options.cmgfOffer); }},
        {"+CMGF=", Match::Prefix, [](M& m, const AtArgs& a) { return m.setFormat(a.arg); }},
        {"+CPMS?", Match::Exact, [](M& m, const AtArgs&) { return info("+CPMS: " + m.memoryStatus(true)); }},
        {"+CPMS=?", Match::Exact,
            [](M& m, const AtArgs&) { return info("+CPMS: " + m.m_options.cpmsOffer); }},
        {"+CPMS=", Match::Prefix, [](M& m, const AtArgs& a) { return m.selectMemories(a.arg); }},
        {"+CNMI=?", Match::Exact,
            [](M& m, const AtArgs&) { return info("+CNMI: " + m.m_options.cnmiOffer); }},
        {"+CNMI?", Match::Exact, [](M& m, const AtArgs&) { return info("+CNMI: " + m.m_cnmi); }},
        {"+CNMI=", Match::Prefix, [](M& m, const AtArgs& a) { return m.m_cnmi = a.arg, kOK; }},
        {"+CSMP=", Match::Prefix, [](M& m, const AtArgs& a) { return m.setParameters(a.arg); }},
        {"+CSMS=?", Match::Exact,
            [](M& m, const AtArgs&) { return info("+CSMS: " + m.m_options.csmsOffer); }},
        {"+CSMS?", Match::Exact,
            [](M& m, const AtArgs&) { return info("+CSMS: " + std::to_string(m.m_service) + ",1,1,1"); }},
        {"+CSMS=", Match::Prefix, [](M& m, const AtArgs& a) { return m.selectService(a.arg); }},
        {"+CNMA", Match::Exact, [](M& m, const AtArgs&) { return m.acknowledge(); }},
        {"+CMEE", Match::Prefix, ok},
        {"+CSCS", Match::Prefix, ok},
        {"&W", Match::Exact, ok},
        {"V1", Match::Exact, ok},
        {"Q0", Match::Exact, ok},
        {"+CMGS=", Match::Prefix, [](M& m, const AtArgs& a) { return m.startSend(a.typed); }},
        {"+CMGL", Match::Prefix, [](M& m, const AtArgs& a) { return m.listing(a); }},
        {"+CMGR=", Match::Prefix, [](M& m, const AtArgs& a) { return m.readOne(a.arg); }},
        {"+CMGD=?", Match::Exact, [](M& m, const AtArgs&) { return m.deleteRange(); }},
        {"+CMGD=", Match::Prefix, [](M& m, const AtArgs& a) { return m.deleteEntries(a.arg); }},
    };
    const std::string u = upper(line);
    if (u.rfind("AT", 0) != 0)
        return kError;
    const std::string cmd = u.substr(2);
    for (const auto& row : kCommands) {
        const std::size_t n = std::char_traits<char>::length(row.name);
        const bool matched = row.match == Match::Exact ? cmd == row.name
                                                       : cmd.rfind(row.name, 0) == 0
                && (row.match == Match::Prefix
                    || cmd.find_first_not_of("0123456789", n) == std::string::npos);
        if (matched)
            return row.handler(*this, {cmd.substr(n), line.substr(2 + n)});
    }
    return kError;
}

std::string ModemSimulator::identity() const
{
    return info(m_options.manufacturer + "\r\n" + m_options.model + "\r\nRevision: " + m_options.revision);
}

std::string ModemSimulator::signalQuality() const
{
    return info("+CSQ: " + std::to_string(m_options.signal) + "," + std::to_string(m_options.ber));
}

std::string ModemSimulator::batteryCharge() const
{
    if (m_options.battery < 0)
        return kError;
    return info("+CBC: " + std::to_string(m_options.chargeState) + "," + std::to_string(m_options.battery));
}

std::string ModemSimulator::registration() const
{
    return info("+CREG: " + std::to_string(m_options.cregMode) + "," + std::to_string(m_options.creg));
}

std::string ModemSimulator::operatorName() const
{
    if (m_options.copsFormat == "none")
        return info("+COPS: 0");
    if (m_options.copsFormat == "2")
        return info("+COPS: 0,2,\"" + m_options.numeric + "\",0");
    return info("+COPS: 0,0,\"" + m_options.network + "\",0");
}

std::string ModemSimulator::serviceCentre() const
{
    const std::string& smsc = m_options.smsc;
    return info("+CSCA: \"" + smsc + "\"," + (smsc.rfind("+", 0) == 0 ? "145" : "129"));
}

std::string ModemSimulator::setServiceCentre(const std::string& typed)
{
    m_options.smsc = unquote(splitComma(typed).front());
    return kOK;
}

std::string ModemSimulator::setFormat(const std::string& arg)
{
    const auto v = number(arg);
    if (!v || (*v != 0 && *v != 1) || (*v == 1 && !m_options.textModeAllowed))
        return kError;
    m_mode = *v;
    return kOK;
}

std::string ModemSimulator::setParameters(const std::string& arg)
{
    if (auto fo = number(splitComma(arg).front()))
        m_textFirstOctet = *fo;
    return kOK;
}

std::string ModemSimulator::startSend(const std::string& typed)
{
    if (!m_refuseSend.empty())
        return m_refuseSend;
    if (m_options.full == "error322" && memoryFull(m_options.reportMemory))
        return cmsError(322);
    const std::string target = trim(typed);
    if (m_mode == 1 && (target.size() < 2 || target.front() != '"'))
        return cmsError(304);
    if (m_mode == 0 && !number(target))
        return cmsError(304);
    m_inBody = true;
    m_bodyTarget = m_mode == 1 ? unquote(splitComma(target).front()) : target;
    m_body.clear();
    switch (std::exchange(m_sendFault, SendFault::None)) {
    case SendFault::Silent: // in message entry, and deaf for a while
        m_silentUntil = m_now() + std::chrono::seconds(m_sendFaultSeconds);
        return {};
    case SendFault::Reboot:
        reboot(false);
        return {};
    case SendFault::RebootKeepingEntry:
        reboot(true);
        return {};
    case SendFault::None:
        break;
    }
    return "\r\n> ";
}

std::string ModemSimulator::deleteRange()
{
    return info("+CMGD: (1-" + std::to_string(memory(m_mem[0]).capacity) + "),(0-4)");
}

std::string ModemSimulator::deleteEntries(const std::string& arg)
{
    if (m_holdDelete)
        return {}; // a delete that never happens and is never answered
    const auto args = splitComma(arg);
    const auto index = number(args[0]);
    const int flag = args.size() > 1 ? number(args[1]).value_or(0) : 0;
    auto& mem = memory(m_mem[0]);
    if (flag == 4) {
        mem.entries.clear();
        return kOK;
    }
    if (!index || mem.entries.erase(*index) == 0)
        return cmsError(321);
    return kOK;
}

std::string ModemSimulator::memoryStatus(bool withNames) const
{
    std::string out;
    for (int g = 0; g < m_options.cpmsGroups; ++g) {
        const auto it = m_memories.find(m_mem[g]);
        const int used = it == m_memories.end() ? 0 : static_cast<int>(it->second.entries.size());
        const int total = it == m_memories.end() ? 0 : it->second.capacity;
        if (!out.empty())
            out += ",";
        if (withNames)
            out += "\"" + m_mem[g] + "\",";
        out += std::to_string(used) + "," + std::to_string(total);
    }
    return out;
}

std::string ModemSimulator::selectMemories(const std::string& argument)
{
    const auto names = splitComma(argument);
    if (names.size() > 3)
        return cmsError(302);
    std::string chosen[3] = {m_mem[0], m_mem[1], m_mem[2]};
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string name = unquote(names[i]);
        if (name.empty())
            continue;
        if (!knownMemory(name))
            return cmsError(302);
        chosen[i] = name;
    }
    for (int i = 0; i < 3; ++i)
        m_mem[i] = chosen[i];
    return info("+CPMS: " + memoryStatus(false));
}

std::string ModemSimulator::entryText(int index, const Entry& entry, bool header, const char* prefix) const
{
    const std::string listPrefix = std::string(prefix) + " ";
    if (m_mode == 0) {
        const auto unit = decodeStored(entry.pdu);
        const auto octets = fromHex(entry.pdu);
        int length = unit ? unit->tpduOctets
                          : (octets.empty() ? 0 : static_cast<int>(octets.size()) - 1 - octets[0]);
        if (entry.listedLength >= 0)
            length = entry.listedLength;
        return listPrefix + (header ? std::to_string(index) + "," : "") + std::to_string(entry.stat) + ",,"
            + std::to_string(length) + "\r\n" + entry.pdu;
    }
    const auto unit = decodeStored(entry.pdu);
    if (!unit)
        return {};
    const std::string head
        = listPrefix + (header ? std::to_string(index) + "," : "") + "\"" + kStatNames[entry.stat] + "\",";
    if (unit->type == 2)
        return head + std::to_string(unit->firstOctet) + "," + std::to_string(unit->reference) + ",\""
            + unit->address + "\"," + std::to_string(unit->typeOfAddress) + ",\"" + textDate(unit->stamp)
            + "\",\"" + textDate(unit->discharge) + "\"," + std::to_string(unit->status);
    if (unit->type == 0)
        return head + "\"" + unit->address + "\",,\"" + textDate(unit->stamp) + "\"\r\n" + unit->text;
    return head + "\"" + unit->address + "\",\r\n" + unit->text;
}

// AT+CMGL lists the unread entries unless "=" names others.
std::string ModemSimulator::listing(const AtArgs& command)
{
    const bool named = !command.arg.empty() && command.arg[0] == '=';
    const std::string arg
        = upper(trim(named ? command.typed.substr(1) : std::string(m_mode == 1 ? "\"REC UNREAD\"" : "0")));
    int wanted = -1; // every entry
    if (m_mode == 1) {
        if (arg.size() < 2 || arg.front() != '"')
            return kError;
        const std::string name = unquote(arg);
        if (name != "ALL") {
            const auto it = std::find(std::begin(kStatNames), std::end(kStatNames), name);
            if (it == std::end(kStatNames))
                return kError;
            wanted = static_cast<int>(it - std::begin(kStatNames));
        }
    } else {
        const auto v = number(arg);
        if (!v || *v < 0 || *v > 4)
            return kError;
        wanted = *v == 4 ? -1 : *v;
    }
    std::string out;
    for (auto& [index, entry] : memory(m_mem[0]).entries) {
        if (wanted >= 0 && entry.stat != wanted)
            continue;
        std::string text = entryText(index, entry, true, "+CMGL:");
        if (text.empty())
            continue;
        if (m_mode == 0 && entry.pdu.empty())
            text.resize(text.size() - 2); // an empty entry: its header and nothing more
        out += "\r\n" + text;
        if (entry.stat == 0)
            entry.stat = 1;
    }
    return out + (out.empty() ? "" : "\r\n") + kOK;
}

std::string ModemSimulator::readOne(const std::string& argument)
{
    const auto index = number(argument);
    auto& mem = memory(m_mem[0]);
    if (!index)
        return cmsError(321);
    auto it = mem.entries.find(*index);
    if (it == mem.entries.end())
        return cmsError(321);
    const std::string text = entryText(*index, it->second, false, "+CMGR:");
    if (it->second.stat == 0)
        it->second.stat = 1;
    return info(text);
}

bool ModemSimulator::store(
    const std::string& name, const std::string& pdu, int stat, std::string& error, Announce announce)
{
    auto& mem = memory(name);
    if (static_cast<int>(mem.entries.size()) >= mem.capacity) {
        error = name + " memory full";
        return false;
    }
    int index = 1;
    while (mem.entries.count(index))
        ++index;
    mem.entries[index] = Entry {stat, pdu};
    // Announced as AT+CNMI asks: mode 1 or more, and messages (mt 1) or reports (ds 1 or 2).
    const auto cnmi = splitComma(m_cnmi);
    auto value = [&](std::size_t i) { return i < cnmi.size() ? number(cnmi[i]).value_or(0) : 0; };
    const std::string where = "\"" + name + "\"," + std::to_string(index);
    if (value(0) >= 1 && announce == Announce::Message && value(1) == 1)
        m_unsolicited.push_back("\r\n+CMTI: " + where + "\r\n");
    if (value(0) >= 1 && announce == Announce::Report && (value(3) == 1 || value(3) == 2))
        m_unsolicited.push_back("\r\n+CDSI: " + where + "\r\n");
    return true;
}

void ModemSimulator::recordAir(const SentUnit& sent)
{
    m_sent.push_back(sent);
    const auto& u = sent.unit;
    if (u.concatTotal <= 1) {
        m_air.push_back({u.destination, u.text, 1});
        return;
    }
    const std::string key
        = u.destination + "/" + std::to_string(u.concatReference) + "/" + std::to_string(u.concatTotal);
    auto& parts = m_partial[key];
    parts[u.concatSequence] = u.text;
    if (static_cast<int>(parts.size()) == u.concatTotal) {
        std::string text;
        for (const auto& [seq, piece] : parts)
            text += piece;
        m_air.push_back({u.destination, text, u.concatTotal});
        m_partial.erase(key);
    }
}

std::string ModemSimulator::sendBody(const std::string& body)
{
    SentUnit sent;
    if (m_mode == 1) {
        sent.textMode = true;
        sent.unit.destination = m_bodyTarget;
        sent.unit.text = body;
        sent.unit.reportRequested = (m_textFirstOctet & 0x20) != 0;
    } else {
        std::string reason;
        const std::string hex = trim(body);
        auto unit = decodeSubmit(hex, &reason);
        if (!unit)
            return cmsError(304);
        if (std::to_string(unit->tpduOctets) != trim(m_bodyTarget))
            return cmsError(304); // the length given with the command does not match the unit
        sent.unit = *unit;
    }
    sent.reference = m_nextReference;
    m_nextReference = (m_nextReference + 1) % 256;
    recordAir(sent);
    if (m_options.reports && sent.unit.reportRequested) {
        m_pending.push_back({m_now() + std::chrono::milliseconds(m_options.reportDelayMs), sent.reference,
            sent.unit.destination, stampNow()});
        ++m_counters.reportsMade;
    }
    tick();
    return "\r\n+CMGS: " + std::to_string(sent.reference) + "\r\n\r\nOK\r\n";
}

void ModemSimulator::tick()
{
    const auto now = m_now();
    if (m_ackDue && now >= *m_ackDue) {
        // No acknowledgement in time: the unit goes back to the network and routing is off.
        auto cnmi = splitComma(m_cnmi);
        cnmi.resize(std::max<std::size_t>(cnmi.size(), 5), "0");
        cnmi[1] = cnmi[3] = "0";
        m_cnmi.clear();
        for (const auto& v : cnmi)
            m_cnmi += (m_cnmi.empty() ? "" : ",") + v;
        m_unacknowledged->due = now + std::chrono::milliseconds(m_options.retryMs);
        m_network.push_back(*m_unacknowledged);
        m_unacknowledged.reset();
        m_ackDue.reset();
        ++m_counters.reportsReturned;
        m_transcript.push_back("<no acknowledgement: routing off>");
    }
    std::string error;
    for (auto it = m_pending.begin(); it != m_pending.end();) {
        if (it->due > now) {
            ++it;
            continue;
        }
        const std::string pdu = encodeStatusReport(
            m_options.smsc, it->reference, it->recipient, it->sent, stampNow(), m_options.reportStatus);
        it = m_pending.erase(it);
        arrive(true, m_options.reportMemory, pdu, error);
    }
    std::vector<NetworkUnit> due;
    for (auto it = m_network.begin(); it != m_network.end();) {
        if (it->due <= now) {
            due.push_back(std::move(*it));
            it = m_network.erase(it);
        } else {
            ++it;
        }
    }
    for (const auto& unit : due)
        arrive(unit.report, unit.memory, unit.pdu, error);
}

std::optional<ModemSimulator::TimePoint> ModemSimulator::nextDue() const
{
    std::optional<TimePoint> next = m_ackDue;
    for (const auto& p : m_pending)
        if (!next || p.due < *next)
            next = p.due;
    for (const auto& n : m_network)
        if (!next || n.due < *next)
            next = n.due;
    return next;
}

int ModemSimulator::cnmiValue(std::size_t index) const
{
    const auto cnmi = splitComma(m_cnmi);
    return index < cnmi.size() ? number(cnmi[index]).value_or(0) : 0;
}

bool ModemSimulator::memoryFull(const std::string& name)
{
    const auto& mem = memory(name);
    return static_cast<int>(mem.entries.size()) >= mem.capacity;
}

bool ModemSimulator::arrive(bool report, const std::string& name, const std::string& pdu, std::string& error)
{
    const auto later = [&] {
        m_network.push_back({m_now() + std::chrono::milliseconds(m_options.retryMs), report, name, pdu});
    };
    if (report && cnmiValue(3) == 1) {
        if (m_unacknowledged) { // the modem hands over one unit at a time while it waits
            m_network.push_back({m_now() + std::chrono::milliseconds(20), report, name, pdu});
            return true;
        }
        const auto octets = fromHex(pdu);
        const int length = octets.empty() ? 0 : static_cast<int>(octets.size()) - 1 - octets[0];
        m_unsolicited.push_back("\r\n+CDS: " + std::to_string(length) + "\r\n" + pdu + "\r\n");
        if (m_service == 1) {
            m_unacknowledged = NetworkUnit {{}, report, name, pdu};
            m_ackDue = m_now() + std::chrono::milliseconds(m_options.ackTimeoutMs);
        } else {
            ++m_counters.reportsRouted;
        }
        return true;
    }
    if (store(name, pdu, 0, error, report ? Announce::Report : Announce::Message)) {
        ++(report ? m_counters.reportsStored : m_counters.inboundStored);
        return true;
    }
    if (m_options.full != "drop") {
        later();
        return true;
    }
    ++(report ? m_counters.reportsDropped : m_counters.inboundDropped);
    return false;
}

std::string ModemSimulator::selectService(const std::string& arg)
{
    const auto v = number(arg);
    const std::string offer = m_options.csmsOffer;
    if (!v || (*v != 0 && *v != 1) || offer.find(std::to_string(*v)) == std::string::npos)
        return cmsError(303);
    m_service = *v;
    return info("+CSMS: 1,1,1");
}

std::string ModemSimulator::acknowledge()
{
    if (!m_unacknowledged)
        return cmsError(340);
    m_unacknowledged.reset();
    m_ackDue.reset();
    ++m_counters.reportsRouted;
    return kOK;
}

std::string ModemSimulator::countersText() const
{
    const SimCounters& c = m_counters;
    return "reports made=" + std::to_string(c.reportsMade) + " stored=" + std::to_string(c.reportsStored)
        + " routed=" + std::to_string(c.reportsRouted) + " dropped=" + std::to_string(c.reportsDropped)
        + " returned=" + std::to_string(c.reportsReturned) + " waiting=" + std::to_string(m_network.size())
        + "\ninbound made=" + std::to_string(c.inboundMade) + " stored=" + std::to_string(c.inboundStored)
        + " dropped=" + std::to_string(c.inboundDropped) + "\n";
}

// A control line after its first word; commands take from it word by word.
struct ModemSimulator::ControlArgs
{
    std::string verb;
    std::string rest;

    std::string word()
    {
        const auto space = rest.find(' ');
        std::string w = rest.substr(0, space);
        rest = space == std::string::npos ? std::string() : trim(rest.substr(space));
        return w;
    }
    // "@MEM" first names the memory instead of `target`; false for a memory that does not exist.
    bool memory(std::string& target)
    {
        if (rest.rfind("@", 0) == 0) {
            const auto space = rest.find(' ');
            target = upper(rest.substr(1, space == std::string::npos ? std::string::npos : space - 1));
            rest = space == std::string::npos ? std::string() : trim(rest.substr(space));
        }
        return knownMemory(target);
    }
};

namespace {

std::string done(const std::string& lines = {})
{
    return lines + "OK\n";
}

std::string refused(const std::string& reason)
{
    return "ERROR " + reason + "\n";
}

} // namespace

std::string ModemSimulator::control(const std::string& rawLine)
{
    using M = ModemSimulator;
    using A = ControlArgs;
    struct Row
    {
        const char* name;
        int helpLine; // the line of "help" that shows the usage; 0: not shown
        const char* usage;
        std::string (*handler)(M&, A&); // none for "help", which lists this table
    };
    static const Row kControls[] = {
        {"deliver", 1, "deliver [@MEM] FROM TEXT", [](M& m, A& a) { return m.deliverText(a); }},
        {"deliver-pdu", 1, "deliver-pdu [@MEM] [STAT] HEX", [](M& m, A& a) { return m.storeUnit(a, false); }},
        {"report", 1, "report [@MEM] REF RECIPIENT STATUS", [](M& m, A& a) { return m.storeReport(a); }},
        {"deliver-bad", 2, "deliver-bad truncated|length|reserved|empty",
            [](M& m, A& a) {
                std::string error;
                return m.deliverBad(a.rest, error) ? done() : refused(error);
            }},
        {"set", 3, "set KEY VALUE", [](M& m, A& a) { return m.setByName(a); }},
        {"options", 3, "options", [](M& m, A&) { return done(m.modemState()); }},
        {"fault", 3,
            "fault slow MS|split MS|silent [S]|silent-on-send S|reboot [keep-entry]|reboot-on-send "
            "[keep-entry]|flood N [held|free|final]|error [TEXT]|cms N|cme N|refuse-send [N]|send-error N|"
            "drop|hold-delete|clear",
            [](M& m, A& a) {
                const std::string kind = a.word();
                const std::string why = m.fault(kind, a.rest);
                return why.empty() ? done() : refused(why);
            }},
        {"reply", 4, "reply COMMAND TEXT", [](M& m, A& a) { return m.setReply(a); }},
        {"unreply", 4, "unreply COMMAND",
            [](M& m, A& a) { return m.m_replies.erase(upper(a.rest)), done(); }},
        {"sent", 4, "sent", [](M& m, A&) { return done(m.sentRecords()); }},
        {"messages", 4, "messages", [](M& m, A&) { return done(m.airRecords()); }},
        {"transcript", 4, "transcript", [](M& m, A&) { return done(m.transcriptLines()); }},
        {"counters", 4, "counters", [](M& m, A&) { return done(m.countersText()); }},
        {"memory", 4, "memory MEM", [](M& m, A& a) { return m.memoryEntries(a.rest); }},
        {"clear", 4, "clear", [](M& m, A&) { return m.clearRecords(); }},
        {"quit", 4, "quit", [](M& m, A&) { return m.m_quit = true, done(); }},
        {"report-pdu", 0, "", [](M& m, A& a) { return m.storeUnit(a, true); }},
        {"ping", 0, "", [](M&, A&) { return done("pong\n"); }},
        {"", 0, "", [](M&, A&) { return done("pong\n"); }},
        {"help", 0, "", nullptr},
    };
    static const std::string kHelp = [] {
        std::string help;
        for (int line = 1; line <= 4; ++line) {
            std::string text;
            for (const auto& row : kControls)
                if (row.helpLine == line)
                    text += (text.empty() ? "" : " | ") + std::string(row.usage);
            help += text + "\n";
        }
        return help;
    }();
    std::istringstream in(rawLine);
    ControlArgs args;
    in >> args.verb;
    std::getline(in, args.rest);
    args.rest = trim(args.rest);
    for (const auto& row : kControls)
        if (args.verb == row.name)
            return row.handler ? row.handler(*this, args) : done(kHelp);
    return refused("unknown control command " + args.verb + " (try help)");
}

std::string ModemSimulator::deliverText(ControlArgs& args)
{
    std::string mem = m_options.inboundMemory;
    if (!args.memory(mem))
        return refused("no memory called " + mem);
    const std::string from = args.word();
    if (from.empty())
        return refused("deliver needs an originator");
    auto units
        = encodeDeliverParts(m_options.smsc, from, unescapeText(args.rest), stampNow(), m_inboundReference);
    if (units.size() > 1) {
        m_inboundReference = (m_inboundReference + 1) % 256;
        if (m_options.missingPart >= 1 && static_cast<std::size_t>(m_options.missingPart) <= units.size())
            units.erase(units.begin() + (m_options.missingPart - 1));
        if (m_options.partsReversed)
            std::reverse(units.begin(), units.end());
    }
    std::string error;
    for (const auto& unit : units) {
        ++m_counters.inboundMade;
        if (!arrive(false, mem, unit, error))
            return refused(error);
    }
    return done("stored " + std::to_string(units.size()) + "\n");
}

// A unit stored verbatim, so captures from a real network replay as they were.
std::string ModemSimulator::storeUnit(ControlArgs& args, bool report)
{
    std::string mem = report ? m_options.reportMemory : m_options.inboundMemory;
    if (!args.memory(mem))
        return refused("no memory called " + mem);
    int stat = 0;
    std::string hex = args.word();
    if (!args.rest.empty()) {
        stat = std::clamp(number(hex).value_or(0), 0, 3);
        hex = args.word();
    }
    if (hex.empty())
        return refused(args.verb + " needs the unit in hex");
    std::string error;
    if (!store(mem, hex, stat, error, Announce::Message))
        return refused(error);
    return done();
}

std::string ModemSimulator::storeReport(ControlArgs& args)
{
    std::string mem = m_options.reportMemory;
    if (!args.memory(mem))
        return refused("no memory called " + mem);
    const auto ref = number(args.word());
    const std::string recipient = args.word();
    const auto status = number(args.word());
    if (!ref || recipient.empty() || !status)
        return refused("report needs REF RECIPIENT STATUS");
    std::string error;
    ++m_counters.reportsMade;
    if (!arrive(true, mem,
            encodeStatusReport(m_options.smsc, *ref, recipient, stampNow(), stampNow(), *status), error))
        return refused(error);
    return done();
}

std::string ModemSimulator::setByName(ControlArgs& args)
{
    const std::string key = args.word();
    std::string error;
    if (!setOption(m_options, key, unescapeText(args.rest), error))
        return refused(error);
    for (const auto& [name, size] : m_options.capacity)
        m_memories[name].capacity = size;
    return done();
}

std::string ModemSimulator::setReply(ControlArgs& args)
{
    const std::string cmd = upper(args.word());
    if (cmd.empty())
        return refused("reply needs a command");
    m_replies[cmd] = unescapeText(args.rest);
    return done();
}

std::string ModemSimulator::modemState() const
{
    return "echo " + std::to_string(m_echo) + "\nmode " + std::to_string(m_mode) + "\nmemories " + m_mem[0]
        + "," + m_mem[1] + "," + m_mem[2] + "\ncnmi " + m_cnmi + "\n";
}

std::string ModemSimulator::sentRecords() const
{
    std::string out;
    for (const auto& s : m_sent) {
        const auto& u = s.unit;
        out += "unit ref=" + std::to_string(s.reference) + " to=" + u.destination
            + " report=" + (u.reportRequested ? "1" : "0") + " part=" + std::to_string(u.concatSequence) + "/"
            + std::to_string(u.concatTotal) + " length=" + std::to_string(u.userDataLength)
            + " udh=" + (u.udhHex.empty() ? "-" : u.udhHex) + " mode=" + (s.textMode ? "text" : "pdu")
            + " text=" + escapeText(u.text) + "\n";
    }
    return out;
}

std::string ModemSimulator::airRecords() const
{
    std::string out;
    for (const auto& m : m_air)
        out += "message to=" + m.to + " parts=" + std::to_string(m.parts) + " text=" + escapeText(m.text)
            + "\n";
    return out;
}

std::string ModemSimulator::transcriptLines() const
{
    std::string out;
    for (const auto& t : m_transcript)
        out += escapeText(t) + "\n";
    return out;
}

std::string ModemSimulator::memoryEntries(const std::string& rest)
{
    const std::string name = upper(rest.empty() ? m_mem[0] : rest);
    if (!knownMemory(name))
        return refused("no memory called " + rest);
    std::string out;
    for (const auto& [index, entry] : memory(name).entries)
        out += "entry index=" + std::to_string(index) + " stat=" + std::to_string(entry.stat)
            + " pdu=" + entry.pdu + "\n";
    return done(out);
}

std::string ModemSimulator::clearRecords()
{
    m_sent.clear();
    m_air.clear();
    m_transcript.clear();
    return done();
}

} // namespace vesk::modemsim
