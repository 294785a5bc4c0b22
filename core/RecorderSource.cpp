#include "core/RecorderSource.h"

#include <charconv>
#include <cmath>
#include <utility>
#include <vector>

#include "runtime/clock.h"
#include "runtime/errors.h"

namespace vx {

namespace {

// ---- a strict, bounded JSON reader ------------------------------------------
// Only what the recorder sends is ever looked at; the rest is read to be
// skipped. Nesting and the number of values are bounded, so no answer can
// exhaust the stack or the worker's memory.

constexpr int kMaxDepth = 8;
constexpr std::size_t kMaxValues = 20000;

struct Json {
    enum class Type { Null, Bool, Number, String, Array, Object } type = Type::Null;
    bool boolean = false;
    double number = 0;
    std::string text;
    std::vector<Json> items;         // an array's items, or an object's values
    std::vector<std::string> names;  // an object's names, one for each of its values

    const Json* field(const std::string& name) const {
        if (type != Type::Object) return nullptr;
        for (std::size_t i = 0; i < names.size(); ++i)
            if (names[i] == name) return &items[i];
        return nullptr;
    }
};

class JsonReader {
public:
    explicit JsonReader(const std::string& text) : s_(text) {}

    std::optional<Json> document() {
        Json value;
        if (!read(value, 0)) return std::nullopt;
        space();
        if (at_ != s_.size()) return std::nullopt;
        return value;
    }

private:
    void space() {
        while (at_ < s_.size() && (s_[at_] == ' ' || s_[at_] == '\t' || s_[at_] == '\n' || s_[at_] == '\r')) ++at_;
    }
    bool literal(const char* word) {
        const std::string w(word);
        if (s_.compare(at_, w.size(), w) != 0) return false;
        at_ += w.size();
        return true;
    }

    bool read(Json& v, int depth) {
        if (depth > kMaxDepth || ++values_ > kMaxValues) return false;
        space();
        if (at_ >= s_.size()) return false;
        const char c = s_[at_];
        if (c == '{') return object(v, depth);
        if (c == '[') return array(v, depth);
        if (c == '"') {
            v.type = Json::Type::String;
            return string(v.text);
        }
        if (literal("true")) {
            v.type = Json::Type::Bool;
            v.boolean = true;
            return true;
        }
        if (literal("false")) {
            v.type = Json::Type::Bool;
            return true;
        }
        if (literal("null")) return true;
        return number(v);
    }

    bool object(Json& v, int depth) {
        v.type = Json::Type::Object;
        ++at_;
        space();
        if (at_ < s_.size() && s_[at_] == '}') return ++at_, true;
        for (;;) {
            space();
            std::string name;
            if (at_ >= s_.size() || s_[at_] != '"' || !string(name)) return false;
            space();
            if (at_ >= s_.size() || s_[at_++] != ':') return false;
            Json value;
            if (!read(value, depth + 1)) return false;
            v.names.push_back(std::move(name));
            v.items.push_back(std::move(value));
            space();
            if (at_ >= s_.size()) return false;
            const char c = s_[at_++];
            if (c == '}') return true;
            if (c != ',') return false;
        }
    }

    bool array(Json& v, int depth) {
        v.type = Json::Type::Array;
        ++at_;
        space();
        if (at_ < s_.size() && s_[at_] == ']') return ++at_, true;
        for (;;) {
            Json value;
            if (!read(value, depth + 1)) return false;
            v.items.push_back(std::move(value));
            space();
            if (at_ >= s_.size()) return false;
            const char c = s_[at_++];
            if (c == ']') return true;
            if (c != ',') return false;
        }
    }

    bool string(std::string& out) {
        ++at_;  // the opening quote
        while (at_ < s_.size()) {
            const auto c = static_cast<unsigned char>(s_[at_++]);
            if (c == '"') return true;
            if (c < 0x20) return false;
            if (c != '\\') {
                out += static_cast<char>(c);
                continue;
            }
            if (at_ >= s_.size()) return false;
            switch (s_[at_++]) {
            case '"': out += '"'; break;
            case '\\': out += '\\'; break;
            case '/': out += '/'; break;
            case 'b': out += '\b'; break;
            case 'f': out += '\f'; break;
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            case 'u': {
                if (at_ + 4 > s_.size()) return false;
                unsigned code = 0;
                const auto [end, ec] = std::from_chars(s_.data() + at_, s_.data() + at_ + 4, code, 16);
                if (ec != std::errc() || end != s_.data() + at_ + 4) return false;
                at_ += 4;
                // Only what the recorder escapes itself (control characters)
                // is kept; anything else is a stand-in, never invalid text.
                out += code < 0x80 ? static_cast<char>(code) : '?';
                break;
            }
            default: return false;
            }
        }
        return false;
    }

    bool number(Json& v) {
        // JSON's own grammar: no "+", no leading zeros, no hex, no "NaN".
        const std::size_t start = at_;
        if (at_ < s_.size() && s_[at_] == '-') ++at_;
        if (at_ >= s_.size() || !Digit(s_[at_])) return false;
        if (s_[at_] == '0' && at_ + 1 < s_.size() && Digit(s_[at_ + 1])) return false;
        while (at_ < s_.size() && Digit(s_[at_])) ++at_;
        if (at_ < s_.size() && s_[at_] == '.') {
            ++at_;
            if (at_ >= s_.size() || !Digit(s_[at_])) return false;
            while (at_ < s_.size() && Digit(s_[at_])) ++at_;
        }
        if (at_ < s_.size() && (s_[at_] == 'e' || s_[at_] == 'E')) {
            ++at_;
            if (at_ < s_.size() && (s_[at_] == '+' || s_[at_] == '-')) ++at_;
            if (at_ >= s_.size() || !Digit(s_[at_])) return false;
            while (at_ < s_.size() && Digit(s_[at_])) ++at_;
        }
        // from_chars is not swayed by the locale's decimal mark.
        const auto [end, ec] = std::from_chars(s_.data() + start, s_.data() + at_, v.number);
        if (ec != std::errc() || end != s_.data() + at_ || !std::isfinite(v.number)) return false;
        v.type = Json::Type::Number;
        return true;
    }

    static bool Digit(char c) { return c >= '0' && c <= '9'; }

    const std::string& s_;
    std::size_t at_ = 0;
    std::size_t values_ = 0;
};

// ---- what the answer must hold ----------------------------------------------

// No count of bytes beyond what a double holds exactly, and no rate beyond
// what any home line carries.
constexpr double kMaxBytes = 9007199254740992.0;
constexpr double kMaxRate = kMaxLineBits / 8;
constexpr std::size_t kMaxBars = 62;

std::optional<double> Count(const Json* v, double max) {
    if (!v || v->type != Json::Type::Number || v->number < 0 || v->number > max) return std::nullopt;
    return v->number;
}

std::optional<ByteCounts> Bytes(const Json* v, double max) {
    if (!v || v->type != Json::Type::Object) return std::nullopt;
    const std::optional<double> in = Count(v->field("in"), max);
    const std::optional<double> out = Count(v->field("out"), max);
    if (!in || !out) return std::nullopt;
    return ByteCounts{*in, *out};
}

std::optional<std::int64_t> Time(const Json* v) {
    // Seconds since 1970, up to the year 9999.
    const std::optional<double> t = Count(v, 253402300799.0);
    if (!t || std::floor(*t) != *t) return std::nullopt;
    return static_cast<std::int64_t>(*t);
}

std::optional<std::vector<HistoryBar>> Bars(const Json* v) {
    if (!v || v->type != Json::Type::Array || v->items.size() > kMaxBars) return std::nullopt;
    std::vector<HistoryBar> bars;
    for (const Json& item : v->items) {
        const std::optional<std::int64_t> start = Time(item.field("start"));
        const std::optional<ByteCounts> bytes = Bytes(&item, kMaxBytes);
        if (!start || !bytes) return std::nullopt;
        bars.push_back(HistoryBar{*start, *bytes});
    }
    return bars;
}

// The history's part: all there or none of it.
std::optional<HistorySummary> Summary(const Json& j) {
    const Json* month = j.field("month");
    if (!month || month->type == Json::Type::Null) return std::nullopt;
    HistorySummary s;
    const std::optional<ByteCounts> today = Bytes(j.field("today"), kMaxBytes);
    const std::optional<ByteCounts> yesterday = Bytes(j.field("yesterday"), kMaxBytes);
    const std::optional<ByteCounts> thisMonth = Bytes(month, kMaxBytes);
    const std::optional<ByteCounts> lastMonth = Bytes(j.field("lastMonth"), kMaxBytes);
    const std::optional<std::int64_t> monthStart = Time(month->field("start"));
    std::optional<std::vector<HistoryBar>> hours = Bars(j.field("hours"));
    // Days came later to the answer: a recorder without them shows none.
    const Json* daysField = j.field("days");
    std::optional<std::vector<HistoryBar>> days =
        daysField ? Bars(daysField) : std::optional<std::vector<HistoryBar>>(std::vector<HistoryBar>{});
    if (!today || !yesterday || !thisMonth || !lastMonth || !monthStart || !hours || !days) return std::nullopt;
    s.today = *today;
    s.yesterday = *yesterday;
    s.thisMonth = *thisMonth;
    s.lastMonth = *lastMonth;
    s.monthStart = *monthStart;
    s.hours = std::move(*hours);
    s.days = std::move(*days);
    if (const Json* quota = j.field("quota"); quota && quota->type != Json::Type::Null) {
        const std::optional<double> bytes = Count(quota->field("bytes"), kLargestQuota);
        if (!bytes) return std::nullopt;
        if (*bytes > 0) s.quota = *bytes;
    }
    return s;
}

std::optional<RecorderNow> ReadNow(const Json& j) {
    if (j.type != Json::Type::Object) return std::nullopt;
    RecorderNow now;
    const std::optional<double> tick = Count(j.field("tick"), kMaxBytes);
    const Json* up = j.field("up");
    const Json* status = j.field("status");
    const std::optional<ByteCounts> totals = Bytes(j.field("totals"), kMaxBytes);
    if (!tick || std::floor(*tick) != *tick || !up || up->type != Json::Type::Bool || !status ||
        status->type != Json::Type::String || status->text.size() > 200 || !totals)
        return std::nullopt;
    now.tick = static_cast<std::uint64_t>(*tick);
    now.up = up->boolean;
    now.status = status->text;
    now.totals = *totals;
    if (const Json* rates = j.field("rates"); rates && rates->type != Json::Type::Null) {
        now.rates = Bytes(rates, kMaxRate);
        if (!now.rates) return std::nullopt;
    }
    // The scales the recorder's bars use; a recorder without them is read
    // with the ends its line speed names.
    const std::optional<ByteCounts> line = Bytes(j.field("lineSpeed"), kMaxRate);
    if (!line || line->in < 1 || line->out < 1) return std::nullopt;
    now.scales.incomingMax = static_cast<float>(line->in);
    now.scales.outgoingMax = static_cast<float>(line->out);
    if (const Json* megabytes = j.field("megabytes"); megabytes && megabytes->type == Json::Type::Bool)
        now.scales.megabytes = megabytes->boolean;
    if (const Json* level = j.field("level")) {
        const std::optional<double> l = Count(level, 7);
        if (!l || std::floor(*l) != *l) return std::nullopt;
        now.level = static_cast<int>(*l);
    } else if (now.rates) {
        now.level = std::clamp(static_cast<int>(std::floor(std::min(now.rates->in, line->in) / line->in * 8)), 0, 7);
    }
    // A recorder without a history says so with a null month; one with a
    // history that does not read is no answer at all.
    now.summary = Summary(j);
    if (const Json* month = j.field("month"); !now.summary && month && month->type != Json::Type::Null)
        return std::nullopt;
    return now;
}

}  // namespace

bool NamesRecorder(const std::string& address) { return address.rfind("vxstat://", 0) == 0; }

std::optional<std::string> RecorderAddress(const std::string& address) {
    if (!NamesRecorder(address)) return std::nullopt;
    std::string rest = address.substr(9);
    if (!rest.empty() && rest.back() == '/') rest.pop_back();
    if (rest.empty()) return std::nullopt;
    std::string host = rest, port;
    if (rest.front() == '[') {
        const std::size_t close = rest.find(']');
        if (close == std::string::npos) return std::nullopt;
        host = rest.substr(0, close + 1);
        const std::string after = rest.substr(close + 1);
        if (!after.empty() && after.front() != ':') return std::nullopt;
        if (!after.empty()) port = after.substr(1);
        if (host.find_first_not_of("[]0123456789abcdefABCDEF:.") != std::string::npos) return std::nullopt;
    } else {
        const std::size_t colon = rest.find(':');
        if (colon != std::string::npos) {
            host = rest.substr(0, colon);
            port = rest.substr(colon + 1);
            if (port.empty()) return std::nullopt;
        }
        // A name or an address: nothing that could change what the URL means.
        if (host.empty() ||
            host.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789.-") !=
                std::string::npos)
            return std::nullopt;
    }
    if (port.empty()) return host + ":" + std::to_string(kRecorderPort);
    int number = 0;
    const auto [end, ec] = std::from_chars(port.data(), port.data() + port.size(), number);
    if (ec != std::errc() || end != port.data() + port.size() || number < 1 || number > 65535) return std::nullopt;
    return host + ":" + std::to_string(number);
}

RecorderAnswer ReadRecorderAnswer(long status, const std::string& body) {
    RecorderAnswer answer;
    if (status == 401) {
        answer.refused = true;
        return answer;
    }
    if (status != 200) return answer;
    if (std::optional<Json> j = JsonReader(body).document()) answer.now = ReadNow(*j);
    return answer;
}

std::string RecorderRefusedText(const std::string& hostPort) {
    return "The vxstat recorder at " + hostPort +
           " refused the token.\n\nType the recorder's token (Token= in its boot.ini) in the Password box of "
           "Router Details, or leave it empty where the recorder asks for none.";
}

RecorderSource::RecorderSource(std::string hostPort, std::string token)
    : hostPort_(std::move(hostPort)),
      url_("http://" + hostPort_ + "/api/v1/now"),
      // A token never holds a line break; one typed with one is sent as none
      // and the recorder's refusal says what to do.
      header_(token.empty() || token.find_first_of("\r\n") != std::string::npos ? std::string()
                                                                                : "Authorization: Bearer " + token),
      digest_([](const platform::UrlResponse& response) -> std::any {
          return ReadRecorderAnswer(response.status, response.body);
      }) {}

std::optional<Reading> RecorderSource::poll() {
    // As the statistics page's: what the last request brought, then the next.
    std::optional<platform::FetchOutcome> outcome = fetch_->take();
    fetch_->start(url_, digest_, header_);
    if (!outcome) outcome = fetch_->take();
    if (!outcome) return std::nullopt;
    // No answer is no reading: the recorder may be starting or asleep, and
    // the caption says so after a few ticks, without a box.
    if (!outcome->response) return std::nullopt;
    const auto* answer = std::any_cast<RecorderAnswer>(&outcome->digest);
    if (!answer) return std::nullopt;
    if (answer->refused) {
        if (!refusalTold_) tell(Problem::Kind::WrongDetails, RecorderRefusedText(hostPort_));
        refusalTold_ = true;
        return std::nullopt;
    }
    if (!answer->now) return std::nullopt;
    refusalTold_ = false;
    answered_ = true;
    answer_ = answer->now;
    return Reading{answer_->totals.in, answer_->totals.out, MonotonicSeconds(), std::nullopt};
}

}  // namespace vx
