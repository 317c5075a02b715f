#include "shadow_bitmap.h"

#include <algorithm>
#include <cmath>

namespace dockline {

namespace {

std::uint32_t Premultiplied(std::uint32_t color, int alpha) {
    const auto channel = [alpha](std::uint32_t value) { return (value & 0xFF) * static_cast<std::uint32_t>(alpha) / 255; };
    const std::uint32_t red = channel(color), green = channel(color >> 8), blue = channel(color >> 16);
    return static_cast<std::uint32_t>(alpha) << 24 | red << 16 | green << 8 | blue;
}

}  // namespace

ShadowBitmap MakeShadow(int parentWidth, int parentHeight, const std::vector<Span>& rows, const ShadowStyle& style) {
    const int size = style.size;
    const int sharpness = style.sharpness;
    ShadowBitmap bitmap;
    bitmap.width = std::max(0, parentWidth + 2 * size);
    bitmap.height = std::max(0, parentHeight + 2 * size);
    const int width = bitmap.width, height = bitmap.height;
    bitmap.pixels.assign(static_cast<std::size_t>(width) * height, 0);
    if (width == 0 || height == 0) return bitmap;

    // 1. The outline in bitmap coordinates; rows beyond the parent's are empty.
    const Span empty{parentWidth, 0};
    std::vector<Span> outline(static_cast<std::size_t>(height), empty);
    for (int y = 0; y < parentHeight && y < static_cast<int>(rows.size()); ++y) {
        const int row = y + size;
        if (row < 0 || row >= height) continue;
        const Span& span = rows[static_cast<std::size_t>(y)];
        if (span.left < span.right) outline[static_cast<std::size_t>(row)] = {span.left + size, span.right + size};
    }
    const auto spanOf = [&](const std::vector<Span>& spans, int row) {
        return (row < 0 || row >= height) ? empty : spans[static_cast<std::size_t>(row)];
    };

    // 2. Shrink by one pixel per step while the edge is wider than the reach.
    for (int step = 0; step < sharpness - size; ++step) {
        std::vector<Span> shrunk(outline.size());
        for (int row = 0; row < height; ++row) {
            const Span above = spanOf(outline, row - 1), here = spanOf(outline, row), below = spanOf(outline, row + 1);
            shrunk[static_cast<std::size_t>(row)] = {std::max({above.left, here.left, below.left}) + 1,
                                                     std::min({above.right, here.right, below.right}) - 1};
        }
        outline.swap(shrunk);
    }

    // 3. The kernel.
    const int radius = std::max(sharpness, size);
    const int solid = size > sharpness ? size - sharpness : 0;
    const int side = 2 * radius + 1;
    std::vector<std::uint32_t> kernel(static_cast<std::size_t>(side) * side, 0);
    for (int dy = -radius; dy <= radius; ++dy) {
        for (int dx = -radius; dx <= radius; ++dx) {
            const double distance = std::sqrt(static_cast<double>(dx * dx + dy * dy));
            int alpha = 0;
            if (distance < solid) {
                alpha = style.darkness;
            } else if (distance <= radius) {
                alpha = static_cast<int>(style.darkness * (1.0 - (distance - solid) / (sharpness + 1)));
            }
            kernel[static_cast<std::size_t>(dy + radius) * side + (dx + radius)] = Premultiplied(style.color, std::max(0, alpha));
        }
    }
    const auto stamp = [&](int cx, int cy) {
        for (int dy = -radius; dy <= radius; ++dy) {
            const int y = cy + dy;
            if (y < 0 || y >= height) continue;
            for (int dx = -radius; dx <= radius; ++dx) {
                const int x = cx + dx;
                if (x < 0 || x >= width) continue;
                std::uint32_t& pixel = bitmap.pixels[static_cast<std::size_t>(y) * width + x];
                pixel = std::max(pixel, kernel[static_cast<std::size_t>(dy + radius) * side + (dx + radius)]);
            }
        }
    };

    // 4. The soft edge: the kernel along the left and right ends of every shrunk row.
    for (int row = radius; row <= height - radius - 1; ++row) {
        const Span span = spanOf(outline, row);
        if (span.left >= span.right) continue;
        const Span above = spanOf(outline, row - 1), below = spanOf(outline, row + 1);
        int x = span.left;
        const int leftEnd = std::min(span.right, std::max(above.left, below.left) + 1);
        for (; x < leftEnd; ++x) stamp(x, row);
        for (x = std::max(x, std::min(above.right, below.right) - 1); x < span.right; ++x) stamp(x, row);
    }

    // 5. The solid core, cut away under the parent.
    const std::uint32_t full = Premultiplied(style.color, style.darkness);
    const auto fill = [&](int row, int from, int to) {
        for (int x = std::max(from, 0); x < std::min(to, width); ++x) bitmap.pixels[static_cast<std::size_t>(row) * width + x] = full;
    };
    const int firstRow = std::min(radius, std::max(size - style.yOffset, 0));
    const int endRow = std::max(std::min(parentHeight + size - style.yOffset, height), height - radius);
    for (int row = std::max(firstRow, 0); row < std::min(endRow, height); ++row) {
        const Span span = spanOf(outline, row);
        const int parentRow = row + style.yOffset - size;
        if (parentRow < 0 || parentRow >= parentHeight || parentRow >= static_cast<int>(rows.size())) {
            fill(row, span.left, span.right);
            continue;
        }
        const Span& under = rows[static_cast<std::size_t>(parentRow)];
        const int shift = size - style.xOffset;
        const int coverLeft = (under.left < under.right ? under.left : parentWidth) + shift;
        const int coverRight = (under.left < under.right ? under.right : 0) + shift;
        fill(row, span.left, std::min(span.right, coverLeft));
        for (int x = std::max(coverLeft, 0); x < std::min(coverRight, width); ++x) {
            bitmap.pixels[static_cast<std::size_t>(row) * width + x] = 0;
        }
        fill(row, std::max(span.left, coverRight), span.right);
    }
    return bitmap;
}

}  // namespace dockline
