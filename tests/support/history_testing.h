// For the history's tests: a time zone set for one test, UTC seconds of a
// civil time worked out without the C library's calendar, and the rows of
// the history file as SQLite holds them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vx::test {

// Central European time with its DST rules (last Sunday of March 02:00 to last
// Sunday of October 03:00); restores the earlier zone when it goes. On Windows
// the C library knows no rules: a fixed UTC+1 there.
class CentralEuropeanTime {
public:
    CentralEuropeanTime();
    ~CentralEuropeanTime();
    CentralEuropeanTime(const CentralEuropeanTime&) = delete;
    CentralEuropeanTime& operator=(const CentralEuropeanTime&) = delete;
    static bool HasDst();

private:
    std::optional<std::string> earlier_;
};

// A time zone (a POSIX TZ rule) for the life of the object; the earlier one after.
class ZoneForTest {
public:
    explicit ZoneForTest(const char* zone);
    ~ZoneForTest();
    ZoneForTest(const ZoneForTest&) = delete;
    ZoneForTest& operator=(const ZoneForTest&) = delete;

private:
    std::optional<std::string> earlier_;
};

// Seconds since 1970 of the UTC civil time given.
std::int64_t Utc(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);
// The same civil time read on the CET (winter) or CEST (summer) clock.
inline std::int64_t Cet(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
    return Utc(year, month, day, hour, minute, second) - 3600;
}
inline std::int64_t Cest(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
    return Utc(year, month, day, hour, minute, second) - 7200;
}

// Every row of a query's result, each column as a whole number (text columns
// as 0), from the file opened read-only. Throws when the query fails.
std::vector<std::vector<std::int64_t>> Rows(const std::string& file, const std::string& sql);
std::string Text(const std::string& file, const std::string& sql);

}  // namespace vx::test
