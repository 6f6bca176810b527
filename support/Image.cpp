#include "support/Image.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cctype>

namespace rovanta {

namespace {

// 3x5 glyphs, one row of three bits per nibble, the top row first.
std::uint16_t Glyph(char c)
{
    switch (c) {
    case '0': return 0x7B6F;
    case '1': return 0x2C97;
    case '2': return 0x73E7;
    case '3': return 0x73CF;
    case '4': return 0x5BC9;
    case '5': return 0x79CF;
    case '6': return 0x79EF;
    case '7': return 0x7249;
    case '8': return 0x7BEF;
    case '9': return 0x7BCF;
    case ':': return 0x0410;
    case '.': return 0x0002;
    case 'A': return 0x2BED;
    case 'B': return 0x6BAE;
    case 'C': return 0x7927;
    case 'D': return 0x6B6E;
    case 'E': return 0x79A7;
    case 'F': return 0x79A4;
    case 'G': return 0x796F;
    case 'H': return 0x5BED;
    case 'I': return 0x7497;
    case 'J': return 0x126A;
    case 'K': return 0x5BAD;
    case 'L': return 0x4927;
    case 'M': return 0x5FED;
    case 'N': return 0x6B6D;
    case 'O': return 0x2B6A;
    case 'P': return 0x6BA4;
    case 'Q': return 0x2B7B;
    case 'R': return 0x6BAD;
    case 'S': return 0x388E;
    case 'T': return 0x7492;
    case 'U': return 0x5B6F;
    case 'V': return 0x5B6A;
    case 'W': return 0x5BFD;
    case 'X': return 0x5AAD;
    case 'Y': return 0x5A92;
    case 'Z': return 0x72A7;
    default: return 0;
    }
}

void PutBe32(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(v >> shift));
}

void PutChunk(std::vector<std::uint8_t>& out, const char* type, const std::vector<std::uint8_t>& data)
{
    PutBe32(out, static_cast<std::uint32_t>(data.size()));
    const std::size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    const uLong crc = crc32(0, out.data() + start, static_cast<uInt>(out.size() - start));
    PutBe32(out, static_cast<std::uint32_t>(crc));
}

}  // namespace

RgbImage::RgbImage(std::int32_t width, std::int32_t height, std::uint32_t fill)
    : width_(std::max(width, 1)), height_(std::max(height, 1)),
      rgb_(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_) * 3)
{
    FillRect(0, 0, width_, height_, fill);
}

std::uint32_t RgbImage::At(std::int32_t x, std::int32_t y) const
{
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
    const std::size_t i = (static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) + static_cast<std::size_t>(x)) * 3;
    return std::uint32_t{rgb_[i]} << 16 | std::uint32_t{rgb_[i + 1]} << 8 | rgb_[i + 2];
}

void RgbImage::Set(std::int32_t x, std::int32_t y, std::uint32_t colour)
{
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
    const std::size_t i = (static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) + static_cast<std::size_t>(x)) * 3;
    rgb_[i] = static_cast<std::uint8_t>(colour >> 16);
    rgb_[i + 1] = static_cast<std::uint8_t>(colour >> 8);
    rgb_[i + 2] = static_cast<std::uint8_t>(colour);
}

void RgbImage::FillRect(std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h, std::uint32_t colour)
{
    const std::int32_t x0 = std::max(x, 0), y0 = std::max(y, 0);
    const std::int32_t x1 = std::min(x + w, width_), y1 = std::min(y + h, height_);
    for (std::int32_t row = y0; row < y1; ++row)
        for (std::int32_t col = x0; col < x1; ++col) Set(col, row, colour);
}

void RgbImage::Line(std::int32_t x0, std::int32_t y0, std::int32_t x1, std::int32_t y1, std::uint32_t colour)
{
    FillRect(std::min(x0, x1), std::min(y0, y1), std::abs(x1 - x0) + 1, std::abs(y1 - y0) + 1, colour);
}

void RgbImage::Text(std::int32_t x, std::int32_t y, const std::string& text, std::uint32_t colour, std::int32_t scale)
{
    for (char c : text) {
        const std::uint16_t glyph = Glyph(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
        for (std::int32_t row = 0; row < 5; ++row)
            for (std::int32_t col = 0; col < 3; ++col)
                if (glyph >> (14 - row * 3 - col) & 1u) FillRect(x + col * scale, y + row * scale, scale, scale, colour);
        x += 4 * scale;
    }
}

std::vector<std::uint8_t> RgbImage::Png() const
{
    // Each row behind its filter byte (0: none).
    const std::size_t stride = static_cast<std::size_t>(width_) * 3;
    std::vector<std::uint8_t> raw;
    raw.reserve((stride + 1) * static_cast<std::size_t>(height_));
    for (std::int32_t y = 0; y < height_; ++y) {
        raw.push_back(0);
        const auto row = rgb_.begin() + static_cast<std::ptrdiff_t>(stride * static_cast<std::size_t>(y));
        raw.insert(raw.end(), row, row + static_cast<std::ptrdiff_t>(stride));
    }
    uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
    std::vector<std::uint8_t> packed(packedSize);
    if (compress2(packed.data(), &packedSize, raw.data(), static_cast<uLong>(raw.size()), 6) != Z_OK) return {};
    packed.resize(packedSize);

    std::vector<std::uint8_t> png{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<std::uint8_t> header;
    PutBe32(header, static_cast<std::uint32_t>(width_));
    PutBe32(header, static_cast<std::uint32_t>(height_));
    header.insert(header.end(), {8, 2, 0, 0, 0});  // 8 bits, RGB, deflate, no filter choice, no interlace
    PutChunk(png, "IHDR", header);
    PutChunk(png, "IDAT", packed);
    PutChunk(png, "IEND", {});
    return png;
}

}  // namespace rovanta
