// vesk-api: the HTTP API of one outbox (a data folder's SQLite outbox or a PostgreSQL outbox),
// with its keys. It drives no modem: what it accepts are ordinary outbox rows that any console
// sends, and what it reports is read from the outbox.
#include "api/ApiService.h"
#include "api/KeyCommands.h"
#include "api/LineLog.h"
#include "api/WebhookCommands.h"
#include "core/Context.h"
#include "core/SettingsStore.h"
#include "core/WebhookEvents.h"
#include "store/ConnectionText.h"
#include "store/Outbox.h"
#include "store/OutboxSchema.h"
#include "store/StoreSchema.h"
#include "support/Convert.h"
#include "support/Platform.h"
#include "support/PrivateFiles.h"
#include "webhooks/Dispatcher.h"

#include <csignal>
#include <fstream>
#include <iostream>
#include <sys/resource.h>
#include <systemd/sd-daemon.h>

using namespace vesk;

namespace {

constexpr int kBadInput = 1;
constexpr int kCannotServe = 2;

const char* const kUsage
    = "Usage: vesk-api [--data-folder DIR | --database CONNINFO] [--listen ADDRESS:PORT]...\n"
      "       vesk-api [--data-folder DIR | --database CONNINFO] key add --name NAME --scope SCOPES [--allow "
      "CIDRS]\n"
      "       vesk-api [--data-folder DIR | --database CONNINFO] key list | key revoke NAME\n"
      "       vesk-api [--data-folder DIR | --database CONNINFO] webhook add --url URL [--types LIST]\n"
      "                [--from +PREFIX] [--to +PREFIX] [--description TEXT] | webhook list | webhook remove "
      "ID\n"
      "\n"
      "Serves the outbox DIR/SMSMessages.mdb, or the PostgreSQL outbox named by the libpq\n"
      "connection string CONNINFO, over HTTP (see vesk-api(8)). Without either, the settings\n"
      "file's [Setup] Database or DataFolder. [Api] settings: Listen (127.0.0.1:8573 by default;\n"
      "several separated by commas), Certificate and PrivateKey (TLS), Threads, MaxConnections,\n"
      "PerAddressLimit, IdleTimeout, TrustedProxies. [Webhooks] settings: Allow (internal\n"
      "addresses webhooks may reach), KeepDays (7), Dispatch (1; 0 leaves delivery to other\n"
      "vesk-api processes). SIGTERM or SIGINT stop it.\n";

int fail(int code, const std::string& message)
{
    std::cerr << "vesk-api: " << message << '\n';
    return code;
}

unsigned numberSetting(const core::SettingsStore& s, const char* key, unsigned fallback, unsigned most)
{
    const auto text = s.get("Api", key);
    const auto n = text ? ToNumber(*text) : std::nullopt;
    return n && *n >= 0 && *n <= most ? static_cast<unsigned>(*n) : fallback;
}

// The server's settings from [Api]; empty when they are fine, else what is wrong.
std::string serverOptions(
    const core::SettingsStore& s, const std::vector<std::string>& listen, api::ServerOptions& o)
{
    const std::vector<std::string> addresses
        = !listen.empty() ? listen : api::SplitList(s.get("Api", "Listen").value_or("127.0.0.1:8573"));
    for (const std::string& a : addresses) {
        const auto parsed = api::ListenAddress::Parse(a);
        if (!parsed)
            return "'" + EscapeControls(a) + "' is not ADDRESS:PORT ([::1]:8573 for IPv6)";
        o.listen.push_back(*parsed);
    }
    o.threads = static_cast<int>(numberSetting(s, "Threads", 4, 64));
    o.connectionLimit = numberSetting(s, "MaxConnections", 4096, 65536);
    o.perAddressLimit = numberSetting(s, "PerAddressLimit", 64, 65536);
    o.idleTimeoutSeconds = numberSetting(s, "IdleTimeout", 30, 3600);
    const auto proxies = api::AddressRange::ParseList(s.get("Api", "TrustedProxies").value_or(""));
    if (!proxies)
        return "[Api] TrustedProxies must list addresses or networks";
    o.trustedProxies = *proxies;
    const std::string certificate = s.get("Api", "Certificate").value_or("");
    const std::string key = s.get("Api", "PrivateKey").value_or("");
    if (certificate.empty() != key.empty())
        return "[Api] Certificate and PrivateKey go together";
    if (!certificate.empty()) {
        std::string error;
        const auto pem = ReadOwnerOnlyFile(key, "TLS private key file", 1024 * 1024, error);
        if (!pem)
            return error;
        std::ifstream in(certificate);
        o.certificatePem.assign(std::istreambuf_iterator<char>(in), {});
        if (o.certificatePem.empty())
            return "TLS certificate file " + EscapeControls(certificate) + " cannot be read";
        o.privateKeyPem = *pem;
    }
    return {};
}

// Many idle clients need many descriptors: take what the system allows this process.
void raiseDescriptorLimit()
{
    rlimit limit {};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = std::min<rlim_t>(limit.rlim_max, 1 << 16);
        setrlimit(RLIMIT_NOFILE, &limit);
    }
}

} // namespace

int main(int argc, char** argv)
{
    std::string dataFolder, database;
    bool haveFolder = false, haveDatabase = false;
    std::vector<std::string> listen, command;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (!command.empty() || arg == "key" || arg == "webhook") {
            command.push_back(arg);
        } else if (arg == "--help" || arg == "-h") {
            std::cout << kUsage;
            return 0;
        } else if (arg == "--version") {
            std::cout << "vesk-api " << core::VersionText() << '\n';
            return 0;
        } else if ((arg == "--data-folder" || arg == "--database" || arg == "--listen") && i + 1 < argc) {
            const std::string value = argv[++i];
            if (arg == "--listen") {
                listen.push_back(value);
            } else if (arg == "--database") {
                database = value;
                haveDatabase = true;
            } else {
                dataFolder = value;
                haveFolder = true;
            }
        } else {
            return fail(kBadInput, "unknown option or missing value: " + EscapeControls(arg) + "\n" + kUsage);
        }
    }
    if (haveFolder && haveDatabase)
        return fail(kBadInput, "give either --data-folder or --database");
    const std::string settingsPath = core::SettingsStore::DefaultPath();
    core::SettingsStore settings(settingsPath.empty() ? "/dev/null" : settingsPath);
    if (!haveFolder && !haveDatabase) {
        database = settings.get("Setup", "Database").value_or("");
        dataFolder = settings.get("Setup", "DataFolder").value_or("");
        if (database.empty() && dataFolder.empty())
            return fail(kBadInput, "give --data-folder or --database (or set them in the settings file)");
    }
    if (!database.empty() && !store::IsConnectionString(database))
        return fail(kBadInput, "--database needs a libpq connection string (postgresql://... or key=value)");

    SystemClock clock;
    NullPump pump;
    api::LineLog log(stdout);
    if (!command.empty()) {
        store::db outbox(clock, pump);
        store::PointAt(outbox, database, dataFolder, store::kOutboxName);
        if (!outbox.FileExists() || !outbox.OpenDatabase(store::mode::kReadWriteShared))
            return fail(kCannotServe,
                "could not open " + outbox.Describe() + " : "
                    + store::MaskPasswordIn(outbox.LastError(), database));
        store::UpgradeOutbox(outbox, log);
        if (command[0] == "webhook") {
            const auto allow = api::AddressRange::ParseList(settings.get("Webhooks", "Allow").value_or(""));
            if (!allow)
                return fail(kBadInput, "[Webhooks] Allow must list addresses or networks");
            return api::RunWebhookCommand(
                {command.begin() + 1, command.end()}, outbox, *allow, std::cout, std::cerr);
        }
        return api::RunKeyCommand({command.begin() + 1, command.end()}, outbox, std::cout, std::cerr);
    }

    api::ApiConfig config;
    config.dataFolder = dataFolder;
    config.database = database;
    if (const std::string wrong = serverOptions(settings, listen, config.server); !wrong.empty())
        return fail(kBadInput, wrong);
    const auto allow = api::AddressRange::ParseList(settings.get("Webhooks", "Allow").value_or(""));
    if (!allow)
        return fail(kBadInput, "[Webhooks] Allow must list addresses or networks");
    config.webhookAllow = *allow;
    config.webhookKeepDays = core::WebhookKeepDays(settings);
    const bool dispatch = settings.get("Webhooks", "Dispatch").value_or("1") != "0";
    raiseDescriptorLimit();
    // Signals are taken by this thread alone, through sigwait; every thread started below inherits the mask.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    api::ApiService service(config, clock, pump, log);
    std::string error;
    if (!service.start(error))
        return fail(kCannotServe, error);
    std::string where;
    for (std::size_t i = 0; i < config.server.listen.size(); ++i) {
        const auto& a = config.server.listen[i];
        where += (i ? ", " : "") + (a.v6 ? "[" + a.host + "]" : a.host) + ":"
            + std::to_string(service.ports()[i]);
    }
    log.Log(icon::kInfo, "",
        "vesk-api " + core::VersionText() + " serving " + (database.empty() ? dataFolder : "PostgreSQL")
            + " on " + where + (config.server.certificatePem.empty() ? " (HTTP)" : " (HTTPS)"));
    const store::DatabaseLocation place = store::LocationOf(database, dataFolder, store::kOutboxName);
    webhooks::Dispatcher dispatcher(place.target, place.schema, clock, pump, log, {config.webhookAllow});
    if (dispatch)
        dispatcher.start();
    sd_notify(0, "READY=1\nSTATUS=serving");
    int signal = 0;
    sigwait(&stopSignals, &signal);
    sd_notify(0, "STOPPING=1");
    dispatcher.stop();
    service.stop();
    log.Log(icon::kInfo, "", "vesk-api stopped");
    return 0;
}
