#include "platform/forms.h"

#include <algorithm>

#include "runtime/errors.h"

namespace vx::platform {

namespace {

std::vector<Window*>& Registry() {
    static std::vector<Window*> windows;
    return windows;
}

RuntimeError InvalidPropertyValue() { return RuntimeError(kErrInvalidPropertyValue, "Invalid property value"); }

}  // namespace

void ComboBox::addItem(const std::string& item) {
    items_.push_back(item);
    notify(Prop::Items);
}

void CheckBox::setValue(int value) {
    if (value < 0 || value > 2) throw InvalidPropertyValue();
    change(value_, value, Prop::Value);
}

void ProgressBar::setMax(float max) {
    if (!(max > min_)) throw InvalidPropertyValue();
    max_ = max;
    if (value_ > max_) value_ = max_;
    notify(Prop::Range);
}

void ProgressBar::setValue(float value) {
    if (!(value >= min_ && value <= max_)) throw InvalidPropertyValue();
    change(value_, value, Prop::Value);
}

Window::Window(std::string name, std::string caption, int clientWidthTwips, int clientHeightTwips, BorderStyle border)
    : name_(std::move(name)),
      caption_(std::move(caption)),
      clientWidth_(clientWidthTwips),
      clientHeight_(clientHeightTwips),
      border_(border) {
    Registry().push_back(this);
    peer_ = CreateWindowPeer(*this);
}

Window::~Window() {
    for (auto& c : controls_) c->attachPeer(nullptr);
    peer_.reset();
    auto& reg = Registry();
    reg.erase(std::remove(reg.begin(), reg.end(), this), reg.end());
}

Window* Window::fromHandle(WindowHandle hWnd) {
    if (hWnd == 0) return nullptr;
    for (Window* w : Registry())
        if (w->hWnd() == hWnd) return w;
    return nullptr;
}

std::vector<Window*> Window::all() { return Registry(); }

void Window::setWindowState(WindowState state) {
    if (state_ == state) return;
    state_ = state;
    if (peer_) peer_->stateChanged();
    if (onResize) onResize();
}

void Window::userStateChanged(WindowState state) {
    if (state_ == state) return;
    state_ = state;
    if (onResize) onResize();
}

void Window::userSystemCommand(std::size_t index) {
    if (index >= systemCommands_.size()) return;
    // A copy: the handler may change the menu, or unload the window's form.
    const std::function<void()> handler = systemCommands_[index].handler;
    if (handler) handler();
}

std::size_t Window::addSystemCommand(const std::string& text, std::function<void()> handler,
                                     std::optional<bool> checked) {
    systemCommands_.push_back(SystemCommand{text, std::move(handler), checked});
    notify(Prop::SystemMenu);
    return systemCommands_.size() - 1;
}

void Window::setSystemCommandChecked(std::size_t index, bool checked) {
    if (index >= systemCommands_.size() || systemCommands_[index].checked == checked) return;
    systemCommands_[index].checked = checked;
    notify(Prop::SystemMenu);
}

void Window::destroy() {
    for (auto& c : controls_)
        if (c->kind() == ControlKind::Timer) c->setEnabled(false);
    hide();
}

Control* Window::find(const std::string& name) const {
    for (auto& c : controls_)
        if (c->name() == name) return c.get();
    return nullptr;
}

}  // namespace vx::platform
