// The command engine without a modem on the line, with virtual time: what the console reads and
// sends when nothing answers. Replies of a modem that does answer are in the simulator suite.
#include "modem/GSMModem.h"

#include "FakeClock.h"

#include <gtest/gtest.h>

using namespace vesk;
using namespace vesk::modem;

TEST(EngineWithoutAModem, ReadsNeutralValuesAndSendsNothing)
{
    vesk::testing::FakeClock clock;
    NullPump pump;
    GSMModem modem(clock, pump);
    modem.CommandTimeout = 300;
    modem.DeleteMessageTimeout = 300;
    EXPECT_FALSE(modem.IsModemPresent());
    EXPECT_EQ(modem.GetMode(), "?");
    EXPECT_EQ(modem.Network(), "?");
    EXPECT_EQ(modem.SignalLevel(), -1);
    EXPECT_EQ(modem.MessageCount(), 0);
    EXPECT_EQ(modem.Model(), "");

    GSMMessage message;
    message.Address = "+15550123";
    message.Text = "hello";
    EXPECT_EQ(modem.SendSMS(message), -1);
    EXPECT_FALSE(modem.DeleteMessage(3));
    const auto listing = modem.ReadMessages();
    ASSERT_TRUE(listing.has_value());
    EXPECT_TRUE(listing->empty());
    std::string answer = "untouched";
    EXPECT_EQ(modem.SendRawPDU("", answer), -1);
    EXPECT_EQ(answer, "untouched");
}

TEST(LongMessagePieces, NeverSplitAnEscapePair)
{
    vesk::testing::FakeClock clock;
    NullPump pump;
    GSMModem modem(clock, pump);
    const std::string letters(151, 'a');
    EXPECT_EQ(modem.GetFragment(letters + "[bc", 152), letters);
    EXPECT_EQ(modem.GetFragment(letters + "b[c", 152), letters + "b");
    EXPECT_EQ(modem.GetFragment("héllo", 3), "hél"); // characters, not bytes
    modem.CharWidth = 8;
    EXPECT_EQ(modem.GetFragment(letters + "[bc", 152), letters + "[");
    modem.CharWidth = 16;
    EXPECT_EQ(modem.GetFragment("abc", 152), "16 bit chars not implemented");
    modem.CharWidth = 9;
    EXPECT_EQ(modem.GetFragment("abc", 152), "");
}
