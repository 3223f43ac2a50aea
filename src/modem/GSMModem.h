#pragma once

#include "modem/AtReplies.h"
#include "modem/GSMMessage.h"
#include "modem/MemoryReplies.h"
#include "modem/ModemLog.h"
#include "modem/SerialPort.h"
#include "modem/StatusDisplay.h"
#include "support/Clock.h"
#include "support/EventPump.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vesk::modem {

// The driver of the one GSM modem: serial port, AT command exchange, interrogation, sending,
// reading and deleting. Every operation is synchronous and reports failure by its result.
// Waiting is done in 100 ms steps of the injected clock.
class GSMModem
{
public:
    static constexpr std::chrono::milliseconds kPollStep {100};
    static constexpr std::chrono::milliseconds kRawCommandPause {250};

    GSMModem(Clock& clock, EventPump& pump);
    ~GSMModem();
    GSMModem(const GSMModem&) = delete;
    GSMModem& operator=(const GSMModem&) = delete;

    // --- properties
    std::string PortName;
    int Speed = 0;
    std::string InitString = "N,8,1";
    std::int16_t CharWidth = 7;
    std::int16_t MaxMessageSize = 160;
    std::int32_t CommandTimeout = 2000;
    std::int32_t SendMessageTimeout = 20000;
    std::int32_t ListMessageTimeout = 10000;
    std::int32_t DeleteMessageTimeout = 2000;
    // Sends pick their coding: the full 7-bit alphabet when every character has a place in it,
    // otherwise UCS2. Off: the 7-bit conversion keeps the low bits of what it does not know.
    bool AutoCoding = false;
    // Listings in PDU mode are read by their coding scheme, header and sender type.
    bool FullDecoding = false;

    bool Logging() const { return m_log.Logging(); }
    void SetLogging(bool on) { m_log.SetLogging(on); }
    const std::string& LogFilename() const { return m_log.LogFilename(); }
    void SetLogFilename(const std::string& path) { m_log.SetLogFilename(path); }
    bool IsTextMode() const { return m_textMode; }

    // The line itself, for the port list a user or a test gives.
    SerialPort& Port() { return *m_port; }

    // --- serial link and command exchange
    bool IsInitialised() const { return m_port != nullptr; }
    bool OpenPort(const std::string& portName, const std::string& settings);
    void ClosePort();
    bool ResetPort();
    bool IsPortOpen() const;
    std::int16_t PortCount() const;
    std::string FindModem(const std::string& settings, StatusDisplay* statusBar);
    bool CheckModem();
    bool IsModemPresent();
    void DiscardBuffer();
    std::string RawCommand(const std::string& text);
    void LogFlush() { m_log.LogFlush(); }
    void LogTruncateFile() { m_log.LogTruncateFile(); }

    // --- interrogation and set-up
    bool TextMode(bool on);
    std::string GetMode();
    bool IsTextModeSupported();
    bool IsSIMOkay();
    std::string ATI(std::int16_t number);
    std::string Model();
    std::string IMEI();
    std::string ServiceCentre();
    void SetMemories(const std::string& messageMemory, const std::string& reportMemory);
    void GetMemories(std::string& messageMemory, std::string& reportMemory) const;
    bool SelectMemory(const std::string& memory);
    std::string GetSelectedMemory();
    bool IsMessageMemoryReadable();
    std::int16_t MessageCount();
    bool MemoryFull(); // the memory messages are read from has no free place
    bool EnableMessageReports(bool on); // may raise ModemError on an offer it cannot read
    std::int16_t BatteryLevel(); // may raise ModemError
    std::int16_t SignalLevel();
    int NetworkRegistration(); // may raise ModemError
    std::string Network();

    // --- sending
    std::int32_t SendSMS(GSMMessage& message);
    bool SimpleSend(const std::string& destination, const std::string& text);
    std::int16_t SendRawPDU(const std::string& pdu, std::string& modemAnswer);
    std::string GetFragment(const std::string& text, std::int16_t largestSize) const;

    // --- reading and deleting
    // Empty when the port is closed or nothing is stored; nullopt when the listing did not end in
    // "OK" or held an entry that could not be read (the entries stay for the next pass).
    std::optional<std::vector<GSMMessage>> ReadMessages();
    bool DeleteMessage(std::int16_t memoryIndex);
    // Why the last ReadMessages gave no collection.
    const std::string& LastListingError() const { return m_lastListingError; }
    // Entries of the last listing that could not be decoded; the good ones beside them are listed.
    const std::vector<UnreadableEntry>& UnreadableEntries() const { return m_unreadable; }

    // True once after a new message or report was announced by an unsolicited line.
    bool TakeAnnouncement() { return std::exchange(m_announced, false); }

    // --- memories and how reports are handed over
    // AT+CPMS?: each memory group's used and total slots (empty when not answered). Every reply to
    // AT+CPMS? the driver sees (MessageCount too) updates LastMemoryUse.
    std::vector<MemoryUse> MemoryStatus();
    const std::vector<MemoryUse>& LastMemoryUse() const { return m_memoryUse; }
    std::optional<RoutingOffer> RoutingOffered(); // AT+CNMI=?
    int ReportRouting(); // AT+CNMI?: the <ds> now set, -1 when not answered
    bool SetRouting(const std::string& command); // an AT+CNMI=... setting; true on OK
    bool SelectService(int service); // AT+CSMS=<service>; true on OK
    // AT+CNMA for the last routed unit; false when the modem expected none (+CMS ERROR: 340):
    // it has switched routing off after an acknowledgement came too late.
    bool AcknowledgeUnit();
    // Announcements (+CDSI, +CMTI) counted by memory since the last call.
    std::map<std::string, Announced> TakeAnnouncements() { return std::exchange(m_announcements, {}); }
    // Reports the modem handed over directly (+CDS), oldest first, since the last call.
    std::vector<GSMMessage> TakeRoutedReports() { return std::exchange(m_routed, {}); }
    // Reads what the modem said on its own since the last command, outside message entry, waiting
    // up to `wait` for it to say something.
    void PollUnsolicited(std::chrono::milliseconds wait = std::chrono::milliseconds(0));
    // The last send was refused because a memory is full (+CMS ERROR: 322).
    bool RefusedForFullMemory() const { return m_refusedFull; }
    // True while a send may have left the modem in message entry; the next command ends it first.
    bool InMessageEntry() const { return m_entryOpen; }
    // Told of every attempt to end message entry: whether the modem answered OK after it.
    std::function<void(bool left)> EntryLeaveObserver;
    // True once after the driver found the modem started afresh (its settings are its defaults).
    bool TakeRestart() { return std::exchange(m_restarted, false); }

private:
    std::string SendCommand(const std::string& command);
    std::string MemoryReply(); // AT+CPMS?, its groups kept in m_memoryUse
    std::int16_t WriteCommand(const std::string& command);
    std::string WaitForData(int minimumCount, std::int32_t timeoutMs);
    std::string WaitForResponse(const std::vector<std::string>& texts, std::int32_t timeoutMs);
    std::string WaitForResult(std::int32_t timeoutMs);
    std::string WaitUntil(const std::function<bool(const std::string&)>& done, std::int32_t timeoutMs);
    std::string frame(const std::string& raw);
    // Ends message entry (Esc, then AT answered OK); restoreSetUp turns echo off and sets the
    // message format again when the answer shows the modem started afresh.
    bool leaveMessageEntry(bool restoreSetUp = true);
    void entryMayBeOpen(const char* what);
    void WriteLog(const std::string& text) { m_log.WriteLog(text); }
    void EchoOff() { SendCommand("ATE0"); }
    std::string timestamp() const;

    std::int32_t SendTextSMS(GSMMessage& message);
    std::int32_t SendPDUSMS(GSMMessage& message);
    std::int32_t SendLongSMS(GSMMessage& message);
    std::int32_t SendLongInTextMode(GSMMessage& message);
    std::int32_t SendAuto(GSMMessage& message);
    std::int32_t sendUnits(GSMMessage& message, const std::vector<std::string>& pdus);
    std::int32_t inPDUMode(
        GSMMessage& message, const std::string& what, const std::function<std::int32_t()>& send);
    std::int32_t sendPDU(const std::string& pdu, std::string& answer, bool& prompted);

    Clock& m_clock;
    EventPump& m_pump;
    std::unique_ptr<SerialPort> m_port;
    ModemLog m_log;
    bool m_textMode = false;
    std::string m_messageMemory = "SM";
    std::string m_reportMemory = "SM";
    std::string m_imei;
    std::string m_lastListingError;
    std::vector<UnreadableEntry> m_unreadable;
    std::string m_command; // the last command written: its own information lines are answers
    bool m_entryOpen = false;
    bool m_announced = false;
    bool m_refusedFull = false;
    bool m_restarted = false;
    std::vector<MemoryUse> m_memoryUse;
    std::map<std::string, Announced> m_announcements;
    std::vector<GSMMessage> m_routed;
};

} // namespace vesk::modem
