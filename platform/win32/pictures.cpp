// Pictures made by the program, as real icons. Each keeps what it was made
// from, so that it can be shown at the size a place asks for (the tray's and
// the title bar's icon sizes grow with the dpi): a picture given as a drawing
// is drawn again at that size, one given as pixels is resampled.
#include <map>
#include <utility>

#include "platform/win32/backend.h"

namespace vx::platform {

namespace win32 {

namespace {

// What a picture was made from: its pixels, and its drawing when it has one.
struct PictureSource {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> rgb;
    SquareDrawing draw;
};

// The pictures made, and those drawn again at other sizes. Only the thread of
// the windows makes and shows pictures.
struct Pictures {
    std::map<HICON, PictureSource> sources;
    std::map<std::pair<HICON, int>, HICON> sized;
};
Pictures& Made() {
    // NOLINTNEXTLINE(cppcoreguidelines-avoid-non-const-global-variables): the backend's own, never destroyed
    static auto* made = new Pictures;  // outlives the forms torn down at exit
    return *made;
}

HICON MakeIcon(int width, int height, const std::vector<std::uint32_t>& rgb) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top row first, as given
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HDC screen = GetDC(nullptr);
    HBITMAP colour = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    ReleaseDC(nullptr, screen);
    if (colour == nullptr) return nullptr;
    auto* pixels = static_cast<std::uint32_t*>(bits);
    for (std::size_t i = 0; i < static_cast<std::size_t>(width) * static_cast<std::size_t>(height); ++i)
        pixels[i] = 0xFF000000u | (rgb[i] & 0xFFFFFFu);  // 0xAARRGGBB is the DIB's BGRA; fully opaque
    // An all-zero mask: every pixel is drawn.
    std::vector<std::uint8_t> maskBits(
        static_cast<std::size_t>((width + 15) / 16 * 2) * static_cast<std::size_t>(height), 0);
    HBITMAP mask = CreateBitmap(width, height, 1, 1, maskBits.data());
    ICONINFO icon{};
    icon.fIcon = TRUE;
    icon.hbmColor = colour;
    icon.hbmMask = mask;
    HICON made = CreateIconIndirect(&icon);
    DeleteObject(colour);  // the icon holds its own copies
    DeleteObject(mask);
    return made;
}

bool Fits(int width, int height, std::size_t pixels) {
    return width > 0 && height > 0 && pixels >= static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
}

// Each pixel of the new size takes the source pixel under its centre: edges
// stay sharp, and a whole-number ratio keeps every row and column.
std::vector<std::uint32_t> Resampled(const PictureSource& source, int size) {
    std::vector<std::uint32_t> out(static_cast<std::size_t>(size) * static_cast<std::size_t>(size));
    for (int y = 0; y < size; ++y) {
        const int sy = (2 * y + 1) * source.height / (2 * size);
        for (int x = 0; x < size; ++x) {
            const int sx = (2 * x + 1) * source.width / (2 * size);
            out[static_cast<std::size_t>(y) * static_cast<std::size_t>(size) + static_cast<std::size_t>(x)] =
                source.rgb[static_cast<std::size_t>(sy) * static_cast<std::size_t>(source.width) +
                           static_cast<std::size_t>(sx)];
        }
    }
    return out;
}

HICON Register(HICON icon, PictureSource source) {
    if (icon != nullptr) Made().sources[icon] = std::move(source);
    return icon;
}

}  // namespace

HICON PictureAt(HICON picture, int size) {
    auto& sources = Made().sources;
    auto source = sources.find(picture);
    if (source == sources.end() || size <= 0) return picture;  // not ours: shown as it is
    const PictureSource& s = source->second;
    if (s.width == size && s.height == size) return picture;
    auto& sized = Made().sized;
    if (auto made = sized.find({picture, size}); made != sized.end()) return made->second;
    std::vector<std::uint32_t> pixels = s.draw ? s.draw(size) : Resampled(s, size);
    HICON icon = Fits(size, size, pixels.size()) ? MakeIcon(size, size, pixels) : nullptr;
    if (icon == nullptr) return picture;  // the picture at its own size is still better than none
    sized.emplace(std::make_pair(picture, size), icon);
    return icon;
}

}  // namespace win32

PictureHandle CreatePicture(int width, int height, const std::vector<std::uint32_t>& rgb) {
    if (!win32::Fits(width, height, rgb.size())) return 0;
    HICON icon = win32::MakeIcon(width, height, rgb);
    return reinterpret_cast<PictureHandle>(win32::Register(icon, {width, height, rgb, nullptr}));
}

PictureHandle CreatePicture(int size, SquareDrawing draw) {
    if (!draw || size <= 0) return 0;
    std::vector<std::uint32_t> rgb = draw(size);
    if (!win32::Fits(size, size, rgb.size())) return 0;
    HICON icon = win32::MakeIcon(size, size, rgb);
    return reinterpret_cast<PictureHandle>(win32::Register(icon, {size, size, std::move(rgb), std::move(draw)}));
}

}  // namespace vx::platform
