#pragma once
// CTaskbarNotifier: a skinned notice that slides out of the screen edge where the task bar
// sits, stays a while and slides back. A click is reported to the owner with 0x047B.

#include <windows.h>

#include <optional>
#include <string>

#include "common/win32/unique_handle.h"
#include "common/win32/window.h"
#include "dockline/core/notifier_motion.h"

class CTaskbarNotifier : public win32::Window {
public:
    static constexpr UINT kClickedMessage = WM_USER + 123;  // 0x047B, to the owner
    enum class State { Idle = 0, Appearing = 1, Waiting = 2, Disappearing = 3 };

    CTaskbarNotifier() = default;

    bool AttachToOwner(HWND owner);
    bool LoadSkin(UINT resourceId);
    void ChooseFonts();
    void SetTextColors(COLORREF normal, COLORREF hover);
    void SetTextRect(const RECT& rect) { textRect_ = rect; }

    void ShowNotice(const std::wstring& text);
    void HideNotice();

    State CurrentState() const { return state_; }
    const std::wstring& Text() const { return text_; }
    SIZE SkinSize() const { return {skinWidth_, skinHeight_}; }
    RECT TextRect() const { return textRect_; }
    int AppearDelay() const { return appearDelay_; }
    // The height in pixels of the font the notice is drawn with.
    int FontHeight() const { return fontHeight_; }

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void OnTimer(UINT_PTR id);
    void PlaceAt(const dockline::Point& position);
    void Paint();
    void TrackMouse();
    void MakeFonts(int height);
    void FitFontsTo(const std::wstring& text);

    HWND owner_ = nullptr;
    win32::UniqueGdiObject normalFont_;
    win32::UniqueGdiObject hoverFont_;
    int fullHeight_ = 0;  // 9 points on this screen
    int fontHeight_ = 0;
    COLORREF normalColor_ = 0xB59285;
    COLORREF hoverColor_ = 0x6A240A;
    HCURSOR handCursor_ = nullptr;
    win32::UniqueGdiObject skin_;
    int skinWidth_ = 0;
    int skinHeight_ = 0;
    RECT textRect_{};
    std::wstring text_;
    bool mouseOver_ = false;
    State state_ = State::Idle;
    int appearTime_ = 300, stayTime_ = 2500, disappearTime_ = 300;
    int appearDelay_ = 0, disappearDelay_ = 0;
    std::optional<dockline::NoticeMotion> motion_;
    dockline::Point current_{0, 0};
};
