// Long inbound messages joined: parts wait in the modem until their group is complete or too old.
#include "modem/PduUnits.h"
#include "store/SqlText.h"

#include "ConsoleFixture.h"

#include <algorithm>
#include <fstream>
#include <sstream>

using namespace std::chrono_literals;
using namespace vesk;

namespace {

// The unit of a recorded vector, by its id.
std::string vector(const std::string& id)
{
    std::stringstream all;
    all << std::ifstream(VESK_VECTORS_DIR "/deliver.json").rdbuf();
    const std::string text = all.str();
    const auto at = text.find("\"pdu\": \"", text.find("\"id\": \"" + id + "\"")) + 8;
    return text.substr(at, text.find('"', at) - at);
}

// The text of the vectors' parts in this order, as the inbox keeps it.
std::string joined(std::initializer_list<const char*> ids)
{
    std::string text;
    for (const char* id : ids) {
        modem::GSMMessage part;
        modem::ParsePDU(vector(id), 0, part, true);
        text += part.Text;
    }
    return store::Left(text, 255);
}

class JoiningTest : public vesk::testing::ConsoleFixture
{
protected:
    void SetUp() override
    {
        settings.set("Text", "InboundDecoding", "Full");
        settings.set("Text", "JoinParts", "1");
        ASSERT_NO_FATAL_FAILURE(start());
        ctx->outbox.settings.SMSSaveInbound = ctx->outbox.settings.SMSForwarding = true;
        ctx->outbox.settings.StandardReply = "Thanks";
        sql("INSERT INTO Forward (fwdSource, fwdKeyword, fwdDestination) VALUES ('*', '*', '+447700900555')");
    }
    void deliver(std::initializer_list<const char*> ids)
    {
        for (const char* id : ids)
            sim.control("deliver-pdu " + vector(id));
        pass();
    }
    // Inbox texts in order; replies and forwards queued.
    std::vector<std::string> inbox() { return column("SELECT msgText FROM Inbox ORDER BY inbID"); }
    std::size_t queued() { return column("SELECT msgID FROM Message WHERE msgText = 'Thanks'").size(); }
    std::size_t forwards()
    {
        return column("SELECT msgID FROM Message WHERE msgAddress = '+447700900555'").size();
    }
};

} // namespace

TEST_F(JoiningTest, PartsInAnyOrderMakeOneMessageAndAMissingPartWaitsForTheTimeout)
{
    deliver({"ofono-assembly-3", "ofono-assembly-1", "android-multipart-2", "mm-pdu-multipart-1"});
    EXPECT_TRUE(inbox().empty()) << "every group lacks a part";
    EXPECT_EQ(sim.control("memory SM").size(), 4u) << "the parts wait in the modem";

    deliver({"ofono-assembly-2", "ofono-assembly-1", "android-multipart-1", "mm-pdu-multipart-2"});
    std::vector<std::string> stored = inbox(),
                             three = {joined({"ofono-assembly-1", "ofono-assembly-2", "ofono-assembly-3"}),
                                 joined({"android-multipart-1", "android-multipart-2"}),
                                 joined({"mm-pdu-multipart-1", "mm-pdu-multipart-2"})};
    std::sort(stored.begin(), stored.end());
    std::sort(three.begin(), three.end());
    EXPECT_EQ(stored, three);
    EXPECT_TRUE(logged(2, "Duplicate part 1 of long message reference 30 deleted"));
    EXPECT_TRUE(sim.control("memory SM").empty()) << "every part was deleted once its message was stored";
    EXPECT_EQ(std::pair(queued(), forwards()), std::pair(3ul, 3ul));

    // One part of two: stored once, as it stands, when its group is older than the timeout.
    deliver({"pm-german-multipart-1"});
    clock.advance(500s);
    pass();
    EXPECT_EQ(inbox().size(), 3u);
    clock.advance(100s);
    pass();
    pass();
    ASSERT_EQ(inbox().size(), 4u);
    EXPECT_EQ(inbox()[3], store::Left(joined({"pm-german-multipart-1"}) + "[...]", 255));
    EXPECT_TRUE(logged(2, "Incomplete long message reference 25 from "));
    EXPECT_EQ(std::pair(queued(), forwards()), std::pair(4ul, 4ul));

    // A full memory hands over the oldest waiting group at once.
    sim.control("set sm-size 2");
    deliver({"pm-german-multipart-2"});
    deliver({"mm-pdu-multipart-1"});
    EXPECT_EQ(inbox().back(), "[...]" + joined({"pm-german-multipart-2"}));
    EXPECT_EQ(sim.control("memory SM").size(), 1u) << "the newer group still waits";
}
