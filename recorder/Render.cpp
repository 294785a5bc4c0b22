#include "recorder/Render.h"

#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

#include "history/Calendar.h"
#include "history/HistoryStore.h"

namespace vx::recorder {

namespace {

std::string Number(double value, int decimals = 0) {
    if (!std::isfinite(value)) return "NaN";
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

// Prometheus label values: backslash, double quote and line feed escaped.
std::string LabelValue(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '"')
            out += "\\\"";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '"')
            out += "\\\"";
        else if (c == '\\')
            out += "\\\\";
        else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else
            out += ch;
    }
    return out + "\"";
}

std::string JsonBytes(const ByteCounts& bytes, int decimals = 0) {
    return "{\"in\":" + Number(bytes.in, decimals) + ",\"out\":" + Number(bytes.out, decimals) + "}";
}

std::string JsonBars(const std::vector<HistoryBar>& bars) {
    std::string j = "[";
    for (std::size_t i = 0; i < bars.size(); ++i)
        j += (i ? "," : "") + std::string("{\"start\":") + std::to_string(bars[i].start) +
             ",\"in\":" + Number(bars[i].bytes.in) + ",\"out\":" + Number(bars[i].bytes.out) + "}";
    return j + "]";
}

class Exposition {
public:
    explicit Exposition(const Snapshot& s)
        : labels_("router=\"" + LabelValue(s.router) + "\",source=\"" + LabelValue(s.source) + "\"") {}

    void family(const char* name, const char* type, const char* help) {
        text_ += std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " " + type + "\n";
    }
    void sample(const char* name, double value, const std::string& extra = {}, int decimals = 0) {
        text_ += std::string(name) + "{" + labels_ + (extra.empty() ? "" : "," + extra) + "} " +
                 Number(value, decimals) + "\n";
    }
    std::string text() const { return text_; }

private:
    std::string labels_;
    std::string text_;
};

}  // namespace

std::string MetricsText(const Snapshot& s) {
    Exposition e(s);
    e.family("vxstat_received_bytes_total", "counter",
             "Bytes the router received on its WAN side, counted across router restarts and counter wraps.");
    e.sample("vxstat_received_bytes_total", s.totals.in);
    e.family("vxstat_sent_bytes_total", "counter",
             "Bytes the router sent on its WAN side, counted across router restarts and counter wraps.");
    e.sample("vxstat_sent_bytes_total", s.totals.out);
    const ByteCounts rates = s.rates.value_or(ByteCounts{});
    e.family("vxstat_receive_rate_bytes", "gauge", "Bytes a second received over the last counted reading.");
    e.sample("vxstat_receive_rate_bytes", rates.in, {}, 1);
    e.family("vxstat_send_rate_bytes", "gauge", "Bytes a second sent over the last counted reading.");
    e.sample("vxstat_send_rate_bytes", rates.out, {}, 1);
    e.family("vxstat_line_speed_bytes", "gauge",
             "Bytes a second the line carries: the router's, the speed setting's, or the default scale.");
    e.sample("vxstat_line_speed_bytes", s.lineSpeed.in, "direction=\"receive\"");
    e.sample("vxstat_line_speed_bytes", s.lineSpeed.out, "direction=\"send\"");
    e.family("vxstat_up", "gauge", "1 while the router answers, 0 after a few ticks without a reading.");
    e.sample("vxstat_up", s.up ? 1 : 0);
    e.family("vxstat_last_reading_age_seconds", "gauge", "Seconds since the last reading; NaN before the first.");
    e.sample("vxstat_last_reading_age_seconds", s.lastReading ? s.monotonic - *s.lastReading : NAN, {}, 1);
    e.family("vxstat_wraps_total", "counter", "Readings where a 32-bit counter of the router wrapped.");
    e.sample("vxstat_wraps_total", static_cast<double>(s.wraps));
    e.family("vxstat_router_restarts_total", "counter", "Readings where the router's counters started again.");
    e.sample("vxstat_router_restarts_total", static_cast<double>(s.restarts));
    e.family("vxstat_rejected_readings_total", "counter",
             "Readings not counted: more than the line can carry, or a stuck counter.");
    e.sample("vxstat_rejected_readings_total", static_cast<double>(s.impossible), "reason=\"impossible\"");
    e.sample("vxstat_rejected_readings_total", static_cast<double>(s.stuck), "reason=\"stuck\"");
    e.family("vxstat_failed_readings_total", "counter", "Ticks that brought no reading from the router.");
    e.sample("vxstat_failed_readings_total", static_cast<double>(s.missed));
    if (s.summary) {
        const HistorySummary& h = *s.summary;
        e.family("vxstat_billing_month_bytes", "gauge", "Bytes moved this billing month, from MonthStart on.");
        e.sample("vxstat_billing_month_bytes", h.thisMonth.in, "direction=\"receive\"");
        e.sample("vxstat_billing_month_bytes", h.thisMonth.out, "direction=\"send\"");
        e.family("vxstat_billing_month_start_timestamp_seconds", "gauge", "When this billing month began.");
        e.sample("vxstat_billing_month_start_timestamp_seconds", static_cast<double>(h.monthStart));
        if (h.quota && *h.quota > 0) {
            e.family("vxstat_quota_bytes", "gauge", "Bytes a billing month may use (Quota in boot.ini).");
            e.sample("vxstat_quota_bytes", *h.quota);
            e.family("vxstat_quota_used_ratio", "gauge", "This billing month's bytes over the quota.");
            e.sample("vxstat_quota_used_ratio", (h.thisMonth.in + h.thisMonth.out) / *h.quota, {}, 6);
        }
    }
    return e.text();
}

std::string NowJson(const Snapshot& s) {
    std::string j = "{\"router\":" + JsonString(s.router) + ",\"source\":" + JsonString(s.source);
    j += ",\"time\":" + std::to_string(s.utc) + ",\"tick\":" + std::to_string(s.ticks);
    j += ",\"up\":" + std::string(s.up ? "true" : "false") + ",\"status\":" + JsonString(s.status);
    j += ",\"rates\":" + (s.rates ? JsonBytes(*s.rates, 1) : std::string("null"));
    j += ",\"totals\":" + JsonBytes(s.totals);
    j += ",\"lineSpeed\":" + JsonBytes(s.lineSpeed);
    // What a desktop reading this shows as its own: the bars' figures and the tray's level.
    j += ",\"megabytes\":" + std::string(s.megabytes ? "true" : "false") + ",\"level\":" + std::to_string(s.level);
    j += ",\"lastReadingAge\":" + (s.lastReading ? Number(s.monotonic - *s.lastReading, 1) : std::string("null"));
    if (s.summary) {
        const HistorySummary& h = *s.summary;
        j += ",\"today\":" + JsonBytes(h.today) + ",\"yesterday\":" + JsonBytes(h.yesterday);
        j += ",\"month\":{\"start\":" + std::to_string(h.monthStart) + ",\"in\":" + Number(h.thisMonth.in) +
             ",\"out\":" + Number(h.thisMonth.out) + "}";
        j += ",\"lastMonth\":" + JsonBytes(h.lastMonth);
        if (h.quota && *h.quota > 0)
            j += ",\"quota\":{\"bytes\":" + Number(*h.quota) +
                 ",\"used\":" + Number((h.thisMonth.in + h.thisMonth.out) / *h.quota, 6) + "}";
        else
            j += ",\"quota\":null";
        j += ",\"hours\":" + JsonBars(h.hours) + ",\"days\":" + JsonBars(h.days);
    } else {
        j += ",\"today\":null,\"month\":null,\"quota\":null,\"hours\":[],\"days\":[]";
    }
    return j + "}";
}

std::optional<std::string> HistoryJson(const std::string& view, const std::string& historyFile, std::int64_t now,
                                       int monthStartDay, std::optional<double> quota, int& status) {
    if (view != "hours" && view != "days" && view != "months") return std::nullopt;
    status = 200;
    std::string error;
    const std::unique_ptr<HistoryReader> reader = HistoryReader::Open(historyFile, error);
    if (!reader) {
        status = 500;
        return "{\"error\":" + JsonString("cannot read the history: " + error) + "}";
    }
    std::string j = "{\"view\":" + JsonString(view) + ",\"routers\":[";
    bool first = true;
    for (const StoredRouter& router : reader->routers()) {
        const std::unique_ptr<HistoryStore> history = reader->history(router);
        const HistorySummary summary = history->summary(now, monthStartDay, quota);
        const std::vector<HistoryBar> bars = view == "days"    ? summary.days
                                             : view == "hours" ? summary.hours
                                                               : history->months(now, monthStartDay);
        j += (first ? "" : ",") + std::string("{\"router\":") + JsonString(router.key.address) +
             ",\"source\":" + JsonString(router.key.source) + ",\"bars\":[";
        first = false;
        for (std::size_t i = 0; i < bars.size(); ++i) {
            // The label `vxstat --history` prints beside the bytes.
            const std::string label =
                view == "hours" ? LocalHourText(bars[i].start) : DateText(LocalDateOf(bars[i].start));
            j += (i ? "," : "") + std::string("{\"start\":") + std::to_string(bars[i].start) +
                 ",\"label\":" + JsonString(label) + ",\"in\":" + Number(bars[i].bytes.in) +
                 ",\"out\":" + Number(bars[i].bytes.out) + ",\"recovered\":" + JsonBytes(bars[i].recovered) + "}";
        }
        j += "],\"month\":{\"start\":" + std::to_string(summary.monthStart) +
             ",\"in\":" + Number(summary.thisMonth.in) + ",\"out\":" + Number(summary.thisMonth.out) +
             ",\"recovered\":" + JsonBytes(summary.thisMonthRecovered) +
             "},\"lastMonth\":" + JsonBytes(summary.lastMonth) +
             ",\"quota\":" + (summary.quota ? Number(*summary.quota) : std::string("null")) + "}";
    }
    return j + "]}";
}

}  // namespace vx::recorder
