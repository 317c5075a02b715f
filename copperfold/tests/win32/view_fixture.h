#pragma once
// The job list view's tests' fixture: the view with its drive trees on a virtual display under
// Wine. The test's Wine session maps drive M: to a folder of its own (the view tests' fixture in
// CMakeLists.txt); the fake device scan names M: as the enclosure's drive, so it shows in the
// device tree. Modal dialogs and message boxes run on the test's thread while a helper thread
// answers them (Answerer).

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "common/core/ini_file.h"
#include "common/tests/win32/temp_folder.h"
#include "copperfold/win32/add_job_dialog_resource.h"
#include "copperfold/win32/copperfold_view.h"
#include "copperfold/win32/copperfold_view_resource.h"
#include "copperfold/win32/win32_file_system.h"

namespace view_testing {

using namespace std::chrono_literals;

inline constexpr wchar_t kDeviceLetter = L'M';
inline const std::wstring kDeviceRoot = L"M:\\";

// Every key is its own English text, except the ones the test leaves out of the language (the
// caller's fallback shows) and one translated as an empty text on purpose.
inline std::wstring EnglishWithout(std::wstring_view english, std::wstring_view fallback) {
    static const std::set<std::wstring_view> missing = {L"&Remove", L"Modify Date", L"Backup"};
    if (english == L"Job Type") return {};
    return std::wstring(missing.contains(english) ? fallback : english);
}

inline void WriteFile(const std::wstring& path, std::string_view bytes) {
    const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << "cannot write " << std::string(path.begin(), path.end());
    DWORD written = 0;
    ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    ::CloseHandle(file);
}

inline std::wstring WindowText(HWND window) {
    wchar_t text[512] = {};
    ::GetWindowTextW(window, text, 512);
    return text;
}

// Answers the first dialog or message box of this process with `caption` from another thread.
class Answerer {
public:
    Answerer(std::wstring caption, std::function<void(HWND)> answer, std::chrono::milliseconds limit = 10s)
        : thread([this, c = std::move(caption), a = std::move(answer), limit] {
              const auto end = std::chrono::steady_clock::now() + limit;
              while (std::chrono::steady_clock::now() < end) {
                  if (const HWND box = ::FindWindowW(L"#32770", c.c_str()); box && ::IsWindowVisible(box)) {
                      for (HWND child = ::GetWindow(box, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
                          if (::GetDlgCtrlID(child) == 0xFFFF) shownText = WindowText(child);  // a box's message
                      }
                      seen = true;
                      a(box);
                      return;
                  }
                  std::this_thread::sleep_for(10ms);
              }
          }) {}
    ~Answerer() { Join(); }
    void Join() {
        if (thread.joinable()) thread.join();
    }
    std::atomic<bool> seen{false};
    std::wstring shownText;

private:
    std::thread thread;
};

inline void PressOk(HWND box) { ::PostMessageW(box, WM_COMMAND, IDOK, 0); }

class CopperfoldViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(::GetLogicalDrives() & (1u << (kDeviceLetter - L'A'))) << "drive M: is not mapped";
        ini = std::make_unique<CIniFile>(settings.File(L"Copperfold.ini"));
        document = std::make_unique<CCopperfoldDoc>(ini.get(), L"TEST-USER");
        writeEvent.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
        ClearDevice();
        local = std::wstring(L"C:\\cfview-") + std::to_wstring(::GetCurrentProcessId());
        ::CreateDirectoryW(local.c_str(), nullptr);
        ::CreateDirectoryW((local + L"\\docs").c_str(), nullptr);
        WriteFile(local + L"\\docs\\letter.txt", std::string(1500, 'x'));
        ::CreateDirectoryW(L"M:\\backup", nullptr);
    }
    void TearDown() override {
        view.reset();
        if (host) ::DestroyWindow(host);
        testing_support::RemoveTree(L"\\\\?\\" + local);
        ClearDevice();
    }
    static void ClearDevice() {
        WIN32_FIND_DATAW found;
        const HANDLE find = ::FindFirstFileW(L"M:\\*", &found);
        if (find == INVALID_HANDLE_VALUE) return;
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                testing_support::RemoveTree(L"\\\\?\\M:\\" + name);
            } else {
                ::DeleteFileW((L"M:\\" + name).c_str());
            }
        } while (::FindNextFileW(find, &found));
        ::FindClose(find);
    }

    // The fake scan names M: as the enclosure's drive.
    static void EnclosureOnM(copperfold::DeviceList& list) {
        devio::DeviceListEntry& entry = list.entries[2];
        entry.hubDepth = 2;
        entry.connected = 1;
        entry.disk.isTovi = 1;
        entry.disk.driveLetterCount = 1;
        entry.disk.driveLetters[0] = static_cast<char>(kDeviceLetter);
    }
    void Open(CCopperfoldView::DeviceScanner scanner = EnclosureOnM, bool deviceAccess = true) {
        host = ::CreateWindowExW(0, L"STATIC", L"view test", WS_OVERLAPPEDWINDOW | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0,
                                 900, 650, nullptr, nullptr, nullptr, nullptr);
        ASSERT_TRUE(host);
        RECT client{};
        ::GetClientRect(host, &client);
        view = std::make_unique<CCopperfoldView>(CCopperfoldView::Services{
            *document, EnglishWithout, writeEvent.get(), fileSystem, std::move(scanner), nullptr, deviceAccess});
        ASSERT_TRUE(view->Create(host, client));
        view->InitialUpdate();
        Pump();
    }
    static void Pump(std::chrono::milliseconds span = 50ms) {
        const auto end = std::chrono::steady_clock::now() + span;
        do {
            MSG message;
            while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
                ::TranslateMessage(&message);
                ::DispatchMessageW(&message);
            }
            std::this_thread::sleep_for(5ms);
        } while (std::chrono::steady_clock::now() < end);
    }
    template <typename Condition>
    static bool PumpUntil(Condition condition, std::chrono::milliseconds limit = 5s) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (!condition()) {
            if (std::chrono::steady_clock::now() > end) return false;
            Pump(10ms);
        }
        return true;
    }

    static std::vector<std::wstring> Column(const CColumnTreeCtrl& tree, HTREEITEM parent, int column) {
        std::vector<std::wstring> texts;
        const HTREEITEM first = parent ? TreeView_GetChild(tree.Tree(), parent) : TreeView_GetRoot(tree.Tree());
        for (HTREEITEM item = first; item; item = TreeView_GetNextSibling(tree.Tree(), item)) {
            texts.push_back(tree.GetItemText(item, column));
        }
        return texts;
    }
    static HTREEITEM Child(const CColumnTreeCtrl& tree, HTREEITEM parent, std::wstring_view name) {
        const HTREEITEM first = parent ? TreeView_GetChild(tree.Tree(), parent) : TreeView_GetRoot(tree.Tree());
        for (HTREEITEM item = first; item; item = TreeView_GetNextSibling(tree.Tree(), item)) {
            if (tree.GetItemText(item, 0) == name) return item;
        }
        return nullptr;
    }
    static int Icon(const CColumnTreeCtrl& tree, HTREEITEM item) {
        TVITEMW info{};
        info.mask = TVIF_IMAGE | TVIF_HANDLE;
        info.hItem = item;
        TreeView_GetItem(tree.Tree(), &info);
        return info.iImage;
    }
    // Expands the items along `names` from a root, as a user opens them; the last one found.
    static HTREEITEM Reveal(const CColumnTreeCtrl& tree, std::initializer_list<std::wstring_view> names) {
        HTREEITEM item = nullptr;
        for (const std::wstring_view name : names) {
            if (item) TreeView_Expand(tree.Tree(), item, TVE_EXPAND);
            item = Child(tree, item, name);
            if (!item) return nullptr;
        }
        return item;
    }
    HTREEITEM RevealLocal(std::initializer_list<std::wstring_view> below) {
        HTREEITEM item = Reveal(view->LocalTree(), {L"C:\\", std::wstring_view(local).substr(3)});
        for (const std::wstring_view name : below) {
            if (!item) return nullptr;
            TreeView_Expand(view->LocalTree().Tree(), item, TVE_EXPAND);
            item = Child(view->LocalTree(), item, name);
        }
        return item;
    }

    void Click(int id) { ::SendMessageW(view->Button(id), BM_CLICK, 0, 0); }
    // Add with the given selections; answers the add-job dialog with Backup and OK.
    void AddBackup(HTREEITEM source, HTREEITEM target) {
        TreeView_SelectItem(view->LocalTree().Tree(), source);
        TreeView_SelectItem(view->DeviceTree().Tree(), target);
        Answerer dialog(L"Add", [](HWND box) {
            ::SendMessageW(::GetDlgItem(box, IDC_BACKUP_TYPE), BM_CLICK, 0, 0);
            ::PostMessageW(box, WM_COMMAND, IDOK, 0);
        });
        Click(IDC_ADD_BUTTON);
        dialog.Join();
        ASSERT_TRUE(dialog.seen);
    }
    void AddJobs(int count) {
        for (int i = 0; i < count; ++i) {
            const std::wstring source = local + L"\\src" + std::to_wstring(i);
            ::CreateDirectoryW(source.c_str(), nullptr);
            WriteFile(source + L"\\file" + std::to_wstring(i) + L".txt", "job " + std::to_string(i));
            const std::wstring target = L"M:\\backup\\" + std::to_wstring(i);
            ::CreateDirectoryW(target.c_str(), nullptr);
            document->AddJob(source, target, JobType::Backup);
        }
    }

    testing_support::TempFolder settings;
    std::unique_ptr<CIniFile> ini;
    std::unique_ptr<CCopperfoldDoc> document;
    win32::UniqueHandle writeEvent;
    copperfold::Win32FileSystem fileSystem;
    std::wstring local;
    HWND host = nullptr;
    std::unique_ptr<CCopperfoldView> view;
};

}  // namespace view_testing
