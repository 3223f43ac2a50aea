#include "store/WebhookStatus.h"

namespace vesk::store {

namespace {

std::int64_t numberOf(const DbValue& v)
{
    return static_cast<std::int64_t>(LeadingNumber(TextOf(v)));
}

// A try that was not a 2xx, written as the failed tries' index is, so both engines use it.
constexpr const char* kFailed = "a.atStatus NOT BETWEEN 200 AND 299";

} // namespace

bool ReadWebhookStatus(db& outbox, std::vector<WebhookEndpointStatus>& out)
{
    out.clear();
    // Without statistics SQLite counts through the index of all the endpoint's deliveries, reading
    // every one kept; the waiting ones have an index of their own.
    const char* waitingIndex
        = outbox.Kind() == EngineKind::Postgres ? "" : " INDEXED BY ixWebhookDeliveryWaiting";
    // The newest failure per endpoint comes from the failed tries' index; the last success is the
    // newest delivered delivery's, which is the newest there is, as an endpoint's deliveries go
    // oldest first.
    auto rs = outbox.OpenBound(
        std::string("SELECT whID, whUrl, whTypes, whDescription, whEnabled, whDisabledReason,"
                    " (SELECT COUNT(*) FROM WebhookDelivery w")
            + waitingIndex
            + " WHERE w.dlEndpoint = whID AND w.dlState = 0) AS Backlog, f.atTime AS FailedAt,"
              " f.atStatus AS FailedStatus, f.atError AS FailedError,"
              " (SELECT MAX(s.atTime) FROM WebhookAttempt s WHERE s.atDelivery ="
              " (SELECT d.dlID FROM WebhookDelivery d WHERE d.dlEndpoint = whID AND d.dlState = 1"
              " ORDER BY d.dlID DESC LIMIT 1) AND s.atStatus BETWEEN 200 AND 299) AS SucceededAt"
              " FROM WebhookEndpoint LEFT JOIN (SELECT d.dlEndpoint AS Endpoint, MAX(a.atID) AS Attempt"
              " FROM WebhookAttempt a JOIN WebhookDelivery d ON d.dlID = a.atDelivery WHERE "
            + kFailed
            + " GROUP BY d.dlEndpoint) n ON n.Endpoint = whID"
              " LEFT JOIN WebhookAttempt f ON f.atID = n.Attempt ORDER BY whID",
        {});
    if (!rs)
        return false;
    for (; !rs->IsEOF(); rs->MoveNext()) {
        WebhookEndpointStatus s;
        s.endpoint.id = RowIdOf(rs->Field("whID"));
        s.endpoint.url = TextOf(rs->Field("whUrl"));
        s.endpoint.types = TextOf(rs->Field("whTypes"));
        s.endpoint.description = TextOf(rs->Field("whDescription"));
        s.endpoint.enabled = numberOf(rs->Field("whEnabled")) != 0;
        s.endpoint.disabledReason = TextOf(rs->Field("whDisabledReason"));
        s.backlog = numberOf(rs->Field("Backlog"));
        if (rs->Field("FailedAt"))
            s.lastFailure = WebhookAttemptRow {numberOf(rs->Field("FailedAt")),
                static_cast<int>(numberOf(rs->Field("FailedStatus"))), TextOf(rs->Field("FailedError")), 0};
        s.lastSuccess = numberOf(rs->Field("SucceededAt"));
        out.push_back(std::move(s));
    }
    return true;
}

} // namespace vesk::store
