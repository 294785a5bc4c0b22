// The notification-area icon: the shell's icon of the first record layout,
// owned by a hidden window of ours that hears its callbacks, and its popup
// menu.
//
// The icon may be destroyed from inside one of its own events (the menu's
// "Close" unloads the tray form). What such an event still needs after its
// handler returns is held by a shared record that the event keeps alive; the
// window is never destroyed and the menu is the popup's own local.
#include <algorithm>
#include <cstring>
#include <utility>

#include "platform/win32/backend.h"

namespace vx::platform {

namespace win32 {

struct TrayRecord {
    UINT id = 0;
    HICON icon = nullptr;
    std::string tip;  // UTF-8, as the model gave it
    TrayMenu menu;
    TrayEvents events;
    bool shown = false;     // false once the icon has left the tray for good
    bool tracking = false;  // its popup menu is open
};

namespace {

constexpr char kTrayClass[] = "vxstat.tray";
constexpr std::size_t kTipBytes = 64;  // the first layout's tip field, its NUL included
static_assert(sizeof(NOTIFYICONDATAA{}.szTip) >= kTipBytes, "the later layouts only lengthen it");
static_assert(NOTIFYICONDATAA_V1_SIZE == (sizeof(void*) == 8 ? 104 : 88), "first record layout");

std::shared_ptr<TrayRecord> Find(UINT id) {
    for (const auto& record : Backend().trayIcons)
        if (record->id == id) return record;
    return nullptr;
}

// The picture drawn at the notification area's icon size, which grows with the dpi.
HICON TrayPicture(HICON picture) { return PictureAt(picture, MetricAt(SM_CXSMICON, DpiOf(Backend().trayWindow))); }

// Failures are not reported: a shell that is not there yet gets the icon
// when its taskbar comes (TaskbarCreated).
void Notify(DWORD message, const TrayRecord& record, UINT flags) {
    NOTIFYICONDATAA data = ShellRecord(Backend().trayWindow, record.id, TrayPicture(record.icon), record.tip);
    data.uFlags = flags;
    Shell_NotifyIconA(message, &data);
}

void Add(const TrayRecord& record) { Notify(NIM_ADD, record, NIF_MESSAGE | NIF_ICON | NIF_TIP); }

void Remove(const TrayRecord& record) { Notify(NIM_DELETE, record, 0); }

// ANSI text into a field of `size` bytes, its NUL included, never ending on
// the first half of a double-byte character.
void CopyCut(const std::string& ansi, char* field, std::size_t size) {
    std::size_t n = 0;
    while (n < ansi.size()) {
        const std::size_t step = IsDBCSLeadByteEx(CP_ACP, static_cast<BYTE>(ansi[n])) ? 2 : 1;
        if (n + step > size - 1 || n + step > ansi.size()) break;
        n += step;
    }
    std::memcpy(field, ansi.data(), n);
    field[n] = '\0';
}

// The shell's mouse messages and the events they are.
struct MouseEvent {
    UINT message;
    MouseButton button;
    std::function<void(MouseButton)> TrayEvents::*event;
};
constexpr MouseEvent kMouseEvents[] = {
    {WM_LBUTTONDOWN, MouseButton::Left, &TrayEvents::pressed},
    {WM_LBUTTONUP, MouseButton::Left, &TrayEvents::released},
    {WM_LBUTTONDBLCLK, MouseButton::Left, &TrayEvents::doubleClicked},
    {WM_RBUTTONDOWN, MouseButton::Right, &TrayEvents::pressed},
    {WM_RBUTTONUP, MouseButton::Right, &TrayEvents::released},
    {WM_RBUTTONDBLCLK, MouseButton::Right, &TrayEvents::doubleClicked},
    {WM_MBUTTONDOWN, MouseButton::Middle, &TrayEvents::pressed},
    {WM_MBUTTONUP, MouseButton::Middle, &TrayEvents::released},
    {WM_MBUTTONDBLCLK, MouseButton::Middle, &TrayEvents::doubleClicked},
};

void Dispatch(TrayRecord& record, UINT mouseMessage) {
    for (const MouseEvent& e : kMouseEvents) {
        if (e.message != mouseMessage) continue;
        const std::function<void(MouseButton)>& handler = record.events.*e.event;
        if (handler) Guarded([&] { handler(e.button); });
        return;
    }
}

LRESULT CALLBACK TrayWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    State& state = Backend();
    if (msg == kTrayCallback) {
        // Held here: the handler may destroy the icon it was called for.
        if (std::shared_ptr<TrayRecord> record = Find(static_cast<UINT>(wParam))) Dispatch(*record, LOWORD(lParam));
        return 0;
    }
    if (msg == state.taskbarCreated && state.taskbarCreated != 0) {
        // Explorer started again: its notification area is empty.
        for (const auto& record : state.trayIcons) Add(*record);
        return 0;
    }
    if (msg == WM_DPICHANGED) {
        // The primary monitor's dpi changed: the pictures at the new icon size.
        for (const auto& record : state.trayIcons) Notify(NIM_MODIFY, *record, NIF_ICON);
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

HWND TrayWindow() {
    State& state = Backend();
    if (state.trayWindow) return state.trayWindow;
    const HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA wc{};
    wc.lpfnWndProc = TrayWindowProc;
    wc.hInstance = instance;
    wc.lpszClassName = kTrayClass;
    RegisterClassA(&wc);
    state.taskbarCreated = RegisterWindowMessageA("TaskbarCreated");
    // Top-level, never shown: a message-only window would not hear the
    // taskbar's broadcast.
    state.trayWindow =
        CreateWindowExA(WS_EX_TOOLWINDOW, kTrayClass, "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, instance, nullptr);
    // An elevated program still hears Explorer, which runs unelevated.
    if (state.trayWindow && state.taskbarCreated)
        ChangeWindowMessageFilterEx(state.trayWindow, state.taskbarCreated, MSGFLT_ALLOW, nullptr);
    return state.trayWindow;
}

class ShellTrayIcon : public TrayIcon {
public:
    explicit ShellTrayIcon(std::shared_ptr<TrayRecord> record) : record_(std::move(record)) {}

    ~ShellTrayIcon() override {
        TrayRecord& record = *record_;
        if (record.tracking) EndMenu();    // its popup closes with it
        if (record.shown) Remove(record);  // not again after RemoveTrayIcons()
        record.shown = false;
        auto& icons = Backend().trayIcons;
        icons.erase(std::remove(icons.begin(), icons.end(), record_), icons.end());
    }

    void setPicture(PictureHandle picture) override {
        record_->icon = NativeIcon(picture);
        Notify(NIM_MODIFY, *record_, NIF_ICON);
    }

    void setTip(const std::string& tip) override {
        record_->tip = tip;
        Notify(NIM_MODIFY, *record_, NIF_TIP);
    }

    void setMenu(const TrayMenu& menu) override { record_->menu = menu; }

    void popUpMenu() override;

    // A balloon: the second record layout, which every shell since Windows
    // 2000 knows, with only the balloon's fields set.
    void notify(const std::string& title, const std::string& text) override {
        NOTIFYICONDATAA data{};
        data.cbSize = NOTIFYICONDATAA_V2_SIZE;
        data.hWnd = Backend().trayWindow;
        data.uID = record_->id;
        data.uFlags = NIF_INFO;
        data.dwInfoFlags = NIIF_INFO;
        CopyCut(ToAnsi(text), data.szInfo, sizeof data.szInfo);
        CopyCut(ToAnsi(title), data.szInfoTitle, sizeof data.szInfoTitle);
        Shell_NotifyIconA(NIM_MODIFY, &data);
    }

    UINT id() const { return record_->id; }

private:
    std::shared_ptr<TrayRecord> record_;
};

// Only locals after the menu opens: the icon object may be gone by the time
// it closes, or in the handler of the choice.
void ShellTrayIcon::popUpMenu() {
    const std::shared_ptr<TrayRecord> record = record_;
    if (record->tracking) return;
    const HWND owner = TrayWindow();
    HMENU menu = CreatePopupMenu();
    if (menu == nullptr) return;
    const std::vector<TrayMenuItem>& items = record->menu.items;
    // Commands are the item's index + 1: 0 is what TrackPopupMenu returns for "nothing chosen".
    for (std::size_t i = 0; i < items.size(); ++i) {
        const TrayMenuItem& item = items[i];
        if (!item.visible) continue;
        if (item.caption == "-") {
            AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
            continue;
        }
        const UINT flags = MF_STRING | (item.enabled ? MF_ENABLED : MF_GRAYED);
        AppendMenuA(menu, flags, i + 1, ToAnsi(item.caption).c_str());
    }
    const int defaultIndex = record->menu.defaultIndex;
    if (defaultIndex >= 0 && static_cast<std::size_t>(defaultIndex) < items.size() &&
        items[static_cast<std::size_t>(defaultIndex)].visible)
        SetMenuDefaultItem(menu, static_cast<UINT>(defaultIndex + 1), FALSE);
    POINT at{};
    GetCursorPos(&at);
    // Without the foreground the menu would not close on a click elsewhere.
    SetForegroundWindow(owner);
    BOOL chosen = 0;
    {
        HandlerScope scope;  // the menu's modal loop must not run posted work
        record->tracking = true;
        chosen = TrackPopupMenu(menu, TPM_LEFTBUTTON | TPM_RETURNCMD | TPM_NONOTIFY, at.x, at.y, 0, owner, nullptr);
        record->tracking = false;
    }
    PostMessageA(owner, WM_NULL, 0, 0);  // lets the menu close properly the next time
    DestroyMenu(menu);
    if (chosen > 0 && record->shown && record->events.menuChosen)
        Guarded([&] { record->events.menuChosen(chosen - 1); });
}

}  // namespace

std::string ShellTip(std::string_view text, UINT codePage) {
    constexpr std::size_t kMax = kTipBytes - 1;
    if (text.size() <= kMax) return std::string(text);
    std::size_t n = 0;
    while (n < kMax) {
        const std::size_t step = IsDBCSLeadByteEx(codePage, static_cast<BYTE>(text[n])) ? 2 : 1;
        if (n + step > kMax) break;  // the character would not fit whole
        n += step;
    }
    return std::string(text.substr(0, n));
}

NOTIFYICONDATAA ShellRecord(HWND window, UINT id, HICON icon, std::string_view utf8Tip) {
    NOTIFYICONDATAA data{};
    // The first layout: every shell since the first knows it, and its tip is
    // the ANSI one the program has always had.
    data.cbSize = NOTIFYICONDATAA_V1_SIZE;
    data.hWnd = window;
    data.uID = id;
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = kTrayCallback;
    data.hIcon = icon;
    const std::string tip = ShellTip(ToAnsi(utf8Tip), CP_ACP);
    std::memcpy(data.szTip, tip.data(), tip.size());
    data.szTip[tip.size()] = '\0';
    return data;
}

UINT TrayIconId(const TrayIcon& icon) {
    auto* shell = dynamic_cast<const ShellTrayIcon*>(&icon);
    return shell ? shell->id() : 0;
}

void RemoveTrayIcons() {
    State& state = Backend();
    for (const auto& record : state.trayIcons) {
        record->shown = false;
        Remove(*record);
    }
    state.trayIcons.clear();
}

}  // namespace win32

// The shell's notification area is part of every Windows desktop.
bool TrayAvailable() { return true; }

std::unique_ptr<TrayIcon> CreateTrayIcon(PictureHandle picture, const std::string& tip, TrayEvents events) {
    win32::State& state = win32::Backend();
    auto record = std::make_shared<win32::TrayRecord>();
    record->id = state.nextTrayId++;
    record->icon = win32::NativeIcon(picture);
    record->tip = tip;
    record->events = std::move(events);
    record->shown = true;
    win32::TrayWindow();
    state.trayIcons.push_back(record);
    win32::Add(*record);
    return std::make_unique<win32::ShellTrayIcon>(std::move(record));
}

}  // namespace vx::platform
