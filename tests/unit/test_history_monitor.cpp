// The monitor feeds the history: only counted bytes (a restart or an
// impossible jump adds nothing), each router apart, written once a minute (the
// totals with it) and whenever the monitor closes or "Statistics" is chosen; a
// history that cannot be opened or written is told once and monitoring goes on.
#include <gtest/gtest.h>

#include <sqlite3.h>

#include <filesystem>

#include "monitor/frmMain.h"
#include "runtime/clock.h"
#include "tests/support/history_testing.h"
#include "tests/support/program.h"
#include "traffic/modFunctions.h"

namespace vx {
namespace {

using test::Rows;
using Table = std::vector<std::vector<std::int64_t>>;

class HistoryFeedTest : public test::MonitorTest {
protected:
    void SetUp() override {
        MonitorTest::SetUp();
        FixedUtcSeconds() = test::Cet(2026, 1, 31, 23, 59, 56);
        FixedPaceSeconds() = 1000;
    }
    void TearDown() override {
        MonitorTest::TearDown();
        FixedUtcSeconds() = 0;
        FixedPaceSeconds() = 0;
    }
    // Time passes, on the wall clock and on the monotonic one.
    static void Later(int seconds) {
        FixedUtcSeconds() += seconds;
        FixedPaceSeconds() = FixedPaceSeconds() + seconds;
    }
    // One second, then the counters move and a tick reads them.
    void Step(double in, double out) {
        Later(1);
        Move(in, out);
    }
    std::string historyFile() const { return dir.file("history.db"); }
    Table Stored(const std::string& sql) { return Rows(historyFile(), sql); }

    test::CentralEuropeanTime zone;
};

TEST_F(HistoryFeedTest, OnlyCountedBytesReachTheHistoryAndClosingWritesThem) {
    WriteTotals("5000", "6000");
    StartWeb();
    ASSERT_TRUE(monitor().history());
    Tick();  // the baseline
    Step(1000, 100);
    Step(-rx + 10, -tx + 10);  // the router restarted: a new baseline
    Step(500, 50);
    Step(1e13, 0);  // more than a gigabit line carries in a second: a new baseline
    Step(200, 20);  // past midnight: the next day, and the next month
    const HistorySummary s = monitor().history()->summary(UtcSeconds(), 1, std::nullopt);
    EXPECT_EQ(s.yesterday.in + s.today.in, 1700);
    EXPECT_EQ(s.lastMonth.out + s.thisMonth.out, 170);
    EXPECT_EQ(s.beforeHistory.in, 5000);
    EXPECT_EQ(s.beforeHistory.out, 6000);
    // The history and the totals count the same bytes.
    EXPECT_EQ(monitor().traffic().totals().in - 5000, 1700);
    EXPECT_EQ(Stored("SELECT count(*) FROM days"), (Table{{0}})) << "not written yet";

    Default<frmMain>::Unload();
    EXPECT_EQ(Stored("SELECT sum(bytes_in), sum(bytes_out) FROM days"), (Table{{1700, 170}}));
    EXPECT_EQ(Stored("SELECT sum(bytes_in) FROM minutes"), (Table{{1700}}));
    // Under Wine the C library's local time does not follow a zone set in the
    // test, so the day cut is checked where it does.
    if (test::CentralEuropeanTime::HasDst()) {
        EXPECT_EQ(Stored("SELECT start, bytes_in FROM days ORDER BY start"),
                  (Table{{test::Cet(2026, 1, 31), 1500}, {test::Cet(2026, 2, 1), 200}}));
    }
    EXPECT_EQ(test::Text(historyFile(), "SELECT address || ' ' || source FROM routers"), "127.0.0.5 web");
    EXPECT_TRUE(S().messageBoxes.empty());
}

TEST_F(HistoryFeedTest, WrittenOnceAMinuteAndWhenStatisticsIsChosen) {
    StartWeb();
    Tick();
    Step(1000, 10);  // the first bytes: a minute from now they are written
    for (int i = 0; i < 59; ++i) Step(1, 1);
    EXPECT_EQ(Stored("SELECT count(*) FROM days"), (Table{{0}})) << "within the minute";
    Step(1, 1);
    EXPECT_EQ(Stored("SELECT sum(bytes_in), sum(bytes_out) FROM days"), (Table{{1060, 70}}));
    // The totals are saved with the history's write: after a crash the two agree,
    // so a gap credited from the history's last reading counts nothing twice.
    EXPECT_EQ(ReadIniValue("TotalStats", "Incoming", statsFile()), "1060");
    Step(7, 7);
    EXPECT_EQ(ReadIniValue("TotalStats", "Incoming", statsFile()), "1060") << "not on every tick";
    EXPECT_EQ(Stored("SELECT sum(bytes_in) FROM days"), (Table{{1060}}));
    EXPECT_EQ(SavedTotals().first, "1067");
    EXPECT_EQ(Stored("SELECT sum(bytes_in) FROM days"), (Table{{1067}})) << "the window shows the file as it is";
}

TEST_F(HistoryFeedTest, AWallClockSetBackStillWritesEachMinuteAndFilesTheBytesByIt) {
    StartWeb();
    Tick();
    Step(1000, 10);
    FixedUtcSeconds() -= 2 * 3600;
    for (int i = 0; i < 59; ++i) Step(1, 1);
    EXPECT_EQ(Stored("SELECT count(*) FROM days"), (Table{{0}})) << "within the minute";
    Step(1, 1);
    EXPECT_EQ(Stored("SELECT sum(bytes_in), sum(bytes_out) FROM days"), (Table{{1060, 70}}));
    for (int i = 0; i < 60; ++i) Step(2, 0);
    EXPECT_EQ(Stored("SELECT sum(bytes_in) FROM days"), (Table{{1180}})) << "and the next minute";
    // Filed by the wall clock as it was set: 21:59, 22:00 and 22:01.
    EXPECT_EQ(Stored("SELECT count(*) FROM minutes WHERE start < " + std::to_string(test::Cet(2026, 1, 31, 23))),
              (Table{{3}}));
}

TEST_F(HistoryFeedTest, EachWayOfReadingARouterHasItsOwnHistory) {
    StartWeb("2meg", "127.0.0.6");
    Tick();
    Step(40, 4);
    Default<frmMain>::Unload();
    EXPECT_EQ(test::Text(historyFile(), "SELECT address || ' ' || source FROM routers"), "127.0.0.6 web");

    // The same address read over its console is another history.
    Restart();
    StartConsole("2meg", "127.0.0.6");
    LogIn();
    Report(1000, 1000);
    FixedUtcSeconds() += 1;
    Report(3000, 1500);
    Default<frmMain>::Unload();
    EXPECT_EQ(Stored("SELECT r.id, d.bytes_in, d.bytes_out FROM days d JOIN routers r ON r.id = d.router"
                     " ORDER BY r.id"),
              (Table{{1, 40, 4}, {2, 2000, 500}}));
    EXPECT_EQ(
        test::Text(
            historyFile(),
            "SELECT group_concat(name, ', ') FROM (SELECT address || ' ' || source AS name FROM routers ORDER BY id)"),
        "127.0.0.6 web, 127.0.0.6 console");
}

TEST_F(HistoryFeedTest, AHistoryThatCannotBeOpenedIsToldOnceAndMonitoringGoesOn) {
    std::filesystem::create_directory(historyFile());  // in the way of the file
    // The box is told once the monitor runs, and the readings go on under it.
    std::string shownUnderTheBox;
    S().onMessageBox = [&](const fake::MessageBoxCall&) {
        Tick();
        Step(2048, 0);
        shownUnderTheBox = FigureIn();
    };
    StartWeb();
    EXPECT_EQ(monitor().history(), nullptr);
    ASSERT_EQ(S().messageBoxes.size(), 1u);
    EXPECT_NE(S().messageBoxes[0].prompt.find(historyFile()), std::string::npos);
    EXPECT_EQ(shownUnderTheBox, "2k/s");
    S().onMessageBox = nullptr;
    Step(2048, 0);
    EXPECT_EQ(FigureIn(), "2k/s");
    EXPECT_EQ(SavedTotals().first, "4096");
    Default<frmMain>::Unload();
    EXPECT_EQ(S().messageBoxes.size(), 1u);
}

TEST_F(HistoryFeedTest, AFailedWriteIsToldOnceAndItsBytesAreWrittenLater) {
    StartWeb();
    Tick();
    Step(100, 1);
    // Another program holds the file's write lock for a while.
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(historyFile().c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    Later(60);
    Step(200, 2);
    ASSERT_EQ(S().messageBoxes.size(), 1u);
    EXPECT_NE(S().messageBoxes[0].prompt.find(historyFile()), std::string::npos);
    Later(60);
    Step(300, 3);
    EXPECT_EQ(S().messageBoxes.size(), 1u) << "told once";
    ASSERT_EQ(sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(other);
    Default<frmMain>::Unload();
    EXPECT_EQ(Stored("SELECT sum(bytes_in), sum(bytes_out) FROM days"), (Table{{600, 6}}));
}

}  // namespace
}  // namespace vx
