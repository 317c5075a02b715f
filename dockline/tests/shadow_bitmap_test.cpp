// The shadow's picture with the bar's style: the parent's size, nothing under the parent, the
// rounded corners followed, darkest well inside the edge.
#include <gtest/gtest.h>

#include <vector>

#include "dockline/core/shadow_bitmap.h"

namespace {

std::vector<dockline::Span> Rectangle(int width, int height) {
    return std::vector<dockline::Span>(static_cast<std::size_t>(height), dockline::Span{0, width});
}

int Alpha(std::uint32_t pixel) { return static_cast<int>(pixel >> 24); }

TEST(ShadowBitmap, BarStyleLiesRightAndBelowOnly) {
    const dockline::ShadowStyle style;  // darkness 150, sharpness 5, size 0, offset (5, 5), black
    const dockline::ShadowBitmap shadow = dockline::MakeShadow(126, 48, Rectangle(126, 48), style);
    ASSERT_EQ(shadow.width, 126);
    ASSERT_EQ(shadow.height, 48);
    // The shadow window sits 5 pixels right and down: its pixel (x, y) lies under parent pixel
    // (x + 5, y + 5), which the parent covers for x < 121 and y < 43.
    for (int y = 0; y < 43; ++y) {
        for (int x = 0; x < 121; ++x) ASSERT_EQ(shadow.At(x, y), 0u) << x << "," << y;
    }
    // The outline shrinks by the sharpness and the edge fades over it: 150 x (1 - d / 6) at
    // distance d from the shrunk outline, which ends at x = 120 and y = 42.
    EXPECT_EQ(Alpha(shadow.At(121, 20)), 125);
    EXPECT_EQ(Alpha(shadow.At(122, 20)), 100);
    EXPECT_EQ(Alpha(shadow.At(125, 20)), 24) << "soft at the outer edge (25 less a rounding error, cut)";
    EXPECT_EQ(Alpha(shadow.At(60, 43)), 125) << "below the parent";
    EXPECT_EQ(Alpha(shadow.At(60, 47)), 24);
    EXPECT_LT(Alpha(shadow.At(123, 45)), Alpha(shadow.At(123, 20))) << "the corner fades";
    EXPECT_EQ(shadow.At(122, 20) & 0xFFFFFF, 0u) << "black";
}

TEST(ShadowBitmap, FollowsTheRoundedOutline) {
    std::vector<dockline::Span> rows = Rectangle(60, 40);
    // Cut the corners the way a 10 x 10 rounded region does.
    const int inset[] = {4, 2, 1, 1, 0};
    for (int i = 0; i < 5; ++i) {
        rows[static_cast<std::size_t>(i)] = {inset[i], 60 - inset[i]};
        rows[static_cast<std::size_t>(39 - i)] = {inset[i], 60 - inset[i]};
    }
    const dockline::ShadowBitmap square = dockline::MakeShadow(60, 40, Rectangle(60, 40), {});
    const dockline::ShadowBitmap round = dockline::MakeShadow(60, 40, rows, {});
    EXPECT_GT(Alpha(square.At(56, 36)), 0);
    EXPECT_LT(Alpha(round.At(56, 36)), Alpha(square.At(56, 36))) << "the lower right corner is rounder";
    EXPECT_EQ(Alpha(round.At(56, 20)), Alpha(square.At(56, 20))) << "the straight edge is the same";
    EXPECT_EQ(round.At(30, 20), 0u);
}

TEST(ShadowBitmap, SizeWidensTheBitmapAndColourIsPremultiplied) {
    dockline::ShadowStyle style;
    style.size = 4;
    style.sharpness = 2;
    style.color = 0x000000FF;  // red
    const dockline::ShadowBitmap shadow = dockline::MakeShadow(20, 10, Rectangle(20, 10), style);
    EXPECT_EQ(shadow.width, 28);
    EXPECT_EQ(shadow.height, 18);
    // No shrinking (the reach exceeds the edge); solid within size - sharpness of the outline.
    const std::uint32_t solid = shadow.At(25, 12);
    EXPECT_EQ(Alpha(solid), 150);
    EXPECT_EQ((solid >> 16) & 0xFF, 150u) << "red premultiplied by its alpha";
    EXPECT_EQ(solid & 0xFFFF, 0u);
    EXPECT_EQ(Alpha(shadow.At(26, 12)), 100);
}

}  // namespace
