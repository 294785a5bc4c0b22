#include "platform/fake/fake.h"

#include <algorithm>
#include <cstdio>

#include "platform/pictures.h"
#include "platform/posix/folders.h"
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

bool StartedAgain() {
    if (S().instance.held.empty() || !S().instance.onRaise) return false;
    S().posted.emplace_back(S().instance.onRaise);
    ProcessEvents();
    return true;
}

platform::Window* FindWindow(const std::string& name) {
    for (platform::Window* w : platform::Window::all())
        if (w->name() == name) return w;
    return nullptr;
}

namespace {

platform::WindowHandle NextHandle() {
    static platform::WindowHandle last = 0x1000;
    return last += 4;
}

class FakeWindowPeer : public platform::WindowPeer {
public:
    FakeWindowPeer() : handle_(NextHandle()) {}
    platform::WindowHandle handle() const override { return handle_; }
    void changed(platform::Prop what) override { S().peerNotes.push_back({handle_, what}); }
    void stateChanged() override { S().peerNotes.push_back({handle_, std::nullopt}); }
    void raise() override { S().raised.push_back(handle_); }
    std::unique_ptr<platform::ControlPeer> createControlPeer(platform::Control&) override { return nullptr; }

private:
    platform::WindowHandle handle_;
};

}  // namespace

FakeTrayIcon::FakeTrayIcon(platform::PictureHandle picture, const std::string& tip, platform::TrayEvents events) {
    State::Tray& t = S().tray;
    t.shown = true;
    t.picture = picture;
    t.tip = tip;
    t.menu = {};
    t.events = std::move(events);
    ++t.created;
}

FakeTrayIcon::~FakeTrayIcon() {
    S().tray.shown = false;
    S().tray.events = {};
}

void FakeTrayIcon::setPicture(platform::PictureHandle picture) { S().tray.picture = picture; }
void FakeTrayIcon::setTip(const std::string& tip) { S().tray.tip = tip; }
void FakeTrayIcon::setMenu(const platform::TrayMenu& menu) { S().tray.menu = menu; }

void FakeTrayIcon::notify(const std::string& title, const std::string& text) {
    S().tray.notices.push_back({title, text});
}

void FakeTrayIcon::popUpMenu() {
    S().popups.push_back(S().tray.menu);
    if (S().popupAnswers.empty()) return;
    const int answer = S().popupAnswers.front();
    S().popupAnswers.pop_front();
    if (answer >= 0) TrayChoose(answer);
}

// Each event works on a copy of its handler: the handler may take the icon away.
void TrayClick(platform::MouseButton button) {
    if (!S().tray.shown) return;
    if (auto pressed = S().tray.events.pressed) pressed(button);
    if (!S().tray.shown) return;
    if (auto released = S().tray.events.released) released(button);
}

void TrayDoubleClick(platform::MouseButton button) {
    if (!S().tray.shown) return;
    if (auto doubleClicked = S().tray.events.doubleClicked) doubleClicked(button);
}

void TrayChoose(int index) {
    if (!S().tray.shown) return;
    if (auto chosen = S().tray.events.menuChosen) chosen(index);
}

bool ChooseSystemCommand(platform::Window& window, const std::string& text) {
    if (window.onSystemMenuOpening) window.onSystemMenuOpening();
    const auto& commands = window.systemCommands();
    for (std::size_t i = 0; i < commands.size(); ++i)
        if (!text.empty() && commands[i].text == text) {
            window.userSystemCommand(i);
            return true;
        }
    return false;
}

}  // namespace fake

namespace platform {

std::unique_ptr<WindowPeer> CreateWindowPeer(Window&) { return std::make_unique<fake::FakeWindowPeer>(); }

void InitApplication(int&, char**) {}

std::string AppPath() { return fake::S().appPath; }
std::string ProgramFile(const std::string& name) { return AppPath() + "/" + name; }
std::string ProgramExecutable() { return AppPath() + "/vxstat"; }
bool ProgramFolderIsWritable() { return fake::S().programFolderWritable.value_or(posix::FolderIsWritable(AppPath())); }
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

PictureHandle CreatePicture(int width, int height, const std::vector<std::uint32_t>& rgb) {
    static PictureHandle next = 0x5000;
    next += 2;
    fake::S().pictures[next] = fake::Picture{width, height, rgb};
    return next;
}

PictureHandle CreatePicture(int size, SquareDrawing draw) {
    return draw && size > 0 ? CreatePicture(size, size, draw(size)) : 0;
}

bool TrayAvailable() { return fake::S().trayAvailable; }

bool ClaimSingleInstance(const std::string& key, std::function<void()> onRaise) {
    auto& instance = fake::S().instance;
    if (std::find(instance.heldElsewhere.begin(), instance.heldElsewhere.end(), key) != instance.heldElsewhere.end()) {
        instance.raiseAsked.push_back(key);
        return false;
    }
    instance.held = key;
    instance.onRaise = std::move(onRaise);
    return true;
}

std::unique_ptr<TrayIcon> CreateTrayIcon(PictureHandle picture, const std::string& tip, TrayEvents events) {
    return std::make_unique<fake::FakeTrayIcon>(picture, tip, std::move(events));
}

}  // namespace platform

}  // namespace vx
