// Pictures made by the program: kept as images, turned into icons once.
#include <QPixmap>

#include "platform/pictures.h"
#include "platform/qt/qt_backend.h"

namespace vx::platform {

namespace {

qt::Picture* Find(PictureHandle handle) {
    auto it = qt::S().pictures.find(handle);
    return it == qt::S().pictures.end() ? nullptr : &it->second;
}

}  // namespace

PictureHandle CreatePicture(int width, int height, const std::vector<std::uint32_t>& rgb) {
    if (width <= 0 || height <= 0 || rgb.size() < static_cast<std::size_t>(width) * static_cast<std::size_t>(height))
        return 0;
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        const std::size_t first = static_cast<std::size_t>(y) * static_cast<std::size_t>(width);
        for (int x = 0; x < width; ++x) line[x] = 0xFF000000U | rgb[first + static_cast<std::size_t>(x)];
    }
    const PictureHandle handle = qt::S().lastPicture += 4;
    qt::S().pictures[handle] = qt::Picture{std::move(image), QIcon()};
    return handle;
}

namespace qt {

QPixmap PicturePixmap(PictureHandle handle) {
    Picture* p = Find(handle);
    return p ? QPixmap::fromImage(p->image) : QPixmap();
}

QIcon PictureIcon(PictureHandle handle) {
    Picture* p = Find(handle);
    if (!p) return QIcon();
    // One pixmap at the picture's own size: hosts that take it over D-Bus get
    // 32 x 32 and nothing larger.
    if (p->icon.isNull()) p->icon.addPixmap(QPixmap::fromImage(p->image));
    return p->icon;
}

void ReleasePictures() {
    for (auto& [handle, picture] : S().pictures) picture.icon = QIcon();
}

}  // namespace qt

}  // namespace vx::platform
