#pragma once

#include "support/Clock.h"
#include "support/EventPump.h"

#include <optional>
#include <string>
#include <vector>

namespace vesk::modem {

// The table of tested modems shipped next to the program, one "|"-separated entry per line.
inline constexpr const char* kModemListName = "ModemList.dat";

// Fields of an entry, in file order.
enum ModemListField : std::size_t {
    kModel,
    kDescription,
    kCompatibility,
    kMessageMemory,
    kReportMemory,
    kInitString,
    kNotes,
    kModemListFieldCount
};

// The fields of the first entry whose model equals `model` without regard to case, padded to
// the seven fields; nothing when the list is missing or has no such entry.
std::optional<std::vector<std::string>> LookupModem(const std::string& model);
std::optional<std::vector<std::string>> LookupModem(const std::string& model, const std::string& listPath);

// Finds the attached modem with a driver of its own and asks its model; "" when none answered.
// Besides the serial devices that exist it tries `alsoTry`, a port the user named (a pty link
// such as the simulator's is not among the devices).
std::string DetectModemModel(Clock& clock, EventPump& pump, const std::string& alsoTry = {});

} // namespace vesk::modem
