// The program's folder, files and regional text on Qt.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/app.h"
#include "platform/qt/qt_backend.h"
#include "tests/qt/qt_testing.h"
#include "runtime/errors.h"
#include "tests/qt/qt_program.h"

namespace vx::qttest {
namespace {

namespace qtt = platform::qt_testing;
using platform::qt::NumberText;
using platform::qt::TimeFormatWithSeconds;
using platform::qt::TimeText;

TEST(QtApp, TheProgramsFolderIsTheExecutablesWithLinksResolved) {
    qtt::SetAppPath("");
    const std::filesystem::path exe = std::filesystem::canonical("/proc/self/exe");
    EXPECT_EQ(platform::AppPath(), exe.parent_path().string());
    EXPECT_EQ(platform::ProgramFile("userstats.txt"), exe.parent_path().string() + "/userstats.txt");
    EXPECT_EQ(platform::AppTitle(), "vxstat");
    EXPECT_EQ(platform::AppFileDescription(), "vxstat");
}

TEST_F(QtProgramTest, KillDeletesAFileAndReportsOneThatIsNotThere) {
    WriteFile(file("gone.txt"), "x");
    platform::Kill(file("gone.txt"));
    EXPECT_FALSE(std::filesystem::exists(file("gone.txt")));
    try {
        platform::Kill(file("gone.txt"));
        FAIL() << "no error for a missing file";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), kErrFileNotFound);
    }
}

TEST(QtRegional, TimesCarrySecondsInTheLocalesOwnForm) {
    const QTime t(9, 5, 3);
    EXPECT_EQ(TimeText(QLocale(QLocale::English, QLocale::UnitedStates), t), "9:05:03 AM");
    EXPECT_EQ(TimeText(QLocale(QLocale::German, QLocale::Germany), t), "09:05:03");
    EXPECT_EQ(TimeText(QLocale(QLocale::English, QLocale::UnitedKingdom), t), "09:05:03");
    for (const QLocale& locale : {QLocale::c(), QLocale(QLocale::Japanese, QLocale::Japan),
                                  QLocale(QLocale::Finnish, QLocale::Finland), QLocale(QLocale::Korean)}) {
        const QString format = TimeFormatWithSeconds(locale);
        EXPECT_TRUE(format.contains(u's')) << format.toStdString();
        EXPECT_FALSE(format.contains(u't')) << "no time zone: " << format.toStdString();
        EXPECT_TRUE(TimeText(locale, t).contains(u'3')) << TimeText(locale, t).toStdString();
    }
}

TEST(QtRegional, NumbersAreGroupedWithFixedDecimals) {
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    const QLocale german(QLocale::German, QLocale::Germany);
    EXPECT_EQ(NumberText(english, 1177.3813, 2), "1,177.38");
    EXPECT_EQ(NumberText(english, 0, 2), "0.00");
    EXPECT_EQ(NumberText(english, 1.5, 2), "1.50");
    EXPECT_EQ(NumberText(english, -1234567.891, 2), "-1,234,567.89");
    EXPECT_EQ(NumberText(english, -0.001, 2), "0.00") << "no minus sign on a zero";
    EXPECT_EQ(NumberText(german, 1177.3813, 2), "1.177,38");
}

TEST(QtRegional, DatesUseTheShortForm) {
    EXPECT_EQ(platform::qt::DateText(QLocale(QLocale::English, QLocale::UnitedStates), QDate(2026, 12, 8)), "12/8/26");
    EXPECT_EQ(platform::qt::DateText(QLocale(QLocale::German, QLocale::Germany), QDate(2026, 12, 8)), "08.12.26");
}

}  // namespace
}  // namespace vx::qttest
