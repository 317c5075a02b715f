#pragma once
// CWndShadow: a soft drop shadow for a window, following the window's own shape. The shadow is
// a click-through per-pixel-alpha window beside and under its parent that follows the parent's
// moves, size, visibility and destruction. No shadow while the desktop composes windows itself.

#include <windows.h>

#include "dockline/core/shadow_bitmap.h"

class CWndShadow {
public:
    // Once per process before any shadow is created; false when it already ran or the system
    // has no layered-window update (then no shadow is ever shown).
    static bool PrepareShadows(HINSTANCE instance);

    CWndShadow() = default;
    virtual ~CWndShadow();
    CWndShadow(const CWndShadow&) = delete;
    CWndShadow& operator=(const CWndShadow&) = delete;

    void SetStyle(const dockline::ShadowStyle& style) { style_ = style; }
    // Creates the shadow window for `parent` and follows it from then on.
    void Create(HWND parent);

    HWND Handle() const { return shadow_; }
    bool Visible() const { return (status_ & kVisible) != 0; }

private:
    enum : unsigned char { kEnabled = 1, kVisible = 2, kParentVisible = 4, kComposition = 8 };

    static LRESULT CALLBACK Hook(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id, DWORD_PTR data);
    LRESULT OnParentMessage(UINT message, WPARAM wParam, LPARAM lParam);
    // `showing`: the parent is being shown (it reports itself visible only afterwards).
    void Show(bool showing = false);
    void Redraw();
    void MoveBeside(const RECT& parentRect, UINT extraFlags);
    static bool CompositionOn();

    HWND parent_ = nullptr;
    HWND shadow_ = nullptr;
    unsigned char status_ = 0;
    dockline::ShadowStyle style_{};
    LPARAM lastSize_ = 0;
    bool updatePending_ = false;
};
