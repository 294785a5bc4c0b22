// Windows and their controls as the forms see them.
//
// Each window and control is a small portable model that holds its state and
// raises its events; a backend attaches a "peer" that draws it and reports what
// the user does. Forms only ever talk to the model, so the rules (a change event
// on every text change, a progress value outside Min..Max refused, ...) are the
// same on every backend, and the fake backend needs no peers at all.
#pragma once

#include <functional>
#include <optional>
#include <stdexcept>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/drawing.h"
#include "platform/types.h"

namespace vx::platform {

struct Twips {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

struct Font {
    std::string face = "MS Sans Serif";
    double points = 8.25;
    bool bold = false;
};

enum class ControlKind { Label, TextBox, ComboBox, CheckBox, CommandButton, ProgressBar, Image, Line, Timer, Chart };

// What changed, so that a peer redraws only that. For a window: Text is the
// caption, Picture the icon; OnTop and SystemMenu are the window's own.
enum class Prop { Text, Visible, Enabled, Value, Range, Items, Picture, Font, OnTop, SystemMenu };

// A model's side of its peer: every change of state is told to the peer.
template <class Peer>
class Model {
public:
    Peer* peer() const { return peer_.get(); }

protected:
    void notify(Prop what) {
        if (peer_) peer_->changed(what);
    }
    // Stores a value and tells the peer, whether it was new or not.
    template <class T>
    void replace(T& field, const T& value, Prop what) {
        field = value;
        notify(what);
    }
    // Stores a new value and tells the peer; false when it was so already.
    template <class T>
    bool change(T& field, const T& value, Prop what) {
        if (field == value) return false;
        replace(field, value, what);
        return true;
    }

    std::unique_ptr<Peer> peer_;
};

class Window;

class ControlPeer {
public:
    virtual ~ControlPeer() = default;
    virtual void changed(Prop what) = 0;
};

class Control : public Model<ControlPeer> {
public:
    Control(Window& owner, ControlKind kind, std::string name, Twips rect)
        : owner_(owner), kind_(kind), name_(std::move(name)), rect_(rect) {}
    virtual ~Control() = default;
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    Window& owner() const { return owner_; }
    ControlKind kind() const { return kind_; }
    const std::string& name() const { return name_; }
    const Twips& rect() const { return rect_; }

    bool visible() const { return visible_; }
    void setVisible(bool visible) { change(visible_, visible, Prop::Visible); }
    bool enabled() const { return enabled_; }
    void setEnabled(bool enabled) { change(enabled_, enabled, Prop::Enabled); }

    void attachPeer(std::unique_ptr<ControlPeer> peer) { peer_ = std::move(peer); }

private:
    Window& owner_;
    ControlKind kind_;
    std::string name_;
    Twips rect_;
    bool visible_ = true;
    bool enabled_ = true;
};

class Label : public Control {
public:
    Label(Window& owner, std::string name, Twips rect, std::string caption)
        : Control(owner, ControlKind::Label, std::move(name), rect), caption_(std::move(caption)) {}
    const std::string& caption() const { return caption_; }
    void setCaption(const std::string& caption) { change(caption_, caption, Prop::Text); }
    const Font& font() const { return font_; }
    void setFont(const Font& font) { replace(font_, font, Prop::Font); }

private:
    std::string caption_;
    Font font_;
};

// Text the user edits. Raises onChange whenever the text really changes, by
// program or user.
class EditControl : public Control {
public:
    const std::string& text() const { return text_; }
    void setText(const std::string& text) {
        if (change(text_, text, Prop::Text) && onChange) onChange();
    }
    std::function<void()> onChange;

protected:
    EditControl(Window& owner, ControlKind kind, std::string name, Twips rect, std::string text)
        : Control(owner, kind, std::move(name), rect), text_(std::move(text)) {}

private:
    std::string text_;
};

class TextBox : public EditControl {
public:
    TextBox(Window& owner, std::string name, Twips rect, std::string text)
        : EditControl(owner, ControlKind::TextBox, std::move(name), rect, std::move(text)) {}
    char passwordChar() const { return passwordChar_; }
    void setPasswordChar(char c) { replace(passwordChar_, c, Prop::Text); }

private:
    char passwordChar_ = 0;
};

// An editable text with a drop-down list.
class ComboBox : public EditControl {
public:
    ComboBox(Window& owner, std::string name, Twips rect, std::string text)
        : EditControl(owner, ControlKind::ComboBox, std::move(name), rect, std::move(text)) {}
    void addItem(const std::string& item);
    const std::vector<std::string>& items() const { return items_; }

private:
    std::vector<std::string> items_;
};

class CheckBox : public Control {
public:
    CheckBox(Window& owner, std::string name, Twips rect, std::string caption)
        : Control(owner, ControlKind::CheckBox, std::move(name), rect), caption_(std::move(caption)) {}
    const std::string& caption() const { return caption_; }
    // 0 unticked, 1 ticked, 2 greyed; anything else is an invalid value (380).
    int value() const { return value_; }
    void setValue(int value);

private:
    std::string caption_;
    int value_ = 0;
};

class CommandButton : public Control {
public:
    CommandButton(Window& owner, std::string name, Twips rect, std::string caption)
        : Control(owner, ControlKind::CommandButton, std::move(name), rect), caption_(std::move(caption)) {}
    const std::string& caption() const { return caption_; }
    std::function<void()> onClick;
    // As if the user pressed it.
    void click() {
        if (onClick) onClick();
    }

private:
    std::string caption_;
};

// Min, Max and a single-precision Value; a value outside Min..Max, or a Max not
// above Min, is refused with "invalid property value" (380).
class ProgressBar : public Control {
public:
    ProgressBar(Window& owner, std::string name, Twips rect, float min, float max)
        : Control(owner, ControlKind::ProgressBar, std::move(name), rect), min_(min), max_(max), value_(min) {}
    float min() const { return min_; }
    float max() const { return max_; }
    float value() const { return value_; }
    void setMax(float max);
    void setValue(float value);

private:
    float min_;
    float max_;
    float value_;
};

class Image : public Control {
public:
    Image(Window& owner, std::string name, Twips rect, PictureHandle picture)
        : Control(owner, ControlKind::Image, std::move(name), rect), picture_(picture) {}
    PictureHandle picture() const { return picture_; }
    void setPicture(PictureHandle picture) { replace(picture_, picture, Prop::Picture); }

private:
    PictureHandle picture_;
};

class Line : public Control {
public:
    Line(Window& owner, std::string name, int xa, int ya, int xb, int yb)
        : Control(owner, ControlKind::Line, std::move(name), Twips{xa, ya, xb - xa, yb - ya}),
          x1(xa),
          y1(ya),
          x2(xb),
          y2(yb) {}
    int x1, y1, x2, y2;
};

// A picture the program describes shape by shape (platform/drawing.h); a new
// drawing replaces the old one whole (Prop::Picture).
class Chart : public Control {
public:
    Chart(Window& owner, std::string name, Twips rect) : Control(owner, ControlKind::Chart, std::move(name), rect) {}
    const Drawing& drawing() const { return drawing_; }
    void setDrawing(Drawing drawing) {
        drawing_ = std::move(drawing);
        notify(Prop::Picture);
    }

private:
    Drawing drawing_;
};

// A timer belongs to a window and ticks while enabled; it never ticks into a
// window that has been destroyed.
class Timer : public Control {
public:
    Timer(Window& owner, std::string name, int intervalMs)
        : Control(owner, ControlKind::Timer, std::move(name), Twips{}), interval_(intervalMs) {}
    int interval() const { return interval_; }
    bool timerEnabled() const { return enabled(); }
    std::function<void()> onTimer;
    // Called by the backend.
    void tick() {
        if (enabled() && onTimer) onTimer();
    }

private:
    int interval_;
};

enum class BorderStyle {
    FixedSingle,      // caption, close and minimise boxes, no maximise
    FixedDialog,      // caption and close box only
    FixedToolWindow,  // small caption, no taskbar button
    Hidden,           // never shown: only its handle and messages matter
};

enum class WindowState { Normal, Minimized };

class WindowPeer {
public:
    virtual ~WindowPeer() = default;
    virtual WindowHandle handle() const = 0;
    virtual void changed(Prop what) = 0;  // Text = caption, Visible, Picture = icon, OnTop, SystemMenu
    virtual void stateChanged() = 0;
    virtual void raise() = 0;  // to the top of the z-order
    virtual std::unique_ptr<ControlPeer> createControlPeer(Control& control) = 0;
};

class Window : public Model<WindowPeer> {
public:
    Window(std::string name, std::string caption, int clientWidthTwips, int clientHeightTwips, BorderStyle border);
    ~Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    const std::string& name() const { return name_; }
    WindowHandle hWnd() const { return peer_ ? peer_->handle() : 0; }
    BorderStyle border() const { return border_; }
    int clientWidth() const { return clientWidth_; }
    int clientHeight() const { return clientHeight_; }

    const std::string& caption() const { return caption_; }
    void setCaption(const std::string& caption) { change(caption_, caption, Prop::Text); }
    PictureHandle icon() const { return icon_; }
    void setIcon(PictureHandle icon) { replace(icon_, icon, Prop::Picture); }

    bool visible() const { return visible_; }
    void show() { change(visible_, true, Prop::Visible); }
    void hide() { change(visible_, false, Prop::Visible); }
    // Brings the window to the top of the z-order.
    void zOrder() {
        if (peer_) peer_->raise();
    }
    WindowState windowState() const { return state_; }
    void setWindowState(WindowState state);  // raises onResize when it changes

    // Kept above every other window (true) or in the normal order.
    bool alwaysOnTop() const { return onTop_; }
    void setAlwaysOnTop(bool onTop) { change(onTop_, onTop, Prop::OnTop); }

    // Commands the program adds to the window's system menu, after the
    // standard ones (restore, minimise, close). An empty text is a separator.
    struct SystemCommand {
        std::string text;
        std::function<void()> handler;
        std::optional<bool> checked;  // a command with a check mark, and its state
    };
    // Returns the command's index.
    std::size_t addSystemCommand(const std::string& text, std::function<void()> handler,
                                 std::optional<bool> checked = std::nullopt);
    void addSystemSeparator() { addSystemCommand("", nullptr); }
    void setSystemCommandChecked(std::size_t index, bool checked);
    const std::vector<SystemCommand>& systemCommands() const { return systemCommands_; }
    // Runs just before the system menu opens, so that it shows things as they are.
    std::function<void()> onSystemMenuOpening;

    bool keyPreview = false;
    bool centred = false;  // centred on the screen when first shown

    Label& addLabel(const std::string& name, Twips rect, const std::string& caption) {
        return add<Label>(name, rect, caption);
    }
    TextBox& addTextBox(const std::string& name, Twips rect, const std::string& text) {
        return add<TextBox>(name, rect, text);
    }
    ComboBox& addComboBox(const std::string& name, Twips rect, const std::string& text) {
        return add<ComboBox>(name, rect, text);
    }
    CheckBox& addCheckBox(const std::string& name, Twips rect, const std::string& caption) {
        return add<CheckBox>(name, rect, caption);
    }
    CommandButton& addButton(const std::string& name, Twips rect, const std::string& caption) {
        return add<CommandButton>(name, rect, caption);
    }
    ProgressBar& addProgressBar(const std::string& name, Twips rect, float min, float max) {
        return add<ProgressBar>(name, rect, min, max);
    }
    Image& addImage(const std::string& name, Twips rect, PictureHandle picture) {
        return add<Image>(name, rect, picture);
    }
    Line& addLine(const std::string& name, int x1, int y1, int x2, int y2) { return add<Line>(name, x1, y1, x2, y2); }
    Timer& addTimer(const std::string& name, int intervalMs) { return add<Timer>(name, intervalMs); }
    Chart& addChart(const std::string& name, Twips rect) { return add<Chart>(name, rect); }

    Control* find(const std::string& name) const;
    // A control by its name and kind, for code that did not add it (forms keep
    // what their add calls return). A name or kind that does not match is a
    // mistake in the program: it throws rather than reach a wrong control.
    template <class T>
    T& control(const std::string& name) const {
        T* typed = dynamic_cast<T*>(find(name));
        if (!typed) throw std::logic_error("window " + name_ + " has no control \"" + name + "\" of that kind");
        return *typed;
    }
    const std::vector<std::unique_ptr<Control>>& controls() const { return controls_; }

    // Events, raised synchronously.
    std::function<void(int& keyAscii)> onKeyPress;
    std::function<void(int keyCode, int shift)> onKeyUp;
    std::function<void()> onResize;
    std::function<void()> onCloseRequest;  // the close box or the system menu's Close: the owner unloads

    // From the backend: what the user did.
    void userKeyPress(int keyAscii) {
        if (onKeyPress) onKeyPress(keyAscii);
    }
    void userKeyUp(int keyCode, int shift) {
        if (onKeyUp) onKeyUp(keyCode, shift);
    }
    void userCloseRequested() {
        if (onCloseRequest) onCloseRequest();
    }
    void userStateChanged(WindowState state);   // minimised or restored
    void userSystemCommand(std::size_t index);  // one of systemCommands()

    // Stops every timer now and tears the native window down once the current
    // event has finished (its peer may be on the stack).
    void destroy();

    static Window* fromHandle(WindowHandle hWnd);
    static std::vector<Window*> all();

private:
    template <class T, class... Args>
    T& add(const std::string& name, Args... args) {
        auto control = std::make_unique<T>(*this, name, args...);
        T& ref = *control;
        controls_.push_back(std::move(control));
        if (peer_) ref.attachPeer(peer_->createControlPeer(ref));
        return ref;
    }

    std::string name_;
    std::string caption_;
    int clientWidth_;
    int clientHeight_;
    BorderStyle border_;
    PictureHandle icon_ = 0;
    bool visible_ = false;
    WindowState state_ = WindowState::Normal;
    bool onTop_ = false;
    std::vector<SystemCommand> systemCommands_;
    std::vector<std::unique_ptr<Control>> controls_;
};

// Provided by the backend.
std::unique_ptr<WindowPeer> CreateWindowPeer(Window& window);

}  // namespace vx::platform
