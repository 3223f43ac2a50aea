#include "api/Validation.h"

#include "api/JsonBody.h"
#include "api/Times.h"
#include "modem/GSMText.h"
#include "store/PhoneNumber.h"

#include <set>

namespace vesk::api {

namespace {

using nlohmann::json;

std::size_t characters(std::string_view text)
{
    std::size_t n = 0;
    for (const char c : text)
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80)
            ++n;
    return n;
}

// The first control character other than a line break or tab, as "U+001B"; empty for none.
std::string controlIn(std::string_view text, bool lineBreaks)
{
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if ((u < 0x20 || u == 0x7F) && !(lineBreaks && (c == '\n' || c == '\r' || c == '\t'))) {
            char name[8];
            std::snprintf(name, sizeof name, "U+%04X", u);
            return name;
        }
    }
    return {};
}

bool blank(std::string_view text)
{
    return text.find_first_not_of(" \t\r\n") == std::string_view::npos;
}

class Checker
{
public:
    Checker(const std::string& at, const SubmitRules& rules)
        : m_at(at)
        , m_rules(rules)
    {
    }

    std::vector<FieldError> errors;

    void fail(std::string_view type, const std::string& field, std::string reason)
    {
        errors.push_back({m_at + "/" + field, std::move(reason), std::string(type)});
    }

    // A short text without control characters, or nothing (and an error) when it is not one.
    std::optional<std::string> label(const json& m, const char* field, std::size_t most)
    {
        if (!m.contains(field))
            return std::string();
        const json& v = m.at(field);
        if (!v.is_string()) {
            fail("invalid-field", field, "must be a string");
            return std::nullopt;
        }
        const std::string s = v.get<std::string>();
        if (characters(s) > most)
            fail("invalid-field", field,
                "holds " + std::to_string(characters(s)) + " characters; at most " + std::to_string(most)
                    + " are kept");
        else if (const std::string c = controlIn(s, false); !c.empty())
            fail("invalid-field", field, "holds the control character " + c);
        else
            return s;
        return std::nullopt;
    }

    // A time field in Unix seconds; 0 when absent; nothing (and an error) when it is not a time.
    std::optional<std::int64_t> time(const json& m, const char* field)
    {
        if (!m.contains(field) || m.at(field).is_null())
            return 0;
        const json& v = m.at(field);
        const auto t = v.is_string() ? ParseRfc3339(v.get<std::string>()) : std::nullopt;
        if (!t) {
            fail("invalid-time", field, "must be an RFC 3339 date and time, as 2030-01-31T09:30:00Z");
            return std::nullopt;
        }
        if (*t < m_rules.now - kPastGraceSeconds) {
            fail("time-in-past", field, "is in the past");
            return std::nullopt;
        }
        return *t;
    }

    std::vector<std::string> numbers(const json& m)
    {
        std::vector<std::string> out;
        if (!m.contains("to")) {
            fail("invalid-field", "to", "is required");
            return out;
        }
        const json& to = m.at("to");
        std::vector<std::pair<std::string, const json*>> items;
        if (to.is_string()) {
            items.emplace_back("to", &to);
        } else if (to.is_array()) {
            if (to.empty())
                fail("invalid-field", "to", "must name at least one number");
            if (to.size() > kMaxRecipients) {
                fail("too-many-recipients", "to",
                    "names " + std::to_string(to.size()) + " numbers; at most "
                        + std::to_string(kMaxRecipients) + " are taken");
                return out;
            }
            for (std::size_t i = 0; i < to.size(); ++i)
                items.emplace_back("to/" + std::to_string(i), &to[i]);
        } else {
            fail("invalid-field", "to", "must be a number as a string, or an array of them");
        }
        for (const auto& [field, v] : items) {
            if (!v->is_string()) {
                fail("invalid-number", field, "must be a string");
                continue;
            }
            const std::string n = v->get<std::string>();
            // Exactly what the console sends: "+" and digits, nothing around them.
            if (store::CheckInternationalNumber(n) != store::NumberProblem::None || n.front() != '+'
                || n.back() < '0' || n.back() > '9') {
                fail("invalid-number", field,
                    "must be \"+\" followed by the country code, area code and number");
            } else if (n.size() > kMaxNumberChars) {
                fail("invalid-number", field,
                    "has more than " + std::to_string(kMaxNumberChars) + " characters");
            } else if (const auto refused = m_rules.refusal ? m_rules.refusal(n) : std::nullopt) {
                fail("address-refused", field, *refused);
            } else {
                out.push_back(n);
            }
        }
        return out;
    }

private:
    const std::string& m_at;
    const SubmitRules& m_rules;
};

} // namespace

int EstimateParts(const std::string& text)
{
    if (const auto codes = modem::ToGSMAlphabet(text)) {
        const std::size_t n = codes->size();
        return n <= 160 ? 1 : static_cast<int>(modem::SplitSeptets(*codes, 153).size());
    }
    const std::u16string units = modem::ToUTF16(text);
    return units.size() <= 70 ? 1 : static_cast<int>(modem::SplitUnits(units, 67).size());
}

std::variant<Rows, Problem> ValidateMessage(const json& m, const std::string& at, const SubmitRules& rules)
{
    if (!m.is_object())
        return FieldProblem("invalid-field", at.empty() ? "/" : at, "must be an object");
    static const std::set<std::string> kFields
        = {"to", "text", "send_at", "expires_at", "name", "client_ref"};
    Checker check(at, rules);
    for (const auto& [field, value] : m.items())
        if (!kFields.count(field))
            check.fail("unknown-field", field, "is not a field of a message");
    const std::vector<std::string> numbers = check.numbers(m);
    std::string text;
    if (!m.contains("text") || !m.at("text").is_string()) {
        check.fail("invalid-field", "text", "is required, as a string");
    } else {
        text = m.at("text").get<std::string>();
        const std::size_t chars = characters(text);
        if (blank(text))
            check.fail("empty-text", "text", "is empty: the message would be cancelled as \"Empty Message\"");
        else if (rules.maxTextChars > 0 && chars > static_cast<std::size_t>(rules.maxTextChars))
            check.fail("text-too-long", "text",
                "has " + std::to_string(chars) + " characters; the outbox holds "
                    + std::to_string(rules.maxTextChars));
        else if (const std::string c = controlIn(text, true); !c.empty())
            check.fail("invalid-field", "text", "holds the control character " + c);
    }
    const auto name = check.label(m, "name", kMaxNameChars);
    const auto ref = check.label(m, "client_ref", kMaxClientRefChars);
    const auto sendAt = check.time(m, "send_at");
    const auto expiresAt = check.time(m, "expires_at");
    if (sendAt && expiresAt && *expiresAt > 0 && *expiresAt <= std::max(*sendAt, rules.now))
        check.fail("invalid-field", "expires_at", "must be later than the send time");
    if (!check.errors.empty())
        return FieldProblems(std::move(check.errors));
    Rows rows;
    const int parts = EstimateParts(text);
    for (const std::string& n : numbers)
        rows.push_back({n, text, *name, *ref, *sendAt, *expiresAt, parts});
    return rows;
}

std::variant<Rows, Problem> ValidateSubmit(std::string_view body, const SubmitRules& rules)
{
    auto parsed = ParseJsonBody(body);
    if (auto* p = std::get_if<Problem>(&parsed))
        return std::move(*p);
    return ValidateMessage(std::get<json>(parsed), "", rules);
}

std::variant<std::vector<BatchItem>, Problem> ValidateBatch(std::string_view body, const SubmitRules& rules)
{
    auto parsed = ParseJsonBody(body);
    if (auto* p = std::get_if<Problem>(&parsed))
        return std::move(*p);
    const json& j = std::get<json>(parsed);
    for (const auto& [field, value] : j.items())
        if (field != "messages")
            return FieldProblem("unknown-field", "/" + field, "is not a field of a batch");
    if (!j.contains("messages") || !j.at("messages").is_array())
        return FieldProblem("invalid-field", "/messages", "is required, as an array of messages");
    const json& items = j.at("messages");
    if (items.size() > kMaxBatchItems)
        return FieldProblem("batch-too-large", "/messages",
            "has " + std::to_string(items.size()) + " items; at most " + std::to_string(kMaxBatchItems)
                + " are taken");
    std::vector<BatchItem> out;
    std::size_t rows = 0;
    for (std::size_t i = 0; i < items.size(); ++i) {
        auto result = ValidateMessage(items[i], "/messages/" + std::to_string(i), rules);
        BatchItem item;
        if (auto* p = std::get_if<Problem>(&result))
            item.problem = std::move(*p);
        else
            item.rows = std::move(std::get<Rows>(result));
        rows += item.rows.size();
        out.push_back(std::move(item));
    }
    if (rows > kMaxBatchRows)
        return FieldProblem("batch-too-large", "/messages",
            "names " + std::to_string(rows) + " recipients; at most " + std::to_string(kMaxBatchRows)
                + " are taken");
    return out;
}

} // namespace vesk::api
