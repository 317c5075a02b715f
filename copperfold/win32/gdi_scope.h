#pragma once
// Scoped owners for the drawing code: a paint pass, a window's device context, a memory device
// context with its bitmap, and an object selected into a device context. Each undoes exactly
// what it did, once.

#include <windows.h>

#include "common/win32/unique_handle.h"

namespace win32 {

class PaintScope {
public:
    explicit PaintScope(HWND window) : hwnd(window), dc(::BeginPaint(window, &paint)) {}
    ~PaintScope() { ::EndPaint(hwnd, &paint); }
    PaintScope(const PaintScope&) = delete;
    PaintScope& operator=(const PaintScope&) = delete;
    HDC Dc() const { return dc; }
    const RECT& Area() const { return paint.rcPaint; }

private:
    HWND hwnd;
    PAINTSTRUCT paint{};
    HDC dc;
};

class WindowDc {
public:
    explicit WindowDc(HWND window) : hwnd(window), dc(::GetDC(window)) {}
    ~WindowDc() {
        if (dc) ::ReleaseDC(hwnd, dc);
    }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    HDC Dc() const { return dc; }

private:
    HWND hwnd;
    HDC dc;
};

// Selects `object` into `dc` and puts the previous object back at the end of the scope.
class SelectScope {
public:
    SelectScope(HDC context, HGDIOBJ object) : dc(context), previous(object ? ::SelectObject(context, object) : nullptr) {}
    ~SelectScope() {
        if (previous) ::SelectObject(dc, previous);
    }
    SelectScope(const SelectScope&) = delete;
    SelectScope& operator=(const SelectScope&) = delete;

private:
    HDC dc;
    HGDIOBJ previous;
};

// An off-screen picture of width x height compatible with `screen`, selected into its own DC.
class MemoryCanvas {
public:
    MemoryCanvas(HDC screen, int width, int height)
        : dc(::CreateCompatibleDC(screen)), bitmap(::CreateCompatibleBitmap(screen, width, height)),
          selection(dc.Get(), bitmap.get()) {}
    ~MemoryCanvas() = default;  // the bitmap is deselected before it and the DC go
    MemoryCanvas(const MemoryCanvas&) = delete;
    MemoryCanvas& operator=(const MemoryCanvas&) = delete;
    bool IsValid() const { return dc.Get() && bitmap; }
    HDC Dc() const { return dc.Get(); }

private:
    struct OwnedDc {
        explicit OwnedDc(HDC context) : handle(context) {}
        ~OwnedDc() {
            if (handle) ::DeleteDC(handle);
        }
        OwnedDc(const OwnedDc&) = delete;
        OwnedDc& operator=(const OwnedDc&) = delete;
        HDC Get() const { return handle; }
        HDC handle;
    };
    OwnedDc dc;
    UniqueGdiObject bitmap;
    SelectScope selection;  // declared last: undone first
};

}  // namespace win32
