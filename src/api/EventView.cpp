#include "api/EventView.h"

#include "api/JsonBody.h"
#include "api/MessageView.h"
#include "store/ApiMessages.h"

#include <ctime>

namespace vesk::api {

namespace {

using nlohmann::json;

// What the event is about, as the API shows it now; false when the outbox could not be read.
bool dataOf(store::db& outbox, const store::WebhookEventRow& e, json& data)
{
    if (e.messageId > 0) {
        std::optional<store::MessageRecord> m;
        if (!store::LoadMessageRecord(outbox, e.messageId, m))
            return false;
        data = m ? MessageJson(*m) : json {{"id", e.messageId}, {"to", e.number}};
    } else if (e.inboundId > 0) {
        std::optional<store::InboundRecord> m;
        if (!store::LoadInbound(outbox, e.inboundId, m))
            return false;
        data = m ? InboundJson(*m) : json {{"id", e.inboundId}, {"from", e.number}};
    } else if (e.type == "webhook.test") {
        data = {{"test", true}};
    } else {
        data = {{"station", e.station}};
    }
    return true;
}

} // namespace

std::string EventId(const store::WebhookEventRow& e)
{
    return std::string(kEventIdPrefix) + e.uid;
}

std::string Rfc3339Millis(std::int64_t unixMillis)
{
    const std::time_t t = static_cast<std::time_t>(unixMillis / 1000);
    std::tm tm {};
    gmtime_r(&t, &tm);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", tm.tm_year + 1900, tm.tm_mon + 1,
        tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, static_cast<int>(unixMillis % 1000));
    return text;
}

std::optional<std::string> EventBody(store::db& outbox, const store::WebhookEventRow& e)
{
    if (e.body)
        return e.body;
    json data;
    if (!dataOf(outbox, e, data))
        return std::nullopt;
    const std::string body = JsonText(
        json {{"type", e.type}, {"timestamp", Rfc3339Millis(e.created)}, {"data", std::move(data)}});
    // Another dispatcher or a listing may have fixed it a moment ago: theirs holds.
    return store::FixEventBody(outbox, e.id, body);
}

} // namespace vesk::api
