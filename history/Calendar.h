// Local-time cuts of UTC seconds: hours, days and billing months as the
// user's clock shows them, so a day with a DST change has 23 or 25 hours and
// is still one day.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

namespace vx {

struct LocalDate {
    int year = 1970;
    int month = 1;  // 1-12
    int day = 1;    // 1-31
};

// Reads the system's time zone again (the user may change it while the
// program runs) and returns the offset from UTC in force at `utc`, seconds.
std::int64_t RefreshedUtcOffset(std::int64_t utc);

// The C library's broken-down local time of UTC seconds.
std::tm LocalTm(std::int64_t utc);
LocalDate LocalDateOf(std::int64_t utc);
// The first moment of a local date (its midnight, or the first moment after
// it when a DST change skips midnight).
std::int64_t LocalDateStart(const LocalDate& date);
// The local date `days` after (or before) `date`: plain calendar arithmetic.
LocalDate AddDays(const LocalDate& date, int days);
LocalDate AddMonths(const LocalDate& date, int months);

std::int64_t LocalHourStart(std::int64_t utc);
std::int64_t LocalDayStart(std::int64_t utc);
std::int64_t NextLocalDayStart(std::int64_t dayStart);

// The billing month holding `utc` when each one starts on `monthStartDay`
// (1-28) of a calendar month: its first moment, and the next one's.
struct BillingMonth {
    std::int64_t start = 0;
    std::int64_t end = 0;
    LocalDate first;  // the local date it starts on
};
BillingMonth BillingMonthOf(std::int64_t utc, int monthStartDay);
BillingMonth PreviousBillingMonth(const BillingMonth& month, int monthStartDay);

// "2026-03-31"
std::string DateText(const LocalDate& date);
// "2026-03-31 14:00": the local hour `utc` falls in.
std::string LocalHourText(std::int64_t utc);

}  // namespace vx
