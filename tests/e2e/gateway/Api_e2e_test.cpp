// A message accepted by vesk-api is sent by a real console on the simulator, and the API shows it
// going from queued to sent to delivered as the report arrives; a message cancelled through the
// API never leaves.
#include "ApiProcess.h"
#include "ConsoleProcess.h"
#include "SimProcess.h"

using namespace std::chrono_literals;
using namespace vesk;
using vesk::testing::ApiProcess;
using vesk::testing::ConsoleProcess;
using vesk::testing::Http;
using vesk::testing::SimProcess;
using vesk::testing::WaitFor;

using ApiE2E = vesk::testing::ConsoleTest;

TEST_F(ApiE2E, SubmittedMessageIsSentAndDeliveredAndACanceledOneNeverLeaves)
{
    SimProcess modem({"--report-delay", "3000"});
    createOutbox();
    auto [made, key] = vesk::testing::RunProgram({VESK_BIN_DIR "/vesk-api", "--data-folder", dataFolder,
        "key", "add", "--name", "monitoring", "--scope", "messages:send,messages:read"});
    ASSERT_EQ(made, 0);
    key.pop_back();
    ApiProcess api(dataFolder, "");
    const std::vector<std::string> headers
        = {"Authorization: Bearer " + key, "Content-Type: application/json"};
    const auto submit = [&](const std::string& text) {
        const auto a = Http(
            "POST", api.url("/v1/messages"), R"({"to": "+447700900123", "text": ")" + text + "\"}", headers);
        EXPECT_EQ(a.status, 202) << a.body;
        return std::to_string(a.json()["data"][0]["id"].get<long>());
    };
    const std::string kept = submit("Disk full on db2"), dropped = submit("Ignore the last alert");
    EXPECT_EQ(Http("POST", api.url("/v1/messages/" + dropped + "/cancel"), "", headers).status, 200);

    const auto status = [&] {
        return Http("GET", api.url("/v1/messages/" + kept), "", headers)
            .json()["data"]["status"]
            .get<std::string>();
    };
    std::vector<std::string> seen = {status()};
    ConsoleProcess console(dataFolder, modem.path(), {{"Resource/ReadInterval", "1"}});
    ASSERT_TRUE(WaitFor(
        [&] {
            if (const std::string now = status(); now != seen.back())
                seen.push_back(now);
            return seen.back() == "delivered";
        },
        90s))
        << console.log();
    std::string path;
    for (const auto& s : seen)
        path += s + " ";
    std::printf("statuses seen: %s\n", path.c_str());
    EXPECT_EQ(seen.front(), "queued");
    EXPECT_NE(std::find(seen.begin(), seen.end(), "sent"), seen.end()) << path;
    const auto shown = Http("GET", api.url("/v1/messages/" + kept), "", headers).json()["data"];
    EXPECT_EQ(shown["delivery_report"]["status"], 0);
    EXPECT_EQ(shown["parts"], 1);
    const auto phones = modem.control("messages");
    ASSERT_EQ(phones.size(), 1u);
    EXPECT_EQ(SimProcess::field(phones[0], "text"), "Disk full on db2");
    EXPECT_EQ(
        Http("GET", api.url("/v1/messages/" + dropped), "", headers).json()["data"]["status"], "canceled");
    EXPECT_EQ(console.stop(), 0);
}
