#include "platform/forms.h"

#include <algorithm>
#include <utility>

#include "platform/app.h"
#include "runtime/errors.h"

namespace vx::platform {

namespace {

std::vector<Window*>& Registry() {
    static std::vector<Window*> windows;
    return windows;
}

RuntimeError InvalidPropertyValue() { return RuntimeError(kErrInvalidPropertyValue, "Invalid property value"); }

}  // namespace

// ---- Control ---------------------------------------------------------------

Control::Control(Window& owner, ControlKind kind, std::string name, Twips rect)
    : owner_(owner), kind_(kind), name_(std::move(name)), rect_(rect) {}

Control::~Control() = default;

void Control::setVisible(bool visible) {
    if (visible_ == visible) return;
    visible_ = visible;
    notify(Prop::Visible);
}

void Control::setEnabled(bool enabled) {
    if (enabled_ == enabled) return;
    enabled_ = enabled;
    notify(Prop::Enabled);
}

void Control::attachPeer(std::unique_ptr<ControlPeer> peer) { peer_ = std::move(peer); }

void Control::notify(Prop what) {
    if (peer_) peer_->changed(what);
}

Label::Label(Window& owner, std::string name, Twips rect, std::string caption)
    : Control(owner, ControlKind::Label, std::move(name), rect), caption_(std::move(caption)) {}

void Label::setCaption(const std::string& caption) {
    if (caption_ == caption) return;
    caption_ = caption;
    notify(Prop::Text);
}

void Label::setFont(const Font& font) {
    font_ = font;
    notify(Prop::Font);
}

TextBox::TextBox(Window& owner, std::string name, Twips rect, std::string text)
    : Control(owner, ControlKind::TextBox, std::move(name), rect), text_(std::move(text)) {}

void TextBox::setText(const std::string& text) {
    if (text_ == text) return;
    text_ = text;
    notify(Prop::Text);
    if (onChange) onChange();
}

void TextBox::setPasswordChar(char c) {
    passwordChar_ = c;
    notify(Prop::Text);
}

ComboBox::ComboBox(Window& owner, std::string name, Twips rect, std::string text)
    : Control(owner, ControlKind::ComboBox, std::move(name), rect), text_(std::move(text)) {}

void ComboBox::setText(const std::string& text) {
    if (text_ == text) return;
    text_ = text;
    notify(Prop::Text);
    if (onChange) onChange();
}

void ComboBox::addItem(const std::string& item) {
    items_.push_back(item);
    notify(Prop::Items);
}

CheckBox::CheckBox(Window& owner, std::string name, Twips rect, std::string caption)
    : Control(owner, ControlKind::CheckBox, std::move(name), rect), caption_(std::move(caption)) {}

void CheckBox::setValue(int value) {
    if (value < 0 || value > 2) throw InvalidPropertyValue();
    if (value_ == value) return;
    value_ = value;
    notify(Prop::Value);
}

CommandButton::CommandButton(Window& owner, std::string name, Twips rect, std::string caption)
    : Control(owner, ControlKind::CommandButton, std::move(name), rect), caption_(std::move(caption)) {}

void CommandButton::click() {
    if (onClick) onClick();
}

ProgressBar::ProgressBar(Window& owner, std::string name, Twips rect, float min, float max)
    : Control(owner, ControlKind::ProgressBar, std::move(name), rect), min_(min), max_(max), value_(min) {}

void ProgressBar::setMax(float max) {
    if (!(max > min_)) throw InvalidPropertyValue();
    max_ = max;
    if (value_ > max_) value_ = max_;
    notify(Prop::Range);
}

void ProgressBar::setValue(float value) {
    if (!(value >= min_ && value <= max_)) throw InvalidPropertyValue();
    if (value_ == value) return;
    value_ = value;
    notify(Prop::Value);
}

Image::Image(Window& owner, std::string name, Twips rect, PictureHandle picture)
    : Control(owner, ControlKind::Image, std::move(name), rect), picture_(picture) {}

void Image::setPicture(PictureHandle picture) {
    picture_ = picture;
    notify(Prop::Picture);
}

Line::Line(Window& owner, std::string name, int x1_, int y1_, int x2_, int y2_)
    : Control(owner, ControlKind::Line, std::move(name), Twips{x1_, y1_, x2_ - x1_, y2_ - y1_}),
      x1(x1_),
      y1(y1_),
      x2(x2_),
      y2(y2_) {}

Timer::Timer(Window& owner, std::string name, int intervalMs)
    : Control(owner, ControlKind::Timer, std::move(name), Twips{}), interval_(intervalMs) {}

void Timer::tick() {
    if (enabled() && onTimer) onTimer();
}

// ---- Window ----------------------------------------------------------------

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

WindowHandle Window::hWnd() const { return peer_ ? peer_->handle() : 0; }

Window* Window::fromHandle(WindowHandle hWnd) {
    if (hWnd == 0) return nullptr;
    for (Window* w : Registry())
        if (w->hWnd() == hWnd) return w;
    return nullptr;
}

std::vector<Window*> Window::all() { return Registry(); }

void Window::setCaption(const std::string& caption) {
    if (caption_ == caption) return;
    caption_ = caption;
    if (peer_) peer_->changed(Prop::Text);
}

void Window::setIcon(PictureHandle icon) {
    icon_ = icon;
    if (peer_) peer_->changed(Prop::Picture);
}

void Window::show() {
    if (visible_) return;
    visible_ = true;
    if (peer_) peer_->changed(Prop::Visible);
}

void Window::hide() {
    if (!visible_) return;
    visible_ = false;
    if (peer_) peer_->changed(Prop::Visible);
}

void Window::zOrder() {
    if (peer_) peer_->raise();
}

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

void Window::userKeyPress(int keyAscii) {
    if (onKeyPress) onKeyPress(keyAscii);
}

void Window::userKeyUp(int keyCode, int shift) {
    if (onKeyUp) onKeyUp(keyCode, shift);
}

void Window::userCloseRequested() {
    if (onCloseRequest) onCloseRequest();
}

void Window::userSystemCommand(std::size_t index) {
    if (index >= systemCommands_.size()) return;
    // A copy: the handler may change the menu, or unload the window's form.
    const std::function<void()> handler = systemCommands_[index].handler;
    if (handler) handler();
}

void Window::setAlwaysOnTop(bool onTop) {
    if (onTop_ == onTop) return;
    onTop_ = onTop;
    if (peer_) peer_->changed(Prop::OnTop);
}

void Window::addSystemCommand(const std::string& text, std::function<void()> handler) {
    systemCommands_.push_back(SystemCommand{text, std::move(handler)});
    if (peer_) peer_->changed(Prop::SystemMenu);
}

void Window::addSystemSeparator() { addSystemCommand("", nullptr); }

void Window::destroy() {
    for (auto& c : controls_)
        if (c->kind() == ControlKind::Timer) c->setEnabled(false);
    hide();
}

template <class T, class... Args>
T& Window::add(Args&&... args) {
    auto control = std::make_unique<T>(*this, std::forward<Args>(args)...);
    T& ref = *control;
    controls_.push_back(std::move(control));
    if (peer_) ref.attachPeer(peer_->createControlPeer(ref));
    return ref;
}

Label& Window::addLabel(const std::string& name, Twips rect, const std::string& caption) {
    return add<Label>(name, rect, caption);
}
TextBox& Window::addTextBox(const std::string& name, Twips rect, const std::string& text) {
    return add<TextBox>(name, rect, text);
}
ComboBox& Window::addComboBox(const std::string& name, Twips rect, const std::string& text) {
    return add<ComboBox>(name, rect, text);
}
CheckBox& Window::addCheckBox(const std::string& name, Twips rect, const std::string& caption) {
    return add<CheckBox>(name, rect, caption);
}
CommandButton& Window::addButton(const std::string& name, Twips rect, const std::string& caption) {
    return add<CommandButton>(name, rect, caption);
}
ProgressBar& Window::addProgressBar(const std::string& name, Twips rect, float min, float max) {
    return add<ProgressBar>(name, rect, min, max);
}
Image& Window::addImage(const std::string& name, Twips rect, PictureHandle picture) {
    return add<Image>(name, rect, picture);
}
Line& Window::addLine(const std::string& name, int x1, int y1, int x2, int y2) {
    return add<Line>(name, x1, y1, x2, y2);
}
Timer& Window::addTimer(const std::string& name, int intervalMs) { return add<Timer>(name, intervalMs); }

Control* Window::find(const std::string& name) const {
    for (auto& c : controls_)
        if (c->name() == name) return c.get();
    return nullptr;
}

}  // namespace vx::platform
