#include "webhooks/Dispatcher.h"

#include "api/ConnectionPool.h"
#include "api/EventView.h"
#include "api/WebhookTarget.h"
#include "store/DiagnosticTable.h"
#include "store/MailTables.h"
#include "store/Webhooks.h"
#include "support/Convert.h"
#include "webhooks/Poster.h"
#include "webhooks/Signing.h"

#include <random>

namespace vesk::webhooks {

namespace {

// How often the endpoints are looked at for new, removed, enabled or disabled ones.
constexpr std::chrono::seconds kSuperviseEvery {1};
// A delivery still failing after this long, or failed for good, is told to the operator: once
// a day per endpoint.
constexpr std::int64_t kAlertAfterMs = 3600 * 1000;
constexpr std::int64_t kAlertEverySeconds = 24 * 3600;

std::int64_t unixMillis(const Clock& clock)
{
    return UnixFromLocal(clock.now()) * 1000;
}

void openIfClosed(store::db& db)
{
    if (!db.IsConnected())
        db.OpenDatabase(store::mode::kReadWriteShared);
}

} // namespace

class Dispatcher::Lane
{
public:
    Lane(Dispatcher& owner, RowId endpoint)
        : m_owner(owner)
        , m_endpoint(endpoint)
        , m_db(owner.m_clock, owner.m_pump)
        , m_poster(owner.m_settings.allow, owner.m_settings.timeout)
        , m_random(std::random_device {}())
    {
        m_db.setFilename(owner.m_target);
        m_db.setSchema(owner.m_schema);
        m_db.LockWaitMs = api::kApiLockWaitMs;
        m_thread = std::thread([this] { run(); });
    }
    ~Lane() { stop(); }

    void stop()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_stopping = true;
        }
        m_wake.notify_all();
        if (m_thread.joinable())
            m_thread.join();
    }
    bool finished() const { return m_finished; }

private:
    void run()
    {
        while (!stopping() && !m_finished) {
            if (round())
                continue;
            std::unique_lock lock(m_mutex);
            m_wake.wait_for(lock, m_owner.m_settings.poll, [&] { return m_stopping; });
        }
        m_db.CloseDatabase();
    }

    bool stopping()
    {
        const std::lock_guard lock(m_mutex);
        return m_stopping;
    }

    // One batch of the endpoint's due deliveries; true when one went out.
    bool round()
    {
        openIfClosed(m_db);
        std::optional<store::WebhookEndpointRow> e;
        if (!m_db.IsConnected() || !store::LoadWebhookEndpoint(m_db, m_endpoint, e)) {
            m_db.CloseDatabase(); // opened afresh next time
            return false;
        }
        if (!e || !e->enabled) {
            m_finished = true;
            return false;
        }
        const bool server = m_db.Kind() == store::EngineKind::Postgres;
        // On a server the turn is held until the outcomes are written; a file is never held
        // while receivers are being called.
        if (!m_db.BeginTransaction())
            return false;
        if (!store::TakeEndpointTurn(m_db, m_endpoint)) {
            m_db.RollbackTransaction();
            return false;
        }
        std::vector<store::WebhookDeliveryRow> due;
        std::vector<std::string> bodies;
        const std::int64_t now = unixMillis(m_owner.m_clock);
        if (store::WaitingDeliveries(m_db, m_endpoint, m_owner.m_settings.batch, due)) {
            std::size_t ready = 0;
            while (ready < due.size() && due[ready].due <= now) {
                const auto body = api::EventBody(m_db, due[ready].event);
                if (!body)
                    break;
                bodies.push_back(*body);
                ++ready;
            }
            due.resize(ready);
        } else {
            due.clear();
        }
        if (due.empty() || (!server && !m_db.CommitTransaction())) {
            m_db.RollbackTransaction();
            return false;
        }
        const auto outcomes = deliver(*e, due, bodies);
        if (!server && !m_db.BeginTransaction())
            return true; // sent again later, with the same ids
        bool written = true;
        for (const auto& [after, attempt] : outcomes)
            written = written && store::RecordDeliveryAttempt(m_db, after.delivery, attempt);
        const bool gone = !outcomes.empty() && outcomes.back().first.verdict == Verdict::Disable;
        if (gone)
            written = written
                && store::DisableWebhookEndpoint(m_db, m_endpoint, "the receiver answered 410 Gone");
        if (!written || !m_db.CommitTransaction()) {
            m_owner.m_log.Log(icon::kError, "",
                "Webhook endpoint " + std::to_string(m_endpoint)
                    + ": outcomes not recorded, sent again later : " + m_db.LastError());
            m_db.RollbackTransaction();
            return true;
        }
        report(*e, outcomes, now);
        if (gone)
            m_finished = true;
        return true;
    }

    using Outcome = std::pair<AfterTry, store::WebhookAttemptRow>;

    // Posts the deliveries in order until one is not taken: the later ones wait behind it.
    std::vector<Outcome> deliver(const store::WebhookEndpointRow& e,
        const std::vector<store::WebhookDeliveryRow>& due, const std::vector<std::string>& bodies)
    {
        std::vector<Outcome> outcomes;
        std::uniform_real_distribution<double> jitter(0.0, 1.0);
        for (std::size_t i = 0; i < due.size() && !stopping(); ++i) {
            const std::int64_t now = unixMillis(m_owner.m_clock);
            std::vector<std::string> secrets {e.secret};
            if (!e.oldSecret.empty() && e.oldUntil * 1000 > now)
                secrets.push_back(e.oldSecret);
            const std::string id = api::EventId(due[i].event);
            const std::int64_t timestamp = now / 1000;
            const Poster::Answer answer = m_poster.post(e.url,
                {{"webhook-id", id}, {"webhook-timestamp", std::to_string(timestamp)},
                    {"webhook-signature", SignatureHeader(secrets, id, timestamp, bodies[i])}},
                bodies[i]);
            AfterTry after = AfterAttempt(due[i], answer.result, now, jitter(m_random));
            outcomes.emplace_back(after,
                store::WebhookAttemptRow {now, answer.result.status,
                    answer.error.empty() && after.verdict != Verdict::Delivered
                        ? "HTTP " + std::to_string(answer.result.status)
                        : answer.error,
                    answer.millis});
            if (after.verdict == Verdict::Retry || after.verdict == Verdict::Disable)
                break;
        }
        return outcomes;
    }

    // Log lines for what did not go, and the operator's alert.
    void report(const store::WebhookEndpointRow& e, const std::vector<Outcome>& outcomes, std::int64_t now)
    {
        std::string alert;
        for (const auto& [after, attempt] : outcomes) {
            const std::string what = "Webhook endpoint " + std::to_string(m_endpoint) + ": "
                + api::EventId(after.delivery.event) + " (" + after.delivery.event.type + ") ";
            if (after.verdict == Verdict::Failed)
                alert = what + "failed for good after " + std::to_string(after.delivery.attempts)
                    + " tries: " + attempt.error;
            else if (after.verdict == Verdict::Disable)
                alert = what + "refused with 410 Gone; the endpoint is disabled";
            else if (after.verdict == Verdict::Retry && now - after.delivery.first >= kAlertAfterMs)
                alert = what + "still failing after " + std::to_string(after.delivery.attempts)
                    + " tries: " + attempt.error;
            if (after.verdict != Verdict::Delivered && after.verdict != Verdict::Retry)
                m_owner.m_log.Log(icon::kWarning, "", EscapeControls(alert));
        }
        if (!alert.empty())
            sendAlert(e, alert, now / 1000);
    }

    void sendAlert(const store::WebhookEndpointRow& e, const std::string& text, std::int64_t nowSeconds)
    {
        auto rows = store::DiagnosticRows(m_db);
        const std::string to = rows && !rows->IsEOF() ? TextOf(rows->Field("diagEmail")) : "";
        if (to.empty()
            || !store::TakeWebhookAlert(m_db, m_endpoint, nowSeconds, nowSeconds - kAlertEverySeconds))
            return;
        std::string why;
        const auto target = api::ParseTargetUrl(e.url, why);
        store::QueueMailRow(m_db, to,
            "Webhook Alert - endpoint " + std::to_string(m_endpoint) + " is failing",
            "Endpoint\t : " + std::to_string(m_endpoint) + " (" + (target ? target->host : std::string("?"))
                + ")\r\n" + "Problem\t : " + EscapeControls(text) + "\r\n"
                + "Failed deliveries stay in its log and can be sent again.");
    }

    Dispatcher& m_owner;
    RowId m_endpoint;
    store::db m_db;
    Poster m_poster;
    std::mt19937 m_random;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopping = false;
    std::atomic<bool> m_finished {false};
    std::thread m_thread;
};

Dispatcher::Dispatcher(std::string target, std::string schema, Clock& clock, EventPump& pump, LogSink& log,
    DispatcherSettings settings)
    : m_target(std::move(target))
    , m_schema(std::move(schema))
    , m_clock(clock)
    , m_pump(pump)
    , m_log(log)
    , m_settings(std::move(settings))
{
}

Dispatcher::~Dispatcher()
{
    stop();
}

void Dispatcher::start()
{
    m_thread = std::thread([this] { supervise(); });
}

void Dispatcher::stop()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
    m_lanes.clear();
}

void Dispatcher::supervise()
{
    store::db db(m_clock, m_pump);
    db.setFilename(m_target);
    db.setSchema(m_schema);
    std::unique_lock lock(m_mutex);
    while (!m_stopping) {
        lock.unlock();
        openIfClosed(db);
        std::vector<store::WebhookEndpointRow> endpoints;
        if (db.IsConnected() && store::ListWebhookEndpoints(db, endpoints)) {
            std::erase_if(m_lanes, [](const auto& lane) { return lane.second->finished(); });
            for (const auto& e : endpoints)
                if (e.enabled && !m_lanes.count(e.id))
                    m_lanes.emplace(e.id, std::make_unique<Lane>(*this, e.id));
            // A removed endpoint's lane ends when it finds its endpoint gone.
        }
        // An SQLite outbox is left free between looks.
        if (db.Kind() == store::EngineKind::Sqlite)
            db.CloseDatabase();
        lock.lock();
        m_wake.wait_for(lock, kSuperviseEvery, [&] { return m_stopping; });
    }
}

} // namespace vesk::webhooks
