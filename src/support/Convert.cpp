#include "support/Convert.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

namespace vesk {

std::string Trim(std::string_view s)
{
    const auto notSpace = [](unsigned char c) { return !std::isspace(c); };
    auto b = std::find_if(s.begin(), s.end(), notSpace);
    auto e = std::find_if(s.rbegin(), s.rend(), notSpace).base();
    return b < e ? std::string(b, e) : std::string();
}

std::string ToLower(std::string_view s)
{
    std::string out(s);
    for (auto& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string ToUpper(std::string_view s)
{
    std::string out(s);
    for (auto& c : out)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

bool EqualsNoCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
    });
}

std::string ReplaceAll(std::string text, std::string_view from, std::string_view to)
{
    if (from.empty())
        return text;
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

std::string ReplacePlaceholders(std::string text)
{
    return ReplaceAll(ReplaceAll(std::move(text), "{APP}", kAppTitle), "{SUITE}", kSuiteTitle);
}

std::optional<double> ToNumber(std::string_view text)
{
    const std::string t = Trim(text);
    if (t.empty())
        return std::nullopt;
    const char* first = t.data();
    const char* last = t.data() + t.size();
    if (*first == '+')
        ++first;
    double v = 0;
    const auto [ptr, ec] = std::from_chars(first, last, v);
    if (ec != std::errc() || ptr != last || !std::isfinite(v))
        return std::nullopt;
    return v;
}

std::optional<std::int16_t> ToInt16(std::string_view text)
{
    const auto v = ToNumber(text);
    if (!v)
        return std::nullopt;
    const double r = std::nearbyint(*v); // the default rounding mode rounds half to even
    if (r < std::numeric_limits<std::int16_t>::min() || r > std::numeric_limits<std::int16_t>::max())
        return std::nullopt;
    return static_cast<std::int16_t>(r);
}

std::optional<std::uint8_t> ToByte(std::string_view text)
{
    const auto v = ToNumber(text);
    if (!v)
        return std::nullopt;
    const double r = std::nearbyint(*v);
    if (r < 0 || r > 255)
        return std::nullopt;
    return static_cast<std::uint8_t>(r);
}

std::optional<float> ToSingle(std::string_view text)
{
    const auto v = ToNumber(text);
    if (!v || std::fabs(*v) > std::numeric_limits<float>::max())
        return std::nullopt;
    return static_cast<float>(*v);
}

std::optional<bool> ToBool(std::string_view text)
{
    const std::string t = Trim(text);
    if (EqualsNoCase(t, "true"))
        return true;
    if (EqualsNoCase(t, "false"))
        return false;
    const auto v = ToNumber(t);
    if (!v)
        return std::nullopt;
    return *v != 0;
}

double LeadingNumber(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    std::size_t j = i;
    if (j < text.size() && (text[j] == '-' || text[j] == '+'))
        ++j;
    while (j < text.size() && (std::isdigit(static_cast<unsigned char>(text[j])) || text[j] == '.'))
        ++j;
    double v = 0;
    std::string part(text.substr(i, j - i));
    if (!part.empty() && part[0] == '+')
        part.erase(0, 1);
    // A second point ends the number: "5.6.0" reads as 5.6.
    if (auto second = part.find('.', part.find('.') + 1);
        part.find('.') != std::string::npos && second != std::string::npos)
        part.resize(second);
    std::from_chars(part.data(), part.data() + part.size(), v);
    return std::isfinite(v) ? v : 0;
}

std::string NumberText(double v)
{
    if (v == std::trunc(v) && std::fabs(v) < 1e15)
        return std::to_string(static_cast<long long>(v));
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.7g", v);
    return buf;
}

std::string NumberTextNoLeadingZero(double v)
{
    std::string s = NumberText(v);
    if (s.rfind("0.", 0) == 0)
        s.erase(0, 1);
    else if (s.rfind("-0.", 0) == 0)
        s.erase(1, 1);
    return s;
}

std::string BoolText(bool v)
{
    return v ? "1" : "0";
}

std::string TextOf(const DbValue& v)
{
    return v ? *v : std::string();
}

std::int16_t IntOf(const DbValue& v)
{
    return IntOfDefault(v, 0);
}

std::int16_t IntOfDefault(const DbValue& v, std::int16_t fallback)
{
    if (!v)
        return fallback;
    if (EqualsNoCase(Trim(*v), "true"))
        return -1;
    return ToInt16(*v).value_or(0);
}

std::int32_t LongOf(const DbValue& v)
{
    const auto n = v ? ToNumber(*v) : std::nullopt;
    if (!n || *n < std::numeric_limits<std::int32_t>::min() || *n > std::numeric_limits<std::int32_t>::max())
        return 0;
    return static_cast<std::int32_t>(std::nearbyint(*n));
}

RowId RowIdOf(const DbValue& v)
{
    if (!v)
        return 0;
    const std::string t = Trim(*v);
    RowId id = 0;
    const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), id);
    return ec == std::errc() && end == t.data() + t.size() ? id : 0;
}

DateTime DateOf(const DbValue& v)
{
    if (!v)
        return {};
    if (auto t = ParseDateTime(*v))
        return *t;
    if (auto n = ToNumber(*v))
        return DateTime::fromDays(*n);
    return {};
}

bool BoolOf(const DbValue& v)
{
    return v && ToBool(*v).value_or(false);
}

std::string EscapeControls(std::string_view text)
{
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        unsigned code = 0x100;
        std::size_t width = 1;
        if (c < 0x20 || c == 0x7F) {
            code = c;
        } else if (c == 0xC2 && i + 1 < text.size()) {
            const auto next = static_cast<unsigned char>(text[i + 1]);
            if (next >= 0x80 && next <= 0x9F) {
                code = next;
                width = 2;
            }
        }
        if (code == 0x100) {
            out += text[i];
            continue;
        }
        switch (code) {
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            out += "\\x";
            out += kHex[code >> 4];
            out += kHex[code & 15];
        }
        i += width - 1;
    }
    return out;
}

} // namespace vesk
