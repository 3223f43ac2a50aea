// vesk-queue: queues one outbound message into a data folder's outbox, as the programs that
// feed the console do, and prints the new message id.

#include "store/ConnectionText.h"
#include "store/DBMessage.h"
#include "store/Lifecycle.h"
#include "store/Outbox.h"
#include "store/StoreSchema.h"
#include "store/PhoneNumber.h"
#include "store/SqlText.h"
#include "store/SystemRow.h"
#include "support/Clock.h"
#include "support/Convert.h"
#include "support/EventPump.h"
#include "support/LogSink.h"
#include "support/Paths.h"
#include "support/Platform.h"

#include <cstdio>
#include <map>
#include <optional>
#include <string>

using namespace vesk;

namespace {

constexpr int kBadInput = 1;
constexpr int kDatabaseFailure = 2;

const char* const kUsage
    = "Usage: vesk-queue (--data-folder DIR | --database CONNINFO) --to +NUMBER --text TEXT "
      "[--name NAME] [--at TIME] [--expires TIME]\n"
      "\n"
      "Queues one message in DIR/SMSMessages.mdb, or in the PostgreSQL outbox named by the\n"
      "libpq connection string CONNINFO, and prints its message id.\n"
      "  --to       recipient in international form: + country code, area code, number\n"
      "  --name     recipient's name shown in the console's log\n"
      "  --at       earliest send time (default now)\n"
      "  --expires  time after which the message must not be sent\n"
      "TIME is local time as \"dd/mmm/yyyy hh:nn:ss\" or \"yyyy-mm-dd hh:mm:ss\".\n";

class StderrLog final : public LogSink
{
public:
    void Log(int, const std::string&, const std::string& text) override
    {
        std::fprintf(stderr, "vesk-queue: %s\n", text.c_str());
    }
};

int fail(int code, const std::string& message)
{
    std::fprintf(stderr, "vesk-queue: %s\n", message.c_str());
    return code;
}

} // namespace

int main(int argc, char** argv)
{
    const std::map<std::string, bool> known = {{"--data-folder", false}, {"--database", false},
        {"--to", true}, {"--text", true}, {"--name", false}, {"--at", false}, {"--expires", false}};
    std::map<std::string, std::string> options;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        std::string value;
        bool haveValue = false;
        if (const auto eq = arg.find('='); eq != std::string::npos) {
            value = arg.substr(eq + 1);
            arg.erase(eq);
            haveValue = true;
        }
        if (!known.count(arg))
            return fail(kBadInput, "unknown option '" + arg + "'\n" + kUsage);
        if (!haveValue) {
            if (i + 1 >= argc)
                return fail(kBadInput, "option " + arg + " needs a value");
            value = argv[++i];
        }
        options[arg] = value;
    }
    for (const auto& [name, required] : known)
        if (required && !options.count(name))
            return fail(kBadInput, "option " + name + " is required\n" + kUsage);
    if (options.count("--data-folder") == options.count("--database"))
        return fail(kBadInput, "give either --data-folder or --database\n" + std::string(kUsage));

    const std::string number = Trim(options["--to"]);
    if (const auto problem = store::CheckInternationalNumber(number); problem != store::NumberProblem::None)
        return fail(kBadInput,
            "the number '" + number
                + "' would not be sent: " + store::NumberProblemText(store::NumberProblem::BadCharacter)
                + (problem == store::NumberProblem::BadCharacter ? " (only digits may follow the '+')" : ""));
    const std::string text = options["--text"];
    if (Trim(text).empty())
        return fail(kBadInput, "the text is empty: the message would be cancelled as \"Empty Message\"");

    SystemClock clock;
    const auto timeOption = [&](const std::string& name) -> std::optional<DateTime> {
        if (!options.count(name))
            return DateTime {};
        return ParseDateTime(Trim(options[name]));
    };
    const auto at = timeOption("--at");
    if (!at)
        return fail(kBadInput, "--at '" + options["--at"] + "' is not a date and time");
    const auto expires = timeOption("--expires");
    if (!expires)
        return fail(kBadInput, "--expires '" + options["--expires"] + "' is not a date and time");

    const std::string folder = options["--data-folder"];
    NullPump pump;
    StderrLog log;
    store::Outbox outbox(clock, pump, log);
    outbox.handle = std::make_unique<store::db>(clock, pump);
    store::db& h = *outbox.handle;
    const bool onServer = options.count("--database") > 0;
    outbox.database = options["--database"];
    if (onServer && !store::IsConnectionString(outbox.database))
        return fail(kBadInput, "--database needs a libpq connection string (postgresql://... or key=value)");
    store::PointAt(h, outbox.database, folder, store::kOutboxName);
    if (outbox.database.empty() && !h.FileExists())
        return fail(
            kDatabaseFailure, "there is no outbox in '" + folder + "' (" + h.Filename() + " is missing)");
    // Shared, not the exclusive settings load: a console may be working on the outbox right now.
    if (!h.OpenDatabase(store::mode::kReadWriteShared))
        return fail(kDatabaseFailure, "could not open " + h.Describe() + " : " + store::MaskPasswordIn(h.LastError(), outbox.database));
    if (const auto limit = store::ReadMaxMessageSize(h))
        outbox.settings.SMSMaxMessageSize = static_cast<std::int16_t>(*limit);
    const int limit = outbox.settings.SMSMaxMessageSize;
    if (limit > 0 && store::Left(text, static_cast<std::size_t>(limit)).size() < text.size())
        std::fprintf(stderr, "vesk-queue: the text is cut to the outbox's limit of %d characters\n", limit);

    const DateTime sendTime = at->isZero() ? clock.now() : *at;
    const RowId id = store::InsertMessage(outbox, options["--name"], number, text, sendTime, StationName());
    if (id <= 0)
        return kDatabaseFailure; // the reason is already logged
    if (!expires->isZero()) {
        store::DBMessage m(h, clock, log);
        m.id = id;
        m.Expires = *expires;
        if (!m.UpdateExpiryTime())
            return kDatabaseFailure;
    }
    h.CloseDatabase();
    std::printf("%lld\n", static_cast<long long>(id));
    return 0;
}
