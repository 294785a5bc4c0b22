// The history file itself: SQLite in WAL mode, one connection, the bytes of
// the running minute kept in memory until the minute's one transaction.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "history/Calendar.h"
#include "history/History.h"
#include "platform/app.h"

struct sqlite3;
struct sqlite3_stmt;

namespace vx {

// How long each kind of row is kept; days and months are kept for ever.
constexpr std::int64_t kMinutesKept = std::int64_t{48} * 3600;
constexpr std::int64_t kHoursKept = std::int64_t{90} * 24 * 3600;

namespace db {
struct Closer {
    void operator()(sqlite3* connection) const;
};
struct Finalizer {
    void operator()(sqlite3_stmt* statement) const;
};
using Connection = std::shared_ptr<sqlite3>;
using Statement = std::unique_ptr<sqlite3_stmt, Finalizer>;
}  // namespace db

// A router the file holds history for.
struct StoredRouter {
    std::int64_t id = 0;
    RouterKey key;
};

class HistoryStore : public History {
public:
    // For writing: the file and its folder are made when missing.
    static std::unique_ptr<HistoryStore> OpenForWriting(const std::string& file, const RouterKey& router,
                                                        int monthStartDay, std::string& error);

    void add(std::int64_t utc, const ByteCounts& moved) override;
    bool flush(std::string& error) override;
    bool flushDue(std::int64_t utc) const override;
    std::string takeNotice() override;
    void keepBeforeHistory(const ByteCounts& totals) override;
    std::optional<CounterMark> storedMark() const override { return storedMark_; }
    void keepMark(const CounterMark& mark) override;
    void addRecovered(std::int64_t from, std::int64_t to, const ByteCounts& bytes) override;
    HistorySummary summary(std::int64_t now, int monthStartDay, std::optional<double> quota) const override;
    int quotaNoticeShown(std::int64_t monthStart) const override;
    void setQuotaNoticeShown(std::int64_t monthStart, int percent) override;

    // Every billing month from the first day with history up to the one
    // holding `now`, oldest first.
    std::vector<HistoryBar> months(std::int64_t now, int monthStartDay) const;

    HistoryStore(db::Connection connection, StoredRouter router, bool writable, int monthStartDay);
    ~HistoryStore() override;

private:
    friend class HistoryReader;
    struct Pending {
        std::int64_t start = 0;
        LocalDate date;  // days and months: the local date the row starts on
        ByteCounts bytes;
        ByteCounts recovered{};  // of `bytes`
    };
    static void Accumulate(std::vector<Pending>& pending, std::int64_t start, const LocalDate& date,
                           const ByteCounts& moved, const ByteCounts& recovered);
    // Files bytes moved at `utc` (`recovered` of them counted while vxstat was not running).
    void File(std::int64_t utc, const ByteCounts& moved, const ByteCounts& recovered);
    db::Statement prepare(const char* sql) const;
    bool writePending(std::string& error, int& code);
    // Sets a damaged file aside and opens a new one in its place.
    bool startAgain(std::string& error);
    // The bytes of the days from `first` up to `end`, and the recovered ones of them.
    ByteCounts daysBetween(const LocalDate& first, const LocalDate& end, ByteCounts& recovered) const;

    db::Connection db_;
    std::string file_;  // for writing: the file, to set aside when damaged
    std::unique_ptr<platform::FileLock> lock_;
    std::string notice_;
    StoredRouter router_;
    bool writable_ = false;
    int monthStartDay_ = 1;
    ByteCounts beforeHistory_;
    bool beforeKept_ = false;
    std::map<std::int64_t, int> noticesShown_;
    bool hasRecovered_ = false;  // the file's rows have the recovered columns (a file of an older vxstat may not)
    std::optional<CounterMark> storedMark_;
    std::optional<CounterMark> mark_;  // the last reading, not yet written

    std::vector<Pending> minutes_, hours_, days_, months_;
    std::optional<std::int64_t> lastAdd_;
    std::optional<double> lastFlush_;  // when it was last flushed, on the monotonic clock (PaceSeconds)

    // The time zone's offset the cached periods below were cut with, checked once a minute.
    std::int64_t utcOffset_ = 0;
    std::int64_t zoneCheckedMinute_ = -1;

    // The periods the last add fell in: a tick inside them asks no calendar.
    std::int64_t hourStart_ = 0, hourEnd_ = 0;
    std::int64_t dayStart_ = 0, dayEnd_ = 0;
    LocalDate day_;
    BillingMonth month_;
};

// The history file opened for reading only, writing no file at all (no
// -wal or -shm beside it): for the command line.
class HistoryReader {
public:
    static std::unique_ptr<HistoryReader> Open(const std::string& file, std::string& error);
    std::vector<StoredRouter> routers() const;
    // A router's history, to read.
    std::unique_ptr<HistoryStore> history(const StoredRouter& router) const;

private:
    db::Connection db_;
};

}  // namespace vx
