#include "history/HistoryCommand.h"

#include <algorithm>
#include <cstdio>
#include <optional>

#include "history/Calendar.h"
#include "history/HistoryStore.h"
#include "platform/app.h"
#include "traffic/modFunctions.h"

namespace vx {

namespace {

const char* const kUsage =
    "usage: vxstat --history [days|hours|months] [--csv]\n"
    "  days    the last 30 days (the default)\n"
    "  hours   the last 24 hours\n"
    "  months  every billing month\n"
    "  --csv   comma-separated, with plain byte counts\n";

enum class View { Days, Hours, Months };

struct Options {
    View view = View::Days;
    bool csv = false;
};

std::optional<Options> Parse(const std::vector<std::string>& args) {
    Options o;
    bool history = false, viewGiven = false;
    for (const std::string& a : args) {
        if (a == "--history" && !history) {
            history = true;
        } else if (a == "--csv" && !o.csv) {
            o.csv = true;
        } else if ((a == "days" || a == "hours" || a == "months") && !viewGiven) {
            viewGiven = true;
            o.view = a == "days" ? View::Days : a == "hours" ? View::Hours : View::Months;
        } else {
            return std::nullopt;
        }
    }
    if (!history) return std::nullopt;
    return o;
}

// Appends to a text as a stream would, without the stream machinery (which
// would double the size of the Windows program).
struct Out {
    std::string& text;
    Out& operator<<(const std::string& s) {
        text += s;
        return *this;
    }
    Out& operator<<(const char* s) {
        text += s;
        return *this;
    }
    Out& operator<<(char c) {
        text += c;
        return *this;
    }
};

std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

std::string Count(double bytes) {
    char text[48];
    std::snprintf(text, sizeof text, "%.0f", bytes);
    return text;
}

std::string Label(View view, std::int64_t start) {
    if (view == View::Hours) return LocalHourText(start);
    const LocalDate date = LocalDateOf(start);
    return DateText(date);
}

std::string Cell(const std::string& text, std::size_t width) {
    return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}

std::string Percent(double used, double quota) {
    char text[48];
    std::snprintf(text, sizeof text, "%.0f %%", used * 100 / quota);
    return text;
}

}  // namespace

bool IsHistoryCommand(const std::vector<std::string>& args) {
    return std::any_of(args.begin(), args.end(), [](const std::string& a) { return a == "--history" || a == "--csv"; });
}

int RunHistoryCommand(const std::vector<std::string>& args, const std::string& historyFile,
                      const std::string& settingsFile, std::int64_t now, std::string& outText, std::string& errText) {
    Out out{outText}, err{errText};
    const std::optional<Options> options = Parse(args);
    if (!options) {
        err << kUsage;
        return 2;
    }
    const int monthStartDay = MonthStartDay(ReadIniValue("Settings", "MonthStart", settingsFile));
    const std::optional<double> quota = ParseQuota(ReadIniValue("Settings", "Quota", settingsFile));
    const char* const column = options->view == View::Hours ? "hour" : options->view == View::Days ? "day" : "month";
    const std::string csvHeader =
        std::string("router,source,") + column + ",in_bytes,out_bytes,recovered_in_bytes,recovered_out_bytes\n";

    std::string error;
    const std::unique_ptr<HistoryReader> reader = HistoryReader::Open(historyFile, error);
    std::vector<StoredRouter> routers;
    if (reader) routers = reader->routers();
    if (routers.empty()) {
        if (!reader && platform::FileExists(historyFile)) {
            err << "vxstat: cannot read the history in " << historyFile << ": " << error << "\n";
            return 1;
        }
        // Nothing counted yet is no failure: scripts get the header alone.
        if (options->csv) {
            out << csvHeader;
            err << "vxstat: no traffic history yet (" << historyFile << ")\n";
        } else {
            out << "No traffic history yet: vxstat keeps it in " << historyFile << " while it monitors.\n";
        }
        return 0;
    }

    if (options->csv) out << csvHeader;
    bool first = true;
    for (const StoredRouter& router : routers) {
        const std::unique_ptr<HistoryStore> history = reader->history(router);
        const HistorySummary summary = history->summary(now, monthStartDay, quota);
        const std::vector<HistoryBar> bars = options->view == View::Days    ? summary.days
                                             : options->view == View::Hours ? summary.hours
                                                                            : history->months(now, monthStartDay);
        if (options->csv) {
            for (const HistoryBar& bar : bars)
                out << CsvField(router.key.address) << ',' << CsvField(router.key.source) << ','
                    << Label(options->view, bar.start) << ',' << Count(bar.bytes.in) << ',' << Count(bar.bytes.out)
                    << ',' << Count(bar.recovered.in) << ',' << Count(bar.recovered.out) << '\n';
            continue;
        }
        if (!first) out << '\n';
        first = false;
        out << "Traffic of " << router.key.address << " (" << router.key.source << ")\n";
        const std::size_t labelWidth = options->view == View::Hours ? 16 : 10;
        std::string heading = options->view == View::Hours ? "Hour" : options->view == View::Days ? "Day" : "Month";
        heading.resize(labelWidth, ' ');
        // Bytes the router counted while vxstat was not running get a column
        // of their own, where there are any.
        const bool recovered = std::any_of(bars.begin(), bars.end(), [](const HistoryBar& bar) {
            return bar.recovered.in > 0 || bar.recovered.out > 0;
        });
        out << heading << Cell("In", 14) << Cell("Out", 14) << Cell("Total", 14);
        if (recovered) out << Cell("Recovered", 14);
        out << '\n';
        for (const HistoryBar& bar : bars) {
            out << Label(options->view, bar.start) << Cell(BytesText(bar.bytes.in), 14)
                << Cell(BytesText(bar.bytes.out), 14) << Cell(BytesText(bar.bytes.in + bar.bytes.out), 14);
            if (recovered) out << Cell(BytesText(bar.recovered.in + bar.recovered.out), 14);
            out << '\n';
        }
        const double used = summary.thisMonth.in + summary.thisMonth.out;
        out << "This month, from " << DateText(LocalDateOf(summary.monthStart)) << ": " << BytesText(used);
        if (summary.quota) out << " of " << BytesText(*summary.quota) << " (" << Percent(used, *summary.quota) << ")";
        out << "\nLast month: " << BytesText(summary.lastMonth.in + summary.lastMonth.out) << '\n';
        if (const double month = summary.thisMonthRecovered.in + summary.thisMonthRecovered.out; month > 0)
            out << "Recovered this month (counted by the router while vxstat was not running): " << BytesText(month)
                << '\n';
        if (summary.beforeHistory.in > 0 || summary.beforeHistory.out > 0)
            out << "Before the history: " << BytesText(summary.beforeHistory.in) << " in, "
                << BytesText(summary.beforeHistory.out) << " out\n";
    }
    return 0;
}

}  // namespace vx
