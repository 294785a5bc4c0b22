// Pictures made by the program, as real icons.
#include "platform/win32/backend.h"

namespace vx::platform {

PictureHandle CreatePicture(int width, int height, const std::vector<std::uint32_t>& rgb) {
    if (width <= 0 || height <= 0 || rgb.size() < static_cast<std::size_t>(width) * static_cast<std::size_t>(height))
        return 0;
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
    if (colour == nullptr) return 0;
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
    return reinterpret_cast<PictureHandle>(made);
}

}  // namespace vx::platform
