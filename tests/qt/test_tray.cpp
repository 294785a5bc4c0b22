// The notification-area icon, popup menus and message boxes on Qt.
#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMessageBox>
#include <QSystemTrayIcon>
#include <QtTest/QTest>

#include <cstring>

#include "monitor/frmMain.h"
#include "platform/app.h"
#include "platform/forms.h"
#include "platform/menus.h"
#include "platform/qt/qt_testing.h"
#include "platform/shell.h"
#include "platform/user32.h"
#include "traffic/modFunctions.h"
#include "tests/qt/qt_program.h"
#include "tray/LevelPictures.h"

namespace vx::qttest {
namespace {

namespace qtt = platform::qt_testing;
using namespace platform;

struct Message {
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
    bool operator==(const Message&) const = default;
};
std::vector<Message> g_messages;
LRESULT VX_CALLBACK Record(HWND, UINT msg, WPARAM wParam, LPARAM lParam) {
    g_messages.push_back({msg, wParam, lParam});
    return 0;
}

// A hidden window owning one icon, with a window procedure that records
// what the icon sends it.
class TrayTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_messages.clear();
        owner = std::make_unique<Window>("owner", "", 15, 15, BorderStyle::Hidden);
        SetWindowLongA(owner->hWnd(), GWL_WNDPROC, reinterpret_cast<LONG_PTR>(&Record));
        nid.cbSize = 88;
        nid.hWnd = owner->hWnd();
        nid.uID = 77;
        nid.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
        nid.uCallbackMessage = WM_MOUSEMOVE;
        nid.hIcon = LevelPicture(0);
        SetTip("vxstat");
    }
    void TearDown() override {
        Shell_NotifyIconA(NIM_DELETE, &nid);
        qtt::SetTrayHostProbe(nullptr, 0);
        owner.reset();
        qtt::ProcessEvents();
    }
    // Text, its NUL, then blanks, as the component keeps the field.
    void SetTip(const std::string& text) {
        std::memset(nid.szTip, ' ', sizeof nid.szTip);
        std::memcpy(nid.szTip, text.data(), std::min(text.size(), sizeof nid.szTip));
        if (text.size() < sizeof nid.szTip) nid.szTip[text.size()] = '\0';
    }
    QSystemTrayIcon* icon() const { return qtt::TrayIcon(nid.hWnd, nid.uID); }
    std::vector<LPARAM> received() const {
        std::vector<LPARAM> numbers;
        for (const Message& m : g_messages) {
            EXPECT_EQ(m.msg, WM_MOUSEMOVE);
            EXPECT_EQ(m.wParam, 77u);
            numbers.push_back(m.lParam);
        }
        g_messages.clear();
        return numbers;
    }

    std::unique_ptr<Window> owner;
    NOTIFYICONDATA nid;
};

QImage Pixels(QSystemTrayIcon* icon) { return icon->icon().pixmap(32, 32).toImage(); }

TEST_F(TrayTest, ActivationsArriveAsTheShellsMouseMessages) {
    ASSERT_EQ(Shell_NotifyIconA(NIM_ADD, &nid), 1);
    ASSERT_NE(icon(), nullptr);
    emit icon()->activated(QSystemTrayIcon::Trigger);
    EXPECT_EQ(received(), std::vector<LPARAM>({513, 514}));
    emit icon()->activated(QSystemTrayIcon::DoubleClick);
    EXPECT_EQ(received(), std::vector<LPARAM>({515}));
    emit icon()->activated(QSystemTrayIcon::Context);
    EXPECT_EQ(received(), std::vector<LPARAM>({516, 517}));
    emit icon()->activated(QSystemTrayIcon::Context);
    EXPECT_EQ(received(), std::vector<LPARAM>({516, 517})) << "every press of the right button counts";
    emit icon()->activated(QSystemTrayIcon::MiddleClick);
    EXPECT_EQ(received(), std::vector<LPARAM>({519, 520}));
    emit icon()->activated(QSystemTrayIcon::Unknown);
    EXPECT_TRUE(received().empty());

    // A changed callback message is used from then on.
    nid.uFlags = NIF_MESSAGE;
    nid.uCallbackMessage = 0x8001;
    ASSERT_EQ(Shell_NotifyIconA(NIM_MODIFY, &nid), 1);
    emit icon()->activated(QSystemTrayIcon::DoubleClick);
    ASSERT_EQ(g_messages.size(), 1u);
    EXPECT_EQ(g_messages[0].msg, 0x8001u);
}

TEST_F(TrayTest, AddShowsIconAndTooltipModifyChangesOnlyTheFlaggedPart) {
    qtt::SetTrayHostProbe([] { return true; }, 0);
    ASSERT_EQ(Shell_NotifyIconA(NIM_ADD, &nid), 1);
    EXPECT_EQ(Shell_NotifyIconA(NIM_ADD, &nid), 0) << "the same icon twice";
    ASSERT_NE(icon(), nullptr);
    EXPECT_TRUE(icon()->isVisible());
    EXPECT_EQ(icon()->toolTip(), "vxstat") << "up to the NUL, not the blanks after it";
    // Sent at the picture's own size, and it is the lowest level.
    EXPECT_EQ(icon()->icon().availableSizes(), QList<QSize>({QSize(32, 32)}));
    QImage level0 = Pixels(icon());
    EXPECT_EQ(level0.pixel(5, 5), qRgb(255, 255, 255));
    EXPECT_EQ(level0.pixel(5, 27), qRgb(255, 255, 255));
    EXPECT_EQ(level0.pixel(5, 28), qRgb(135, 255, 29));
    EXPECT_EQ(level0.pixel(31, 31), qRgb(135, 255, 29));

    // The icon changes; the tooltip in the record is not flagged and stays.
    nid.uFlags = NIF_ICON;
    nid.hIcon = LevelPicture(7);
    SetTip("ignored");
    ASSERT_EQ(Shell_NotifyIconA(NIM_MODIFY, &nid), 1);
    EXPECT_EQ(Pixels(icon()).pixel(5, 5), qRgb(135, 255, 29));
    EXPECT_EQ(icon()->toolTip(), "vxstat");

    // The tooltip changes; the icon in the record is not flagged and stays.
    nid.uFlags = NIF_TIP;
    nid.hIcon = LevelPicture(0);
    SetTip("vxStats");
    ASSERT_EQ(Shell_NotifyIconA(NIM_MODIFY, &nid), 1);
    EXPECT_EQ(icon()->toolTip(), "vxStats");
    EXPECT_EQ(Pixels(icon()).pixel(5, 5), qRgb(135, 255, 29));

    // A tooltip of 64 characters has no NUL: all of it shows.
    const std::string long64(64, 'x');
    SetTip(long64);
    ASSERT_EQ(Shell_NotifyIconA(NIM_MODIFY, &nid), 1);
    EXPECT_EQ(icon()->toolTip(), QString::fromStdString(long64));
}

TEST_F(TrayTest, DeleteRemovesTheIconAndUnknownIconsAreRefused) {
    NOTIFYICONDATA other = nid;
    other.uID = 78;
    EXPECT_EQ(Shell_NotifyIconA(NIM_MODIFY, &other), 0);
    EXPECT_EQ(Shell_NotifyIconA(NIM_DELETE, &other), 0);
    ASSERT_EQ(Shell_NotifyIconA(NIM_ADD, &nid), 1);
    QPointer<QSystemTrayIcon> shown = icon();
    ASSERT_EQ(Shell_NotifyIconA(NIM_DELETE, &nid), 1);
    EXPECT_EQ(icon(), nullptr);
    EXPECT_EQ(qtt::TrayIconCount(), 0u);
    ASSERT_TRUE(shown) << "not under the handler that may be running";
    qtt::ProcessEvents();
    EXPECT_TRUE(shown.isNull()) << "the icon goes once the event is over";
    EXPECT_EQ(Shell_NotifyIconA(NIM_DELETE, &nid), 0);
}

TEST_F(TrayTest, WaitsForATrayHostThatTurnsUpLater) {
    bool host = false;
    qtt::SetTrayHostProbe([&host] { return host; }, 10);
    ASSERT_EQ(Shell_NotifyIconA(NIM_ADD, &nid), 1);
    ASSERT_NE(icon(), nullptr);
    EXPECT_FALSE(icon()->isVisible());
    QTest::qWait(50);
    EXPECT_FALSE(icon()->isVisible());
    host = true;
    EXPECT_TRUE(WaitFor([this] { return icon()->isVisible(); }));
    // The icon works the same once it is there.
    emit icon()->activated(QSystemTrayIcon::DoubleClick);
    EXPECT_EQ(received(), std::vector<LPARAM>({515}));
}

TEST(QtPopupMenu, ShowsTheItemsAndAnswersTheChosenIndex) {
    const std::vector<MenuItem> items = {
        {"&Open vxStat", true, true}, {"-", true, true}, {"Hidden", false, true},
        {"Greyed", true, false},      {"&Close", true, true},
    };
    QStringList captions;
    bool defaultBold = false, greyedDisabled = false;
    QString defaultCaption;
    auto seen = AnswerNextMenu([&](QMenu& menu) {
        captions = Captions(menu);
        if (menu.defaultAction()) {
            defaultCaption = menu.defaultAction()->text();
            defaultBold = menu.defaultAction()->font().bold();
        }
        for (QAction* a : menu.actions())
            if (a->text() == "Greyed") greyedDisabled = !a->isEnabled();
        return QStringLiteral("&Close");
    });
    EXPECT_EQ(PopupMenu(0, items, 0, 0), 4);
    ASSERT_TRUE(*seen);
    EXPECT_EQ(captions, QStringList({"&Open vxStat", "-", "Greyed", "&Close"}));
    EXPECT_EQ(defaultCaption, "&Open vxStat");
    EXPECT_TRUE(defaultBold);
    EXPECT_TRUE(greyedDisabled);

    seen = AnswerNextMenu([](QMenu&) { return QString(); });
    EXPECT_EQ(PopupMenu(0, items, -1, 0), -1) << "dismissed";
    ASSERT_TRUE(*seen);
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
    EXPECT_EQ(MsgBox("I will now close and delete the file", vbCritical | vbOKOnly, "Info"), vbOK);
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
    EXPECT_EQ(MsgBox("Clicked item with key <b>x</b>", vbInformation, "vxstat"), vbOK);
    ASSERT_TRUE(*seen);
    EXPECT_EQ(icon, QMessageBox::Information);
    EXPECT_EQ(format, Qt::PlainText) << "text is never read as markup";
}

// The whole program: the tray icon's right button and its menu.
TEST_F(QtProgramTest, RightClickOnTheTrayIconOpensTheMenuOnceAndCloseEndsTheProgram) {
    frmMain& monitor = StartMonitorByEnter("127.0.0.41");
    const auto& nid = monitor.m_frmSysTray->nid();
    QSystemTrayIcon* tray = qtt::TrayIcon(nid.hWnd, nid.uID);
    ASSERT_NE(tray, nullptr);
    EXPECT_EQ(tray->toolTip(), "vxStats");
    EXPECT_EQ(Pixels(tray).pixel(0, 27), qRgb(255, 255, 255));
    EXPECT_EQ(Pixels(tray).pixel(0, 28), qRgb(135, 255, 29));

    int menus = 0;
    QStringList captions;
    QString bold;
    auto seen = AnswerNextMenu([&](QMenu& menu) {
        ++menus;
        captions = Captions(menu);
        if (menu.defaultAction() && menu.defaultAction()->font().bold()) bold = menu.defaultAction()->text();
        return QString();
    });
    emit tray->activated(QSystemTrayIcon::Context);
    ASSERT_TRUE(*seen);
    qtt::ProcessEvents();
    EXPECT_EQ(menus, 1);
    EXPECT_EQ(captions, QStringList({"&Open vxStat", "-", "&Close"}));
    EXPECT_EQ(bold, "&Open vxStat");

    dblTotalIncoming = 2048;
    seen = AnswerNextMenu([](QMenu&) { return QStringLiteral("&Close"); });
    emit tray->activated(QSystemTrayIcon::Context);
    ASSERT_TRUE(*seen);
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
    const auto& nid = monitor.m_frmSysTray->nid();
    auto seen = AnswerNextMenu([](QMenu&) { return QStringLiteral("&Open vxStat"); });
    emit qtt::TrayIcon(nid.hWnd, nid.uID)->activated(QSystemTrayIcon::Context);
    ASSERT_TRUE(*seen);
    EXPECT_TRUE(w->isVisible());
    EXPECT_TRUE(monitor.window().visible());
}

}  // namespace
}  // namespace vx::qttest
