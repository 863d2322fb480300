#include "attr/time_value.h"

#include <cstdint>

#include "util/ascii_case.h"

namespace kestrel {
namespace {

constexpr std::int64_t kTicksPerSecond = 10'000'000;
// Days from 1601-01-01 to 1970-01-01: the tick count's origin and the civil count's.
constexpr std::int64_t kDaysFrom1601To1970 = 134'774;

// Reads exactly `count` digits at `at`, moving past them.
std::optional<int> digits(std::string_view text, std::size_t& at, std::size_t count) {
    if (at + count > text.size()) {
        return std::nullopt;
    }
    int value = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const char c = text[at + i];
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + (c - '0');
    }
    at += count;
    return value;
}

bool take(std::string_view text, std::size_t& at, char expected) {
    if (at < text.size() && text[at] == expected) {
        ++at;
        return true;
    }
    return false;
}

bool leapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int daysInMonth(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && leapYear(year) ? 29 : kDays[month - 1];
}

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's days_from_civil).
std::int64_t daysSince1970(int year, int month, int day) {
    const int y = year - (month <= 2 ? 1 : 0);
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yearOfEra = y - era * 400;
    const int dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return static_cast<std::int64_t>(era) * 146097 + dayOfEra - 719468;
}

struct Moment {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    std::int64_t fraction = 0;  // in ticks
    int offsetMinutes = 0;      // east of UTC
};

// "T18:00", "T18:00:00", "T18:00:00.1234567", with "T", "t" or a blank before it.
bool readTime(std::string_view text, std::size_t& at, Moment& moment) {
    const auto hour = digits(text, at, 2);
    if (!hour || !take(text, at, ':')) {
        return false;
    }
    const auto minute = digits(text, at, 2);
    if (!minute) {
        return false;
    }
    moment.hour = *hour;
    moment.minute = *minute;
    if (take(text, at, ':')) {
        const auto second = digits(text, at, 2);
        if (!second) {
            return false;
        }
        moment.second = *second;
        if (take(text, at, '.') || take(text, at, ',')) {
            std::int64_t scale = kTicksPerSecond;
            const std::size_t start = at;
            while (at < text.size() && text[at] >= '0' && text[at] <= '9' && at - start < 7) {
                scale /= 10;
                moment.fraction += (text[at++] - '0') * scale;
            }
            if (at == start) {
                return false;
            }
        }
    }
    return moment.hour <= 23 && moment.minute <= 59 && moment.second <= 59;
}

// "Z", "+02:00", "+0200", "+02", or "-" for west of UTC.
bool readOffset(std::string_view text, std::size_t& at, Moment& moment) {
    if (take(text, at, 'Z') || take(text, at, 'z')) {
        return true;
    }
    const bool east = take(text, at, '+');
    if (!east && !take(text, at, '-')) {
        return false;
    }
    const auto hours = digits(text, at, 2);
    if (!hours) {
        return false;
    }
    int minutes = 0;
    if (at < text.size()) {
        take(text, at, ':');
        const auto read = digits(text, at, 2);
        if (!read) {
            return false;
        }
        minutes = *read;
    }
    if (*hours > 23 || minutes > 59) {
        return false;
    }
    moment.offsetMinutes = (east ? 1 : -1) * (*hours * 60 + minutes);
    return true;
}

std::optional<Moment> readMoment(std::string_view text) {
    Moment moment;
    std::size_t at = 0;
    const auto year = digits(text, at, 4);
    if (!year || !take(text, at, '-')) {
        return std::nullopt;
    }
    const auto month = digits(text, at, 2);
    if (!month || !take(text, at, '-')) {
        return std::nullopt;
    }
    const auto day = digits(text, at, 2);
    if (!day) {
        return std::nullopt;
    }
    moment.year = *year;
    moment.month = *month;
    moment.day = *day;
    if (at < text.size()) {
        if (!(take(text, at, 'T') || take(text, at, 't') || take(text, at, ' ')) ||
            !readTime(text, at, moment)) {
            return std::nullopt;
        }
        if (at < text.size() && !readOffset(text, at, moment)) {
            return std::nullopt;
        }
    }
    if (at != text.size()) {
        return std::nullopt;
    }
    return moment;
}

}  // namespace

std::optional<std::string> tickCountOf(std::string_view text, std::string& why) {
    if (asciiLower(text) == "never") {
        return "0";
    }
    const std::optional<Moment> moment = readMoment(text);
    if (!moment) {
        why =
            "not an ISO 8601 date or date-time (2027-01-31, 2027-01-31T18:00, "
            "2027-01-31T18:00:00+02:00) or never";
        return std::nullopt;
    }
    if (moment->month < 1 || moment->month > 12 || moment->day < 1 ||
        moment->day > daysInMonth(moment->year, moment->month)) {
        why = "no such day in the calendar";
        return std::nullopt;
    }
    // A four-digit year keeps every figure far inside 64 bits.
    const std::int64_t days =
        daysSince1970(moment->year, moment->month, moment->day) + kDaysFrom1601To1970;
    const std::int64_t seconds = days * 86400 + moment->hour * 3600 + moment->minute * 60 +
                                 moment->second - moment->offsetMinutes * 60;
    if (seconds < 0) {
        why = "before 1601-01-01 UTC, where the tick count starts";
        return std::nullopt;
    }
    return std::to_string(seconds * kTicksPerSecond + moment->fraction);
}

}  // namespace kestrel
