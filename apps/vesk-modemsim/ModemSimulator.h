#pragma once

#include "SimPdu.h"

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vesk::modemsim {

// What the simulated modem says about itself; every field can be set from the command line
// (--key value) or at run time ("set key value" on the control socket).
struct SimOptions
{
    std::string manufacturer = "Quillon";
    std::string model = "VESK-SIM 900";
    std::string revision = "1.0";
    std::string imei = "356938035643809";
    std::string imsi = "234150123456789";
    std::string pin = "READY"; // the text after "+CPIN: "
    int signal = 18, ber = 99;
    int battery = 80, chargeState = 0; // battery -1: AT+CBC answers ERROR
    int cregMode = 0, creg = 1;
    std::string network = "Simnet", numeric = "23415";
    std::string copsFormat = "0"; // 0 long name, 2 numeric, none: no operator
    std::string smsc = "+447785016005";
    std::string cmgfOffer = "(0,1)";
    std::string cnmiOffer = "(0,1,2),(0,1,2,3),(0,2),(0,1,2),(0,1)";
    std::string cpmsOffer = "(\"SM\",\"ME\",\"MT\",\"SR\"),(\"SM\",\"ME\",\"MT\"),(\"SM\",\"ME\",\"MT\")";
    int cpmsGroups = 3;
    bool textModeAllowed = true;
    int mode = 0; // AT+CMGF at power-on
    bool echo = true; // echo at power-on
    bool reports = true; // store a status report for sends that ask for one
    int reportDelayMs = 0;
    int reportStatus = 0;
    std::string reportMemory = "SM";
    std::string inboundMemory = "SM";
    int zoneQuarters = 0;
    int firstReference = 1;
    bool partsReversed = false; // the parts of a long inbound message arrive last first
    int missingPart = 0; // this part of a long inbound message never arrives (0: none)
    std::map<std::string, int> capacity = {{"SM", 30}, {"ME", 100}, {"MT", 130}, {"SR", 20}};
    // What a unit that finds its memory full meets: "drop" (lost), "reject" (the network keeps it
    // and tries again later) or "error322" (as reject, and sends are refused with +CMS ERROR: 322
    // while the report memory is full).
    std::string full = "drop";
    int retryMs = 2000; // the network's next try at a unit it kept
    std::string csmsOffer = "(0,1)"; // AT+CSMS=? ; "(0)" refuses acknowledgements
    int ackTimeoutMs = 5000; // an unacknowledged routed unit is given back and routing switched off
};

// Sets one option by its name; false with the reason for an unknown name or a bad value.
bool setOption(SimOptions& options, const std::string& key, const std::string& value, std::string& error);
// One line per option: its name and what it changes.
std::string optionUsage();

// Bytes to put on the line after a delay, or the instruction to drop the line.
struct Output
{
    std::chrono::milliseconds delay {0};
    std::string bytes;
    bool hangup = false;
};

struct SentUnit
{
    int reference = 0;
    SubmitUnit unit;
    bool textMode = false;
};

// What became of the units the network brought.
struct SimCounters
{
    int reportsMade = 0, reportsStored = 0, reportsRouted = 0, reportsDropped = 0, reportsReturned = 0;
    int inboundMade = 0, inboundStored = 0, inboundDropped = 0;
};

struct AirMessage
{
    std::string to;
    std::string text;
    int parts = 1;
};

// A GSM modem's command interpreter over a simulated message store. No I/O of its own: the
// server feeds it the bytes from the line and the control lines, and plays back its outputs.
class ModemSimulator
{
public:
    using TimePoint = std::chrono::steady_clock::time_point;
    using Now = std::function<TimePoint()>; // the clock of faults that last and of report delays

    explicit ModemSimulator(
        SimOptions options, Now now = [] { return std::chrono::steady_clock::now(); });

    std::vector<Output> receive(std::string_view bytes);
    std::string control(const std::string& line); // reply lines, the last one "OK" or "ERROR ..."
    void tick(); // stores the status reports that are due
    std::optional<TimePoint> nextDue() const;
    bool quitRequested() const { return m_quit; }
    // True once after "fault drop": the server hangs up the line and offers a fresh one.
    bool takeDropRequest() { return std::exchange(m_dropRequested, false); }
    // Indications announced since the last call ("+CMTI: ...", "+CDSI: ...", "+CDS: ..."), framed
    // for the line; held while a message is being entered, as AT+CNMI mode 2 asks.
    std::vector<std::string> takeUnsolicited()
    {
        return m_inBody ? std::vector<std::string> {} : std::exchange(m_unsolicited, {});
    }
    const SimCounters& counters() const { return m_counters; }

    const std::vector<SentUnit>& sentUnits() const { return m_sent; }
    const std::vector<AirMessage>& airMessages() const { return m_air; }
    const std::vector<std::string>& transcript() const { return m_transcript; }

private:
    struct Entry
    {
        int stat = 0; // 0 REC UNREAD, 1 REC READ, 2 STO UNSENT, 3 STO SENT
        std::string pdu;
        int listedLength = -1; // a length that disagrees with the unit; -1: the unit's own
    };
    // Where a flood of unsolicited lines goes.
    enum class Flood { Held, Free, AfterFinal };
    // What the next AT+CMGS meets instead of a prompt.
    enum class SendFault { None, Silent, Reboot, RebootKeepingEntry };
    struct Memory
    {
        int capacity = 0;
        std::map<int, Entry> entries;
    };
    struct PendingReport
    {
        TimePoint due;
        int reference;
        std::string recipient;
        Stamp sent;
    };
    // A unit the network holds: a report or message that found its memory full, or a routed
    // report given back for want of an acknowledgement.
    struct NetworkUnit
    {
        TimePoint due;
        bool report;
        std::string memory;
        std::string pdu;
    };

    struct AtArgs;
    struct ControlArgs;

    std::vector<Output> command(const std::string& line);
    std::string answer(const std::string& line);
    std::string identity() const;
    std::string signalQuality() const;
    std::string batteryCharge() const;
    std::string registration() const;
    std::string operatorName() const;
    std::string serviceCentre() const;
    std::string setServiceCentre(const std::string& typed);
    std::string setFormat(const std::string& arg);
    std::string setParameters(const std::string& arg);
    std::string startSend(const std::string& typed);
    std::string deleteRange();
    std::string deleteEntries(const std::string& arg);
    std::string sendBody(const std::string& body);
    std::string listing(const AtArgs& command);
    std::string readOne(const std::string& argument);
    std::string selectMemories(const std::string& argument);
    std::string memoryStatus(bool withNames) const;
    std::string entryText(int index, const Entry& entry, bool header, const char* prefix) const;
    enum class Announce { None, Message, Report };
    bool store(const std::string& memory, const std::string& pdu, int stat, std::string& error,
        Announce announce = Announce::None);
    // A unit from the network: routed, stored, kept for a later try or dropped as the options say.
    // False when it was dropped.
    bool arrive(bool report, const std::string& memory, const std::string& pdu, std::string& error);
    int cnmiValue(std::size_t index) const;
    bool memoryFull(const std::string& name);
    std::string selectService(const std::string& arg);
    std::string acknowledge();
    std::string countersText() const;
    void recordAir(const SentUnit& sent);
    std::string fault(const std::string& kind, const std::string& rest);
    std::string deliverText(ControlArgs& args);
    std::string storeUnit(ControlArgs& args, bool report);
    std::string storeReport(ControlArgs& args);
    std::string setByName(ControlArgs& args);
    std::string setReply(ControlArgs& args);
    std::string modemState() const;
    std::string sentRecords() const;
    std::string airRecords() const;
    std::string transcriptLines() const;
    std::string memoryEntries(const std::string& rest);
    std::string clearRecords();
    bool deliverBad(const std::string& kind, std::string& error);
    void reboot(bool keepEntry);
    bool silentNow() const { return m_silentUntil && m_now() < *m_silentUntil; }
    std::string unsolicitedLine();
    std::string withFlood(std::string reply, bool isListing);
    Stamp stampNow() const;
    Memory& memory(const std::string& name) { return m_memories[name]; }

    SimOptions m_options;
    Now m_now;
    bool m_echo;
    int m_mode;
    std::string m_mem[3] = {"SM", "SM", "SM"};
    std::string m_cnmi = "0,0,0,0,0";
    int m_textFirstOctet = 17;
    std::map<std::string, Memory> m_memories;
    std::string m_line;
    bool m_inBody = false;
    std::string m_bodyTarget;
    std::string m_body;
    int m_nextReference;
    std::vector<PendingReport> m_pending;
    std::vector<NetworkUnit> m_network;
    int m_service = 0; // AT+CSMS
    std::optional<TimePoint> m_ackDue; // a routed unit waits for AT+CNMA until then
    std::optional<NetworkUnit> m_unacknowledged;
    SimCounters m_counters;
    std::vector<SentUnit> m_sent;
    std::vector<AirMessage> m_air;
    std::map<std::string, std::map<int, std::string>> m_partial;
    std::vector<std::string> m_transcript;
    std::map<std::string, std::string> m_replies;
    // Faults on demand.
    int m_slowMs = 0;
    int m_splitMs = 0;
    std::optional<TimePoint> m_silentUntil;
    SendFault m_sendFault = SendFault::None;
    int m_sendFaultSeconds = 0;
    int m_floodLeft = 0;
    int m_floodSent = 0;
    int m_floodHeld = 0;
    Flood m_flood = Flood::Held;
    std::string m_errorAll;
    std::string m_refuseSend;
    std::string m_sendError;
    bool m_quit = false;
    bool m_dropRequested = false;
    bool m_holdDelete = false;
    std::vector<std::string> m_unsolicited;
    int m_inboundReference = 0;
};

std::string escapeText(const std::string& text);
std::string unescapeText(const std::string& text);

} // namespace vesk::modemsim
