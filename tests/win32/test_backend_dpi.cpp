// The backend's scaling to a window's dpi: a form told by WM_DPICHANGED that
// it is now on a screen of another dpi lays itself out again (size, controls,
// fonts, icons) and comes back exactly when told the old dpi; pictures shown
// at other sizes are drawn again at them.
#include "tests/win32/support.h"

#include <commctrl.h>

#include <vector>

namespace vx::platform::win32 {
namespace {

int IconSize(HICON icon) {
    ICONINFO info{};
    if (!GetIconInfo(icon, &info)) return 0;
    BITMAP bitmap{};
    GetObjectA(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
    if (info.hbmColor) DeleteObject(info.hbmColor);
    if (info.hbmMask) DeleteObject(info.hbmMask);
    return bitmap.bmWidth;
}

// The icon's pixels (0xRRGGBB), drawn at its own size.
std::vector<std::uint32_t> IconPixels(HICON icon, int size) {
    HDC dc = CreateCompatibleDC(nullptr);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = size;
    info.bmiHeader.biHeight = -size;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP target = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(dc, target);
    DrawIconEx(dc, 0, 0, icon, size, size, 0, nullptr, DI_NORMAL);
    GdiFlush();
    const auto* drawn = static_cast<const std::uint32_t*>(bits);
    std::vector<std::uint32_t> pixels(drawn, drawn + static_cast<std::size_t>(size) * static_cast<std::size_t>(size));
    for (auto& p : pixels) p &= 0xFFFFFF;
    SelectObject(dc, old);
    DeleteObject(target);
    DeleteDC(dc);
    return pixels;
}

// A white square whose bottom `share` 32ths are green, as the level pictures are.
std::vector<std::uint32_t> Level(int size, int share) {
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(size) * static_cast<std::size_t>(size), 0xFFFFFF);
    const int filled = (size * share + 16) / 32;
    for (int y = size - filled; y < size; ++y)
        for (int x = 0; x < size; ++x) pixels[static_cast<std::size_t>(y * size + x)] = 0x87FF1D;
    return pixels;
}

class Dpi : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        int argc = 0;
        InitApplication(argc, nullptr);
    }
    static HWND H(const Window& w) { return Native(w.hWnd()); }
    // A control's place in its form's client area.
    static RECT Place(HWND form, HWND child) {
        RECT r;
        GetWindowRect(child, &r);
        MapWindowPoints(nullptr, form, reinterpret_cast<POINT*>(&r), 2);
        return r;
    }
    static LONG FontHeight(HWND control) {
        LOGFONTA font{};
        GetObjectA(reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0)), sizeof font, &font);
        return font.lfHeight;
    }
    static void TellDpi(HWND form, int dpi) {
        RECT now;
        GetWindowRect(form, &now);
        RECT suggested{now.left + 10, now.top + 20, now.left + 10 + 1, now.top + 20 + 1};  // only its corner is used
        SendMessageA(form, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
    }
};

TEST_F(Dpi, AFormToldOfAnotherDpiLaysItselfOutAgainAndComesBackExactly) {
    Window w("frmMain", "Vexlo Router Stats", 5340, 555, BorderStyle::FixedSingle);
    Label& label = w.addLabel("Label3", Twips{3660, 30, 525, 195}, "32k/s");
    ProgressBar& bar = w.addProgressBar("barIncoming", Twips{420, 270, 3225, 255}, 0, 262144);
    w.addLine("Line1", 60, 660, 4590, 660);
    std::vector<std::uint32_t> pixels(32 * 32, 0xFFFFFF);
    w.setIcon(CreatePicture(32, 32, pixels));
    w.show();
    const HWND form = H(w);
    HWND labelWindow = GetDlgItem(form, 100);
    HWND barWindow = GetDlgItem(form, 101);
    HWND lineWindow = GetDlgItem(form, 102);
    ASSERT_TRUE(labelWindow && barWindow && lineWindow);
    EXPECT_EQ(DpiOf(form), 96);

    RECT client96, window96, label96, bar96, line96;
    GetClientRect(form, &client96);
    GetWindowRect(form, &window96);
    label96 = Place(form, labelWindow);
    bar96 = Place(form, barWindow);
    line96 = Place(form, lineWindow);
    const LONG font96 = FontHeight(labelWindow);
    EXPECT_EQ(client96.right, 356);
    EXPECT_EQ(label96.left, 244);
    EXPECT_EQ(label96.right - label96.left, 35);
    EXPECT_EQ(font96, -11);  // 8.25 points at 96 dpi

    // The system asks for the size first (WM_GETDPISCALEDSIZE): the exact one.
    SIZE asked{};
    EXPECT_TRUE(SendMessageA(form, 0x02E4, 192, reinterpret_cast<LPARAM>(&asked)));
    TellDpi(form, 192);
    EXPECT_EQ(DpiOf(form), 192);
    RECT client, window;
    GetClientRect(form, &client);
    GetWindowRect(form, &window);
    // The height of a caption drawn at another dpi than the process's own
    // (this test program is not aware of the dpi) is the system's: the width
    // tells, and the outer size is the one computed for the new dpi.
    EXPECT_EQ(client.right, 712);
    EXPECT_EQ(window.right - window.left, asked.cx);
    EXPECT_EQ(window.bottom - window.top, asked.cy);
    EXPECT_EQ(window.left, window96.left + 10);  // where the system suggested
    EXPECT_EQ(window.top, window96.top + 20);
    const RECT label192 = Place(form, labelWindow), bar192 = Place(form, barWindow), line192 = Place(form, lineWindow);
    EXPECT_EQ(label192.left, 488);
    EXPECT_EQ(label192.top, 4);
    EXPECT_EQ(label192.right - label192.left, 70);
    EXPECT_EQ(label192.bottom - label192.top, 26);
    EXPECT_EQ(bar192.left, 56);
    EXPECT_EQ(bar192.top, 36);
    EXPECT_EQ(bar192.right - bar192.left, 430);
    EXPECT_EQ(line192.left, 8);
    EXPECT_EQ(line192.top, 88);
    EXPECT_EQ(line192.right - line192.left, 604);
    EXPECT_EQ(FontHeight(labelWindow), -22);
    // The title bar's icons drawn at their sizes for the new dpi.
    auto small = reinterpret_cast<HICON>(SendMessageA(form, WM_GETICON, ICON_SMALL, 0));
    auto big = reinterpret_cast<HICON>(SendMessageA(form, WM_GETICON, ICON_BIG, 0));
    EXPECT_EQ(IconSize(small), MetricAt(SM_CXSMICON, 192));
    EXPECT_EQ(IconSize(big), MetricAt(SM_CXICON, 192));
    // A control's text still reaches its window.
    label.setCaption("64k/s");
    char text[32] = {};
    GetWindowTextA(labelWindow, text, sizeof text);
    EXPECT_STREQ(text, "64k/s");
    bar.setValue(131072);
    EXPECT_EQ(SendMessageA(barWindow, PBM_GETPOS, 0, 0), 5000);

    TellDpi(form, 96);
    RECT back;
    GetClientRect(form, &back);
    EXPECT_EQ(back.right, client96.right);
    EXPECT_EQ(back.bottom, client96.bottom);
    GetWindowRect(form, &back);
    EXPECT_EQ(back.right - back.left, window96.right - window96.left);
    EXPECT_EQ(back.bottom - back.top, window96.bottom - window96.top);
    const RECT labelBack = Place(form, labelWindow), barBack = Place(form, barWindow);
    EXPECT_TRUE(EqualRect(&labelBack, &label96));
    EXPECT_TRUE(EqualRect(&barBack, &bar96));
    EXPECT_EQ(FontHeight(labelWindow), font96);
}

TEST_F(Dpi, AComboBoxKeepsRoomForItsListAtTheNewDpi) {
    Window w("frmLogIn", "Router Details", 3270, 1095, BorderStyle::FixedDialog);
    w.addComboBox("selSpeed", Twips{750, 780, 1245, 315}, "512");
    const HWND combo = GetDlgItem(H(w), 100);
    ASSERT_NE(combo, nullptr);
    RECT r96 = Place(H(w), combo), dropped96{};
    SendMessageA(combo, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&dropped96));
    TellDpi(H(w), 192);
    RECT r192 = Place(H(w), combo);
    EXPECT_EQ(r192.left, 2 * r96.left);
    EXPECT_EQ(r192.top, 2 * r96.top);
    EXPECT_EQ(r192.right - r192.left, 2 * (r96.right - r96.left));
    // The drop-down list's room (the combo's window height) doubles too.
    RECT dropped{};
    SendMessageA(combo, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&dropped));
    EXPECT_GT(dropped96.bottom - dropped96.top, 100);
    EXPECT_GE(dropped.bottom - dropped.top, 2 * (dropped96.bottom - dropped96.top) - 2);
}

TEST(Pictures, AreDrawnAgainAtTheSizeAPlaceAsksFor) {
    int drawings = 0;
    const PictureHandle drawn = CreatePicture(32, [&](int n) {
        ++drawings;
        return Level(n, 20);
    });
    ASSERT_NE(drawn, 0);
    HICON at32 = NativeIcon(drawn);
    EXPECT_EQ(PictureAt(at32, 32), at32);  // its own size: itself
    for (int size : {16, 20, 24, 48}) {
        HICON sized = PictureAt(at32, size);
        ASSERT_NE(sized, nullptr);
        EXPECT_NE(sized, at32);
        EXPECT_EQ(IconSize(sized), size);
        EXPECT_EQ(IconPixels(sized, size), Level(size, 20)) << size << " pixels";
        EXPECT_EQ(PictureAt(at32, size), sized);  // made once
    }
    EXPECT_EQ(drawings, 5);

    // Pixels alone are resampled: the level's edge stays sharp, at the row it
    // would be drawn at.
    HICON fixed = NativeIcon(CreatePicture(32, 32, Level(32, 16)));
    EXPECT_EQ(IconPixels(PictureAt(fixed, 16), 16), Level(16, 16));
    EXPECT_EQ(IconPixels(PictureAt(fixed, 24), 24), Level(24, 16));
    EXPECT_EQ(IconPixels(PictureAt(fixed, 64), 64), Level(64, 16));

    // Icons that are not our pictures are shown as they are.
    HICON system = LoadIcon(nullptr, IDI_APPLICATION);
    EXPECT_EQ(PictureAt(system, 16), system);
    // A drawing that gives too few pixels makes no picture.
    EXPECT_EQ(CreatePicture(16, [](int) { return std::vector<std::uint32_t>(3); }), 0);
}

}  // namespace
}  // namespace vx::platform::win32
