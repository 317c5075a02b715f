#pragma once
// The picture of a window's drop shadow: premultiplied 32-bit pixels that follow the window's
// outline, soft at the edge, solid inside and cut away under the window itself.

#include <cstdint>
#include <vector>

namespace dockline {

// The inside pixels of one row, [left, right); empty when left >= right.
struct Span {
    int left;
    int right;
};

struct ShadowStyle {
    std::uint8_t darkness = 150;   // alpha of the solid shadow
    std::uint8_t sharpness = 5;    // width of the soft edge in pixels
    std::int8_t size = 0;          // how far the shadow reaches beyond the outline
    std::int8_t xOffset = 5;
    std::int8_t yOffset = 5;
    std::uint32_t color = 0;       // 0x00BBGGRR
};

struct ShadowBitmap {
    int width = 0;    // parent width + 2 x size
    int height = 0;   // parent height + 2 x size
    std::vector<std::uint32_t> pixels;  // rows from the top, 0xAARRGGBB premultiplied
    std::uint32_t At(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

// `rows` holds one span per parent row (parentHeight of them), in parent coordinates.
ShadowBitmap MakeShadow(int parentWidth, int parentHeight, const std::vector<Span>& rows, const ShadowStyle& style);

}  // namespace dockline
