// The API's pure rules: times as clients write them, address ranges of keys, the parts a text
// takes, cursors, and several faults of one message reported together.
#include "api/AddressRange.h"
#include "api/MessageView.h"
#include "api/Times.h"
#include "api/Validation.h"

#include <gtest/gtest.h>

using namespace vesk::api;

TEST(ApiTimes, Rfc3339FormsClientsSendAndOnesRefused)
{
    struct Case
    {
        const char* text;
        std::optional<std::int64_t> unix;
    };
    const Case kCases[] = {
        {"2030-01-31T09:30:00Z", 1896082200},
        {"2030-01-31t09:30:00z", 1896082200},
        {"2030-01-31T10:30:00+01:00", 1896082200},
        {"2030-01-31T04:00:00-05:30", 1896082200},
        {"2030-01-31T09:30:00.999Z", 1896082200},
        {"2028-02-29T00:00:00Z", 1835395200},
        {"2030-02-29T00:00:00Z", std::nullopt},
        {"2030-01-31T09:30:00", std::nullopt},
        {"2030-01-31 09:30", std::nullopt},
        {"2030-13-01T00:00:00Z", std::nullopt},
        {"2030-01-31T24:00:00Z", std::nullopt},
        {"2030-01-31T09:30:00+1:00", std::nullopt},
        {"2030-01-31T09:30:00.Z", std::nullopt},
        {"2030-01-31T09:30:00Zjunk", std::nullopt},
        {"tomorrow", std::nullopt},
        {"", std::nullopt},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ParseRfc3339(c.text), c.unix);
    }
    EXPECT_EQ(Rfc3339(1896082200), "2030-01-31T09:30:00Z");
}

TEST(ApiAddressRanges, KeysLimitedToNetworksOfEitherFamily)
{
    const auto ranges = AddressRange::ParseList("10.0.0.0/8, 192.168.1.7, 2001:db8::/32");
    ASSERT_TRUE(ranges);
    const auto allowed = [&](const char* address) {
        for (const auto& r : *ranges)
            if (r.Contains(address))
                return true;
        return false;
    };
    EXPECT_TRUE(allowed("10.200.3.4"));
    EXPECT_TRUE(allowed("192.168.1.7"));
    EXPECT_FALSE(allowed("192.168.1.8"));
    EXPECT_TRUE(allowed("2001:db8:1::5"));
    EXPECT_FALSE(allowed("2001:db9::5"));
    EXPECT_FALSE(allowed("11.0.0.1"));
    EXPECT_FALSE(allowed("not an address"));
    EXPECT_TRUE(AddressRange::Parse("0.0.0.0/0")->Contains("203.0.113.9"));
    for (const char* bad :
        {"10.0.0.0/33", "10.0.0.0/", "10.0.0/8", "::1/129", "host.example", "10.0.0.0/8x"}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(AddressRange::Parse(bad));
    }
    EXPECT_FALSE(AddressRange::ParseList("10.0.0.0/8,nonsense"));
    EXPECT_TRUE(AddressRange::ParseList("")->empty());
}

TEST(ApiParts, SevenBitUpTo160AndUcs2UpTo70PerSinglePart)
{
    struct Case
    {
        std::string text;
        int parts;
    };
    const Case kCases[] = {
        {std::string(160, 'a'), 1},
        {std::string(161, 'a'), 2},
        {std::string(306, 'a'), 2},
        {std::string(307, 'a'), 3},
        {std::string(80, '{'), 1}, // each takes two septets: 160
        {std::string(81, '{'), 2},
        {"Привет", 1},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.text.substr(0, 20));
        EXPECT_EQ(EstimateParts(c.text), c.parts);
    }
    std::string cyrillic;
    for (int i = 0; i < 71; ++i)
        cyrillic += "Ж";
    EXPECT_EQ(EstimateParts(cyrillic), 2);
}

TEST(ApiCursors, GivenCursorsComeBackAndForgedOnesDoNot)
{
    for (vesk::RowId id : {1LL, 42LL, 9007199254740993LL})
        EXPECT_EQ(CursorValue(CursorText(id)), id);
    for (const char* forged : {"", "42", "bTA", "bS0x", "!!!", "bTEyMzQ1Njc4OTAxMjM0NTY3ODkw"}) {
        SCOPED_TRACE(forged);
        EXPECT_FALSE(CursorValue(forged));
    }
}

// A message with several faults is answered once, with every fault and where it is.
TEST(ApiValidation, SeveralFaultsOfOneMessageAreReportedTogether)
{
    SubmitRules rules {10, 1900000000, nullptr};
    const auto result = ValidateSubmit(
        R"({"to": ["+447700900123", "447700900124"], "text": "far too long", "colour": "red",
            "send_at": "2000-01-01T00:00:00Z"})",
        rules);
    ASSERT_TRUE(std::holds_alternative<Problem>(result));
    const Problem& p = std::get<Problem>(result);
    EXPECT_EQ(p.status, 422);
    EXPECT_EQ(p.type, "invalid-request");
    std::vector<std::pair<std::string, std::string>> got;
    for (const auto& e : p.errors)
        got.emplace_back(e.pointer, e.type);
    EXPECT_EQ(got,
        (std::vector<std::pair<std::string, std::string>> {{"/colour", "unknown-field"},
            {"/to/1", "invalid-number"}, {"/text", "text-too-long"}, {"/send_at", "time-in-past"}}));
    // One row per recipient, each with the message's own fields.
    const auto rows = ValidateSubmit(
        R"({"to": ["+447700900123", "+447700900124"], "text": "hello", "client_ref": "r", "name": "Ann"})",
        rules);
    ASSERT_TRUE(std::holds_alternative<Rows>(rows));
    EXPECT_EQ(std::get<Rows>(rows).size(), 2u);
    EXPECT_EQ(std::get<Rows>(rows)[1].to, "+447700900124");
    EXPECT_EQ(std::get<Rows>(rows)[1].clientRef, "r");
}
