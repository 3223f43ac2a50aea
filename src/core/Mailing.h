#pragma once

#include "routing/Forwarding.h"
#include "support/DateTime.h"

#include <string>

namespace vesk::core {

struct Context;

// The console's side of forwarding, the mail queue and the alerts.
routing::ForwardTarget ForwardTargetOf(Context& ctx);
void ForwardInbound(Context& ctx, const std::string& sender, const std::string& text, DateTime received);
void RunMailQueue(Context& ctx);
void RunAlertChecks(Context& ctx);
// The modem-link alert now (within its repeat period), whatever the next check would find.
void RaiseLinkAlert(Context& ctx);
void RaiseFailureAlert(
    Context& ctx, const std::string& address, const std::string& name, const std::string& error);

} // namespace vesk::core
