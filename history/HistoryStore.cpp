#include "history/HistoryStore.h"

#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <tuple>
#include <utility>

#include "platform/app.h"
#include "runtime/clock.h"

namespace vx {

namespace db {
void Closer::operator()(sqlite3* connection) const { sqlite3_close_v2(connection); }
void Finalizer::operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
}  // namespace db

namespace {

// The layout this program writes (PRAGMA user_version).
constexpr int kSchemaVersion = 1;
// A reader holding the file a moment (the command line) is waited for this
// long; the window's thread is not held up longer.
constexpr int kBusyMilliseconds = 250;

const char* const kSchema = R"sql(
CREATE TABLE IF NOT EXISTS routers(
  id INTEGER PRIMARY KEY,
  address TEXT NOT NULL,
  source TEXT NOT NULL,
  before_in INTEGER NOT NULL DEFAULT 0,
  before_out INTEGER NOT NULL DEFAULT 0,
  before_kept INTEGER NOT NULL DEFAULT 0,
  UNIQUE(address, source));
CREATE TABLE IF NOT EXISTS minutes(
  router INTEGER NOT NULL, start INTEGER NOT NULL, bytes_in INTEGER NOT NULL, bytes_out INTEGER NOT NULL,
  PRIMARY KEY(router, start)) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS hours(
  router INTEGER NOT NULL, start INTEGER NOT NULL, bytes_in INTEGER NOT NULL, bytes_out INTEGER NOT NULL,
  PRIMARY KEY(router, start)) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS days(
  router INTEGER NOT NULL, day TEXT NOT NULL, start INTEGER NOT NULL,
  bytes_in INTEGER NOT NULL, bytes_out INTEGER NOT NULL,
  PRIMARY KEY(router, day)) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS months(
  router INTEGER NOT NULL, month TEXT NOT NULL, start INTEGER NOT NULL, month_start_day INTEGER NOT NULL,
  bytes_in INTEGER NOT NULL, bytes_out INTEGER NOT NULL,
  PRIMARY KEY(router, month)) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS notices(
  router INTEGER NOT NULL, month_start INTEGER NOT NULL, percent INTEGER NOT NULL,
  PRIMARY KEY(router, month_start)) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS marks(
  router INTEGER PRIMARY KEY, bytes_in REAL NOT NULL, bytes_out REAL NOT NULL, uptime REAL, utc INTEGER NOT NULL,
  counters64 INTEGER NOT NULL, counters TEXT NOT NULL);
)sql";

// The periods' tables; each gains the bytes recovered of its own. Added in
// place to a file of an older vxstat, which still opens it (it names its
// columns), so the layout's version stays.
const char* const kPeriodTables[] = {"minutes", "hours", "days", "months"};

bool HasRecoveredColumns(sqlite3* connection) {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(connection,
                           "SELECT COUNT(*) FROM pragma_table_info('days') WHERE name IN ('recovered_in', "
                           "'recovered_out')",
                           -1, &raw, nullptr) != SQLITE_OK)
        return false;
    db::Statement owned(raw);
    return sqlite3_step(raw) == SQLITE_ROW && sqlite3_column_int(raw, 0) == 2;
}

std::string Message(sqlite3* connection) { return connection ? sqlite3_errmsg(connection) : "out of memory"; }

bool Exec(sqlite3* connection, const char* sql, std::string& error) {
    char* message = nullptr;
    if (sqlite3_exec(connection, sql, nullptr, nullptr, &message) == SQLITE_OK) return true;
    error = message ? message : Message(connection);
    sqlite3_free(message);
    return false;
}

std::int64_t Whole(double bytes) { return static_cast<std::int64_t>(std::llround(bytes)); }

void BindText(sqlite3_stmt* statement, int index, const std::string& text) {
    // The text outlives the statement's step: no copy needed.
    sqlite3_bind_text(statement, index, text.c_str(), static_cast<int>(text.size()), nullptr);
}

std::string ColumnText(sqlite3_stmt* statement, int column) {
    const unsigned char* text = sqlite3_column_text(statement, column);
    return text ? reinterpret_cast<const char*>(text) : std::string();
}

ByteCounts ColumnBytes(sqlite3_stmt* statement, int firstColumn) {
    return {static_cast<double>(sqlite3_column_int64(statement, firstColumn)),
            static_cast<double>(sqlite3_column_int64(statement, firstColumn + 1))};
}

bool Before(const LocalDate& a, const LocalDate& b) {
    return std::tie(a.year, a.month, a.day) < std::tie(b.year, b.month, b.day);
}

bool SameDate(const LocalDate& a, const LocalDate& b) {
    return a.year == b.year && a.month == b.month && a.day == b.day;
}

std::optional<LocalDate> ParseDate(const std::string& text) {
    LocalDate d;
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') return std::nullopt;
    try {
        d.year = std::stoi(text.substr(0, 4));
        d.month = std::stoi(text.substr(5, 2));
        d.day = std::stoi(text.substr(8, 2));
    } catch (...) {
        return std::nullopt;
    }
    return d;
}

// The billing month a local date belongs to: the date it starts on.
LocalDate BillingFirst(const LocalDate& date, int monthStartDay) {
    LocalDate first{date.year, date.month, monthStartDay};
    return date.day < monthStartDay ? AddMonths(first, -1) : first;
}

void AddBytes(ByteCounts& to, const ByteCounts& bytes) {
    to.in += bytes.in;
    to.out += bytes.out;
}

int ClampDay(int day) { return day >= 1 && day <= 28 ? day : 1; }

}  // namespace

// ---- Opening ------------------------------------------------------------------

namespace {

bool IsDamage(int code) {
    const int primary = code & 0xff;
    return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

std::filesystem::path FsPath(const std::string& utf8) {
#ifdef _WIN32
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
#else
    return utf8;
#endif
}

// One lock slot per router: the same router's bytes are kept by one process.
std::uint64_t RouterSlot(const RouterKey& router) {
    std::uint64_t hash = 14695981039346656037ULL;  // FNV-1a
    for (const std::string* part : {&router.address, &router.source}) {
        for (char c : *part) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
        hash = (hash ^ 0xffU) * 1099511628211ULL;
    }
    return hash >> 24;  // 40 bits: within any file offset
}

// A history file opened and set up for writing, with the router's row; or why not.
struct Connected {
    db::Connection connection;
    std::int64_t routerId = 0;
    int code = SQLITE_OK;  // the failure's SQLite code
    std::string error;
};

Connected Connect(const std::string& file, const RouterKey& router) {
    Connected c;
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(file.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    c.connection = db::Connection(raw, db::Closer{});
    // No connection in the answer: `c`'s is closed when this returns, after
    // its statements are done and any transaction rolled back.
    auto failed = [&](std::string reason) {
        Connected f;
        f.code = raw ? sqlite3_extended_errcode(raw) : SQLITE_NOMEM;
        f.error = std::move(reason);
        return f;
    };
    if (rc != SQLITE_OK) return failed(Message(raw));
    // One transaction a minute and a sum now and then: SQLite's per-connection
    // pool of small allocations (about 120 KiB) would speed nothing up here.
    sqlite3_db_config(raw, SQLITE_DBCONFIG_LOOKASIDE, nullptr, 0, 0);
    sqlite3_busy_timeout(raw, kBusyMilliseconds);
    sqlite3_extended_result_codes(raw, 1);

    // WAL: a commit is one append, and a cut-off append is ignored on the next
    // open. FULL: each minute's commit is on the disk before the next tick, so a
    // power cut loses at most the minute being collected.
    {
        sqlite3_stmt* mode = nullptr;
        if (sqlite3_prepare_v2(raw, "PRAGMA journal_mode=WAL", -1, &mode, nullptr) != SQLITE_OK)
            return failed(Message(raw));
        db::Statement owned(mode);
        if (sqlite3_step(mode) != SQLITE_ROW || ColumnText(mode, 0) != "wal")
            return failed("the file cannot be kept in WAL mode: " + Message(raw));
    }
    std::string error;
    // The cache holds what a minute's write walks (a path down each of the five
    // tables, 16 pages); more would only keep what the open's check read.
    if (!Exec(raw, "PRAGMA synchronous=FULL; PRAGMA cache_size=-64; PRAGMA journal_size_limit=1048576;", error))
        return failed(error);
    // Damage anywhere is found now, not by some later write: the file is small.
    {
        sqlite3_stmt* check = nullptr;
        if (sqlite3_prepare_v2(raw, "PRAGMA quick_check(1)", -1, &check, nullptr) != SQLITE_OK)
            return failed(Message(raw));
        db::Statement owned(check);
        const int step = sqlite3_step(check);
        if (step != SQLITE_ROW) return failed(Message(raw));
        if (const std::string verdict = ColumnText(check, 0); verdict != "ok") {
            Connected damaged = failed(verdict);
            damaged.code = SQLITE_CORRUPT;
            return damaged;
        }
    }

    if (!Exec(raw, "BEGIN IMMEDIATE", error)) return failed(error);
    auto fail = [&](std::string reason) {
        Connected result = failed(std::move(reason));
        std::string ignored;
        Exec(raw, "ROLLBACK", ignored);
        return result;
    };
    int version = 0;
    {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(raw, "PRAGMA user_version", -1, &statement, nullptr) != SQLITE_OK)
            return fail(Message(raw));
        db::Statement owned(statement);
        if (sqlite3_step(statement) == SQLITE_ROW) version = sqlite3_column_int(statement, 0);
    }
    if (version > kSchemaVersion) return fail("the history file was written by a newer vxstat");
    if (!Exec(raw, kSchema, error) || !Exec(raw, "PRAGMA user_version=1", error)) return fail(error);
    for (const char* table : kPeriodTables) {
        sqlite3_stmt* columns = nullptr;
        const std::string count =
            std::string("SELECT COUNT(*) FROM pragma_table_info('") + table + "') WHERE name='recovered_in'";
        if (sqlite3_prepare_v2(raw, count.c_str(), -1, &columns, nullptr) != SQLITE_OK) return fail(Message(raw));
        db::Statement owned(columns);
        if (sqlite3_step(columns) != SQLITE_ROW) return fail(Message(raw));
        if (sqlite3_column_int(columns, 0) != 0) continue;
        const std::string alter = std::string("ALTER TABLE ") + table +
                                  " ADD COLUMN recovered_in INTEGER NOT NULL DEFAULT 0; ALTER TABLE " + table +
                                  " ADD COLUMN recovered_out INTEGER NOT NULL DEFAULT 0;";
        if (!Exec(raw, alter.c_str(), error)) return fail(error);
    }
    {
        sqlite3_stmt* insert = nullptr;
        if (sqlite3_prepare_v2(raw, "INSERT OR IGNORE INTO routers(address, source) VALUES(?1, ?2)", -1, &insert,
                               nullptr) != SQLITE_OK)
            return fail(Message(raw));
        db::Statement owned(insert);
        BindText(insert, 1, router.address);
        BindText(insert, 2, router.source);
        if (sqlite3_step(insert) != SQLITE_DONE) return fail(Message(raw));
        sqlite3_stmt* select = nullptr;
        if (sqlite3_prepare_v2(raw, "SELECT id FROM routers WHERE address=?1 AND source=?2", -1, &select, nullptr) !=
            SQLITE_OK)
            return fail(Message(raw));
        db::Statement ownedSelect(select);
        BindText(select, 1, router.address);
        BindText(select, 2, router.source);
        if (sqlite3_step(select) != SQLITE_ROW) return fail(Message(raw));
        c.routerId = sqlite3_column_int64(select, 0);
    }
    if (!Exec(raw, "COMMIT", error)) return fail(error);
    return c;
}

// Renames a damaged history file (and its -wal, which belongs to it) to a name
// of its own beside it, kept for the user; its -shm is rebuilt by any reader.
// The new name, or empty with `error` set.
std::string SetAside(const std::string& file, std::string& error) {
    const std::tm tm = LocalTm(UtcSeconds());
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, ".damaged-%04d%02d%02d-%02d%02d%02d", tm.tm_year + 1900, tm.tm_mon + 1,
                  tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
    std::string aside = file + stamp;
    for (int n = 2; platform::FileExists(aside) && n < 100; ++n) aside = file + stamp + "-" + std::to_string(n);
    std::error_code ec;
    std::filesystem::rename(FsPath(file), FsPath(aside), ec);
    if (ec) {
        error = "it cannot be set aside: " + ec.message();
        return {};
    }
    if (platform::FileExists(file + "-wal")) std::filesystem::rename(FsPath(file + "-wal"), FsPath(aside + "-wal"), ec);
    std::filesystem::remove(FsPath(file + "-shm"), ec);
    return aside;
}

std::string SetAsideNotice(const std::string& file, const std::string& damage, const std::string& aside) {
    return "The traffic history " + file + " is damaged (" + damage + ").\n\nIt was set aside as " + aside +
           " and a new history was started, so recording goes on; the totals are not affected.\n\nWhat the old file "
           "still holds can be read back with \"sqlite3 " +
           aside + " .recover\". Delete it when it is no longer wanted.";
}

}  // namespace

std::unique_ptr<History> History::Open(const std::string& file, const RouterKey& router, std::string& error,
                                       int monthStartDay) {
    return HistoryStore::OpenForWriting(file, router, monthStartDay, error);
}

std::unique_ptr<HistoryStore> HistoryStore::OpenForWriting(const std::string& file, const RouterKey& router,
                                                           int monthStartDay, std::string& error) {
    // The user's data folder is made on the first start.
    const std::size_t slash = file.find_last_of("/\\");
    if (slash != std::string::npos && slash > 0) {
        const std::string folder = file.substr(0, slash);
        if (!platform::FileExists(folder) && !platform::MakeFolder(folder)) {
            error = "its folder cannot be made: " + platform::LastErrorText();
            return nullptr;
        }
    }
    // A second vxstat watching the same router would count its bytes again.
    bool heldElsewhere = false;
    std::unique_ptr<platform::FileLock> lock =
        platform::LockFileSlot(file + ".lock", RouterSlot(router), heldElsewhere);
    if (!lock) {
        error =
            heldElsewhere ? std::string(kHistoryInUse) : "its lock file cannot be made: " + platform::LastErrorText();
        return nullptr;
    }

    Connected c = Connect(file, router);
    std::string notice;
    if (!c.connection && IsDamage(c.code)) {
        // Kept for the user, and a new history started, so recording goes on.
        const std::string aside = SetAside(file, error);
        if (aside.empty()) {
            error = "the file is damaged (" + c.error + ") and " + error;
            return nullptr;
        }
        notice = SetAsideNotice(file, c.error, aside);
        c = Connect(file, router);
    }
    if (!c.connection) {
        error = c.error;
        return nullptr;
    }
    auto store =
        std::make_unique<HistoryStore>(std::move(c.connection), StoredRouter{c.routerId, router}, true, monthStartDay);
    store->file_ = file;
    store->lock_ = std::move(lock);
    store->notice_ = std::move(notice);
    return store;
}

HistoryStore::HistoryStore(db::Connection connection, StoredRouter router, bool writable, int monthStartDay)
    : db_(std::move(connection)),
      router_(std::move(router)),
      writable_(writable),
      monthStartDay_(ClampDay(monthStartDay)) {
    if (db::Statement s = prepare("SELECT before_in, before_out, before_kept FROM routers WHERE id=?1")) {
        sqlite3_bind_int64(s.get(), 1, router_.id);
        if (sqlite3_step(s.get()) == SQLITE_ROW) {
            beforeHistory_ = ColumnBytes(s.get(), 0);
            beforeKept_ = sqlite3_column_int(s.get(), 2) != 0;
        }
    }
    hasRecovered_ = db_ && HasRecoveredColumns(db_.get());
    // A file of an older vxstat has no marks: nothing to recover from.
    if (db::Statement s =
            prepare("SELECT bytes_in, bytes_out, uptime, utc, counters64, counters FROM marks WHERE router=?1")) {
        sqlite3_bind_int64(s.get(), 1, router_.id);
        if (sqlite3_step(s.get()) == SQLITE_ROW) {
            CounterMark m;
            m.bytesIn = sqlite3_column_double(s.get(), 0);
            m.bytesOut = sqlite3_column_double(s.get(), 1);
            if (sqlite3_column_type(s.get(), 2) != SQLITE_NULL) m.uptime = sqlite3_column_double(s.get(), 2);
            m.utc = sqlite3_column_int64(s.get(), 3);
            m.counters64 = sqlite3_column_int(s.get(), 4) != 0;
            m.counters = ColumnText(s.get(), 5);
            storedMark_ = m;
        }
    }
}

HistoryStore::~HistoryStore() = default;

db::Statement HistoryStore::prepare(const char* sql) const {
    if (!db_) return nullptr;  // a damaged file that could not be set aside
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db_.get(), sql, -1, &statement, nullptr) != SQLITE_OK) return nullptr;
    return db::Statement(statement);
}

// ---- Counting -----------------------------------------------------------------

void HistoryStore::Accumulate(std::vector<Pending>& pending, std::int64_t start, const LocalDate& date,
                              const ByteCounts& moved, const ByteCounts& recovered) {
    Pending* row = nullptr;
    if (!pending.empty() && pending.back().start == start) {
        row = &pending.back();
    } else {
        for (Pending& p : pending)
            if (p.start == start) row = &p;
    }
    if (!row) {
        pending.push_back({start, date, moved, recovered});
        return;
    }
    AddBytes(row->bytes, moved);
    AddBytes(row->recovered, recovered);
}

namespace {

bool AreBytes(const ByteCounts& b) {
    // Only bytes: a negative or non-finite count is no traffic.
    return b.in >= 0 && b.out >= 0 && std::isfinite(b.in) && std::isfinite(b.out) && (b.in > 0 || b.out > 0);
}

}  // namespace

void HistoryStore::add(std::int64_t utc, const ByteCounts& moved) {
    if (!writable_ || !AreBytes(moved)) return;
    File(utc, moved, {});
}

void HistoryStore::addRecovered(std::int64_t from, std::int64_t to, const ByteCounts& bytes) {
    if (!writable_ || !AreBytes(bytes) || to <= from) return;
    // Whole bytes to each slice of the time, so that the slices add up to
    // exactly what was recovered: the share up to a moment, rounded, less the
    // share up to the slice's start.
    const double span = static_cast<double>(to - from);
    auto upTo = [&](std::int64_t t) {
        const double share = static_cast<double>(t - from) / span;
        return ByteCounts{std::round(bytes.in * share), std::round(bytes.out * share)};
    };
    // Slices as fine as the rows kept for that time: minutes for the last
    // two days, hours for the last 90, days before; a slice never crosses
    // a row's period.
    const std::int64_t minutesFrom = to - kMinutesKept, hoursFrom = to - kHoursKept;
    ByteCounts done;
    for (std::int64_t t = from; t < to;) {
        std::int64_t next = 0;
        if (t >= minutesFrom)
            next = t - ((t % 60) + 60) % 60 + 60;
        else if (t >= hoursFrom)
            next = std::min(LocalHourStart(t) + 3600, minutesFrom);
        else
            next = std::min(LocalDateStart(AddDays(LocalDateOf(t), 1)), hoursFrom);
        next = std::clamp<std::int64_t>(next, t + 1, to);
        const ByteCounts reached = next == to ? bytes : upTo(next);
        const ByteCounts slice{reached.in - done.in, reached.out - done.out};
        done = reached;
        if (slice.in > 0 || slice.out > 0) File(t, slice, slice);
        t = next;
    }
}

void HistoryStore::File(std::int64_t utc, const ByteCounts& moved, const ByteCounts& recovered) {
    if (!lastFlush_) lastFlush_ = PaceSeconds();
    // Pruning goes by the latest bytes: a recovered slice is older.
    lastAdd_ = lastAdd_ ? std::max(*lastAdd_, utc) : utc;

    // Once a minute: has the user changed the time zone? The cached periods
    // were cut by the old one.
    const std::int64_t minute = utc - ((utc % 60) + 60) % 60;
    if (minute != zoneCheckedMinute_) {
        zoneCheckedMinute_ = minute;
        if (const std::int64_t offset = RefreshedUtcOffset(utc); offset != utcOffset_) {
            utcOffset_ = offset;
            hourStart_ = hourEnd_ = dayStart_ = dayEnd_ = 0;
            month_ = {};
        }
    }
    // The calendar is asked only when a tick leaves the hour, day or month of
    // the last one.
    if (utc < hourStart_ || utc >= hourEnd_) {
        hourStart_ = LocalHourStart(utc);
        hourEnd_ = hourStart_ + 3600;
    }
    if (utc < dayStart_ || utc >= dayEnd_) {
        day_ = LocalDateOf(utc);
        dayStart_ = LocalDateStart(day_);
        dayEnd_ = LocalDateStart(AddDays(day_, 1));
    }
    if (utc < month_.start || utc >= month_.end) month_ = BillingMonthOf(utc, monthStartDay_);

    Accumulate(minutes_, minute, day_, moved, recovered);
    Accumulate(hours_, hourStart_, day_, moved, recovered);
    Accumulate(days_, dayStart_, day_, moved, recovered);
    Accumulate(months_, month_.start, month_.first, moved, recovered);
}

void HistoryStore::keepMark(const CounterMark& mark) {
    if (writable_) mark_ = mark;
}

bool HistoryStore::flushDue(std::int64_t /*utc*/) const {
    // On the monotonic clock: a wall clock set back holds nothing up.
    return !minutes_.empty() && lastFlush_ && PaceSeconds() - *lastFlush_ >= 60;
}

bool HistoryStore::flush(std::string& error) {
    if (!writable_) {
        error = "the history is open for reading only";
        return false;
    }
    if (minutes_.empty() && !mark_) return true;
    // A failed write is tried again a minute later, not on every tick.
    lastFlush_ = PaceSeconds();
    int code = SQLITE_OK;
    if (!writePending(error, code)) {
        // Damage found by a write: the file is set aside like a damaged one
        // found at the start, and the bytes go to the new one.
        if (!IsDamage(code) || !startAgain(error) || !writePending(error, code)) return false;
    }
    minutes_.clear();
    hours_.clear();
    days_.clear();
    months_.clear();
    mark_.reset();
    return true;
}

bool HistoryStore::startAgain(std::string& error) {
    if (file_.empty()) return false;
    const std::string damage = error;
    db_.reset();
    const std::string aside = SetAside(file_, error);
    Connected c = Connect(file_, router_.key);
    if (!c.connection) {
        error = aside.empty() ? "the file is damaged (" + damage + ") and " + error : c.error;
        return false;
    }
    db_ = std::move(c.connection);
    router_.id = c.routerId;
    beforeHistory_ = {};
    beforeKept_ = false;
    hasRecovered_ = true;
    storedMark_.reset();
    if (!aside.empty()) notice_ = SetAsideNotice(file_, damage, aside);
    return true;
}

std::string HistoryStore::takeNotice() { return std::exchange(notice_, std::string()); }

bool HistoryStore::writePending(std::string& error, int& code) {
    sqlite3* raw = db_.get();
    if (!raw) {
        error = "the history file is not open";
        return false;
    }
    // The pages come from the file again, not from this connection's cache,
    // so that damage done to the file meanwhile is found (a few pages a minute).
    sqlite3_db_release_memory(raw);
    if (!Exec(raw, "BEGIN IMMEDIATE", error)) {
        code = sqlite3_extended_errcode(raw);
        return false;
    }
    bool ok = true;
    auto failed = [&] {
        ok = false;
        code = sqlite3_extended_errcode(raw);
        error = Message(raw);
    };
    auto step = [&](sqlite3_stmt* statement) {
        if (!ok) return;
        if (sqlite3_step(statement) != SQLITE_DONE) failed();
        sqlite3_reset(statement);
    };
    auto statement = [&](const char* sql) {
        db::Statement s = prepare(sql);
        if (!s && ok) failed();
        return s;
    };
    {
        const char* const upsertPeriod =
            " (router, start, bytes_in, bytes_out, recovered_in, recovered_out) VALUES(?1, ?2, ?3, ?4, ?5, ?6)"
            " ON CONFLICT(router, start) DO UPDATE"
            " SET bytes_in = bytes_in + excluded.bytes_in, bytes_out = bytes_out + excluded.bytes_out,"
            " recovered_in = recovered_in + excluded.recovered_in,"
            " recovered_out = recovered_out + excluded.recovered_out";
        const std::string minutesSql = std::string("INSERT INTO minutes") + upsertPeriod;
        const std::string hoursSql = std::string("INSERT INTO hours") + upsertPeriod;
        for (auto [sql, pending] : {std::pair{&minutesSql, &minutes_}, std::pair{&hoursSql, &hours_}}) {
            db::Statement s = statement(sql->c_str());
            for (const Pending& p : *pending) {
                if (!s) break;
                sqlite3_bind_int64(s.get(), 1, router_.id);
                sqlite3_bind_int64(s.get(), 2, p.start);
                sqlite3_bind_int64(s.get(), 3, Whole(p.bytes.in));
                sqlite3_bind_int64(s.get(), 4, Whole(p.bytes.out));
                sqlite3_bind_int64(s.get(), 5, Whole(p.recovered.in));
                sqlite3_bind_int64(s.get(), 6, Whole(p.recovered.out));
                step(s.get());
            }
        }
        db::Statement day = statement(
            "INSERT INTO days(router, day, start, bytes_in, bytes_out, recovered_in, recovered_out)"
            " VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7) ON CONFLICT(router, day) DO UPDATE"
            " SET bytes_in = bytes_in + excluded.bytes_in, bytes_out = bytes_out + excluded.bytes_out,"
            " recovered_in = recovered_in + excluded.recovered_in,"
            " recovered_out = recovered_out + excluded.recovered_out");
        for (const Pending& p : days_) {
            if (!day) break;
            const std::string text = DateText(p.date);
            sqlite3_bind_int64(day.get(), 1, router_.id);
            BindText(day.get(), 2, text);
            sqlite3_bind_int64(day.get(), 3, p.start);
            sqlite3_bind_int64(day.get(), 4, Whole(p.bytes.in));
            sqlite3_bind_int64(day.get(), 5, Whole(p.bytes.out));
            sqlite3_bind_int64(day.get(), 6, Whole(p.recovered.in));
            sqlite3_bind_int64(day.get(), 7, Whole(p.recovered.out));
            step(day.get());
        }
        db::Statement month = statement(
            "INSERT INTO months(router, month, start, month_start_day, bytes_in, bytes_out, recovered_in,"
            " recovered_out) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8) ON CONFLICT(router, month) DO UPDATE"
            " SET bytes_in = bytes_in + excluded.bytes_in, bytes_out = bytes_out + excluded.bytes_out,"
            " recovered_in = recovered_in + excluded.recovered_in,"
            " recovered_out = recovered_out + excluded.recovered_out");
        for (const Pending& p : months_) {
            if (!month) break;
            const std::string text = DateText(p.date);
            sqlite3_bind_int64(month.get(), 1, router_.id);
            BindText(month.get(), 2, text);
            sqlite3_bind_int64(month.get(), 3, p.start);
            sqlite3_bind_int64(month.get(), 4, monthStartDay_);
            sqlite3_bind_int64(month.get(), 5, Whole(p.bytes.in));
            sqlite3_bind_int64(month.get(), 6, Whole(p.bytes.out));
            sqlite3_bind_int64(month.get(), 7, Whole(p.recovered.in));
            sqlite3_bind_int64(month.get(), 8, Whole(p.recovered.out));
            step(month.get());
        }
        // The counters the bytes above were counted up to, in the same
        // transaction: the next start recovers from exactly there.
        if (mark_) {
            db::Statement m = statement(
                "INSERT OR REPLACE INTO marks(router, bytes_in, bytes_out, uptime, utc, counters64, counters)"
                " VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7)");
            if (m) {
                sqlite3_bind_int64(m.get(), 1, router_.id);
                sqlite3_bind_double(m.get(), 2, mark_->bytesIn);
                sqlite3_bind_double(m.get(), 3, mark_->bytesOut);
                if (mark_->uptime)
                    sqlite3_bind_double(m.get(), 4, *mark_->uptime);
                else
                    sqlite3_bind_null(m.get(), 4);
                sqlite3_bind_int64(m.get(), 5, mark_->utc);
                sqlite3_bind_int(m.get(), 6, mark_->counters64 ? 1 : 0);
                BindText(m.get(), 7, mark_->counters);
                step(m.get());
            }
        }
        // Minutes and hours past their keeping, of every router in the file.
        const std::int64_t now = lastAdd_.value_or(0);
        db::Statement pruneMinutes = statement("DELETE FROM minutes WHERE start < ?1");
        if (pruneMinutes) {
            sqlite3_bind_int64(pruneMinutes.get(), 1, now - kMinutesKept);
            step(pruneMinutes.get());
        }
        db::Statement pruneHours = statement("DELETE FROM hours WHERE start < ?1");
        if (pruneHours) {
            sqlite3_bind_int64(pruneHours.get(), 1, now - kHoursKept);
            step(pruneHours.get());
        }
    }
    if (ok && !Exec(raw, "COMMIT", error)) {
        ok = false;
        code = sqlite3_extended_errcode(raw);
    }
    if (!ok) {
        std::string ignored;
        Exec(raw, "ROLLBACK", ignored);
        return false;
    }
    // The minute goes on into the file itself at once: what is committed does
    // not live in the -wal alone (which a cleaner may delete while the
    // program runs). A reader holding an older view just leaves it for later.
    sqlite3_wal_checkpoint_v2(raw, nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
    return true;
}

void HistoryStore::keepBeforeHistory(const ByteCounts& totals) {
    if (!writable_ || beforeKept_) return;
    // The statistics file's totals count every router's bytes: they came before
    // the history only when the file holds no history of any router yet.
    // Another router's first start keeps nothing, or those bytes would be
    // counted twice.
    bool fileIsNew = true;
    if (db::Statement s = prepare("SELECT EXISTS(SELECT 1 FROM days) OR EXISTS(SELECT 1 FROM routers"
                                  " WHERE before_kept <> 0)")) {
        if (sqlite3_step(s.get()) == SQLITE_ROW) fileIsNew = sqlite3_column_int(s.get(), 0) == 0;
    }
    const ByteCounts kept = fileIsNew ? totals : ByteCounts{};
    db::Statement update = prepare("UPDATE routers SET before_in=?1, before_out=?2, before_kept=1 WHERE id=?3");
    if (!update) return;
    sqlite3_bind_int64(update.get(), 1, Whole(kept.in));
    sqlite3_bind_int64(update.get(), 2, Whole(kept.out));
    sqlite3_bind_int64(update.get(), 3, router_.id);
    if (sqlite3_step(update.get()) != SQLITE_DONE) return;  // tried again on the next start
    beforeHistory_ = kept;
    beforeKept_ = true;
}

// ---- Reading ------------------------------------------------------------------

ByteCounts HistoryStore::daysBetween(const LocalDate& first, const LocalDate& end, ByteCounts& recovered) const {
    ByteCounts sum;
    recovered = {};
    if (db::Statement s =
            prepare(hasRecovered_
                        ? "SELECT COALESCE(SUM(bytes_in), 0), COALESCE(SUM(bytes_out), 0), COALESCE(SUM(recovered_in),"
                          " 0), COALESCE(SUM(recovered_out), 0) FROM days WHERE router=?1 AND day>=?2 AND day<?3"
                        : "SELECT COALESCE(SUM(bytes_in), 0), COALESCE(SUM(bytes_out), 0), 0, 0 FROM days"
                          " WHERE router=?1 AND day>=?2 AND day<?3")) {
        const std::string from = DateText(first), to = DateText(end);
        sqlite3_bind_int64(s.get(), 1, router_.id);
        BindText(s.get(), 2, from);
        BindText(s.get(), 3, to);
        if (sqlite3_step(s.get()) == SQLITE_ROW) {
            sum = ColumnBytes(s.get(), 0);
            recovered = ColumnBytes(s.get(), 2);
        }
    }
    for (const Pending& p : days_)
        if (!Before(p.date, first) && Before(p.date, end)) {
            AddBytes(sum, p.bytes);
            AddBytes(recovered, p.recovered);
        }
    return sum;
}

HistorySummary HistoryStore::summary(std::int64_t now, int monthStartDay, std::optional<double> quota) const {
    monthStartDay = ClampDay(monthStartDay);
    RefreshedUtcOffset(now);  // "today" by the zone in force now
    HistorySummary s;
    s.quota = quota;
    s.beforeHistory = beforeHistory_;

    // The last 30 days, today last.
    const LocalDate today = LocalDateOf(now);
    const LocalDate firstDay = AddDays(today, -29);
    for (int i = 0; i < 30; ++i) s.days.push_back({LocalDateStart(AddDays(firstDay, i)), {}});
    auto dayIndex = [&](const LocalDate& date) -> int {
        for (int i = 29; i >= 0; --i)
            if (SameDate(AddDays(firstDay, i), date)) return i;
        return -1;
    };
    if (db::Statement q =
            prepare(hasRecovered_ ? "SELECT day, bytes_in, bytes_out, recovered_in, recovered_out FROM days"
                                    " WHERE router=?1 AND day>=?2 AND day<=?3"
                                  : "SELECT day, bytes_in, bytes_out, 0, 0 FROM days WHERE router=?1 AND day>=?2"
                                    " AND day<=?3")) {
        const std::string from = DateText(firstDay), to = DateText(today);
        sqlite3_bind_int64(q.get(), 1, router_.id);
        BindText(q.get(), 2, from);
        BindText(q.get(), 3, to);
        while (sqlite3_step(q.get()) == SQLITE_ROW) {
            const std::string text = ColumnText(q.get(), 0);
            const std::int64_t start = [&] {
                const std::optional<LocalDate> date = ParseDate(text);
                return date ? LocalDateStart(*date) : 0;
            }();
            for (HistoryBar& bar : s.days)
                if (bar.start == start) {
                    AddBytes(bar.bytes, ColumnBytes(q.get(), 1));
                    AddBytes(bar.recovered, ColumnBytes(q.get(), 3));
                }
        }
    }
    for (const Pending& p : days_)
        if (int i = dayIndex(p.date); i >= 0) {
            AddBytes(s.days[static_cast<std::size_t>(i)].bytes, p.bytes);
            AddBytes(s.days[static_cast<std::size_t>(i)].recovered, p.recovered);
        }
    s.today = s.days[29].bytes;
    s.yesterday = s.days[28].bytes;
    s.todayRecovered = s.days[29].recovered;
    s.yesterdayRecovered = s.days[28].recovered;

    // The last 24 hours, the current one last.
    const std::int64_t hour = LocalHourStart(now);
    const std::int64_t firstHour = hour - std::int64_t{23} * 3600;
    for (int i = 0; i < 24; ++i) s.hours.push_back({firstHour + std::int64_t{i} * 3600, {}});
    auto hourBar = [&](std::int64_t start) -> HistoryBar* {
        if (start < firstHour || start >= hour + 3600) return nullptr;
        return &s.hours[static_cast<std::size_t>((start - firstHour) / 3600)];
    };
    if (db::Statement q = prepare(hasRecovered_ ? "SELECT start, bytes_in, bytes_out, recovered_in, recovered_out FROM"
                                                  " hours WHERE router=?1 AND start>=?2 AND start<?3"
                                                : "SELECT start, bytes_in, bytes_out, 0, 0 FROM hours WHERE router=?1"
                                                  " AND start>=?2 AND start<?3")) {
        sqlite3_bind_int64(q.get(), 1, router_.id);
        sqlite3_bind_int64(q.get(), 2, firstHour);
        sqlite3_bind_int64(q.get(), 3, hour + 3600);
        while (sqlite3_step(q.get()) == SQLITE_ROW)
            if (HistoryBar* bar = hourBar(sqlite3_column_int64(q.get(), 0))) {
                AddBytes(bar->bytes, ColumnBytes(q.get(), 1));
                AddBytes(bar->recovered, ColumnBytes(q.get(), 3));
            }
    }
    for (const Pending& p : hours_)
        if (HistoryBar* bar = hourBar(p.start)) {
            AddBytes(bar->bytes, p.bytes);
            AddBytes(bar->recovered, p.recovered);
        }

    // Billing months, from the days: right for any MonthStart, whichever was
    // in force when the bytes were written.
    const BillingMonth month = BillingMonthOf(now, monthStartDay);
    const BillingMonth previous = PreviousBillingMonth(month, monthStartDay);
    s.monthStart = month.start;
    s.thisMonth = daysBetween(month.first, AddMonths(month.first, 1), s.thisMonthRecovered);
    s.lastMonth = daysBetween(previous.first, month.first, s.lastMonthRecovered);
    return s;
}

std::vector<HistoryBar> HistoryStore::months(std::int64_t now, int monthStartDay) const {
    monthStartDay = ClampDay(monthStartDay);
    std::map<std::tuple<int, int>, HistoryBar> byMonth;
    auto count = [&](const LocalDate& date, const ByteCounts& bytes, const ByteCounts& recovered) {
        const LocalDate first = BillingFirst(date, monthStartDay);
        HistoryBar& bar = byMonth[{first.year, first.month}];
        AddBytes(bar.bytes, bytes);
        AddBytes(bar.recovered, recovered);
    };
    if (db::Statement q =
            prepare(hasRecovered_ ? "SELECT day, bytes_in, bytes_out, recovered_in, recovered_out FROM days"
                                    " WHERE router=?1"
                                  : "SELECT day, bytes_in, bytes_out, 0, 0 FROM days WHERE router=?1")) {
        sqlite3_bind_int64(q.get(), 1, router_.id);
        while (sqlite3_step(q.get()) == SQLITE_ROW)
            if (const std::optional<LocalDate> date = ParseDate(ColumnText(q.get(), 0)))
                count(*date, ColumnBytes(q.get(), 1), ColumnBytes(q.get(), 3));
    }
    for (const Pending& p : days_) count(p.date, p.bytes, p.recovered);

    const LocalDate last = BillingMonthOf(now, monthStartDay).first;
    LocalDate first = last;
    if (!byMonth.empty()) {
        const auto& [year, monthNumber] = byMonth.begin()->first;
        const LocalDate oldest{year, monthNumber, monthStartDay};
        if (Before(oldest, first)) first = oldest;
    }
    std::vector<HistoryBar> bars;
    for (LocalDate m = first; !Before(last, m); m = AddMonths(m, 1)) {
        const auto found = byMonth.find({m.year, m.month});
        HistoryBar bar = found == byMonth.end() ? HistoryBar{} : found->second;
        bar.start = LocalDateStart(m);
        bars.push_back(bar);
    }
    return bars;
}

int HistoryStore::quotaNoticeShown(std::int64_t monthStart) const {
    int shown = 0;
    if (const auto found = noticesShown_.find(monthStart); found != noticesShown_.end()) shown = found->second;
    if (db::Statement s = prepare("SELECT percent FROM notices WHERE router=?1 AND month_start=?2")) {
        sqlite3_bind_int64(s.get(), 1, router_.id);
        sqlite3_bind_int64(s.get(), 2, monthStart);
        if (sqlite3_step(s.get()) == SQLITE_ROW) shown = std::max(shown, sqlite3_column_int(s.get(), 0));
    }
    return shown;
}

void HistoryStore::setQuotaNoticeShown(std::int64_t monthStart, int percent) {
    // Remembered for this run even when the file cannot take it.
    int& mine = noticesShown_[monthStart];
    mine = std::max(mine, percent);
    if (!writable_) return;
    if (db::Statement s = prepare("INSERT INTO notices(router, month_start, percent) VALUES(?1, ?2, ?3)"
                                  " ON CONFLICT(router, month_start) DO UPDATE"
                                  " SET percent = MAX(percent, excluded.percent)")) {
        sqlite3_bind_int64(s.get(), 1, router_.id);
        sqlite3_bind_int64(s.get(), 2, monthStart);
        sqlite3_bind_int(s.get(), 3, percent);
        sqlite3_step(s.get());
    }
}

// ---- The command line's reading -----------------------------------------------

namespace {

// A file name as an SQLite URI path.
std::string UriPath(const std::string& file) {
    std::string path = file;
#ifdef _WIN32
    for (char& c : path)
        if (c == '\\') c = '/';
    if (path.size() > 1 && path[1] == ':') path = "/" + path;
#endif
    static const char* const hex = "0123456789ABCDEF";
    std::string uri;
    for (char c : path) {
        const auto u = static_cast<unsigned char>(c);
        if (std::isalnum(u) || c == '/' || c == '.' || c == '-' || c == '_' || c == '~' || c == ':') {
            uri += c;
        } else {
            uri += '%';
            uri += hex[u >> 4];
            uri += hex[u & 15];
        }
    }
    return uri;
}

}  // namespace

std::unique_ptr<HistoryReader> HistoryReader::Open(const std::string& file, std::string& error) {
    if (!platform::FileExists(file)) {
        error = "the file does not exist";
        return nullptr;
    }
    // While the program writes, its -wal and -shm are there to read with.
    // Otherwise the file is read as it stands, with no lock and no -shm or
    // -wal made beside it.
    const bool writerFiles = platform::FileExists(file + "-wal") && platform::FileExists(file + "-shm");
    const std::string uri = "file:" + UriPath(file) + (writerFiles ? "?mode=ro" : "?mode=ro&immutable=1");
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(uri.c_str(), &raw, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr);
    auto reader = std::make_unique<HistoryReader>();
    reader->db_ = db::Connection(raw, db::Closer{});
    if (rc != SQLITE_OK) {
        error = Message(raw);
        return nullptr;
    }
    sqlite3_busy_timeout(raw, 2000);
    if (!Exec(raw, "SELECT id FROM routers LIMIT 1; SELECT 1 FROM days LIMIT 1", error)) return nullptr;
    return reader;
}

std::vector<StoredRouter> HistoryReader::routers() const {
    std::vector<StoredRouter> routers;
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db_.get(), "SELECT id, address, source FROM routers ORDER BY id", -1, &raw, nullptr) !=
        SQLITE_OK)
        return routers;
    db::Statement s(raw);
    while (sqlite3_step(raw) == SQLITE_ROW)
        routers.push_back({sqlite3_column_int64(raw, 0), {ColumnText(raw, 1), ColumnText(raw, 2)}});
    return routers;
}

std::unique_ptr<HistoryStore> HistoryReader::history(const StoredRouter& router) const {
    return std::make_unique<HistoryStore>(db_, router, false, 1);
}

}  // namespace vx
