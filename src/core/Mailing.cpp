#include "core/Mailing.h"

#include "core/Context.h"
#include "mail/Diagnostics.h"
#include "mail/MailQueue.h"
#include "support/Platform.h"

namespace vesk::core {
namespace {

class AppFeedback final : public mail::Feedback
{
public:
    explicit AppFeedback(ConsoleApp& app)
        : m_app(app)
    {
    }
    void PushFeedback(const std::string& text) override { m_app.PushFeedback(text); }
    void PopFeedback() override { m_app.PopFeedback(); }

private:
    ConsoleApp& m_app;
};

// Answers from the driver the console holds now; no driver means no link and no reading.
class DriverProbe final : public mail::ModemProbe
{
public:
    explicit DriverProbe(Context& ctx)
        : m_ctx(ctx)
    {
    }
    bool IsPortOpen() override { return m_ctx.modem && m_ctx.modem->IsPortOpen(); }
    bool IsModemPresent() override { return m_ctx.modem && m_ctx.modem->IsModemPresent(); }
    int SignalLevel() override { return m_ctx.modem ? m_ctx.modem->SignalLevel() : -1; }

private:
    Context& m_ctx;
};

} // namespace

routing::ForwardTarget ForwardTargetOf(Context& ctx)
{
    routing::ForwardTarget target;
    target.agentAddress = ctx.config.AgentAddress;
    target.station = StationName();
    target.queueMail
        = [&ctx](const std::string& recipients, const std::string& subject, const std::string& body) {
              return mail::QueueMail(ctx.outbox, recipients, subject, body);
          };
    return target;
}

void ForwardInbound(Context& ctx, const std::string& sender, const std::string& text, DateTime received)
{
    routing::ForwardMessage(ctx.outbox, ForwardTargetOf(ctx), sender, text, received);
}

void RunMailQueue(Context& ctx)
{
    AppFeedback feedback(ctx.app);
    mail::ProcessMailQueue(ctx.mail, ctx.outbox, feedback);
}

void RunAlertChecks(Context& ctx)
{
    AppFeedback feedback(ctx.app);
    DriverProbe probe(ctx);
    const mail::AlertOrigin origin {HostName(), ctx.IMEICode, ctx.config.AgentAddress};
    mail::CheckAlerts(ctx.diagnostics, ctx.outbox, probe, origin, feedback);
}

void RaiseLinkAlert(Context& ctx)
{
    // The modem is taken for absent: it answers nothing but message text.
    class Stuck final : public mail::ModemProbe
    {
    public:
        bool IsPortOpen() override { return true; }
        bool IsModemPresent() override { return false; }
        int SignalLevel() override { return -1; }
    } stuck;
    AppFeedback feedback(ctx.app);
    const mail::AlertOrigin origin {HostName(), ctx.IMEICode, ctx.config.AgentAddress};
    mail::CheckModemAlert(ctx.diagnostics, ctx.outbox, stuck, origin, feedback);
}

void RaiseFailureAlert(
    Context& ctx, const std::string& address, const std::string& name, const std::string& error)
{
    AppFeedback feedback(ctx.app);
    mail::SendFailureAlert(ctx.diagnostics, ctx.outbox, address, name, error, ctx.clock.now(), feedback);
}

} // namespace vesk::core
