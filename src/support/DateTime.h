#pragma once

#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vesk {

// A local civil date and time to the second, counted from 30 Dec 1899 00:00:00.
// The zero value is that very moment and means "no date".
class DateTime
{
public:
    constexpr DateTime() = default;

    static DateTime fromParts(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);
    static constexpr DateTime fromSerialSeconds(std::int64_t s) { return DateTime(s); }
    // Days since the zero date with the time as fraction, as spreadsheets and VB count them.
    static DateTime fromDays(double days);

    constexpr std::int64_t serialSeconds() const { return m_seconds; }
    double days() const { return static_cast<double>(m_seconds) / 86400.0; }
    constexpr bool isZero() const { return m_seconds == 0; }

    int year() const;
    int month() const;
    int day() const;
    int hour() const;
    int minute() const;
    int second() const;
    int weekday() const; // 1 Sunday ... 7 Saturday

    DateTime addSeconds(std::int64_t n) const { return DateTime(m_seconds + n); }
    DateTime addMinutes(std::int64_t n) const { return addSeconds(n * 60); }
    DateTime addHours(std::int64_t n) const { return addSeconds(n * 3600); }
    DateTime addDays(std::int64_t n) const { return addSeconds(n * 86400); }
    DateTime dateOnly() const;

    constexpr auto operator<=>(const DateTime&) const = default;

private:
    constexpr explicit DateTime(std::int64_t s)
        : m_seconds(s)
    {
    }
    std::int64_t m_seconds = 0;
};

// Seconds from a to b (negative when b is earlier).
inline std::int64_t SecondsBetween(DateTime a, DateTime b)
{
    return b.serialSeconds() - a.serialSeconds();
}

// Minute boundaries passed from a to b, as the calendar counts them: 14:20:59 to 14:21:00 is one.
inline std::int64_t MinuteBoundaries(DateTime a, DateTime b)
{
    const auto minuteOf = [](DateTime t) {
        const auto s = t.serialSeconds();
        return s >= 0 ? s / 60 : (s - 59) / 60;
    };
    return minuteOf(b) - minuteOf(a);
}

// VB-style formatting: d dd ddd dddd, m mm mmm mmmm (minutes after h), yy yyyy, h hh, n nn, s ss.
// Letters are matched without regard to case; names are always English.
std::string Format(DateTime t, std::string_view pattern);

// Local civil time to Unix seconds and back, in this machine's time zone.
std::int64_t UnixFromLocal(DateTime local);
DateTime LocalFromUnix(std::int64_t unixSeconds);

// Reads the date forms the console writes and meets: "dd/mmm/yyyy hh:nn:ss", "dd/mm/yyyy",
// two-digit years, "yyyy-mm-dd hh:mm:ss" (with 'T' too) and date or time alone.
std::optional<DateTime> ParseDateTime(std::string_view text);

std::string_view MonthName(int month, bool abbreviated);
std::string_view WeekdayName(int weekday, bool abbreviated);

// Local civil time to Unix seconds and back, in this machine's time zone.
std::int64_t UnixFromLocal(DateTime local);
DateTime LocalFromUnix(std::int64_t unixSeconds);

} // namespace vesk
