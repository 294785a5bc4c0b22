// Windows: a fixed-size top-level widget per form window.
#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWindow>

#include <cmath>
#include <utility>

#include "platform/qt/qt_backend.h"

namespace vx::platform {

namespace qt {

namespace {

Qt::WindowFlags FlagsFor(BorderStyle border) {
    const Qt::WindowFlags decorated =
        Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    switch (border) {
    case BorderStyle::FixedSingle: return Qt::Window | decorated | Qt::WindowMinimizeButtonHint;
    case BorderStyle::FixedDialog: return Qt::Window | decorated;
    case BorderStyle::FixedToolWindow: return Qt::Tool | decorated;
    case BorderStyle::Hidden: break;
    }
    return Qt::Window;
}

// The forms were laid out for an 8.25-point sans serif whose letters are
// narrower than those of the usual Linux sans serifs; a condensed face of the
// desktop's font (where there is one) keeps captions such as "Username:"
// clear of the text boxes beside them.
QFont FormFont() {
    QFont font = QApplication::font();
    font.setPointSizeF(8.25);
    font.setStretch(82);
    font.setLetterSpacing(QFont::PercentageSpacing, 96);
    return font;
}

}  // namespace

int PixelsFromTwips(int twips) {
    // Twips are 1/1440 inch at the dots per inch that fonts in points are
    // drawn at, so the forms grow with their text. With Qt's own scaling
    // (the usual case) that is 96 and a pixel is 15 twips; it is more where
    // the scaling is off or rounded down (QT_ENABLE_HIGHDPI_SCALING=0, a
    // rounding policy), and the forms would clip their text if they stayed.
    const QScreen* screen = QGuiApplication::primaryScreen();
    const double dpi = screen ? std::round(screen->logicalDotsPerInchY()) : 0.0;
    const double twipsPerPixel = dpi > 0 ? 1440.0 / dpi : kTwipsPerPixel;
    return static_cast<int>(std::lround(twips / twipsPerPixel));
}

// ---- FormWidget ------------------------------------------------------------

void FormWidget::closeEvent(QCloseEvent* event) {
    // The close box asks; the form decides (and unloads its window).
    event->ignore();
    if (peer) peer->model().userCloseRequested();
}

void FormWidget::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange || !peer || !isVisible()) return;
    peer->model().userStateChanged((windowState() & Qt::WindowMinimized) ? WindowState::Minimized
                                                                         : WindowState::Normal);
}

void FormWidget::contextMenuEvent(QContextMenuEvent* event) {
    // Controls with their own menu (the text boxes) have taken the event
    // already; anywhere else the right button opens the system menu.
    if (!peer) return;
    event->accept();
    ShowSystemMenu(peer->handle(), event->globalPos());
}

// ---- QtWindowPeer ----------------------------------------------------------

QtWindowPeer::QtWindowPeer(Window& model)
    : model_(model), handle_(S().lastWindowHandle += 4), widget_(new FormWidget(this, FlagsFor(model.border()))) {
    widget_->setFont(FormFont());
    widget_->setFixedSize(PixelsFromTwips(model.clientWidth()), PixelsFromTwips(model.clientHeight()));
    widget_->setWindowTitle(ToQ(model.caption()));
    if (model.icon()) widget_->setWindowIcon(PictureIcon(model.icon()));
}

QtWindowPeer::~QtWindowPeer() {
    // The widget may be on the stack of the event that ended its window.
    widget_->peer = nullptr;
    widget_->hide();
    widget_->deleteLater();
}

void QtWindowPeer::changed(Prop what) {
    switch (what) {
    case Prop::Text:
        if (deferring_)
            titleDeferred_ = true;
        else
            widget_->setWindowTitle(ToQ(model_.caption()));
        break;
    case Prop::Picture: widget_->setWindowIcon(PictureIcon(model_.icon())); break;
    case Prop::Visible:
        if (model_.visible()) {
            showWidget();
        } else {
            deferring_ = everShown_;
            widget_->hide();
        }
        break;
    case Prop::OnTop: applyOnTop(); break;
    default: break;  // the system menu is read from the model when it opens
    }
}

void QtWindowPeer::applyOnTop() {
    const bool onTop = model_.alwaysOnTop();
    // On the native window, not through QWidget::setWindowFlags, which hides
    // the widget and makes its native window anew.
    if (!widget_->windowHandle()) widget_->winId();
    QWindow* window = widget_->windowHandle();
    if (!window) return;
    window->setFlag(Qt::WindowStaysOnTopHint, onTop);
    // Keep the widget's own record of its flags in step, without telling the
    // window system a second time.
    Qt::WindowFlags widgetFlags = widget_->windowFlags();
    widgetFlags.setFlag(Qt::WindowStaysOnTopHint, onTop);
    widget_->overrideWindowFlags(widgetFlags);
    if (onTop && widget_->isVisible()) widget_->raise();
}

void QtWindowPeer::showWidget() {
    if (model_.border() == BorderStyle::Hidden) return;
    if (deferring_) {
        // Before it is shown, so that its first paint is current.
        deferring_ = false;
        if (std::exchange(titleDeferred_, false)) widget_->setWindowTitle(ToQ(model_.caption()));
        for (const auto& control : model_.controls())
            if (auto* peer = dynamic_cast<QtControlPeer*>(control->peer())) peer->catchUp();
    }
    if (!everShown_) {
        everShown_ = true;
        if (model_.centred) {
            if (QScreen* screen = QGuiApplication::primaryScreen()) {
                const QRect area = screen->availableGeometry();
                widget_->move(area.center() - QPoint(widget_->width() / 2, widget_->height() / 2));
            }
        }
    }
    // A window hidden while minimised comes back at its normal size.
    if (widget_->windowState() & Qt::WindowMinimized)
        widget_->showNormal();
    else
        widget_->show();
}

void QtWindowPeer::stateChanged() {
    // A hidden window keeps its state for its next show: changing it now
    // would put it back on the screen.
    if (!widget_->isVisible()) return;
    Qt::WindowStates state = widget_->windowState();
    if (model_.windowState() == WindowState::Minimized)
        state |= Qt::WindowMinimized;
    else
        state &= ~Qt::WindowMinimized;
    if (state != widget_->windowState()) widget_->setWindowState(state);
}

void QtWindowPeer::raise() {
    widget_->raise();
    if (widget_->isVisible()) widget_->activateWindow();
}

std::unique_ptr<ControlPeer> QtWindowPeer::createControlPeer(Control& control) {
    return CreateControlPeer(control, widget_);
}

Window* ModelOf(const QWidget* topLevel) {
    auto* form = dynamic_cast<const FormWidget*>(topLevel);
    return form && form->peer ? &form->peer->model() : nullptr;
}

}  // namespace qt

std::unique_ptr<WindowPeer> CreateWindowPeer(Window& window) { return std::make_unique<qt::QtWindowPeer>(window); }

}  // namespace vx::platform
