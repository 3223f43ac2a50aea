#include "api/ApiService.h"

#include "support/KeptFiles.h"

#include "api/EmbeddedFiles.h"
#include "api/Submission.h"
#include "store/ApiIdempotency.h"
#include "store/ConnectionText.h"
#include "store/Outbox.h"
#include "store/OutboxSchema.h"
#include "store/StoreSchema.h"
#include "store/SystemRow.h"
#include "store/Webhooks.h"
#include "support/KeptFiles.h"
#include "support/Platform.h"

namespace vesk::api {

namespace {

// How long an SQLite outbox stays open after the last request: long enough to carry a steady
// stream of requests without reopening, short enough to leave a console its moments alone with it.
constexpr std::chrono::milliseconds kSqliteLinger {50};
// Rows per step of removing old webhook events, each its own short transaction.
constexpr int kHousekeepingStep = 5000;

} // namespace

ApiService::ApiService(ApiConfig config, Clock& clock, EventPump& pump, LogSink& log)
    : m_config(std::move(config))
    , m_clock(clock)
    , m_pump(pump)
    , m_log(log)
    , m_filter(KeptFilesFolder(m_config.dataFolder))
{
}

ApiService::~ApiService()
{
    stop();
}

bool ApiService::start(std::string& error)
{
    const store::DatabaseLocation place
        = store::LocationOf(m_config.database, m_config.dataFolder, store::kOutboxName);
    store::db outbox(m_clock, m_pump);
    outbox.setFilename(place.target);
    outbox.setSchema(place.schema);
    if (!outbox.FileExists()) {
        error = "there is no outbox in '" + m_config.dataFolder + "' (" + place.target + " is missing)";
        return false;
    }
    if (!outbox.OpenDatabase(store::mode::kReadWriteShared)) {
        error = "could not open " + outbox.Describe() + " : "
            + store::MaskPasswordIn(outbox.LastError(), place.target);
        return false;
    }
    // An outbox made before the API existed gets its tables here.
    store::UpgradeOutbox(outbox, m_log);
    if (!outbox.OpenBound("SELECT COUNT(*) FROM ApiKey", {})) {
        error = "the outbox " + outbox.Describe() + " has no API tables and could not be brought up to date";
        return false;
    }
    const auto limit = store::ReadMaxMessageSize(outbox);
    outbox.CloseDatabase();

    m_filter.LoadAddressFilter();
    if (m_filter.IsAddressFilterActive())
        m_log.Log(icon::kWarning, "", "Address filtering is active");
    m_pool = std::make_unique<ConnectionPool>(m_clock, m_pump, m_log, place.target, place.schema,
        std::max(m_config.server.threads, 1)
                * static_cast<int>(std::max<std::size_t>(m_config.server.listen.size(), 1))
            + 2);
    m_services = std::make_unique<Services>(*m_pool, m_log);
    m_services->maxTextChars = limit.value_or(0);
    m_services->station = StationName();
    m_services->webhookAllow = m_config.webhookAllow;
    m_services->files = EmbeddedFiles();
    m_services->refusal = [this](const std::string& number) -> std::optional<std::string> {
        if (m_filter.IsAddressAllowed(number, m_log))
            return std::nullopt;
        return "Recipient address failed Address Filtering.";
    };
    m_router = std::make_unique<Router>(ApiRoutes(), *m_services);
    m_server = std::make_unique<HttpServer>(
        m_config.server, [this](const Request& r) { return m_router->handle(r); },
        [this](const Request& r, const Response& a, std::chrono::nanoseconds took) {
            m_services->metrics.request(a.route, r.method, a.status, took);
        },
        [this](const std::string& text) { m_log.Log(icon::kWarning, "", "HTTP server: " + text); });
    if (!m_server->start(error))
        return false;
    addWorker(std::chrono::minutes(1), [this] { maintain(); });
    if (m_pool->kind() == store::EngineKind::Sqlite)
        addWorker(kSqliteLinger, [this] { m_pool->closeIdle(kSqliteLinger); });
    return true;
}

void ApiService::addWorker(std::chrono::milliseconds period, std::function<void()> job)
{
    m_workers.push_back(std::make_unique<PeriodicWorker>(period, std::move(job)));
}

void ApiService::maintain()
{
    auto db = m_pool->lease();
    if (!db.open())
        return;
    if (const auto limit = store::ReadMaxMessageSize(*db))
        m_services->maxTextChars = *limit;
    const auto writer = m_pool->writer();
    if (store::PurgeIdempotencyKeys(*db, Services::unixNow() - kIdempotencyLifetime) < 0)
        m_log.Log(icon::kError, "", "Old idempotency records could not be removed : " + db->LastError());
    // Webhook events past their days, in the outbox's steps; those still being retried stay.
    const std::int64_t before
        = (Services::unixNow() - std::int64_t {86400} * m_config.webhookKeepDays) * 1000;
    if (store::RemoveOldEvents(*db, before, kHousekeepingStep) < 0)
        m_log.Log(icon::kError, "", "Old webhook events could not be removed : " + db->LastError());
}

void ApiService::stop()
{
    if (m_server)
        m_server->stop();
    for (auto& w : m_workers)
        w->stop();
    m_workers.clear();
}

} // namespace vesk::api
