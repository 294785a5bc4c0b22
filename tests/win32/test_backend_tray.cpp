// The notification-area icon through the seam: the shell's record and tip,
// the callbacks as events, the popup menu, an icon destroyed from inside its
// own event, Explorer coming back; and the pictures the icons are made of.
#include "tests/win32/support.h"

#include <string>
#include <vector>

namespace vx::platform::win32 {
namespace {

using test::PumpUntil;

PictureHandle SolidPicture(std::uint32_t rgb) {
    return CreatePicture(16, 16, std::vector<std::uint32_t>(16 * 16, rgb));
}

// Whether the shell has an icon of ours with this id: changing its tip works
// only then.
bool Shown(UINT id) {
    NOTIFYICONDATAA data = ShellRecord(Backend().trayWindow, id, nullptr, "probe");
    data.uFlags = NIF_TIP;
    return Shell_NotifyIconA(NIM_MODIFY, &data) != FALSE;
}

// What a test saw, in order: "pressed 1", "released 2", "double 4", "menu 3".
struct Recorder {
    std::vector<std::string> seen;
    TrayEvents events() {
        TrayEvents e;
        e.pressed = [this](MouseButton b) { seen.push_back("pressed " + std::to_string(static_cast<int>(b))); };
        e.released = [this](MouseButton b) { seen.push_back("released " + std::to_string(static_cast<int>(b))); };
        e.doubleClicked = [this](MouseButton b) { seen.push_back("double " + std::to_string(static_cast<int>(b))); };
        e.menuChosen = [this](int index) { seen.push_back("menu " + std::to_string(index)); };
        return e;
    }
};

void Callback(const TrayIcon& icon, UINT mouseMessage) {
    SendMessageA(Backend().trayWindow, kTrayCallback, TrayIconId(icon), static_cast<LPARAM>(mouseMessage));
}

class Tray : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        int argc = 0;
        InitApplication(argc, nullptr);
    }
};

TEST(TrayTip, IsTheAnsiTextCutTo63Bytes) {
    EXPECT_EQ(ShellTip("vxstat", 1252), "vxstat");
    EXPECT_EQ(ShellTip("", 1252), "");
    EXPECT_EQ(ShellTip(std::string(63, 'x'), 1252), std::string(63, 'x'));
    EXPECT_EQ(ShellTip(std::string(64, 'x'), 1252), std::string(63, 'x'));
    EXPECT_EQ(ShellTip(std::string(200, 'x'), 1252), std::string(63, 'x'));
    // In a single-byte code page every byte is a whole character.
    EXPECT_EQ(ShellTip(std::string(70, '\x82'), 1252), std::string(63, '\x82'));
}

TEST(TrayTip, NeverEndsOnHalfADoubleByteCharacter) {
    // "日" in Shift-JIS is 0x93 0xFA: two bytes, the first a lead byte.
    std::string kanji;
    for (int i = 0; i < 40; ++i) kanji += "\x93\xFA";
    // 31 whole characters make 62 bytes; the 32nd would end at byte 64.
    EXPECT_EQ(ShellTip(kanji, 932), kanji.substr(0, 62));
    // One ASCII letter first: then 31 characters end exactly at byte 63.
    std::string lettered(1, 'a');
    lettered += kanji;
    EXPECT_EQ(ShellTip(lettered, 932), lettered.substr(0, 63));
    // Mixed: whatever is kept decodes to a prefix of the text, without a
    // dangling lead byte.
    std::string mixed;
    for (int i = 0; i < 60; ++i) mixed += (i % 3 == 0) ? std::string("b") : std::string("\x93\xFA");
    const std::string cut = ShellTip(mixed, 932);
    ASSERT_LE(cut.size(), 63u);
    EXPECT_GE(cut.size(), 62u);
    EXPECT_EQ(mixed.compare(0, cut.size(), cut), 0);
    EXPECT_GT(MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, cut.data(), static_cast<int>(cut.size()), nullptr, 0), 0)
        << "the cut left half a character";
    // The same bytes in a single-byte code page are cut at 63.
    EXPECT_EQ(ShellTip(kanji, 1252).size(), 63u);
}

TEST(TrayRecordLayout, IsTheFirstOneWithTheTipInTheCodePage) {
    NOTIFYICONDATAA r = ShellRecord(reinterpret_cast<HWND>(0x1234), 7, reinterpret_cast<HICON>(0x9abc), "caf\xC3\xA9");
    EXPECT_EQ(r.cbSize, static_cast<DWORD>(NOTIFYICONDATAA_V1_SIZE));
    EXPECT_EQ(r.cbSize, 104u);  // 88 on 32-bit Windows; 64-bit handles make it 104
    EXPECT_EQ(r.hWnd, reinterpret_cast<HWND>(0x1234));
    EXPECT_EQ(r.uID, 7u);
    EXPECT_EQ(r.uFlags, static_cast<UINT>(NIF_MESSAGE | NIF_ICON | NIF_TIP));
    EXPECT_EQ(r.uCallbackMessage, kTrayCallback);
    EXPECT_EQ(r.hIcon, reinterpret_cast<HICON>(0x9abc));
    EXPECT_STREQ(r.szTip, "caf\xE9");  // code page 1252 under Wine's default locale
    // A long tip is cut and still ends in a NUL inside the first layout's 64 bytes.
    r = ShellRecord(nullptr, 1, nullptr, std::string(100, 'y'));
    EXPECT_EQ(std::string(r.szTip), std::string(63, 'y'));
}

TEST_F(Tray, TheIconIsShownWhileTheObjectLives) {
    auto icon = CreateTrayIcon(SolidPicture(0xFFFFFF), "vxstat", {});
    const UINT id = TrayIconId(*icon);
    ASSERT_NE(id, 0u);
    ASSERT_TRUE(Shown(id)) << "no notification area";
    auto other = CreateTrayIcon(SolidPicture(0x87FF1D), "second", {});
    EXPECT_NE(TrayIconId(*other), id);
    EXPECT_TRUE(Shown(TrayIconId(*other)));
    icon->setPicture(SolidPicture(0x000000));
    icon->setTip("changed");
    EXPECT_TRUE(Shown(id));
    icon.reset();
    EXPECT_FALSE(Shown(id));
    EXPECT_TRUE(Shown(TrayIconId(*other)));
}

TEST_F(Tray, TheShellsMouseMessagesAreTheEvents) {
    Recorder r;
    auto icon = CreateTrayIcon(SolidPicture(0xFFFFFF), "vxstat", r.events());
    for (UINT m : {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_RBUTTONDOWN, WM_RBUTTONUP, WM_RBUTTONDBLCLK,
                   WM_MBUTTONDOWN, WM_MBUTTONUP, WM_MBUTTONDBLCLK, WM_MOUSEMOVE})
        Callback(*icon, m);
    EXPECT_EQ(r.seen, (std::vector<std::string>{"pressed 1", "released 1", "double 1", "pressed 2", "released 2",
                                                "double 2", "pressed 4", "released 4", "double 4"}));
    // Another icon's id, or an icon gone, reaches nobody.
    r.seen.clear();
    SendMessageA(Backend().trayWindow, kTrayCallback, TrayIconId(*icon) + 1000, WM_LBUTTONUP);
    const UINT id = TrayIconId(*icon);
    icon.reset();
    SendMessageA(Backend().trayWindow, kTrayCallback, id, WM_LBUTTONUP);
    EXPECT_TRUE(r.seen.empty());
}

TEST_F(Tray, TheIconMayBeDestroyedFromInsideItsOwnEvent) {
    std::unique_ptr<TrayIcon> icon;
    std::vector<std::string> seen;
    TrayEvents events;
    // As the tray form's unload from a click: the icon goes, then the
    // handler goes on using what it captured.
    events.released = [&, text = std::string("still here")](MouseButton) {
        icon.reset();
        seen.push_back(text);
    };
    icon = CreateTrayIcon(SolidPicture(0xFFFFFF), "vxstat", std::move(events));
    const UINT id = TrayIconId(*icon);
    SendMessageA(Backend().trayWindow, kTrayCallback, id, WM_LBUTTONUP);
    EXPECT_EQ(icon, nullptr);
    EXPECT_EQ(seen, std::vector<std::string>{"still here"});
    EXPECT_FALSE(Shown(id));
    SendMessageA(Backend().trayWindow, kTrayCallback, id, WM_LBUTTONUP);
    EXPECT_EQ(seen.size(), 1u);
}

TEST_F(Tray, EndTakesEveryIconDown) {
    auto first = CreateTrayIcon(SolidPicture(0xFFFFFF), "one", {});
    auto second = CreateTrayIcon(SolidPicture(0xFFFFFF), "two", {});
    ASSERT_TRUE(Shown(TrayIconId(*first))) << "no notification area";
    RemoveTrayIcons();  // what End() does before the process goes
    EXPECT_FALSE(Shown(TrayIconId(*first)));
    EXPECT_FALSE(Shown(TrayIconId(*second)));
    first.reset();  // and the objects may still go afterwards
    second.reset();
}

TEST_F(Tray, ARestartedTaskbarGetsTheIconsBack) {
    auto icon = CreateTrayIcon(SolidPicture(0xFFFFFF), "vxstat", {});
    const UINT id = TrayIconId(*icon);
    ASSERT_TRUE(Shown(id)) << "no notification area";
    // The old taskbar went with its icons.
    NOTIFYICONDATAA data = ShellRecord(Backend().trayWindow, id, nullptr, "");
    ASSERT_TRUE(Shell_NotifyIconA(NIM_DELETE, &data));
    ASSERT_FALSE(Shown(id));
    // The new one says it is there, to every top-level window.
    SendMessageA(Backend().trayWindow, RegisterWindowMessageA("TaskbarCreated"), 0, 0);
    EXPECT_TRUE(Shown(id));
}

// While a popup menu is open: its items as shown, its default, and a pick by
// the item's letter. Read from a timer, since the menu's loop is running; a
// pick that does not close the menu is followed by Escape.
struct OpenMenu {
    static inline std::vector<std::string> items;
    static inline std::vector<bool> greyed;  // of the items that are not separators
    static inline UINT defaultPosition = 0;
    static inline char pick = 0;
    static inline bool seen = false;
};

HWND VisibleMenu() {
    HWND menuWindow = FindWindowA("#32768", nullptr);
    return menuWindow && IsWindowVisible(menuWindow) ? menuWindow : nullptr;
}

void CALLBACK ReadAndPick(HWND, UINT, UINT_PTR, DWORD) {
    HWND menuWindow = VisibleMenu();
    if (menuWindow == nullptr) return;  // not open yet, or closed
    if (OpenMenu::seen) {
        PostMessageA(Backend().trayWindow, WM_KEYDOWN, VK_ESCAPE, 0);
        return;
    }
    HMENU menu = reinterpret_cast<HMENU>(SendMessageA(menuWindow, MN_GETHMENU, 0, 0));
    if (menu == nullptr) return;
    OpenMenu::seen = true;
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        MENUITEMINFOA info{};
        info.cbSize = sizeof info;
        info.fMask = MIIM_FTYPE | MIIM_STATE;
        GetMenuItemInfoA(menu, static_cast<UINT>(i), TRUE, &info);
        char text[64] = {};
        if (!(info.fType & MFT_SEPARATOR)) GetMenuStringA(menu, static_cast<UINT>(i), text, sizeof text, MF_BYPOSITION);
        OpenMenu::items.push_back(info.fType & MFT_SEPARATOR ? "-" : text);
        if (!(info.fType & MFT_SEPARATOR)) OpenMenu::greyed.push_back((info.fState & MFS_GRAYED) != 0);
    }
    OpenMenu::defaultPosition = GetMenuDefaultItem(menu, TRUE, 0);
    PostMessageA(Backend().trayWindow, WM_CHAR, static_cast<WPARAM>(OpenMenu::pick), 0);
}

void OpenAndPick(TrayIcon& icon, char letter) {
    OpenMenu::items.clear();
    OpenMenu::greyed.clear();
    OpenMenu::defaultPosition = static_cast<UINT>(-1);
    OpenMenu::pick = letter;
    OpenMenu::seen = false;
    const UINT_PTR timer = SetTimer(nullptr, 0, 50, ReadAndPick);
    icon.popUpMenu();  // returns once the menu has closed
    KillTimer(nullptr, timer);
}

TEST_F(Tray, ThePopupMenuShowsTheVisibleItemsAndReportsThePick) {
    Recorder r;
    auto icon = CreateTrayIcon(SolidPicture(0xFFFFFF), "vxstat", r.events());
    TrayMenu menu;
    menu.items = {{"&Open vxStat", true, true},
                  {"&Hidden", false, true},
                  {"-", true, true},
                  {"&Statistics", true, false},
                  {"&Close", true, true}};
    menu.defaultIndex = 0;
    icon->setMenu(menu);
    OpenAndPick(*icon, 'c');
    ASSERT_TRUE(OpenMenu::seen) << "no menu opened";
    EXPECT_EQ(OpenMenu::items, (std::vector<std::string>{"&Open vxStat", "-", "&Statistics", "&Close"}));
    EXPECT_EQ(OpenMenu::greyed, (std::vector<bool>{false, true, false}));
    EXPECT_EQ(OpenMenu::defaultPosition, 0u);
    // The index is the model's, counting the hidden item.
    EXPECT_EQ(r.seen, std::vector<std::string>{"menu 4"});

    // A disabled item cannot be chosen; a default that is hidden is none.
    r.seen.clear();
    menu.defaultIndex = 1;
    icon->setMenu(menu);
    OpenAndPick(*icon, 's');
    ASSERT_TRUE(OpenMenu::seen);
    EXPECT_EQ(OpenMenu::defaultPosition, static_cast<UINT>(-1));
    EXPECT_TRUE(r.seen.empty());
}

TEST_F(Tray, ChoosingCloseMayDestroyTheIconWhoseMenuItWas) {
    std::unique_ptr<TrayIcon> icon;
    std::vector<int> chosen;
    TrayEvents events;
    events.pressed = [&](MouseButton b) {
        if (b == MouseButton::Right) OpenAndPick(*icon, 'c');  // as the monitor does
    };
    events.menuChosen = [&](int index) {
        icon.reset();  // the tray form unloads
        chosen.push_back(index);
    };
    icon = CreateTrayIcon(SolidPicture(0xFFFFFF), "vxstat", std::move(events));
    const UINT id = TrayIconId(*icon);
    icon->setMenu(TrayMenu{{{"&Open vxStat", true, true}, {"-", true, true}, {"&Close", true, true}}, 0});
    SendMessageA(Backend().trayWindow, kTrayCallback, id, WM_RBUTTONDOWN);
    ASSERT_TRUE(OpenMenu::seen) << "no menu opened";
    EXPECT_EQ(chosen, std::vector<int>{2});
    EXPECT_EQ(icon, nullptr);
    EXPECT_FALSE(Shown(id));
}

TEST_F(Tray, AnIconDestroyedWhileItsMenuIsOpenClosesTheMenuAndReportsNothing) {
    static std::unique_ptr<TrayIcon> icon;
    static int chosen;
    chosen = 0;
    TrayEvents events;
    events.menuChosen = [](int) { ++chosen; };
    icon = CreateTrayIcon(SolidPicture(0xFFFFFF), "vxstat", std::move(events));
    const UINT id = TrayIconId(*icon);
    icon->setMenu(TrayMenu{{{"&Close", true, true}}, 0});
    // Some other event (a timer's tick) unloads the tray form meanwhile.
    const UINT_PTR timer = SetTimer(nullptr, 0, 50, [](HWND, UINT, UINT_PTR, DWORD) {
        if (VisibleMenu() && icon) icon.reset();
    });
    TrayIcon* raw = icon.get();
    raw->popUpMenu();  // returns: the menu closed with its icon
    KillTimer(nullptr, timer);
    EXPECT_EQ(icon, nullptr);
    EXPECT_EQ(chosen, 0);
    EXPECT_FALSE(Shown(id));
    EXPECT_TRUE(PumpUntil([] { return VisibleMenu() == nullptr; }));
}

TEST(Pictures, AreOpaqueIconsOfTheGivenPixels) {
    std::vector<std::uint32_t> pixels(32 * 32, 0xFFFFFF);
    for (int x = 0; x < 32; ++x) pixels[31 * 32 + x] = 0x87FF1D;  // the bottom row green
    HICON icon = NativeIcon(CreatePicture(32, 32, pixels));
    ASSERT_NE(icon, nullptr);
    HDC dc = CreateCompatibleDC(nullptr);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = 32;
    info.bmiHeader.biHeight = -32;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP target = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(dc, target);
    RECT all{0, 0, 32, 32};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    DrawIconEx(dc, 0, 0, icon, 32, 32, 0, nullptr, DI_NORMAL);
    GdiFlush();
    auto* drawn = static_cast<std::uint32_t*>(bits);
    EXPECT_EQ(drawn[0] & 0xFFFFFF, 0xFFFFFFu);            // white, not the black beneath
    EXPECT_EQ(drawn[31 * 32 + 5] & 0xFFFFFF, 0x87FF1Du);  // red 135, green 255, blue 29
    SelectObject(dc, old);
    DeleteObject(target);
    DeleteDC(dc);
    // Sizes that make no picture make none.
    EXPECT_EQ(CreatePicture(0, 16, {}), 0);
    EXPECT_EQ(CreatePicture(16, 16, std::vector<std::uint32_t>(10)), 0);
}

}  // namespace
}  // namespace vx::platform::win32
