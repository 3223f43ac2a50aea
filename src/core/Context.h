#pragma once

#include "core/CConfig.h"
#include "core/ConsoleApp.h"
#include "core/ConsoleRecord.h"
#include "core/Joining.h"
#include "core/Keeping.h"
#include "core/ReportTaking.h"
#include "mail/Diagnostics.h"
#include "mail/MailQueue.h"
#include "modem/GSMModem.h"
#include "routing/AddressFilter.h"
#include "routing/NameCache.h"
#include "store/Outbox.h"
#include "support/ClockStepWatch.h"
#include "support/SteadyTime.h"

#include <memory>
#include <optional>
#include <string>

namespace vesk {
class Clock;
class EventPump;
} // namespace vesk

namespace vesk::core {

class SettingsStore;
class ConsoleWindow;

// Values given on the command line for this run only; the settings file keeps its own.
struct RunOverrides
{
    std::optional<std::string> dataFolder;
    std::optional<std::string> port; // also turns the modem search off
    std::optional<std::string> database; // a connection string in place of the data folder's files
};

// Everything that lives from start-up to shutdown. main owns one; tests build as many as they
// need (two consoles sharing one outbox are two contexts).
struct Context
{
    Context(Clock& clock, EventPump& pump, SettingsStore& settings, std::string programFolder);

    Clock& clock;
    EventPump& pump;
    SettingsStore& settings;
    std::string programFolder; // with a trailing "/": the templates and the modem list
    ConsoleApp app;
    CConfig config;
    std::string DataFolder;
    std::string commandLine; // lower-cased, for the start-up switches
    RunOverrides overrides;
    ConsoleWindow* window = nullptr;

    SteadyTime EndTime; // unset unless the console stops by itself
    int MaxMessageSize = 160;
    std::string AgentIMEI;
    std::string IMEICode; // as the modem reported it; empty until one did
    std::unique_ptr<modem::GSMModem> modem;
    store::Outbox outbox;
    routing::AddressFilter filter;
    routing::NameCache nameCache;
    mail::MailQueue mail;
    mail::Diagnostics diagnostics;
    long sentCount = 0; // messages sent since start
    long claimsLost = 0; // rows another console claimed first (on files; a server's claim takes a free row)
    PartGroups partGroups; // long inbound messages waiting for their other parts
    int entryLeaveFailures = 0; // tries in a row to end message entry that the modem did not answer
    ConsoleFigures figures; // what the console table shows of this console
    KeptUnits units; // inbound messages and reports on their way from the modem to the outbox
    ReportTaking reports; // how delivery reports are taken before a full memory drops them
    std::optional<bool> modemLinkUp; // as last told to the outbox's event feed; unset before the first pass

    // The console's own waits, on the steady count: a step of the wall clock neither stalls nor
    // rushes them.
    SteadyTime NextCycle;
    SteadyTime NextRead;
    SteadyTime NextSend;
    SteadyTime NextLinkCheck;
    ClockStepWatch clockWatch;
    bool tickRunning = false;
    bool stopRequested = false; // the window has unloaded: the front end ends its loop
};

// "V.1.2.3"
std::string VersionText();
// "1.2.3"
std::string VersionNumbers();

} // namespace vesk::core
