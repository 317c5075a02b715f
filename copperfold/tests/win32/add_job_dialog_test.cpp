// The add-job dialog under its real modal loop on a virtual display: the test thread runs it
// while a helper thread plays the user, with the mouse (button clicks) and the keyboard
// (Enter and Escape go through the dialog manager as typed keys do).
#include "copperfold/win32/add_job_dialog.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <thread>

#include "copperfold/win32/add_job_dialog_resource.h"
#include "dialog_answer.h"
#include "key_input.h"

namespace {

using namespace std::chrono_literals;
using testing_support::WaitFor;

constexpr std::int32_t kUntouched = 77;

std::wstring French(std::wstring_view english, std::wstring_view fallback) {
    static const std::map<std::wstring_view, std::wstring_view> texts = {
        {L"&Add", L"&Ajouter"},
        {L"&Ok", L"&OK"},
        {L"&Cancel", L"&Annuler"},
        {L"Source Folder", L"Dossier source"},
        {L"Destination Folder", L"Dossier de destination"},
        {L"Backup - Copy file(s) from source directory to target directory",
         L"Sauvegarde - Copier les fichiers du dossier source vers le dossier cible"},
        {L"Restore - Copy file(s) from  target directory to source directory",
         L"Restauration - Copier les fichiers du dossier cible vers le dossier source"},
        {L"Sync - Make source directory and target directory data consistent",
         L"Synchronisation - Rendre identiques les dossiers source et cible"}};
    const auto it = texts.find(english);
    return std::wstring(it == texts.end() ? fallback : it->second);
}

// A language section with one key, "&Cancel", translated as an empty text.
std::wstring EmptyCancelOnly(std::wstring_view english, std::wstring_view fallback) {
    return english == L"&Cancel" ? std::wstring() : std::wstring(fallback);
}

std::wstring Text(HWND window) {
    wchar_t text[1024] = {};
    ::GetWindowTextW(window, text, 1024);
    return text;
}

// The control with the keyboard focus in the thread of `window`.
HWND GetFocusOf(HWND window) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    ::GetGUIThreadInfo(::GetWindowThreadProcessId(window, nullptr), &info);
    return info.hwndFocus;
}

bool Checked(HWND dialog, int id) { return ::SendDlgItemMessageW(dialog, id, BM_GETCHECK, 0, 0) == BST_CHECKED; }

// A click as the mouse gives it; waits until the dialog has handled it.
void Click(HWND dialog, int id) { ::SendMessageW(::GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

// A key typed on the control that has the focus in the dialog's thread.
void Type(DWORD uiThread, WPARAM key) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    ::GetGUIThreadInfo(uiThread, &info);
    ::PostMessageW(info.hwndFocus, WM_KEYDOWN, key, 1);
    ::PostMessageW(info.hwndFocus, WM_KEYUP, key, 0xC0000001);
}

class AddJobDialogTest : public ::testing::Test {
protected:
    // Runs the dialog modally on this thread while `act` plays the user from another.
    INT_PTR Run(CAddJobDialog& dialog, const std::function<void(HWND, DWORD)>& act) {
        const DWORD uiThread = ::GetCurrentThreadId();
        std::thread user([&] {
            HWND window = nullptr;
            if (WaitFor([&] { return (window = DialogOf(uiThread)) != nullptr; })) {
                act(window, uiThread);
            } else {
                ADD_FAILURE() << "the dialog never showed";
            }
        });
        const INT_PTR result = dialog.DoModal(nullptr);
        user.join();
        return result;
    }

    static HWND DialogOf(DWORD uiThread) {
        HWND found = nullptr;
        ::EnumThreadWindows(
            uiThread,
            [](HWND window, LPARAM result) {
                if (!::IsWindowVisible(window) || !::GetDlgItem(window, IDC_BACKUP_TYPE)) return TRUE;
                *reinterpret_cast<HWND*>(result) = window;
                return FALSE;
            },
            reinterpret_cast<LPARAM>(&found));
        return found;
    }

    std::int32_t type = kUntouched;
    const std::wstring source = L"C:\\Users\\Anna\\Documents";
    const std::wstring target = L"E:\\";
};

TEST_F(AddJobDialogTest, OpensTranslatedWithNoTypeChosenAndOkDisabled) {
    CAddJobDialog dialog(&French, source, target, &type);
    const INT_PTR result = Run(dialog, [&](HWND window, DWORD) {
        EXPECT_EQ(Text(window), L"Ajouter") << "the caption shows no mnemonic mark";
        EXPECT_EQ(Text(::GetDlgItem(window, IDOK)), L"&OK");
        EXPECT_EQ(Text(::GetDlgItem(window, IDCANCEL)), L"&Annuler");
        EXPECT_EQ(Text(::GetDlgItem(window, IDC_SOURCE_LABEL)), L"Dossier source");
        EXPECT_EQ(Text(::GetDlgItem(window, IDC_TARGET_LABEL)), L"Dossier de destination");
        EXPECT_EQ(Text(::GetDlgItem(window, IDC_SOURCE_PATH)), source);
        EXPECT_EQ(Text(::GetDlgItem(window, IDC_TARGET_PATH)), target);
        EXPECT_EQ(Text(::GetDlgItem(window, IDC_SYNC_TYPE)), L"Synchronisation - Rendre identiques les dossiers source et cible");
        EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(window, IDOK)));
        for (const int id : {IDC_BACKUP_TYPE, IDC_SYNC_TYPE, IDC_RESTORE_TYPE}) EXPECT_FALSE(Checked(window, id));
        Click(window, IDCANCEL);
    });
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(type, kUntouched);
    EXPECT_FALSE(dialog.ChosenType());
}

TEST_F(AddJobDialogTest, EachTypeButtonHandsBackItsTypeOnOk) {
    const std::pair<int, JobType> buttons[] = {
        {IDC_BACKUP_TYPE, JobType::Backup}, {IDC_SYNC_TYPE, JobType::Sync}, {IDC_RESTORE_TYPE, JobType::Restore}};
    for (const auto& [id, expected] : buttons) {
        type = kUntouched;
        CAddJobDialog dialog(&French, source, target, &type);
        const INT_PTR result = Run(dialog, [&](HWND window, DWORD) {
            Click(window, id);
            EXPECT_TRUE(::IsWindowEnabled(::GetDlgItem(window, IDOK)));
            EXPECT_EQ(type, kUntouched) << "nothing is handed back before OK";
            Click(window, IDOK);
        });
        EXPECT_EQ(result, IDOK);
        EXPECT_EQ(type, static_cast<std::int32_t>(expected)) << id;
    }
}

TEST_F(AddJobDialogTest, TheLastTypeClickedIsTheOnlyOneChecked) {
    CAddJobDialog dialog(&French, source, target, &type);
    const INT_PTR result = Run(dialog, [&](HWND window, DWORD) {
        Click(window, IDC_BACKUP_TYPE);
        Click(window, IDC_RESTORE_TYPE);
        EXPECT_FALSE(Checked(window, IDC_BACKUP_TYPE));
        EXPECT_TRUE(Checked(window, IDC_RESTORE_TYPE));
        EXPECT_FALSE(Checked(window, IDC_SYNC_TYPE));
        Click(window, IDOK);
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(type, 2);
}

TEST_F(AddJobDialogTest, CancelAfterChoosingHandsBackNothing) {
    CAddJobDialog dialog(&French, source, target, &type);
    const INT_PTR result = Run(dialog, [&](HWND window, DWORD) {
        Click(window, IDC_SYNC_TYPE);
        Click(window, IDCANCEL);
    });
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(type, kUntouched);
}

TEST_F(AddJobDialogTest, EnterDoesNothingUntilATypeIsChosenThenEndsWithOk) {
    CAddJobDialog dialog(&French, source, target, &type);
    const INT_PTR result = Run(dialog, [&](HWND window, DWORD uiThread) {
        Type(uiThread, VK_RETURN);
        std::this_thread::sleep_for(300ms);
        EXPECT_TRUE(::IsWindowVisible(window)) << "Enter without a type leaves the dialog open";
        ::SendMessageW(window, WM_COMMAND, IDOK, 0);  // even an OK command that gets past the disabled button
        EXPECT_TRUE(::IsWindowVisible(window));
        Click(window, IDC_SYNC_TYPE);
        Type(uiThread, VK_RETURN);
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(type, 1);
}

TEST_F(AddJobDialogTest, EscapeEndsWithCancel) {
    CAddJobDialog dialog(&French, source, target, &type);
    const INT_PTR result = Run(dialog, [&](HWND window, DWORD uiThread) {
        Click(window, IDC_BACKUP_TYPE);
        Type(uiThread, VK_ESCAPE);
    });
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(type, kUntouched);
}

TEST_F(AddJobDialogTest, WorksFromTheKeyboard) {
    using testing_support::PressKey;
    const auto english = [](std::wstring_view, std::wstring_view fallback) { return std::wstring(fallback); };
    {
        // Tab from the first type to the second, Space chooses it, Enter is OK.
        CAddJobDialog dialog(english, source, target, &type);
        const INT_PTR result = Run(dialog, [&](HWND window, DWORD) {
            ASSERT_TRUE(WaitFor([&] { return ::GetForegroundWindow() == window; }));
            EXPECT_TRUE(WaitFor([&] { return GetFocusOf(window) == ::GetDlgItem(window, IDC_BACKUP_TYPE); }));
            PressKey(VK_TAB);
            EXPECT_TRUE(WaitFor([&] { return GetFocusOf(window) == ::GetDlgItem(window, IDC_RESTORE_TYPE); }));
            PressKey(VK_SPACE);
            EXPECT_TRUE(WaitFor([&] { return Checked(window, IDC_RESTORE_TYPE); }));
            // The other types stay reachable once one is chosen.
            PressKey(VK_TAB);
            EXPECT_TRUE(WaitFor([&] { return GetFocusOf(window) == ::GetDlgItem(window, IDC_SYNC_TYPE); }));
            PressKey(VK_TAB, {VK_SHIFT});
            PressKey(VK_TAB, {VK_SHIFT});
            EXPECT_TRUE(WaitFor([&] { return GetFocusOf(window) == ::GetDlgItem(window, IDC_BACKUP_TYPE); }));
            EXPECT_TRUE(Checked(window, IDC_RESTORE_TYPE));
            PressKey(VK_RETURN);
        });
        EXPECT_EQ(result, IDOK);
        EXPECT_EQ(type, 2);
    }
    {
        // The mnemonic of "&Cancel".
        type = kUntouched;
        CAddJobDialog dialog(english, source, target, &type);
        const INT_PTR result = Run(dialog, [&](HWND window, DWORD) {
            ASSERT_TRUE(WaitFor([&] { return ::GetForegroundWindow() == window; }));
            PressKey(VK_SPACE);  // chooses Backup, which has the focus
            EXPECT_TRUE(WaitFor([&] { return Checked(window, IDC_BACKUP_TYPE); }));
            PressKey('C', {VK_MENU});
        });
        EXPECT_EQ(result, IDCANCEL);
        EXPECT_EQ(type, kUntouched);
    }
}

TEST_F(AddJobDialogTest, MissingTranslationsShowTheEnglishTextsAndEmptyOnesStayEmpty) {
    const std::wstring longSource = L"C:\\" + std::wstring(300, L'x');
    CAddJobDialog dialog(&EmptyCancelOnly, longSource, target, &type);
    const INT_PTR result = Run(dialog, [&](HWND window, DWORD) {
        EXPECT_EQ(Text(window), L"Add");
        EXPECT_EQ(Text(::GetDlgItem(window, IDOK)), L"&Ok");
        EXPECT_EQ(Text(::GetDlgItem(window, IDCANCEL)), L"") << "translated as empty on purpose";
        EXPECT_EQ(Text(::GetDlgItem(window, IDC_SOURCE_LABEL)), L"Source Folder");
        EXPECT_EQ(Text(::GetDlgItem(window, IDC_TARGET_LABEL)), L"Destination Folder");
        EXPECT_EQ(Text(::GetDlgItem(window, IDC_SYNC_TYPE)),
                  L"Sync - Make source directory and target directory data consistent");
        EXPECT_EQ(Text(::GetDlgItem(window, IDC_RESTORE_TYPE)),
                  L"Restore - Copy file(s) from  target directory to source directory");
        EXPECT_EQ(Text(::GetDlgItem(window, IDC_SOURCE_PATH)), longSource) << "shown whole, cut only on screen";
        Click(window, IDCANCEL);
    });
    EXPECT_EQ(result, IDCANCEL);
}

}  // namespace
