// Forms as native top-level windows: styles and sizes from the model, keys,
// timers, the close box and minimising handed to the model, always-on-top,
// and the program's commands in the real system menu.
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

private:
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
    RECT rc{0, 0, Pixels(model.clientWidth()), Pixels(model.clientHeight())};
    AdjustWindowRectEx(&rc, style, FALSE, exStyle);
    CreateWindowExA(exStyle, kFormClass, ToAnsi(model.caption()).c_str(), style, CW_USEDEFAULT, CW_USEDEFAULT,
                    rc.right - rc.left, rc.bottom - rc.top, nullptr, nullptr, GetModuleHandleA(nullptr), this);
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
    return CreateNativeControl(hwnd_, control, id);
}

void FormPeer::changed(Prop what) {
    switch (what) {
    case Prop::Text: SetWindowTextA(hwnd_, ToAnsi(model_.caption()).c_str()); break;
    case Prop::Picture: {
        auto icon = static_cast<LPARAM>(model_.icon());
        SendMessageA(hwnd_, WM_SETICON, ICON_BIG, icon);
        SendMessageA(hwnd_, WM_SETICON, ICON_SMALL, icon);
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

void FormPeer::raise() { SetWindowPos(hwnd_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE); }

// The model only ever adds commands: the new ones go after those shown.
void FormPeer::appendSystemCommands() {
    const auto& commands = model_.systemCommands();
    if (systemCommandsShown_ >= commands.size()) return;
    HMENU menu = GetSystemMenu(hwnd_, FALSE);
    if (menu == nullptr) return;
    if (formProc_ == nullptr)
        formProc_ = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrA(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&FormPeer::SystemMenuProc)));
    for (; systemCommandsShown_ < commands.size(); ++systemCommandsShown_) {
        const std::size_t id = kFirstSystemCommand + systemCommandsShown_ * kSystemCommandStep;
        if (id >= SC_SIZE) break;  // the system's own commands start there
        const std::string& text = commands[systemCommandsShown_].text;
        if (text.empty())
            AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
        else
            AppendMenuA(menu, MF_STRING, id, ToAnsi(text).c_str());
    }
}

// Subclasses a form that has commands of its own in its system menu: those
// go to the model, everything else on to the form's procedure.
LRESULT CALLBACK FormPeer::SystemMenuProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    FormPeer* peer = PeerOf(hwnd);
    if (peer == nullptr) return DefWindowProcA(hwnd, msg, wParam, lParam);
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
