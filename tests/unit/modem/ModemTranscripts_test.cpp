// Replies of real modems to the commands the console sends: every reader gives its documented
// result or its neutral value. That no reader falls over on any reply is the replies fuzz target's.
#include "JsonReader.h"
#include "modem/AtReplies.h"
#include "modem/MemoryReplies.h"
#include "support/Convert.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <map>
#include <set>

using namespace vesk::modem;
using vesk::testing::JsonValue;

namespace {

bool endsInOK(const std::string& r)
{
    return r.size() >= 2 && r.compare(r.size() - 2, 2, "OK") == 0;
}

// The reply as it reaches a reader: framed as a modem in verbose mode frames it (sources that
// dropped the CRs or the final result get them back), then trimmed as the command engine trims.
std::string engineReply(const JsonValue& e)
{
    std::string reply = e["reply"].isString() ? e["reply"].text : "";
    if (!e["reply"].isString() && e["info_line"].isString())
        reply = e["info_line"].text + "\r\n\r\n"
            + (e["final_result"].isString() ? e["final_result"].text : "OK");
    if (reply.find('\r') == std::string::npos)
        for (std::size_t at = 0; (at = reply.find('\n', at)) != std::string::npos; at += 2)
            reply.insert(at, "\r");
    if (reply.find("OK") == std::string::npos && reply.find("ERROR") == std::string::npos)
        reply += "\r\n\r\nOK\r\n";
    return StripCRLF(reply.rfind("\r\n", 0) == 0 ? reply : "\r\n" + reply);
}

// A listing without its final OK and the line ends before it.
std::string listingOf(std::string reply)
{
    if (!endsInOK(reply))
        return reply;
    reply.resize(reply.size() - 2);
    while (reply.size() >= 2 && reply.compare(reply.size() - 2, 2, "\r\n") == 0)
        reply.resize(reply.size() - 2);
    return reply;
}

} // namespace

TEST(RealModemReplies, EveryReaderAnswersWithoutFallingOver)
{
    const JsonValue entries = vesk::testing::LoadVectors("modem_transcripts.json");
    ASSERT_GT(entries.items.size(), 300u);
    int checkedValues = 0;
    int readReplies = 0;
    for (const JsonValue& e : entries.items) {
        const std::string command = e["command"].text;
        const std::string reply = engineReply(e);
        const JsonValue& x = e["expected"];
        SCOPED_TRACE(e["id"].text + " " + command + " reply: " + reply);
        // Readers that may raise only for a missing field; any other exception is a fault.
        auto mayRaise = [&](const std::function<void()>& read) {
            try {
                read();
            } catch (const ModemError&) {
            }
        };
        ++readReplies;
        if (command == "AT+CSQ") {
            const int percent = ParseSignalLevel(reply);
            if (x["signalStrength"].isNumber() && x["signalStrength"].number >= 0 && endsInOK(reply)) {
                EXPECT_EQ(percent, static_cast<int>(std::nearbyint(x["signalStrength"].number * 100 / 31)));
                ++checkedValues;
            }
            EXPECT_GE(percent, -1);
        } else if (command == "AT+CPIN?") {
            const bool ready = ParseSIMOkay(reply);
            EXPECT_EQ(ready, reply.rfind("+CPIN: READY", 0) == 0);
            if (x["lock"].isString()) {
                EXPECT_EQ(ready, x["lock"].text.find("NONE") != std::string::npos);
                ++checkedValues;
            }
        } else if (command == "AT+CGMM" || command == "AT+CGSN") {
            const bool model = command == "AT+CGMM";
            const std::string read = model ? ParseModel(reply) : ParseIMEI(reply);
            if (x[model ? "model" : "imei"].isString()) {
                EXPECT_EQ(read, x[model ? "model" : "imei"].text);
                ++checkedValues;
            }
        } else if (command == "AT+CSCA?") {
            const std::string centre = ParseServiceCentre(reply);
            const JsonValue& smsc = x.has("smsc") ? x["smsc"] : x["number"];
            if (smsc.isString() && smsc.text.find_first_not_of("+0123456789") == std::string::npos
                && reply.find(smsc.text) != std::string::npos) {
                EXPECT_EQ(centre, smsc.text);
                ++checkedValues;
            } else if (x.has("smsc") && !smsc.isString()) {
                EXPECT_EQ(centre, "");
                ++checkedValues;
            }
        } else if (command == "AT+CREG?") {
            int status = 0;
            mayRaise([&] { status = ParseNetworkRegistration(reply); });
            EXPECT_GE(status, 0);
            static const std::map<std::string, int> kStates
                = {{"IDLE", 0}, {"HOME", 1}, {"SEARCHING", 2}, {"DENIED", 3}, {"UNKNOWN", 4}, {"ROAMING", 5}};
            const std::string state = x["state"].text.substr(x["state"].text.rfind('_') + 1);
            if (x["state"].isString() && endsInOK(reply) && kStates.count(state)
                && reply.rfind("+CREG:", 0) == 0) {
                EXPECT_EQ(status, kStates.at(state));
                ++checkedValues;
            }
        } else if (command == "AT+COPS?") {
            // Numeric names lose their country code, long ones keep their quotes, none reads "?".
            const JsonValue& name = x.has("networkName") ? x["networkName"] : x["operator"];
            if (name.isString() || x.has("networkName")) {
                EXPECT_EQ(ParseNetwork(reply),
                    !name.isString()              ? "?"
                        : x["format"].number == 2 ? name.text.substr(3)
                                                  : "\"" + name.text + "\"");
                ++checkedValues;
            }
        } else if (command == "AT+CMGF?") {
            const std::string mode = ParseMode(reply);
            EXPECT_TRUE(mode == "PDU" || mode == ">" || mode == "?");
        } else if (command.rfind("AT+CPMS", 0) == 0) {
            EXPECT_GE(ParseMessageCount(reply), 0);
            // Each group as listed: name, used and total slots.
            if (command == "AT+CPMS?" && x.has("mem1_want")) {
                std::string listed;
                for (const MemoryUse& m : ParseMemoryUse(reply))
                    listed += (listed.empty() ? "" : ",")
                        + ("\"" + m.name + "\"," + std::to_string(m.used) + "," + std::to_string(m.total));
                const std::string line = reply.substr(0, reply.find("\r\n"));
                EXPECT_EQ("+CPMS:" + listed, vesk::ReplaceAll(line, " ", ""));
                ++checkedValues;
            }
        } else if (command == "AT+CNMI=?") {
            const auto offer = ParseRoutingOffer(reply);
            if (x.has("ds")) {
                ASSERT_TRUE(offer);
                const char* kNames[] = {"mode", "mt", "bm", "ds", "bfr"};
                for (std::size_t p = 0; p < 5; ++p) {
                    std::set<int> want;
                    for (const JsonValue& v : x[kNames[p]].items)
                        want.insert(static_cast<int>(v.number));
                    EXPECT_EQ(offer->values.at(p), want) << kNames[p];
                }
                ++checkedValues;
            }
        } else if (command.rfind("AT+CMGS", 0) == 0) {
            std::string answer = reply;
            if (answer.rfind("> ", 0) == 0)
                answer = answer.substr(answer.find('\n') + 1);
            // A capture where +CDSI follows the final result in the same read is included.
            const int reference = ParseSendReference(StripAllCRLF(answer));
            if (x["reference"].isNumber()) {
                EXPECT_EQ(reference, static_cast<int>(x["reference"].number));
                ++checkedValues;
            }
        } else if (command == "AT+CMGL=\"ALL\"" || command == "AT+CMGL=4") {
            const bool text = command == "AT+CMGL=\"ALL\"";
            std::vector<GSMMessage> records;
            mayRaise(
                [&] { records = text ? ReadTextMode(listingOf(reply)) : ReadPDUMode(listingOf(reply)); });
            const JsonValue& listed = x[text ? "messages" : "entries"];
            if (listed.isArray() && (text || !records.empty())) {
                ASSERT_EQ(records.size(), listed.items.size());
                for (std::size_t i = 0; i < records.size(); ++i) {
                    const JsonValue& entry = listed.items[i];
                    const int status = static_cast<int>(entry["status"].number);
                    EXPECT_EQ(records[i].MemoryIndex, static_cast<int>(entry["index"].number));
                    if (text) {
                        EXPECT_EQ(records[i].Address, entry["number"].text);
                        EXPECT_EQ(records[i].Text, entry["text"].text);
                    } else {
                        EXPECT_EQ(records[i].ReadStatus, status <= 1 ? status : 2);
                    }
                }
                ++checkedValues;
            }
        } else {
            --readReplies;
            HasFinalResult(reply);
        }
    }
    EXPECT_GT(readReplies, 150);
    EXPECT_GT(checkedValues, 30);
}
