#include "modem/GSMModem.h"

#include "modem/AtReplies.h"
#include "modem/PduUnits.h"
#include "support/Convert.h"
#include "support/DateTime.h"

#include <exception>

namespace vesk::modem {

namespace {
constexpr int kInitialComponentSpeed = 14400;
constexpr char kEsc = '\x1B';

} // namespace

GSMModem::GSMModem(Clock& clock, EventPump& pump)
    : m_clock(clock)
    , m_pump(pump)
{
    try {
        m_port = std::make_unique<SerialPort>();
        m_port->SetSpeed(kInitialComponentSpeed);
    } catch (const std::exception&) {
        m_port.reset();
    }
}

GSMModem::~GSMModem()
{
    ClosePort();
    if (m_log.Logging() && !m_log.pending().empty())
        m_log.LogFlush();
}

std::string GSMModem::timestamp() const
{
    return Format(m_clock.now(), "dd.mm hh:nn:ss");
}

bool GSMModem::OpenPort(const std::string& portName, const std::string& settings)
{
    if (!m_port)
        return false;
    if (!portName.empty())
        PortName = portName;
    if (!settings.empty())
        InitString = settings;
    if (m_port->IsOpen())
        m_port->Close();
    m_port->SetSpeed(Speed);
    m_port->Open(PortName);
    m_port->SetSettings(InitString);
    if (!m_port->IsOpen())
        return false;
    m_entryOpen = false;
    // A console that died during message entry may have left the modem there.
    WriteLog(timestamp() + " Ending any message entry before set-up\r\n");
    leaveMessageEntry(false);
    m_entryOpen = false; // a silent modem is found out by the commands that follow
    EchoOff();
    return true;
}

void GSMModem::ClosePort()
{
    if (m_port && m_port->IsOpen())
        m_port->Close();
}

bool GSMModem::ResetPort()
{
    ClosePort();
    return OpenPort("", "");
}

bool GSMModem::IsPortOpen() const
{
    return m_port && m_port->IsOpen();
}

std::int16_t GSMModem::PortCount() const
{
    return m_port ? static_cast<std::int16_t>(m_port->PortCount()) : 0;
}

std::string GSMModem::FindModem(const std::string& settings, StatusDisplay* statusBar)
{
    if (!m_port)
        return {};
    std::string found;
    try {
        ClosePort();
        m_port->SetSpeed(Speed);
        if (!PortName.empty())
            m_port->AddPortPath(
                SerialPort::DevicePath(PortName)); // the port named in the settings is always tried
        for (int index = m_port->PortCount(); index >= 0; --index) {
            const std::string name = m_port->PortName(index);
            if (name.empty())
                continue; // an index that names no port (the list counts from 1)
            if (statusBar) {
                statusBar->SetPanelText(3, "Looking for a GSM device on " + name);
                statusBar->Refresh();
                m_pump.runPending();
            }
            WriteLog("Autodetecting on port [" + name + "]\r\n");
            if (OpenPort(name, settings)) {
                const std::string model = ToLower(Model());
                ClosePort();
                if (!model.empty()) {
                    WriteLog("Found " + name + "\r\n");
                    found = name;
                    break;
                }
            }
        }
    } catch (const std::exception&) {
        found.clear();
        ClosePort();
    }
    WriteLog("Autodetection complete.\r\n");
    return found;
}

bool GSMModem::CheckModem()
{
    const std::string reply = SendCommand("ATE0");
    return reply.size() >= 2 && reply.substr(reply.size() - 2) == "OK";
}

bool GSMModem::IsModemPresent()
{
    return TrimSpaces(SendCommand("AT")) == "OK";
}

void GSMModem::DiscardBuffer()
{
    if (!m_port)
        return;
    if (m_port->WaitingCount() != 0) {
        // Late words of an earlier exchange: what matters is set aside, the rest logged.
        const std::string rest = StripAllCRLF(frame(m_port->ReadAll()));
        if (!rest.empty()) {
            WriteLog(timestamp() + " Discarded before the next command: " + rest + "\r\n");
            if (const auto at = rest.find("+CMGS: "); at != std::string::npos)
                WriteLog(timestamp() + " Late acceptance of an earlier unit, reference "
                    + std::to_string(ParseSendReference(rest.substr(at) + "\r\nOK")) + "\r\n");
        }
    }
    // Bytes arriving after the read above are an unsolicited line on its way (a report handed
    // over, an announcement): they are read with the next answer, never flushed unseen.
    m_port->FlushOutput();
}

std::string GSMModem::frame(const std::string& raw)
{
    FramedReply framed = SetAsideUnsolicited(raw, m_command, m_textMode);
    const auto& lines = framed.unsolicited;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        WriteLog(timestamp() + " Set aside: " + lines[i] + "\r\n");
        if (const auto announced = ParseAnnouncement(lines[i]))
            ++(announced->report ? m_announcements[announced->memory].reports
                                 : m_announcements[announced->memory].messages);
        // A report handed over directly: its unit is the next line (PDU mode).
        if (lines[i].rfind("+CDS:", 0) == 0 && !m_textMode && i + 1 < lines.size()) {
            GSMMessage report;
            if (ParsePDU(TrimSpaces(lines[i + 1]), 0, report) && report.MessageType == 1)
                m_routed.push_back(std::move(report));
            else
                WriteLog(timestamp() + " Unreadable routed report: " + lines[i + 1] + "\r\n");
        }
    }
    m_announced = m_announced || framed.announcesMessage;
    return std::move(framed.reply);
}

void GSMModem::entryMayBeOpen(const char* what)
{
    m_entryOpen = true;
    WriteLog(timestamp() + " " + what + "; message entry will be ended before the next command\r\n");
}

// Ends message entry: Esc, then a plain AT that must answer OK. False while the modem is silent.
bool GSMModem::leaveMessageEntry(bool restoreSetUp)
{
    if (!IsPortOpen())
        return false;
    m_entryOpen = false;
    WriteLog(timestamp() + " <ESC>\r\n");
    m_port->Write(std::string(1, kEsc));
    m_clock.sleepFor(kPollStep * 2);
    const std::string reply = SendCommand("AT");
    const bool left = reply.size() >= 2 && reply.compare(reply.size() - 2, 2, "OK") == 0;
    if (EntryLeaveObserver)
        EntryLeaveObserver(left);
    if (!left) {
        entryMayBeOpen("No OK after Esc and AT");
        return false;
    }
    WriteLog(timestamp() + " Message entry ended\r\n");
    if (restoreSetUp && reply.find("AT\r") != std::string::npos) {
        // The modem started afresh: echo is back on and the message format is its default.
        m_restarted = true;
        EchoOff();
        SendCommand(m_textMode ? "AT+CMGF=1" : "AT+CMGF=0");
    }
    return true;
}

std::string GSMModem::RawCommand(const std::string& text)
{
    if (!IsPortOpen())
        return {};
    m_port->Write(text + "\r\n");
    m_clock.sleepFor(kRawCommandPause);
    return m_port->ReadAll();
}

std::string GSMModem::SendCommand(const std::string& command)
{
    if (!IsPortOpen() || (m_entryOpen && !leaveMessageEntry()))
        return {};
    m_command = command;
    const std::string line = command + "\r";
    WriteLog(timestamp() + " " + line);
    DiscardBuffer();
    if (m_port->Write(line) != static_cast<int>(line.size()))
        return {};
    std::string reply = WaitForResult(CommandTimeout);
    WriteLog(reply);
    return StripCRLF(reply);
}

std::int16_t GSMModem::WriteCommand(const std::string& command)
{
    if (!IsPortOpen() || (m_entryOpen && !leaveMessageEntry()))
        return 0;
    m_command = command;
    const std::string line = command + "\r";
    WriteLog(timestamp() + " " + line);
    DiscardBuffer();
    return static_cast<std::int16_t>(m_port->Write(line));
}

std::string GSMModem::WaitForData(int minimumCount, std::int32_t timeoutMs)
{
    const auto start = m_clock.elapsed();
    m_clock.sleepFor(kPollStep);
    for (;;) {
        const auto waited = (m_clock.elapsed() - start).count();
        const int waiting = m_port ? m_port->WaitingCount() : 0;
        if (waiting >= minimumCount || waited >= timeoutMs)
            break;
        m_clock.sleepFor(kPollStep);
    }
    return frame(m_port ? m_port->ReadAll() : std::string());
}

std::string GSMModem::WaitUntil(const std::function<bool(const std::string&)>& done, std::int32_t timeoutMs)
{
    std::string collected;
    const auto start = m_clock.elapsed();
    for (;;) {
        if (m_port && m_port->WaitingCount() > 0) {
            collected += m_port->ReadAll();
            if (done(collected))
                return frame(collected);
        }
        m_clock.sleepFor(kPollStep);
        if ((m_clock.elapsed() - start).count() > timeoutMs)
            break;
    }
    return frame(collected);
}

std::string GSMModem::WaitForResponse(const std::vector<std::string>& texts, std::int32_t timeoutMs)
{
    return WaitUntil(
        [&](const std::string& collected) {
            for (const auto& text : texts)
                if (collected.find(text) != std::string::npos)
                    return true;
            return false;
        },
        timeoutMs);
}

std::string GSMModem::WaitForResult(std::int32_t timeoutMs)
{
    return WaitUntil([](const std::string& collected) { return HasFinalResult(collected); }, timeoutMs);
}

} // namespace vesk::modem
