// The bitmap button as the bar sets it up: the hover colour, the bitmap and its size, the
// tooltip, and a bitmap whose size cannot be read.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>

#include "common/win32/unique_handle.h"
#include "dockline/win32/button_st.h"

namespace {

class ButtonTest : public ::testing::Test {
protected:
    void SetUp() override {
        parent = ::CreateWindowExW(0, L"STATIC", L"parent", WS_POPUP, 0, 0, 200, 100, nullptr, nullptr,
                                   ::GetModuleHandleW(nullptr), nullptr);
        control = ::CreateWindowExW(0, L"BUTTON", L"", WS_CHILD | WS_VISIBLE | BS_OWNERDRAW, 10, 0, 20, 20, parent,
                                    nullptr, ::GetModuleHandleW(nullptr), nullptr);
        ASSERT_TRUE(button.Attach(control));
    }
    void TearDown() override { ::DestroyWindow(parent); }
    HWND parent = nullptr;
    HWND control = nullptr;
    CButtonST button;
};

TEST_F(ButtonTest, HoverColourRisesEvenlyWithoutOverflow) {
    const COLORREF face = ::GetSysColor(COLOR_BTNFACE);
    button.BrightenHoverColor(50);
    const int top = std::max({GetRValue(face), GetGValue(face), GetBValue(face)});
    const int step = std::min(50, 255 - top);
    EXPECT_EQ(button.HoverBackground(), RGB(GetRValue(face) + step, GetGValue(face) + step, GetBValue(face) + step));
    button.BrightenHoverColor(255);
    const COLORREF bright = button.HoverBackground();
    EXPECT_EQ(std::max({GetRValue(bright), GetGValue(bright), GetBValue(bright)}), 255) << "stops at white's edge";
}

TEST_F(ButtonTest, BitmapSizesTheButtonAndATooltipIsMadeOnce) {
    void* bits = nullptr;
    BITMAPINFO info{};
    info.bmiHeader = {sizeof info.bmiHeader, 40, -48, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    const win32::UniqueGdiObject picture(::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    ASSERT_TRUE(picture);
    ASSERT_TRUE(button.AssignBitmap(static_cast<HBITMAP>(picture.get()), CLR_INVALID));
    EXPECT_EQ(button.BitmapWidth(), 40);
    button.FitSizeToBitmap();
    RECT rect{};
    ::GetWindowRect(control, &rect);
    EXPECT_EQ(rect.right - rect.left, 40);
    EXPECT_EQ(rect.bottom - rect.top, 48);

    EXPECT_FALSE(button.HasTooltip());
    button.AssignTooltip(L"Back up");
    button.AssignTooltip(L"Back up now");
    EXPECT_TRUE(button.HasTooltip());

    EXPECT_FALSE(button.AssignBitmap(nullptr, CLR_INVALID)) << "no size to read";
    EXPECT_EQ(button.BitmapWidth(), 0) << "the previous bitmap is gone too";
}

}  // namespace
