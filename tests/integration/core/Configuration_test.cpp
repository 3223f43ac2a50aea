// What the configuration dialog's OK stores, applied by the core on a running console.
#include "core/Configuration.h"

#include "ConsoleFixture.h"

#include <gtest/gtest.h>

using namespace vesk;

namespace {
class ConfigurationTest : public vesk::testing::ConsoleFixture
{
protected:
    void SetUp() override { ASSERT_NO_FATAL_FAILURE(start()); }
};
} // namespace

TEST_F(ConfigurationTest, OneApplyStoresAlertsMailRulesSystemRowAndFilter)
{
    core::Configuration c;
    c.alertEmail = " ops@example.com ";
    c.alertOnLostModem = true;
    c.alertSignalLevel = 30;
    c.mailServer = "smtp.example.com";
    c.mailAccount = "console@example.com";
    c.mailPassword = "secret";
    c.mailLoginMethod = 1;
    c.forwardRules = std::vector<routing::ForwardRuleRow> {{"+447700900001", "", "*", "+15550001"}};
    c.addressFilter = "+44*\r\n+1555*";
    c.filterActionDelete = true;
    ctx->outbox.settings.StandardReply = "Thanks";

    const auto result = core::ApplyConfiguration(*ctx, c, false);
    EXPECT_TRUE(result.errors.empty());
    EXPECT_TRUE(result.machineSettingsSaved) << "the filter action alone changed the machine settings";
    EXPECT_EQ(settings.get("Agent", "FilterActionDelete"), "1");
    EXPECT_EQ(column("SELECT diagEmail || '|' || diagSignalLevel FROM Diagnostic"),
        std::vector<std::string> {"ops@example.com|30"});
    EXPECT_EQ(column("SELECT cfgServer || '|' || cfgPassword FROM MailConfig"),
        std::vector<std::string> {"smtp.example.com|secret"});
    EXPECT_EQ(column("SELECT fwdDestination FROM Forward"), std::vector<std::string> {"+15550001"});
    EXPECT_EQ(column("SELECT sysStandardReply FROM System"), std::vector<std::string> {"Thanks"});
    EXPECT_NE(vesk::testing::ReadFile(ctx->filter.filePath()).find("+1555*"), std::string::npos);

    // Nothing changed the second time: the settings file is left alone.
    EXPECT_FALSE(core::ApplyConfiguration(*ctx, c, false).machineSettingsSaved);
}
