// Units recorded from real modems and from other SMS software decode as their sources state,
// within this console's reading: septets come back as their codes (only 0 turns into "@"), a user
// data header is read as text, and 8-bit or UCS2 data is not converted. So numbers, their type,
// time stamps, references, status octets and texts made of characters whose alphabet code is their
// own code are compared; every unit, whatever it holds, must go through without a crash.
// Read in full (coding scheme, header, alphanumeric sender), every stated text and sender is
// compared, and the UCS2 units the other encoders built are built the same way here.

#include "JsonReader.h"

#include "modem/GSMCharset.h"
#include "modem/GSMText.h"
#include "modem/PduUnits.h"
#include "support/DateTime.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

using vesk::DateTime;
using vesk::testing::JsonValue;
using namespace vesk::modem;

namespace {

// The unit as a modem lists it: bare transfer units get the empty service-centre field.
std::string listedUnit(const JsonValue& entry)
{
    const std::string& pdu = entry["pdu"].text;
    return entry["has_sca"].boolean ? pdu : "00" + pdu;
}

// The local date and time of an ISO 8601 text, whatever zone follows.
std::optional<DateTime> localPart(const std::string& iso)
{
    return vesk::ParseDateTime(iso.substr(0, 19));
}

// The number as this console shows it: sources that keep the type apart from the digits get the
// "+" of an international number added here.
std::string shownNumber(const JsonValue& expected, const std::string& key)
{
    const std::string& number = expected[key].text;
    const bool international
        = expected[key + "_toa"].number == 145 || expected[key + "_number_type"].text == "INTERNATIONAL";
    return international && number.front() != '+' ? "+" + number : number;
}

bool isNumber(const std::string& a)
{
    return !a.empty()
        && a.find_first_not_of("0123456789ABCDEFabcdef", a[0] == '+' ? 1 : 0) == std::string::npos
        && a.find_first_of("0123456789") != std::string::npos;
}

std::string upper(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// Characters that come back from septets as themselves.
bool mapsOneToOne(const std::string& text)
{
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        const bool same = c == '\n' || c == '\r' || c == '@' || (c >= ' ' && c <= '#')
            || (c >= '%' && c <= '?') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
        if (!same)
            return false;
    }
    return true;
}

// What the unit says about its user data, read straight from the field layout.
struct DeliverLayout
{
    int firstOctet = 0;
    int codingScheme = 0;
};

DeliverLayout deliverLayout(const std::string& listed)
{
    auto octet = [&](std::size_t at) { return std::stoi(listed.substr(at, 2), nullptr, 16); };
    DeliverLayout d;
    std::size_t pos = 2 + 2 * static_cast<std::size_t>(octet(0));
    d.firstOctet = octet(pos);
    const int digits = octet(pos + 2);
    pos += 2 + 4 + static_cast<std::size_t>(digits + digits % 2);
    d.codingScheme = octet(pos + 2);
    return d;
}

bool sevenBitDefault(int dcs)
{
    const int group = dcs >> 4;
    return group <= 3 ? (dcs & 0x0C) == 0
                      : group == 0xC || group == 0xD || (group == 0xF && (dcs & 0x04) == 0);
}

// What a UCS2 comparison looks at: coding scheme, protocol, destination and user data.
std::string ucs2Part(const std::string& pdu)
{
    auto octet = [&](std::size_t at) { return std::stoi(pdu.substr(at, 2), nullptr, 16); };
    const std::size_t at = 6 + 2 * static_cast<std::size_t>(octet(0)), digits = octet(at);
    const std::size_t dcs = at + 6 + digits + digits % 2, validity = (octet(at - 4) >> 3) & 3;
    return upper(pdu.substr(dcs - 2, 4) + pdu.substr(at, dcs - at - 2)
        + pdu.substr(dcs + 2
            + (validity == 0        ? 0
                    : validity == 2 ? 2
                                    : 14)));
}

} // namespace

TEST(RecordedUnits, ReceivedMessagesDecodeAsTheirSourcesState)
{
    const JsonValue entries = vesk::testing::LoadVectors("deliver.json");
    int numbers = 0, stamps = 0, texts = 0, fullTexts = 0, fullSenders = 0;
    for (const JsonValue& e : entries.items) {
        const std::string& kind = e["kind"].text;
        SCOPED_TRACE(e["id"].text);
        const std::string listed = listedUnit(e);
        GSMMessage record, full;
        const bool complete = ParsePDU(listed, 0, record);
        const bool fullyRead = ParsePDU(listed, 0, full, true);
        if (kind != "decode")
            continue; // parse-only captures, encoder outputs, robustness: no crash is the whole claim
        EXPECT_TRUE(complete);
        EXPECT_TRUE(fullyRead);
        EXPECT_EQ(record.MessageType, 0);
        const JsonValue& x = e["expected"];

        if (x.has("text")) {
            EXPECT_EQ(full.Text, x["text"].text);
            ++fullTexts;
        } else if (x.has("data_hex")) {
            EXPECT_TRUE(full.Binary);
            EXPECT_EQ(full.Text, upper(x["data_hex"].text));
            ++fullTexts;
        }
        if (x.has("originator")) {
            EXPECT_EQ(upper(full.Address), upper(shownNumber(x, "originator")));
            fullSenders += !isNumber(x["originator"].text);
        }
        if (x.has("concat")) {
            const JsonValue& c = x["concat"];
            const bool android = c.has("refNumber");
            EXPECT_EQ(std::tuple(full.PartReference, full.PartCount, full.PartNumber),
                std::tuple(static_cast<int>(c[android ? "refNumber" : "ref"].number),
                    static_cast<int>(c[android ? "msgCount" : "cnt"].number),
                    static_cast<int>(c[android ? "seqNumber" : "seq"].number)));
        }

        if (x.has("originator") && isNumber(x["originator"].text)) {
            EXPECT_EQ(upper(record.Address), upper(shownNumber(x, "originator")));
            ++numbers;
        }

        if (x.has("scts")) {
            EXPECT_EQ(std::optional(record.Time), localPart(x["scts"].text));
            ++stamps;
        } else if (x.has("scts_fields")) {
            const JsonValue& f = x["scts_fields"];
            EXPECT_EQ(record.Time,
                DateTime::fromParts(2000 + static_cast<int>(f["year"].number),
                    static_cast<int>(f["month"].number), static_cast<int>(f["day"].number),
                    static_cast<int>(f["hour"].number), static_cast<int>(f["minute"].number),
                    static_cast<int>(f["second"].number)));
            ++stamps;
        }
        if (x.has("scts") || x.has("scts_fields")) {
            EXPECT_EQ(record.DeliveryTime, record.Time);
        }

        if (x.has("text")) {
            const DeliverLayout layout = deliverLayout(listed);
            const bool header = (layout.firstOctet & 0x40) != 0;
            if (!header && sevenBitDefault(layout.codingScheme) && mapsOneToOne(x["text"].text)) {
                EXPECT_EQ(record.Text, x["text"].text);
                ++texts;
            }
        }
    }
    // Guards against the filters above quietly skipping everything.
    EXPECT_GE(numbers, 30);
    EXPECT_GE(stamps, 20);
    EXPECT_GE(texts, 15);
    EXPECT_GE(fullTexts, 40);
    EXPECT_GE(fullSenders, 6);
    std::printf("received units checked: %d numbers, %d time stamps, %d texts; read in full: %d texts, %d "
                "alphanumeric senders\n",
        numbers, stamps, texts, fullTexts, fullSenders);
}

TEST(RecordedUnits, StatusReportsDecodeAsTheirSourcesState)
{
    const JsonValue entries = vesk::testing::LoadVectors("status_report.json");
    int checked = 0;
    for (const JsonValue& e : entries.items) {
        SCOPED_TRACE(e["id"].text);
        GSMMessage record;
        const bool complete = ParsePDU(listedUnit(e), 0, record);
        EXPECT_EQ(record.MessageType, 1);
        if (e["kind"].text == "parse_only")
            continue;
        EXPECT_TRUE(complete);
        const JsonValue& x = e["expected"];
        if (x.has("recipient") && isNumber(x["recipient"].text)) {
            EXPECT_EQ(upper(record.Address), upper(shownNumber(x, "recipient")));
            ++checked;
        }
        if (x.has("message_reference")) {
            EXPECT_EQ(record.id, static_cast<int>(x["message_reference"].number));
            ++checked;
        }
        if (x.has("status")) {
            if (x["status"].isNumber()) {
                EXPECT_EQ(record.DeliveryStatus, static_cast<int>(x["status"].number));
            } else if (x["status"].text == "StatusReport.DELIVERED") {
                EXPECT_EQ(record.DeliveryStatus, 0);
            }
            ++checked;
        }
        for (const char* key : {"discharge_time", "discharge_time_local_no_zone"})
            if (x.has(key)) {
                EXPECT_EQ(std::optional(record.DeliveryTime), localPart(x[key].text));
                ++checked;
            }
        EXPECT_TRUE(record.Time.isZero());
    }
    EXPECT_GE(checked, 25);
    std::printf("status report fields checked: %d\n", checked);
}

// Built units are compared where the other encoder made this console's choices: empty service
// centre, reference 0, default alphabet, no validity period or an absolute one in zone 0, no
// header, no reject-duplicates. UCS2 units are compared on protocol, coding scheme, destination and
// user data, the validity period left out: the service centre, reference and validity format are
// the other encoder's own choices.
TEST(RecordedUnits, StoredSubmitsAreTypedAndBuiltLikeOtherEncoders)
{
    int compared = 0, ucs2 = 0;
    for (const JsonValue& e : vesk::testing::LoadVectors("submit.json").items) {
        SCOPED_TRACE(e["id"].text);
        GSMMessage record;
        EXPECT_TRUE(ParsePDU(listedUnit(e), 0, record));
        EXPECT_EQ(record.MessageType, 2);

        const std::string& pdu = e["pdu"].text;
        const JsonValue& in = e["inputs"];
        if (e["id"].text == "pgm-encode-concat-1") {
            // First of three parts, 153 septets after the header; that encoder also sets
            // reject-duplicates (04), which this console leaves clear.
            std::string built = BuildSubmitPDU("+15125551234", ToGSMCharset(in["text"].text.substr(0, 153)),
                DateTime(), false, "050003000301");
            ASSERT_EQ(built.substr(0, 4), "0041");
            built[3] = '5';
            EXPECT_EQ(built, pdu);
            ++compared;
        }
        if (e["kind"].text != "encode")
            continue;
        if (const std::string theirs = ucs2Part(pdu); theirs.compare(0, 4, "0008") == 0) {
            std::string built;
            if (in.has("text")) {
                const AutoUnits units
                    = BuildAutoSubmitPDUs(in["destination"].text, in["text"].text, DateTime());
                ASSERT_EQ(units.pdus.size(), 1u);
                built = units.pdus[0];
            } else { // a backup the other encoder was told to send in UCS2, cut to one unit as it did
                const JsonValue& b = in["gammu_backup"];
                built = BuildUCS2SubmitPDU(
                    b["Number"].text, ToUTF16(b["Text"].text).substr(0, 70), {}, false, "");
            }
            EXPECT_EQ(ucs2Part(built), theirs);
            ++ucs2;
        }
        if (!in["text"].isString() || !in["destination"].isString())
            continue;
        const std::string& text = in["text"].text;
        if (pdu.substr(0, 2) != "00" || !mapsOneToOne(text))
            continue;
        const int firstOctet = std::stoi(pdu.substr(2, 2), nullptr, 16);
        if (firstOctet != 0x01 && firstOctet != 0x21 && firstOctet != 0x19 && firstOctet != 0x39)
            continue;
        const int digits = std::stoi(pdu.substr(6, 2), nullptr, 16);
        const std::size_t pidAt = 10 + static_cast<std::size_t>(digits + digits % 2);
        if (pdu.substr(pidAt, 4) != "0000")
            continue;
        DateTime expiry;
        if ((firstOctet & 0x18) != 0) {
            int y, mo, d, h, mi, s;
            if (pdu.substr(pidAt + 4 + 12, 2) != "00"
                || std::sscanf(in["validity_literal"].text.c_str(), "datetime(%d, %d, %d, %d, %d, %d)", &y,
                       &mo, &d, &h, &mi, &s)
                    != 6)
                continue;
            expiry = DateTime::fromParts(y, mo, d, h, mi, s);
        }
        EXPECT_EQ(
            BuildSubmitPDU(in["destination"].text, ToGSMCharset(text), expiry, (firstOctet & 0x20) != 0, ""),
            pdu);
        ++compared;
    }
    EXPECT_GE(compared, 5);
    EXPECT_GE(ucs2, 15);
    std::printf("UCS2 submit units compared: %d\n", ucs2);
}
