// Pictures made by the program: kept as images, turned into icons once. A
// picture that comes with its drawing is drawn anew at every size shown, so
// tray hosts, window lists and screens of any density get it sharp.
#include <QIconEngine>
#include <QPainter>
#include <QPixmap>

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <utility>

#include "platform/pictures.h"
#include "platform/qt/qt_backend.h"

namespace vx::platform {

namespace {

qt::Picture* Find(PictureHandle handle) {
    auto it = qt::S().pictures.find(handle);
    return it == qt::S().pictures.end() ? nullptr : &it->second;
}

// The sizes a drawn icon says it has: those the desktops ask for, at 1x and
// 2x. Window lists take them all (_NET_WM_ICON); StatusNotifierItem hosts
// get those up to 64 over D-Bus.
constexpr int kIconSizes[] = {16, 22, 24, 32, 48, 64, 128};

// Pictures are drawn up to this size: far beyond any icon, and a bound on
// what a caller's odd request may cost.
constexpr int kLargestDrawing = 1024;

QImage ImageOf(int width, int height, const std::vector<std::uint32_t>& rgb) {
    if (width <= 0 || height <= 0 || rgb.size() < static_cast<std::size_t>(width) * static_cast<std::size_t>(height))
        return QImage();
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        const std::size_t first = static_cast<std::size_t>(y) * static_cast<std::size_t>(width);
        for (int x = 0; x < width; ++x) line[x] = 0xFF000000U | rgb[first + static_cast<std::size_t>(x)];
    }
    return image;
}

// The picture drawn at n x n pixels; null when the drawing gives too few.
QImage DrawnImage(const SquareDrawing& draw, int n) {
    n = std::clamp(n, 1, kLargestDrawing);
    return ImageOf(n, n, draw(n));
}

// An icon that draws its picture at exactly the pixel size asked for,
// remembering each size once drawn.
class DrawnIconEngine : public QIconEngine {
public:
    explicit DrawnIconEngine(std::shared_ptr<const SquareDrawing> draw) : draw_(std::move(draw)) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override {
        const qreal ratio = painter->device() ? painter->device()->devicePixelRatio() : 1.0;
        const QSize side = actualSize(rect.size(), mode, state);
        const QPixmap pm = drawn(static_cast<int>(std::lround(side.width() * ratio)));
        if (pm.isNull()) return;
        const QRect target(
            rect.topLeft() + QPoint((rect.width() - side.width()) / 2, (rect.height() - side.height()) / 2), side);
        painter->drawPixmap(target, pm);
    }

    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override {
        const int n = std::min(size.width(), size.height());
        return n > 0 ? QSize(n, n) : QSize();
    }

    // `size` is in device pixels here, as QIcon::pixmap asks for it.
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return drawn(actualSize(size, mode, state).width());
    }

    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state, qreal scale) override {
        QPixmap pm = pixmap(size, mode, state);
        if (!pm.isNull()) pm.setDevicePixelRatio(scale > 0 ? scale : 1.0);
        return pm;
    }

    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override {
        QList<QSize> sizes;
        for (int n : kIconSizes) sizes.append(QSize(n, n));
        return sizes;
    }

    QString key() const override { return QStringLiteral("vxstat-drawn"); }
    QIconEngine* clone() const override { return new DrawnIconEngine(*this); }
    bool isNull() override { return !draw_ || !*draw_; }

private:
    QPixmap drawn(int n) {
        if (n <= 0 || isNull()) return QPixmap();
        n = std::min(n, kLargestDrawing);
        auto it = cache_.find(n);
        if (it == cache_.end()) it = cache_.emplace(n, QPixmap::fromImage(DrawnImage(*draw_, n))).first;
        QPixmap pm = it->second;
        pm.setDevicePixelRatio(1.0);
        return pm;
    }

    std::shared_ptr<const SquareDrawing> draw_;
    std::map<int, QPixmap> cache_;
};

}  // namespace

PictureHandle CreatePicture(int width, int height, const std::vector<std::uint32_t>& rgb) {
    QImage image = ImageOf(width, height, rgb);
    if (image.isNull()) return 0;
    const PictureHandle handle = qt::S().lastPicture += 4;
    qt::S().pictures[handle] = qt::Picture{std::move(image), SquareDrawing(), QIcon()};
    return handle;
}

PictureHandle CreatePicture(int size, SquareDrawing draw) {
    if (size <= 0 || size > kLargestDrawing || !draw) return 0;
    QImage image = ImageOf(size, size, draw(size));
    if (image.isNull()) return 0;
    const PictureHandle handle = qt::S().lastPicture += 4;
    qt::S().pictures[handle] = qt::Picture{std::move(image), std::move(draw), QIcon()};
    return handle;
}

namespace qt {

QPixmap PicturePixmap(PictureHandle handle, qreal devicePixelRatio) {
    Picture* p = Find(handle);
    if (!p) return QPixmap();
    const qreal ratio = devicePixelRatio > 0 ? devicePixelRatio : 1.0;
    const int n = static_cast<int>(std::lround(p->image.width() * ratio));
    if (!p->draw || n == p->image.width()) return QPixmap::fromImage(p->image);
    QImage image = DrawnImage(p->draw, n);
    if (image.isNull()) return QPixmap::fromImage(p->image);
    QPixmap pm = QPixmap::fromImage(image);
    pm.setDevicePixelRatio(static_cast<qreal>(image.width()) / p->image.width());
    return pm;
}

QIcon PictureIcon(PictureHandle handle) {
    Picture* p = Find(handle);
    if (!p) return QIcon();
    if (p->icon.isNull()) {
        if (p->draw)
            p->icon = QIcon(new DrawnIconEngine(std::make_shared<const SquareDrawing>(p->draw)));
        else
            p->icon.addPixmap(QPixmap::fromImage(p->image));  // only ever this size, enlarged when asked
    }
    return p->icon;
}

void ReleasePictures() {
    for (auto& [handle, picture] : S().pictures) picture.icon = QIcon();
}

}  // namespace qt

}  // namespace vx::platform
