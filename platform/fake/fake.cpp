#include "platform/fake/fake.h"

#include <cstdio>
#include <sstream>

#include "platform/pictures.h"
#include "platform/portable/wndproc.h"
#include "platform/user32.h"
#include "runtime/errors.h"

namespace vx {

namespace fake {

State& S() {
    static State state;
    return state;
}

void Reset() {
    auto pictures = std::move(S().pictures);  // pictures live as long as the program
    S() = State();
    S().pictures = std::move(pictures);
}

void ProcessEvents() {
    while (!S().posted.empty()) {
        auto fn = std::move(S().posted.front());
        S().posted.pop_front();
        fn();
    }
}

platform::Window* FindWindow(const std::string& name) {
    for (platform::Window* w : platform::Window::all())
        if (w->name() == name) return w;
    return nullptr;
}

std::string Describe() {
    std::ostringstream out;
    for (platform::Window* w : platform::Window::all()) {
        out << w->name() << " \"" << w->caption() << "\"" << (w->visible() ? " shown" : " hidden") << "\n";
        for (auto& c : w->controls())
            out << "  " << c->name() << " " << c->rect().left << "," << c->rect().top << "\n";
    }
    return out.str();
}

namespace {

platform::HWND g_nextHandle = 0x1000;

class FakeWindowPeer : public platform::WindowPeer {
public:
    FakeWindowPeer() : handle_(g_nextHandle += 4) {}
    ~FakeWindowPeer() override { platform::portable::ForgetWindow(handle_); }
    platform::HWND handle() const override { return handle_; }
    void changed(platform::Prop) override {}
    void stateChanged() override {}
    void raise() override { S().raised.push_back(handle_); }
    std::unique_ptr<platform::ControlPeer> createControlPeer(platform::Control&) override { return nullptr; }

private:
    platform::HWND handle_;
};

}  // namespace

}  // namespace fake

namespace platform {

std::unique_ptr<WindowPeer> CreateWindowPeer(Window&) { return std::make_unique<fake::FakeWindowPeer>(); }

void InitApplication(int&, char**) {}

std::string AppPath() { return fake::S().appPath; }
std::string ProgramFile(const std::string& name) { return AppPath() + "/" + name; }
std::string AppTitle() { return "vxstat"; }
std::string AppFileDescription() { return "vxstat"; }
std::string CommandLine() { return fake::S().commandLine; }

int MsgBox(const std::string& prompt, int style, const std::string& title) {
    fake::S().messageBoxes.push_back({prompt, style, title});
    if (fake::S().onMessageBox) fake::S().onMessageBox(fake::S().messageBoxes.back());
    return vbOK;
}

std::string DateText() { return fake::S().dateText; }
std::string TimeText() { return fake::S().timeText; }

std::string FormatNumber(double value, int decimals) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, value < 0 ? -value : value);
    std::string digits(buf);
    std::size_t dot = digits.find('.');
    std::string whole = digits.substr(0, dot);
    std::string grouped;
    for (std::size_t i = 0; i < whole.size(); ++i) {
        if (i > 0 && (whole.size() - i) % 3 == 0) grouped += ',';
        grouped += whole[i];
    }
    std::string text = grouped + (dot == std::string::npos ? "" : digits.substr(dot));
    bool isZero = text.find_first_not_of("0.,") == std::string::npos;
    return (value < 0 && !isZero) ? "-" + text : text;
}

void Kill(const std::string& path) {
    if (std::remove(path.c_str()) != 0) throw RuntimeError(kErrFileNotFound, "File not found");
}

void End() { throw fake::ProgramEnded{}; }

int RunEventLoop() {
    fake::ProcessEvents();
    return 0;
}

void Quit() { fake::S().quitRequested = true; }

void Post(std::function<void()> fn) { fake::S().posted.push_back(std::move(fn)); }

BOOL SetWindowPos(HWND hWnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags) {
    fake::S().setWindowPosCalls.push_back({hWnd, insertAfter, x, y, cx, cy, flags});
    return Window::fromHandle(hWnd) ? 1 : 0;
}

BOOL SetForegroundWindow(HWND hWnd) {
    fake::S().foregroundCalls.push_back(hWnd);
    return 1;
}

BOOL Shell_NotifyIconA(DWORD message, NOTIFYICONDATA* data) {
    fake::S().shellCalls.push_back({message, *data});
    if (fake::S().onShellCall) fake::S().onShellCall(fake::S().shellCalls.back());
    return 1;
}

HICON CreatePicture(int width, int height, const std::vector<std::uint32_t>& rgb) {
    static HICON next = 0x5000;
    next += 2;
    fake::S().pictures[next] = fake::Picture{width, height, rgb};
    return next;
}

int PopupMenu(HWND owner, const std::vector<MenuItem>& items, int defaultIndex, UINT flags) {
    fake::S().popups.push_back({owner, items, defaultIndex, flags});
    if (fake::S().popupAnswers.empty()) return -1;
    int answer = fake::S().popupAnswers.front();
    fake::S().popupAnswers.pop_front();
    return answer;
}

}  // namespace platform

}  // namespace vx
