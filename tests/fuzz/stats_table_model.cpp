#include "tests/fuzz/stats_table_model.h"

#include <algorithm>
#include <string>
#include <vector>

namespace vx::model {

namespace {

// The page in two passes: first its pieces (tags with their whole text,
// characters of text), then the tables built from them. Written plainly and
// apart from the reader: it keeps every table and the whole grid, and
// searches the headings again for each row.

struct Piece {
    bool isTag = false;
    std::string name;  // a tag's name, in lower case
    bool closing = false;
    std::string raw;  // a tag's text from '<' up to its '>', in lower case
    char ch = 0;      // a character of text
};

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return s;
}

bool Space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }

bool AlphaNum(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

std::vector<Piece> Pieces(const std::string& page) {
    const std::string low = Lower(page);
    std::vector<Piece> out;
    std::size_t i = 0;
    auto skipTo = [&](std::size_t from, const std::string& end) {
        const std::size_t at = low.find(end, from);
        i = at == std::string::npos ? low.size() : at + end.size();
    };
    while (i < low.size()) {
        if (low[i] == '<') {
            if (low.compare(i, 4, "<!--") == 0) {
                skipTo(i + 4, "-->");
                continue;
            }
            if (low.compare(i, 7, "<script") == 0) {
                skipTo(i + 7, "</script");
                continue;
            }
            if (low.compare(i, 6, "<style") == 0) {
                skipTo(i + 6, "</style");
                continue;
            }
            std::size_t j = i + 1;
            char q = 0;
            while (j < low.size() && (q || low[j] != '>')) {
                if (q && low[j] == q)
                    q = 0;
                else if (!q && (low[j] == '"' || low[j] == '\''))
                    q = low[j];
                ++j;
            }
            Piece p;
            p.isTag = true;
            p.raw = low.substr(i, j - i);
            std::size_t k = 1;
            if (k < p.raw.size() && p.raw[k] == '/') p.closing = true, ++k;
            while (k < p.raw.size() && AlphaNum(p.raw[k])) p.name += p.raw[k++];
            out.push_back(p);
            i = j + 1;
        } else if (low[i] == '&') {
            const char* names[] = {"&nbsp;", "&amp;", "&lt;", "&gt;", "&quot;", "&#160;"};
            const char chars[] = {' ', '&', '<', '>', '"', ' '};
            Piece p;
            p.ch = '&';
            std::size_t len = 1;
            for (int n = 0; n < 6; ++n) {
                const std::string e = names[n];
                if (low.compare(i, e.size(), e) == 0) {
                    p.ch = chars[n];
                    len = e.size();
                    break;
                }
            }
            out.push_back(p);
            i += len;
        } else {
            Piece p;
            p.ch = Space(low[i]) ? ' ' : low[i];
            out.push_back(p);
            ++i;
        }
    }
    return out;
}

int Span(const std::string& raw, const std::string& attr, int most) {
    std::size_t at = raw.find(attr);
    if (at == std::string::npos) return 1;
    at += attr.size();
    while (at < raw.size() && Space(raw[at])) ++at;
    if (at >= raw.size() || raw[at] != '=') return 1;
    ++at;
    while (at < raw.size() && (Space(raw[at]) || raw[at] == '"' || raw[at] == '\'')) ++at;
    long long v = 0;
    bool digits = false;
    while (at < raw.size() && raw[at] >= '0' && raw[at] <= '9') {
        v = v * 10 + (raw[at] - '0');
        if (v > most) v = most;
        digits = true;
        ++at;
    }
    return digits && v > 0 ? static_cast<int>(v) : 1;
}

struct MCell {
    std::string text;
    int colspan = 1;
    int rowspan = 1;
};
struct MTable {
    std::vector<std::vector<MCell>> rows;
    bool inCell = false;
};

// Every table, in the order they close.
std::vector<MTable> Tables(const std::vector<Piece>& pieces) {
    std::vector<MTable> open;
    std::vector<MTable> closed;
    auto trimCell = [&] {
        if (open.empty() || !open.back().inCell) return;
        std::string& t = open.back().rows.back().back().text;
        while (!t.empty() && t.back() == ' ') t.pop_back();
        open.back().inCell = false;
    };
    auto addChar = [&](char c) {
        if (open.empty() || !open.back().inCell) return;
        std::string& t = open.back().rows.back().back().text;
        if (c == ' ' && (t.empty() || t.back() == ' ')) return;
        t += c;
    };
    auto close = [&] {
        trimCell();
        closed.push_back(open.back());
        open.pop_back();
    };
    for (const Piece& p : pieces) {
        if (!p.isTag) {
            addChar(p.ch);
        } else if (p.name == "table") {
            if (!p.closing)
                open.emplace_back();
            else if (!open.empty())
                close();
        } else if (open.empty()) {
        } else if (p.name == "tr") {
            trimCell();
            if (!p.closing) open.back().rows.emplace_back();
        } else if (p.name == "td" || p.name == "th") {
            trimCell();
            if (p.closing) continue;
            if (open.back().rows.empty()) open.back().rows.emplace_back();
            MCell c;
            c.colspan = Span(p.raw, "colspan", 64);
            c.rowspan = Span(p.raw, "rowspan", 256);
            open.back().rows.back().push_back(c);
            open.back().inCell = true;
        } else if (!p.closing || p.name == "br" || p.name == "p" || p.name == "div") {
            addChar(' ');
        }
    }
    while (!open.empty()) close();
    return closed;
}

// -1 for no cell.
using MGrid = std::vector<std::vector<int>>;

MGrid Layout(const MTable& t, std::vector<const MCell*>& cells) {
    const std::size_t rows = t.rows.size();
    MGrid g(rows);
    for (std::size_t r = 0; r < rows; ++r) {
        std::size_t col = 0;
        for (const MCell& cell : t.rows[r]) {
            while (col < g[r].size() && g[r][col] >= 0) ++col;
            const int id = static_cast<int>(cells.size());
            cells.push_back(&cell);
            for (std::size_t rr = r; rr < rows && rr < r + static_cast<std::size_t>(cell.rowspan); ++rr)
                for (std::size_t cc = col; cc < col + static_cast<std::size_t>(cell.colspan); ++cc) {
                    if (g[rr].size() <= cc) g[rr].resize(cc + 1, -1);
                    g[rr][cc] = id;
                }
            col += static_cast<std::size_t>(cell.colspan);
        }
    }
    return g;
}

bool Counter(const std::string& text, double& value) {
    std::size_t b = 0;
    std::size_t e = text.size();
    while (b < e && (text[b] == ' ' || text[b] == '\t')) ++b;
    while (e > b && (text[e - 1] == ' ' || text[e - 1] == '\t')) --e;
    if (e == b || e - b > 16) return false;
    unsigned long long v = 0;
    for (std::size_t i = b; i < e; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        v = v * 10 + static_cast<unsigned long long>(text[i] - '0');
    }
    if (v > (1ULL << 53)) return false;
    value = static_cast<double>(v);
    return true;
}

}  // namespace

Result Read(const std::string& page, const std::string& interfaceName) {
    const std::vector<MTable> tables = Tables(Pieces(page));
    const std::string wanted = Lower(interfaceName);
    Result result;

    std::vector<std::vector<const MCell*>> cellsOf(tables.size());
    std::vector<MGrid> grids;
    std::vector<std::size_t> widths;
    std::size_t total = 0;
    for (std::size_t n = 0; n < tables.size(); ++n) {
        grids.push_back(Layout(tables[n], cellsOf[n]));
        std::size_t width = 0;
        for (const auto& row : grids.back()) width = std::max(width, row.size());
        widths.push_back(width);
        const std::size_t size = std::max<std::size_t>(grids.back().size(), 1) * std::max<std::size_t>(width, 1);
        total += size;
        if (size > kTableLimit) result.tooLarge = true;
    }
    if (total > kPageLimit) result.tooLarge = true;
    if (result.tooLarge) return result;

    for (std::size_t n = 0; n < tables.size() && !result.hasCounters; ++n) {
        const MGrid& g = grids[n];
        const auto& cells = cellsOf[n];
        auto text = [&](std::size_t r, long c) -> std::string {
            if (c < 0 || static_cast<std::size_t>(c) >= g[r].size() || g[r][static_cast<std::size_t>(c)] < 0) return "";
            return cells[static_cast<std::size_t>(g[r][static_cast<std::size_t>(c)])]->text;
        };
        // The headings of each column over the first `k` rows.
        auto headings = [&](std::size_t k) {
            std::vector<std::vector<std::string>> h(widths[n]);
            for (std::size_t c = 0; c < widths[n]; ++c) {
                int previous = -1;
                for (std::size_t r = 0; r < k; ++r) {
                    const int id = c < g[r].size() ? g[r][c] : -1;
                    if (id < 0 || id == previous) continue;
                    previous = id;
                    if (!cells[static_cast<std::size_t>(id)]->text.empty())
                        h[c].push_back(cells[static_cast<std::size_t>(id)]->text);
                }
            }
            return h;
        };
        auto has = [](const std::vector<std::string>& v, const std::string& w) {
            return std::find(v.begin(), v.end(), w) != v.end();
        };
        auto bytesUnder = [&](const std::vector<std::vector<std::string>>& h, const std::string& dir) {
            long any = -1;
            for (std::size_t c = 0; c < h.size(); ++c)
                if (!h[c].empty() && h[c].back() == "bytes" && has(h[c], dir)) {
                    if (has(h[c], "total")) return static_cast<long>(c);
                    if (any < 0) any = static_cast<long>(c);
                }
            return any;
        };
        long rx = -1;
        long tx = -1;
        std::size_t k = 0;
        std::vector<std::vector<std::string>> h;
        while (k < g.size() && (rx < 0 || tx < 0)) {
            ++k;
            h = headings(k);
            rx = bytesUnder(h, "received");
            tx = bytesUnder(h, "transmitted");
        }
        if (rx < 0 || tx < 0) continue;
        result.found = true;
        long nameCol = -1;
        long descCol = -1;
        for (std::size_t c = h.size(); c-- > 0;) {
            if (has(h[c], "interface")) nameCol = static_cast<long>(c);
            if (has(h[c], "description")) descCol = static_cast<long>(c);
        }
        double in = 0;
        double out = 0;
        int rows = 0;
        for (std::size_t r = k; r < g.size(); ++r) {
            double a = 0;
            double b = 0;
            if (!Counter(text(r, rx), a) || !Counter(text(r, tx), b)) continue;
            if (!wanted.empty() && text(r, nameCol) != wanted && text(r, descCol) != wanted) continue;
            in += a;
            out += b;
            ++rows;
        }
        if (rows > 0) {
            result.hasCounters = true;
            result.received = in;
            result.transmitted = out;
            result.rows = rows;
        }
    }
    return result;
}

}  // namespace vx::model
