// The traffic history's store: the local-time cuts (midnight, month ends, the
// billing day, DST changes), what is kept how long, routers kept apart, the
// totals from before the history, writes that fail, and the texts.
#include <gtest/gtest.h>

#include <sqlite3.h>

#ifndef _WIN32
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <string>
#include <tuple>

#include "history/Calendar.h"
#include "history/History.h"
#include "history/HistoryStore.h"
#include "tests/support/files.h"
#include "runtime/clock.h"
#include "tests/support/history_testing.h"

namespace vx {
namespace {

using test::Cest;
using test::Cet;
using test::Rows;
namespace fs = std::filesystem;

class HistoryTest : public ::testing::Test {
protected:
    std::unique_ptr<History> Open(const RouterKey& router = {"127.0.0.5", "web"}, int monthStartDay = 1) {
        std::string error;
        std::unique_ptr<History> h = History::Open(file, router, error, monthStartDay);
        EXPECT_TRUE(h) << error;
        return h;
    }
    static void Flush(History& h) {
        std::string error;
        ASSERT_TRUE(h.flush(error)) << error;
    }
    static double Total(const ByteCounts& b) { return b.in + b.out; }
    void SetUp() override { FixedPaceSeconds() = 1000; }
    void TearDown() override { FixedPaceSeconds() = 0; }

    test::CentralEuropeanTime zone;
    test::TempDir dir;
    std::string file = dir.file("history.db");
};

TEST_F(HistoryTest, DaysAreCutAtLocalMidnightAndADstDayIsStillOneDay) {
    // Winter: midnight is 23:00 UTC the day before.
    EXPECT_EQ(LocalDayStart(Cet(2026, 1, 15, 13, 30)), Cet(2026, 1, 15));
    EXPECT_EQ(NextLocalDayStart(Cet(2026, 1, 15)), Cet(2026, 1, 16));
    EXPECT_EQ(LocalHourStart(Cet(2026, 1, 15, 13, 59, 59)), Cet(2026, 1, 15, 13));
    if (!test::CentralEuropeanTime::HasDst()) GTEST_SKIP() << "no DST rules in this C library";
    // 29 March 2026 loses an hour, 25 October 2026 gains one.
    EXPECT_EQ(NextLocalDayStart(Cet(2026, 3, 29)) - Cet(2026, 3, 29), 23 * 3600);
    EXPECT_EQ(NextLocalDayStart(Cest(2026, 10, 25)) - Cest(2026, 10, 25), 25 * 3600);
    EXPECT_EQ(LocalDayStart(Cest(2026, 3, 29, 23, 59)), Cet(2026, 3, 29));
    EXPECT_EQ(LocalDayStart(Cet(2026, 10, 25, 23, 59)), Cest(2026, 10, 25));
}

TEST_F(HistoryTest, BillingMonthsStartOnTheirDayAtLocalMidnight) {
    BillingMonth m = BillingMonthOf(Cet(2026, 1, 31, 23, 59), 1);
    EXPECT_EQ(m.start, Cet(2026, 1, 1));
    EXPECT_EQ(m.end, Cet(2026, 2, 1));
    m = BillingMonthOf(Cet(2026, 2, 14, 23, 59, 59), 15);
    EXPECT_EQ(m.start, Cet(2026, 1, 15));
    EXPECT_EQ(m.end, Cet(2026, 2, 15));
    m = BillingMonthOf(Cet(2026, 2, 15), 15);
    EXPECT_EQ(m.start, Cet(2026, 2, 15));
    // Across a year end, and back one month.
    m = BillingMonthOf(Cet(2026, 1, 3), 28);
    EXPECT_EQ(m.start, Cet(2025, 12, 28));
    EXPECT_EQ(PreviousBillingMonth(m, 28).start, Cet(2025, 11, 28));
    if (!test::CentralEuropeanTime::HasDst()) return;
    // A billing month across the spring change is an hour short.
    m = BillingMonthOf(Cest(2026, 4, 1), 15);
    EXPECT_EQ(m.start, Cet(2026, 3, 15));
    EXPECT_EQ(m.end, Cest(2026, 4, 15));
}

TEST_F(HistoryTest, BytesAcrossMidnightGoToTheirOwnDaysHoursAndMinutes) {
    auto h = Open();
    h->add(Cet(2026, 1, 14, 23, 59, 30), {1000, 10});
    h->add(Cet(2026, 1, 14, 23, 59, 59), {2000, 20});
    h->add(Cet(2026, 1, 15, 0, 0, 0), {4000, 40});
    h->add(Cet(2026, 1, 15, 0, 1, 10), {8000, 80});
    // Not written yet, and already in the summary.
    HistorySummary s = h->summary(Cet(2026, 1, 15, 0, 2), 1, std::nullopt);
    EXPECT_EQ(s.yesterday.in, 3000);
    EXPECT_EQ(s.today.in, 12000);
    EXPECT_EQ(s.today.out, 120);
    ASSERT_EQ(s.days.size(), 30u);
    EXPECT_EQ(s.days.back().start, Cet(2026, 1, 15));
    EXPECT_EQ(s.days[28].start, Cet(2026, 1, 14));
    ASSERT_EQ(s.hours.size(), 24u);
    EXPECT_EQ(s.hours.back().start, Cet(2026, 1, 15, 0));
    EXPECT_EQ(s.hours.back().bytes.in, 12000);
    EXPECT_EQ(s.hours[22].bytes.in, 3000);
    Flush(*h);

    EXPECT_EQ(Rows(file, "SELECT start, bytes_in, bytes_out FROM minutes ORDER BY start"),
              (std::vector<std::vector<std::int64_t>>{{Cet(2026, 1, 14, 23, 59), 3000, 30},
                                                      {Cet(2026, 1, 15, 0, 0), 4000, 40},
                                                      {Cet(2026, 1, 15, 0, 1), 8000, 80}}));
    EXPECT_EQ(Rows(file, "SELECT start, bytes_in FROM hours ORDER BY start"),
              (std::vector<std::vector<std::int64_t>>{{Cet(2026, 1, 14, 23), 3000}, {Cet(2026, 1, 15, 0), 12000}}));
    EXPECT_EQ(Rows(file, "SELECT start, bytes_in FROM days ORDER BY start"),
              (std::vector<std::vector<std::int64_t>>{{Cet(2026, 1, 14), 3000}, {Cet(2026, 1, 15), 12000}}));
    EXPECT_EQ(test::Text(file, "SELECT group_concat(day) FROM (SELECT day FROM days ORDER BY day)"),
              "2026-01-14,2026-01-15");

    // A new run sees the same, and adds to the same rows.
    h.reset();
    h = Open();
    h->add(Cet(2026, 1, 15, 0, 1, 50), {1, 1});
    Flush(*h);
    s = h->summary(Cet(2026, 1, 15, 0, 2), 1, std::nullopt);
    EXPECT_EQ(s.yesterday.in, 3000);
    EXPECT_EQ(s.today.in, 12001);
    EXPECT_EQ(Rows(file, "SELECT count(*), sum(bytes_in) FROM minutes"),
              (std::vector<std::vector<std::int64_t>>{{3, 15001}}));
}

TEST_F(HistoryTest, AMonthEndSplitsThisMonthFromLastMonth) {
    auto h = Open();
    h->add(Cet(2026, 1, 31, 23, 59, 59), {500, 5});
    h->add(Cet(2026, 2, 1, 0, 0, 1), {700, 7});
    Flush(*h);
    h->add(Cet(2026, 2, 28, 23, 0), {100, 1});
    HistorySummary s = h->summary(Cet(2026, 2, 28, 23, 30), 1, std::nullopt);
    EXPECT_EQ(s.monthStart, Cet(2026, 2, 1));
    EXPECT_EQ(s.lastMonth.in, 500);
    EXPECT_EQ(s.thisMonth.in, 800);
    EXPECT_EQ(s.thisMonth.out, 8);
    // A moment later it is March: February is last month, this month is empty.
    s = h->summary(Cet(2026, 3, 1, 0, 0, 0), 1, std::nullopt);
    EXPECT_EQ(s.monthStart, Cet(2026, 3, 1));
    EXPECT_EQ(s.lastMonth.in, 800);
    EXPECT_EQ(Total(s.thisMonth), 0);
    Flush(*h);
    EXPECT_EQ(Rows(file, "SELECT start, bytes_in FROM months ORDER BY start"),
              (std::vector<std::vector<std::int64_t>>{{Cet(2026, 1, 1), 500}, {Cet(2026, 2, 1), 800}}));
    // Every billing month from the first, the empty current one included.
    auto* store = dynamic_cast<HistoryStore*>(h.get());
    ASSERT_TRUE(store);
    const std::vector<HistoryBar> months = store->months(Cet(2026, 4, 2), 1);
    ASSERT_EQ(months.size(), 4u);
    EXPECT_EQ(months[0].start, Cet(2026, 1, 1));
    EXPECT_EQ(months[1].bytes.in, 800);
    EXPECT_EQ(Total(months[2].bytes), 0);
    EXPECT_EQ(months[3].start, test::CentralEuropeanTime::HasDst() ? Cest(2026, 4, 1) : Cet(2026, 4, 1));
}

TEST_F(HistoryTest, TheBillingDayCutsTheMonthsWhereverTheBytesWereWritten) {
    auto h = Open({"127.0.0.5", "web"}, 15);
    h->add(Cet(2026, 2, 14, 23, 59, 59), {300, 3});
    h->add(Cet(2026, 2, 15, 0, 0, 0), {900, 9});
    Flush(*h);
    HistorySummary s = h->summary(Cet(2026, 2, 20), 15, 1000.0);
    EXPECT_EQ(s.monthStart, Cet(2026, 2, 15));
    EXPECT_EQ(s.thisMonth.in, 900);
    EXPECT_EQ(s.lastMonth.in, 300);
    ASSERT_TRUE(s.quota);
    EXPECT_EQ(*s.quota, 1000.0);
    // The monthly rows start on the billing day.
    EXPECT_EQ(Rows(file, "SELECT start, month_start_day, bytes_in FROM months ORDER BY start"),
              (std::vector<std::vector<std::int64_t>>{{Cet(2026, 1, 15), 15, 300}, {Cet(2026, 2, 15), 15, 900}}));
    // Another billing day asked later counts the same days its own way.
    s = h->summary(Cet(2026, 2, 20), 1, std::nullopt);
    EXPECT_EQ(s.monthStart, Cet(2026, 2, 1));
    EXPECT_EQ(s.thisMonth.in, 1200);
    EXPECT_EQ(Total(s.lastMonth), 0);
    // Days outside 1-28 fall back to the first.
    EXPECT_EQ(h->summary(Cet(2026, 2, 20), 31, std::nullopt).monthStart, Cet(2026, 2, 1));
}

TEST_F(HistoryTest, ADayWithADstChangeIsOneDayOf23Or25Hours) {
    if (!test::CentralEuropeanTime::HasDst()) GTEST_SKIP() << "no DST rules in this C library";
    auto h = Open();
    // Every hour of 29 March (23 of them: 01:00 UTC the clock jumps to 03:00)
    // and of 25 October (25: the hour 02:00 comes twice).
    for (std::int64_t t = Cet(2026, 3, 29); t < Cest(2026, 3, 30); t += 3600) h->add(t + 60, {1, 0});
    for (std::int64_t t = Cest(2026, 10, 25); t < Cet(2026, 10, 26); t += 3600) h->add(t + 60, {0, 1});
    Flush(*h);
    EXPECT_EQ(Rows(file, "SELECT start, bytes_in, bytes_out FROM days ORDER BY start"),
              (std::vector<std::vector<std::int64_t>>{{Cet(2026, 3, 29), 23, 0}, {Cest(2026, 10, 25), 0, 25}}));
    EXPECT_EQ(Rows(file, "SELECT count(*) FROM hours WHERE bytes_out > 0"),
              (std::vector<std::vector<std::int64_t>>{{25}}));

    // The last 24 hours as of the evening of the long day: each a distinct hour,
    // the repeated 02:00 twice, nothing lost.
    HistorySummary s = h->summary(Cet(2026, 10, 25, 23, 30), 1, std::nullopt);
    EXPECT_EQ(s.today.out, 25);
    double hours = 0;
    for (std::size_t i = 0; i < s.hours.size(); ++i) {
        hours += s.hours[i].bytes.out;
        if (i > 0) {
            EXPECT_EQ(s.hours[i].start - s.hours[i - 1].start, 3600);
        }
    }
    EXPECT_EQ(hours, 24);  // the day's first hour is 25 hours back
    EXPECT_EQ(s.days.back().start, Cest(2026, 10, 25));
    EXPECT_EQ(s.days[28].start, Cest(2026, 10, 24));
    // The short day as seen a day later: one bar, all 23 hours in it.
    s = h->summary(Cest(2026, 3, 30, 12), 1, std::nullopt);
    EXPECT_EQ(s.yesterday.in, 23);
    EXPECT_EQ(s.days[28].start, Cet(2026, 3, 29));
    EXPECT_EQ(s.days[29].start, Cest(2026, 3, 30));
}

TEST_F(HistoryTest, MinutesAreKept48HoursAndHours90DaysDaysAndMonthsForEver) {
    auto h = Open();
    const std::int64_t t0 = Cet(2026, 1, 1, 12);
    h->add(t0, {1, 1});
    Flush(*h);
    h->add(t0 + 48 * 3600 - 60, {2, 2});
    Flush(*h);
    EXPECT_EQ(Rows(file, "SELECT count(*) FROM minutes"), (std::vector<std::vector<std::int64_t>>{{2}}));
    h->add(t0 + 48 * 3600 + 60, {4, 4});
    Flush(*h);
    EXPECT_EQ(Rows(file, "SELECT start FROM minutes ORDER BY start"),
              (std::vector<std::vector<std::int64_t>>{{t0 + 48 * 3600 - 60}, {t0 + 48 * 3600 + 60}}));
    EXPECT_EQ(Rows(file, "SELECT count(*) FROM hours"), (std::vector<std::vector<std::int64_t>>{{3}}));
    // 90 days after the 3rd's last hour, all three hours are past their keeping.
    const std::int64_t later = t0 + 48 * 3600 + 90 * 86400 + 3600;
    h->add(later, {8, 8});
    Flush(*h);
    EXPECT_EQ(Rows(file, "SELECT start FROM hours ORDER BY start"),
              (std::vector<std::vector<std::int64_t>>{{LocalHourStart(later)}}));
    EXPECT_EQ(Rows(file, "SELECT start FROM minutes"), (std::vector<std::vector<std::int64_t>>{{later}}));
    EXPECT_EQ(Rows(file, "SELECT count(*), sum(bytes_in) FROM days"),
              (std::vector<std::vector<std::int64_t>>{{3, 15}}));
    EXPECT_EQ(Rows(file, "SELECT count(*), sum(bytes_in) FROM months"),
              (std::vector<std::vector<std::int64_t>>{{2, 15}}));
}

using Table = std::vector<std::vector<std::int64_t>>;

TEST_F(HistoryTest, RecoveredBytesAreSpreadEvenlyOverTheGapAndAddUpExactly) {
    auto h = Open();
    // Two hours, from half past ten: half an hour, a whole hour, half an hour.
    h->addRecovered(Cet(2026, 1, 15, 10, 30), Cet(2026, 1, 15, 12, 30), {7200, 7201});
    h->add(Cet(2026, 1, 15, 12, 30, 5), {100, 0});
    Flush(*h);
    EXPECT_EQ(Rows(file, "SELECT start, bytes_in, recovered_in, recovered_out FROM hours ORDER BY start"),
              (Table{{Cet(2026, 1, 15, 10), 1800, 1800, 1800},
                     {Cet(2026, 1, 15, 11), 3600, 3600, 3601},
                     {Cet(2026, 1, 15, 12), 1900, 1800, 1800}}));
    EXPECT_EQ(Rows(file, "SELECT count(*), sum(recovered_in) FROM minutes"), (Table{{121, 7200}}));
    HistorySummary s = h->summary(Cet(2026, 1, 15, 13), 1, std::nullopt);
    EXPECT_EQ(s.today.in, 7300);
    EXPECT_EQ(s.todayRecovered.in, 7200);
    EXPECT_EQ(s.thisMonthRecovered.out, 7201);

    // A hundred days: minutes for the last two only, every byte in the days.
    const std::int64_t to = Cet(2026, 5, 1, 9, 17, 3);
    h->addRecovered(to - 100 * 86400, to, {1e9 + 7, 0});
    Flush(*h);
    EXPECT_EQ(Rows(file, "SELECT sum(recovered_in) FROM days"), (Table{{7200 + 1000000007}}));
    EXPECT_LE(Rows(file, "SELECT count(*) FROM minutes")[0][0], 48 * 60 + 1);
}

TEST_F(HistoryTest, AFileOfThePreviousLayoutOpensKeepsItsBytesAndGainsTheNewOnes) {
    {
        // The previous vxstat's layout, as it made it.
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
        const char* const old = R"sql(
PRAGMA journal_mode=WAL;
CREATE TABLE routers(id INTEGER PRIMARY KEY, address TEXT NOT NULL, source TEXT NOT NULL,
  before_in INTEGER NOT NULL DEFAULT 0, before_out INTEGER NOT NULL DEFAULT 0,
  before_kept INTEGER NOT NULL DEFAULT 0, UNIQUE(address, source));
CREATE TABLE minutes(router INTEGER NOT NULL, start INTEGER NOT NULL, bytes_in INTEGER NOT NULL,
  bytes_out INTEGER NOT NULL, PRIMARY KEY(router, start)) WITHOUT ROWID;
CREATE TABLE hours(router INTEGER NOT NULL, start INTEGER NOT NULL, bytes_in INTEGER NOT NULL,
  bytes_out INTEGER NOT NULL, PRIMARY KEY(router, start)) WITHOUT ROWID;
CREATE TABLE days(router INTEGER NOT NULL, day TEXT NOT NULL, start INTEGER NOT NULL,
  bytes_in INTEGER NOT NULL, bytes_out INTEGER NOT NULL, PRIMARY KEY(router, day)) WITHOUT ROWID;
CREATE TABLE months(router INTEGER NOT NULL, month TEXT NOT NULL, start INTEGER NOT NULL,
  month_start_day INTEGER NOT NULL, bytes_in INTEGER NOT NULL, bytes_out INTEGER NOT NULL,
  PRIMARY KEY(router, month)) WITHOUT ROWID;
CREATE TABLE notices(router INTEGER NOT NULL, month_start INTEGER NOT NULL, percent INTEGER NOT NULL,
  PRIMARY KEY(router, month_start)) WITHOUT ROWID;
PRAGMA user_version=1;
INSERT INTO routers(address, source, before_in, before_out, before_kept) VALUES('127.0.0.5', 'web', 9, 8, 1);
INSERT INTO hours VALUES(1, 1768467600, 500, 50);
INSERT INTO days VALUES(1, '2026-01-15', 1768431600, 500, 50);
INSERT INTO months VALUES(1, '2026-01-01', 1767222000, 1, 500, 50);
)sql";
        ASSERT_EQ(sqlite3_exec(db, old, nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
        sqlite3_close(db);
    }
    ASSERT_EQ(1768467600, Cet(2026, 1, 15, 10));
    const std::int64_t now = Cet(2026, 1, 15, 13);
    {
        // Read as it stands (the command line).
        std::string error;
        auto reader = HistoryReader::Open(file, error);
        ASSERT_TRUE(reader && reader->routers().size() == 1) << error;
        EXPECT_EQ(reader->history(reader->routers()[0])->summary(now, 1, std::nullopt).hours[20].bytes.in, 500);
    }
    auto h = Open();
    EXPECT_FALSE(h->storedMark()) << "no mark: nothing to recover from";
    EXPECT_EQ(h->summary(now, 1, std::nullopt).beforeHistory.in, 9);
    h->addRecovered(Cet(2026, 1, 15, 10), Cet(2026, 1, 15, 11), {3600, 0});
    h->add(Cet(2026, 1, 15, 11, 0, 1), {1, 0});
    // 2^64 - 1 as the counters hold it: a double round-trips in the file.
    CounterMark mark{18446744073709551615.0, 4294967295.0, 123456.78, now, true, "pppoe-wan"};
    h->keepMark(mark);
    Flush(*h);
    h.reset();

    h = Open();
    const HistorySummary s = h->summary(now, 1, std::nullopt);
    EXPECT_EQ(s.today.in, 500 + 3600 + 1);
    EXPECT_EQ(s.hours[20].bytes.in, 500 + 3600);
    EXPECT_EQ(s.hours[20].recovered.in, 3600);
    EXPECT_EQ(s.thisMonthRecovered.in, 3600);
    const std::optional<CounterMark> kept = h->storedMark();
    ASSERT_TRUE(kept);
    EXPECT_EQ(std::tie(kept->bytesIn, kept->bytesOut, kept->uptime, kept->utc, kept->counters64, kept->counters),
              std::tie(mark.bytesIn, mark.bytesOut, mark.uptime, mark.utc, mark.counters64, mark.counters));
    h.reset();

    EXPECT_EQ(Rows(file, "PRAGMA user_version"), (Table{{1}})) << "the previous vxstat still opens it";
}

// A full file (48 hours of minutes, 90 days of hours, three years of days and
// months) is checked whole at open and written each minute; SQLite's memory
// for it stays within what a minute's write needs, not the file's size.
TEST_F(HistoryTest, AFullHistoryFileIsOpenedAndWrittenInLittleMemory) {
    const std::int64_t now = Cet(2026, 6, 1, 12);
    {
        auto h = Open();
        h->add(now - 120, {1, 1});
        Flush(*h);
    }
    sqlite3* raw = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &raw), SQLITE_OK);
    std::string fill = "BEGIN;";
    for (std::int64_t i = 1; i <= 2 * 24 * 60; ++i)
        fill += "INSERT OR IGNORE INTO minutes(router, start, bytes_in, bytes_out) VALUES(1, " +
                std::to_string(now - 60 * i) + ", 123456789, 12345678);";
    for (std::int64_t i = 1; i <= 90 * 24; ++i)
        fill += "INSERT OR IGNORE INTO hours(router, start, bytes_in, bytes_out) VALUES(1, " +
                std::to_string(now - 3600 * i) + ", 1234567890, 123456789);";
    for (int i = 1; i <= 3 * 365; ++i)
        fill += "INSERT OR IGNORE INTO days(router, day, start, bytes_in, bytes_out) VALUES(1, date(" +
                std::to_string(now) + ", 'unixepoch', '-" + std::to_string(i) + " days'), " +
                std::to_string(now - 86400 * i) + ", 12345678901, 1234567890);";
    for (int i = 1; i <= 36; ++i)
        fill +=
            "INSERT OR IGNORE INTO months(router, month, start, month_start_day, bytes_in, bytes_out) VALUES(1, "
            "strftime('%Y-%m', " +
            std::to_string(now) + ", 'unixepoch', '-" + std::to_string(i) + " months'), " +
            std::to_string(now - 2629746 * i) + ", 1, 123456789012, 12345678901);";
    fill += "COMMIT; PRAGMA wal_checkpoint(TRUNCATE);";
    ASSERT_EQ(sqlite3_exec(raw, fill.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(raw);
    sqlite3_close(raw);
    ASSERT_GT(fs::file_size(file), 200000u) << "not a full file";

    auto h = Open();
    EXPECT_LT(sqlite3_memory_used(), 256 * 1024) << "after the open's check of the whole file";
    for (int minute = 0; minute < 5; ++minute) {
        h->add(now + 60 * minute, {1000, 100});
        Flush(*h);
    }
    const HistorySummary summary = h->summary(now + 300, 1, std::nullopt);
    EXPECT_GT(summary.days.size(), 0u);
    EXPECT_LT(sqlite3_memory_used(), 256 * 1024) << "after five minutes' writes and a summary";
}

TEST_F(HistoryTest, TwoRoutersAreNeverMixed) {
    auto web = Open({"127.0.0.5", "web"});
    auto console = Open({"127.0.0.5", "console"});
    auto other = Open({"127.0.0.9", "web"});
    const std::int64_t t = Cet(2026, 5, 5, 10);
    web->add(t, {100, 1});
    console->add(t, {20, 2});
    other->add(t + 30, {3, 3});
    Flush(*web);
    Flush(*console);
    Flush(*other);
    EXPECT_EQ(web->summary(t + 60, 1, std::nullopt).today.in, 100);
    EXPECT_EQ(console->summary(t + 60, 1, std::nullopt).today.in, 20);
    EXPECT_EQ(other->summary(t + 60, 1, std::nullopt).thisMonth.in, 3);
    EXPECT_EQ(Rows(file, "SELECT count(*) FROM routers"), (std::vector<std::vector<std::int64_t>>{{3}}));
    // A new run for the same router finds its own rows again.
    web.reset();
    EXPECT_EQ(Open({"127.0.0.5", "web"})->summary(t + 60, 1, std::nullopt).today.in, 100);
    std::string error;
    auto reader = HistoryReader::Open(file, error);
    ASSERT_TRUE(reader) << error;
    EXPECT_EQ(reader->routers().size(), 3u);
}

TEST_F(HistoryTest, TheTotalsFromBeforeTheHistoryAreKeptOnceForTheFirstRouter) {
    auto h = Open();
    h->keepBeforeHistory({123456, 7890});
    EXPECT_EQ(h->summary(Cet(2026, 1, 1), 1, std::nullopt).beforeHistory.in, 123456);
    h->add(Cet(2026, 1, 1, 1), {5, 5});
    Flush(*h);
    h.reset();
    // Later starts hand in totals that grew with the history: not kept again.
    h = Open();
    h->keepBeforeHistory({999999, 999999});
    HistorySummary s = h->summary(Cet(2026, 1, 1, 2), 1, std::nullopt);
    EXPECT_EQ(s.beforeHistory.in, 123456);
    EXPECT_EQ(s.beforeHistory.out, 7890);
    // A second router's totals hold the first one's bytes: nothing before its history.
    auto second = Open({"127.0.0.7", "console"});
    second->keepBeforeHistory({999999, 999999});
    EXPECT_EQ(Total(second->summary(Cet(2026, 1, 1, 2), 1, std::nullopt).beforeHistory), 0);
}

TEST_F(HistoryTest, AFailedWriteKeepsTheBytesForTheNextOneAndWaitsAMinute) {
    auto h = Open();
    const std::int64_t t = Cet(2026, 6, 1, 8);
    h->add(t, {10, 1});
    FixedPaceSeconds() = 1059;
    EXPECT_FALSE(h->flushDue(t + 59));
    FixedPaceSeconds() = 1060;
    EXPECT_TRUE(h->flushDue(t + 60));

    // Another program holds the file's write lock.
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    h->add(t + 61, {20, 2});
    std::string error;
    EXPECT_FALSE(h->flush(error));
    EXPECT_FALSE(error.empty());
    // Not tried again on every tick: a minute later.
    FixedPaceSeconds() = 1062;
    EXPECT_FALSE(h->flushDue(t + 62));
    FixedPaceSeconds() = 1120;
    EXPECT_TRUE(h->flushDue(t + 121));
    EXPECT_EQ(h->summary(t + 62, 1, std::nullopt).today.in, 30);
    ASSERT_EQ(sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(other);

    EXPECT_EQ(Rows(file, "SELECT count(*) FROM minutes"), (std::vector<std::vector<std::int64_t>>{{0}}));
    Flush(*h);
    EXPECT_EQ(Rows(file, "SELECT sum(bytes_in), sum(bytes_out) FROM days"),
              (std::vector<std::vector<std::int64_t>>{{30, 3}}));
    // Written once only.
    Flush(*h);
    EXPECT_EQ(h->summary(t + 62, 1, std::nullopt).today.in, 30);
}

TEST_F(HistoryTest, OnlyBytesAreCounted) {
    auto h = Open();
    const std::int64_t t = Cet(2026, 6, 1, 8);
    h->add(t, {-5, 1});
    h->add(t, {std::numeric_limits<double>::quiet_NaN(), 1});
    h->add(t, {std::numeric_limits<double>::infinity(), 1});
    h->add(t, {0, 0});
    EXPECT_FALSE(h->flushDue(t + 3600));
    h->add(t, {4294967296.0 * 4, 7});  // past 32 bits
    Flush(*h);
    EXPECT_EQ(Rows(file, "SELECT bytes_in, bytes_out FROM minutes"),
              (std::vector<std::vector<std::int64_t>>{{17179869184, 7}}));
}

TEST_F(HistoryTest, QuotaNoticesAreRememberedPerBillingMonthAcrossRuns) {
    auto h = Open();
    const std::int64_t march = Cet(2026, 3, 1), april = Cest(2026, 4, 1);
    EXPECT_EQ(h->quotaNoticeShown(march), 0);
    h->setQuotaNoticeShown(march, 80);
    EXPECT_EQ(h->quotaNoticeShown(march), 80);
    h.reset();
    h = Open();
    EXPECT_EQ(h->quotaNoticeShown(march), 80);
    EXPECT_EQ(h->quotaNoticeShown(april), 0);
    h->setQuotaNoticeShown(march, 100);
    h->setQuotaNoticeShown(march, 80);  // never lowered
    EXPECT_EQ(h->quotaNoticeShown(march), 100);
    // Another router has its own.
    EXPECT_EQ(Open({"127.0.0.8", "upnp"})->quotaNoticeShown(march), 0);
}

TEST_F(HistoryTest, ADamagedFileIsSetAsideOnceAndANewOneStartedAndAMissingFolderIsMade) {
    // Not a database at all, found at the start.
    test::WriteFile(file, std::string(4096, 'x'));
    std::string error;
    auto h = History::Open(file, {"127.0.0.5", "web"}, error);
    ASSERT_TRUE(h) << error;
    const std::string notice = h->takeNotice();
    EXPECT_NE(notice.find(file + ".damaged-"), std::string::npos) << notice;
    EXPECT_NE(notice.find(".recover"), std::string::npos) << "what to do: " << notice;
    EXPECT_EQ(h->takeNotice(), "") << "told once";
    std::vector<fs::path> aside;
    for (const auto& entry : fs::directory_iterator(dir.path()))
        if (entry.path().filename().string().rfind("history.db.damaged-", 0) == 0) aside.push_back(entry.path());
    ASSERT_EQ(aside.size(), 1u);
    EXPECT_EQ(test::ReadFile(aside[0].string()), std::string(4096, 'x')) << "kept as it was";
    const std::int64_t t = Cet(2026, 6, 1, 8);
    h->add(t, {5, 5});
    Flush(*h);
    h.reset();
    EXPECT_EQ(Open()->takeNotice(), "") << "the new file is whole: nothing to tell on the next start";

#ifndef _WIN32
    // (Windows does not let a file the history holds open be deleted.)
    // Damaged while the program runs: found by the next write, set aside the
    // same way, and the bytes of that minute go to a new file.
    h = Open();
    h->add(t + 60, {7, 7});
    {
        std::fstream f(file, std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(100);
        f << std::string(static_cast<std::size_t>(fs::file_size(file)) - 100, '\x5a');
    }
    std::filesystem::remove(file + "-wal");
    h->add(t + 61, {1, 1});
    Flush(*h);
    EXPECT_NE(h->takeNotice().find("damaged"), std::string::npos);
    EXPECT_EQ(Rows(file, "SELECT sum(bytes_in) FROM days"), (std::vector<std::vector<std::int64_t>>{{8}}));
    EXPECT_EQ(test::Text(file, "PRAGMA integrity_check"), "ok");

#endif

    const std::string nested = dir.file("a/b/history.db");
    auto made = History::Open(nested, {"127.0.0.5", "web"}, error);
    ASSERT_TRUE(made) << error;
    EXPECT_TRUE(test::FileExists(nested));
    EXPECT_EQ(test::Text(nested, "PRAGMA journal_mode"), "wal");
}

TEST_F(HistoryTest, OneProcessAtATimeKeepsARoutersHistory) {
    auto h = Open();
    std::string error;
    EXPECT_FALSE(History::Open(file, {"127.0.0.5", "web"}, error));
    EXPECT_EQ(error, kHistoryInUse);
#ifndef _WIN32
    // In another process, killed while it holds the file: nothing stays held.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::string childError;
        const bool refused = !History::Open(file, {"127.0.0.5", "web"}, childError) && childError == kHistoryInUse;
        auto other = History::Open(file, {"127.0.0.6", "web"}, childError);
        if (!refused || !other) ::_exit(1);
        ::kill(::getpid(), SIGKILL);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status)) << "the other process could keep the same router's history";
#endif
    EXPECT_TRUE(Open({"127.0.0.6", "web"}));
    h.reset();
    EXPECT_TRUE(Open());
}

TEST_F(HistoryTest, ATimeZoneChangeFilesTheBytesUnderTheNewLocalDate) {
    test::ZoneForTest utc("UTC0");
    auto h = Open();
    const std::int64_t t = test::Utc(2026, 1, 15, 20);
    h->add(t, {100, 1});
    test::ZoneForTest tokyo("JST-9");  // 05:00 on the 16th there
    h->add(t + 60, {200, 2});
    HistorySummary s = h->summary(t + 90, 1, std::nullopt);
    EXPECT_EQ(s.today.in, 200);
    EXPECT_EQ(s.yesterday.in, 100);
    Flush(*h);
    EXPECT_EQ(
        Rows(file, "SELECT start, bytes_in FROM days ORDER BY start"),
        (std::vector<std::vector<std::int64_t>>{{test::Utc(2026, 1, 15), 100}, {test::Utc(2026, 1, 15, 15), 200}}));
}

TEST(HistoryTexts, QuotaMonthStartAndBytes) {
    EXPECT_EQ(ParseQuota("500G"), 500.0 * 1024 * 1024 * 1024);
    EXPECT_EQ(ParseQuota("20 M"), 20.0 * 1024 * 1024);
    EXPECT_EQ(ParseQuota("1.5T"), 1.5 * 1024 * 1024 * 1024 * 1024);
    EXPECT_EQ(ParseQuota("300000k"), 300000.0 * 1024);
    EXPECT_EQ(ParseQuota(" 500 GB "), 500.0 * 1024 * 1024 * 1024);
    EXPECT_EQ(ParseQuota("2GiB"), 2.0 * 1024 * 1024 * 1024);
    EXPECT_EQ(ParseQuota("1000"), 1000.0);
    EXPECT_EQ(ParseQuota("8192T"), kLargestQuota);
    for (const char* bad : {"", " ", "G", "-5G", "0G", "5X", "5 G G", "1e3G", "5,5G", ".G", "99999999999999999999T",
                            "8193T", "inf", "nan", "1e400"})
        EXPECT_FALSE(ParseQuota(bad)) << bad;
    EXPECT_FALSE(ParseQuota(std::string(400, '9')));

    EXPECT_EQ(MonthStartDay("15"), 15);
    EXPECT_EQ(MonthStartDay(" 28 "), 28);
    EXPECT_EQ(MonthStartDay("1"), 1);
    for (const char* bad : {"", "0", "29", "31", "-3", "x", "15th", "1000000000000"})
        EXPECT_EQ(MonthStartDay(bad), 1) << bad;

    EXPECT_EQ(BytesText(0), "0.00 KB");
    EXPECT_EQ(BytesText(512), "0.50 KB");
    EXPECT_EQ(BytesText(12.34 * 1024 * 1024), "12.34 MB");
    EXPECT_EQ(BytesText(1024.0 * 1024 - 1), "1.00 MB");
    EXPECT_EQ(BytesText(1.5 * 1024 * 1024 * 1024), "1.50 GB");
    EXPECT_EQ(BytesText(3.0 * 1024 * 1024 * 1024 * 1024 * 1024), "3072.00 TB");
    EXPECT_EQ(BytesText(1023.0 * 1024 + 5), "1023.00 KB");
    EXPECT_EQ(BytesText(1e300).find('-'), std::string::npos) << BytesText(1e300);
}

}  // namespace
}  // namespace vx
