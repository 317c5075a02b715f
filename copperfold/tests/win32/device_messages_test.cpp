// Dockline's messages to the main frame, sent for real to the frame's window: the copy-data
// record, the button (the jobs on the device's letters, one dialog, the resume message), the
// busy query and the volume messages; and records no honest sender would send.
#include <gtest/gtest.h>
#include <windows.h>

#include <cctype>
#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "common/core/device_table.h"
#include "common/core/ini_file.h"
#include "common/core/text_codec.h"
#include "common/win32/unique_handle.h"
#include "copperfold/win32/exec_dialog.h"
#include "common/tests/win32/component_registration.h"
#include "common/tests/win32/temp_folder.h"
#include "common/win32/system_info.h"
#include "copperfold/core/copperfold_doc.h"
#include "copperfold/win32/app_messages.h"
#include "copperfold/win32/copperfold_app.h"
#include "copperfold/win32/main_frame.h"
#include "copperfold/win32/run_log_file.h"
#include "copperfold/win32/copperfold_view.h"
#include "copperfold/win32/copperfold_view_resource.h"

namespace {

using testing_support::TempFolder;
using namespace std::chrono_literals;

void PumpMessages() {
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) continue;
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
}

// Counts the dialogs this thread opens (the progress dialog of a run).
class DialogCounter {
public:
    DialogCounter() { hook_ = ::SetWindowsHookExW(WH_CBT, &Procedure, nullptr, ::GetCurrentThreadId()); }
    ~DialogCounter() { ::UnhookWindowsHookEx(hook_); }
    static int Opened() { return opened_; }
    static void Reset() { opened_ = 0; }

private:
    static LRESULT CALLBACK Procedure(int code, WPARAM wParam, LPARAM lParam) {
        if (code == HCBT_CREATEWND) {
            const auto* create = reinterpret_cast<CBT_CREATEWNDW*>(lParam);
            const LPCWSTR name = create->lpcs->lpszClass;
            const bool dialogClass = IS_INTRESOURCE(name) ? reinterpret_cast<ULONG_PTR>(name) == 0x8002
                                                          : ::lstrcmpiW(name, L"#32770") == 0;
            if (dialogClass) ++opened_;
        }
        return ::CallNextHookEx(nullptr, code, wParam, lParam);
    }
    HHOOK hook_ = nullptr;
    static inline int opened_ = 0;
};

// The test's stand-in for Dockline: a window titled "Dockline" that counts the resume messages,
// and the sender of the copy-data records and follow-up messages.
class FakeDockline {
public:
    FakeDockline() {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = &Procedure;
        windowClass.hInstance = ::GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"FakeDocklineBar";
        ::RegisterClassW(&windowClass);
        window_ = ::CreateWindowExW(0, L"FakeDocklineBar", copperfold::kDocklineWindowTitle, WS_POPUP, 0, 0, 10, 10,
                                    nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr);
        resumes_ = 0;
    }
    ~FakeDockline() { ::DestroyWindow(window_); }
    HWND Handle() const { return window_; }
    static int Resumes() { return resumes_; }

    static void SendRecord(HWND frame, ULONG_PTR data, const void* bytes, DWORD size) {
        COPYDATASTRUCT copy{data, size, const_cast<void*>(bytes)};
        ::SendMessageW(frame, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&copy));
    }
    // The button press as Dockline hands it over; returns once the frame has handled it.
    static void Press(HWND frame, ULONG_PTR listIndex, const void* bytes, DWORD size) {
        SendRecord(frame, listIndex, bytes, size);
        ::PostMessageW(frame, copperfold::kButtonPressedMessage, 0, 0);
        PumpMessages();
    }

    // Called on each tick of a timer of this window while a run is open.
    std::function<void()> onTick;

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == copperfold::kButtonRunEndedMessage) {
            ++resumes_;
            return 0;
        }
        if (message == WM_TIMER) {
            auto* self = reinterpret_cast<FakeDockline*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
            if (self && self->onTick) self->onTick();
            return 0;
        }
        return ::DefWindowProcW(window, message, wParam, lParam);
    }
    HWND window_ = nullptr;
    static inline int resumes_ = 0;

public:
    void StartTicks(UINT periodMs) {
        ::SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        ::SetTimer(window_, 1, periodMs, nullptr);
    }
    void StopTicks() { ::KillTimer(window_, 1); }
};

common::DeviceTable OneEnclosure(const char* letters, std::uint8_t listIndex = 0) {
    common::DeviceTable table{};
    table.count = 1;
    auto& entry = table.entries[0];
    entry.listIndex = listIndex;
    entry.modelCode = 1;
    std::strcpy(entry.devicePath, "\\\\?\\scsi#disk&ven_tovi#1#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}");
    entry.driveLetterCount = static_cast<std::uint8_t>(std::strlen(letters));
    std::memcpy(entry.driveLetters, letters, entry.driveLetterCount);
    return table;
}

// A Copperfold started in a fresh folder with three jobs: a Backup and a Sync whose targets are
// on the temporary folder's drive, and a Backup whose target names the same drive in lower case
// (which no device letter matches).
class ButtonTrigger : public ::testing::Test {
protected:
    ButtonTrigger() {
        std::filesystem::copy_file(win32::SiblingPath(win32::ModulePath(), L"Copperfold.ini"),
                                   folder.File(L"Copperfold.ini"));
        drive = static_cast<char>(folder.Path()[0]);
        {
            CIniFile ini(folder.File(L"Copperfold.ini"));
            CCopperfoldDoc doc(&ini, MakeJobSection(win32::ComputerName(), win32::UserName()));
            doc.AddJob(MakeSource(L"src1"), folder.File(L"backup"), JobType::Backup);
            doc.AddJob(MakeSource(L"src2"), folder.File(L"sync"), JobType::Sync);
            std::wstring lower = folder.File(L"other");
            lower[0] = static_cast<wchar_t>(::towlower(lower[0]));
            doc.AddJob(MakeSource(L"src3"), lower, JobType::Backup);
        }
        ::DeleteFileW(copperfold::RunLogPath().c_str());
        app = std::make_unique<CCopperfoldApp>(folder.File(L"Copperfold.exe"));
        EXPECT_TRUE(app->InitInstance());
        frame = app->MainFrame()->Handle();
        DialogCounter::Reset();
    }
    std::string RunLog() const { return testing_support::ReadBytes(copperfold::RunLogPath()); }
    ~ButtonTrigger() override {
        app.reset();
        PumpMessages();
    }
    std::wstring MakeSource(const std::wstring& name) {
        const std::wstring path = folder.File(name);
        std::filesystem::create_directories(path);
        testing_support::WriteBytes(path + L"\\" + name + L".txt", "document");
        return path;
    }
    bool Copied(const std::wstring& target, const std::wstring& file) const {
        return std::filesystem::exists(folder.File(target) + L"\\" + file);
    }
    LRESULT BusyAnswer() const { return ::SendMessageW(frame, copperfold::kBusyQueryMessage, 0, 0); }

    TempFolder folder;
    char drive = 'C';
    DialogCounter dialogs;
    FakeDockline dockline;
    std::unique_ptr<CCopperfoldApp> app;
    HWND frame = nullptr;
};

TEST_F(ButtonTrigger, RunsTheJobsOnTheDevicesLettersInOneDialogAndResumesDockline) {
    ASSERT_TRUE(std::isupper(static_cast<unsigned char>(drive)));
    const std::string letters = std::string("Q") + drive;
    const auto table = OneEnclosure(letters.c_str());
    EXPECT_EQ(BusyAnswer(), 0) << "idle";
    FakeDockline::Press(frame, 0, &table, sizeof table);

    EXPECT_EQ(DialogCounter::Opened(), 1);
    EXPECT_TRUE(Copied(L"backup", L"src1\\src1.txt"));
    EXPECT_TRUE(Copied(L"sync", L"src2.txt"));
    EXPECT_TRUE(Copied(L"src2", L"src2.txt"));
    EXPECT_FALSE(std::filesystem::exists(folder.File(L"other"))) << "a lower-case drive in the target matches no letter";
    EXPECT_EQ(FakeDockline::Resumes(), 1);
    EXPECT_EQ(BusyAnswer(), 0);
    EXPECT_EQ(std::memcmp(&app->MainFrame()->Document().deviceTable, &table, sizeof table), 0)
        << "a changed device record replaces the document's table";
}

TEST_F(ButtonTrigger, APressWhileTheRunIsOpenIsIgnoredAndTheBusyQueryAnswersOne) {
    const std::string letters(1, drive);
    const auto table = OneEnclosure(letters.c_str());
    std::vector<LRESULT> busyDuringRun;
    int ticks = 0;
    dockline.onTick = [&] {
        if (++ticks == 1) {
            FakeDockline::SendRecord(frame, 0, &table, sizeof table);
            ::PostMessageW(frame, copperfold::kButtonPressedMessage, 0, 0);
        }
        busyDuringRun.push_back(BusyAnswer());
    };
    dockline.StartTicks(50);
    FakeDockline::Press(frame, 0, &table, sizeof table);
    dockline.StopTicks();

    ASSERT_GE(ticks, 2) << "the run stays open at least for its closing pause";
    EXPECT_EQ(busyDuringRun.front(), 1);
    EXPECT_EQ(DialogCounter::Opened(), 1) << "no second dialog";
    EXPECT_EQ(FakeDockline::Resumes(), 1) << "no second resume";
    EXPECT_EQ(BusyAnswer(), 0);
}

TEST_F(ButtonTrigger, ADeviceWhoseLettersStartNoJobStillResumesDockline) {
    const auto table = OneEnclosure("QR");
    FakeDockline::Press(frame, 0, &table, sizeof table);
    EXPECT_EQ(DialogCounter::Opened(), 0);
    EXPECT_EQ(FakeDockline::Resumes(), 1);
}

TEST_F(ButtonTrigger, HostileRecordsNeverReachPastTheirFields) {
    // Followed messages without any copy-data record before them: nothing happens.
    ::PostMessageW(frame, copperfold::kButtonPressedMessage, 0, 0);
    ::PostMessageW(frame, copperfold::kVolumesArrivedMessage, 1u << 4, 0);
    ::PostMessageW(frame, copperfold::kVolumesRemovedMessage, 1u << 4, 0);
    PumpMessages();
    EXPECT_EQ(FakeDockline::Resumes(), 0);
    EXPECT_EQ(app->MainFrame()->Document().deviceTable.count, 0);

    // A missing record and a record with a null payload.
    ::SendMessageW(frame, WM_COPYDATA, 0, 0);
    FakeDockline::Press(frame, 0, nullptr, sizeof(common::DeviceTable));
    EXPECT_EQ(FakeDockline::Resumes(), 1) << "an empty table: no job, still acknowledged";

    // Shorter than a table: what it lacks is zero.
    const std::uint8_t shortRecord[6] = {1, 0, 0, 0, 0, 0};
    FakeDockline::Press(frame, 0, shortRecord, sizeof shortRecord);
    EXPECT_EQ(FakeDockline::Resumes(), 2);

    // Longer than a table, every byte 0xFF: only the table's bytes are kept; the index 0xFF is
    // outside the table and the press is ignored.
    std::vector<std::uint8_t> longRecord(sizeof(common::DeviceTable) + 4096, 0xFF);
    FakeDockline::Press(frame, 0xFF, longRecord.data(), static_cast<DWORD>(longRecord.size()));
    EXPECT_EQ(FakeDockline::Resumes(), 2);
    auto table = OneEnclosure("Q");
    FakeDockline::Press(frame, 32, &table, sizeof table);
    EXPECT_EQ(FakeDockline::Resumes(), 2) << "record index 32 is ignored";
    EXPECT_EQ(DialogCounter::Opened(), 0);

    // A path without its NUL and a letter count beyond the field: only the field's 26 letters
    // count, and the jobs on the drive among them run.
    std::memset(table.entries[0].devicePath, 'p', sizeof table.entries[0].devicePath);
    table.entries[0].driveLetterCount = 200;
    std::memset(table.entries[0].driveLetters, drive, sizeof table.entries[0].driveLetters);
    table.count = 250;
    FakeDockline::Press(frame, 0, &table, sizeof table);
    EXPECT_EQ(DialogCounter::Opened(), 1);
    EXPECT_TRUE(Copied(L"backup", L"src1\\src1.txt"));
    EXPECT_EQ(FakeDockline::Resumes(), 3);
}

// With the device component there, a press is acknowledged on the device its record names; a
// record from another program that names a pipe (or a share, a file) instead gets its press
// handled, but the path is never opened for it.
class ButtonTriggerWithComponent : public ButtonTrigger {
protected:
    static void SetUpTestSuite() { ASSERT_EQ(win32_test::CallComponentRegistration("DllRegisterServer"), S_OK); }
};

TEST_F(ButtonTriggerWithComponent, APathARecordNamesIsOpenedOnlyWhenItIsADevicesInterface) {
    const std::wstring pipeName = L"\\\\.\\pipe\\copperfold-test-" + std::to_wstring(::GetCurrentProcessId());
    const win32::UniqueFile pipe(::CreateNamedPipeW(pipeName.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                                    PIPE_TYPE_BYTE, 4, 4096, 4096, 0, nullptr));
    ASSERT_TRUE(pipe);
    const win32::UniqueHandle connected(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    OVERLAPPED waiting{};
    waiting.hEvent = connected.get();
    ASSERT_FALSE(::ConnectNamedPipe(pipe.get(), &waiting));
    ASSERT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));

    auto table = OneEnclosure("QR");
    for (const std::wstring& path : {pipeName, L"\\\\?\\pipe\\copperfold-test-" + std::to_wstring(::GetCurrentProcessId())}) {
        std::memset(table.entries[0].devicePath, 0, sizeof table.entries[0].devicePath);
        const std::string narrow = common::WideToUtf8(path).value_or("");
        std::memcpy(table.entries[0].devicePath, narrow.data(), narrow.size());
        FakeDockline::Press(frame, 0, &table, sizeof table);
    }
    EXPECT_EQ(FakeDockline::Resumes(), 2) << "each press was handled";
    EXPECT_EQ(::WaitForSingleObject(connected.get(), 500), static_cast<DWORD>(WAIT_TIMEOUT))
        << "Copperfold opened the pipe a copy-data record named";
    ::CancelIo(pipe.get());
}

TEST_F(ButtonTrigger, VolumeMessagesReplaceTheTableAndReachTheView) {
    std::vector<std::pair<char, DWORD>> seen;
    app->MainFrame()->Devices().SetViewHooks({
        [&](DWORD mask) { seen.emplace_back('+', mask); },
        [&](DWORD mask) {
            seen.emplace_back('-', mask);
            EXPECT_EQ(app->MainFrame()->Document().deviceTable.count, 1) << "the view sees the table before the removal";
        },
        {},
        {},
    });
    const auto table = OneEnclosure("E");
    FakeDockline::SendRecord(frame, 1u << 4, &table, sizeof table);
    ::PostMessageW(frame, copperfold::kVolumesArrivedMessage, 1u << 4, 0);
    PumpMessages();
    EXPECT_EQ(std::memcmp(&app->MainFrame()->Document().deviceTable, &table, sizeof table), 0);

    const common::DeviceTable empty{};
    FakeDockline::SendRecord(frame, 1u << 4, &empty, sizeof empty);
    ::PostMessageW(frame, copperfold::kVolumesRemovedMessage, 1u << 4, 0);
    PumpMessages();
    EXPECT_EQ(app->MainFrame()->Document().deviceTable.count, 0);
    EXPECT_EQ(seen, (std::vector<std::pair<char, DWORD>>{{'+', 1u << 4}, {'-', 1u << 4}}));
}

HWND OpenDialogOfThisThread() {
    HWND found = nullptr;
    ::EnumThreadWindows(
        ::GetCurrentThreadId(),
        [](HWND window, LPARAM result) {
            wchar_t name[16] = {};
            ::GetClassNameW(window, name, 16);
            if (std::wstring(name) != L"#32770") return TRUE;
            *reinterpret_cast<HWND*>(result) = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

TEST_F(ButtonTrigger, EachButtonRunLeavesARecordInTheRunLog) {
    const std::string letters(1, drive);
    const auto table = OneEnclosure(letters.c_str());
    FakeDockline::Press(frame, 0, &table, sizeof table);
    std::string log = RunLog();
    ASSERT_NE(log.find("started by the enclosure's button\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("  Backup  " + common::WideToUtf8(folder.File(L"src1")).value() + " -> "), std::string::npos);
    EXPECT_NE(log.find("Result: done; 2 files copied, 16 bytes"), std::string::npos) << log;
    // Each job's own account under its line: one document each.
    const size_t backupLine = log.find("  Backup  ");
    const size_t syncLine = log.find("  Sync    ");
    ASSERT_NE(syncLine, std::string::npos) << log;
    EXPECT_EQ(log.find("\r\n          done; 1 files copied, 8 bytes, ", backupLine), log.find("\r\n", backupLine)) << log;
    EXPECT_EQ(log.find("\r\n          done; 1 files copied, 8 bytes, ", syncLine), log.find("\r\n", syncLine)) << log;
    EXPECT_EQ(log.find("Error:"), std::string::npos);

    // Failed: the backup's copy of src1.txt cannot replace a file another program holds open.
    // Nobody answers a box: the run goes on with the Sync and the failure is logged.
    testing_support::WriteBytes(folder.File(L"src1\\src1.txt"), "changed document");
    const win32::UniqueFile held(::CreateFileW(folder.File(L"backup\\src1\\src1.txt").c_str(), GENERIC_READ, 0,
                                               nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held);
    FakeDockline::Press(frame, 0, &table, sizeof table);
    log = RunLog();
    const size_t second = log.rfind("Run ");
    ASSERT_NE(second, 0u) << "two records";
    EXPECT_NE(log.find("Result: failed;", second), std::string::npos) << log;
    EXPECT_NE(log.find("\r\n          failed; 0 files copied, 0 bytes, ", second), std::string::npos)
        << "the Backup's own account says it failed: " << log;
    EXPECT_NE(log.find("\r\n          done; 0 files copied, 0 bytes, ", second), std::string::npos)
        << "the Sync after it found nothing to copy: " << log;
    EXPECT_NE(log.find("  Error: ", second), std::string::npos);
    EXPECT_NE(log.find("src1.txt", log.find("  Error: ", second)), std::string::npos) << "the error names the file";
    EXPECT_EQ(FakeDockline::Resumes(), 2) << "the failed run still ended with the resume message";
}

TEST_F(ButtonTrigger, ACancelledButtonRunIsLoggedAsCancelled) {
    for (int i = 0; i < 400; ++i) testing_support::WriteBytes(folder.File(L"src1\\many" + std::to_wstring(i) + L".txt"), "x");
    const std::string letters(1, drive);
    const auto table = OneEnclosure(letters.c_str());
    bool cancelled = false;
    dockline.onTick = [&] {
        if (cancelled) return;
        if (const HWND dialog = OpenDialogOfThisThread()) {
            ::PostMessageW(dialog, CExecDialog::kCancelRunMessage, 0, 0);
            cancelled = true;
        }
    };
    dockline.StartTicks(20);
    FakeDockline::Press(frame, 0, &table, sizeof table);
    dockline.StopTicks();
    ASSERT_TRUE(cancelled);
    EXPECT_NE(RunLog().find("Result: cancelled;"), std::string::npos) << RunLog();
    // The cancel may come while the run estimates (no job started: each "not run") or in a job
    // (that one "cancelled"); no job claims to be done.
    EXPECT_EQ(RunLog().find("          done;"), std::string::npos) << RunLog();
    EXPECT_TRUE(RunLog().find("          cancelled; ") != std::string::npos ||
                RunLog().find("          not run\r\n") != std::string::npos)
        << RunLog();
    EXPECT_EQ(FakeDockline::Resumes(), 1);
}

// Ticks the first row of the main window's job list and clicks Execute; returns when the run
// has ended.
void ExecuteFirstJob(CCopperfoldApp& app) {
    CCopperfoldView* view = app.MainFrame()->View();
    ASSERT_NE(view, nullptr);
    const HWND jobs = view->JobList().Tree();
    TreeView_SetCheckState(jobs, TreeView_GetRoot(jobs), TRUE);
    ::SendMessageW(view->Button(IDC_EXECUTE_BUTTON), BM_CLICK, 0, 0);
}

// A press during a run of the Execute command used to start a second run beside it.
TEST_F(ButtonTrigger, APressDuringAnExecuteRunRunsNothingAndDocklineResumesWhenTheRunEnds) {
    const std::string letters(1, drive);
    const auto table = OneEnclosure(letters.c_str());
    int ticks = 0;
    int resumesDuringRun = -1;
    dockline.onTick = [&] {
        if (!OpenDialogOfThisThread()) return;
        if (++ticks == 1) {
            FakeDockline::SendRecord(frame, 0, &table, sizeof table);
            ::PostMessageW(frame, copperfold::kButtonPressedMessage, 0, 0);
        }
        resumesDuringRun = FakeDockline::Resumes();
        // (Not the busy query: it would ask the Execute run to stop, as Dockline's shut-down does.)
        EXPECT_TRUE(app->MainFrame()->Devices().RunInProgress());
    };
    dockline.StartTicks(50);
    ExecuteFirstJob(*app);
    dockline.StopTicks();

    ASSERT_GE(ticks, 2) << "the press came while the run was open";
    EXPECT_EQ(DialogCounter::Opened(), 1) << "no second run beside the first";
    EXPECT_TRUE(Copied(L"backup", L"src1\\src1.txt")) << "the Execute run did its job";
    EXPECT_FALSE(std::filesystem::exists(folder.File(L"sync"))) << "the button's jobs did not run";
    EXPECT_EQ(resumesDuringRun, 0) << "Dockline waits while the run goes on";
    EXPECT_EQ(FakeDockline::Resumes(), 1) << "and polls again once it has ended";
    EXPECT_EQ(BusyAnswer(), 0);

    // The next press runs the device's jobs as usual.
    FakeDockline::Press(frame, 0, &table, sizeof table);
    EXPECT_EQ(DialogCounter::Opened(), 2);
    EXPECT_TRUE(Copied(L"sync", L"src2.txt"));
    EXPECT_EQ(FakeDockline::Resumes(), 2);
}

// While another process runs jobs (a scheduled /run holds the run mutex), the window's runs are
// turned away at once: nobody waits, nothing is written twice.
TEST_F(ButtonTrigger, RunsOfTheWindowGiveWayToARunOfAnotherProcess) {
    win32::UniqueHandle taken(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    win32::UniqueHandle done(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::thread otherRun([&] {
        // A mutex belongs to a thread: held here, the test's own thread cannot take it either.
        win32::UniqueHandle mutex(::CreateMutexW(nullptr, FALSE, copperfold::kRunMutexName));
        ::WaitForSingleObject(mutex.get(), 5000);
        ::SetEvent(taken.get());
        ::WaitForSingleObject(done.get(), 30000);
        ::ReleaseMutex(mutex.get());
    });
    ASSERT_EQ(::WaitForSingleObject(taken.get(), 5000), WAIT_OBJECT_0);

    const std::string letters(1, drive);
    const auto table = OneEnclosure(letters.c_str());
    FakeDockline::Press(frame, 0, &table, sizeof table);
    EXPECT_EQ(DialogCounter::Opened(), 0);
    EXPECT_FALSE(std::filesystem::exists(folder.File(L"backup")));
    EXPECT_EQ(FakeDockline::Resumes(), 1) << "acknowledged at once, Dockline polls again";
    EXPECT_NE(RunLog().find("Another Copperfold run"), std::string::npos) << RunLog();
    EXPECT_NE(RunLog().find("Result: failed;"), std::string::npos) << RunLog();

    // Execute says why in a box (answered here) and runs nothing.
    std::atomic<bool> boxSeen{false};
    std::thread answer([&] {
        for (int i = 0; i < 500 && !boxSeen; ++i) {
            if (const HWND box = ::FindWindowW(L"#32770", L"Error Message")) {
                boxSeen = true;
                ::PostMessageW(box, WM_COMMAND, IDOK, 0);
            }
            std::this_thread::sleep_for(10ms);
        }
    });
    ExecuteFirstJob(*app);
    answer.join();
    EXPECT_TRUE(boxSeen);
    EXPECT_FALSE(std::filesystem::exists(folder.File(L"backup")));

    ::SetEvent(done.get());
    otherRun.join();
    FakeDockline::Press(frame, 0, &table, sizeof table);
    EXPECT_TRUE(Copied(L"backup", L"src1\\src1.txt")) << "once the other run has ended, a press runs the jobs";
}

}  // namespace
