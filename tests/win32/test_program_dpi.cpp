// The Windows program's own resources, and its windows at the screen's dpi.
//
// Run by ctest at Wine's usual 96 dpi and again at 192 (tests/win32/at-dpi.sh
// sets Wine's dpi for that run); VX_EXPECT_DPI says which, so that a run the
// setting did not reach fails instead of passing at 96. The program embeds the
// same manifest as vxstat.exe: per-monitor aware, it scales itself.
//
// Usage: test_program_dpi VXSTAT_EXE [gtest flags]
#include "tests/win32/support.h"

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "dialogs/frmLogIn.h"
#include "monitor/frmMain.h"
#include "stats/frmLogStats.h"

namespace vx::platform::win32 {
namespace {

std::string g_exe;  // vxstat.exe, as a Windows path

int ExpectedDpi() {
    const char* dpi = std::getenv("VX_EXPECT_DPI");
    return dpi != nullptr ? std::atoi(dpi) : kBaseDpi;
}

// The module's resource of a type and id, as bytes.
std::string Resource(HMODULE module, LPCSTR type, LPCSTR name) {
    HRSRC found = FindResourceA(module, name, type);
    if (found == nullptr) return {};
    HGLOBAL loaded = LoadResource(module, found);
    const auto* bytes = static_cast<const char*>(LockResource(loaded));
    return bytes != nullptr ? std::string(bytes, SizeofResource(module, found)) : std::string();
}

BOOL CALLBACK FirstName(HMODULE, LPCSTR, LPSTR name, LONG_PTR found) {
    *reinterpret_cast<LPSTR*>(found) = name;
    return FALSE;  // the first is the one Explorer shows
}

TEST(Resources, TheProgramCarriesItsManifestIconAndVersion) {
    ASSERT_FALSE(g_exe.empty()) << "usage: test_program_dpi VXSTAT_EXE";
    HMODULE exe = LoadLibraryExA(g_exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(exe, nullptr) << g_exe;

    const std::string manifest = Resource(exe, MAKEINTRESOURCEA(24), MAKEINTRESOURCEA(1));
    for (const char* part : {"PerMonitorV2", "true/pm", "Microsoft.Windows.Common-Controls", "version=\"6.0.0.0\"",
                             "asInvoker", "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
                             "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}", "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
                             "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}", "version=\"" VX_PROJECT_VERSION ".0\""})
        EXPECT_NE(manifest.find(part), std::string::npos) << part << " not in the manifest:\n" << manifest;

    // The first icon group holds the sizes Explorer and the taskbar ask for.
    LPSTR first = nullptr;
    EnumResourceNamesA(exe, MAKEINTRESOURCEA(14), FirstName, reinterpret_cast<LONG_PTR>(&first));
    ASSERT_NE(first, nullptr) << "no icon";
    const std::string group = Resource(exe, MAKEINTRESOURCEA(14), first);
    ASSERT_GE(group.size(), 6u);
    const auto count = static_cast<std::size_t>(static_cast<unsigned char>(group[4]));
    ASSERT_EQ(group.size(), 6 + 14 * count);
    std::vector<int> sizes;
    for (std::size_t i = 0; i < count; ++i) {
        const int width = static_cast<unsigned char>(group[6 + 14 * i]);
        sizes.push_back(width == 0 ? 256 : width);
    }
    EXPECT_EQ(sizes, (std::vector<int>{16, 20, 24, 32, 48, 256}));
    FreeLibrary(exe);

    // The version information, as the program's version.
    std::wstring path = Widen(g_exe);
    DWORD ignored = 0;
    std::vector<char> info(GetFileVersionInfoSizeW(path.c_str(), &ignored));
    ASSERT_FALSE(info.empty());
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, static_cast<DWORD>(info.size()), info.data()));
    auto text = [&](const wchar_t* name) {
        wchar_t* value = nullptr;
        UINT chars = 0;
        std::wstring query = std::wstring(L"\\StringFileInfo\\040904b0\\") + name;
        if (!VerQueryValueW(info.data(), query.c_str(), reinterpret_cast<void**>(&value), &chars) || !value)
            return std::string();
        return Utf8(value);
    };
    EXPECT_EQ(text(L"FileVersion"), VX_PROJECT_VERSION);
    EXPECT_EQ(text(L"ProductVersion"), VX_PROJECT_VERSION);
    EXPECT_EQ(text(L"ProductName"), "vxstat");
    EXPECT_EQ(text(L"FileDescription"), "vxstat");
    EXPECT_FALSE(text(L"CompanyName").empty());
    EXPECT_NE(text(L"LegalCopyright").find("MIT License"), std::string::npos);
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT bytes = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &bytes));
    const std::string version = std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." +
                                std::to_string(LOWORD(fixed->dwFileVersionMS)) + "." +
                                std::to_string(HIWORD(fixed->dwFileVersionLS));
    EXPECT_EQ(version, VX_PROJECT_VERSION);
}

class ProgramWindows : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        int argc = 0;
        InitApplication(argc, nullptr);
    }

    // The client area at 96 dpi, as the layouts are drawn.
    struct Layout {
        int width;
        int height;
    };

    static void Check(Form& form, Layout at96) {
        const HWND hwnd = Native(form.hWnd());
        const int dpi = ExpectedDpi();
        ASSERT_EQ(DpiOf(hwnd), dpi) << "the window is not at the dpi this run is for";
        RECT client, outer;
        GetClientRect(hwnd, &client);
        GetWindowRect(hwnd, &outer);
        // The client area is the layout scaled, exactly, inside the frame the
        // system draws at that dpi (Wine 8 keeps its 96-dpi frame).
        EXPECT_EQ(client.right, MulDiv(at96.width, dpi, kBaseDpi));
        EXPECT_EQ(client.bottom, MulDiv(at96.height, dpi, kBaseDpi));
        const auto style = static_cast<DWORD>(GetWindowLongPtrA(hwnd, GWL_STYLE));
        const auto exStyle = static_cast<DWORD>(GetWindowLongPtrA(hwnd, GWL_EXSTYLE));
        const SIZE framed = WindowSizeFor({client.right, client.bottom}, style, exStyle, dpi);
        EXPECT_EQ(outer.right - outer.left, framed.cx);
        EXPECT_EQ(outer.bottom - outer.top, framed.cy);

        for (const auto& c : form.window().controls()) {
            auto* native = static_cast<NativeControl*>(c->peer());
            if (native == nullptr || c->kind() == ControlKind::Timer) continue;
            HWND child = GetDlgItem(hwnd, static_cast<int>(native->id()));
            ASSERT_NE(child, nullptr) << c->name();
            RECT r;
            GetWindowRect(child, &r);
            MapWindowPoints(nullptr, hwnd, reinterpret_cast<POINT*>(&r), 2);
            const Twips& t = c->rect();
            if (c->kind() != ControlKind::Line) {
                EXPECT_EQ(r.left, MulDiv(t.left, dpi, 1440)) << c->name();
                EXPECT_EQ(r.top, MulDiv(t.top, dpi, 1440)) << c->name();
                EXPECT_EQ(r.right - r.left, MulDiv(t.width, dpi, 1440)) << c->name();
            }
            if (c->kind() == ControlKind::Label || c->kind() == ControlKind::CheckBox ||
                c->kind() == ControlKind::CommandButton)
                CheckTextFits(*c, child, dpi);
        }
    }

    // The control's text in its own font is no wider than the room it has:
    // nothing wraps out of sight or is cut off.
    static void CheckTextFits(const Control& control, HWND child, int dpi) {
        char buffer[256] = {};
        GetWindowTextA(child, buffer, sizeof buffer);
        const std::string text = buffer;
        if (text.empty()) return;
        RECT client;
        GetClientRect(child, &client);
        int room = client.right;
        if (control.kind() == ControlKind::CheckBox) room -= MulDiv(16, dpi, kBaseDpi);      // the box and its gap
        if (control.kind() == ControlKind::CommandButton) room -= MulDiv(4, dpi, kBaseDpi);  // the button's edges
        const auto font = reinterpret_cast<HFONT>(SendMessageA(child, WM_GETFONT, 0, 0));
        HDC dc = GetDC(child);
        HGDIOBJ old = SelectObject(dc, font);
        SIZE extent{};
        GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &extent);
        TEXTMETRICA metrics{};
        GetTextMetricsA(dc, &metrics);
        char face[LF_FACESIZE] = {};
        GetTextFaceA(dc, LF_FACESIZE, face);
        SelectObject(dc, old);
        ReleaseDC(child, dc);
        // Buttons wrap their text onto more lines, as they did at 96 dpi.
        if (control.kind() != ControlKind::CommandButton)
            EXPECT_LE(extent.cx, room) << control.name() << " \"" << text << "\" at " << dpi << " dpi in " << face;
        else
            EXPECT_LE(metrics.tmMaxCharWidth, room) << control.name();
        // The font is the model's, asked for at this dpi: its points are 1/72 inch.
        const Font model = control.kind() == ControlKind::Label ? static_cast<const Label&>(control).font() : Font{};
        LOGFONTA asked{};
        ASSERT_EQ(GetObjectA(font, sizeof asked, &asked), static_cast<int>(sizeof asked)) << control.name();
        EXPECT_EQ(asked.lfHeight, -std::lround(model.points * dpi / 72.0)) << control.name();
        EXPECT_EQ(asked.lfWeight, model.bold ? FW_BOLD : FW_NORMAL) << control.name();
        // The system drew it in that face, not a stand-in of other widths (the
        // test run gives Wine its own MS Sans Serif, as Windows has it).
        EXPECT_EQ(std::string(face), model.face) << control.name();
        // MS Sans Serif is a bitmap font: at 96 dpi its 8 point size, 11 pixels
        // high; elsewhere the nearest size it has that is not taller than asked.
        const int drawn = metrics.tmHeight - metrics.tmInternalLeading;
        if (dpi == kBaseDpi) {
            EXPECT_EQ(drawn, 11) << control.name();
        } else {
            EXPECT_LE(drawn, -asked.lfHeight) << control.name();
            EXPECT_EQ(drawn > 11, dpi > kBaseDpi) << control.name() << " drawn " << drawn << " pixels high";
        }
    }
};

TEST_F(ProgramWindows, TheMonitorWindowIsItsLayoutAtTheScreensDpi) {
    MonitorSettings settings;
    settings.routerIP = "127.0.0.1";  // never loaded: nothing is asked of it
    frmMain monitor(settings);
    // The widest figures it shows.
    monitor.lblBytesOut.setCaption("9999k/s");
    monitor.lblBytesIn.setCaption("99.9M/s");
    monitor.lblMaxIncoming.setCaption("256k/s");
    Check(monitor, {356, 37});
}

TEST_F(ProgramWindows, TheRouterDialogIsItsLayoutAtTheScreensDpi) {
    frmLogIn dialog;
    Check(dialog, {218, 73});
}

TEST_F(ProgramWindows, TheStatisticsWindowIsItsLayoutAtTheScreensDpi) {
    frmLogStats stats;
    stats.lblLoggingSince.setCaption("12/31/2099 23:59:59");
    stats.lblIncoming.setCaption("9999999.99MB");
    stats.lblOutgoing.setCaption("9999999.99MB");
    Check(stats, {312, 102});
}

}  // namespace
}  // namespace vx::platform::win32

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (argc > 1) {
        // A path of the build machine: Wine's drive Z: is its root.
        std::string path = argv[1];
        if (!path.empty() && path[0] == '/') path = "Z:" + path;
        for (char& c : path)
            if (c == '/') c = '\\';
        vx::platform::win32::g_exe = path;
    }
    return RUN_ALL_TESTS();
}
