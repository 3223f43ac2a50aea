#include "api/WebhookInput.h"

#include "api/Times.h"
#include "api/WebhookTarget.h"

#include <algorithm>

namespace vesk::api {

namespace {

using nlohmann::json;

constexpr std::string_view kTypes[]
    = {"inbound.received", "message.sent", "message.delivered", "message.undelivered", "message.failed",
        "message.expired", "message.canceled", "console.modem_offline", "console.modem_online"};
constexpr std::size_t kMaxDescription = 200;

bool prefixForm(const std::string& p)
{
    return p.empty()
        || (p.size() >= 2 && p.size() <= 16 && p[0] == '+'
            && p.find_first_not_of("0123456789", 1) == std::string::npos);
}

std::vector<std::string> typeList(const std::string& stored)
{
    std::vector<std::string> out;
    if (stored == "*")
        return {"*"};
    std::string rest = stored;
    for (std::size_t at = 0; (at = rest.find(',')) != std::string::npos;) {
        if (at > 0)
            out.push_back(rest.substr(0, at));
        rest = rest.substr(at + 1);
    }
    return out;
}

} // namespace

std::span<const std::string_view> WebhookEventTypes()
{
    return kTypes;
}

std::variant<EndpointInput, Problem> ApplyEndpointBody(
    const json& body, store::WebhookEndpointRow e, bool creating, const std::vector<AddressRange>& allow)
{
    std::vector<FieldError> errors;
    const auto fail = [&](std::string_view type, const std::string& field, std::string reason) {
        errors.push_back({"/" + field, std::move(reason), std::string(type)});
    };
    EndpointInput in;
    static const std::vector<std::string> kFields
        = {"url", "types", "from_prefix", "to_prefix", "description", "enabled", "rotate_secret"};
    for (const auto& [name, value] : body.items()) {
        if (std::find(kFields.begin(), kFields.end(), name) == kFields.end()
            || (creating && (name == "enabled" || name == "rotate_secret")))
            fail("unknown-field", name,
                "not a field of a webhook endpoint" + std::string(creating ? " to create" : ""));
    }
    if (body.contains("url")) {
        std::string why;
        if (!body["url"].is_string()) {
            fail("invalid-field", "url", "must be a string");
        } else if (const auto target = ParseTargetUrl(body["url"].get<std::string>(), why); !target) {
            fail("invalid-url", "url", why);
        } else if (AddressBytes(target->host) && !AddressAllowed(target->host, allow)) {
            fail("invalid-url", "url",
                "the address is internal; it is refused unless [Webhooks] Allow lists it");
        } else {
            e.url = body["url"].get<std::string>();
        }
    } else if (creating) {
        fail("invalid-field", "url", "is required");
    }
    if (body.contains("types")) {
        const json& t = body["types"];
        std::string stored = ",";
        bool all = false;
        if (!t.is_array() || t.empty()) {
            fail("invalid-field", "types", "must be a list of event types, or [\"*\"] for all");
        } else {
            for (std::size_t i = 0; i < t.size(); ++i) {
                const std::string name = t[i].is_string() ? t[i].get<std::string>() : "";
                if (name == "*")
                    all = true;
                else if (std::find(std::begin(kTypes), std::end(kTypes), name) != std::end(kTypes))
                    stored += stored.find("," + name + ",") == std::string::npos ? name + "," : "";
                else
                    fail("invalid-field", "types/" + std::to_string(i), "not an event type");
            }
        }
        e.types = all ? "*" : stored;
    } else if (creating) {
        e.types = "*";
    }
    for (const auto& [field, target] : {std::pair {"from_prefix", &e.from}, std::pair {"to_prefix", &e.to}}) {
        if (!body.contains(field))
            continue;
        const json& v = body[field];
        if (v.is_null())
            *target = "";
        else if (v.is_string() && prefixForm(v.get<std::string>()))
            *target = v.get<std::string>();
        else
            fail("invalid-field", field, "must be \"+\" and 1 to 15 digits, or null for any number");
    }
    if (body.contains("description")) {
        const json& v = body["description"];
        if (!v.is_string() || v.get<std::string>().size() > kMaxDescription
            || std::any_of(v.get_ref<const std::string&>().begin(), v.get_ref<const std::string&>().end(),
                [](char c) { return static_cast<unsigned char>(c) < 0x20; }))
            fail("invalid-field", "description", "must be a line of at most 200 characters");
        else
            e.description = v.get<std::string>();
    }
    if (body.contains("enabled") && !creating) {
        if (!body["enabled"].is_boolean()) {
            fail("invalid-field", "enabled", "must be true or false");
        } else {
            e.enabled = body["enabled"].get<bool>();
            if (e.enabled)
                e.disabledReason.clear();
            else if (e.disabledReason.empty())
                e.disabledReason = "disabled through the API";
        }
    }
    if (body.contains("rotate_secret") && !creating) {
        if (!body["rotate_secret"].is_boolean())
            fail("invalid-field", "rotate_secret", "must be true or false");
        else
            in.rotateSecret = body["rotate_secret"].get<bool>();
    }
    if (!errors.empty())
        return FieldProblems(std::move(errors));
    in.endpoint = std::move(e);
    return in;
}

json EndpointJson(const store::WebhookEndpointRow& e)
{
    return {{"id", e.id}, {"url", e.url}, {"types", typeList(e.types)},
        {"from_prefix", e.from.empty() ? json(nullptr) : json(e.from)},
        {"to_prefix", e.to.empty() ? json(nullptr) : json(e.to)}, {"description", e.description},
        {"enabled", e.enabled},
        {"disabled_reason", e.disabledReason.empty() ? json(nullptr) : json(e.disabledReason)},
        {"created_at", e.created > 0 ? json(Rfc3339(e.created)) : json(nullptr)},
        {"previous_secret_until",
            e.oldUntil > 0 && !e.oldSecret.empty() ? json(Rfc3339(e.oldUntil)) : json(nullptr)}};
}

} // namespace vesk::api
