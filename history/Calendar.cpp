#include "history/Calendar.h"

#include <cstdio>
#include <ctime>

namespace vx {

std::tm LocalTm(std::int64_t utc) {
    const auto t = static_cast<std::time_t>(utc);
    std::tm tm{};
#ifdef _WIN32
    localtime_s(&tm, &t);
#else
    localtime_r(&t, &tm);
#endif
    return tm;
}

std::int64_t RefreshedUtcOffset(std::int64_t utc) {
#ifdef _WIN32
    _tzset();
    std::tm tm = LocalTm(utc);
    // The local civil time read as UTC, less the moment itself.
    return static_cast<std::int64_t>(_mkgmtime(&tm)) - utc;
#else
    // localtime_r need not look at the zone again by itself.
    tzset();
    return LocalTm(utc).tm_gmtoff;
#endif
}

LocalDate LocalDateOf(std::int64_t utc) {
    const std::tm tm = LocalTm(utc);
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday};
}

std::int64_t LocalDateStart(const LocalDate& date) {
    std::tm tm{};
    tm.tm_year = date.year - 1900;
    tm.tm_mon = date.month - 1;
    tm.tm_mday = date.day;
    tm.tm_isdst = -1;  // whichever offset is in force at that midnight
    const std::time_t start = std::mktime(&tm);
    return static_cast<std::int64_t>(start);
}

LocalDate AddDays(const LocalDate& date, int days) {
    // Noon keeps mktime's normalisation away from any DST change.
    std::tm tm{};
    tm.tm_year = date.year - 1900;
    tm.tm_mon = date.month - 1;
    tm.tm_mday = date.day + days;
    tm.tm_hour = 12;
    tm.tm_isdst = -1;
    std::mktime(&tm);
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday};
}

LocalDate AddMonths(const LocalDate& date, int months) {
    int index = date.year * 12 + (date.month - 1) + months;
    return {index / 12, index % 12 + 1, date.day};
}

std::int64_t LocalHourStart(std::int64_t utc) {
    // Back to the local hour's start: right for every offset, half hours included.
    const std::tm tm = LocalTm(utc);
    return utc - std::int64_t{tm.tm_min} * 60 - tm.tm_sec;
}

std::int64_t LocalDayStart(std::int64_t utc) { return LocalDateStart(LocalDateOf(utc)); }

std::int64_t NextLocalDayStart(std::int64_t dayStart) { return LocalDateStart(AddDays(LocalDateOf(dayStart), 1)); }

BillingMonth BillingMonthOf(std::int64_t utc, int monthStartDay) {
    const LocalDate today = LocalDateOf(utc);
    LocalDate first{today.year, today.month, monthStartDay};
    if (today.day < monthStartDay) first = AddMonths(first, -1);
    return {LocalDateStart(first), LocalDateStart(AddMonths(first, 1)), first};
}

BillingMonth PreviousBillingMonth(const BillingMonth& month, int monthStartDay) {
    const LocalDate first = AddMonths(LocalDate{month.first.year, month.first.month, monthStartDay}, -1);
    return {LocalDateStart(first), month.start, first};
}

std::string DateText(const LocalDate& date) {
    char text[48];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", date.year, date.month, date.day);
    return text;
}

std::string LocalHourText(std::int64_t utc) {
    const std::tm tm = LocalTm(utc);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:00", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                  tm.tm_hour);
    return text;
}

}  // namespace vx
