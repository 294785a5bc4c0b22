// Draws the program's own picture (the window icon: the white square with the
// green level) as the icon files desktops and Windows want, at build time:
//
//   mkicons png SIZE FILE        one PNG, SIZE x SIZE pixels
//   mkicons ico FILE SIZE...     one .ico holding the picture at each size
//
// Built with the build machine's compiler even when the program is
// cross-built, so it uses nothing but the standard library: the PNG data is
// deflated here with the fixed Huffman codes, matching one pixel or one row
// back, which is all a picture of plain bands needs.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "tray/LevelPictures.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr int kLargestSize = 1024;
constexpr int kLargestIconSize = 256;  // an .ico entry's size field ends there

// ---- deflate (RFC 1951), one block with the fixed codes ------------------------

class BitWriter {
public:
    // `count` bits of `value`, lowest first (the order of extra bits).
    void bits(std::uint32_t value, int count) {
        for (int i = 0; i < count; ++i) bit((value >> i) & 1U);
    }
    // A Huffman code: its highest bit first.
    void code(std::uint32_t value, int length) {
        for (int i = length - 1; i >= 0; --i) bit((value >> i) & 1U);
    }
    Bytes finish() {
        if (used_ != 0) out_.push_back(current_);
        current_ = 0;
        used_ = 0;
        return std::move(out_);
    }

private:
    void bit(std::uint32_t b) {
        current_ = static_cast<std::uint8_t>(current_ | (b << used_));
        if (++used_ == 8) {
            out_.push_back(current_);
            current_ = 0;
            used_ = 0;
        }
    }
    Bytes out_;
    std::uint8_t current_ = 0;
    int used_ = 0;
};

void LiteralOrLength(BitWriter& w, unsigned symbol) {
    if (symbol < 144)
        w.code(0x30 + symbol, 8);
    else if (symbol < 256)
        w.code(0x190 + symbol - 144, 9);
    else if (symbol < 280)
        w.code(symbol - 256, 7);
    else
        w.code(0xC0 + symbol - 280, 8);
}

constexpr std::array<unsigned, 29> kLengthBase = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                                  31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::array<int, 29> kLengthExtra = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                              2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::array<unsigned, 30> kDistanceBase = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                                                    33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                                                    1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr std::array<int, 30> kDistanceExtra = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                                6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
constexpr std::size_t kLongestMatch = 258;
constexpr std::size_t kFarthestMatch = 32768;

void Match(BitWriter& w, std::size_t length, std::size_t distance) {
    std::size_t l = kLengthBase.size() - 1;
    while (kLengthBase[l] > length) --l;
    LiteralOrLength(w, static_cast<unsigned>(257 + l));
    w.bits(static_cast<std::uint32_t>(length - kLengthBase[l]), kLengthExtra[l]);
    std::size_t d = kDistanceBase.size() - 1;
    while (kDistanceBase[d] > distance) --d;
    w.code(static_cast<std::uint32_t>(d), 5);
    w.bits(static_cast<std::uint32_t>(distance - kDistanceBase[d]), kDistanceExtra[d]);
}

// Matches are looked for `near` and `far` bytes back only: one pixel and one
// row of the picture.
Bytes Deflate(const Bytes& data, std::size_t nearBack, std::size_t farBack) {
    BitWriter w;
    w.bits(1, 1);  // the last block
    w.bits(1, 2);  // fixed Huffman codes
    std::size_t i = 0;
    while (i < data.size()) {
        std::size_t bestLength = 0, bestDistance = 0;
        for (std::size_t distance : {nearBack, farBack}) {
            if (distance == 0 || distance > i || distance > kFarthestMatch) continue;
            std::size_t length = 0;
            while (length < kLongestMatch && i + length < data.size() &&
                   data[i + length] == data[i + length - distance])
                ++length;
            if (length > bestLength) {
                bestLength = length;
                bestDistance = distance;
            }
        }
        if (bestLength >= 3) {
            Match(w, bestLength, bestDistance);
            i += bestLength;
        } else {
            LiteralOrLength(w, data[i]);
            ++i;
        }
    }
    LiteralOrLength(w, 256);  // end of block
    return w.finish();
}

void PutBig32(Bytes& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(v >> shift));
}
void PutLittle16(Bytes& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void PutLittle32(Bytes& out, std::uint32_t v) {
    PutLittle16(out, v & 0xFFFFU);
    PutLittle16(out, v >> 16);
}

// zlib's wrapper (RFC 1950) around the deflated data.
Bytes Zlib(const Bytes& data, std::size_t nearBack, std::size_t farBack) {
    Bytes out = {0x78, 0x01};  // deflate, 32 KiB window; (0x7801 % 31 == 0)
    const Bytes deflated = Deflate(data, nearBack, farBack);
    out.insert(out.end(), deflated.begin(), deflated.end());
    std::uint32_t a = 1, b = 0;
    for (std::uint8_t byte : data) {
        a = (a + byte) % 65521U;
        b = (b + a) % 65521U;
    }
    PutBig32(out, (b << 16) | a);
    return out;
}

// ---- PNG -------------------------------------------------------------------------

std::uint32_t Crc32(const Bytes& bytes, std::size_t from) {
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = (c & 1U) != 0 ? 0xEDB88320U ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    std::uint32_t c = 0xFFFFFFFFU;
    for (std::size_t i = from; i < bytes.size(); ++i) c = table[(c ^ bytes[i]) & 0xFFU] ^ (c >> 8);
    return c ^ 0xFFFFFFFFU;
}

void Chunk(Bytes& png, const char* type, const Bytes& data) {
    PutBig32(png, static_cast<std::uint32_t>(data.size()));
    const std::size_t typeAt = png.size();
    for (int i = 0; i < 4; ++i) png.push_back(static_cast<std::uint8_t>(type[i]));
    png.insert(png.end(), data.begin(), data.end());
    PutBig32(png, Crc32(png, typeAt));
}

std::uint8_t Red(std::uint32_t rgb) { return static_cast<std::uint8_t>(rgb >> 16); }
std::uint8_t Green(std::uint32_t rgb) { return static_cast<std::uint8_t>(rgb >> 8); }
std::uint8_t Blue(std::uint32_t rgb) { return static_cast<std::uint8_t>(rgb); }

std::vector<std::uint32_t> Picture(int size) { return vx::LevelPixelsAt(size, vx::kWindowIconRows); }

// 8-bit RGBA, every pixel opaque.
Bytes Png(int size) {
    const auto n = static_cast<std::size_t>(size);
    const std::vector<std::uint32_t> pixels = Picture(size);
    Bytes raw;
    raw.reserve(n * (1 + 4 * n));
    for (std::size_t y = 0; y < n; ++y) {
        raw.push_back(0);  // no filter
        for (std::size_t x = 0; x < n; ++x) {
            const std::uint32_t p = pixels[y * n + x];
            raw.insert(raw.end(), {Red(p), Green(p), Blue(p), 0xFF});
        }
    }
    Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    Bytes header;
    PutBig32(header, static_cast<std::uint32_t>(size));
    PutBig32(header, static_cast<std::uint32_t>(size));
    header.insert(header.end(), {8, 6, 0, 0, 0});  // depth 8, RGBA, deflate, no filter set, no interlace
    Chunk(png, "IHDR", header);
    Chunk(png, "IDAT", Zlib(raw, 4, 1 + 4 * n));
    Chunk(png, "IEND", {});
    return png;
}

// ---- .ico ------------------------------------------------------------------------

// A classic icon image: a 32-bit bottom-up bitmap (its height counting the
// mask too) and an all-clear AND mask, for every Windows version.
Bytes IconBitmap(int size) {
    const auto n = static_cast<std::size_t>(size);
    const std::vector<std::uint32_t> pixels = Picture(size);
    const std::size_t maskRow = (n + 31) / 32 * 4;
    Bytes out;
    PutLittle32(out, 40);  // BITMAPINFOHEADER
    PutLittle32(out, static_cast<std::uint32_t>(size));
    PutLittle32(out, static_cast<std::uint32_t>(2 * size));
    PutLittle16(out, 1);   // planes
    PutLittle16(out, 32);  // bits per pixel
    PutLittle32(out, 0);   // BI_RGB
    PutLittle32(out, static_cast<std::uint32_t>(n * n * 4 + maskRow * n));
    for (int i = 0; i < 4; ++i) PutLittle32(out, 0);  // resolution, colours
    for (std::size_t row = 0; row < n; ++row) {
        const std::size_t y = n - 1 - row;
        for (std::size_t x = 0; x < n; ++x) {
            const std::uint32_t p = pixels[y * n + x];
            out.insert(out.end(), {Blue(p), Green(p), Red(p), 0xFF});
        }
    }
    out.insert(out.end(), maskRow * n, 0);
    return out;
}

// The largest size as PNG (as Windows' own 256-pixel icons are), the others
// as bitmaps.
Bytes Ico(const std::vector<int>& sizes) {
    std::vector<Bytes> images;
    images.reserve(sizes.size());
    for (int size : sizes) images.push_back(size >= kLargestIconSize ? Png(size) : IconBitmap(size));
    Bytes out;
    PutLittle16(out, 0);
    PutLittle16(out, 1);  // icon
    PutLittle16(out, static_cast<std::uint32_t>(sizes.size()));
    auto offset = static_cast<std::uint32_t>(6 + 16 * sizes.size());
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        const auto side = static_cast<std::uint8_t>(sizes[i] >= kLargestIconSize ? 0 : sizes[i]);  // 0 is 256
        out.insert(out.end(), {side, side, 0, 0});
        PutLittle16(out, 1);   // planes
        PutLittle16(out, 32);  // bits per pixel
        PutLittle32(out, static_cast<std::uint32_t>(images[i].size()));
        PutLittle32(out, offset);
        offset += static_cast<std::uint32_t>(images[i].size());
    }
    for (const Bytes& image : images) out.insert(out.end(), image.begin(), image.end());
    return out;
}

// ---- the command line --------------------------------------------------------------

bool Size(const std::string& text, int largest, int& size) {
    if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos) return false;
    size = std::atoi(text.c_str());
    return size >= 1 && size <= largest;
}

bool Write(const std::string& file, const Bytes& bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        std::cerr << "mkicons: cannot write " << file << "\n";
        return false;
    }
    return true;
}

int Usage() {
    std::cerr << "usage: mkicons png SIZE FILE\n"
                 "       mkicons ico FILE SIZE...\n"
                 "draws the vxstat picture: a PNG of 1 to "
              << kLargestSize << " pixels, or an .ico of sizes 1 to " << kLargestIconSize << "\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 3 && args[0] == "png") {
        int size = 0;
        if (!Size(args[1], kLargestSize, size)) return Usage();
        return Write(args[2], Png(size)) ? 0 : 1;
    }
    if (args.size() >= 3 && args[0] == "ico") {
        std::vector<int> sizes;
        for (std::size_t i = 2; i < args.size(); ++i) {
            int size = 0;
            if (!Size(args[i], kLargestIconSize, size)) return Usage();
            sizes.push_back(size);
        }
        return Write(args[1], Ico(sizes)) ? 0 : 1;
    }
    return Usage();
}
