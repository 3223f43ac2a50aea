// The machine settings table: for each key its section, name, default, the property it feeds and
// the text form it is written in. Loading and saving both walk this one table.
#include "core/CConfig.h"
#include "core/ConsoleApp.h"
#include "support/Convert.h"

#include <algorithm>
#include <functional>

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
};

struct Key
{
    const char* section;
    const char* name; // as read; key names ignore case
    const char* fallback;
    Binding binding;
    int writeOrder = 0; // position among the written keys; 0 for keys never written
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
        [field](const CConfig& c, const std::string&) { return BoolText(c.*field); }};
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
        }};
}

Binding int16(std::int16_t CConfig::*field)
{
    return {[field](CConfig& c, std::string&, const std::string& v) {
                const auto n = ToInt16(v);
                if (n)
                    c.*field = *n;
                return n.has_value();
            },
        [field](const CConfig& c, const std::string&) { return std::to_string(c.*field); }};
}

// Intervals take the leading number of the text: "15 seconds" is 15, "soon" is 0.
Binding interval(std::int16_t CConfig::*field)
{
    return {[field](CConfig& c, std::string&, const std::string& v) {
                const auto n = ToInt16(NumberText(LeadingNumber(v)));
                if (n)
                    c.*field = *n;
                return n.has_value();
            },
        [field](const CConfig& c, const std::string&) { return std::to_string(c.*field); }};
}

Binding byte(std::uint8_t CConfig::*field)
{
    return {[field](CConfig& c, std::string&, const std::string& v) {
                const auto b = ToByte(v);
                if (b)
                    c.*field = *b;
                return b.has_value();
            },
        [field](const CConfig& c, const std::string&) { return std::to_string(c.*field); }};
}

Binding dataFolder()
{
    return {[](CConfig&, std::string& folder, const std::string& v) {
                folder = v;
                return true;
            },
        [](const CConfig&, const std::string& folder) { return folder; }};
}

// Keys set by the operator in the file: read, never written back.
Binding operatorSet(Binding b)
{
    b.text = nullptr;
    return b;
}

// In reading order; writeOrder gives the order keys are written in.
const std::vector<Key>& settingsTable()
{
    static const std::vector<Key> kTable = {
        {"Setup", "DataFolder", "", dataFolder(), 1},
        {"Setup", "Database", "", text(&CConfig::Database), 26},
        {"Agent", "Priority", "1", byte(&CConfig::AppPriority), 2},
        {"Agent", "LocalAddress", "", text(&CConfig::AgentAddress), 3},
        {"Agent", "MaxRunTime", "0", int16(&CConfig::MaxRunTime), 4},
        {"Agent", "FilterActionDelete", "0", boolean(&CConfig::FilterActionDelete), 5},
        {"Window", "Top", "-1", single(&CConfig::WindowTop), 22},
        {"Window", "Left", "-1", single(&CConfig::WindowLeft), 23},
        {"Window", "Width", "-1", single(&CConfig::WindowWidth), 24},
        {"Window", "Height", "-1", single(&CConfig::WindowHeight), 25},
        {"COM", "Port", "COM1", text(&CConfig::COMPort), 6},
        {"COM", "Speed", "9600", text(&CConfig::COMSpeed), 7},
        {"COM", "InitString", "9600,N,8,1", text(&CConfig::COMInitString), 8},
        {"COM", "AutoDetect", "1", boolean(&CConfig::AutoDetect), 9},
        {"COM", "Protocol", "PDU", text(&CConfig::Protocol), 10},
        {"COM", "ModemLog", "0", boolean(&CConfig::ModemLog), 11},
        {"COM", "CommandTimeout", "2", single(&CConfig::CommandTimeout, true), 14},
        {"COM", "SendTimeout", "20", single(&CConfig::SendTimeout, true), 15},
        {"COM", "ListTimeout", "20", single(&CConfig::ListTimeout, true), 16},
        {"COM", "DeleteTimeout", "2", single(&CConfig::DeleteTimeout, true), 17},
        {"COM", "MessageMemory", "SM", text(&CConfig::MessageMemory), 12},
        {"COM", "ReportMemory", "SM", text(&CConfig::ReportMemory), 13, "Reportmemory"},
        {"Resource", "SendInterval", "10", interval(&CConfig::SendInterval), 18},
        {"Resource", "SendBatchSize", "10", interval(&CConfig::SendBatchSize), 19},
        {"Resource", "ReadInterval", "10", interval(&CConfig::ReadInterval), 20},
        {"Mail", "AllowPlainLogin", "0", operatorSet(boolean(&CConfig::MailAllowPlainLogin))},
        {"Mail", "PasswordFile", "", operatorSet(text(&CConfig::MailPasswordFile))},
    };
    return kTable;
}

} // namespace

bool ConsoleApp::LoadEnvironment(CConfig& config, std::string& dataFolder) const
{
    for (const Key& key : settingsTable()) {
        const std::string value = LoadParameter(key.section, key.name, key.fallback);
        if (!key.binding.store(config, dataFolder, value))
            return false;
    }
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
