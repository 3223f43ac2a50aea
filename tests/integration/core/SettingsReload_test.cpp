// The settings file read again while the console runs (what SIGHUP does between passes).
#include "core/SettingsReload.h"

#include "ConsoleFixture.h"

#include <gtest/gtest.h>

using namespace vesk;
using namespace vesk::core;

namespace {

class SettingsReloadTest : public vesk::testing::ConsoleFixture
{
protected:
    void SetUp() override
    {
        settings.set("Resource", "SendBatchSize", "1");
        ASSERT_NO_FATAL_FAILURE(start());
        for (int i = 0; i < 10; ++i)
            queue("+1555012" + std::to_string(i), "message " + std::to_string(i));
    }
    std::size_t sent() { return sim.control("messages").size(); }
};

} // namespace

TEST_F(SettingsReloadTest, NewBatchSizeTakesEffectAtTheNextPassAndABrokenFileIsRefused)
{
    pass();
    ASSERT_EQ(sent(), 1u);
    SettingsStore(settings.path()).set("Resource", "SendBatchSize", "3");
    ASSERT_TRUE(ReloadSettings(*ctx));
    EXPECT_TRUE(logged(1, "Setting Resource/SendBatchSize changed from [1] to [3]"));
    pass();
    ASSERT_EQ(sent(), 4u);

    struct Case
    {
        const char* line;
        const char* error;
    };
    const Case kBroken[] = {
        {"this line is not a setting", "Settings not reloaded: /"},
        {"[COM]\nSendTimeout=soon", "Settings not reloaded: a value in "},
    };
    SettingsStore(settings.path()).set("Resource", "SendBatchSize", "5");
    const std::string good = vesk::testing::ReadFile(settings.path());
    std::size_t expected = 4;
    for (const auto& c : kBroken) {
        SCOPED_TRACE(c.line);
        vesk::testing::WriteFile(settings.path(), good + c.line + "\n");
        EXPECT_FALSE(ReloadSettings(*ctx));
        EXPECT_TRUE(logged(3, c.error));
        pass();
        expected += 3;
        EXPECT_EQ(sent(), expected) << "the old batch size holds";
    }
}
