// "Traffic History" over the fake backend: how it is reached, what it shows,
// its redraw only while open; and the quota in the tray, whose notices come
// once per billing month, also across restarts.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <map>

#include "dialogs/StartUp.h"
#include "core/QuotaWatch.h"
#include "historyview/frmHistory.h"
#include "runtime/clock.h"
#include "tests/support/drawing.h"
#include "tests/support/history_testing.h"
#include "tests/support/program.h"

namespace vx {
namespace {

using namespace testing_drawing;
constexpr std::int64_t kMidnight = 1796688000;  // 2026-12-08 00:00 UTC, a Tuesday

// A history in memory: it answers with `next` and remembers notices.
class MemoryHistory : public History {
public:
    void add(std::int64_t, const ByteCounts&) override {}
    bool flush(std::string&) override { return true; }
    bool flushDue(std::int64_t) const override { return false; }
    void keepBeforeHistory(const ByteCounts&) override {}
    HistorySummary summary(std::int64_t, int, std::optional<double> quota) const override {
        ++summaries;
        HistorySummary s = next;
        s.quota = quota;
        return s;
    }
    int quotaNoticeShown(std::int64_t monthStart) const override {
        const auto it = notices.find(monthStart);
        return it == notices.end() ? 0 : it->second;
    }
    void setQuotaNoticeShown(std::int64_t monthStart, int percent) override { notices[monthStart] = percent; }

    HistorySummary next;
    mutable int summaries = 0;
    std::map<std::int64_t, int> notices;
};

// Days and hours in UTC for the labels' sake.
class InUtc : public test::ZoneForTest {
public:
    InUtc() : test::ZoneForTest("UTC0") {}
};

HistorySummary SampleSummary() {
    HistorySummary s;
    s.today = {1.5 * GB, 250 * MB};
    s.yesterday = {512 * KB, 0};
    s.thisMonth = {100 * GB, 25 * GB};
    s.lastMonth = {0, 0};
    s.monthStart = kMidnight - 7 * 86400;
    for (int h = 0; h < 24; ++h) s.hours.push_back({kMidnight + h * 3600, {h * 10 * MB, h * MB}});
    for (int d = 0; d < 30; ++d) s.days.push_back({kMidnight - (29 - d) * 86400, {d * GB, 0}});
    return s;
}

std::size_t BarCount(const platform::Drawing& d, const platform::Rgb& colour) {
    std::size_t n = 0;
    for (const auto& r : d.rects) n += r.fill == colour && r.y > 12;  // below the legend
    return n;
}

class HistoryWindow : public test::ProgramTest {
protected:
    frmHistory& Open() {
        ShowHistory([this]() -> std::optional<HistorySummary> {
            ++asked;
            return summary;
        });
        return *Default<frmHistory>::Peek();
    }
    std::optional<HistorySummary> summary = SampleSummary();
    int asked = 0;
    InUtc utc;
};

TEST_F(HistoryWindow, ShowsThePeriodsTheQuotaAndBothCharts) {
    summary->quota = 500 * GB;
    frmHistory& w = Open();
    EXPECT_EQ(w.window().caption(), "Traffic History");
    EXPECT_TRUE(w.window().visible());
    EXPECT_EQ(w.rows[0].in->caption(), "1.50 GB");
    EXPECT_EQ(w.rows[0].out->caption(), "250.00 MB");
    EXPECT_EQ(w.rows[0].total->caption(), "1.74 GB");
    EXPECT_EQ(w.rows[1].in->caption(), "512.00 KB");
    EXPECT_EQ(w.rows[2].total->caption(), "125.00 GB");
    EXPECT_EQ(w.rows[3].total->caption(), BytesText(0));
    EXPECT_TRUE(w.lblQuota.visible());
    EXPECT_EQ(w.lblQuota.caption(), "125.00 GB of 500.00 GB used this month (25 %)");
    EXPECT_FALSE(w.lblRecovered.visible()) << "nothing recovered";

    // Bytes counted while vxstat was not running: how much of each period, beside the figures.
    summary->todayRecovered = {1 * GB, 24 * MB};
    summary->thisMonthRecovered = {3 * GB, 0};
    w.Refresh();
    EXPECT_TRUE(w.lblRecovered.visible());
    EXPECT_EQ(w.lblRecovered.caption(), "Counted while vxstat was not running: 1.02 GB today, 3.00 GB this month");
    EXPECT_EQ(w.rows[0].total->caption(), "1.74 GB") << "the periods' figures stay whole";

    // Every hour has its bars but the first (nothing in, nothing out);
    // every day has an incoming bar but the first, and none going out.
    EXPECT_EQ(BarCount(w.chartHours.drawing(), kInColour), 23u);
    EXPECT_EQ(BarCount(w.chartHours.drawing(), kOutColour), 23u);
    EXPECT_EQ(BarCount(w.chartDays.drawing(), kInColour), 29u);
    EXPECT_EQ(BarCount(w.chartDays.drawing(), kOutColour), 0u);
    const auto hours = XLabels(w.chartHours.drawing());
    ASSERT_FALSE(hours.empty());
    EXPECT_EQ(hours.front(), "00");
    EXPECT_EQ(hours.back(), "23");
    const auto days = XLabels(w.chartDays.drawing());
    ASSERT_FALSE(days.empty());
    EXPECT_EQ(days.back(), "8") << "today, the 8th, is the newest day";
    // Laid out for the control's own size, in pixels at 96 dpi.
    EXPECT_DOUBLE_EQ(w.chartDays.drawing().width, w.chartDays.rect().width / 15.0);
}

TEST_F(HistoryWindow, WithoutAQuotaOrWithoutAHistory) {
    frmHistory& w = Open();
    EXPECT_FALSE(w.lblQuota.visible()) << "no quota set";

    summary->yesterdayRecovered = {0, 5 * KB};
    w.Refresh();
    EXPECT_EQ(w.lblRecovered.caption(), "Counted while vxstat was not running: 5.00 KB yesterday");

    summary.reset();  // the history file could not be opened
    w.Refresh();
    EXPECT_FALSE(w.lblRecovered.visible());
    EXPECT_TRUE(w.lblQuota.visible());
    EXPECT_NE(w.lblQuota.caption().find("No history"), std::string::npos);
    for (const auto& row : w.rows) EXPECT_EQ(row.total->caption(), "--");
    EXPECT_EQ(BarCount(w.chartHours.drawing(), kInColour), 0u);
    EXPECT_FALSE(w.chartHours.drawing().texts.empty()) << "the axis is still drawn";
}

TEST_F(HistoryWindow, RedrawsOnItsMinuteTimerOnlyWhileOpen) {
    frmHistory& w = Open();
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(w.Timer.timerEnabled());
    EXPECT_EQ(w.Timer.interval(), 60000);

    summary->today.in = 3 * GB;
    w.Timer.tick();
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(w.rows[0].in->caption(), "3.00 GB");

    platform::Timer& timer = w.Timer;
    w.window().userCloseRequested();
    EXPECT_FALSE(Default<frmHistory>::Exists()) << "nothing of it is left while it is closed";
    EXPECT_FALSE(timer.timerEnabled());
    fake::ProcessEvents();
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(fake::FindWindow("frmHistory"), nullptr);
}

TEST_F(HistoryWindow, OpeningItAgainBringsTheOpenOneForward) {
    frmHistory& first = Open();
    const auto handle = first.hWnd();
    frmHistory& second = Open();
    EXPECT_EQ(&first, &second);
    EXPECT_EQ(asked, 1) << "loaded once";
    ASSERT_EQ(S().raised.size(), 2u);
    EXPECT_EQ(S().raised[1], handle);
}

TEST(HistoryCharts, BarsAreLabelledWithTheLocalHourAndDay) {
    // Central Europe in winter: UTC+1.
    std::vector<ChartBar> hours, days;
    {
        const test::CentralEuropeanTime cet;
        hours = HourBars({{kMidnight, {1, 2}}, {kMidnight + 3600, {3, 4}}});
        days = DayBars({{kMidnight - 3600, {5, 6}}});
    }
    ASSERT_EQ(hours.size(), 2u);
    EXPECT_EQ(hours[0].label, "01");
    EXPECT_EQ(hours[1].label, "02");
    EXPECT_DOUBLE_EQ(hours[1].in, 3);
    EXPECT_DOUBLE_EQ(hours[1].out, 4);
    ASSERT_EQ(days.size(), 1u);
    EXPECT_EQ(days[0].label, "8") << "23:00 UTC on the 7th is the 8th in Paris";
}

// ---- The quota ----------------------------------------------------------

TEST(Quota, TextsAndWhichNoticeIsDue) {
    HistorySummary s;
    s.thisMonth = {300 * MB, 100 * MB};
    EXPECT_EQ(QuotaText(s), "");
    EXPECT_EQ(QuotaTip("vxStats", s), "vxStats");
    s.quota = 1 * GB;
    EXPECT_EQ(QuotaPercent(s), 39);
    EXPECT_EQ(QuotaTip("vxStats", s), "vxStats - 39 % of 1.00 GB used");
    s.quota = 0;  // "Quota=0": nothing can be used up
    EXPECT_EQ(QuotaPercent(s), 0);

    EXPECT_EQ(QuotaNoticeDue(79, 0), 0);
    EXPECT_EQ(QuotaNoticeDue(80, 0), 80);
    EXPECT_EQ(QuotaNoticeDue(99, 80), 0);
    EXPECT_EQ(QuotaNoticeDue(100, 80), 100);
    EXPECT_EQ(QuotaNoticeDue(250, 0), 100) << "both passed at once: one notice";
    EXPECT_EQ(QuotaNoticeDue(250, 100), 0);
}

class QuotaInTheTray : public ::testing::Test {
protected:
    void SetUp() override { history.next.monthStart = kMidnight; }
    // Checks as the monitor's ticks do; the tip last set, and every notice.
    void Check(QuotaWatch& watch, std::int64_t now) {
        QuotaCheck c = watch.check(history, now);
        if (c.tip) tip = *c.tip;
        if (c.notice) notices.push_back(*c.notice);
    }
    MemoryHistory history;
    std::string tip = "vxStats";
    std::vector<Notice> notices;
};

TEST_F(QuotaInTheTray, LooksOnceAMinuteAndTellsEachThresholdOncePerBillingMonth) {
    QuotaWatch watch("vxStats", 1, 100 * MB);
    history.next.thisMonth = {50 * MB, 10 * MB};
    std::int64_t now = kMidnight + 3600;
    for (int tick = 0; tick < 60; ++tick) Check(watch, now + tick / 2);
    EXPECT_EQ(history.summaries, 1) << "a tick's work is not a summary";
    EXPECT_EQ(tip, "vxStats - 60 % of 100.00 MB used");
    EXPECT_TRUE(notices.empty());

    history.next.thisMonth = {70 * MB, 11 * MB};
    for (int minute = 1; minute <= 3; ++minute) Check(watch, now + 60 * minute);
    EXPECT_EQ(history.summaries, 4);
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].title, "Quota 80 % used");
    EXPECT_NE(notices[0].text.find("81.00 MB of 100.00 MB"), std::string::npos);

    history.next.thisMonth = {100 * MB, 0};
    for (int minute = 4; minute <= 6; ++minute) Check(watch, now + 60 * minute);
    ASSERT_EQ(notices.size(), 2u);
    EXPECT_EQ(notices[1].title, "Quota used up");

    // The next billing month starts afresh.
    history.next.monthStart = kMidnight + 31 * 86400;
    history.next.thisMonth = {90 * MB, 0};
    Check(watch, now + 31 * 86400);
    Check(watch, now + 31 * 86400 + 60);
    ASSERT_EQ(notices.size(), 3u);
    EXPECT_EQ(notices[2].title, "Quota 80 % used");
}

TEST_F(QuotaInTheTray, NothingWithoutAQuota) {
    QuotaWatch watch("vxStats", 1, std::nullopt);
    history.next.thisMonth = {500 * GB, 0};
    Check(watch, kMidnight);
    EXPECT_EQ(history.summaries, 0);
    EXPECT_EQ(tip, "vxStats");
    EXPECT_TRUE(notices.empty());
}

// ---- In the monitor, over the real history file --------------------------

class MonitorHistory : public test::MonitorTest {
protected:
    void SetUp() override {
        MonitorTest::SetUp();
        FixedUtcSeconds() = kMidnight + 10 * 3600;
    }
    void TearDown() override {
        MonitorTest::TearDown();
        FixedUtcSeconds() = 0;
    }
    void StartWithQuota(const std::string& quota) {
        WriteBootIni("127.0.0.5");
        test::WriteFile(bootFile(), test::ReadFile(bootFile()) + "Quota=" + quota + "\n");
        StartProgram();
        fake::ProcessEvents();
        ASSERT_TRUE(Default<frmMain>::Exists());
    }
    // A minute later, the counters moved by `in` bytes.
    void MinuteLater(double in) {
        FixedUtcSeconds() = FixedUtcSeconds() + 60;
        Move(in);
    }
    InUtc utc;
};

TEST_F(MonitorHistory, TheTrayItemAndTheSystemCommandOpenTheWindow) {
    frmMain& m = StartWeb();
    const auto& items = S().tray.menu.items;
    ASSERT_EQ(items.size(), 4u);
    EXPECT_EQ(items[0].caption, "&Open vxStat");
    EXPECT_EQ(items[1].caption, "&History");
    EXPECT_EQ(items[2].caption, "-");
    EXPECT_EQ(items[3].caption, "&Close");
    EXPECT_EQ(S().tray.menu.defaultIndex, 0);

    Tick();  // the baseline
    Move(3 * MB, 1 * MB);
    fake::TrayChoose(1);
    ASSERT_TRUE(Default<frmHistory>::Exists());
    frmHistory& w = *Default<frmHistory>::Peek();
    EXPECT_TRUE(w.window().visible());
    EXPECT_EQ(w.rows[0].in->caption(), "3.00 MB") << "today, not flushed yet";
    EXPECT_EQ(w.rows[0].out->caption(), "1.00 MB");
    w.window().userCloseRequested();
    EXPECT_FALSE(Default<frmHistory>::Exists());
    EXPECT_TRUE(Default<frmMain>::Exists()) << "the monitor goes on";

    const auto& sys = m.window().systemCommands();
    std::size_t statistics = sys.size(), history = sys.size();
    for (std::size_t i = 0; i < sys.size(); ++i) {
        if (sys[i].text == "Statistics") statistics = i;
        if (sys[i].text == "History") history = i;
    }
    ASSERT_LT(history, sys.size());
    EXPECT_EQ(history, statistics + 1) << "right after Statistics";
    EXPECT_TRUE(fake::ChooseSystemCommand(m.window(), "History"));
    EXPECT_TRUE(Default<frmHistory>::Exists());

    // Closing the monitor takes the window with it.
    m.window().userCloseRequested();
    fake::ProcessEvents();
    EXPECT_FALSE(Default<frmHistory>::Exists());
}

TEST_F(MonitorHistory, TheQuotaNoticesComeOnceAndOnlyOnceAlsoAfterARestart) {
    StartWithQuota("1M");
    EXPECT_EQ(S().tray.tip, "vxStats");
    Tick();  // the baseline
    EXPECT_EQ(S().tray.tip, "vxStats - 0 % of 1.00 MB used");

    MinuteLater(850 * KB);  // 83 %
    ASSERT_EQ(S().tray.notices.size(), 1u);
    EXPECT_EQ(S().tray.notices[0].title, "Quota 80 % used");
    for (int i = 0; i < 5; ++i) MinuteLater(10 * KB);  // 88 %
    EXPECT_EQ(S().tray.notices.size(), 1u);
    EXPECT_EQ(S().tray.tip, "vxStats - 87 % of 1.00 MB used");

    MinuteLater(200 * KB);
    ASSERT_EQ(S().tray.notices.size(), 2u);
    EXPECT_EQ(S().tray.notices[1].title, "Quota used up");
    for (int i = 0; i < 5; ++i) MinuteLater(10 * KB);
    EXPECT_EQ(S().tray.notices.size(), 2u);

    // Another start in the same billing month: nothing again.
    monitor().window().userCloseRequested();
    fake::ProcessEvents();
    ASSERT_FALSE(Default<frmMain>::Exists());
    Restart();
    StartWithQuota("1M");
    Tick();
    for (int i = 0; i < 5; ++i) MinuteLater(10 * KB);
    EXPECT_EQ(S().tray.tip.rfind("vxStats - 1", 0), 0u) << S().tray.tip;
    EXPECT_TRUE(S().tray.notices.empty());
}

}  // namespace
}  // namespace vx
