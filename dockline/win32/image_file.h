#pragma once
// An image file decoded by the platform's image decoder (PNG, BMP, GIF, JPEG, TIFF, ICO) into a
// 32-bit top-down bitmap with premultiplied alpha, ready for AlphaBlend.

#include <windows.h>

#include <string>

#include "common/win32/unique_handle.h"

namespace dockline {

class ImageFile {
public:
    // The largest width and height loaded; a larger picture is refused (and stays empty).
    static constexpr unsigned kMaxSide = 4096;
    enum class LoadResult { Loaded, Unreadable, TooLarge };

    ImageFile() = default;
    // Empty unless Loaded. `fileSize`, when given, receives the picture's size as the file
    // gives it (also when it is too large; 0 x 0 when the file cannot be decoded).
    LoadResult Load(const std::wstring& path, SIZE* fileSize = nullptr);
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
