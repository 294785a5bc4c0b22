// The notification-area record as the shell gets it, the tray callback told
// apart from real mouse moves, the pictures and the popup menu.
#include "tests/win32/support.h"

#include <cstring>

namespace vx::platform::win32 {
namespace {

using test::PumpFor;

ModelNotifyIconData ModelRecord(const char* tip, std::size_t tipBytes) {
    ModelNotifyIconData m{};
    m.cbSize = 88;
    m.hWnd = 0x1234;
    m.uID = 0x5678;
    m.uFlags = 7;
    m.uCallbackMessage = 512;
    m.hIcon = 0x9abc;
    std::memset(m.szTip, ' ', 64);
    std::memcpy(m.szTip, tip, tipBytes);
    return m;
}

TEST(ShellRecord, IsTheFirstLayoutWithThisPlatformsSize) {
    NOTIFYICONDATAA r = ShellRecord(ModelRecord("vxStats", 8));
    EXPECT_EQ(r.cbSize, 104u);  // 88 on 32-bit Windows; 64-bit handles make it 104
    EXPECT_EQ(r.hWnd, reinterpret_cast<::HWND>(0x1234));
    EXPECT_EQ(r.uID, 0x5678u);
    EXPECT_EQ(r.uFlags, 7u);
    EXPECT_EQ(r.uCallbackMessage, 512u);
    EXPECT_EQ(r.hIcon, reinterpret_cast<::HICON>(0x9abc));
    EXPECT_STREQ(r.szTip, "vxStats");
}

TEST(ShellRecord, TooltipEndsAtItsNulOrIsCutToFit) {
    // 64 characters with no NUL: the shell's field keeps the first 63 and its end.
    std::string full(64, 'x');
    NOTIFYICONDATAA r = ShellRecord(ModelRecord(full.data(), 64));
    EXPECT_EQ(std::string(r.szTip), std::string(63, 'x'));
    // An empty tooltip.
    r = ShellRecord(ModelRecord("", 1));
    EXPECT_STREQ(r.szTip, "");
    // UTF-8 in the component, the code page at the shell.
    r = ShellRecord(ModelRecord("caf\xC3\xA9", 6));
    EXPECT_STREQ(r.szTip, "caf\xE9");
}

TEST(TrayCallback, OnlyTheShellsMessagesForAddedIconsCount) {
    int argc = 0;
    InitApplication(argc, nullptr);
    Window tray("frmSysTray", "Sys Tray Interface", 1, 1, BorderStyle::Hidden);
    std::vector<float> xs;
    tray.onMouseMove = [&](int, int, float x, float) { xs.push_back(x); };

    ModelNotifyIconData record = ModelRecord("vxStats", 8);
    record.hWnd = tray.hWnd();
    record.hIcon = CreatePicture(32, 32, std::vector<std::uint32_t>(32 * 32, 0x87FF1D));
    record.uID = static_cast<UINT>(record.hIcon);
    ASSERT_TRUE(Shell_NotifyIconA(0, &record)) << "no notification area";

    ::HWND h = Native(tray.hWnd());
    // The shell: the icon's id in wParam, the mouse message in lParam.
    ::SendMessageA(h, WM_MOUSEMOVE, record.uID, WM_RBUTTONDOWN);
    // A real mouse move: key flags and coordinates.
    ::SendMessageA(h, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(516, 2));
    // Another icon's id.
    ::SendMessageA(h, WM_MOUSEMOVE, record.uID + 1, WM_LBUTTONUP);
    ASSERT_EQ(xs.size(), 1u);
    EXPECT_EQ(xs[0], 516.0f * 15);  // the form runtime's X in twips

    Shell_NotifyIconA(2, &record);
    ::SendMessageA(h, WM_MOUSEMOVE, record.uID, WM_RBUTTONDOWN);
    EXPECT_EQ(xs.size(), 1u);  // deleted: no longer ours
}

TEST(TrayCallback, AnEndingProgramTakesItsIconsDown) {
    int argc = 0;
    InitApplication(argc, nullptr);
    Window tray("frmSysTray", "Sys Tray Interface", 1, 1, BorderStyle::Hidden);
    ModelNotifyIconData record = ModelRecord("vxStats", 8);
    record.hWnd = tray.hWnd();
    record.hIcon = CreatePicture(32, 32, std::vector<std::uint32_t>(32 * 32, 0xFFFFFF));
    record.uID = 77;
    ASSERT_TRUE(Shell_NotifyIconA(0, &record)) << "no notification area";
    RemoveTrayIcons();  // what End() does before the process goes
    record.uFlags = 4;
    EXPECT_FALSE(Shell_NotifyIconA(1, &record)) << "the icon is still there";
    EXPECT_FALSE(IsTrayCallback(Native(tray.hWnd()), 77, WM_RBUTTONDOWN));
}

TEST(Pictures, AreOpaqueIconsOfTheGivenPixels) {
    std::vector<std::uint32_t> pixels(32 * 32, 0xFFFFFF);
    for (int x = 0; x < 32; ++x) pixels[31 * 32 + x] = 0x87FF1D;  // the bottom row green
    ::HICON icon = reinterpret_cast<::HICON>(CreatePicture(32, 32, pixels));
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
}

TEST(PopupMenu, ShowsTheItemsWithTheDefaultAndReturnsThePick) {
    int argc = 0;
    InitApplication(argc, nullptr);
    Window owner("frmSysTray", "Sys Tray Interface", 1, 1, BorderStyle::Hidden);
    static ::HWND s_owner;
    static std::vector<std::string> s_items;
    static UINT s_default;
    s_owner = Native(owner.hWnd());
    s_items.clear();
    // While the menu is open: read it, then pick "&Close" by its letter.
    SetTimer(nullptr, 0, 200, [](::HWND, UINT, UINT_PTR id, ::DWORD) {
        KillTimer(nullptr, id);
        ::HWND menuWindow = FindWindowA("#32768", nullptr);
        ::HMENU menu = menuWindow ? reinterpret_cast<::HMENU>(::SendMessageA(menuWindow, MN_GETHMENU, 0, 0)) : nullptr;
        if (menu) {
            for (int i = 0; i < GetMenuItemCount(menu); ++i) {
                char text[64] = {};
                MENUITEMINFOA info{};
                info.cbSize = sizeof info;
                info.fMask = MIIM_FTYPE;
                GetMenuItemInfoA(menu, static_cast<UINT>(i), TRUE, &info);
                if (info.fType & MFT_SEPARATOR) {
                    s_items.push_back("-");
                } else {
                    GetMenuStringA(menu, static_cast<UINT>(i), text, sizeof text, MF_BYPOSITION);
                    s_items.push_back(text);
                }
            }
            s_default = GetMenuDefaultItem(menu, TRUE, 0);
        }
        PostMessageA(s_owner, WM_CHAR, 'c', 0);
    });
    std::vector<MenuItem> items{{"&Open vxStat", true, true}, {"-", true, true}, {"&Close", true, true}};
    int chosen = PopupMenu(owner.hWnd(), items, 0, 0);
    EXPECT_EQ(chosen, 2);
    EXPECT_EQ(s_items, (std::vector<std::string>{"&Open vxStat", "-", "&Close"}));
    EXPECT_EQ(s_default, 0u);
    PumpFor(20);
}

}  // namespace
}  // namespace vx::platform::win32
