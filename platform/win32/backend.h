// What the Win32 backend's files share: the backend's state, text
// conversion, the guard around model code, and the pieces one file makes for
// another.
//
// The Windows backend, at a glance:
// - Windows and controls: CreateWindowEx peers (common controls 6), twips to
//   pixels at the window's dpi (per-monitor, WM_DPICHANGED).
// - System menu: the real one; the window procedure is subclassed here.
// - Tray: Shell_NotifyIcon and TrackPopupMenu; the shell always has a
//   notification area, so TrayAvailable() is true.
// - Notices: the icon's balloon (NIF_INFO).
// - Message boxes: MessageBox, modal, its own loop (WM_TIMER goes on).
// - Network: WinINet and Winsock on workers; profile files: the kernel's
//   own profile calls; folders: %APPDATA%, the Run key for start at login.
// - No-ops: none that the program relies on.
#pragma once

#include <deque>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "platform/app.h"
#include "platform/forms.h"
#include "platform/net.h"
#include "platform/pictures.h"
#include "platform/profile.h"
#include "platform/tray.h"
#include "platform/types.h"

#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

namespace vx::platform::win32 {

// Handles cross the seam as integers; these are the real ones.
inline HWND Native(WindowHandle h) { return reinterpret_cast<HWND>(h); }
inline WindowHandle Handle(HWND h) { return reinterpret_cast<WindowHandle>(h); }
inline HICON NativeIcon(PictureHandle h) { return reinterpret_cast<HICON>(h); }

// The dpi every layout is made for; twips are pixels at it times kTwipsPerPixel.
inline constexpr int kBaseDpi = 96;
// Twips to pixels at a dpi (a window's own: the program scales itself).
inline int Pixels(int twips, int dpi) { return MulDiv(twips, dpi, kTwipsPerPixel * kBaseDpi); }
// Twips to pixels at 96 dpi.
inline int Pixels(int twips) { return Pixels(twips, kBaseDpi); }

// window.cpp: dpi. The program declares itself aware of each monitor's dpi,
// so it scales its windows, fonts and pictures itself. Where the calls of
// later systems are missing (Windows 7), the screen's dpi serves.
int SystemDpi();
// A window's dpi: a form's as its last WM_DPICHANGED said, else the system's view.
int DpiOf(HWND window);
// A system metric at a dpi (GetSystemMetricsForDpi, else scaled from the system dpi).
int MetricAt(int index, int dpi);
// The outer size of a window whose client area is `client`, at a dpi.
SIZE WindowSizeFor(SIZE client, DWORD style, DWORD exStyle, int dpi);
// A picture made by CreatePicture shown `size` pixels square: drawn again (or
// resampled) and kept; other icons come back as they are (pictures.cpp).
HICON PictureAt(HICON picture, int size);

struct TrayRecord;  // tray.cpp: one notification icon as the backend keeps it

// Everything the backend keeps between calls, in one place.
struct State {
    HWND messageWindow = nullptr;              // message-only window that runs posted work (event_loop.cpp)
    int handlerDepth = 0;                      // model handlers now on the stack (HandlerScope)
    std::deque<std::function<void()>> posted;  // work from Post(), run when no handler is
    ATOM formClass = 0;                        // the forms' window class (window.cpp)
    // Fonts made for controls, by face, size, weight and dpi; they live as long as the program.
    std::map<std::tuple<std::string, double, bool, int>, HFONT> fonts;
    HWND trayWindow = nullptr;  // hidden top-level window that owns every tray icon (tray.cpp)
    UINT taskbarCreated = 0;    // the message Explorer broadcasts when its taskbar comes (back)
    UINT nextTrayId = 1;        // the shell's id of the next icon
    std::vector<std::shared_ptr<TrayRecord>> trayIcons;  // icons shown now, oldest first
    std::string title;  // the program's title from its version information, once read (app.cpp)
};

// The one instance; never destroyed, so forms torn down at exit still find it.
State& Backend();

// Text: UTF-8 inside the program, UTF-16 or the ANSI code page at the system.
std::wstring Widen(std::string_view utf8);
std::string Utf8(std::wstring_view wide);
std::string ToAnsi(std::string_view utf8);
std::string FromAnsi(std::string_view ansi);
// The text of a window or control, from the system's ANSI form.
std::string WindowText(HWND hwnd);

// Model code is running (a handler is on the stack). Work posted with Post()
// waits until no handler is running, so a nested modal loop (a message box, a
// popup menu) never destroys a form whose handler is still executing.
class HandlerScope {
public:
    HandlerScope() { ++Backend().handlerDepth; }
    ~HandlerScope() { --Backend().handlerDepth; }
    HandlerScope(const HandlerScope&) = delete;
    HandlerScope& operator=(const HandlerScope&) = delete;
};

// An error that escaped a handler: reported in a message box; the program
// goes on with the next event.
void ReportUnhandled(const std::exception& error);

// Runs a handler of model code; no exception may unwind through the system's
// own frames (DispatchMessage, a modal loop).
template <class F>
void Guarded(F&& handler) {
    HandlerScope scope;
    try {
        handler();
    } catch (const std::exception& e) {
        ReportUnhandled(e);
    }
}

// window.cpp: key preview and dialog-key navigation for a message about to be
// dispatched; true when the message has been handled.
bool PreTranslate(MSG& msg);

// controls.cpp / timer.cpp: the native side of each kind of control.
std::unique_ptr<ControlPeer> CreateNativeControl(HWND parent, Control& control, int id);
std::unique_ptr<ControlPeer> CreateNativeTimer(HWND owner, Control& timer, UINT_PTR id);
std::unique_ptr<ControlPeer> CreateNativeChart(HWND parent, Control& chart, int id);  // chart.cpp

// What a form's window procedure hands to its controls' peers.
class NativeControl : public ControlPeer {
public:
    // WM_COMMAND from this control with its notification code.
    virtual void command(UINT /*code*/) {}
    // WM_TIMER with this control's id.
    virtual void timer() {}
    virtual bool takesFocus() const { return false; }
    // Drawn on the form itself (labels, images, lines): under every control
    // that has a window of its own.
    virtual bool lightweight() const { return false; }
    // The id of the native control or timer.
    virtual UINT_PTR id() const = 0;
    // The form is now at another dpi and has placed the control for it
    // (ControlRect): fonts and pictures follow.
    virtual void dpiChanged(int /*dpi*/) {}
};

// controls.cpp: where a control's window goes in its form's client area, at a dpi.
RECT ControlRect(const Control& control, int dpi);

// tray.cpp: the message the shell sends the tray window for an icon: the
// icon's id in wParam, the mouse message in lParam.
inline constexpr UINT kTrayCallback = WM_APP + 2;
// tray.cpp: a tooltip as the shell's first record layout holds it: at most 63
// bytes of the code page, never ending on the first half of a double-byte
// character.
std::string ShellTip(std::string_view text, UINT codePage);
// tray.cpp: the shell's record of the first layout for an icon of ours.
NOTIFYICONDATAA ShellRecord(HWND window, UINT id, HICON icon, std::string_view utf8Tip);
// tray.cpp: the shell's id of an icon made by CreateTrayIcon.
UINT TrayIconId(const TrayIcon& icon);
// tray.cpp: takes the icons still shown out of the notification area, for an
// end of the program that runs no unload handler.
void RemoveTrayIcons();

// event_loop.cpp: the window that runs posted work; made by InitApplication.
void CreateMessageWindow(HINSTANCE instance);

}  // namespace vx::platform::win32
