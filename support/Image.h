#pragma once
// A plain RGB picture in memory and its PNG encoding, for pictures made
// without a window system.

#include <cstdint>
#include <string>
#include <vector>

namespace rovanta {

class RgbImage {
public:
    RgbImage(std::int32_t width, std::int32_t height, std::uint32_t fill);

    std::int32_t Width() const { return width_; }
    std::int32_t Height() const { return height_; }
    // 0xRRGGBB; 0 outside the picture.
    std::uint32_t At(std::int32_t x, std::int32_t y) const;
    // Pixels outside the picture are left out.
    void Set(std::int32_t x, std::int32_t y, std::uint32_t colour);
    void FillRect(std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h, std::uint32_t colour);
    // Horizontal or vertical lines only.
    void Line(std::int32_t x0, std::int32_t y0, std::int32_t x1, std::int32_t y1, std::uint32_t colour);
    // Upper-case letters, digits, ':' and '.' in a 3x5 pixel face at `scale`;
    // other characters leave a gap.
    void Text(std::int32_t x, std::int32_t y, const std::string& text, std::uint32_t colour, std::int32_t scale = 1);

    // The picture as a PNG file (8-bit RGB, no interlace).
    std::vector<std::uint8_t> Png() const;

private:
    std::int32_t width_, height_;
    std::vector<std::uint8_t> rgb_;
};

}  // namespace rovanta
