#include "support/DateTime.h"

#include <array>
#include <cctype>
#include <cmath>
#include <ctime>
#include <vector>

namespace vesk {
namespace {

constexpr std::array<std::string_view, 12> kMonths = {"January", "February", "March", "April", "May", "June",
    "July", "August", "September", "October", "November", "December"};
constexpr std::array<std::string_view, 7> kWeekdays
    = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};

// Days from 1970-01-01 to a proleptic Gregorian date.
constexpr std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

struct Civil
{
    int year;
    int month;
    int day;
};

constexpr Civil civilFromDays(std::int64_t z)
{
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    return {static_cast<int>(y + (m <= 2)), static_cast<int>(m), static_cast<int>(d)};
}

constexpr std::int64_t kEpochDays = daysFromCivil(1899, 12, 30);

std::int64_t floorDiv(std::int64_t a, std::int64_t b)
{
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

std::string twoDigits(int v)
{
    std::string s = std::to_string(v);
    return s.size() < 2 ? "0" + s : s;
}

bool daysInMonthOk(int y, int m, int d)
{
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (m < 1 || m > 12 || d < 1)
        return false;
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return d <= kDays[m - 1] + (m == 2 && leap ? 1 : 0);
}

} // namespace

DateTime DateTime::fromParts(int year, int month, int day, int hour, int minute, int second)
{
    const std::int64_t days
        = daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) - kEpochDays;
    return DateTime(days * 86400 + hour * 3600 + minute * 60 + second);
}

DateTime DateTime::fromDays(double days)
{
    if (!std::isfinite(days) || std::fabs(days) > 3.0e6)
        return DateTime();
    // The fraction is the time of day even before the zero date, as in the OLE date form.
    const double whole = std::trunc(days);
    const double fraction = std::fabs(days - whole);
    const auto secs = static_cast<std::int64_t>(std::llround(fraction * 86400.0));
    return DateTime(static_cast<std::int64_t>(whole) * 86400 + secs);
}

int DateTime::year() const
{
    return civilFromDays(floorDiv(m_seconds, 86400) + kEpochDays).year;
}
int DateTime::month() const
{
    return civilFromDays(floorDiv(m_seconds, 86400) + kEpochDays).month;
}
int DateTime::day() const
{
    return civilFromDays(floorDiv(m_seconds, 86400) + kEpochDays).day;
}
int DateTime::hour() const
{
    return static_cast<int>((m_seconds - floorDiv(m_seconds, 86400) * 86400) / 3600);
}
int DateTime::minute() const
{
    return static_cast<int>((m_seconds - floorDiv(m_seconds, 86400) * 86400) / 60 % 60);
}
int DateTime::second() const
{
    return static_cast<int>((m_seconds - floorDiv(m_seconds, 86400) * 86400) % 60);
}

int DateTime::weekday() const
{
    // 30 Dec 1899 was a Saturday.
    const std::int64_t d = floorDiv(m_seconds, 86400);
    return static_cast<int>(((d + 6) % 7 + 7) % 7) + 1;
}

DateTime DateTime::dateOnly() const
{
    return DateTime(floorDiv(m_seconds, 86400) * 86400);
}

std::string_view MonthName(int month, bool abbreviated)
{
    if (month < 1 || month > 12)
        return {};
    const std::string_view name = kMonths[static_cast<std::size_t>(month - 1)];
    return abbreviated ? name.substr(0, 3) : name;
}

std::string_view WeekdayName(int weekday, bool abbreviated)
{
    if (weekday < 1 || weekday > 7)
        return {};
    const std::string_view name = kWeekdays[static_cast<std::size_t>(weekday - 1)];
    return abbreviated ? name.substr(0, 3) : name;
}

std::string Format(DateTime t, std::string_view pattern)
{
    const Civil c = civilFromDays(floorDiv(t.serialSeconds(), 86400) + kEpochDays);
    std::string out;
    bool afterHour = false; // an "m" run right after an hour means minutes
    std::size_t i = 0;
    while (i < pattern.size()) {
        const char ch = static_cast<char>(std::tolower(static_cast<unsigned char>(pattern[i])));
        std::size_t run = 1;
        while (i + run < pattern.size()
            && std::tolower(static_cast<unsigned char>(pattern[i + run])) == static_cast<unsigned char>(ch))
            ++run;
        switch (ch) {
        case 'd':
            if (run == 1)
                out += std::to_string(c.day);
            else if (run == 2)
                out += twoDigits(c.day);
            else
                out += WeekdayName(t.weekday(), run == 3);
            break;
        case 'm':
            if (afterHour && run <= 2)
                out += run == 1 ? std::to_string(t.minute()) : twoDigits(t.minute());
            else if (run <= 2)
                out += run == 1 ? std::to_string(c.month) : twoDigits(c.month);
            else
                out += MonthName(c.month, run == 3);
            break;
        case 'y':
            out += run <= 2 ? twoDigits(c.year % 100) : std::to_string(c.year);
            break;
        case 'h':
            out += run == 1 ? std::to_string(t.hour()) : twoDigits(t.hour());
            break;
        case 'n':
            out += run == 1 ? std::to_string(t.minute()) : twoDigits(t.minute());
            break;
        case 's':
            out += run == 1 ? std::to_string(t.second()) : twoDigits(t.second());
            break;
        default:
            out.append(pattern.substr(i, run));
            break;
        }
        if (ch == 'h')
            afterHour = true;
        else if (std::isalpha(static_cast<unsigned char>(ch)))
            afterHour = false;
        i += run;
    }
    return out;
}

namespace {

struct Token
{
    bool number;
    std::string text;
    char sepAfter;
};

int monthFromName(std::string_view word)
{
    if (word.size() < 3)
        return 0;
    for (int m = 1; m <= 12; ++m) {
        const std::string_view name = kMonths[static_cast<std::size_t>(m - 1)];
        if (word.size() > name.size())
            continue;
        bool same = true;
        for (std::size_t k = 0; k < word.size(); ++k)
            same = same
                && std::tolower(static_cast<unsigned char>(word[k]))
                    == std::tolower(static_cast<unsigned char>(name[k]));
        if (same)
            return m;
    }
    return 0;
}

} // namespace

std::optional<DateTime> ParseDateTime(std::string_view text)
{
    std::vector<Token> tokens;
    std::size_t i = 0;
    while (i < text.size()) {
        const unsigned char ch = static_cast<unsigned char>(text[i]);
        if (std::isdigit(ch) || std::isalpha(ch)) {
            const bool digits = std::isdigit(ch);
            std::size_t j = i;
            while (j < text.size()
                && (digits ? std::isdigit(static_cast<unsigned char>(text[j]))
                           : std::isalpha(static_cast<unsigned char>(text[j]))))
                ++j;
            if (j - i > 9)
                return std::nullopt;
            tokens.push_back({digits, std::string(text.substr(i, j - i)), 0});
            i = j;
        } else {
            if (ch != ' ' && ch != '/' && ch != '-' && ch != ':' && ch != '.' && ch != 'T' && ch != ','
                && ch != '#')
                return std::nullopt;
            if (!tokens.empty() && tokens.back().sepAfter == 0)
                tokens.back().sepAfter = static_cast<char>(ch);
            ++i;
        }
    }
    // "T" between an ISO date and time arrives as a word; drop it.
    std::erase_if(tokens, [](const Token& t) { return !t.number && (t.text == "T" || t.text == "t"); });
    if (tokens.empty())
        return std::nullopt;

    int year = 1899, month = 12, day = 30;
    std::size_t k = 0;
    bool haveDate = false;
    const auto isTimeStart = [&](std::size_t at) { return tokens[at].number && tokens[at].sepAfter == ':'; };
    if (!isTimeStart(0)) {
        if (tokens.size() < 3)
            return std::nullopt;
        const Token& a = tokens[0];
        const Token& b = tokens[1];
        const Token& c = tokens[2];
        if (a.number && a.text.size() == 4) { // yyyy-mm-dd
            if (!b.number || !c.number)
                return std::nullopt;
            year = std::stoi(a.text);
            month = std::stoi(b.text);
            day = std::stoi(c.text);
        } else {
            if (!a.number || !c.number)
                return std::nullopt;
            day = std::stoi(a.text);
            month = b.number ? std::stoi(b.text) : monthFromName(b.text);
            year = std::stoi(c.text);
            if (c.text.size() <= 2)
                year += year < 30 ? 2000 : 1900;
        }
        if (!daysInMonthOk(year, month, day))
            return std::nullopt;
        k = 3;
        haveDate = true;
    }
    int hour = 0, minute = 0, second = 0;
    if (k < tokens.size()) {
        std::vector<int> parts;
        while (k < tokens.size() && tokens[k].number && parts.size() < 3) {
            parts.push_back(std::stoi(tokens[k].text));
            ++k;
        }
        if (parts.size() < 2)
            return std::nullopt;
        hour = parts[0];
        minute = parts[1];
        second = parts.size() > 2 ? parts[2] : 0;
        if (k < tokens.size() && !tokens[k].number) {
            std::string ampm = tokens[k].text;
            for (auto& ch : ampm)
                ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
            if (ampm == "PM" && hour < 12)
                hour += 12;
            else if (ampm == "AM" && hour == 12)
                hour = 0;
            else if (ampm != "AM" && ampm != "PM")
                return std::nullopt;
            ++k;
        }
        if (k != tokens.size() || hour > 23 || minute > 59 || second > 59)
            return std::nullopt;
    } else if (!haveDate) {
        return std::nullopt;
    }
    return DateTime::fromParts(year, month, day, hour, minute, second);
}

std::int64_t UnixFromLocal(DateTime local)
{
    std::tm tm {};
    tm.tm_year = local.year() - 1900;
    tm.tm_mon = local.month() - 1;
    tm.tm_mday = local.day();
    tm.tm_hour = local.hour();
    tm.tm_min = local.minute();
    tm.tm_sec = local.second();
    tm.tm_isdst = -1;
    return static_cast<std::int64_t>(std::mktime(&tm));
}

DateTime LocalFromUnix(std::int64_t unixSeconds)
{
    const std::time_t t = static_cast<std::time_t>(unixSeconds);
    std::tm tm {};
    localtime_r(&t, &tm);
    return DateTime::fromParts(
        tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
}

} // namespace vesk
