// The machine settings table: for each key its section, name, default, the property it feeds, the
// text form it is written in and the dialog control that shows it. Loading, saving and the
// configuration dialog all walk this one table.
#include "core/CConfig.h"
#include "core/ConsoleApp.h"
#include "support/Convert.h"

#include <algorithm>
#include <functional>
#include <optional>

namespace vesk::core {
namespace {

// Stores a converted value; false when the text does not convert to the property's type.
using Setter = std::function<bool(CConfig&, std::string&, const std::string&)>;
// The value's written form; empty for keys the console never writes (set by the operator).
using Getter = std::function<std::string(const CConfig&, const std::string&)>;

struct Binding
{
    Setter store;
    Getter text;
    Getter shown = nullptr; // the form the dialog shows, when not the written one
    bool caseless = false; // "text" and "TEXT" are the same value
    // For keys that take their default for a value they do not convert, with a warning: what they accept.
    std::string accepted = {};
    // What a value must be, for a strict reading of the file (keys that take any text have none).
    std::string expects = {};
};

Binding expecting(Binding b, std::string what)
{
    b.expects = std::move(what);
    return b;
}

// Where the configuration dialog shows a key: the control's object name, and whether a change
// means the modem must be set up again.
struct Shown
{
    const char* control = nullptr;
    bool renewsModem = false;
};
constexpr bool kModem = true;

struct Key
{
    const char* section;
    const char* name; // as read; key names ignore case
    const char* fallback;
    Binding binding;
    int writeOrder = 0; // position among the written keys; 0 for keys never written
    Shown shows = {}; // not shown in the dialog when no control is named
    const char* writtenName = nullptr; // when written with other letter case
};

Binding text(std::string CConfig::*field)
{
    return {[field](CConfig& c, std::string&, const std::string& v) {
                c.*field = v;
                return true;
            },
        [field](const CConfig& c, const std::string&) { return c.*field; }};
}

Binding boolean(bool CConfig::*field)
{
    return {[field](CConfig& c, std::string&, const std::string& v) {
                const auto b = ToBool(v);
                if (b)
                    c.*field = *b;
                return b.has_value();
            },
        [field](const CConfig& c, const std::string&) { return BoolText(c.*field); }, nullptr, false, {},
        "a number, 0 for off"};
}

// Window values: the plain number form. Time-outs: half a second is written ".5".
Binding single(float CConfig::*field, bool timeout = false)
{
    return {[field](CConfig& c, std::string&, const std::string& v) {
                const auto f = ToSingle(v);
                if (f)
                    c.*field = *f;
                return f.has_value();
            },
        [field, timeout](const CConfig& c, const std::string&) {
            const auto v = static_cast<double>(c.*field);
            return timeout ? NumberTextNoLeadingZero(v) : NumberText(v);
        },
        [field](const CConfig& c, const std::string&) { return NumberText(static_cast<double>(c.*field)); },
        false, {}, "a number"};
}

// Names the modem knows in capitals, whatever case they are written in.
Binding word(std::string CConfig::*field)
{
    Binding b = text(field);
    b.caseless = true;
    return b;
}

Binding int16(std::int16_t CConfig::*field)
{
    return expecting({[field](CConfig& c, std::string&, const std::string& v) {
                          const auto n = ToInt16(v);
                          if (n)
                              c.*field = *n;
                          return n.has_value();
                      },
                         [field](const CConfig& c, const std::string&) { return std::to_string(c.*field); }},
        "a whole number from -32768 to 32767");
}

// Intervals take the leading number of the text: "15 seconds" is 15, "soon" is 0.
Binding interval(std::int16_t CConfig::*field)
{
    return expecting({[field](CConfig& c, std::string&, const std::string& v) {
                          const auto n = ToInt16(NumberText(LeadingNumber(v)));
                          if (n)
                              c.*field = *n;
                          return n.has_value();
                      },
                         [field](const CConfig& c, const std::string&) { return std::to_string(c.*field); }},
        "a whole number up to 32767");
}

Binding byte(std::uint8_t CConfig::*field)
{
    return expecting({[field](CConfig& c, std::string&, const std::string& v) {
                          const auto b = ToByte(v);
                          if (b)
                              c.*field = *b;
                          return b.has_value();
                      },
                         [field](const CConfig& c, const std::string&) { return std::to_string(c.*field); }},
        "a whole number from 0 to 255");
}

Binding dataFolder()
{
    return {[](CConfig&, std::string& folder, const std::string& v) {
                folder = v;
                return true;
            },
        [](const CConfig&, const std::string& folder) { return folder; }};
}

// Two words for a switch, compared without regard to case: `off` (the default) or `on`.
Binding choice(bool CConfig::*field, const char* off, const char* on)
{
    const std::string offWord = ToLower(off), onWord = ToLower(on);
    Binding b {[field, offWord, onWord](CConfig& c, std::string&, const std::string& v) {
                   const std::string w = ToLower(Trim(v));
                   if (w != onWord && w != offWord)
                       return false;
                   c.*field = w == onWord;
                   return true;
               },
        [field, off, on](const CConfig& c, const std::string&) { return std::string(c.*field ? on : off); }};
    b.accepted = std::string(off) + " or " + on;
    return b;
}

// Whole seconds, at least 1.
Binding seconds(std::int32_t CConfig::*field)
{
    auto parse = [](const std::string& v) -> std::optional<std::int32_t> {
        const auto n = ToNumber(v);
        if (!n || *n < 1 || *n > 31 * 24 * 3600 || *n != static_cast<double>(static_cast<std::int32_t>(*n)))
            return std::nullopt;
        return static_cast<std::int32_t>(*n);
    };
    Binding b {[field, parse](CConfig& c, std::string&, const std::string& v) {
                   const auto n = parse(v);
                   if (n)
                       c.*field = *n;
                   return n.has_value();
               },
        [field](const CConfig& c, const std::string&) { return std::to_string(c.*field); }};
    b.accepted = "a whole number of seconds";
    return b;
}

// Keys set by the operator in the file: read, never written back.
Binding operatorSet(Binding b)
{
    b.text = nullptr;
    return b;
}

// In reading order; writeOrder gives the order keys are written in. A new setting is one line here
// plus its use; to show it in the configuration dialog, name the control (made in its tab by that
// object name) and the dialog fills and stores it from this line.
const std::vector<Key>& settingsTable()
{
    static const std::vector<Key> kTable = {
        {"Setup", "DataFolder", "", dataFolder(), 1},
        // The configuration dialog shows it through its database field, which masks the password.
        {"Setup", "Database", "", text(&CConfig::Database), 26},
        {"Agent", "Priority", "1", byte(&CConfig::AppPriority), 2, {"cbPriority"}},
        {"Agent", "LocalAddress", "", text(&CConfig::AgentAddress), 3, {"txtAgentAddress"}},
        {"Agent", "MaxRunTime", "0", int16(&CConfig::MaxRunTime), 4},
        {"Agent", "FilterActionDelete", "0", boolean(&CConfig::FilterActionDelete), 5},
        {"Window", "Top", "-1", single(&CConfig::WindowTop), 22},
        {"Window", "Left", "-1", single(&CConfig::WindowLeft), 23},
        {"Window", "Width", "-1", single(&CConfig::WindowWidth), 24},
        {"Window", "Height", "-1", single(&CConfig::WindowHeight), 25},
        {"COM", "Port", "COM1", text(&CConfig::COMPort), 6, {"cbPort", kModem}},
        {"COM", "Speed", "9600", text(&CConfig::COMSpeed), 7, {"cbSpeed", kModem}},
        {"COM", "InitString", "9600,N,8,1", text(&CConfig::COMInitString), 8, {"txtINITString", kModem}},
        {"COM", "AutoDetect", "1", boolean(&CConfig::AutoDetect), 9, {"ChkAutodetect", kModem}},
        // The protocol is not a modem field: the driver switches it on its next command.
        {"COM", "Protocol", "PDU", word(&CConfig::Protocol), 10, {"cbProtocol"}},
        {"COM", "ModemLog", "0", boolean(&CConfig::ModemLog), 11, {"chkModemLog", kModem}},
        {"COM", "CommandTimeout", "2", single(&CConfig::CommandTimeout, true), 14, {"txtCmdTimeout", kModem}},
        {"COM", "SendTimeout", "20", single(&CConfig::SendTimeout, true), 15, {"txtSendTimeout", kModem}},
        {"COM", "ListTimeout", "20", single(&CConfig::ListTimeout, true), 16, {"txtListTimeout", kModem}},
        {"COM", "DeleteTimeout", "2", single(&CConfig::DeleteTimeout, true), 17,
            {"txtDeleteTimeout", kModem}},
        {"COM", "MessageMemory", "SM", word(&CConfig::MessageMemory), 12, {"cbMSGMem", kModem}},
        {"COM", "ReportMemory", "SM", word(&CConfig::ReportMemory), 13, {"cbRPTMem", kModem}, "Reportmemory"},
        {"COM", "RoutedReports", "0", operatorSet(boolean(&CConfig::RoutedReports))},
        {"Resource", "SendInterval", "10", interval(&CConfig::SendInterval), 18, {"cbSendInterval"}},
        {"Resource", "SendBatchSize", "10", interval(&CConfig::SendBatchSize), 19, {"cbSendBatchSize"}},
        {"Resource", "ReadInterval", "10", interval(&CConfig::ReadInterval), 20, {"cbReadInterval"}},
        {"Text", "OutboundCoding", "Legacy", choice(&CConfig::OutboundAuto, "Legacy", "Auto"), 26,
            {"cbOutboundCoding"}},
        {"Text", "InboundDecoding", "Legacy", choice(&CConfig::InboundFull, "Legacy", "Full"), 27,
            {"cbInboundDecoding"}},
        {"Text", "JoinParts", "0", choice(&CConfig::JoinParts, "0", "1"), 28, {"chkJoinParts"}},
        {"Text", "JoinTimeout", "600", seconds(&CConfig::JoinTimeout), 29, {"txtJoinTimeout"}},
        {"Mail", "AllowPlainLogin", "0", operatorSet(boolean(&CConfig::MailAllowPlainLogin))},
        {"Mail", "PasswordFile", "", operatorSet(text(&CConfig::MailPasswordFile))},
    };
    return kTable;
}

const Key* findKey(std::string_view control)
{
    for (const Key& key : settingsTable())
        if (key.shows.control && control == key.shows.control)
            return &key;
    return nullptr;
}

std::string shownText(const Key& key, const CConfig& c)
{
    return (key.binding.shown ? key.binding.shown : key.binding.text)(c, {});
}

} // namespace

std::vector<ShownSetting> ShownSettings()
{
    std::vector<ShownSetting> shown;
    for (const Key& key : settingsTable())
        if (key.shows.control)
            shown.push_back({key.shows.control, key.shows.renewsModem, key.binding.caseless});
    return shown;
}

std::string ShownText(const CConfig& config, std::string_view control)
{
    const Key* key = findKey(control);
    return key ? shownText(*key, config) : std::string();
}

bool StoreShown(CConfig& config, std::string_view control, const std::string& text)
{
    const Key* key = findKey(control);
    if (!key)
        return false;
    CConfig after = config;
    std::string folder;
    if (!key->binding.store(after, folder, text))
        return false;
    const std::string before = shownText(*key, config), now = shownText(*key, after);
    if (key->binding.caseless ? EqualsNoCase(before, now) : before == now)
        return false;
    config = after;
    return true;
}

std::optional<std::string> CheckSettingValue(
    std::string_view section, std::string_view key, const std::string& value)
{
    for (const Key& k : settingsTable()) {
        if (!EqualsNoCase(k.section, section) || !EqualsNoCase(k.name, key))
            continue;
        CConfig scratch;
        std::string folder;
        if (k.binding.store(scratch, folder, value))
            return std::string();
        return k.binding.accepted.empty() ? k.binding.expects : k.binding.accepted;
    }
    return std::nullopt;
}

bool ConsoleApp::LoadEnvironment(CConfig& config, std::string& dataFolder)
{
    for (const Key& key : settingsTable()) {
        std::string value = LoadParameter(key.section, key.name, key.fallback);
        CConfig scratch;
        std::string folder;
        if (!key.binding.accepted.empty() && !key.binding.store(scratch, folder, value)) {
            Log(icon::kWarning, "",
                std::string("Setting [") + key.section + "] " + key.name + "=" + value + " is not "
                    + key.binding.accepted + "; " + key.fallback + " is used");
            value = key.fallback;
        }
        if (!key.binding.store(config, dataFolder, value))
            return false;
    }
    if (config.JoinParts && !config.InboundFull)
        Log(icon::kWarning, "",
            "Setting [Text] JoinParts=1 needs InboundDecoding=Full; long messages are not joined");
    return true;
}

void ConsoleApp::SaveEnviroment(const CConfig& c, const std::string& dataFolder)
{
    std::vector<const Key*> written;
    for (const Key& key : settingsTable())
        if (key.writeOrder > 0 && key.binding.text)
            written.push_back(&key);
    std::sort(written.begin(), written.end(),
        [](const Key* a, const Key* b) { return a->writeOrder < b->writeOrder; });

    // A window minimised far off screen keeps the rectangle stored before.
    const bool windowPlaced = c.WindowTop > -100 && c.WindowLeft > -100;
    for (const Key* key : written) {
        if (std::string_view(key->section) == "Window" && !windowPlaced)
            continue;
        const std::string value = key->binding.text(c, dataFolder);
        // Only what changed is written: the stored text (or the default) read back the same way.
        CConfig before;
        std::string beforeFolder;
        if (key->binding.store(before, beforeFolder, LoadParameter(key->section, key->name, key->fallback))
            && key->binding.text(before, beforeFolder) == value)
            continue;
        SaveParameter(key->section, key->writtenName ? key->writtenName : key->name, value);
    }
}

} // namespace vesk::core
