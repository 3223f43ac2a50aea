#pragma once

#include "mail/Diagnostics.h"
#include "routing/Forwarding.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vesk::core {

struct Context;

// The outbox-wide settings and the address filter as the configuration dialog gathers them; the
// machine settings and the system row are edited in the context itself.
struct Configuration
{
    std::string alertEmail;
    bool alertOnFailedMessages = false;
    bool alertOnWeakSignal = false;
    bool alertOnLostModem = false;
    std::int16_t alertSignalLevel = 0;

    std::string mailServer;
    std::string mailAccount;
    std::string mailPassword; // not stored when the password is kept in a file
    std::int16_t mailLoginMethod = 0;

    // Only when the rules were edited: saving rewrites the table.
    std::optional<std::vector<routing::ForwardRuleRow>> forwardRules;

    bool filterActionDelete = false;
    std::string addressFilter;
};

struct ApplyResult
{
    bool machineSettingsSaved = false;
    std::vector<std::string> errors; // each also in the activity log
};

// Stores a configuration: alerts, mail account, forwarding rules, the system row, the address
// filter, and the machine settings when they (or the filter action) changed.
ApplyResult ApplyConfiguration(Context& ctx, const Configuration& config, bool machineSettingsChanged);

} // namespace vesk::core
