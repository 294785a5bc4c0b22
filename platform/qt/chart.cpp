// A Chart control: a widget that paints the model's drawing with QPainter in
// logical pixels, so that Qt's device pixel ratio makes it crisp at 200 %.
#include <QPaintEvent>
#include <QPainter>

#include <cmath>

#include "platform/qt/qt_backend.h"

namespace vx::platform::qt {

namespace {

QColor ToColour(const Rgb& c) { return QColor(c.r, c.g, c.b); }

Qt::Alignment ToAlignment(HAlign h, VAlign v) {
    const Qt::Alignment horizontal = h == HAlign::Left    ? Qt::AlignLeft
                                     : h == HAlign::Right ? Qt::AlignRight
                                                          : Qt::AlignHCenter;
    const Qt::Alignment vertical = v == VAlign::Top      ? Qt::AlignTop
                                   : v == VAlign::Bottom ? Qt::AlignBottom
                                                         : Qt::AlignVCenter;
    return horizontal | vertical;
}

// The box whose aligned corner or edge is the text's anchor.
QRectF AnchorBox(const TextShape& t) {
    constexpr double kRoom = 2000;
    const double x = t.hAlign == HAlign::Left ? t.x : t.hAlign == HAlign::Right ? t.x - kRoom : t.x - kRoom / 2;
    const double y = t.vAlign == VAlign::Top ? t.y : t.vAlign == VAlign::Bottom ? t.y - kRoom : t.y - kRoom / 2;
    return QRectF(x, y, kRoom, kRoom);
}

class ChartWidget : public QWidget {
public:
    ChartWidget(const Chart& model, QWidget* parent) : QWidget(parent), model_(model) {
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        const Drawing& d = model_.drawing();
        QPainter painter(this);
        painter.fillRect(rect(), ToColour(d.background));
        if (d.width <= 0 || d.height <= 0) return;
        // Laid out for the control's size in logical pixels; a widget of
        // another size (a font that made the window larger) still shows it all.
        painter.scale(width() / d.width, height() / d.height);
        for (const LineShape& l : d.lines) {
            painter.setPen(QPen(ToColour(l.color), 1, Qt::SolidLine, Qt::FlatCap));
            // On the middle of a pixel row or column: one crisp line.
            const auto mid = [](double v) { return std::floor(v) + 0.5; };
            const bool horizontal = l.y1 == l.y2;
            const bool vertical = l.x1 == l.x2;
            painter.drawLine(QPointF(vertical ? mid(l.x1) : l.x1, horizontal ? mid(l.y1) : l.y1),
                             QPointF(vertical ? mid(l.x2) : l.x2, horizontal ? mid(l.y2) : l.y2));
        }
        for (const FilledRect& r : d.rects) painter.fillRect(QRectF(r.x, r.y, r.width, r.height), ToColour(r.fill));
        QFont font = this->font();
        font.setPointSizeF(d.fontPoints);
        painter.setFont(font);
        for (const TextShape& t : d.texts) {
            painter.setPen(ToColour(t.color));
            painter.drawText(AnchorBox(t), static_cast<int>(ToAlignment(t.hAlign, t.vAlign)), ToQ(t.text));
        }
    }

private:
    const Chart& model_;
};

class ChartPeer : public QtControlPeer {
public:
    ChartPeer(Chart& model, QWidget* parent) : model_(model), widget_(new ChartWidget(model, parent)) {
        const Twips& r = model.rect();
        widget_->setGeometry(PixelsFromTwips(r.left), PixelsFromTwips(r.top), PixelsFromTwips(r.width),
                             PixelsFromTwips(r.height));
        widget_->setVisible(model.visible());
    }
    QWidget* widget() const override { return widget_; }
    void changed(Prop what) override {
        if (what == Prop::Visible)
            widget_->setVisible(model_.visible());
        else if (what == Prop::Picture)
            widget_->update();
    }

private:
    Chart& model_;
    ChartWidget* widget_;  // owned by the window's widget
};

}  // namespace

std::unique_ptr<QtControlPeer> CreateChartPeer(Chart& control, QWidget* parent) {
    return std::make_unique<ChartPeer>(control, parent);
}

}  // namespace vx::platform::qt
