#include "api/KeyCommands.h"

#include "api/AddressRange.h"
#include "api/Keys.h"
#include "api/Router.h"
#include "api/Services.h"
#include "api/Times.h"
#include "store/ApiKeys.h"

#include <algorithm>
#include <iomanip>
#include <map>

namespace vesk::api {

namespace {

constexpr int kBadInput = 1;
constexpr int kDatabaseFailure = 2;

int addKey(const std::map<std::string, std::string>& options, store::db& outbox, std::ostream& out,
    std::ostream& err)
{
    const auto value = [&](const char* name) {
        const auto it = options.find(name);
        return it == options.end() ? std::string() : it->second;
    };
    const std::string name = value("--name");
    if (!ValidKeyName(name)) {
        err << "vesk-api: --name takes 1 to 64 letters, digits, '.', '_' or '-'\n";
        return kBadInput;
    }
    const std::vector<std::string> known = KnownScopes(ApiRoutes());
    const std::vector<std::string> scopes = SplitList(value("--scope"));
    if (scopes.empty()) {
        err << "vesk-api: --scope names what the key may do, some of:";
        for (const auto& s : known)
            err << ' ' << s;
        err << '\n';
        return kBadInput;
    }
    for (const std::string& s : scopes)
        if (std::find(known.begin(), known.end(), s) == known.end()) {
            err << "vesk-api: there is no scope '" << s << "'\n";
            return kBadInput;
        }
    const auto allow = AddressRange::ParseList(value("--allow"));
    if (!allow) {
        err << "vesk-api: --allow takes addresses or networks, as 10.0.0.0/8,2001:db8::/32\n";
        return kBadInput;
    }
    const std::string key = NewKeyText();
    if (key.empty()) {
        err << "vesk-api: the system gave no random bytes for a key\n";
        return kDatabaseFailure;
    }
    std::string scopeText, allowText;
    for (const auto& s : scopes)
        scopeText += (scopeText.empty() ? "" : ",") + s;
    for (const auto& a : *allow)
        allowText += (allowText.empty() ? "" : ",") + a.Text();
    switch (store::AddApiKey(outbox, {name, KeyHash(key), scopeText, allowText, Services::unixNow(), 0})) {
    case store::KeyAdded::NameTaken:
        err << "vesk-api: there is already a key named '" << name << "'\n";
        return kBadInput;
    case store::KeyAdded::Failed:
        err << "vesk-api: the key could not be stored: " << outbox.LastError() << '\n';
        return kDatabaseFailure;
    case store::KeyAdded::Added:
        break;
    }
    out << key << '\n';
    err << "vesk-api: key '" << name << "' (" << scopeText << ") made; it is shown only this once\n";
    return 0;
}

int listKeys(store::db& outbox, std::ostream& out, std::ostream& err)
{
    const auto keys = store::ListApiKeys(outbox);
    if (!keys) {
        err << "vesk-api: the keys could not be read: " << outbox.LastError() << '\n';
        return kDatabaseFailure;
    }
    out << std::left << std::setw(24) << "NAME" << std::setw(46) << "SCOPES" << std::setw(22) << "CREATED"
        << "ALLOW / REVOKED\n";
    for (const auto& k : *keys)
        out << std::setw(24) << k.name << std::setw(46) << k.scopes << std::setw(22) << Rfc3339(k.created)
            << (k.revoked                ? "revoked " + Rfc3339(k.revoked)
                       : k.allow.empty() ? "any address"
                                         : k.allow)
            << '\n';
    return 0;
}

} // namespace

int RunKeyCommand(
    const std::vector<std::string>& args, store::db& outbox, std::ostream& out, std::ostream& err)
{
    const std::string verb = args.empty() ? "" : args[0];
    if (verb == "list" && args.size() == 1)
        return listKeys(outbox, out, err);
    if (verb == "revoke" && args.size() == 2) {
        const int done = store::RevokeApiKey(outbox, args[1], Services::unixNow());
        if (done < 0) {
            err << "vesk-api: the key could not be revoked: " << outbox.LastError() << '\n';
            return kDatabaseFailure;
        }
        if (done == 0) {
            err << "vesk-api: there is no working key named '" << args[1] << "'\n";
            return kBadInput;
        }
        err << "vesk-api: key '" << args[1] << "' revoked; it stops working within a second\n";
        return 0;
    }
    if (verb == "add") {
        std::map<std::string, std::string> options;
        for (std::size_t i = 1; i + 1 < args.size(); i += 2)
            options[args[i]] = args[i + 1];
        const bool shaped
            = args.size() % 2 == 1 && std::all_of(options.begin(), options.end(), [](const auto& o) {
                  return o.first == "--name" || o.first == "--scope" || o.first == "--allow";
              });
        if (shaped)
            return addKey(options, outbox, out, err);
    }
    err << "Usage: vesk-api key add --name NAME --scope SCOPE[,SCOPE...] [--allow CIDR[,CIDR...]]\n"
           "       vesk-api key list\n"
           "       vesk-api key revoke NAME\n";
    return kBadInput;
}

} // namespace vesk::api
