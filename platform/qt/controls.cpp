// Controls: a child widget of the window at the position its twips give.
// Controls placed below the client area are simply out of sight (storage).
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPaintEvent>
#include <QPainter>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <utility>

#include "platform/qt/qt_backend.h"

namespace vx::platform::qt {

namespace {

constexpr int kBarSteps = 10000;  // the float range of a bar mapped onto ints

QRect PixelRect(const Twips& t) {
    return QRect(PixelsFromTwips(t.left), PixelsFromTwips(t.top), PixelsFromTwips(t.width), PixelsFromTwips(t.height));
}

// What every widget-backed control shares: position, visibility, enabled
// state, and a context object whose death cuts the widget's signals off
// from the model (the widget may outlive the model by a moment).
template <class M, class W>
class WidgetPeer : public QtControlPeer {
public:
    WidgetPeer(M& model, W* widget) : model_(model), widget_(widget) {
        widget_->setGeometry(PixelRect(model.rect()));
        if (!model.visible()) widget_->hide();
        widget_->setEnabled(model.enabled());
    }
    QWidget* widget() const override { return widget_; }
    void changed(Prop what) override {
        if (what == Prop::Visible)
            widget_->setVisible(model_.visible());
        else if (what == Prop::Enabled)
            widget_->setEnabled(model_.enabled());
        else if (deferring())
            pending_ |= 1U << static_cast<unsigned>(what);
        else
            update(what);
    }
    void catchUp() override {
        const unsigned pending = std::exchange(pending_, 0U);
        for (unsigned what = 0; pending >> what; ++what)
            if (pending & (1U << what)) update(static_cast<Prop>(what));
    }

protected:
    virtual void update(Prop /*what*/) {}
    // The figures and bars of a window hidden in the tray change every tick
    // and nobody sees them: those peers set this to wait for the window.
    bool defersWhileHidden_ = false;
    M& model_;
    W* widget_;
    bool updating_ = false;  // the widget is being set from the model, not by the user
    QObject guard_;

private:
    bool deferring() const {
        if (!defersWhileHidden_) return false;
        const auto* form = dynamic_cast<const FormWidget*>(widget_->window());
        return form && form->peer && form->peer->deferring();
    }
    unsigned pending_ = 0;  // a bit per Prop that waits
};

class LabelPeer : public WidgetPeer<Label, QLabel> {
public:
    LabelPeer(Label& model, QWidget* parent) : WidgetPeer(model, new QLabel(parent)) {
        defersWhileHidden_ = true;
        // Captions may carry text from the router: never read them as markup.
        widget_->setTextFormat(Qt::PlainText);
        widget_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        update(Prop::Font);
        update(Prop::Text);
    }

protected:
    void update(Prop what) override {
        if (what == Prop::Text) {
            // Captions wrap at blanks only, as the forms were designed;
            // "256k/s" in a narrow label is cut, not broken after the "/".
            const bool wrap = model_.caption().find(' ') != std::string::npos;
            if (widget_->wordWrap() != wrap) widget_->setWordWrap(wrap);
            widget_->setText(ToQ(model_.caption()));
        } else if (what == Prop::Font) {
            const Font& f = model_.font();
            QFont font = widget_->parentWidget() ? widget_->parentWidget()->font() : widget_->font();
            // "MS Sans Serif" is not on Linux: the desktop's sans serif stands in.
            if (f.face != "MS Sans Serif") font.setFamily(ToQ(f.face));
            font.setPointSizeF(f.points);
            font.setBold(f.bold);
            widget_->setFont(font);
        }
    }
};

class TextBoxPeer : public WidgetPeer<TextBox, QLineEdit> {
public:
    TextBoxPeer(TextBox& model, QWidget* parent) : WidgetPeer(model, new QLineEdit(parent)) {
        update(Prop::Text);
        QObject::connect(widget_, &QLineEdit::textChanged, &guard_, [this](const QString& text) {
            if (!updating_) model_.setText(FromQ(text));
        });
    }

protected:
    void update(Prop what) override {
        if (what != Prop::Text) return;
        updating_ = true;
        if (FromQ(widget_->text()) != model_.text()) widget_->setText(ToQ(model_.text()));
        const char mask = model_.passwordChar();
        if (mask != mask_) {
            mask_ = mask;
            widget_->setEchoMode(mask ? QLineEdit::Password : QLineEdit::Normal);
            // The masking character itself, not the style's bullet.
            widget_->setStyleSheet(mask ? QStringLiteral("QLineEdit { lineedit-password-character: %1; }")
                                              .arg(static_cast<unsigned char>(mask))
                                        : QString());
        }
        updating_ = false;
    }

private:
    char mask_ = 0;
};

class ComboBoxPeer : public WidgetPeer<ComboBox, QComboBox> {
public:
    ComboBoxPeer(ComboBox& model, QWidget* parent) : WidgetPeer(model, new QComboBox(parent)) {
        widget_->setEditable(true);
        // The list is the form's: typing never adds to it or completes from it.
        widget_->setInsertPolicy(QComboBox::NoInsert);
        widget_->setCompleter(nullptr);
        update(Prop::Items);
        // Typing, picking from the list and the arrow keys all change the text.
        QObject::connect(widget_, &QComboBox::editTextChanged, &guard_, [this](const QString& text) {
            if (!updating_) model_.setText(FromQ(text));
        });
    }

protected:
    void update(Prop what) override {
        updating_ = true;
        if (what == Prop::Items) {
            widget_->clear();
            for (const std::string& item : model_.items()) widget_->addItem(ToQ(item));
            widget_->setCurrentIndex(-1);
            widget_->setEditText(ToQ(model_.text()));
        } else if (what == Prop::Text && FromQ(widget_->currentText()) != model_.text()) {
            widget_->setEditText(ToQ(model_.text()));
        }
        updating_ = false;
    }
};

class CheckBoxPeer : public WidgetPeer<CheckBox, QCheckBox> {
public:
    CheckBoxPeer(CheckBox& model, QWidget* parent) : WidgetPeer(model, new QCheckBox(ToQ(model.caption()), parent)) {
        update(Prop::Value);
        QObject::connect(widget_, &QCheckBox::clicked, &guard_, [this](bool checked) {
            // A click ticks or clears; only the program greys the box.
            model_.setValue(checked ? 1 : 0);
            update(Prop::Value);
        });
    }

protected:
    void update(Prop what) override {
        if (what != Prop::Value) return;
        const int v = model_.value();
        widget_->setTristate(v == 2);
        widget_->setCheckState(v == 1 ? Qt::Checked : v == 2 ? Qt::PartiallyChecked : Qt::Unchecked);
    }
};

class ButtonPeer : public WidgetPeer<CommandButton, QPushButton> {
public:
    ButtonPeer(CommandButton& model, QWidget* parent)
        : WidgetPeer(model, new QPushButton(ToQ(model.caption()), parent)) {
        // Neither the default nor an auto-default button: Enter never clicks it.
        widget_->setAutoDefault(false);
        widget_->setDefault(false);
        QObject::connect(widget_, &QPushButton::clicked, &guard_, [this] { model_.click(); });
    }
};

// A flat bar: a frame, the filled part in the highlight colour, the rest in
// the base colour. QProgressBar repaints and flushes at once on every new
// value (a round trip to the display per bar per tick) and the styles draw it
// with antialiased rounded shapes; this one repaints only the strip between
// the old and the new end of the fill, with the tick's other changes.
class BarWidget : public QWidget {
public:
    explicit BarWidget(QWidget* parent) : QWidget(parent) { setAttribute(Qt::WA_OpaquePaintEvent); }
    void setStep(int step) {
        if (step == step_) return;
        const int before = fillEnd(step_);
        step_ = step;
        const int after = fillEnd(step_);
        update(QRect(QPoint(std::min(before, after), 1), QPoint(std::max(before, after), height() - 2)));
    }
    int step() const { return step_; }

protected:
    void paintEvent(QPaintEvent* event) override {
        QPainter painter(this);
        const QRect inner = rect().adjusted(1, 1, -1, -1);
        if (!inner.contains(event->rect())) {
            // Four filled strips, not a drawn rectangle: a one-pixel pen
            // leaves device pixels of the edge unpainted at a pixel ratio of
            // 2, and nothing is cleared beneath this widget.
            const QColor frame = palette().color(QPalette::Mid);
            const QRect r = rect();
            painter.fillRect(QRect(r.left(), r.top(), r.width(), 1), frame);
            painter.fillRect(QRect(r.left(), r.bottom(), r.width(), 1), frame);
            painter.fillRect(QRect(r.left(), r.top(), 1, r.height()), frame);
            painter.fillRect(QRect(r.right(), r.top(), 1, r.height()), frame);
        }
        const int end = fillEnd(step_);
        painter.fillRect(QRect(inner.topLeft(), QPoint(end - 1, inner.bottom())), palette().highlight());
        painter.fillRect(QRect(QPoint(end, inner.top()), inner.bottomRight()), palette().base());
    }

private:
    // The first pixel column after the filled part.
    int fillEnd(int step) const {
        const int inner = std::max(0, width() - 2);
        return 1 + static_cast<int>(std::lround(static_cast<double>(inner) * std::max(step, 0) / kBarSteps));
    }
    int step_ = 0;
};

class ProgressBarPeer : public WidgetPeer<ProgressBar, BarWidget> {
public:
    ProgressBarPeer(ProgressBar& model, QWidget* parent) : WidgetPeer(model, new BarWidget(parent)) {
        defersWhileHidden_ = true;
        update(Prop::Value);
    }

protected:
    void update(Prop what) override {
        if (what != Prop::Value && what != Prop::Range) return;
        const double span = static_cast<double>(model_.max()) - model_.min();
        const double part = span > 0 ? (static_cast<double>(model_.value()) - model_.min()) / span : 0;
        widget_->setStep(static_cast<int>(std::lround(std::clamp(part, 0.0, 1.0) * kBarSteps)));
    }
};

class ImagePeer : public WidgetPeer<Image, QLabel> {
public:
    ImagePeer(Image& model, QWidget* parent) : WidgetPeer(model, new QLabel(parent)) {
        widget_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        update(Prop::Picture);
    }

protected:
    void update(Prop what) override {
        // At the screen's density: a picture shown twice as large is drawn
        // twice as large, not enlarged.
        if (what == Prop::Picture) widget_->setPixmap(PicturePixmap(model_.picture(), widget_->devicePixelRatio()));
    }
};

class LinePeer : public WidgetPeer<Line, QFrame> {
public:
    LinePeer(Line& model, QWidget* parent) : WidgetPeer(model, new QFrame(parent)) {
        const bool vertical = model.x1 == model.x2;
        widget_->setFrameShape(vertical ? QFrame::VLine : QFrame::HLine);
        widget_->setFrameShadow(QFrame::Sunken);
        const int x = PixelsFromTwips(std::min(model.x1, model.x2));
        const int y = PixelsFromTwips(std::min(model.y1, model.y2));
        const int length =
            PixelsFromTwips(vertical ? std::abs(model.y2 - model.y1) : std::abs(model.x2 - model.x1)) + 1;
        widget_->setGeometry(vertical ? QRect(x, y, 2, length) : QRect(x, y, length, 2));
    }
};

// Ticks at its interval precisely (the rates are bytes between two ticks),
// stops when disabled, and goes with its peer, so it never ticks into a
// window that is gone.
class TimerPeer : public QtControlPeer {
public:
    explicit TimerPeer(Timer& model) : model_(model) {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(model.interval());
        QObject::connect(&timer_, &QTimer::timeout, &timer_, [this] { model_.tick(); });
        changed(Prop::Enabled);
    }
    QWidget* widget() const override { return nullptr; }
    void changed(Prop what) override {
        if (what != Prop::Enabled) return;
        if (model_.enabled() && model_.interval() > 0) {
            if (!timer_.isActive()) timer_.start();
        } else {
            timer_.stop();
        }
    }

private:
    Timer& model_;
    QTimer timer_;
};

}  // namespace

std::unique_ptr<QtControlPeer> CreateControlPeer(Control& control, QWidget* parent) {
    switch (control.kind()) {
    case ControlKind::Label: return std::make_unique<LabelPeer>(static_cast<Label&>(control), parent);
    case ControlKind::TextBox: return std::make_unique<TextBoxPeer>(static_cast<TextBox&>(control), parent);
    case ControlKind::ComboBox: return std::make_unique<ComboBoxPeer>(static_cast<ComboBox&>(control), parent);
    case ControlKind::CheckBox: return std::make_unique<CheckBoxPeer>(static_cast<CheckBox&>(control), parent);
    case ControlKind::CommandButton: return std::make_unique<ButtonPeer>(static_cast<CommandButton&>(control), parent);
    case ControlKind::ProgressBar: return std::make_unique<ProgressBarPeer>(static_cast<ProgressBar&>(control), parent);
    case ControlKind::Image: return std::make_unique<ImagePeer>(static_cast<Image&>(control), parent);
    case ControlKind::Line: return std::make_unique<LinePeer>(static_cast<Line&>(control), parent);
    case ControlKind::Timer: return std::make_unique<TimerPeer>(static_cast<Timer&>(control));
    case ControlKind::Chart: return CreateChartPeer(static_cast<Chart&>(control), parent);
    }
    return nullptr;
}

}  // namespace vx::platform::qt
