// Pictures made by the program: kept as images, turned into icons once.
#include <QIcon>
#include <QImage>
#include <QPixmap>

#include <map>

#include "platform/pictures.h"
#include "platform/qt/qt_backend.h"

namespace vx::platform {

namespace {

struct Picture {
    QImage image;
    QIcon icon;  // made on first use
};

std::map<HICON, Picture>& Pictures() {
    static std::map<HICON, Picture> pictures;
    return pictures;
}

Picture* Find(HICON handle) {
    auto it = Pictures().find(handle);
    return it == Pictures().end() ? nullptr : &it->second;
}

}  // namespace

HICON CreatePicture(int width, int height, const std::vector<std::uint32_t>& rgb) {
    static HICON next = 0x7000;
    if (width <= 0 || height <= 0 || rgb.size() < static_cast<std::size_t>(width) * static_cast<std::size_t>(height))
        return 0;
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) line[x] = 0xFF000000u | rgb[static_cast<std::size_t>(y * width + x)];
    }
    next += 4;
    Pictures()[next] = Picture{std::move(image), QIcon()};
    return next;
}

namespace qt {

QPixmap PicturePixmap(HICON handle) {
    Picture* p = Find(handle);
    return p ? QPixmap::fromImage(p->image) : QPixmap();
}

QIcon PictureIcon(HICON handle) {
    Picture* p = Find(handle);
    if (!p) return QIcon();
    // One pixmap at the picture's own size: hosts that take it over D-Bus get
    // 32 x 32 and nothing larger.
    if (p->icon.isNull()) p->icon.addPixmap(QPixmap::fromImage(p->image));
    return p->icon;
}

void ReleasePictures() {
    for (auto& [handle, picture] : Pictures()) picture.icon = QIcon();
}

}  // namespace qt

}  // namespace vx::platform
