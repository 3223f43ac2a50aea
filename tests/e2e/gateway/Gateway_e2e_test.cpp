// Consoles as their users run them: vesk-modemsim, vesk-console --headless and vesk-queue as
// separate processes around one outbox file. The engine's stories run in this process in the
// core integration tests; here only what needs separate processes.
#include "store/SqlText.h"

#include "ConsoleProcess.h"
#include "SimProcess.h"

#include <set>

using namespace std::chrono_literals;
using namespace vesk;
using vesk::testing::SimProcess;
using vesk::testing::WaitFor;

using GatewayE2E = vesk::testing::ConsoleTest;

TEST_F(GatewayE2E, FullTextSendsCyrillicAndEmojiAndJoinsALongUCS2Message)
{
    SimProcess modem({"--parts-reversed", "on"});
    createOutbox();
    sql("UPDATE System SET sysStandardReply = 'Спасибо 👍', sysSMSSaveInbound = TRUE");
    auto& console = start(modem.path(),
        {{"Text/OutboundCoding", "Auto"}, {"Text/InboundDecoding", "Full"}, {"Text/JoinParts", "1"},
            {"Resource/ReadInterval", "1"}, {"COM/SendTimeout", "2"}});
    ASSERT_TRUE(WaitFor([&] { return console.logHas("Validity Period is"); }, 30s)) << console.log();

    std::string inbound;
    for (int i = 0; i < 8; ++i)
        inbound += "Сервер в порядке, температура 21 градус. ";
    for (const auto& [to, text] :
        {std::pair {"+15550123", "Привет, мир"}, std::pair {"+15550124", "Fire drill 🔥 at 3"}}) {
        const auto [code, out] = vesk::testing::RunProgram({VESK_BIN_DIR "/vesk-queue", "--data-folder",
            dataFolder, "--to", to, "--text", text, "--name", "Ann"});
        EXPECT_EQ(code, 0) << out;
    }
    modem.control("deliver +447700900123 " + inbound);

    ASSERT_TRUE(WaitFor([&] {
        return column("SELECT msgStatus FROM Message") == std::vector<std::string>(3, "5");
    })) << console.log();
    EXPECT_EQ(column("SELECT msgText FROM Inbox"), (std::vector<std::string> {store::Left(inbound, 255)}));
    std::multiset<std::string> texts;
    for (const auto& line : modem.control("messages"))
        texts.insert(SimProcess::field(line, "text"));
    EXPECT_EQ(texts, (std::multiset<std::string> {"Привет, мир", "Fire drill 🔥 at 3", "Спасибо 👍"}));
    EXPECT_TRUE(modem.control("memory SM").empty());
    EXPECT_EQ(console.stop(), 0);
    EXPECT_NE(console.log().find("] Ann (UCS2, 1 part)"), std::string::npos);
}
