#include "job_options_controls.h"

#include <commctrl.h>

#include <string>

#include "copperfold/core/job_options_text.h"
#include "copperfold/core/mnemonic_text.h"
#include "copperfold/core/preflight.h"
#include "gdi_scope.h"
#include "job_options_resource.h"

namespace {

// A key of the language sections; "%s" is the most days the field takes.
constexpr wchar_t kBadDaysText[] = L"Enter the number of days to keep the replaced files, from 1 to %s.";
constexpr int kGapPixels = 4;

}  // namespace

std::wstring JobOptionsControls::Tr(std::wstring_view english) const {
    // A text the language lacks shows in English: no label is ever blank.
    return translate ? translate(english) : std::wstring(english);
}

void JobOptionsControls::RegisterClasses() {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_UPDOWN_CLASS};
    ::InitCommonControlsEx(&controls);
}

void JobOptionsControls::Init(HWND owner, const copperfold::TextTranslator& translator, bool skipSame,
                              std::uint32_t keepDays) {
    dialog = owner;
    translate = translator;
    ::SetWindowTextW(Item(IDC_SKIP_SAME), Tr(L"Copy only &new and changed files").c_str());
    ::SetWindowTextW(Item(IDC_KEEP_VERSIONS), Tr(L"&Keep replaced files for").c_str());
    ::SetWindowTextW(Item(IDC_KEEP_DAYS_UNIT), Tr(L"days").c_str());
    PlaceDaysAfterItsBox();
    ::SendMessageW(Item(IDC_KEEP_DAYS), EM_SETLIMITTEXT, std::to_wstring(copperfold::kMaxKeepDays).size(), 0);
    ::SendMessageW(Item(IDC_KEEP_DAYS_SPIN), UDM_SETRANGE32, 1, copperfold::kMaxKeepDays);
    const std::uint32_t days = keepDays > 0 ? keepDays : copperfold::kDefaultKeepDays;
    ::SetWindowTextW(Item(IDC_KEEP_DAYS), std::to_wstring(days).c_str());
    userSkipSame = skipSame;
    ::CheckDlgButton(dialog, IDC_SKIP_SAME, skipSame ? BST_CHECKED : BST_UNCHECKED);
    ::CheckDlgButton(dialog, IDC_KEEP_VERSIONS, keepDays > 0 ? BST_CHECKED : BST_UNCHECKED);
    EnableDays();
}

void JobOptionsControls::PlaceDaysAfterItsBox() {
    // The box is as wide as its text (which differs by language), the field right after it.
    const HWND box = Item(IDC_KEEP_VERSIONS);
    std::wstring shown(static_cast<size_t>(::GetWindowTextLengthW(box)) + 1, L'\0');
    shown.resize(static_cast<size_t>(::GetWindowTextW(box, shown.data(), static_cast<int>(shown.size()))));
    shown = copperfold::WithoutMnemonic(shown);
    SIZE extent{};
    {
        const win32::WindowDc dc(box);
        const win32::SelectScope font(dc.Dc(), reinterpret_cast<HGDIOBJ>(::SendMessageW(box, WM_GETFONT, 0, 0)));
        ::GetTextExtentPoint32W(dc.Dc(), shown.c_str(), static_cast<int>(shown.size()), &extent);
    }
    const RECT place = PlaceOf(IDC_KEEP_VERSIONS);
    const RECT field = PlaceOf(IDC_KEEP_DAYS);
    const RECT arrows = PlaceOf(IDC_KEEP_DAYS_SPIN);
    const RECT unit = PlaceOf(IDC_KEEP_DAYS_UNIT);
    const int boxWidth = ::GetSystemMetrics(SM_CXMENUCHECK) + 3 * kGapPixels + extent.cx;
    constexpr UINT kKeepOrder = SWP_NOZORDER | SWP_NOACTIVATE;
    ::SetWindowPos(box, nullptr, 0, 0, boxWidth, place.bottom - place.top, SWP_NOMOVE | kKeepOrder);
    // The arrows take their room from the field's right end again when they are put beside it.
    const int fieldLeft = place.left + boxWidth + kGapPixels;
    ::SetWindowPos(Item(IDC_KEEP_DAYS), nullptr, fieldLeft, field.top,
                   field.right - field.left + arrows.right - arrows.left, field.bottom - field.top, kKeepOrder);
    ::SendMessageW(Item(IDC_KEEP_DAYS_SPIN), UDM_SETBUDDY, reinterpret_cast<WPARAM>(Item(IDC_KEEP_DAYS)), 0);
    const int unitLeft = PlaceOf(IDC_KEEP_DAYS_SPIN).right + kGapPixels;
    ::SetWindowPos(Item(IDC_KEEP_DAYS_UNIT), nullptr, unitLeft, unit.top, unit.right - unit.left, unit.bottom - unit.top,
                   kKeepOrder);
}

RECT JobOptionsControls::PlaceOf(int id) const {
    RECT place{};
    ::GetWindowRect(Item(id), &place);
    ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&place), 2);
    return place;
}

void JobOptionsControls::SetQuickModeApplies(bool applies) {
    const HWND box = Item(IDC_SKIP_SAME);
    ::CheckDlgButton(dialog, IDC_SKIP_SAME, !applies || userSkipSame ? BST_CHECKED : BST_UNCHECKED);
    if (!applies && ::GetFocus() == box) ::SendMessageW(dialog, WM_NEXTDLGCTL, 0, FALSE);
    ::EnableWindow(box, applies ? TRUE : FALSE);
}

bool JobOptionsControls::OnCommand(int id, int notifyCode) {
    switch (id) {
    case IDC_SKIP_SAME:
        if (notifyCode == BN_CLICKED && ::IsWindowEnabled(Item(IDC_SKIP_SAME))) {
            userSkipSame = ::IsDlgButtonChecked(dialog, IDC_SKIP_SAME) == BST_CHECKED;
        }
        return true;
    case IDC_KEEP_VERSIONS:
        if (notifyCode == BN_CLICKED) EnableDays();
        return true;
    case IDC_KEEP_DAYS:
    case IDC_KEEP_DAYS_UNIT:
        return true;
    default:
        return false;
    }
}

void JobOptionsControls::EnableDays() {
    const BOOL keep = ::IsDlgButtonChecked(dialog, IDC_KEEP_VERSIONS) == BST_CHECKED ? TRUE : FALSE;
    for (const int id : {IDC_KEEP_DAYS, IDC_KEEP_DAYS_SPIN, IDC_KEEP_DAYS_UNIT}) ::EnableWindow(Item(id), keep);
}

std::optional<std::uint32_t> JobOptionsControls::ValidKeepDays() const {
    if (::IsDlgButtonChecked(dialog, IDC_KEEP_VERSIONS) != BST_CHECKED) return 0u;
    const HWND field = Item(IDC_KEEP_DAYS);
    std::wstring text(static_cast<size_t>(::GetWindowTextLengthW(field)) + 1, L'\0');
    text.resize(static_cast<size_t>(::GetWindowTextW(field, text.data(), static_cast<int>(text.size()))));
    if (const auto days = copperfold::ParseKeepDays(text)) return days;
    const std::wstring message = copperfold::FilledText(Tr(kBadDaysText), {std::to_wstring(copperfold::kMaxKeepDays)});
    ::MessageBoxW(dialog, message.c_str(), Tr(L"Error Message").c_str(), MB_OK | MB_ICONERROR);
    ::SendMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(field), TRUE);
    ::SendMessageW(field, EM_SETSEL, 0, -1);
    return std::nullopt;
}
