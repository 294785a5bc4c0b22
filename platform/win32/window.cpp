// Forms as native top-level windows: styles and sizes from the model, keys,
// timers, the close box and minimising handed to the model, always-on-top,
// the program's commands in the real system menu, and the scaling of the
// form to its monitor's dpi.
#include "platform/win32/backend.h"

namespace vx::platform {

namespace win32 {

namespace {

constexpr char kFormClass[] = "vxstat.form";
constexpr int kFirstControlId = 100;  // clear of IDOK and IDCANCEL
// The program's system-menu commands: one id every 16 (the system keeps the
// low four bits of its own commands), all below its SC_ range.
constexpr UINT kFirstSystemCommand = 0x1010;
constexpr UINT kSystemCommandStep = 0x10;
// WM_GETDPISCALEDSIZE (Windows 10 1703), later than the headers are set for.
constexpr UINT kGetDpiScaledSize = 0x02E4;

// A user32 call of a later system than Windows 7, or null where there is none.
template <class Function>
Function LaterCall(const char* name) {
    FARPROC found = GetProcAddress(GetModuleHandleA("user32.dll"), name);
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(found));
}

// GetDpiForWindow: 0 where it cannot tell.
int NativeDpi(HWND hwnd) {
    using GetDpiForWindowCall = UINT(WINAPI*)(HWND);
    static const auto call = LaterCall<GetDpiForWindowCall>("GetDpiForWindow");
    return call != nullptr && hwnd != nullptr ? static_cast<int>(call(hwnd)) : 0;
}

int ShiftState() {
    int shift = 0;
    if (GetKeyState(VK_SHIFT) < 0) shift |= 1;
    if (GetKeyState(VK_CONTROL) < 0) shift |= 2;
    if (GetKeyState(VK_MENU) < 0) shift |= 4;
    return shift;
}

LRESULT CALLBACK FormWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

}  // namespace

class FormPeer : public WindowPeer {
public:
    explicit FormPeer(Window& model);
    ~FormPeer() override;

    WindowHandle handle() const override { return Handle(hwnd_); }
    void changed(Prop what) override;
    void stateChanged() override;
    void raise() override;
    std::unique_ptr<ControlPeer> createControlPeer(Control& control) override;

    Window& model() { return model_; }
    void attach(HWND hwnd) { hwnd_ = hwnd; }
    LRESULT proc(UINT msg, WPARAM wParam, LPARAM lParam);
    bool hasTabStops() const;
    int dpi() const { return dpi_; }

private:
    SIZE sizeAt(int dpi) const;
    void setDpi(int dpi, const RECT* suggested);
    void place(const Control& control, HWND child) const;
    void showIcon();
    void centre();
    void activated(bool active);
    void appendSystemCommands();
    static LRESULT CALLBACK SystemMenuProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

    Window& model_;
    HWND hwnd_ = nullptr;
    bool shownOnce_ = false;
    HWND lastFocus_ = nullptr;
    int nextId_ = kFirstControlId;
    std::size_t systemCommandsShown_ = 0;  // the model's commands already in the system menu
    WNDPROC formProc_ = nullptr;           // the procedure SystemMenuProc hands on to, once installed
    DWORD style_ = 0;
    DWORD exStyle_ = 0;
    int dpi_ = kBaseDpi;  // the one the window is laid out for
};

namespace {

FormPeer* PeerOf(HWND hwnd) {
    const ATOM formClass = Backend().formClass;
    if (hwnd == nullptr || formClass == 0 || GetClassLongPtrA(hwnd, GCW_ATOM) != formClass) return nullptr;
    return reinterpret_cast<FormPeer*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
}

LRESULT CALLBACK FormWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCCREATE) {
        auto* peer = static_cast<FormPeer*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
        peer->attach(hwnd);
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(peer));
    }
    FormPeer* peer = PeerOf(hwnd);
    if (peer == nullptr) return DefWindowProcA(hwnd, msg, wParam, lParam);
    return peer->proc(msg, wParam, lParam);
}

void RegisterFormClass() {
    State& state = Backend();
    if (state.formClass) return;
    WNDCLASSA wc{};
    wc.lpfnWndProc = FormWndProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kFormClass;
    state.formClass = RegisterClassA(&wc);
}

}  // namespace

FormPeer::FormPeer(Window& model) : model_(model) {
    RegisterFormClass();
    DWORD style = WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
    DWORD exStyle = WS_EX_CONTROLPARENT;
    switch (model.border()) {
    case BorderStyle::FixedSingle: style |= WS_MINIMIZEBOX; break;
    case BorderStyle::FixedDialog: exStyle |= WS_EX_DLGMODALFRAME; break;
    case BorderStyle::FixedToolWindow: exStyle |= WS_EX_TOOLWINDOW; break;
    case BorderStyle::Hidden:
        style = WS_POPUP;
        exStyle = WS_EX_TOOLWINDOW;
        break;
    }
    style_ = style;
    exStyle_ = exStyle;
    // Made for the system's dpi; a window that opens on a monitor of another
    // dpi is laid out again for its own at once.
    dpi_ = SystemDpi();
    const SIZE size = sizeAt(dpi_);
    CreateWindowExA(exStyle, kFormClass, ToAnsi(model.caption()).c_str(), style, CW_USEDEFAULT, CW_USEDEFAULT, size.cx,
                    size.cy, nullptr, nullptr, GetModuleHandleA(nullptr), this);
    if (const int own = NativeDpi(hwnd_); own > 0 && own != dpi_) setDpi(own, nullptr);
}

SIZE FormPeer::sizeAt(int dpi) const {
    return WindowSizeFor({Pixels(model_.clientWidth(), dpi), Pixels(model_.clientHeight(), dpi)}, style_, exStyle_,
                         dpi);
}

void FormPeer::place(const Control& control, HWND child) const {
    const RECT r = ControlRect(control, dpi_);
    SetWindowPos(child, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                 SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
}

// The window, its controls, their fonts and its icons for another dpi; the
// system's suggested place keeps the window where the user put it.
void FormPeer::setDpi(int dpi, const RECT* suggested) {
    dpi_ = dpi;
    const SIZE size = sizeAt(dpi);
    WINDOWPLACEMENT placement{};
    placement.length = sizeof placement;
    if (IsIconic(hwnd_) && GetWindowPlacement(hwnd_, &placement)) {
        // Minimised: the size it comes back at.
        RECT& normal = placement.rcNormalPosition;
        normal.right = normal.left + size.cx;
        normal.bottom = normal.top + size.cy;
        SetWindowPlacement(hwnd_, &placement);
    } else {
        RECT now{};
        GetWindowRect(hwnd_, &now);
        const RECT& at = suggested ? *suggested : now;
        SetWindowPos(hwnd_, nullptr, at.left, at.top, size.cx, size.cy, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    for (const auto& c : model_.controls()) {
        auto* native = static_cast<NativeControl*>(c->peer());
        if (native == nullptr || c->kind() == ControlKind::Timer) continue;
        if (HWND child = GetDlgItem(hwnd_, static_cast<int>(native->id()))) place(*c, child);
        native->dpiChanged(dpi);
    }
    showIcon();
    InvalidateRect(hwnd_, nullptr, TRUE);
}

// The title bar's and the task switcher's icons, drawn at their sizes for the dpi.
void FormPeer::showIcon() {
    HICON picture = NativeIcon(model_.icon());
    if (picture == nullptr) return;
    SendMessageA(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(PictureAt(picture, MetricAt(SM_CXICON, dpi_))));
    SendMessageA(hwnd_, WM_SETICON, ICON_SMALL,
                 reinterpret_cast<LPARAM>(PictureAt(picture, MetricAt(SM_CXSMICON, dpi_))));
}

FormPeer::~FormPeer() {
    if (hwnd_ == nullptr) return;
    // From here on the window's messages reach no model.
    if (formProc_) SetWindowLongPtrA(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(formProc_));
    SetWindowLongPtrA(hwnd_, GWLP_USERDATA, 0);
    DestroyWindow(hwnd_);
}

bool FormPeer::hasTabStops() const {
    for (const auto& c : model_.controls())
        if (auto* native = static_cast<NativeControl*>(c->peer()); native && native->takesFocus()) return true;
    return false;
}

std::unique_ptr<ControlPeer> FormPeer::createControlPeer(Control& control) {
    int id = nextId_++;
    if (control.kind() == ControlKind::Timer) return CreateNativeTimer(hwnd_, control, static_cast<UINT_PTR>(id));
    std::unique_ptr<ControlPeer> peer = CreateNativeControl(hwnd_, control, id);
    // Every control where it belongs at the form's dpi, whatever its peer assumed.
    if (dpi_ != kBaseDpi)
        if (HWND child = GetDlgItem(hwnd_, id)) place(control, child);
    return peer;
}

void FormPeer::changed(Prop what) {
    switch (what) {
    case Prop::Text: SetWindowTextA(hwnd_, ToAnsi(model_.caption()).c_str()); break;
    case Prop::Picture: showIcon(); break;
    case Prop::Visible:
        if (model_.border() == BorderStyle::Hidden) break;  // only its handle is used
        if (model_.visible()) {
            if (!shownOnce_ && model_.centred) centre();
            shownOnce_ = true;
            // Showing in the model's state also brings back a window that was
            // hidden while minimised.
            ShowWindow(hwnd_, model_.windowState() == WindowState::Minimized ? SW_SHOWMINIMIZED : SW_SHOWNORMAL);
        } else {
            ShowWindow(hwnd_, SW_HIDE);
        }
        break;
    case Prop::OnTop:
        SetWindowPos(hwnd_, model_.alwaysOnTop() ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        break;
    case Prop::SystemMenu: appendSystemCommands(); break;
    default: break;
    }
}

void FormPeer::stateChanged() {
    if (!IsWindowVisible(hwnd_)) return;  // a hidden window takes its state at the next show
    ShowWindow(hwnd_, model_.windowState() == WindowState::Minimized ? SW_MINIMIZE : SW_RESTORE);
}

void FormPeer::raise() {
    SetWindowPos(hwnd_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    // Above other programs' windows too (allowed when the user's last act was
    // ours, or a later start of the program let us).
    if (IsWindowVisible(hwnd_)) SetForegroundWindow(hwnd_);
}

// The model only ever adds commands: the new ones go after those shown; the
// check marks of those shown follow the model.
void FormPeer::appendSystemCommands() {
    const auto& commands = model_.systemCommands();
    HMENU menu = GetSystemMenu(hwnd_, FALSE);
    if (menu == nullptr) return;
    for (std::size_t i = 0; i < systemCommandsShown_ && i < commands.size(); ++i)
        if (commands[i].checked)
            CheckMenuItem(menu, static_cast<UINT>(kFirstSystemCommand + i * kSystemCommandStep),
                          MF_BYCOMMAND | (*commands[i].checked ? MF_CHECKED : MF_UNCHECKED));
    if (systemCommandsShown_ >= commands.size()) return;
    if (formProc_ == nullptr)
        formProc_ = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrA(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&FormPeer::SystemMenuProc)));
    for (; systemCommandsShown_ < commands.size(); ++systemCommandsShown_) {
        const std::size_t id = kFirstSystemCommand + systemCommandsShown_ * kSystemCommandStep;
        if (id >= SC_SIZE) break;  // the system's own commands start there
        const std::string& text = commands[systemCommandsShown_].text;
        const std::optional<bool> checked = commands[systemCommandsShown_].checked;
        if (text.empty())
            AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
        else
            AppendMenuA(menu, MF_STRING | (checked && *checked ? MF_CHECKED : MF_UNCHECKED), id, ToAnsi(text).c_str());
    }
}

// Subclasses a form that has commands of its own in its system menu: those
// go to the model, everything else on to the form's procedure.
LRESULT CALLBACK FormPeer::SystemMenuProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    FormPeer* peer = PeerOf(hwnd);
    if (peer == nullptr) return DefWindowProcA(hwnd, msg, wParam, lParam);
    // HIWORD(lParam) is true for the window menu: the model sets its states first.
    if (msg == WM_INITMENUPOPUP && HIWORD(lParam) && peer->model_.onSystemMenuOpening) {
        Window& model = peer->model_;
        Guarded([&] { model.onSystemMenuOpening(); });
    }
    if (msg == WM_SYSCOMMAND) {
        const WPARAM command = wParam & 0xFFF0;
        if (command >= kFirstSystemCommand && command < SC_SIZE) {
            const std::size_t index = (command - kFirstSystemCommand) / kSystemCommandStep;
            if (index < peer->systemCommandsShown_) {
                Window& model = peer->model_;
                Guarded([&] { model.userSystemCommand(index); });
                return 0;
            }
        }
    }
    return CallWindowProcA(peer->formProc_, hwnd, msg, wParam, lParam);
}

void FormPeer::centre() {
    RECT window;
    GetWindowRect(hwnd_, &window);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoA(MonitorFromWindow(hwnd_, MONITOR_DEFAULTTOPRIMARY), &monitor);
    const RECT& area = monitor.rcWork;
    int width = window.right - window.left, height = window.bottom - window.top;
    int x = area.left + (area.right - area.left - width) / 2;
    int y = area.top + (area.bottom - area.top - height) / 2;
    SetWindowPos(hwnd_, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void FormPeer::activated(bool active) {
    if (!active) {
        HWND focus = GetFocus();
        if (focus && IsChild(hwnd_, focus)) lastFocus_ = focus;
        return;
    }
    HWND target = lastFocus_ && IsWindow(lastFocus_) && IsChild(hwnd_, lastFocus_)
                      ? lastFocus_
                      : GetNextDlgTabItem(hwnd_, nullptr, FALSE);
    SetFocus(target ? target : hwnd_);
}

LRESULT FormPeer::proc(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_SYSCOMMAND:
        // The model decides: minimising may hide the window instead, and
        // closing unloads the form (or not).
        switch (wParam & 0xFFF0) {
        case SC_MINIMIZE: Guarded([&] { model_.setWindowState(WindowState::Minimized); }); return 0;
        case SC_CLOSE: Guarded([&] { model_.userCloseRequested(); }); return 0;
        case SC_RESTORE:
            if (model_.windowState() != WindowState::Minimized) break;
            Guarded([&] { model_.setWindowState(WindowState::Normal); });
            return 0;
        default: break;
        }
        break;
    case WM_CLOSE: Guarded([&] { model_.userCloseRequested(); }); return 0;
    case WM_QUERYENDSESSION: return TRUE;
    case WM_ENDSESSION:
        // The user logs off or Windows shuts down: the forms close the normal
        // way (the monitor saves its totals) before the process is ended.
        if (wParam) Guarded([&] { model_.userCloseRequested(); });
        return 0;
    case WM_CHAR: Guarded([&] { model_.userKeyPress(static_cast<int>(wParam)); }); break;
    case WM_KEYUP: Guarded([&] { model_.userKeyUp(static_cast<int>(wParam), ShiftState()); }); break;
    case WM_COMMAND:
        if (lParam != 0) {
            auto* control =
                reinterpret_cast<NativeControl*>(GetWindowLongPtrA(reinterpret_cast<HWND>(lParam), GWLP_USERDATA));
            if (control && GetParent(reinterpret_cast<HWND>(lParam)) == hwnd_)
                Guarded([&] { control->command(HIWORD(wParam)); });
            return 0;
        }
        break;
    case WM_TIMER:
        for (const auto& c : model_.controls())
            if (c->kind() == ControlKind::Timer && c->peer()) {
                auto* timer = static_cast<NativeControl*>(c->peer());
                if (timer->id() == wParam) {
                    Guarded([&] { timer->timer(); });
                    return 0;
                }
            }
        return 0;
    case WM_SIZE:
        if (wParam == SIZE_MINIMIZED && model_.windowState() != WindowState::Minimized)
            Guarded([&] { model_.userStateChanged(WindowState::Minimized); });
        else if (wParam == SIZE_RESTORED && model_.windowState() == WindowState::Minimized)
            Guarded([&] { model_.userStateChanged(WindowState::Normal); });
        break;
    case kGetDpiScaledSize:
        // The size at the new dpi, so that the system's suggestion in
        // WM_DPICHANGED is exact rather than the old size scaled.
        *reinterpret_cast<SIZE*>(lParam) = sizeAt(static_cast<int>(wParam));
        return TRUE;
    case WM_DPICHANGED: setDpi(HIWORD(wParam), reinterpret_cast<const RECT*>(lParam)); return 0;
    case WM_ACTIVATE:
        if (hasTabStops()) {
            activated(LOWORD(wParam) != WA_INACTIVE);
            return 0;
        }
        break;
    default: break;
    }
    return DefWindowProcA(hwnd_, msg, wParam, lParam);
}

int SystemDpi() {
    HDC screen = GetDC(nullptr);
    const int dpi = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
    ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : kBaseDpi;
}

int DpiOf(HWND window) {
    if (const FormPeer* peer = PeerOf(window)) return peer->dpi();
    const int dpi = NativeDpi(window);
    return dpi > 0 ? dpi : SystemDpi();
}

int MetricAt(int index, int dpi) {
    using GetSystemMetricsForDpiCall = int(WINAPI*)(int, UINT);
    static const auto call = LaterCall<GetSystemMetricsForDpiCall>("GetSystemMetricsForDpi");
    if (call != nullptr) return call(index, static_cast<UINT>(dpi));
    return MulDiv(GetSystemMetrics(index), dpi, SystemDpi());
}

SIZE WindowSizeFor(SIZE client, DWORD style, DWORD exStyle, int dpi) {
    using AdjustWindowRectExForDpiCall = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
    static const auto call = LaterCall<AdjustWindowRectExForDpiCall>("AdjustWindowRectExForDpi");
    RECT rc{0, 0, client.cx, client.cy};
    if (call == nullptr || !call(&rc, style, FALSE, exStyle, static_cast<UINT>(dpi))) {
        rc = RECT{0, 0, client.cx, client.cy};
        AdjustWindowRectEx(&rc, style, FALSE, exStyle);  // the frame at the system's dpi
    }
    return {rc.right - rc.left, rc.bottom - rc.top};
}

bool PreTranslate(MSG& msg) {
    if (msg.hwnd == nullptr) return false;
    HWND root = GetAncestor(msg.hwnd, GA_ROOT);
    FormPeer* peer = PeerOf(root);
    if (peer == nullptr) return false;
    // Key preview: the form hears its controls' keys before they do.
    if (msg.hwnd != root && peer->model().keyPreview) {
        Window& model = peer->model();
        if (msg.message == WM_KEYUP)
            Guarded([&] { model.userKeyUp(static_cast<int>(msg.wParam), ShiftState()); });
        else if (msg.message == WM_CHAR)
            Guarded([&] { model.userKeyPress(static_cast<int>(msg.wParam)); });
    }
    // Tab and the arrow keys move between the controls.
    return peer->hasTabStops() && IsDialogMessageA(root, &msg);
}

}  // namespace win32

std::unique_ptr<WindowPeer> CreateWindowPeer(Window& window) { return std::make_unique<win32::FormPeer>(window); }

}  // namespace vx::platform
