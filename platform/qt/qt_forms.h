// Peers of the form models: one top-level widget per window, one child
// widget (or timer) per control.
#pragma once

#include <QWidget>

#include <memory>

#include "platform/forms.h"

namespace vx::platform::qt {

class QtWindowPeer;

// The window's client area is the top-level widget itself, at the client size.
class FormWidget : public QWidget {
public:
    FormWidget(QtWindowPeer* owner, Qt::WindowFlags flags) : QWidget(nullptr, flags), peer(owner) {}
    QtWindowPeer* peer;  // null once the model window is gone

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
};

class QtWindowPeer : public WindowPeer {
public:
    explicit QtWindowPeer(Window& model);
    ~QtWindowPeer() override;

    WindowHandle handle() const override { return handle_; }
    void changed(Prop what) override;
    void stateChanged() override;
    void raise() override;
    std::unique_ptr<ControlPeer> createControlPeer(Control& control) override;

    Window& model() const { return model_; }
    FormWidget* widget() const { return widget_; }

private:
    void showWidget();
    void applyOnTop();

    Window& model_;
    WindowHandle handle_;
    FormWidget* widget_;
    bool everShown_ = false;
};

class QtControlPeer : public ControlPeer {
public:
    virtual QWidget* widget() const = 0;  // null for a timer
};

std::unique_ptr<QtControlPeer> CreateControlPeer(Control& control, QWidget* parent);

}  // namespace vx::platform::qt
