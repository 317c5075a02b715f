#pragma once
// An image file decoded by the platform's image decoder (PNG, BMP, GIF, JPEG, TIFF, ICO) into a
// 32-bit top-down bitmap with premultiplied alpha, ready for AlphaBlend.

#include <windows.h>

#include <string>

#include "common/win32/unique_handle.h"

namespace dockline {

class ImageFile {
public:
    ImageFile() = default;
    // Empty when the file does not load.
    bool Load(const std::wstring& path);
    void Clear();

    bool Empty() const { return !bitmap_; }
    HBITMAP Bitmap() const { return static_cast<HBITMAP>(bitmap_.get()); }
    int Width() const { return width_; }
    int Height() const { return height_; }
    // Draws the image at (x, y) in its natural size, blending by its alpha.
    void Draw(HDC dc, int x, int y) const;

private:
    win32::UniqueGdiObject bitmap_;
    int width_ = 0;
    int height_ = 0;
};

// Draws a premultiplied 32-bit bitmap at (x, y).
void DrawAlphaBitmap(HDC dc, HBITMAP bitmap, int x, int y, int width, int height);

}  // namespace dockline
