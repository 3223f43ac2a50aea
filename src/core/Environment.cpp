// The machine settings table: which key feeds which property, its default and its text form.
#include "core/CConfig.h"
#include "core/ConsoleApp.h"
#include "support/Convert.h"

#include <functional>

namespace vesk::core {
namespace {

enum class Kind { Text, Boolean, Single, Byte, Int16, Interval };

// Stores a converted value; false when the text does not convert to the property's type.
using Setter = std::function<bool(CConfig&, std::string&, const std::string&)>;

struct Key
{
    const char* section;
    const char* name;
    const char* fallback;
    Setter store;
};

Setter text(std::string CConfig::*field)
{
    return [field](CConfig& c, std::string&, const std::string& v) {
        c.*field = v;
        return true;
    };
}

Setter boolean(bool CConfig::*field)
{
    return [field](CConfig& c, std::string&, const std::string& v) {
        const auto b = ToBool(v);
        if (b)
            c.*field = *b;
        return b.has_value();
    };
}

Setter single(float CConfig::*field)
{
    return [field](CConfig& c, std::string&, const std::string& v) {
        const auto f = ToSingle(v);
        if (f)
            c.*field = *f;
        return f.has_value();
    };
}

Setter int16(std::int16_t CConfig::*field)
{
    return [field](CConfig& c, std::string&, const std::string& v) {
        const auto n = ToInt16(v);
        if (n)
            c.*field = *n;
        return n.has_value();
    };
}

// Intervals take the leading number of the text: "15 seconds" is 15, "soon" is 0.
Setter interval(std::int16_t CConfig::*field)
{
    return [field](CConfig& c, std::string&, const std::string& v) {
        const auto n = ToInt16(NumberText(LeadingNumber(v)));
        if (n)
            c.*field = *n;
        return n.has_value();
    };
}

const std::vector<Key>& settingsTable()
{
    static const std::vector<Key> kTable = {
        {"Setup", "DataFolder", "",
            [](CConfig&, std::string& folder, const std::string& v) {
                folder = v;
                return true;
            }},
        {"Agent", "Priority", "1",
            [](CConfig& c, std::string&, const std::string& v) {
                const auto b = ToByte(v);
                if (b)
                    c.AppPriority = *b;
                return b.has_value();
            }},
        {"Agent", "LocalAddress", "", text(&CConfig::AgentAddress)},
        {"Agent", "MaxRunTime", "0", int16(&CConfig::MaxRunTime)},
        {"Agent", "FilterActionDelete", "0", boolean(&CConfig::FilterActionDelete)},
        {"Window", "Top", "-1", single(&CConfig::WindowTop)},
        {"Window", "Left", "-1", single(&CConfig::WindowLeft)},
        {"Window", "Width", "-1", single(&CConfig::WindowWidth)},
        {"Window", "Height", "-1", single(&CConfig::WindowHeight)},
        {"COM", "Port", "COM1", text(&CConfig::COMPort)},
        {"COM", "Speed", "9600", text(&CConfig::COMSpeed)},
        {"COM", "InitString", "9600,N,8,1", text(&CConfig::COMInitString)},
        {"COM", "AutoDetect", "1", boolean(&CConfig::AutoDetect)},
        {"COM", "Protocol", "PDU", text(&CConfig::Protocol)},
        {"COM", "ModemLog", "0", boolean(&CConfig::ModemLog)},
        {"COM", "CommandTimeout", "2", single(&CConfig::CommandTimeout)},
        {"COM", "SendTimeout", "20", single(&CConfig::SendTimeout)},
        {"COM", "ListTimeout", "20", single(&CConfig::ListTimeout)},
        {"COM", "DeleteTimeout", "2", single(&CConfig::DeleteTimeout)},
        {"COM", "MessageMemory", "SM", text(&CConfig::MessageMemory)},
        {"COM", "ReportMemory", "SM", text(&CConfig::ReportMemory)},
        {"Resource", "SendInterval", "10", interval(&CConfig::SendInterval)},
        {"Resource", "SendBatchSize", "10", interval(&CConfig::SendBatchSize)},
        {"Resource", "ReadInterval", "10", interval(&CConfig::ReadInterval)},
        {"Mail", "AllowPlainLogin", "0", boolean(&CConfig::MailAllowPlainLogin)},
        {"Mail", "PasswordFile", "", text(&CConfig::MailPasswordFile)},
    };
    return kTable;
}

std::string timeoutText(float seconds)
{
    return NumberTextNoLeadingZero(static_cast<double>(seconds));
}

} // namespace

bool ConsoleApp::LoadEnvironment(CConfig& config, std::string& dataFolder) const
{
    for (const Key& key : settingsTable()) {
        const std::string value = LoadParameter(key.section, key.name, key.fallback);
        if (!key.store(config, dataFolder, value))
            return false;
    }
    return true;
}

void ConsoleApp::SaveEnviroment(const CConfig& c, const std::string& dataFolder)
{
    SaveParameter("Setup", "DataFolder", dataFolder);

    SaveParameter("Agent", "Priority", std::to_string(c.AppPriority));
    SaveParameter("Agent", "LocalAddress", c.AgentAddress);
    SaveParameter("Agent", "MaxRunTime", std::to_string(c.MaxRunTime));
    SaveParameter("Agent", "FilterActionDelete", BoolText(c.FilterActionDelete));

    SaveParameter("COM", "Port", c.COMPort);
    SaveParameter("COM", "Speed", c.COMSpeed);
    SaveParameter("COM", "InitString", c.COMInitString);
    SaveParameter("COM", "AutoDetect", BoolText(c.AutoDetect));
    SaveParameter("COM", "Protocol", c.Protocol);
    SaveParameter("COM", "ModemLog", BoolText(c.ModemLog));
    SaveParameter("COM", "MessageMemory", c.MessageMemory);
    SaveParameter("COM", "Reportmemory", c.ReportMemory);
    SaveParameter("COM", "CommandTimeout", timeoutText(c.CommandTimeout));
    SaveParameter("COM", "SendTimeout", timeoutText(c.SendTimeout));
    SaveParameter("COM", "ListTimeout", timeoutText(c.ListTimeout));
    SaveParameter("COM", "DeleteTimeout", timeoutText(c.DeleteTimeout));

    SaveParameter("Resource", "SendInterval", std::to_string(c.SendInterval));
    SaveParameter("Resource", "SendBatchSize", std::to_string(c.SendBatchSize));
    SaveParameter("Resource", "ReadInterval", std::to_string(c.ReadInterval));

    // A window minimised far off screen keeps the rectangle stored before.
    if (c.WindowTop > -100 && c.WindowLeft > -100) {
        SaveParameter("Window", "Top", NumberText(c.WindowTop));
        SaveParameter("Window", "Left", NumberText(c.WindowLeft));
        SaveParameter("Window", "Width", NumberText(c.WindowWidth));
        SaveParameter("Window", "Height", NumberText(c.WindowHeight));
    }
}

} // namespace vesk::core
