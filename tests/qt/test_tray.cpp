// The notification-area icon on both kinds of tray host, its menus, and
// message boxes.
#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QSystemTrayIcon>
#include <QtTest/QTest>

#include "monitor/frmMain.h"
#include "platform/app.h"
#include "tests/qt/qt_testing.h"
#include "platform/tray.h"
#include "tests/qt/qt_program.h"
#include "tray/LevelPictures.h"

namespace vx::qttest {
namespace {

namespace qtt = platform::qt_testing;
using platform::MouseButton;
using platform::TrayMenu;
using Events = std::vector<std::string>;

std::string Name(MouseButton b) { return b == MouseButton::Left ? "L" : b == MouseButton::Right ? "R" : "M"; }

const TrayMenu kMenu{{{"&Open vxStat", true, true},
                      {"-", true, true},
                      {"Hidden", false, true},
                      {"Greyed", true, false},
                      {"&Close", true, true}},
                     0};

// One icon whose events are written down, on the tray host a test chooses.
class TrayTest : public ::testing::Test {
protected:
    void TearDown() override {
        tray.reset();
        qtt::SetTrayHost(nullptr, 0, false);
        qtt::ProcessEvents();
    }
    void Create(
        bool statusNotifier, std::function<bool()> host = [] { return true; }, int pollMs = 0) {
        qtt::SetTrayHost(std::move(host), pollMs, statusNotifier);
        platform::TrayEvents events;
        events.pressed = [this](MouseButton b) { log.push_back("down " + Name(b)); };
        events.released = [this](MouseButton b) { log.push_back("up " + Name(b)); };
        events.doubleClicked = [this](MouseButton b) { log.push_back("double " + Name(b)); };
        events.menuChosen = [this](int index) { log.push_back("chosen " + std::to_string(index)); };
        tray = platform::CreateTrayIcon(LevelPicture(0), "vxstat", std::move(events));
        tray->setMenu(kMenu);
        ASSERT_NE(icon(), nullptr);
    }
    QSystemTrayIcon* icon() const { return qtt::TrayIcon(); }
    Events Take() { return std::exchange(log, {}); }

    std::unique_ptr<platform::TrayIcon> tray;
    Events log;
};

QImage Pixels(QSystemTrayIcon* icon) { return icon->icon().pixmap(32, 32).toImage(); }

// The menu as shown: captions, the bold default, the greyed items.
struct MenuSeen {
    QStringList captions;
    QString bold;
    QStringList greyed;
};
MenuSeen Look(const QMenu& menu) {
    MenuSeen seen{Captions(menu), {}, {}};
    if (menu.defaultAction() && menu.defaultAction()->font().bold()) seen.bold = menu.defaultAction()->text();
    for (QAction* a : menu.actions())
        if (a->isVisible() && !a->isSeparator() && !a->isEnabled()) seen.greyed << a->text();
    return seen;
}

TEST_F(TrayTest, OnAnXEmbedTrayClicksArriveAsButtonsGoingDownAndUp) {
    Create(false);
    EXPECT_EQ(icon()->contextMenu(), nullptr) << "Qt would pop up a menu of its own";
    emit icon()->activated(QSystemTrayIcon::Trigger);
    EXPECT_EQ(Take(), Events({"down L", "up L"}));
    emit icon()->activated(QSystemTrayIcon::DoubleClick);
    EXPECT_EQ(Take(), Events({"double L"}));
    emit icon()->activated(QSystemTrayIcon::Context);
    EXPECT_EQ(Take(), Events({"down R", "up R"}));
    emit icon()->activated(QSystemTrayIcon::MiddleClick);
    EXPECT_EQ(Take(), Events({"down M", "up M"}));
    emit icon()->activated(QSystemTrayIcon::Unknown);
    EXPECT_EQ(Take(), Events());
}

TEST_F(TrayTest, ShowsThePictureAtItsOwnSizeAndTheTipAsTheOwnerChangesThem) {
    Create(false);
    EXPECT_TRUE(icon()->isVisible());
    EXPECT_EQ(icon()->toolTip(), "vxstat");
    // Offered at several sizes (test_hidpi.cpp looks at each), the picture's
    // own among them, and it is the lowest level.
    EXPECT_TRUE(icon()->icon().availableSizes().contains(QSize(32, 32)));
    const QImage level0 = Pixels(icon());
    EXPECT_EQ(level0.pixel(5, 27), qRgb(255, 255, 255));
    EXPECT_EQ(level0.pixel(5, 28), qRgb(135, 255, 29));
    EXPECT_EQ(level0.pixel(31, 31), qRgb(135, 255, 29));

    tray->setPicture(LevelPicture(7));
    EXPECT_EQ(Pixels(icon()).pixel(5, 5), qRgb(135, 255, 29));
    EXPECT_EQ(icon()->toolTip(), "vxstat");
    tray->setTip("vxStats");
    EXPECT_EQ(icon()->toolTip(), "vxStats");
}

TEST_F(TrayTest, PopUpMenuShowsTheItemsAndReportsTheOneChosen) {
    Create(false);
    MenuSeen seen;
    auto opened = AnswerNextMenu([&](QMenu& menu) {
        seen = Look(menu);
        return QStringLiteral("&Close");
    });
    tray->popUpMenu();
    ASSERT_TRUE(*opened);
    EXPECT_EQ(seen.captions, QStringList({"&Open vxStat", "-", "Greyed", "&Close"}));
    EXPECT_EQ(seen.bold, "&Open vxStat");
    EXPECT_EQ(seen.greyed, QStringList({"Greyed"}));
    EXPECT_EQ(Take(), Events({"chosen 4"}));

    // A new menu from the owner is the one shown next; dismissing chooses nothing.
    tray->setMenu(TrayMenu{{{"One", true, true}, {"Two", true, true}}, -1});
    opened = AnswerNextMenu([&](QMenu& menu) {
        seen = Look(menu);
        return QString();
    });
    tray->popUpMenu();
    ASSERT_TRUE(*opened);
    EXPECT_EQ(seen.captions, QStringList({"One", "Two"}));
    EXPECT_EQ(seen.bold, "");
    EXPECT_EQ(Take(), Events());
}

// Clicks an item of an open menu with a button; true when the item was there.
bool ClickItem(QMenu& menu, const QString& caption, Qt::MouseButton button) {
    for (QAction* a : menu.actions())
        if (a->text() == caption) {
            const QPoint at = menu.actionGeometry(a).center();
            QTest::mouseMove(&menu, at);
            QTest::mouseClick(&menu, button, {}, at);
            return true;
        }
    return false;
}

TEST_F(TrayTest, OnlyTheLeftButtonChoosesFromThePopUpMenu) {
    Create(false);
    bool stillOpenAfterRight = false, rightFound = false, leftFound = false;
    auto opened = AnswerNextMenu([&](QMenu& menu) {
        rightFound = ClickItem(menu, "&Open vxStat", Qt::RightButton);
        qtt::ProcessEvents();
        stillOpenAfterRight = menu.isVisible();
        if (stillOpenAfterRight) leftFound = ClickItem(menu, "&Close", Qt::LeftButton);
        return QString();
    });
    tray->popUpMenu();
    ASSERT_TRUE(*opened);
    ASSERT_TRUE(rightFound);
    EXPECT_TRUE(stillOpenAfterRight && leftFound);
    EXPECT_EQ(Take(), Events({"chosen 4"})) << "only the left button's item";
}

TEST_F(TrayTest, OnAStatusNotifierHostTheHostDrawsTheMenuAndActivationIsADoubleClick) {
    Create(true);
    QMenu* menu = icon()->contextMenu();
    ASSERT_NE(menu, nullptr) << "the host has no menu to draw";
    const MenuSeen seen = Look(*menu);
    EXPECT_EQ(seen.captions, QStringList({"&Open vxStat", "-", "Greyed", "&Close"}));
    EXPECT_EQ(seen.bold, "&Open vxStat");
    EXPECT_EQ(seen.greyed, QStringList({"Greyed"}));

    emit icon()->activated(QSystemTrayIcon::Trigger);
    EXPECT_EQ(Take(), Events({"double L"}));
    emit icon()->activated(QSystemTrayIcon::Context);
    EXPECT_EQ(Take(), Events()) << "the host shows the menu itself";
    emit icon()->activated(QSystemTrayIcon::MiddleClick);
    EXPECT_EQ(Take(), Events({"down M", "up M"}));

    // popUpMenu() shows nothing of its own.
    tray->popUpMenu();
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);

    // A choice in the host's menu comes after the host's call has returned.
    menu->actions().at(4)->trigger();
    EXPECT_EQ(Take(), Events());
    ASSERT_TRUE(WaitFor([this] { return !log.empty(); }));
    EXPECT_EQ(Take(), Events({"chosen 4"}));

    // The menu follows the owner's changes, in the same exported menu.
    tray->setMenu(TrayMenu{{{"Other", true, true}}, 0});
    EXPECT_EQ(icon()->contextMenu(), menu);
    EXPECT_EQ(Captions(*menu), QStringList({"Other"}));
    menu->actions().at(0)->trigger();
    ASSERT_TRUE(WaitFor([this] { return !log.empty(); }));
    EXPECT_EQ(Take(), Events({"chosen 0"}));
}

TEST_F(TrayTest, TheIconGoesOnlyAfterTheClickThatLetItGo) {
    qtt::SetTrayHost([] { return true; }, 0, false);
    QPointer<QSystemTrayIcon> shown;
    bool stillThereInside = false;
    // The owner lets go of the icon from inside its own click ("&Close").
    platform::TrayEvents events;
    events.pressed = [&](MouseButton) {
        tray.reset();
        stillThereInside = !shown.isNull();
    };
    events.released = [&](MouseButton) { log.push_back("up after the icon went"); };
    tray = platform::CreateTrayIcon(LevelPicture(0), "vxstat", std::move(events));
    shown = icon();
    ASSERT_FALSE(shown.isNull());
    emit shown->activated(QSystemTrayIcon::Trigger);
    EXPECT_TRUE(stillThereInside) << "deleted under its own handler";
    EXPECT_EQ(Take(), Events()) << "no event from an icon that is gone";
    EXPECT_EQ(qtt::TrayIconCount(), 0u);
    qtt::ProcessEvents();
    EXPECT_TRUE(shown.isNull()) << "the icon goes once the event is over";
}

TEST_F(TrayTest, WaitsForATrayHostThatTurnsUpLater) {
    auto host = std::make_shared<bool>(false);
    auto asked = std::make_shared<int>(0);
    Create(
        false,
        [host, asked] {
            ++*asked;
            return *host;
        },
        10);
    EXPECT_FALSE(icon()->isVisible());
    ASSERT_TRUE(WaitFor([&] { return *asked >= 3; })) << "nobody asks for the host again";
    EXPECT_FALSE(icon()->isVisible());
    *host = true;
    EXPECT_TRUE(WaitFor([this] { return icon()->isVisible(); }));
    // The icon works the same once it is there.
    emit icon()->activated(QSystemTrayIcon::DoubleClick);
    EXPECT_EQ(Take(), Events({"double L"}));
}

TEST(QtMessageBox, ShowsPromptTitleAndIconUntilAnswered) {
    QString text, title;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    int buttons = 0;
    auto seen = AnswerNextModal([&](QWidget& w) {
        auto& box = static_cast<QMessageBox&>(w);
        text = box.text();
        title = box.windowTitle();
        icon = box.icon();
        buttons = static_cast<int>(box.buttons().size());
    });
    EXPECT_EQ(
        platform::MsgBox("I will now close and delete the file", platform::vbCritical | platform::vbOKOnly, "Info"),
        platform::vbOK);
    ASSERT_TRUE(*seen);
    EXPECT_EQ(text, "I will now close and delete the file");
    EXPECT_EQ(title, "Info");
    EXPECT_EQ(icon, QMessageBox::Critical);
    EXPECT_EQ(buttons, 1);

    Qt::TextFormat format = Qt::AutoText;
    seen = AnswerNextModal([&](QWidget& w) {
        auto& box = static_cast<QMessageBox&>(w);
        icon = box.icon();
        format = box.textFormat();
    });
    EXPECT_EQ(platform::MsgBox("Clicked item with key <b>x</b>", platform::vbInformation, "vxstat"), platform::vbOK);
    ASSERT_TRUE(*seen);
    EXPECT_EQ(icon, QMessageBox::Information);
    EXPECT_EQ(format, Qt::PlainText) << "text is never read as markup";
}

// The whole program: the tray icon's right button and its menu.
TEST_F(QtProgramTest, RightClickOnTheTrayIconOpensTheMenuOnceAndCloseEndsTheProgram) {
    WriteTotals("2048", "16");
    StartMonitorByEnter("127.0.0.41");
    QSystemTrayIcon* tray = qtt::TrayIcon();
    ASSERT_NE(tray, nullptr);
    EXPECT_EQ(tray->toolTip(), "vxStats");
    EXPECT_EQ(Pixels(tray).pixel(0, 27), qRgb(255, 255, 255));
    EXPECT_EQ(Pixels(tray).pixel(0, 28), qRgb(135, 255, 29));

    int menus = 0;
    MenuSeen seen;
    auto opened = AnswerNextMenu([&](QMenu& menu) {
        ++menus;
        seen = Look(menu);
        return QString();
    });
    emit tray->activated(QSystemTrayIcon::Context);
    ASSERT_TRUE(*opened);
    qtt::ProcessEvents();
    EXPECT_EQ(menus, 1);
    EXPECT_EQ(seen.captions, QStringList({"&Open vxStat", "&History", "-", "&Close"}));
    EXPECT_EQ(seen.bold, "&Open vxStat");

    opened = AnswerNextMenu([](QMenu&) { return QStringLiteral("&Close"); });
    emit tray->activated(QSystemTrayIcon::Context);
    ASSERT_TRUE(*opened);
    EXPECT_FALSE(Default<frmMain>::Exists());
    EXPECT_TRUE(qtt::QuitRequested());
    EXPECT_EQ(qtt::TrayIconCount(), 0u);
    EXPECT_NE(ReadFile(file("userstats.txt")).find("Incoming= 2048"), std::string::npos);
}

TEST_F(QtProgramTest, OpenFromTheTrayMenuShowsAndRaisesTheHiddenMonitor) {
    frmMain& monitor = StartMonitorByEnter("127.0.0.42");
    QWidget* w = widgetOf(monitor.hWnd());
    w->setWindowState(Qt::WindowMinimized);
    ASSERT_FALSE(w->isVisible());
    auto opened = AnswerNextMenu([](QMenu&) { return QStringLiteral("&Open vxStat"); });
    emit qtt::TrayIcon()->activated(QSystemTrayIcon::Context);
    ASSERT_TRUE(*opened);
    EXPECT_TRUE(w->isVisible());
    EXPECT_TRUE(monitor.window().visible());
}

TEST_F(QtProgramTest, OnAStatusNotifierHostTheHostsMenuAndActivationWork) {
    qtt::SetTrayHost([] { return true; }, 0, true);
    WriteTotals("4242", "24");
    frmMain& monitor = StartMonitorByEnter("127.0.0.43");
    QSystemTrayIcon* tray = qtt::TrayIcon();
    ASSERT_NE(tray, nullptr);
    QMenu* menu = tray->contextMenu();
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(Captions(*menu), QStringList({"&Open vxStat", "&History", "-", "&Close"}));

    // Activation brings the hidden window back.
    QWidget* w = widgetOf(monitor.hWnd());
    w->setWindowState(Qt::WindowMinimized);
    ASSERT_FALSE(w->isVisible());
    emit tray->activated(QSystemTrayIcon::Trigger);
    EXPECT_TRUE(w->isVisible());

    // So does "&Open vxStat" in the host's menu.
    w->setWindowState(Qt::WindowMinimized);
    qtt::ProcessEvents();  // what the window system says about it, first
    ASSERT_FALSE(w->isVisible());
    menu->actions().at(0)->trigger();
    ASSERT_TRUE(WaitFor([w] { return w->isVisible(); }));

    // "&Close" ends the program, which saves its totals.
    menu->actions().at(3)->trigger();
    ASSERT_TRUE(WaitFor([] { return !Default<frmMain>::Exists(); }));
    EXPECT_TRUE(qtt::QuitRequested());
    EXPECT_EQ(qtt::TrayIconCount(), 0u);
    EXPECT_NE(ReadFile(file("userstats.txt")).find("Incoming= 4242"), std::string::npos);
}

}  // namespace
}  // namespace vx::qttest
