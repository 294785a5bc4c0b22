#include "historyview/frmHistory.h"

#include <cstdio>
#include <ctime>

#include "history/Calendar.h"
#include "core/QuotaWatch.h"

namespace vx {

using platform::Twips;

namespace {

constexpr int kRedrawMs = 60 * 1000;
constexpr int kChartLeft = 120, kChartWidth = 7560, kChartHeight = 2490;
constexpr int kHoursTop = 2130, kDaysTop = 5010;
constexpr std::array<const char*, 4> kPeriods{"Today", "Yesterday", "This month", "Last month"};
constexpr std::array<const char*, 3> kColumns{"In", "Out", "Total"};
constexpr int kColumnLeft = 1980, kColumnWidth = 1860, kRowTop = 390, kRowHeight = 270;
const char* const kNoFigure = "--";

std::string RowName(std::size_t row, std::size_t column) {
    return std::string("lbl") + kPeriods[row] + kColumns[column];
}

std::vector<ChartBar> Bars(const std::vector<HistoryBar>& periods, const char* format, bool hour) {
    std::vector<ChartBar> bars;
    bars.reserve(periods.size());
    for (const HistoryBar& p : periods) {
        const std::tm local = LocalTm(p.start);
        char text[8];
        std::snprintf(text, sizeof text, format, hour ? local.tm_hour : local.tm_mday);
        bars.push_back({p.bytes.in, p.bytes.out, text});
    }
    return bars;
}

// The drawing for a chart control, laid out in its size in logical pixels.
platform::Drawing ChartFor(const platform::Chart& chart, const std::vector<ChartBar>& bars) {
    constexpr double kTwips = platform::kTwipsPerPixel;
    return DrawBarChart(bars, chart.rect().width / kTwips, chart.rect().height / kTwips);
}

}  // namespace

std::vector<ChartBar> HourBars(const std::vector<HistoryBar>& hours) { return Bars(hours, "%02d", true); }
std::vector<ChartBar> DayBars(const std::vector<HistoryBar>& days) { return Bars(days, "%d", false); }

// The window with its controls in their order, and the ones the form keeps.
struct frmHistory::Built {
    Built() {
        w->centred = true;
        const platform::Font heading{"MS Sans Serif", 8.25, true};
        for (std::size_t c = 0; c < kColumns.size(); ++c)
            w->addLabel(std::string("lblHead") + kColumns[c],
                        Twips{kColumnLeft + static_cast<int>(c) * kColumnWidth, 120, kColumnWidth - 60, 240},
                        kColumns[c])
                .setFont(heading);
        for (std::size_t r = 0; r < kPeriods.size(); ++r) {
            const int top = kRowTop + static_cast<int>(r) * kRowHeight;
            w->addLabel(std::string("lblPeriod") + std::to_string(r), Twips{120, top, 1800, 240}, kPeriods[r]);
            std::array<platform::Label*, 3> row{};
            for (std::size_t c = 0; c < kColumns.size(); ++c)
                row[c] = &w->addLabel(
                    RowName(r, c), Twips{kColumnLeft + static_cast<int>(c) * kColumnWidth, top, kColumnWidth - 60, 240},
                    kNoFigure);
            rows[r] = Row{row[0], row[1], row[2]};
        }
        lblQuota = &w->addLabel("lblQuota", Twips{120, 1530, 7560, 240}, "");
        w->addLabel("lblHours", Twips{kChartLeft, 1860, 3000, 240}, "Last 24 hours").setFont(heading);
        chartHours = &w->addChart("chartHours", Twips{kChartLeft, kHoursTop, kChartWidth, kChartHeight});
        w->addLabel("lblDays", Twips{kChartLeft, 4740, 3000, 240}, "Last 30 days").setFont(heading);
        chartDays = &w->addChart("chartDays", Twips{kChartLeft, kDaysTop, kChartWidth, kChartHeight});
        // Two lines: all four periods may have some.
        lblRecovered = &w->addLabel("lblRecovered", Twips{120, 7560, 7560, 480}, "");
        lblRecovered->setVisible(false);
        timer = &w->addTimer("Timer", kRedrawMs);
    }
    std::unique_ptr<platform::Window> w = std::make_unique<platform::Window>("frmHistory", "Traffic History", 7800,
                                                                             8100, platform::BorderStyle::FixedSingle);
    std::array<Row, 4> rows{};
    platform::Label* lblQuota = nullptr;
    platform::Label* lblRecovered = nullptr;
    platform::Chart* chartHours = nullptr;
    platform::Chart* chartDays = nullptr;
    platform::Timer* timer = nullptr;
};

frmHistory::frmHistory(SummaryProvider provider) : frmHistory(Built{}, std::move(provider)) {}

frmHistory::frmHistory(Built&& b, SummaryProvider provider)
    : Form(std::move(b.w)),
      rows(b.rows),
      lblQuota(*b.lblQuota),
      lblRecovered(*b.lblRecovered),
      chartHours(*b.chartHours),
      chartDays(*b.chartDays),
      Timer(*b.timer),
      provider_(std::move(provider)) {
    Timer.setEnabled(false);  // ticks from the end of the load on
    Timer.onTimer = [this] { Refresh(); };
    window().onCloseRequest = [] { Default<frmHistory>::Unload(vbFormControlMenu); };
}

void frmHistory::Form_Load() {
    Refresh();
    Timer.setEnabled(true);
}

void frmHistory::Form_Unload(int& /*cancel*/) { Timer.setEnabled(false); }

void frmHistory::Refresh() {
    const std::optional<HistorySummary> summary = provider_ ? provider_() : std::nullopt;
    if (!summary) {
        for (const Row& row : rows)
            for (platform::Label* label : {row.in, row.out, row.total}) label->setCaption(kNoFigure);
        lblQuota.setCaption("No history is kept: the history file could not be opened.");
        lblQuota.setVisible(true);
        lblRecovered.setVisible(false);
        chartHours.setDrawing(ChartFor(chartHours, {}));
        chartDays.setDrawing(ChartFor(chartDays, {}));
        return;
    }
    const std::array<const ByteCounts*, 4> periods{&summary->today, &summary->yesterday, &summary->thisMonth,
                                                   &summary->lastMonth};
    for (std::size_t r = 0; r < rows.size(); ++r) {
        rows[r].in->setCaption(BytesText(periods[r]->in));
        rows[r].out->setCaption(BytesText(periods[r]->out));
        rows[r].total->setCaption(BytesText(periods[r]->in + periods[r]->out));
    }
    lblQuota.setCaption(QuotaText(*summary));
    lblQuota.setVisible(summary->quota.has_value());
    const std::string recovered = RecoveredText(*summary);
    lblRecovered.setCaption(recovered);
    lblRecovered.setVisible(!recovered.empty());
    chartHours.setDrawing(ChartFor(chartHours, HourBars(summary->hours)));
    chartDays.setDrawing(ChartFor(chartDays, DayBars(summary->days)));
}

std::string RecoveredText(const HistorySummary& summary) {
    const std::array<const ByteCounts*, 4> recovered{&summary.todayRecovered, &summary.yesterdayRecovered,
                                                     &summary.thisMonthRecovered, &summary.lastMonthRecovered};
    std::string text;
    for (std::size_t r = 0; r < recovered.size(); ++r) {
        const double bytes = recovered[r]->in + recovered[r]->out;
        if (!(bytes > 0)) continue;
        std::string period = kPeriods[r];
        period[0] = static_cast<char>(period[0] - 'A' + 'a');
        text += (text.empty() ? "Counted while vxstat was not running: " : ", ") + BytesText(bytes) + " " + period;
    }
    return text;
}

void ShowHistory(const SummaryProvider& provider) {
    frmHistory& form = Default<frmHistory>::Get(provider);
    form.Show();
    form.window().zOrder();
}

}  // namespace vx
