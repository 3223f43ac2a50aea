#include "ModemSimulator.h"
#include "SimPdu.h"

#include <gtest/gtest.h>

using namespace vesk::modemsim;

namespace {

std::string said(const std::vector<Output>& outputs)
{
    std::string all;
    for (const auto& o : outputs)
        all += o.bytes;
    return all;
}

} // namespace

// Units the driver builds are read by the simulator in every run of the simulator suite; here are
// the ones it must refuse.
TEST(SimUnits, RefusesUnitsThatDoNotHold)
{
    std::string reason;
    EXPECT_FALSE(decodeStored("21100000")); // service-centre length beyond the unit
    EXPECT_FALSE(decodeStored("0004069121436500006221"));
    EXPECT_FALSE(decodeSubmit("002100089151551032000009E8329BFD06", &reason)); // length says 9 septets
    EXPECT_FALSE(reason.empty());
    EXPECT_FALSE(decodeSubmit("07914477581006500406912143650000", &reason)); // a deliver, not a submit
    EXPECT_FALSE(decodeSubmit("zz", &reason));
}

TEST(SimUnits, ExtensionCharactersTravelAsEscapePairs)
{
    const auto codes = toGsm7("{€}|");
    ASSERT_TRUE(codes);
    EXPECT_EQ(*codes, std::string("\x1B\x28\x1B\x65\x1B\x29\x1B\x40"));
    EXPECT_EQ(fromGsm7(*codes), "{€}|");
    EXPECT_FALSE(toGsm7("日本"));
}

// The right length is taken in every simulator run (the modem log test shows that exchange).
TEST(SimModem, PduSendChecksTheGivenLength)
{
    SimOptions options;
    options.echo = false;
    ModemSimulator sim(options);
    EXPECT_EQ(said(sim.receive("AT+CMGS=15\r")), "\r\n> ");
    EXPECT_EQ(said(sim.receive("002100089151551032000005E8329BFD06\x1A")), "\r\n+CMS ERROR: 304\r\n");
    EXPECT_TRUE(sim.airMessages().empty());
}

TEST(SimModem, LongMessagesArriveLastPartFirstOrShortOfAPartWithEmojiKeptWhole)
{
    ModemSimulator sim({});
    std::string text, tail = "D83DDE00";
    for (int i = 0; i < 66; ++i)
        text += "Ж";
    text += "😀";
    for (int i = 0; i < 10; ++i) {
        text += "Ж";
        tail += "0416";
    }
    auto entries = [&] { return sim.control("memory SM"); };
    EXPECT_EQ(sim.control("set parts-reversed on"), "OK\n");
    EXPECT_EQ(sim.control("deliver +1 " + text), "stored 2\nOK\n");
    const std::string first = entries().substr(0, entries().find('\n'));
    EXPECT_EQ(first.substr(first.size() - tail.size()), tail)
        << "part 2 is stored first, the emoji at its start";
    EXPECT_EQ(sim.control("set missing-part 2"), "OK\n");
    EXPECT_EQ(sim.control("deliver +1 " + text), "stored 1\nOK\n");
}
