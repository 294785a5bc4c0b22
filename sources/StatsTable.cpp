#include "sources/StatsTable.h"

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <utility>
#include <vector>

#include "runtime/numtext.h"

namespace vx {

namespace {

// Where `needle` starts in `s` from `from` on, letter case ignored; npos when nowhere.
std::size_t FindNoCase(std::string_view s, std::size_t from, std::string_view needle) {
    const std::size_t at = InStrNoCase(s.substr(from), needle);
    return at == 0 ? std::string_view::npos : from + at - 1;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }

bool SameNoCase(std::string_view a, std::string_view b) { return a.size() == b.size() && StartsWithNoCase(a, b); }

// Spans beyond these are nonsense.
constexpr int kMaxColSpan = 64;
constexpr int kMaxRowSpan = 256;

struct Cell {
    std::string text;  // in lower case, blanks folded to one, trimmed
    int colspan = 1;
    int rowspan = 1;
};
using Row = std::vector<Cell>;

// A number attribute (colspan="3", ROWSPAN=2, colspan='4') of a tag's text.
int SpanAttribute(std::string_view tag, std::string_view name, int most) {
    std::size_t at = FindNoCase(tag, 0, name);
    if (at == std::string_view::npos) return 1;
    at += name.size();
    while (at < tag.size() && IsBlank(tag[at])) ++at;
    if (at >= tag.size() || tag[at] != '=') return 1;
    ++at;
    while (at < tag.size() && (IsBlank(tag[at]) || tag[at] == '"' || tag[at] == '\'')) ++at;
    int value = 0;
    bool any = false;
    while (at < tag.size() && tag[at] >= '0' && tag[at] <= '9') {
        value = std::min(value * 10 + (tag[at] - '0'), most);
        any = true;
        ++at;
    }
    return any && value > 0 ? value : 1;
}

// The table laid out, spans filled in: at[row][column] is the cell that
// covers it, or null.
struct Grid {
    std::vector<std::vector<const Cell*>> at;
    std::size_t columns = 0;
    std::size_t size() const { return std::max<std::size_t>(at.size(), 1) * std::max<std::size_t>(columns, 1); }
};

// Nothing when the grid would be over `most` cells: it is given up as soon as
// it would grow past that, so the work stays within a few times `most`.
std::optional<Grid> Place(const std::vector<Row>& rows, std::size_t most) {
    const std::size_t height = std::max<std::size_t>(rows.size(), 1);
    if (height > most) return std::nullopt;
    const std::size_t widest = most / height;
    Grid g;
    g.at.resize(rows.size());
    for (std::size_t r = 0; r < rows.size(); ++r) {
        std::size_t c = 0;
        for (const Cell& cell : rows[r]) {
            while (c < g.at[r].size() && g.at[r][c]) ++c;
            const auto span = static_cast<std::size_t>(cell.colspan);
            if (c + span > widest) return std::nullopt;
            const std::size_t lastRow = std::min(rows.size(), r + static_cast<std::size_t>(cell.rowspan));
            for (std::size_t rr = r; rr < lastRow; ++rr) {
                auto& row = g.at[rr];
                if (row.size() < c + span) row.resize(c + span, nullptr);
                std::fill(row.begin() + static_cast<std::ptrdiff_t>(c),
                          row.begin() + static_cast<std::ptrdiff_t>(c + span), &cell);
            }
            c += span;
            g.columns = std::max(g.columns, c);
        }
    }
    return g;
}

// What the headings over one column say so far.
struct Heads {
    const Cell* previous = nullptr;  // the cell above, met already
    const Cell* last = nullptr;      // the lowest heading with text
    bool received = false;
    bool transmitted = false;
    bool total = false;
    bool interface = false;
    bool description = false;
};

// The "bytes" column under `direction`, the "total" group's first.
std::optional<std::size_t> BytesColumn(const std::vector<Heads>& heads, bool Heads::*direction) {
    std::optional<std::size_t> any;
    for (std::size_t c = 0; c < heads.size(); ++c) {
        const Heads& h = heads[c];
        if (!h.last || h.last->text != "bytes" || !(h.*direction)) continue;
        if (h.total) return c;
        if (!any) any = c;
    }
    return any;
}

std::optional<std::size_t> NamedColumn(const std::vector<Heads>& heads, bool Heads::*name) {
    for (std::size_t c = 0; c < heads.size(); ++c)
        if (heads[c].*name) return c;
    return std::nullopt;
}

std::string_view CellText(const Grid& g, std::size_t r, std::optional<std::size_t> c) {
    if (!c || *c >= g.at[r].size() || !g.at[r][*c]) return {};
    return g.at[r][*c]->text;
}

// Whether the table names both byte columns, and what its rows add up to.
std::pair<bool, std::optional<TableCounters>> ReadTable(const Grid& g, std::string_view wanted) {
    std::vector<Heads> heads(g.columns);
    std::optional<std::size_t> rx;
    std::optional<std::size_t> tx;
    std::size_t r = 0;
    while (r < g.at.size() && !(rx && tx)) {
        const auto& row = g.at[r++];
        for (std::size_t c = 0; c < row.size(); ++c) {
            const Cell* cell = row[c];
            Heads& h = heads[c];
            if (!cell || cell == h.previous) continue;
            h.previous = cell;
            if (cell->text.empty()) continue;
            h.last = cell;
            h.received = h.received || cell->text == "received";
            h.transmitted = h.transmitted || cell->text == "transmitted";
            h.total = h.total || cell->text == "total";
            h.interface = h.interface || cell->text == "interface";
            h.description = h.description || cell->text == "description";
        }
        rx = BytesColumn(heads, &Heads::received);
        tx = BytesColumn(heads, &Heads::transmitted);
    }
    if (!rx || !tx) return {false, std::nullopt};
    const auto name = NamedColumn(heads, &Heads::interface);
    const auto description = NamedColumn(heads, &Heads::description);

    TableCounters sum;
    for (; r < g.at.size(); ++r) {
        const std::optional<double> in = CounterValue(CellText(g, r, rx));
        const std::optional<double> out = CounterValue(CellText(g, r, tx));
        if (!in || !out) continue;
        if (!wanted.empty() && CellText(g, r, name) != wanted && CellText(g, r, description) != wanted) continue;
        sum.received += *in;
        sum.transmitted += *out;
        ++sum.rows;
    }
    if (sum.rows == 0) return {true, std::nullopt};
    return {true, sum};
}

// Every table of the page with its rows and cells, nested ones apart, read as
// each one closes. Text outside cells, scripts, styles and comments are
// passed over; tags inside a cell leave a blank. What is held stays within
// the grid limits: a page that would go past them is given up at once.
class TableReader {
public:
    TableReader(std::string_view page, std::string_view wanted) : page_(page) {
        for (char c : wanted) wanted_ += LowerAscii(c);
    }

    StatsTableReading read() {
        std::size_t i = 0;
        while (i < page_.size() && !reading_.tooLarge) {
            const char c = page_[i];
            if (c == '<') {
                i = tag(i);
            } else if (c == '&') {
                i = entity(i);
            } else {
                const std::size_t end = std::min(page_.find_first_of("<&", i), page_.size());
                text(page_.substr(i, end - i));
                i = end;
            }
        }
        while (!open_.empty() && !reading_.tooLarge) closeTable();
        if (reading_.tooLarge) return StatsTableReading{false, true, std::nullopt};
        return reading_;
    }

private:
    struct Open {
        std::vector<Row> rows;
        std::size_t cells = 0;
        std::size_t charged = 1;  // the least its grid can be: its rows, its cells, one
        bool inCell = false;
    };

    std::size_t skipPast(std::size_t from, std::string_view end) const {
        const std::size_t at = FindNoCase(page_, from, end);
        return at == std::string_view::npos ? page_.size() : at + end.size();
    }

    std::size_t tag(std::size_t i) {
        const std::string_view rest = page_.substr(i);
        if (StartsWithNoCase(rest, "<!--")) return skipPast(i + 4, "-->");
        if (StartsWithNoCase(rest, "<script")) return skipPast(i + 7, "</script");
        if (StartsWithNoCase(rest, "<style")) return skipPast(i + 6, "</style");
        // The tag runs to the first '>' outside quotes.
        std::size_t end = i + 1;
        char quote = 0;
        for (; end < page_.size(); ++end) {
            const char c = page_[end];
            if (quote) {
                if (c == quote) quote = 0;
            } else if (c == '"' || c == '\'') {
                quote = c;
            } else if (c == '>') {
                break;
            }
        }
        const std::string_view whole = page_.substr(i, end - i);
        std::size_t n = 1;
        const bool closing = n < whole.size() && whole[n] == '/';
        if (closing) ++n;
        std::size_t nameEnd = n;
        while (nameEnd < whole.size() && std::isalnum(static_cast<unsigned char>(whole[nameEnd]))) ++nameEnd;
        handle(whole.substr(n, nameEnd - n), closing, whole);
        return end + 1;
    }

    std::size_t entity(std::size_t i) {
        static constexpr std::pair<std::string_view, char> kKnown[] = {
            {"&nbsp;", ' '}, {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&#160;", ' '}};
        for (const auto& [name, c] : kKnown)
            if (StartsWithNoCase(page_.substr(i), name)) {
                text(std::string_view(&c, 1));
                return i + name.size();
            }
        text("&");
        return i + 1;
    }

    // Text outside cells is passed over; in a cell, blanks fold to one.
    void text(std::string_view run) {
        if (open_.empty() || !open_.back().inCell) return;
        std::string& t = open_.back().rows.back().back().text;
        for (const char c : run) {
            if (!IsBlank(c)) {
                t += LowerAscii(c);
            } else if (!t.empty() && t.back() != ' ') {
                t += ' ';
            }
        }
    }

    void handle(std::string_view name, bool closing, std::string_view whole) {
        if (SameNoCase(name, "table")) {
            if (closing) {
                if (!open_.empty()) closeTable();
            } else {
                open_.push_back(Open{});
                charge(1);
            }
            return;
        }
        if (open_.empty()) return;
        Open& t = open_.back();
        if (SameNoCase(name, "tr")) {
            closeCell();
            if (closing) return;
            t.rows.emplace_back();
            recharge(t);
        } else if (SameNoCase(name, "td") || SameNoCase(name, "th")) {
            closeCell();
            if (closing) return;
            if (t.rows.empty()) t.rows.emplace_back();
            Cell cell;
            cell.colspan = SpanAttribute(whole, "colspan", kMaxColSpan);
            cell.rowspan = SpanAttribute(whole, "rowspan", kMaxRowSpan);
            t.rows.back().push_back(std::move(cell));
            ++t.cells;
            t.inCell = true;
            recharge(t);
        } else if (!closing || SameNoCase(name, "br") || SameNoCase(name, "p") || SameNoCase(name, "div")) {
            text(" ");
        }
    }

    // Each cell starts on a grid cell of its own and each row is a row of the
    // grid: what an open table holds is no more than its grid will be.
    void recharge(Open& t) {
        const std::size_t least = std::max({std::size_t{1}, t.rows.size(), t.cells});
        charge(least - t.charged);
        t.charged = least;
        if (least > kMaxTableCells) reading_.tooLarge = true;
    }

    void charge(std::size_t cells) {
        used_ += cells;
        if (used_ > kMaxPageTableCells) reading_.tooLarge = true;
    }

    void closeCell() {
        if (open_.empty() || !open_.back().inCell) return;
        Open& t = open_.back();
        std::string& s = t.rows.back().back().text;
        while (!s.empty() && s.back() == ' ') s.pop_back();
        t.inCell = false;
    }

    void closeTable() {
        closeCell();
        const Open t = std::move(open_.back());
        open_.pop_back();
        used_ -= t.charged;
        const std::optional<Grid> g = Place(t.rows, std::min(kMaxTableCells, kMaxPageTableCells - used_));
        if (!g) {
            reading_.tooLarge = true;
            return;
        }
        used_ += g->size();
        if (reading_.counters) return;
        auto [found, counters] = ReadTable(*g, wanted_);
        reading_.found = reading_.found || found;
        reading_.counters = counters;
    }

    std::string_view page_;
    std::string wanted_;  // in lower case
    std::vector<Open> open_;
    std::size_t used_ = 0;  // grid cells of the tables read, and at least those of the open ones
    StatsTableReading reading_;
};

}  // namespace

StatsTableReading ReadStatsTables(std::string_view page, std::string_view interfaceName) {
    return TableReader(page, interfaceName).read();
}

std::optional<TableCounters> ReadStatsTable(std::string_view page, std::string_view interfaceName) {
    return ReadStatsTables(page, interfaceName).counters;
}

}  // namespace vx
