#include "modem/AtReplies.h"
#include "modem/GSMModem.h"

namespace vesk::modem {

namespace {
bool endsInOK(const std::string& reply)
{
    return reply.size() >= 2 && reply.compare(reply.size() - 2, 2, "OK") == 0;
}
} // namespace

std::string GSMModem::MemoryReply()
{
    std::string reply = SendCommand("AT+CPMS?");
    if (auto groups = ParseMemoryUse(reply); !groups.empty())
        m_memoryUse = std::move(groups);
    return reply;
}

std::vector<MemoryUse> GSMModem::MemoryStatus()
{
    return ParseMemoryUse(MemoryReply());
}

std::optional<RoutingOffer> GSMModem::RoutingOffered()
{
    return ParseRoutingOffer(SendCommand("AT+CNMI=?"));
}

int GSMModem::ReportRouting()
{
    return ParseReportRouting(SendCommand("AT+CNMI?"));
}

bool GSMModem::SetRouting(const std::string& command)
{
    return endsInOK(SendCommand(command));
}

bool GSMModem::SelectService(int service)
{
    return endsInOK(SendCommand("AT+CSMS=" + std::to_string(service)));
}

bool GSMModem::AcknowledgeUnit()
{
    return endsInOK(SendCommand("AT+CNMA"));
}

void GSMModem::PollUnsolicited(std::chrono::milliseconds wait)
{
    if (!IsPortOpen() || m_entryOpen)
        return;
    for (const auto start = m_clock.elapsed(); m_port->WaitingCount() == 0; m_clock.sleepFor(kPollStep))
        if (m_clock.elapsed() - start >= wait)
            return;
    const std::string rest = StripAllCRLF(frame(m_port->ReadAll()));
    if (!rest.empty())
        WriteLog(timestamp() + " Unasked: " + rest + "\r\n");
}

} // namespace vesk::modem
