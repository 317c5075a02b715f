#pragma once
// CButtonST: a flat owner-drawn push button showing a bitmap, lit while the mouse is over it,
// with an optional tooltip. The bar binds one to each of its command buttons; the bar passes
// the button's WM_DRAWITEM on to Draw.

#include <windows.h>

#include <string>

#include "common/win32/unique_handle.h"

class CButtonST {
public:
    CButtonST() = default;
    ~CButtonST();
    CButtonST(const CButtonST&) = delete;
    CButtonST& operator=(const CButtonST&) = delete;

    // Binds the object to an owner-drawn button control.
    bool Attach(HWND button);
    HWND Handle() const { return button_; }

    void SetDrawBorder(bool drawBorder) { drawBorder_ = drawBorder; }
    // Takes a copy of `bitmap` (32 bits a pixel, premultiplied alpha, as decoded images are);
    // pixels of `transparent` (a 0x00BBGGRR value) are left out, and -1 leaves out none.
    // A bitmap whose size cannot be read is dropped.
    bool AssignBitmap(HBITMAP bitmap, COLORREF transparent);
    // Raises each channel of the hovered-or-pressed background by `amount`, never past 255.
    void BrightenHoverColor(int amount);
    void AssignTooltip(const std::wstring& text);
    // Resizes the button to its bitmap and draws the bitmap from the button's corner.
    void FitSizeToBitmap();

    void Draw(const DRAWITEMSTRUCT& item);

    bool Hovered() const { return hovered_; }
    bool HasTooltip() const { return tooltip_ != nullptr; }
    COLORREF HoverBackground() const { return hoverBackground_; }
    int BitmapWidth() const { return bitmapWidth_; }
    int BitmapHeight() const { return bitmapHeight_; }

private:
    static LRESULT CALLBACK SubclassProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                              DWORD_PTR data);
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void SetHovered(bool hovered);
    void DrawBitmap(HDC dc, const RECT& area, bool pressed, bool disabled) const;

    HWND button_ = nullptr;
    HWND tooltip_ = nullptr;
    win32::UniqueGdiObject bitmap_;
    win32::UniqueGdiObject greyBitmap_;  // the same picture, greyed, for a disabled button
    int bitmapWidth_ = 0;
    int bitmapHeight_ = 0;
    POINT imageOrigin_{3, 3};
    POINT pressedOffset_{1, 1};
    bool drawBorder_ = true;
    bool hovered_ = false;
    COLORREF hoverBackground_ = ::GetSysColor(COLOR_BTNFACE);
    COLORREF focusBackground_ = ::GetSysColor(COLOR_BTNFACE);
    COLORREF normalBackground_ = ::GetSysColor(COLOR_BTNFACE);
};
