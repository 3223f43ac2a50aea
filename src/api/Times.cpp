#include "api/Times.h"

#include <algorithm>
#include <cctype>
#include <ctime>

namespace vesk::api {

namespace {

bool leap(int y)
{
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int daysIn(int y, int m)
{
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && leap(y) ? 29 : kDays[m - 1];
}

// Reads `count` digits at `at`; -1 when they are not all digits.
int digits(std::string_view t, std::size_t at, std::size_t count)
{
    if (at + count > t.size())
        return -1;
    int v = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(t[i])))
            return -1;
        v = v * 10 + (t[i] - '0');
    }
    return v;
}

} // namespace

std::optional<std::int64_t> ParseRfc3339(std::string_view t)
{
    const int year = digits(t, 0, 4), month = digits(t, 5, 2), day = digits(t, 8, 2);
    const int hour = digits(t, 11, 2), minute = digits(t, 14, 2), second = digits(t, 17, 2);
    if (t.size() < 20 || t[4] != '-' || t[7] != '-' || (t[10] != 'T' && t[10] != 't' && t[10] != ' ')
        || t[13] != ':' || t[16] != ':' || year < 0 || month < 1 || month > 12 || day < 1 || hour < 0
        || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 60 || day > daysIn(year, month))
        return std::nullopt;
    std::size_t at = 19;
    if (t[at] == '.') {
        const std::size_t start = ++at;
        while (at < t.size() && std::isdigit(static_cast<unsigned char>(t[at])))
            ++at;
        if (at == start)
            return std::nullopt;
    }
    std::int64_t offset = 0;
    if (at < t.size() && (t[at] == 'Z' || t[at] == 'z')) {
        ++at;
    } else if (at < t.size() && (t[at] == '+' || t[at] == '-')) {
        const int oh = digits(t, at + 1, 2), om = digits(t, at + 4, 2);
        if (oh < 0 || oh > 23 || om < 0 || om > 59 || at + 3 >= t.size() || t[at + 3] != ':')
            return std::nullopt;
        offset = (t[at] == '-' ? -1 : 1) * (oh * 3600 + om * 60);
        at += 6;
    } else {
        return std::nullopt;
    }
    if (at != t.size())
        return std::nullopt;
    // Serial seconds of the civil time, counted from 1970 rather than 1899.
    const DateTime civil = DateTime::fromParts(year, month, day, hour, minute, std::min(second, 59));
    return SecondsBetween(DateTime::fromParts(1970, 1, 1), civil) - offset;
}

std::string Rfc3339(std::int64_t unixSeconds)
{
    const std::time_t t = static_cast<std::time_t>(unixSeconds);
    std::tm tm {};
    gmtime_r(&t, &tm);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return text;
}

} // namespace vesk::api
