// Forms as native top-level windows: styles and sizes from the model, its
// window procedure at the end of any subclassing chain, keys, timers and the
// tray callback handed to the model.
#include "platform/win32/backend.h"

namespace vx::platform {

namespace win32 {

namespace {

constexpr char kFormClass[] = "vxstat.form";
constexpr int kFirstControlId = 100;  // clear of IDOK and IDCANCEL

ATOM g_formClass = 0;

int Pixels(int twips) { return MulDiv(twips, 1, kTwipsPerPixel); }

int ShiftState() {
    int shift = 0;
    if (GetKeyState(VK_SHIFT) < 0) shift |= 1;
    if (GetKeyState(VK_CONTROL) < 0) shift |= 2;
    if (GetKeyState(VK_MENU) < 0) shift |= 4;
    return shift;
}

LRESULT CALLBACK FormWndProc(::HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

}  // namespace

class FormPeer : public WindowPeer {
public:
    explicit FormPeer(Window& model);
    ~FormPeer() override;

    vx::platform::HWND handle() const override { return Handle(hwnd_); }
    void changed(Prop what) override;
    void stateChanged() override;
    void raise() override;
    std::unique_ptr<ControlPeer> createControlPeer(Control& control) override;

    Window& model() { return model_; }
    void attach(::HWND hwnd) { hwnd_ = hwnd; }
    LRESULT proc(UINT msg, WPARAM wParam, LPARAM lParam);
    bool hasTabStops() const;

private:
    LRESULT toModel(UINT msg, WPARAM wParam, LPARAM lParam);
    void centre();
    void activated(bool active);

    Window& model_;
    ::HWND hwnd_ = nullptr;
    bool shownOnce_ = false;
    ::HWND lastFocus_ = nullptr;
    int nextId_ = kFirstControlId;
};

namespace {

FormPeer* PeerOf(::HWND hwnd) {
    if (hwnd == nullptr || g_formClass == 0 || GetClassLongPtrA(hwnd, GCW_ATOM) != g_formClass) return nullptr;
    return reinterpret_cast<FormPeer*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
}

LRESULT CALLBACK FormWndProc(::HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
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
    if (g_formClass) return;
    WNDCLASSA wc{};
    wc.lpfnWndProc = FormWndProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kFormClass;
    g_formClass = RegisterClassA(&wc);
}

}  // namespace

FormPeer::FormPeer(Window& model) : model_(model) {
    RegisterFormClass();
    ::DWORD style = WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
    ::DWORD exStyle = WS_EX_CONTROLPARENT;
    switch (model.border()) {
    case BorderStyle::FixedSingle: style |= WS_MINIMIZEBOX; break;
    case BorderStyle::FixedDialog: exStyle |= WS_EX_DLGMODALFRAME; break;
    case BorderStyle::FixedToolWindow: exStyle |= WS_EX_TOOLWINDOW; break;
    case BorderStyle::Hidden:
        style = WS_POPUP;
        exStyle = WS_EX_TOOLWINDOW;
        break;
    }
    RECT rc{0, 0, Pixels(model.clientWidth()), Pixels(model.clientHeight())};
    AdjustWindowRectEx(&rc, style, FALSE, exStyle);
    CreateWindowExA(exStyle, kFormClass, ToAnsi(model.caption()).c_str(), style, CW_USEDEFAULT, CW_USEDEFAULT,
                    rc.right - rc.left, rc.bottom - rc.top, nullptr, nullptr, GetModuleHandleA(nullptr), this);
}

FormPeer::~FormPeer() {
    if (hwnd_ == nullptr) return;
    // From here on the window's messages reach no model.
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
    return CreateNativeControl(hwnd_, control, id);
}

void FormPeer::changed(Prop what) {
    switch (what) {
    case Prop::Text: SetWindowTextA(hwnd_, ToAnsi(model_.caption()).c_str()); break;
    case Prop::Picture: {
        auto icon = static_cast<LPARAM>(model_.icon());
        ::SendMessageA(hwnd_, WM_SETICON, ICON_BIG, icon);
        ::SendMessageA(hwnd_, WM_SETICON, ICON_SMALL, icon);
        break;
    }
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
    default: break;
    }
}

void FormPeer::stateChanged() {
    if (!IsWindowVisible(hwnd_)) return;  // a hidden window takes its state at the next show
    ShowWindow(hwnd_, model_.windowState() == WindowState::Minimized ? SW_MINIMIZE : SW_RESTORE);
}

void FormPeer::raise() { ::SetWindowPos(hwnd_, vx_win32_handles::Top(), 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE); }

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
    ::SetWindowPos(hwnd_, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void FormPeer::activated(bool active) {
    if (!active) {
        ::HWND focus = GetFocus();
        if (focus && IsChild(hwnd_, focus)) lastFocus_ = focus;
        return;
    }
    ::HWND target = lastFocus_ && IsWindow(lastFocus_) && IsChild(hwnd_, lastFocus_)
                        ? lastFocus_
                        : GetNextDlgTabItem(hwnd_, nullptr, FALSE);
    SetFocus(target ? target : hwnd_);
}

LRESULT FormPeer::toModel(UINT msg, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    Guarded([&] { result = model_.defaultProc(msg, wParam, lParam); });
    return result;
}

LRESULT FormPeer::proc(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_SYSCOMMAND:
        switch (wParam & 0xFFF0) {
        case SC_MINIMIZE:
        case SC_CLOSE: return toModel(msg, wParam, lParam);
        case SC_RESTORE:
            if (model_.windowState() == WindowState::Minimized) return toModel(msg, wParam, lParam);
            break;
        default: break;
        }
        break;
    case WM_CLOSE:
        // Through the procedure chain as the close box's command.
        Guarded([&] { model_.userCloseRequested(); });
        return 0;
    case WM_QUERYENDSESSION: return TRUE;
    case WM_ENDSESSION:
        // The user logs off or Windows shuts down: the forms close the normal
        // way (the monitor saves its totals) before the process is ended.
        if (wParam) Guarded([&] { model_.userCloseRequested(); });
        return 0;
    case WM_MOUSEMOVE:
        // A hidden window sees no real mouse: only the shell's callbacks for
        // its own icons count there.
        if (model_.border() != BorderStyle::Hidden || IsTrayCallback(hwnd_, wParam, lParam))
            toModel(msg, wParam, lParam);
        return 0;
    case WM_CHAR:
        Guarded([&] { model_.userKeyPress(static_cast<int>(wParam)); });
        break;
    case WM_KEYUP:
        Guarded([&] { model_.userKeyUp(static_cast<int>(wParam), ShiftState()); });
        break;
    case WM_COMMAND:
        if (lParam != 0) {
            auto* control = reinterpret_cast<NativeControl*>(GetWindowLongPtrA(reinterpret_cast<::HWND>(lParam), GWLP_USERDATA));
            if (control && GetParent(reinterpret_cast<::HWND>(lParam)) == hwnd_)
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

bool PreTranslate(MSG& msg) {
    if (msg.hwnd == nullptr) return false;
    ::HWND root = GetAncestor(msg.hwnd, GA_ROOT);
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
