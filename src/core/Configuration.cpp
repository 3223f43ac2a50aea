#include "core/Configuration.h"

#include "core/Context.h"
#include "mail/MailQueue.h"
#include "store/Outbox.h"
#include "support/Convert.h"

namespace vesk::core {

ApplyResult ApplyConfiguration(Context& ctx, const Configuration& config, bool machineSettingsChanged)
{
    ApplyResult result;
    const auto failed = [&](const std::string& text) {
        ctx.app.Log(icon::kError, "", text);
        result.errors.push_back(text);
    };

    mail::Diagnostics& diag = ctx.diagnostics;
    diag.Email = Trim(config.alertEmail);
    diag.NotifyMessages = config.alertOnFailedMessages;
    diag.NotifySignal = config.alertOnWeakSignal;
    diag.NotifyModem = config.alertOnLostModem;
    diag.SignalLevel = config.alertSignalLevel;
    mail::SaveDiagnostics(diag, ctx.outbox);

    // A password kept in a file never goes into the shared outbox.
    const std::string password = ctx.mail.settings.passwordFile.empty() ? config.mailPassword : "";
    mail::SaveMailConfig(
        ctx.outbox, Trim(config.mailServer), Trim(config.mailAccount), password, config.mailLoginMethod);
    mail::InitMail(ctx.mail, ctx.outbox);

    if (config.forwardRules
        && !routing::SaveForwardRules(ctx.outbox, *config.forwardRules, ctx.config.AgentAddress))
        failed("The forwarding rules could not be saved");

    if (!store::SaveSystemSettings(
            store::OutboxLocation(ctx.outbox, ctx.DataFolder), ctx.outbox.settings, ctx.clock, ctx.pump))
        failed("The system settings could not be saved");

    // The filter action lives in the settings file, so a change to it alone must write the file too.
    if (ctx.config.FilterActionDelete != config.filterActionDelete) {
        ctx.config.FilterActionDelete = config.filterActionDelete;
        machineSettingsChanged = true;
    }
    ctx.filter.SetAddressFilterText(config.addressFilter);
    if (!ctx.filter.SaveAddressFilter())
        failed("The address filter could not be saved to " + ctx.filter.filePath());

    if (machineSettingsChanged) {
        ctx.app.SaveEnviroment(ctx.config, ctx.DataFolder);
        result.machineSettingsSaved = true;
    }
    return result;
}

} // namespace vesk::core
