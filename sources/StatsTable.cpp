#include "sources/StatsTable.h"

#include <algorithm>
#include <cctype>
#include <cstddef>
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

std::string Folded(std::string_view s) {
    std::string out;
    for (char c : s) out += LowerAscii(c);
    return out;
}

// Spans beyond these are nonsense; they only bound the grid.
constexpr int kMaxColSpan = 64;
constexpr int kMaxRowSpan = 256;
// A grid larger than this is no statistics table: the rest is left out.
constexpr std::size_t kMaxGridCells = std::size_t{1} << 20;

struct Cell {
    std::string text;  // blanks folded to one, trimmed
    int colspan = 1;
    int rowspan = 1;
};
using Row = std::vector<Cell>;
using Table = std::vector<Row>;

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

// Every table of the page with its rows and cells, nested ones apart. Text
// outside cells, scripts, styles and comments are passed over; tags inside a
// cell leave a blank.
class TableReader {
public:
    explicit TableReader(std::string_view page) : page_(page) {}

    std::vector<Table> read() {
        std::size_t i = 0;
        while (i < page_.size()) {
            const char c = page_[i];
            if (c == '<') {
                i = tag(i);
            } else if (c == '&') {
                i = entity(i);
            } else {
                text(IsBlank(c) ? ' ' : c);
                ++i;
            }
        }
        while (!open_.empty()) closeTable();
        return std::move(done_);
    }

private:
    struct Open {
        Table table;
        bool inCell = false;
    };

    std::size_t skipPast(std::size_t from, std::string_view end) const {
        const std::size_t at = FindNoCase(page_, from, end);
        return at == std::string_view::npos ? page_.size() : at + end.size();
    }

    std::size_t tag(std::size_t i) {
        if (StartsWithNoCase(page_.substr(i), "<!--")) return skipPast(i + 4, "-->");
        if (StartsWithNoCase(page_.substr(i), "<script")) return skipPast(i + 7, "</script");
        if (StartsWithNoCase(page_.substr(i), "<style")) return skipPast(i + 6, "</style");
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
        const std::string name = Folded(whole.substr(n, nameEnd - n));
        handle(name, closing, whole);
        return end + 1;
    }

    std::size_t entity(std::size_t i) {
        static constexpr std::pair<std::string_view, char> kKnown[] = {
            {"&nbsp;", ' '}, {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&#160;", ' '}};
        for (const auto& [name, c] : kKnown)
            if (StartsWithNoCase(page_.substr(i), name)) {
                text(c);
                return i + name.size();
            }
        text('&');
        return i + 1;
    }

    void text(char c) {
        if (open_.empty() || !open_.back().inCell) return;
        std::string& t = open_.back().table.back().back().text;
        if (c == ' ' && (t.empty() || t.back() == ' ')) return;
        t += c;
    }

    void handle(const std::string& name, bool closing, std::string_view whole) {
        if (name == "table") {
            if (closing) {
                if (!open_.empty()) closeTable();
            } else {
                open_.push_back(Open{});
            }
            return;
        }
        if (open_.empty()) return;
        Open& t = open_.back();
        if (name == "tr") {
            closeCell();
            if (!closing) t.table.emplace_back();
        } else if (name == "td" || name == "th") {
            closeCell();
            if (closing) return;
            if (t.table.empty()) t.table.emplace_back();
            Cell cell;
            cell.colspan = SpanAttribute(whole, "colspan", kMaxColSpan);
            cell.rowspan = SpanAttribute(whole, "rowspan", kMaxRowSpan);
            t.table.back().push_back(std::move(cell));
            t.inCell = true;
        } else if (!closing || name == "br" || name == "p" || name == "div") {
            text(' ');
        }
    }

    void closeCell() {
        if (open_.empty() || !open_.back().inCell) return;
        Open& t = open_.back();
        std::string& s = t.table.back().back().text;
        while (!s.empty() && s.back() == ' ') s.pop_back();
        t.inCell = false;
    }

    void closeTable() {
        closeCell();
        done_.push_back(std::move(open_.back().table));
        open_.pop_back();
    }

    std::string_view page_;
    std::vector<Open> open_;
    std::vector<Table> done_;
};

// The table laid out on a grid, spans filled in: grid[row][column] is the
// cell that covers it, or null.
struct Grid {
    std::vector<std::vector<const Cell*>> at;
    std::vector<bool> dataRow;  // a row of its own cells holds a whole number
    std::size_t columns = 0;
};

Grid Place(const Table& table) {
    Grid g;
    g.at.resize(table.size());
    g.dataRow.resize(table.size(), false);
    std::size_t placed = 0;
    for (std::size_t r = 0; r < table.size() && placed < kMaxGridCells; ++r) {
        std::size_t c = 0;
        for (const Cell& cell : table[r]) {
            while (c < g.at[r].size() && g.at[r][c]) ++c;
            const auto span = static_cast<std::size_t>(cell.colspan);
            const std::size_t lastRow = std::min(table.size(), r + static_cast<std::size_t>(cell.rowspan));
            for (std::size_t rr = r; rr < lastRow; ++rr) {
                if (g.at[rr].size() < c + span) g.at[rr].resize(c + span, nullptr);
                for (std::size_t cc = c; cc < c + span; ++cc) g.at[rr][cc] = &cell;
                placed += span;
            }
            if (CounterValue(cell.text)) g.dataRow[r] = true;
            c += span;
        }
    }
    for (const auto& row : g.at) g.columns = std::max(g.columns, row.size());
    return g;
}

// The headings over each column, from the rows before the first data row,
// each heading once, folded to lower case.
std::vector<std::vector<std::string>> Headings(const Grid& g, std::size_t& firstData) {
    firstData = 0;
    while (firstData < g.at.size() && !g.dataRow[firstData]) ++firstData;
    std::vector<std::vector<std::string>> headings(g.columns);
    for (std::size_t c = 0; c < g.columns; ++c) {
        const Cell* previous = nullptr;
        for (std::size_t r = 0; r < firstData; ++r) {
            const Cell* cell = c < g.at[r].size() ? g.at[r][c] : nullptr;
            if (!cell || cell == previous) continue;
            previous = cell;
            if (!cell->text.empty()) headings[c].push_back(Folded(cell->text));
        }
    }
    return headings;
}

bool Has(const std::vector<std::string>& path, std::string_view word) {
    return std::find(path.begin(), path.end(), word) != path.end();
}

// The "bytes" column under `direction`, the "total" group's first.
std::optional<std::size_t> BytesColumn(const std::vector<std::vector<std::string>>& headings,
                                       std::string_view direction) {
    std::optional<std::size_t> any;
    for (std::size_t c = 0; c < headings.size(); ++c) {
        const auto& path = headings[c];
        if (path.empty() || path.back() != "bytes" || !Has(path, direction)) continue;
        if (Has(path, "total")) return c;
        if (!any) any = c;
    }
    return any;
}

std::optional<std::size_t> NamedColumn(const std::vector<std::vector<std::string>>& headings, std::string_view name) {
    for (std::size_t c = 0; c < headings.size(); ++c)
        if (Has(headings[c], name)) return c;
    return std::nullopt;
}

std::string CellText(const Grid& g, std::size_t r, std::optional<std::size_t> c) {
    if (!c || *c >= g.at[r].size() || !g.at[r][*c]) return {};
    return g.at[r][*c]->text;
}

std::optional<TableCounters> ReadTable(const Table& table, std::string_view wanted) {
    const Grid g = Place(table);
    std::size_t firstData = 0;
    const auto headings = Headings(g, firstData);
    const auto rx = BytesColumn(headings, "received");
    const auto tx = BytesColumn(headings, "transmitted");
    if (!rx || !tx) return std::nullopt;
    const auto name = NamedColumn(headings, "interface");
    const auto description = NamedColumn(headings, "description");
    const std::string folded = Folded(wanted);

    TableCounters sum;
    for (std::size_t r = firstData; r < g.at.size(); ++r) {
        const std::optional<double> in = CounterValue(CellText(g, r, rx));
        const std::optional<double> out = CounterValue(CellText(g, r, tx));
        if (!in || !out) continue;
        if (!folded.empty() && Folded(CellText(g, r, name)) != folded && Folded(CellText(g, r, description)) != folded)
            continue;
        sum.received += *in;
        sum.transmitted += *out;
        ++sum.rows;
    }
    if (sum.rows == 0) return std::nullopt;
    return sum;
}

}  // namespace

std::optional<TableCounters> ReadStatsTable(std::string_view page, std::string_view interfaceName) {
    for (const Table& table : TableReader(page).read())
        if (auto counters = ReadTable(table, interfaceName)) return counters;
    return std::nullopt;
}

}  // namespace vx
