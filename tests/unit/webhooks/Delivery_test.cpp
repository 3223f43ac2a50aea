// The pure parts of delivery: when a delivery is tried again and how it is signed, and which
// addresses a webhook may reach.
#include "WebhookReceiver.h"

#include "api/WebhookSecret.h"
#include "api/WebhookTarget.h"
#include "webhooks/RetrySchedule.h"
#include "webhooks/Signing.h"

#include <gtest/gtest.h>

using namespace vesk;
using webhooks::Verdict;

TEST(RetrySchedule, TriesAgainFromTheFirstTryThenFailsForGood)
{
    constexpr std::int64_t t0 = 1'900'000'000'000;
    constexpr std::int64_t kExpected[] = {5, 300, 1800, 7200, 18000, 36000, 50400, 72000, 86400};
    store::WebhookDeliveryRow d;
    for (std::size_t i = 0; i < std::size(kExpected); ++i) {
        SCOPED_TRACE(i);
        const auto after = webhooks::AfterAttempt(d, {500, std::nullopt}, d.first ? d.due : t0, 0.0);
        ASSERT_EQ(after.verdict, Verdict::Retry);
        EXPECT_EQ(after.delivery.first, t0);
        EXPECT_EQ(after.delivery.due, t0 + kExpected[i] * 1000);
        d = after.delivery;
    }
    const auto last = webhooks::AfterAttempt(d, {0, std::nullopt}, d.due, 0.0);
    EXPECT_EQ(last.verdict, Verdict::Failed);
    EXPECT_EQ(last.delivery.state, store::DeliveryState::Failed);
    EXPECT_EQ(last.delivery.attempts, 10);
}

TEST(RetrySchedule, AnswersDecideTheOutcome)
{
    struct Case
    {
        int status;
        std::optional<std::int64_t> retryAfter;
        Verdict verdict;
        std::int64_t due; // ms after the try
    };
    const Case cases[] = {
        {200, {}, Verdict::Delivered, 0}, {204, {}, Verdict::Delivered, 0}, {299, {}, Verdict::Delivered, 0},
        {410, {}, Verdict::Disable, 0}, {429, 120, Verdict::Retry, 120'000}, {503, 7, Verdict::Retry, 7'000},
        {503, {}, Verdict::Retry, 5'000}, {302, {}, Verdict::Retry, 5'000},
        {404, 120, Verdict::Retry, 5'000}, // Retry-After counts only with 429 and 503
        {0, {}, Verdict::Retry, 5'000}, // refused or timed out
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.status);
        const auto after = webhooks::AfterAttempt({}, {c.status, c.retryAfter}, 1000, 0.0);
        EXPECT_EQ(after.verdict, c.verdict);
        if (c.verdict == Verdict::Retry) {
            EXPECT_EQ(after.delivery.due, 1000 + c.due);
        }
    }
    // Jitter spreads a retry over a tenth of the gap before it, never earlier.
    EXPECT_EQ(webhooks::AfterAttempt({}, {500, {}}, 0, 0.99).delivery.due, 5000 + 495);
}

TEST(Signing, MatchesAnHmacWrittenApartAndSignsWithEverySecret)
{
    const std::string secret = api::NewWebhookSecret(), previous = api::NewWebhookSecret();
    ASSERT_EQ(api::SecretKeyBytes(secret)->size(), api::kSecretBytes);
    const std::string body = R"({"type":"inbound.received","data":{"text":"it's \u00e9"}})";
    vesk::testing::Delivery d {"evt_0a1b", "1900000000",
        webhooks::SignatureHeader({secret, "not a secret", previous}, "evt_0a1b", 1900000000, body), body, "",
        {}};
    EXPECT_TRUE(d.signedWith(secret));
    EXPECT_TRUE(d.signedWith(previous));
    EXPECT_EQ(std::count(d.signature.begin(), d.signature.end(), ' '), 1);
    d.body += " ";
    EXPECT_FALSE(d.signedWith(secret));
    EXPECT_FALSE(api::SecretKeyBytes("whsec_not*base64").has_value());
    EXPECT_FALSE(api::SecretKeyBytes("sk_AAAA").has_value());
}

TEST(Targets, InternalAddressesOnlyWhenAllowedAndHttpsUnlessLoopback)
{
    const auto allow = *api::AddressRange::ParseList("10.0.5.0/24");
    struct Case
    {
        const char* address;
        bool allowed;
    };
    const Case addresses[] = {{"93.184.216.34", true}, {"2001:db8::1", true}, {"127.0.0.1", false},
        {"10.1.2.3", false}, {"10.0.5.9", true}, {"172.16.0.1", false}, {"192.168.1.1", false},
        {"169.254.169.254", false}, {"100.64.0.1", false}, {"0.0.0.0", false}, {"::1", false},
        {"fe80::1", false}, {"fd00::1", false}, {"::ffff:127.0.0.1", false}, {"not an address", false}};
    for (const Case& c : addresses) {
        SCOPED_TRACE(c.address);
        EXPECT_EQ(api::AddressAllowed(c.address, allow), c.allowed);
    }
    std::string why;
    EXPECT_TRUE(api::ParseTargetUrl("https://hooks.example.org/sms?x=1", why));
    EXPECT_TRUE(api::ParseTargetUrl("http://localhost:8080/hook", why));
    EXPECT_TRUE(api::ParseTargetUrl("http://[::1]:8080/hook", why));
    EXPECT_FALSE(api::ParseTargetUrl("http://hooks.example.org/", why));
    EXPECT_FALSE(api::ParseTargetUrl("https://a@hooks.example.org/", why));
    EXPECT_FALSE(api::ParseTargetUrl("https://hooks.example.org/\r\nX: y", why));
}

// Someone who may only look sees where the webhooks go, never the credentials a URL can carry.
TEST(WebhookTargets, ShownUrlsCarryNoCredentials)
{
    struct Case
    {
        std::string_view url, shown;
    };
    const Case cases[] = {
        {"https://hooks.example.org/sms", "https://hooks.example.org/sms"},
        {"https://user:pw@hooks.example.org:8443/sms", "https://hooks.example.org:8443/sms"},
        {"https://a@b@hooks.example.org", "https://hooks.example.org"},
        {"https://hooks.example.org/sms?token=abc", "https://hooks.example.org/sms?\u2026"},
        {"https://hooks.example.org#frag", "https://hooks.example.org?\u2026"},
        {"http://[::1]:8080/hook/a@b", "http://[::1]:8080/hook/a@b"},
        {"hooks.example.org/x", "hooks.example.org/x"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url);
        EXPECT_EQ(api::ShownUrl(c.url), c.shown);
    }
}
