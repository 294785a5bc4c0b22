#include "tests/support/history_testing.h"

#include <sqlite3.h>

#include <cstdlib>
#include <ctime>
#include <stdexcept>

namespace vx::test {

namespace {

void SetZone(const char* zone) {
#ifdef _WIN32
    _putenv_s("TZ", zone ? zone : "");
    _tzset();
#else
    if (zone)
        setenv("TZ", zone, 1);
    else
        unsetenv("TZ");
    tzset();
#endif
}

struct Db {
    sqlite3* db = nullptr;
    explicit Db(const std::string& file) {
        if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
            throw std::runtime_error("cannot open " + file);
    }
    ~Db() { sqlite3_close_v2(db); }
};

}  // namespace

CentralEuropeanTime::CentralEuropeanTime() {
    if (const char* zone = std::getenv("TZ")) earlier_ = zone;
    SetZone(HasDst() ? "CET-1CEST,M3.5.0,M10.5.0/3" : "CET-1");
}

CentralEuropeanTime::~CentralEuropeanTime() { SetZone(earlier_ ? earlier_->c_str() : nullptr); }

ZoneForTest::ZoneForTest(const char* zone) {
    if (const char* earlier = std::getenv("TZ")) earlier_ = earlier;
    SetZone(zone);
}

ZoneForTest::~ZoneForTest() { SetZone(earlier_ ? earlier_->c_str() : nullptr); }

bool CentralEuropeanTime::HasDst() {
#ifdef _WIN32
    return false;
#else
    return true;
#endif
}

std::int64_t Utc(int year, int month, int day, int hour, int minute, int second) {
    // Days from 1970-01-01 of a proleptic Gregorian date.
    const int y = year - (month <= 2 ? 1 : 0);
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yoe = y - era * 400;
    const int doy = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const std::int64_t days = std::int64_t{era} * 146097 + doe - 719468;
    return days * 86400 + hour * 3600 + minute * 60 + second;
}

std::vector<std::vector<std::int64_t>> Rows(const std::string& file, const std::string& sql) {
    Db db(file);
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(db.db, sql.c_str(), -1, &s, nullptr) != SQLITE_OK)
        throw std::runtime_error(std::string("bad query: ") + sqlite3_errmsg(db.db));
    std::vector<std::vector<std::int64_t>> rows;
    int rc;
    while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
        std::vector<std::int64_t> row;
        for (int c = 0; c < sqlite3_column_count(s); ++c) row.push_back(sqlite3_column_int64(s, c));
        rows.push_back(row);
    }
    sqlite3_finalize(s);
    if (rc != SQLITE_DONE) throw std::runtime_error("query failed: " + sql);
    return rows;
}

std::string Text(const std::string& file, const std::string& sql) {
    Db db(file);
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(db.db, sql.c_str(), -1, &s, nullptr) != SQLITE_OK)
        throw std::runtime_error(std::string("bad query: ") + sqlite3_errmsg(db.db));
    std::string text;
    if (sqlite3_step(s) == SQLITE_ROW && sqlite3_column_text(s, 0))
        text = reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
    sqlite3_finalize(s);
    return text;
}

}  // namespace vx::test
