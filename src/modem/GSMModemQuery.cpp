#include "modem/AtReplies.h"
#include "modem/GSMModem.h"

namespace vesk::modem {

namespace {
bool endsInOK(const std::string& reply)
{
    return reply.size() >= 2 && reply.compare(reply.size() - 2, 2, "OK") == 0;
}
} // namespace

bool GSMModem::TextMode(bool on)
{
    m_textMode = on;
    return SendCommand(on ? "AT+CMGF=1" : "AT+CMGF=0").find("OK") != std::string::npos;
}

std::string GSMModem::GetMode()
{
    return ParseMode(SendCommand("AT+CMGF?"));
}

bool GSMModem::IsTextModeSupported()
{
    return ParseTextModeSupported(SendCommand("AT+CMGF=?"));
}

bool GSMModem::IsSIMOkay()
{
    return ParseSIMOkay(SendCommand("AT+CPIN?"));
}

std::string GSMModem::ATI(std::int16_t number)
{
    WriteCommand("ATI" + std::to_string(number));
    return WaitForResult(CommandTimeout);
}

std::string GSMModem::Model()
{
    return ParseModel(SendCommand("AT+CGMM"));
}

std::string GSMModem::IMEI()
{
    if (m_imei.empty())
        m_imei = ParseIMEI(SendCommand("AT+CGSN"));
    return m_imei;
}

std::string GSMModem::ServiceCentre()
{
    return ParseServiceCentre(SendCommand("AT+CSCA?"));
}

void GSMModem::SetMemories(const std::string& messageMemory, const std::string& reportMemory)
{
    m_messageMemory = messageMemory;
    m_reportMemory = reportMemory.empty() ? messageMemory : reportMemory;
}

void GSMModem::GetMemories(std::string& messageMemory, std::string& reportMemory) const
{
    messageMemory = m_messageMemory;
    reportMemory = m_reportMemory;
}

bool GSMModem::SelectMemory(const std::string& memory)
{
    return endsInOK(SendCommand("AT+CPMS=\"" + memory + "\""));
}

std::string GSMModem::GetSelectedMemory()
{
    return ParseSelectedMemory(MemoryReply());
}

bool GSMModem::IsMessageMemoryReadable()
{
    return ParseMemoryReadable(SendCommand("AT+CPMS=?"));
}

std::int16_t GSMModem::MessageCount()
{
    const int count = ParseMessageCount(MemoryReply());
    return static_cast<std::int16_t>(count > 32767 ? 32767 : count);
}

bool GSMModem::MemoryFull()
{
    return ParseMemoryFull(MemoryReply());
}

bool GSMModem::EnableMessageReports(bool on)
{
    if (!on) {
        SendCommand("AT+CNMI=0,0,0,0");
        return false;
    }
    const ReportOffer offer = ParseReportOffer(SendCommand("AT+CNMI=?"));
    if (!offer.command.empty())
        SendCommand(offer.command);
    return offer.enabled;
}

std::int16_t GSMModem::BatteryLevel()
{
    return static_cast<std::int16_t>(ParseBatteryLevel(SendCommand("AT+CBC")));
}

std::int16_t GSMModem::SignalLevel()
{
    return static_cast<std::int16_t>(ParseSignalLevel(SendCommand("AT+CSQ")));
}

int GSMModem::NetworkRegistration()
{
    return ParseNetworkRegistration(SendCommand("AT+CREG?"));
}

std::string GSMModem::Network()
{
    return ParseNetwork(SendCommand("AT+COPS?"));
}

} // namespace vesk::modem
