// The message loop, work posted to it, and errors that escape a handler.

#include "platform/win32/backend.h"
#include "runtime/errors.h"

namespace vx::platform {

namespace win32 {

namespace {

constexpr UINT kRunPosted = WM_APP + 1;

void RunPosted() {
    // Posted work may post more; all of it runs before the next event.
    State& state = Backend();
    while (state.handlerDepth == 0 && !state.posted.empty()) {
        auto fn = std::move(state.posted.front());
        state.posted.pop_front();
        Guarded(fn);
    }
}

LRESULT CALLBACK MessageWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == kRunPosted) {
        RunPosted();  // inside a handler's modal loop it waits for the outer loop
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

}  // namespace

State& Backend() {
    // NOLINTNEXTLINE(cppcoreguidelines-avoid-non-const-global-variables): the backend's one state
    static State& state = *new State;  // outlives every static form
    return state;
}

void ReportUnhandled(const std::exception& error) {
    std::string text;
    if (auto* runtime = dynamic_cast<const RuntimeError*>(&error))
        text = "Run-time error '" + std::to_string(runtime->number()) + "':\r\n\r\n" + runtime->what();
    else
        text = std::string("Unexpected error:\r\n\r\n") + error.what();
    MessageBoxA(GetActiveWindow(), ToAnsi(text).c_str(), ToAnsi(AppTitle()).c_str(), MB_OK | MB_ICONERROR);
}

void CreateMessageWindow(HINSTANCE instance) {
    State& state = Backend();
    if (state.messageWindow) return;
    WNDCLASSW wc{};
    wc.lpfnWndProc = MessageWindowProc;
    wc.hInstance = instance;
    wc.lpszClassName = L"vxstat.messages";
    RegisterClassW(&wc);
    state.messageWindow =
        CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, nullptr);
}

}  // namespace win32

int RunEventLoop() {
    MSG msg;
    int result = 0;
    for (;;) {
        win32::RunPosted();
        BOOL got = GetMessageA(&msg, nullptr, 0, 0);
        if (got == 0) {
            result = static_cast<int>(msg.wParam);
            break;
        }
        if (got == -1) break;
        if (win32::PreTranslate(msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    win32::RunPosted();
    return result;
}

void Quit() { PostQuitMessage(0); }

void Post(std::function<void()> fn) {
    win32::State& state = win32::Backend();
    state.posted.push_back(std::move(fn));
    if (state.messageWindow) PostMessageW(state.messageWindow, win32::kRunPosted, 0, 0);
}

}  // namespace vx::platform
