// Forms and controls as native windows: sizes and styles, both directions of
// every control, key preview, timers, the real system menu, always-on-top.
#include "runtime/errors.h"
#include "tests/win32/support.h"

#include <commctrl.h>

#include <algorithm>
#include <string>
#include <vector>

namespace vx::platform::win32 {
namespace {

using test::PumpFor;
using test::PumpUntil;

class NativeForms : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        int argc = 0;
        InitApplication(argc, nullptr);
    }
    static HWND H(const Window& w) { return Native(w.hWnd()); }
    static HWND H(const Control& c) { return GetDlgItem(Native(c.owner().hWnd()), Id(c)); }
    static int Id(const Control& c) {
        int id = 100;
        for (const auto& other : c.owner().controls()) {
            if (other.get() == &c) return id;
            ++id;
        }
        return -1;
    }
    static LONG_PTR Style(HWND h) { return GetWindowLongPtrA(h, GWL_STYLE); }
    static LONG_PTR ExStyle(HWND h) { return GetWindowLongPtrA(h, GWL_EXSTYLE); }
    static std::string Text(HWND h) {
        char buffer[256] = {};
        GetWindowTextA(h, buffer, sizeof buffer);
        return buffer;
    }
};

TEST_F(NativeForms, ClientAreaAndBorderFollowTheModel) {
    Window single("frmA", "Vexlo Router Stats", 5340, 555, BorderStyle::FixedSingle);
    RECT client;
    GetClientRect(H(single), &client);
    EXPECT_EQ(client.right, 356);
    EXPECT_EQ(client.bottom, 37);
    EXPECT_TRUE(Style(H(single)) & WS_MINIMIZEBOX);
    EXPECT_FALSE(Style(H(single)) & WS_MAXIMIZEBOX);
    EXPECT_FALSE(Style(H(single)) & WS_THICKFRAME);
    EXPECT_EQ(Text(H(single)), "Vexlo Router Stats");

    Window dialog("frmB", "Router Details", 3270, 1095, BorderStyle::FixedDialog);
    GetClientRect(H(dialog), &client);
    EXPECT_EQ(client.right, 218);
    EXPECT_EQ(client.bottom, 73);
    EXPECT_FALSE(Style(H(dialog)) & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX));
    EXPECT_TRUE(Style(H(dialog)) & WS_SYSMENU);

    Window tool("frmC", "Logged Statistics", 4680, 1530, BorderStyle::FixedToolWindow);
    EXPECT_TRUE(ExStyle(H(tool)) & WS_EX_TOOLWINDOW);

    Window hidden("frmD", "Sys Tray Interface", 1, 1, BorderStyle::Hidden);
    hidden.show();
    EXPECT_FALSE(IsWindowVisible(H(hidden)));
}

TEST_F(NativeForms, CaptionsGoOutInTheAnsiCodePage) {
    Window w("frmA", "x", 1500, 1500, BorderStyle::FixedSingle);
    w.setCaption("Caf\xC3\xA9");
    EXPECT_EQ(Text(H(w)), "Caf\xE9");
}

TEST_F(NativeForms, ACentredWindowOpensInTheMiddleOfTheWorkArea) {
    Window w("frmA", "x", 4680, 1530, BorderStyle::FixedToolWindow);
    w.centred = true;
    w.show();
    RECT r, area;
    GetWindowRect(H(w), &r);
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    EXPECT_NEAR((r.left + r.right) / 2, (area.left + area.right) / 2, 1);
    EXPECT_NEAR((r.top + r.bottom) / 2, (area.top + area.bottom) / 2, 1);
    EXPECT_TRUE(IsWindowVisible(H(w)));
}

TEST_F(NativeForms, MinimisingCanHideTheWindowAndShowingBringsItBackAtNormalSize) {
    Window w("frmMain", "x", 5340, 555, BorderStyle::FixedSingle);
    std::vector<WindowState> seen;
    w.onResize = [&] {
        seen.push_back(w.windowState());
        if (w.windowState() == WindowState::Minimized) {  // as the monitor window does
            w.hide();
            w.setWindowState(WindowState::Normal);
        }
    };
    w.show();
    SendMessageA(H(w), WM_SYSCOMMAND, SC_MINIMIZE, 0);
    EXPECT_FALSE(IsWindowVisible(H(w)));
    ASSERT_GE(seen.size(), 1u);
    EXPECT_EQ(seen.front(), WindowState::Minimized);
    w.show();
    EXPECT_TRUE(IsWindowVisible(H(w)));
    EXPECT_FALSE(IsIconic(H(w)));
    EXPECT_EQ(w.windowState(), WindowState::Normal);
}

TEST_F(NativeForms, TextBoxesAndComboBoxesCarryTextBothWays) {
    Window w("frmLogIn", "x", 3270, 1095, BorderStyle::FixedDialog);
    TextBox& ip = w.addTextBox("txtIP", Twips{750, 0, 1245, 255}, "192.168.0.1");
    TextBox& password = w.addTextBox("txtPassword", Twips{750, 510, 1245, 255}, "");
    password.setPasswordChar('*');
    ComboBox& speed = w.addComboBox("selSpeed", Twips{750, 780, 1245, 315}, "512");
    speed.addItem("2meg");
    speed.addItem("512");
    int changes = 0;
    ip.onChange = [&] { ++changes; };

    EXPECT_EQ(Text(H(ip)), "192.168.0.1");
    ip.setText("127.0.0.5");  // by the program
    EXPECT_EQ(Text(H(ip)), "127.0.0.5");
    EXPECT_EQ(changes, 1);
    SetWindowTextA(H(ip), "127.0.0.6");  // as if typed
    EXPECT_EQ(ip.text(), "127.0.0.6");
    EXPECT_EQ(changes, 2);

    EXPECT_EQ(SendMessageA(H(password), EM_GETPASSWORDCHAR, 0, 0), '*');

    EXPECT_EQ(SendMessageA(H(speed), CB_GETCOUNT, 0, 0), 2);
    EXPECT_EQ(Text(H(speed)), "512");
    speed.setText("anything");
    EXPECT_EQ(Text(H(speed)), "anything");
    // The user picks the first entry of the list.
    SendMessageA(H(speed), CB_SETCURSEL, 0, 0);
    SendMessageA(H(w), WM_COMMAND, MAKEWPARAM(Id(speed), CBN_SELCHANGE), reinterpret_cast<LPARAM>(H(speed)));
    EXPECT_EQ(speed.text(), "2meg");
}

TEST_F(NativeForms, ButtonsCheckBoxesAndBars) {
    Window w("frmA", "x", 5340, 1500, BorderStyle::FixedSingle);
    CommandButton& go = w.addButton("cmdGo", Twips{2040, 30, 1215, 1065}, "Start Monitor");
    CheckBox& box = w.addCheckBox("chk9106", Twips{30, 1110, 3105, 195}, "I have a 9106 Wireless Model");
    ProgressBar& bar = w.addProgressBar("barIncoming", Twips{420, 270, 3225, 255}, 0, 262144);
    int clicks = 0;
    go.onClick = [&] { ++clicks; };
    w.show();

    SendMessageA(H(go), BM_CLICK, 0, 0);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(Text(H(go)), "Start Monitor");

    SendMessageA(H(box), BM_CLICK, 0, 0);
    EXPECT_EQ(box.value(), 1);
    EXPECT_EQ(SendMessageA(H(box), BM_GETCHECK, 0, 0), BST_CHECKED);
    SendMessageA(H(box), BM_CLICK, 0, 0);
    EXPECT_EQ(box.value(), 0);
    box.setValue(2);
    EXPECT_EQ(SendMessageA(H(box), BM_GETCHECK, 0, 0), BST_INDETERMINATE);

    bar.setMax(65536);
    bar.setValue(32768);
    EXPECT_EQ(SendMessageA(H(bar), PBM_GETPOS, 0, 0), 5000);  // half of the native range
    bar.setValue(65536);
    EXPECT_EQ(SendMessageA(H(bar), PBM_GETPOS, 0, 0), 10000);
    bar.setValue(0);
    EXPECT_EQ(SendMessageA(H(bar), PBM_GETPOS, 0, 0), 0);
}

TEST_F(NativeForms, LabelsShowTheirCaptionFontAndVisibility) {
    Window w("frmA", "x", 5340, 2500, BorderStyle::FixedSingle);
    Label& figure = w.addLabel("lblBytesIn", Twips{4320, 300, 975, 255}, "");
    figure.setFont(Font{"MS Sans Serif", 8.25, true});
    Label& handOver = w.addLabel("lblIncoming", Twips{1410, 1860, 1245, 225}, "");
    handOver.setVisible(false);
    w.show();
    figure.setCaption("300k/s");
    EXPECT_EQ(Text(H(figure)), "300k/s");
    LOGFONTA font{};
    GetObjectA(reinterpret_cast<HFONT>(SendMessageA(H(figure), WM_GETFONT, 0, 0)), sizeof font, &font);
    EXPECT_EQ(font.lfWeight, FW_BOLD);
    EXPECT_STREQ(font.lfFaceName, "MS Sans Serif");
    EXPECT_EQ(font.lfHeight, -11);  // 8.25 points at 96 dpi
    EXPECT_FALSE(IsWindowVisible(H(handOver)));
    handOver.setCaption("1532");
    EXPECT_EQ(Text(H(handOver)), "1532");
}

TEST_F(NativeForms, LabelsLieUnderTheControlsTheyReachUnder) {
    // As in the router details dialog: each label is wider than the room
    // before its text box, which must stay whole on top of it.
    Window w("frmLogIn", "x", 3270, 1095, BorderStyle::FixedDialog);
    Label& l1 = w.addLabel("Label1", Twips{0, 30, 1245, 225}, "Router IP:");
    TextBox& ip = w.addTextBox("txtIP", Twips{750, 0, 1245, 255}, "192.168.0.1");
    Label& l2 = w.addLabel("Label2", Twips{0, 270, 1245, 225}, "Username:");
    TextBox& user = w.addTextBox("txtUser", Twips{750, 240, 1245, 255}, "admin");
    CommandButton& go = w.addButton("cmdGo", Twips{2040, 30, 1215, 1065}, "Start Monitor");
    std::vector<HWND> zOrder;  // top first
    for (HWND h = GetWindow(H(w), GW_CHILD); h != nullptr; h = GetWindow(h, GW_HWNDNEXT)) zOrder.push_back(h);
    auto position = [&](const Control& c) { return std::find(zOrder.begin(), zOrder.end(), H(c)) - zOrder.begin(); };
    EXPECT_LT(position(ip), position(l1));
    EXPECT_LT(position(ip), position(l2));
    EXPECT_LT(position(user), position(l1));
    // The controls with windows keep the order they were made in: the tab order.
    EXPECT_LT(position(ip), position(user));
    EXPECT_LT(position(user), position(go));
    EXPECT_EQ(GetNextDlgTabItem(H(w), H(ip), FALSE), H(user));
}

TEST_F(NativeForms, KeyPreviewHandsAControlsKeysToTheFormFirst) {
    Window preview("frmLogIn", "x", 3270, 1095, BorderStyle::FixedDialog);
    preview.keyPreview = true;
    TextBox& inPreview = preview.addTextBox("txtIP", Twips{750, 0, 1245, 255}, "");
    Window plain("frmOther", "x", 3270, 1095, BorderStyle::FixedDialog);
    TextBox& inPlain = plain.addTextBox("txtIP", Twips{750, 0, 1245, 255}, "");
    std::vector<int> previewKeys, plainKeys;
    preview.onKeyUp = [&](int key, int) { previewKeys.push_back(key); };
    plain.onKeyUp = [&](int key, int) { plainKeys.push_back(key); };

    PostMessageA(H(inPreview), WM_KEYUP, VK_RETURN, 0xC0000001);
    PostMessageA(H(inPlain), WM_KEYUP, VK_RETURN, 0xC0000001);
    PumpFor(100);
    EXPECT_EQ(previewKeys, std::vector<int>{13});
    EXPECT_TRUE(plainKeys.empty());
}

TEST_F(NativeForms, TheFormHearsItsOwnKeyPresses) {
    Window w("frmMain", "x", 5340, 555, BorderStyle::FixedSingle);
    std::vector<int> keys;
    w.onKeyPress = [&](int& key) { keys.push_back(key); };
    PostMessageA(H(w), WM_CHAR, ' ', 0x00390001);
    PumpFor(100);
    EXPECT_EQ(keys, std::vector<int>{32});
}

TEST_F(NativeForms, TimersTickUntilDisabledAndNeverIntoAGoneWindow) {
    int ticks = 0;
    {
        Window w("frmMain", "x", 5340, 555, BorderStyle::FixedSingle);
        Timer& timer = w.addTimer("Timer", 20);
        timer.onTimer = [&] { ++ticks; };
        ASSERT_TRUE(PumpUntil([&] { return ticks >= 2; }));
        timer.setEnabled(false);
        int stopped = ticks;
        PumpFor(120);
        EXPECT_EQ(ticks, stopped);
        timer.setEnabled(true);
        ASSERT_TRUE(PumpUntil([&] { return ticks > stopped; }));
        w.destroy();  // what an unload does
        stopped = ticks;
        PumpFor(120);
        EXPECT_EQ(ticks, stopped);
        timer.setEnabled(true);  // the window is still there, so it ticks again
    }
    int gone = ticks;
    PumpFor(120);
    EXPECT_EQ(ticks, gone);
}

// The system menu's items after the standard ones: "-" for a separator.
std::vector<std::string> LastItems(HMENU menu, int count) {
    std::vector<std::string> items;
    const int total = GetMenuItemCount(menu);
    for (int i = std::max(0, total - count); i < total; ++i) {
        char text[64] = {};
        if (GetMenuStringA(menu, static_cast<UINT>(i), text, sizeof text, MF_BYPOSITION) == 0 &&
            (GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION) & MF_SEPARATOR))
            items.emplace_back("-");
        else
            items.emplace_back(text);
    }
    return items;
}

TEST_F(NativeForms, TheProgramsCommandsAreInTheRealSystemMenu) {
    Window w("frmMain", "x", 5340, 555, BorderStyle::FixedSingle);
    w.show();
    HMENU menu = GetSystemMenu(H(w), FALSE);
    ASSERT_NE(menu, nullptr);
    const int standard = GetMenuItemCount(menu);
    const LONG_PTR formProc = GetWindowLongPtrA(H(w), GWLP_WNDPROC);
    std::vector<std::string> ran;
    w.addSystemSeparator();
    w.addSystemCommand("Always on top", [&] { ran.push_back("top"); });
    w.addSystemCommand("Statistics", [&] { ran.push_back("stats"); });
    ASSERT_EQ(GetMenuItemCount(menu), standard + 3);
    EXPECT_EQ(LastItems(menu, 3), (std::vector<std::string>{"-", "Always on top", "Statistics"}));
    // The window procedure is subclassed once there are commands of ours.
    EXPECT_NE(GetWindowLongPtrA(H(w), GWLP_WNDPROC), formProc);

    // Choosing an item: the system sends its id, each id runs its own handler.
    const UINT top = GetMenuItemID(menu, standard + 1);
    const UINT stats = GetMenuItemID(menu, standard + 2);
    EXPECT_NE(top, stats);
    EXPECT_LT(stats, static_cast<UINT>(SC_SIZE));
    SendMessageA(H(w), WM_SYSCOMMAND, stats, 0);
    SendMessageA(H(w), WM_SYSCOMMAND, top, 0);
    EXPECT_EQ(ran, (std::vector<std::string>{"stats", "top"}));

    // A command added later joins the end; the earlier ones are not repeated.
    w.addSystemCommand("Later", [&] { ran.push_back("later"); });
    ASSERT_EQ(GetMenuItemCount(menu), standard + 4);
    EXPECT_EQ(LastItems(menu, 4), (std::vector<std::string>{"-", "Always on top", "Statistics", "Later"}));
    SendMessageA(H(w), WM_SYSCOMMAND, GetMenuItemID(menu, standard + 3), 0);
    EXPECT_EQ(ran.back(), "later");
}

// A command with a check mark shows the model's state, and the model may set
// it just before the menu opens.
TEST_F(NativeForms, ACheckedSystemCommandFollowsTheModel) {
    Window w("frmMain", "x", 5340, 555, BorderStyle::FixedSingle);
    w.show();
    HMENU menu = GetSystemMenu(H(w), FALSE);
    ASSERT_NE(menu, nullptr);
    bool onDisk = true;
    std::size_t index = 0;
    w.onSystemMenuOpening = [&] { w.setSystemCommandChecked(index, onDisk); };
    index = w.addSystemCommand(
        "Start at login", [] {}, false);
    const int last = GetMenuItemCount(menu) - 1;
    const UINT id = GetMenuItemID(menu, last);
    EXPECT_EQ(GetMenuState(menu, id, MF_BYCOMMAND) & MF_CHECKED, 0u);
    w.setSystemCommandChecked(index, true);
    EXPECT_EQ(GetMenuState(menu, id, MF_BYCOMMAND) & MF_CHECKED, static_cast<UINT>(MF_CHECKED));
    // The system tells the window its menu is about to open.
    onDisk = false;
    SendMessageA(H(w), WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(menu), MAKELPARAM(0, TRUE));
    EXPECT_EQ(GetMenuState(menu, id, MF_BYCOMMAND) & MF_CHECKED, 0u);
}

TEST_F(NativeForms, TheSubclassedFormStillHearsTheSystemsOwnCommands) {
    Window w("frmMain", "x", 5340, 555, BorderStyle::FixedSingle);
    std::vector<WindowState> states;
    int closes = 0, tops = 0;
    w.onResize = [&] { states.push_back(w.windowState()); };
    w.onCloseRequest = [&] { ++closes; };
    w.addSystemCommand("Always on top", [&] { ++tops; });
    w.show();
    SendMessageA(H(w), WM_SYSCOMMAND, SC_MINIMIZE, 0);
    EXPECT_EQ(states, std::vector<WindowState>{WindowState::Minimized});
    EXPECT_TRUE(IsIconic(H(w)));
    SendMessageA(H(w), WM_SYSCOMMAND, SC_RESTORE, 0);
    EXPECT_EQ(states, (std::vector<WindowState>{WindowState::Minimized, WindowState::Normal}));
    EXPECT_FALSE(IsIconic(H(w)));
    SendMessageA(H(w), WM_SYSCOMMAND, SC_CLOSE, 0);  // the system menu's Close, or Alt+F4
    EXPECT_EQ(closes, 1);
    PostMessageA(H(w), WM_CLOSE, 0, 0);  // the close box
    ASSERT_TRUE(PumpUntil([&] { return closes == 2; }));
    EXPECT_EQ(tops, 0);
    EXPECT_TRUE(IsWindow(H(w))) << "closing is the model's decision";
}

TEST_F(NativeForms, ACommandMayDestroyItsOwnWindow) {
    // Forms put their window's end off until the event is over; even done at
    // once, the subclass procedure must not touch what has gone.
    auto w = std::make_unique<Window>("frmMain", "x", 5340, 555, BorderStyle::FixedSingle);
    HWND h = H(*w);
    int ran = 0;
    w->addSystemCommand("Unload", [&] {
        ++ran;
        w.reset();
    });
    HMENU menu = GetSystemMenu(h, FALSE);
    const UINT unload = GetMenuItemID(menu, GetMenuItemCount(menu) - 1);
    SendMessageA(h, WM_SYSCOMMAND, unload, 0);
    EXPECT_EQ(ran, 1);
    EXPECT_EQ(w, nullptr);
    EXPECT_FALSE(IsWindow(h));
}

TEST_F(NativeForms, AlwaysOnTopIsTheRealZOrder) {
    Window w("frmMain", "x", 5340, 555, BorderStyle::FixedSingle);
    w.show();
    EXPECT_FALSE(ExStyle(H(w)) & WS_EX_TOPMOST);
    w.setAlwaysOnTop(true);
    EXPECT_TRUE(ExStyle(H(w)) & WS_EX_TOPMOST);
    w.setAlwaysOnTop(false);
    EXPECT_FALSE(ExStyle(H(w)) & WS_EX_TOPMOST);
    // Also before the window is first shown.
    Window later("frmMain", "x", 5340, 555, BorderStyle::FixedSingle);
    later.setAlwaysOnTop(true);
    later.show();
    EXPECT_TRUE(ExStyle(H(later)) & WS_EX_TOPMOST);
}

TEST_F(NativeForms, TheEndOfTheSessionClosesTheFormsTheNormalWay) {
    Window w("frmMain", "x", 5340, 555, BorderStyle::FixedSingle);
    int closes = 0;
    w.onCloseRequest = [&] { ++closes; };
    EXPECT_TRUE(SendMessageA(H(w), WM_QUERYENDSESSION, 0, 0));
    SendMessageA(H(w), WM_ENDSESSION, FALSE, 0);  // the session goes on after all
    EXPECT_EQ(closes, 0);
    SendMessageA(H(w), WM_ENDSESSION, TRUE, 0);
    EXPECT_EQ(closes, 1);
}

TEST_F(NativeForms, PostedWorkWaitsForTheRunningHandler) {
    bool ran = false;
    {
        HandlerScope handler;  // as inside a message box opened by a handler
        Post([&] { ran = true; });
        PumpFor(50);
        EXPECT_FALSE(ran);
    }
    Quit();
    RunEventLoop();
    EXPECT_TRUE(ran);
}

std::string g_report;

TEST_F(NativeForms, AnErrorEscapingAHandlerIsReportedNotFatal) {
    // The report is a message box; a timer reads it and closes it.
    Window w("frmA", "x", 1500, 1500, BorderStyle::FixedSingle);
    CommandButton& b = w.addButton("cmd", Twips{0, 0, 1000, 300}, "Go");
    int clicks = 0;
    b.onClick = [&] {
        if (++clicks == 1) throw RuntimeError(kErrInvalidPropertyValue, "Invalid property value");
    };
    g_report.clear();
    SetTimer(nullptr, 0, 300, [](HWND, UINT, UINT_PTR id, ::DWORD) {
        HWND box = FindWindowA("#32770", "vxstat");
        if (box == nullptr) return;
        KillTimer(nullptr, id);
        char text[256] = {};
        GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
        g_report = text;
        PostMessageA(box, WM_COMMAND, IDOK, 0);
    });
    SendMessageA(H(b), BM_CLICK, 0, 0);  // returns once the report is closed
    EXPECT_NE(g_report.find("Run-time error '380'"), std::string::npos) << g_report;
    SendMessageA(H(b), BM_CLICK, 0, 0);  // and the program goes on
    EXPECT_EQ(clicks, 2);
}

}  // namespace
}  // namespace vx::platform::win32
