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
                m.m_silentUntil
                    = seconds ? TimePoint::clock::now() + std::chrono::seconds(*seconds) : TimePoint::max();
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
        {"clear",
            [](ModemSimulator& m, const std::string&) {
                m.m_slowMs = m.m_splitMs = m.m_floodLeft = m.m_floodHeld = 0;
                m.m_silentUntil.reset();
                m.m_sendFault = SendFault::None;
                m.m_errorAll.clear();
                m.m_refuseSend.clear();
                m.m_sendError.clear();
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

std::vector<std::string> optionNames()
{
    return {"manufacturer", "model", "revision", "imei", "imsi", "pin", "signal", "ber", "battery",
        "charge-state", "creg", "creg-mode", "network", "numeric", "cops-format", "smsc", "cmgf-offer",
        "cnmi-offer", "cpms-offer", "cpms-groups", "text-mode", "mode", "echo", "reports", "report-delay",
        "report-status", "report-memory", "inbound-memory", "zone", "first-reference", "sm-size", "me-size",
        "mt-size", "sr-size", "parts-reversed", "missing-part"};
}

bool setOption(SimOptions& o, const std::string& key, const std::string& value, std::string& error)
{
    auto integer = [&](int& target) {
        auto v = number(value);
        if (!v) {
            error = "not a number for " + key + ": " + value;
            return false;
        }
        target = *v;
        return true;
    };
    auto flag = [&](bool& target) {
        const std::string v = upper(value);
        if (v == "1" || v == "ON" || v == "YES" || v == "TRUE")
            target = true;
        else if (v == "0" || v == "OFF" || v == "NO" || v == "FALSE")
            target = false;
        else {
            error = "not on or off for " + key + ": " + value;
            return false;
        }
        return true;
    };
    auto memoryName = [&](std::string& target) {
        const std::string v = upper(value);
        if (!knownMemory(v)) {
            error = "no memory called " + value;
            return false;
        }
        target = v;
        return true;
    };
    if (key == "manufacturer")
        o.manufacturer = value;
    else if (key == "model")
        o.model = value;
    else if (key == "revision")
        o.revision = value;
    else if (key == "imei")
        o.imei = value;
    else if (key == "imsi")
        o.imsi = value;
    else if (key == "pin")
        o.pin = value;
    else if (key == "signal")
        return integer(o.signal);
    else if (key == "ber")
        return integer(o.ber);
    else if (key == "battery")
        return integer(o.battery);
    else if (key == "charge-state")
        return integer(o.chargeState);
    else if (key == "creg")
        return integer(o.creg);
    else if (key == "creg-mode")
        return integer(o.cregMode);
    else if (key == "network")
        o.network = value;
    else if (key == "numeric")
        o.numeric = value;
    else if (key == "cops-format") {
        if (value != "0" && value != "2" && value != "none") {
            error = "cops-format is 0, 2 or none";
            return false;
        }
        o.copsFormat = value;
    } else if (key == "smsc")
        o.smsc = value;
    else if (key == "cmgf-offer")
        o.cmgfOffer = value;
    else if (key == "cnmi-offer")
        o.cnmiOffer = value;
    else if (key == "cpms-offer")
        o.cpmsOffer = value;
    else if (key == "cpms-groups") {
        if (!integer(o.cpmsGroups))
            return false;
        o.cpmsGroups = std::clamp(o.cpmsGroups, 1, 3);
    } else if (key == "text-mode")
        return flag(o.textModeAllowed);
    else if (key == "mode")
        return integer(o.mode);
    else if (key == "echo")
        return flag(o.echo);
    else if (key == "reports")
        return flag(o.reports);
    else if (key == "report-delay")
        return integer(o.reportDelayMs);
    else if (key == "report-status")
        return integer(o.reportStatus);
    else if (key == "report-memory")
        return memoryName(o.reportMemory);
    else if (key == "inbound-memory")
        return memoryName(o.inboundMemory);
    else if (key == "zone")
        return integer(o.zoneQuarters);
    else if (key == "first-reference")
        return integer(o.firstReference);
    else if (key == "parts-reversed")
        return flag(o.partsReversed);
    else if (key == "missing-part")
        return integer(o.missingPart);
    else if (key.size() == 7 && key.substr(2) == "-size" && knownMemory(upper(key.substr(0, 2))))
        return integer(o.capacity[upper(key.substr(0, 2))]);
    else {
        error = "no option called " + key;
        return false;
    }
    return true;
}

ModemSimulator::ModemSimulator(SimOptions options)
    : m_options(std::move(options))
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

std::string ModemSimulator::answer(const std::string& line)
{
    const std::string u = upper(line);
    if (u.rfind("AT", 0) != 0)
        return kError;
    const std::string cmd = u.substr(2);
    const std::string original = line.substr(2);
    const auto& o = m_options;
    if (cmd.empty() || cmd == "Z" || cmd == "&F") {
        if (!cmd.empty())
            m_echo = o.echo;
        return kOK;
    }
    if (cmd == "E0" || cmd == "E") {
        m_echo = false;
        return kOK;
    }
    if (cmd == "E1") {
        m_echo = true;
        return kOK;
    }
    if (cmd.rfind("I", 0) == 0 && cmd.find_first_not_of("0123456789", 1) == std::string::npos)
        return info(o.manufacturer + "\r\n" + o.model + "\r\nRevision: " + o.revision);
    if (cmd == "+CGMI" || cmd == "+GMI")
        return info(o.manufacturer);
    if (cmd == "+CGMM" || cmd == "+GMM")
        return info(o.model);
    if (cmd == "+CGMR" || cmd == "+GMR")
        return info(o.revision);
    if (cmd == "+CGSN" || cmd == "+GSN")
        return info(o.imei);
    if (cmd == "+CIMI")
        return info(o.imsi);
    if (cmd == "+CPIN?")
        return info("+CPIN: " + o.pin);
    if (cmd == "+CSQ")
        return info("+CSQ: " + std::to_string(o.signal) + "," + std::to_string(o.ber));
    if (cmd == "+CBC")
        return o.battery < 0
            ? kError
            : info("+CBC: " + std::to_string(o.chargeState) + "," + std::to_string(o.battery));
    if (cmd == "+CREG?")
        return info("+CREG: " + std::to_string(o.cregMode) + "," + std::to_string(o.creg));
    if (cmd == "+COPS?") {
        if (o.copsFormat == "none")
            return info("+COPS: 0");
        if (o.copsFormat == "2")
            return info("+COPS: 0,2,\"" + o.numeric + "\",0");
        return info("+COPS: 0,0,\"" + o.network + "\",0");
    }
    if (cmd == "+CSCA?")
        return info("+CSCA: \"" + o.smsc + "\"," + (o.smsc.rfind("+", 0) == 0 ? "145" : "129"));
    if (cmd.rfind("+CSCA=", 0) == 0) {
        m_options.smsc = unquote(splitComma(original.substr(6)).front());
        return kOK;
    }
    if (cmd == "+CMGF?")
        return info("+CMGF: " + std::to_string(m_mode));
    if (cmd == "+CMGF=?")
        return info("+CMGF: " + o.cmgfOffer);
    if (cmd.rfind("+CMGF=", 0) == 0) {
        const auto v = number(cmd.substr(6));
        if (!v || (*v != 0 && *v != 1) || (*v == 1 && !o.textModeAllowed))
            return kError;
        m_mode = *v;
        return kOK;
    }
    if (cmd == "+CPMS?")
        return info("+CPMS: " + memoryStatus(true));
    if (cmd == "+CPMS=?")
        return info("+CPMS: " + o.cpmsOffer);
    if (cmd.rfind("+CPMS=", 0) == 0)
        return selectMemories(cmd.substr(6));
    if (cmd == "+CNMI=?")
        return info("+CNMI: " + o.cnmiOffer);
    if (cmd == "+CNMI?")
        return info("+CNMI: " + m_cnmi);
    if (cmd.rfind("+CNMI=", 0) == 0) {
        m_cnmi = cmd.substr(6);
        return kOK;
    }
    if (cmd.rfind("+CSMP=", 0) == 0) {
        if (auto fo = number(splitComma(cmd.substr(6)).front()))
            m_textFirstOctet = *fo;
        return kOK;
    }
    if (cmd.rfind("+CMEE", 0) == 0 || cmd.rfind("+CSCS", 0) == 0 || cmd == "&W" || cmd == "V1" || cmd == "Q0")
        return kOK;
    if (cmd.rfind("+CMGS=", 0) == 0) {
        if (!m_refuseSend.empty())
            return m_refuseSend;
        const std::string target = trim(original.substr(6));
        if (m_mode == 1 && (target.size() < 2 || target.front() != '"'))
            return cmsError(304);
        if (m_mode == 0 && !number(target))
            return cmsError(304);
        m_inBody = true;
        m_bodyTarget = m_mode == 1 ? unquote(splitComma(target).front()) : target;
        m_body.clear();
        switch (std::exchange(m_sendFault, SendFault::None)) {
        case SendFault::Silent: // in message entry, and deaf for a while
            m_silentUntil = TimePoint::clock::now() + std::chrono::seconds(m_sendFaultSeconds);
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
    if (cmd.rfind("+CMGL", 0) == 0)
        return listing(cmd.size() > 5 && cmd[5] == '=' ? original.substr(6)
                                                       : std::string(m_mode == 1 ? "\"REC UNREAD\"" : "0"));
    if (cmd.rfind("+CMGR=", 0) == 0)
        return readOne(cmd.substr(6));
    if (cmd == "+CMGD=?")
        return info("+CMGD: (1-" + std::to_string(memory(m_mem[0]).capacity) + "),(0-4)");
    if (cmd.rfind("+CMGD=", 0) == 0) {
        const auto args = splitComma(cmd.substr(6));
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
    return kError;
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

std::string ModemSimulator::listing(const std::string& argument)
{
    const std::string arg = upper(trim(argument));
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
    if (m_options.reports && sent.unit.reportRequested)
        m_pending.push_back(
            {std::chrono::steady_clock::now() + std::chrono::milliseconds(m_options.reportDelayMs),
                sent.reference, sent.unit.destination, stampNow()});
    tick();
    return "\r\n+CMGS: " + std::to_string(sent.reference) + "\r\n\r\nOK\r\n";
}

void ModemSimulator::tick()
{
    const auto now = std::chrono::steady_clock::now();
    for (auto it = m_pending.begin(); it != m_pending.end();) {
        if (it->due > now) {
            ++it;
            continue;
        }
        std::string error;
        store(m_options.reportMemory,
            encodeStatusReport(
                m_options.smsc, it->reference, it->recipient, it->sent, stampNow(), m_options.reportStatus),
            0, error, Announce::Report);
        it = m_pending.erase(it);
    }
}

std::optional<ModemSimulator::TimePoint> ModemSimulator::nextDue() const
{
    std::optional<TimePoint> next;
    for (const auto& p : m_pending)
        if (!next || p.due < *next)
            next = p.due;
    return next;
}

std::string ModemSimulator::control(const std::string& rawLine)
{
    std::istringstream in(rawLine);
    std::string verb;
    in >> verb;
    std::string rest;
    std::getline(in, rest);
    rest = trim(rest);
    std::string out;
    std::string error;
    auto takeMemory = [&](std::string& target) {
        if (rest.rfind("@", 0) == 0) {
            const auto space = rest.find(' ');
            target = upper(rest.substr(1, space == std::string::npos ? std::string::npos : space - 1));
            rest = space == std::string::npos ? std::string() : trim(rest.substr(space));
        }
        return knownMemory(target);
    };
    auto firstWord = [&]() {
        const auto space = rest.find(' ');
        std::string word = rest.substr(0, space);
        rest = space == std::string::npos ? std::string() : trim(rest.substr(space));
        return word;
    };
    if (verb.empty() || verb == "ping") {
        return "pong\nOK\n";
    } else if (verb == "help") {
        return "deliver [@MEM] FROM TEXT | deliver-pdu [@MEM] [STAT] HEX | report [@MEM] REF RECIPIENT "
               "STATUS\n"
               "deliver-bad truncated|length|reserved|empty\n"
               "set KEY VALUE | options | fault slow MS|split MS|silent [S]|silent-on-send S|reboot "
               "[keep-entry]|"
               "reboot-on-send [keep-entry]|flood N [held|free|final]|error [TEXT]|cms N|cme N|refuse-send "
               "[N]|send-error N|drop|clear\n"
               "reply COMMAND TEXT | unreply COMMAND | sent | messages | transcript | memory MEM | clear | "
               "quit\nOK\n";
    } else if (verb == "deliver") {
        std::string mem = m_options.inboundMemory;
        if (!takeMemory(mem))
            return "ERROR no memory called " + mem + "\n";
        const std::string from = firstWord();
        if (from.empty())
            return "ERROR deliver needs an originator\n";
        auto units
            = encodeDeliverParts(m_options.smsc, from, unescapeText(rest), stampNow(), m_inboundReference);
        if (units.size() > 1) {
            m_inboundReference = (m_inboundReference + 1) % 256;
            if (m_options.missingPart >= 1 && static_cast<std::size_t>(m_options.missingPart) <= units.size())
                units.erase(units.begin() + (m_options.missingPart - 1));
            if (m_options.partsReversed)
                std::reverse(units.begin(), units.end());
        }
        for (const auto& unit : units)
            if (!store(mem, unit, 0, error, Announce::Message))
                return "ERROR " + error + "\n";
        out += "stored " + std::to_string(units.size()) + "\n";
    } else if (verb == "deliver-pdu" || verb == "report-pdu") {
        const bool report = verb == "report-pdu";
        std::string mem = report ? m_options.reportMemory : m_options.inboundMemory;
        if (!takeMemory(mem))
            return "ERROR no memory called " + mem + "\n";
        int stat = 0;
        std::string hex = firstWord();
        if (!rest.empty()) {
            stat = std::clamp(number(hex).value_or(0), 0, 3);
            hex = firstWord();
        }
        if (hex.empty())
            return "ERROR " + verb + " needs the unit in hex\n";
        if (!store(
                mem, hex, stat, error, Announce::Message)) // verbatim, so real captures replay as they were
            return "ERROR " + error + "\n";
    } else if (verb == "report") {
        std::string mem = m_options.reportMemory;
        if (!takeMemory(mem))
            return "ERROR no memory called " + mem + "\n";
        const auto ref = number(firstWord());
        const std::string recipient = firstWord();
        const auto status = number(firstWord());
        if (!ref || recipient.empty() || !status)
            return "ERROR report needs REF RECIPIENT STATUS\n";
        if (!store(mem, encodeStatusReport(m_options.smsc, *ref, recipient, stampNow(), stampNow(), *status),
                0, error, Announce::Report))
            return "ERROR " + error + "\n";
    } else if (verb == "set") {
        const std::string key = firstWord();
        if (!setOption(m_options, key, unescapeText(rest), error))
            return "ERROR " + error + "\n";
        for (const auto& [name, size] : m_options.capacity)
            m_memories[name].capacity = size;
    } else if (verb == "options") {
        out += "echo " + std::to_string(m_echo) + "\nmode " + std::to_string(m_mode) + "\nmemories "
            + m_mem[0] + "," + m_mem[1] + "," + m_mem[2] + "\ncnmi " + m_cnmi + "\n";
    } else if (verb == "fault") {
        const std::string kind = firstWord();
        if (const std::string refused = fault(kind, rest); !refused.empty())
            return "ERROR " + refused + "\n";
    } else if (verb == "deliver-bad") {
        if (!deliverBad(rest, error))
            return "ERROR " + error + "\n";
    } else if (verb == "reply") {
        const std::string cmd = upper(firstWord());
        if (cmd.empty())
            return "ERROR reply needs a command\n";
        m_replies[cmd] = unescapeText(rest);
    } else if (verb == "unreply") {
        m_replies.erase(upper(rest));
    } else if (verb == "sent") {
        for (const auto& s : m_sent) {
            const auto& u = s.unit;
            out += "unit ref=" + std::to_string(s.reference) + " to=" + u.destination
                + " report=" + (u.reportRequested ? "1" : "0") + " part=" + std::to_string(u.concatSequence)
                + "/" + std::to_string(u.concatTotal) + " length=" + std::to_string(u.userDataLength)
                + " udh=" + (u.udhHex.empty() ? "-" : u.udhHex) + " mode=" + (s.textMode ? "text" : "pdu")
                + " text=" + escapeText(u.text) + "\n";
        }
    } else if (verb == "messages") {
        for (const auto& m : m_air)
            out += "message to=" + m.to + " parts=" + std::to_string(m.parts) + " text=" + escapeText(m.text)
                + "\n";
    } else if (verb == "transcript") {
        for (const auto& t : m_transcript)
            out += escapeText(t) + "\n";
    } else if (verb == "memory") {
        const std::string name = upper(rest.empty() ? m_mem[0] : rest);
        if (!knownMemory(name))
            return "ERROR no memory called " + rest + "\n";
        for (const auto& [index, entry] : memory(name).entries)
            out += "entry index=" + std::to_string(index) + " stat=" + std::to_string(entry.stat)
                + " pdu=" + entry.pdu + "\n";
    } else if (verb == "clear") {
        m_sent.clear();
        m_air.clear();
        m_transcript.clear();
    } else if (verb == "quit") {
        m_quit = true;
    } else {
        return "ERROR unknown control command " + verb + " (try help)\n";
    }
    return out + "OK\n";
}

} // namespace vesk::modemsim
