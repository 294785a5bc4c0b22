// A history writer killed with SIGKILL at random moments, two hundred times:
// the file always opens, passes SQLite's integrity check, and holds every
// minute a writer said it had committed, each exactly once, with the hours,
// days and months agreeing with the minutes (one transaction or nothing).
#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <thread>

#include "history/History.h"
#include "history/HistoryStore.h"
#include "tests/support/files.h"
#include "tests/support/history_testing.h"

namespace vx {
namespace {

using test::Rows;
using Table = std::vector<std::vector<std::int64_t>>;

constexpr int kRounds = 200;
const std::int64_t kFirstMinute = test::Utc(2026, 3, 1);

// What a minute holds: known from its start alone.
ByteCounts MinuteBytes(std::int64_t start) {
    const auto n = static_cast<double>((start - kFirstMinute) / 60);
    return {1000 + n, 7 + 2 * n};
}

// The writer: continues after the newest minute in the file, one minute per
// transaction, and tells the parent each committed minute's start.
[[noreturn]] void Writer(const std::string& file, int report) {
    std::int64_t next = kFirstMinute;
    {
        sqlite3* db = nullptr;
        if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
            sqlite3_stmt* s = nullptr;
            if (sqlite3_prepare_v2(db, "SELECT max(start) FROM minutes", -1, &s, nullptr) == SQLITE_OK &&
                sqlite3_step(s) == SQLITE_ROW && sqlite3_column_type(s, 0) != SQLITE_NULL)
                next = sqlite3_column_int64(s, 0) + 60;
            sqlite3_finalize(s);
        }
        sqlite3_close_v2(db);
    }
    std::string error;
    std::unique_ptr<History> h = History::Open(file, {"127.0.0.5", "web"}, error);
    if (!h) _exit(3);
    for (;; next += 60) {
        const ByteCounts bytes = MinuteBytes(next);
        // Two ticks' worth in each minute.
        h->add(next + 5, {bytes.in - 1, bytes.out - 1});
        h->add(next + 35, {1, 1});
        if (!h->flush(error)) _exit(4);
        if (::write(report, &next, sizeof next) != sizeof next) _exit(5);
    }
}

TEST(HistoryKilledWriter, EveryCommittedMinuteSurvivesAndTheFileStaysWhole) {
    test::CentralEuropeanTime zone;
    test::TempDir dir;
    const std::string file = dir.file("history.db");
    std::mt19937 random(std::random_device{}());
    std::map<std::int64_t, bool> committed;  // minutes the writers said were written
    int killedWriting = 0;

    for (int round = 0; round < kRounds; ++round) {
        int fds[2];
        ASSERT_EQ(::pipe(fds), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(fds[0]);
            Writer(file, fds[1]);
        }
        ::close(fds[1]);
        // The kill comes after a random number of commits (none: while the file
        // is opened), then after a random part of the next one.
        const int commits = std::uniform_int_distribution<int>(0, 12)(random);
        for (int i = 0; i < commits; ++i) {
            pollfd p{fds[0], POLLIN, 0};
            ASSERT_EQ(::poll(&p, 1, 60000), 1) << "the writer went silent in round " << round;
            std::int64_t minute = 0;
            ASSERT_EQ(::read(fds[0], &minute, sizeof minute), static_cast<ssize_t>(sizeof minute))
                << "the writer ended in round " << round;
            committed[minute] = true;
        }
        // Not a wait for anything: where in the writer's work the kill lands.
        std::this_thread::sleep_for(std::chrono::microseconds(std::uniform_int_distribution<int>(0, 3000)(random)));
        ASSERT_EQ(::kill(child, SIGKILL), 0);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the writer failed by itself in round " << round << ": exit "
                                         << WEXITSTATUS(status);
        if (WTERMSIG(status) == SIGKILL) ++killedWriting;
        // What it said after the last read was committed too.
        std::int64_t minute = 0;
        while (::read(fds[0], &minute, sizeof minute) == static_cast<ssize_t>(sizeof minute)) committed[minute] = true;
        ::close(fds[0]);
    }
    EXPECT_EQ(killedWriting, kRounds);
    ASSERT_GT(committed.size(), static_cast<std::size_t>(kRounds));

    EXPECT_EQ(test::Text(file, "PRAGMA integrity_check"), "ok");
    std::map<std::int64_t, ByteCounts> stored;
    for (const auto& row : Rows(file, "SELECT start, bytes_in, bytes_out FROM minutes"))
        stored[row[0]] = {static_cast<double>(row[1]), static_cast<double>(row[2])};
    ASSERT_FALSE(stored.empty());
    const std::int64_t newest = stored.rbegin()->first;
    ASSERT_LE(committed.rbegin()->first, newest);
    ASSERT_LT(newest - kFirstMinute, kHoursKept) << "no hour may have been pruned for the sums below";
    // Minutes older than 48 hours are pruned as they should be; every younger
    // committed one is there, with its bytes counted once.
    for (const auto& [start, yes] : committed) {
        if (start < newest + 35 - kMinutesKept) continue;
        const auto found = stored.find(start);
        ASSERT_NE(found, stored.end()) << "a committed minute is lost: " << start;
        EXPECT_EQ(found->second.in, MinuteBytes(start).in) << start;
        EXPECT_EQ(found->second.out, MinuteBytes(start).out) << start;
    }
    // The minutes follow each other without a gap or a double.
    std::int64_t expected = stored.begin()->first;
    EXPECT_LE(expected, std::max(kFirstMinute, newest + 35 - kMinutesKept));
    for (const auto& [start, bytes] : stored) {
        EXPECT_EQ(start, expected);
        EXPECT_EQ(bytes.in, MinuteBytes(start).in) << start;
        expected = start + 60;
    }
    // Each minute's transaction wrote its hour, day and month too, or nothing.
    double in = 0, out = 0;
    for (std::int64_t m = kFirstMinute; m <= newest; m += 60) {
        in += MinuteBytes(m).in;
        out += MinuteBytes(m).out;
    }
    const Table all{{static_cast<std::int64_t>(in), static_cast<std::int64_t>(out)}};
    EXPECT_EQ(Rows(file, "SELECT sum(bytes_in), sum(bytes_out) FROM hours"), all);
    EXPECT_EQ(Rows(file, "SELECT sum(bytes_in), sum(bytes_out) FROM days"), all);
    EXPECT_EQ(Rows(file, "SELECT sum(bytes_in), sum(bytes_out) FROM months"), all);
    EXPECT_EQ(Rows(file, "SELECT count(*) FROM routers"), (Table{{1}}));
}

// The -wal deleted under a running writer (a cleaner's doing), then a kill:
// every minute committed is still in the file itself.
TEST(HistoryKilledWriter, ADeletedWalLosesNoCommittedMinute) {
    test::CentralEuropeanTime zone;
    test::TempDir dir;
    const std::string file = dir.file("history.db");
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(fds[0]);
        Writer(file, fds[1]);
    }
    ::close(fds[1]);
    std::map<std::int64_t, bool> committed;
    auto readCommits = [&](int count) {
        for (int i = 0; i < count; ++i) {
            pollfd p{fds[0], POLLIN, 0};
            ASSERT_EQ(::poll(&p, 1, 60000), 1) << "the writer went silent";
            std::int64_t minute = 0;
            ASSERT_EQ(::read(fds[0], &minute, sizeof minute), static_cast<ssize_t>(sizeof minute));
            committed[minute] = true;
        }
    };
    readCommits(5);
    ASSERT_EQ(::unlink((file + "-wal").c_str()), 0);
    readCommits(5);
    ASSERT_EQ(::kill(child, SIGKILL), 0);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ::close(fds[0]);
    // A minute may be committed after the last one read: at least these.
    const Table stored =
        Rows(file, "SELECT count(*) FROM minutes WHERE start <= " + std::to_string(committed.rbegin()->first));
    EXPECT_EQ(stored, (Table{{static_cast<std::int64_t>(committed.size())}}));
    EXPECT_EQ(test::Text(file, "PRAGMA integrity_check"), "ok");
}

}  // namespace
}  // namespace vx
