// What the Win32 backend's files share. The seam headers come first: the
// Windows headers define many of the seam's names (WM_CLOSE, NOTIFYICONDATA,
// ...) as macros, so after <windows.h> the backend uses the Windows spellings
// and reaches the seam's own record through the aliases below.
#pragma once

#include <exception>
#include <string>
#include <string_view>

#include "platform/app.h"
#include "platform/forms.h"
#include "platform/menus.h"
#include "platform/net.h"
#include "platform/pictures.h"
#include "platform/profile.h"
#include "platform/shell.h"
#include "platform/types.h"
#include "platform/user32.h"

namespace vx::platform::win32 {
using ModelNotifyIconData = vx::platform::NOTIFYICONDATA;
}  // namespace vx::platform::win32

#include <windows.h>
#include <shellapi.h>

// Windows' HWND_* macros cast to HWND, which inside the seam's namespaces is
// the seam's integer handle: they are spelled here, outside them.
namespace vx_win32_handles {
inline ::HWND MessageOnlyParent() { return HWND_MESSAGE; }
inline ::HWND Top() { return HWND_TOP; }
inline ::HWND Bottom() { return HWND_BOTTOM; }
}  // namespace vx_win32_handles

namespace vx::platform::win32 {

// Handles cross the seam as integers; these are the real ones.
inline ::HWND Native(vx::platform::HWND h) { return reinterpret_cast<::HWND>(h); }
inline vx::platform::HWND Handle(::HWND h) { return reinterpret_cast<vx::platform::HWND>(h); }

// Text: UTF-8 inside the program, UTF-16 or the ANSI code page at the system.
std::wstring Widen(std::string_view utf8);
std::string Utf8(std::wstring_view wide);
std::string ToAnsi(std::string_view utf8);
std::string FromAnsi(std::string_view ansi);
// The text of a window or control, from the system's ANSI form.
std::string WindowText(::HWND hwnd);

// Model code is running (a handler is on the stack). Work posted with Post()
// waits until no handler is running, so a nested modal loop (a message box, a
// popup menu) never destroys a form whose handler is still executing.
class HandlerScope {
public:
    HandlerScope();
    ~HandlerScope();
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
class FormPeer;
std::unique_ptr<ControlPeer> CreateNativeControl(::HWND parent, Control& control, int id);
std::unique_ptr<ControlPeer> CreateNativeTimer(::HWND owner, Control& timer, UINT_PTR id);

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
};

// shell_notify.cpp: the shell's record for the component's one. The size is
// that of the first record layout on this platform (its 64-byte tooltip), the
// tooltip in the ANSI code page.
NOTIFYICONDATAA ShellRecord(const ModelNotifyIconData& model);
// shell_notify.cpp: whether a WM_MOUSEMOVE at a hidden window is the shell's
// callback for one of the icons that window added.
bool IsTrayCallback(::HWND hwnd, WPARAM wParam, LPARAM lParam);

// shell_notify.cpp: takes the icons still shown out of the notification area,
// for an end of the program that runs no unload handler.
void RemoveTrayIcons();

// event_loop.cpp: the window that runs posted work; made by InitApplication.
void CreateMessageWindow(HINSTANCE instance);

}  // namespace vx::platform::win32
