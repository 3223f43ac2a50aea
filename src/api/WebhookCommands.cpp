#include "api/WebhookCommands.h"

#include "api/Keys.h"
#include "api/Services.h"
#include "api/WebhookInput.h"
#include "api/WebhookSecret.h"
#include "store/Webhooks.h"

#include <iomanip>
#include <map>

namespace vesk::api {

namespace {

constexpr int kBadInput = 1;
constexpr int kDatabaseFailure = 2;

const char* const kUsage
    = "Usage: vesk-api webhook add --url URL [--types TYPE,...] [--from +PREFIX] [--to +PREFIX]"
      " [--description TEXT]\n"
      "       vesk-api webhook list\n"
      "       vesk-api webhook remove ID\n";

int addEndpoint(const std::map<std::string, std::string>& options, store::db& outbox,
    const std::vector<AddressRange>& allow, std::ostream& out, std::ostream& err)
{
    nlohmann::json body = nlohmann::json::object();
    for (const auto& [option, value] : options) {
        if (option == "--url")
            body["url"] = value;
        else if (option == "--types")
            body["types"] = SplitList(value);
        else if (option == "--from")
            body["from_prefix"] = value;
        else if (option == "--to")
            body["to_prefix"] = value;
        else if (option == "--description")
            body["description"] = value;
    }
    store::WebhookEndpointRow fresh;
    fresh.created = Services::unixNow();
    auto applied = ApplyEndpointBody(body, fresh, true, allow);
    if (const auto* p = std::get_if<Problem>(&applied)) {
        for (const FieldError& e : p->errors)
            err << "vesk-api: " << e.pointer.substr(1) << ": " << e.reason << '\n';
        return kBadInput;
    }
    store::WebhookEndpointRow e = std::get<EndpointInput>(applied).endpoint;
    e.secret = NewWebhookSecret();
    if (e.secret.empty()) {
        err << "vesk-api: the system gave no random bytes for a secret\n";
        return kDatabaseFailure;
    }
    e.id = store::AddWebhookEndpoint(outbox, e);
    if (e.id == 0) {
        err << "vesk-api: the endpoint could not be stored: " << outbox.LastError() << '\n';
        return kDatabaseFailure;
    }
    out << e.secret << '\n';
    err << "vesk-api: webhook endpoint " << e.id << " made for " << e.url
        << "; its signing secret is shown only this once\n";
    return 0;
}

int listEndpoints(store::db& outbox, std::ostream& out, std::ostream& err)
{
    std::vector<store::WebhookEndpointRow> rows;
    if (!store::ListWebhookEndpoints(outbox, rows)) {
        err << "vesk-api: the webhook endpoints could not be read: " << outbox.LastError() << '\n';
        return kDatabaseFailure;
    }
    out << std::left << std::setw(6) << "ID" << std::setw(50) << "URL" << std::setw(10) << "STATE"
        << "TYPES\n";
    for (const auto& e : rows)
        out << std::setw(6) << e.id << std::setw(50) << e.url << std::setw(10)
            << (e.enabled ? "enabled" : "disabled")
            << (e.types == "*" ? "all" : e.types.substr(1, e.types.size() > 1 ? e.types.size() - 2 : 0))
            << '\n';
    return 0;
}

} // namespace

int RunWebhookCommand(const std::vector<std::string>& args, store::db& outbox,
    const std::vector<AddressRange>& allow, std::ostream& out, std::ostream& err)
{
    const std::string verb = args.empty() ? "" : args[0];
    if (verb == "list" && args.size() == 1)
        return listEndpoints(outbox, out, err);
    if (verb == "remove" && args.size() == 2) {
        const std::string& id = args[1];
        const bool digits
            = !id.empty() && id.size() < 18 && id.find_first_not_of("0123456789") == std::string::npos;
        const int removed = digits ? store::DeleteWebhookEndpoint(outbox, std::stoll(id)) : 0;
        if (removed < 0) {
            err << "vesk-api: the endpoint could not be removed: " << outbox.LastError() << '\n';
            return kDatabaseFailure;
        }
        if (removed == 0) {
            err << "vesk-api: there is no webhook endpoint " << id << '\n';
            return kBadInput;
        }
        err << "vesk-api: webhook endpoint " << id << " removed with its deliveries\n";
        return 0;
    }
    if (verb == "add") {
        std::map<std::string, std::string> options;
        bool shaped = args.size() % 2 == 1;
        for (std::size_t i = 1; i + 1 < args.size(); i += 2) {
            options[args[i]] = args[i + 1];
            shaped = shaped
                && (args[i] == "--url" || args[i] == "--types" || args[i] == "--from" || args[i] == "--to"
                    || args[i] == "--description");
        }
        if (shaped && options.count("--url"))
            return addEndpoint(options, outbox, allow, out, err);
    }
    err << kUsage;
    return kBadInput;
}

} // namespace vesk::api
