// The run dialog under its real modal loop: the test thread runs it while a helper thread plays
// the user (and the main frame), over an in-memory file system whose copies are slow and can be
// held halfway, so each step happens while a copy is known to be in progress.
#include "copperfold/win32/exec_dialog.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "copperfold/core/forwarding_file_system.h"
#include "copperfold/tests/memory_file_system.h"
#include "copperfold/win32/exec_dialog_resource.h"
#include "dialog_answer.h"
#include "key_input.h"

namespace {

using namespace std::chrono_literals;
using testing_support::WaitFor;
using Clock = std::chrono::steady_clock;

constexpr wchar_t kQuestionCaption[] = L"Question";

std::wstring French(std::wstring_view english, std::wstring_view fallback) {
    static const std::map<std::wstring_view, std::wstring_view> texts = {
        {L"Backup", L"Sauvegarde"}, {L"Sync", L"Synchronisation"}, {L"Restore", L"Restauration"},
        {L"&Cancel", L"&Annuler"},  {L"Prompt Message", kQuestionCaption},
        {L"Do you really want to cancel copy task?", L"Voulez-vous vraiment arrêter la copie ?"},
        {L"Copy:", L"Copie :"}, {L"To:", L"Vers :"}};
    const auto it = texts.find(english);
    return std::wstring(it == texts.end() ? fallback : it->second);
}

// Copies take chunksPerFile chunks with a short sleep each. A copy of the file named `holdName`
// stops halfway until Release() or the cancel flag; a copy of `failName` fails with error 5.
class SlowFileSystem final : public copperfold::ForwardingFileSystem {
public:
    SlowFileSystem() : ForwardingFileSystem(tree) {}

    std::uint32_t CopyWithProgress(const std::wstring& from, const std::wstring& to,
                                   const copperfold::CopyProgress& progress, const std::atomic<int>& cancel) override {
        if (onCopy) onCopy(from);
        const std::wstring name = from.substr(from.rfind(L'\\') + 1);
        if (name == failName) return ERROR_ACCESS_DENIED;
        const std::uint64_t size = tree.Find(from)->content.size();
        progress(size, 0, copperfold::CopyProgressReason::StreamSwitch);
        for (int chunk = 1; chunk <= kChunksPerFile; ++chunk) {
            if (chunk == kChunksPerFile / 2 && name == holdName) Hold(cancel);
            if (cancel.load() != 0) return copperfold::kErrorRequestAborted;
            std::this_thread::sleep_for(2ms);
            if (!progress(size, size * chunk / kChunksPerFile, copperfold::CopyProgressReason::ChunkFinished)) {
                return copperfold::kErrorRequestAborted;
            }
        }
        return tree.CopyWithProgress(from, to, [](auto...) { return true; }, cancel);  // records the copy
    }
    void Release() { released = true; }

    static constexpr int kChunksPerFile = 40;
    testing_support::MemoryFileSystem tree;  // touched by the worker only while a run goes on
    std::wstring holdName;
    std::wstring failName;
    std::function<void(const std::wstring& from)> onCopy;  // on the worker, as each copy starts
    std::atomic<bool> holding{false};

private:
    void Hold(const std::atomic<int>& cancel) {
        holding = true;
        while (!released.load() && cancel.load() == 0) std::this_thread::sleep_for(1ms);
        holding = false;
    }
    std::atomic<bool> released{false};
};

std::wstring Text(HWND window) {
    wchar_t text[512] = {};
    ::GetWindowTextW(window, text, 512);
    return text;
}

HWND VisibleBox(const wchar_t* caption) {
    const HWND box = ::FindWindowW(L"#32770", caption);
    return box && ::IsWindowVisible(box) ? box : nullptr;
}

HWND WaitForBox(const wchar_t* caption) {
    HWND box = nullptr;
    WaitFor([&] { return (box = VisibleBox(caption)) != nullptr; });
    return box;
}

// The message text of a message box: its static control that is not the icon.
std::wstring BoxText(HWND box) {
    std::wstring found;
    for (HWND child = ::GetWindow(box, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        wchar_t className[32] = {};
        ::GetClassNameW(child, className, 32);
        if (std::wstring(className) == L"Static" && !Text(child).empty()) found = Text(child);
    }
    return found;
}

void Click(HWND button) { ::PostMessageW(button, BM_CLICK, 0, 0); }

class ExecDialogTest : public ::testing::Test {
protected:
    ExecDialogTest() {
        files.tree.AddFile(L"C:\\Data\\Photos\\big.bin", std::string(40000, 'b'));
        files.tree.AddFile(L"C:\\Data\\Photos\\small.txt", std::string(400, 's'));
        files.tree.AddFolder(L"E:\\Backup");
    }

    static copperfold::JobBatch Batch(std::initializer_list<JobRecord> jobs) {
        copperfold::JobBatch batch;
        for (const JobRecord& job : jobs) batch.entries[batch.count++] = job;
        return batch;
    }
    static JobRecord PhotoBackup() { return {L"C:\\Data\\Photos", L"E:\\Backup", JobType::Backup, {}}; }
    bool Copied(const std::wstring& path) const { return files.tree.Find(path) != nullptr; }

    // Runs the dialog modally on this thread while `drive` acts on its window from another.
    INT_PTR Run(const copperfold::JobBatch& batch, const std::function<void(HWND)>& drive) {
        dialog.SetBatch(&batch);
        const DWORD uiThread = ::GetCurrentThreadId();
        std::thread helper([&] {
            HWND window = nullptr;
            if (WaitFor([&] { return (window = RunWindow(uiThread)) != nullptr; })) {
                drive(window);
            } else {
                ADD_FAILURE() << "the run dialog never showed";
            }
        });
        const INT_PTR result = dialog.DoModal(nullptr);
        helper.join();
        return result;
    }

    static HWND RunWindow(DWORD uiThread) {
        HWND found = nullptr;
        ::EnumThreadWindows(
            uiThread,
            [](HWND window, LPARAM result) {
                if (!::IsWindowVisible(window) || !::GetDlgItem(window, IDC_PROGRESS)) return TRUE;
                *reinterpret_cast<HWND*>(result) = window;
                return FALSE;
            },
            reinterpret_cast<LPARAM>(&found));
        return found;
    }

    SlowFileSystem files;
    CExecDialog dialog{&French, files};
};

TEST_F(ExecDialogTest, CancelAnsweredNoAndEnterLeaveTheRunGoing) {
    files.holdName = L"big.bin";
    int resetDuringCopies = 0;
    LRESULT barAfterBigFile = -1;
    files.onCopy = [&](const std::wstring& from) {
        resetDuringCopies += ::WaitForSingleObject(dialog.CopyFileEvent(), 0) == WAIT_TIMEOUT;
        if (from.ends_with(L"small.txt")) {
            // The worker sends the bar nothing: the dialog's timer shows what it published.
            WaitFor([&] {
                barAfterBigFile = ::SendDlgItemMessageW(dialog.Handle(), IDC_PROGRESS, PBM_GETPOS, 0, 0);
                return barAfterBigFile == 40000 * 200 / 40400;
            }, 2s);
        }
    };
    ASSERT_EQ(::WaitForSingleObject(dialog.CopyFileEvent(), 0), WAIT_OBJECT_0) << "created signalled";
    const auto batch = Batch({PhotoBackup()});
    const INT_PTR result = Run(batch, [&](HWND window) {
        ASSERT_TRUE(WaitFor([&] { return files.holding.load(); }));
        EXPECT_EQ(Text(::GetDlgItem(window, IDCANCEL)), L"&Annuler");
        EXPECT_TRUE(WaitFor([&] { return Text(::GetDlgItem(window, IDC_PATH_LINE1)).ends_with(L"big.bin"); }, 2s))
            << "the timer shows the path lines of the file being copied";
        EXPECT_TRUE(Text(::GetDlgItem(window, IDC_PATH_LINE1)).starts_with(L"Copie : "))
            << "in the run's language";
        EXPECT_TRUE(Text(::GetDlgItem(window, IDC_PATH_LINE2)).starts_with(L"Vers : "));
        ::PostMessageW(window, WM_COMMAND, IDOK, 0);
        Click(::GetDlgItem(window, IDCANCEL));
        const HWND box = WaitForBox(kQuestionCaption);
        ASSERT_TRUE(box);
        EXPECT_EQ(BoxText(box), L"Voulez-vous vraiment arrêter la copie ?");
        EXPECT_TRUE(::GetDlgItem(box, IDYES));
        Click(::GetDlgItem(box, IDNO));
        EXPECT_TRUE(WaitFor([] { return !VisibleBox(kQuestionCaption); }));
        EXPECT_TRUE(::IsWindowVisible(window)) << "Enter and No leave the dialog open";
        files.Release();
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(dialog.Counters().cancelFlag.load(), 0);
    EXPECT_TRUE(Copied(L"E:\\Backup\\Photos\\big.bin"));
    EXPECT_TRUE(Copied(L"E:\\Backup\\Photos\\small.txt"));
    EXPECT_EQ(dialog.Counters().bytesDone.load(), 40400u);
    EXPECT_EQ(barAfterBigFile, 40000 * 200 / 40400);
    EXPECT_EQ(resetDuringCopies, 2) << "CopyFileEvent is reset while a file is copied";
    EXPECT_EQ(::WaitForSingleObject(dialog.CopyFileEvent(), 0), WAIT_OBJECT_0);
}

TEST_F(ExecDialogTest, CancelAnsweredYesStopsTheCopyWithoutErrorOrPause) {
    files.holdName = L"big.bin";
    bool errorShown = false;
    std::chrono::milliseconds stopTime{};
    const auto batch = Batch({PhotoBackup()});
    const INT_PTR result = Run(batch, [&](HWND window) {
        ASSERT_TRUE(WaitFor([&] { return files.holding.load(); }));
        Click(::GetDlgItem(window, IDCANCEL));
        const HWND box = WaitForBox(kQuestionCaption);
        ASSERT_TRUE(box);
        const auto clicked = Clock::now();
        Click(::GetDlgItem(box, IDYES));
        EXPECT_TRUE(WaitFor([&] {
            errorShown |= VisibleBox(L"Error") != nullptr;
            return !dialog.IsRunning();
        }));
        stopTime = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - clicked);
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(dialog.Counters().cancelFlag.load(), 1);
    EXPECT_FALSE(Copied(L"E:\\Backup\\Photos\\big.bin"));
    EXPECT_FALSE(Copied(L"E:\\Backup\\Photos\\small.txt"));
    EXPECT_FALSE(errorShown) << "a cancelled copy is no error";
    EXPECT_LT(stopTime, 400ms) << "a cancelled run ends without the finishing pause";
    EXPECT_EQ(::WaitForSingleObject(dialog.CopyFileEvent(), 0), WAIT_OBJECT_0);
}

TEST_F(ExecDialogTest, EscapeAsksAndTheQuestionIsAnsweredFromTheKeyboard) {
    using testing_support::PressKey;
    files.holdName = L"big.bin";
    const auto batch = Batch({PhotoBackup()});
    bool stillOpenAfterNo = false;
    const INT_PTR result = Run(batch, [&](HWND window) {
        ASSERT_TRUE(WaitFor([&] { return files.holding.load(); }));
        ASSERT_TRUE(WaitFor([&] { return ::GetForegroundWindow() == window; }));
        PressKey(VK_ESCAPE);
        HWND box = WaitForBox(kQuestionCaption);
        ASSERT_TRUE(box);
        ASSERT_TRUE(WaitFor([&] { return ::GetForegroundWindow() == box; }));
        PressKey('N');
        EXPECT_TRUE(WaitFor([] { return !VisibleBox(kQuestionCaption); }));
        stillOpenAfterNo = ::IsWindowVisible(window) && dialog.IsRunning();
        ASSERT_TRUE(WaitFor([&] { return ::GetForegroundWindow() == window; }));
        PressKey(VK_ESCAPE);
        box = WaitForBox(kQuestionCaption);
        ASSERT_TRUE(box);
        ASSERT_TRUE(WaitFor([&] { return ::GetForegroundWindow() == box; }));
        PressKey('Y');
        EXPECT_TRUE(WaitFor([&] { return !dialog.IsRunning(); }));
    });
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(stillOpenAfterNo) << "No leaves the run going";
    EXPECT_EQ(dialog.Counters().cancelFlag.load(), 1);
    EXPECT_FALSE(Copied(L"E:\\Backup\\Photos\\big.bin"));
}

TEST_F(ExecDialogTest, FrameMessageStopsWithoutAQuestionAndTheDialogRunsAgain) {
    files.holdName = L"big.bin";
    const auto batch = Batch({PhotoBackup()});
    bool asked = false;
    EXPECT_EQ(Run(batch,
                  [&](HWND window) {
                      ASSERT_TRUE(WaitFor([&] { return files.holding.load(); }));
                      EXPECT_EQ(::SendMessageW(window, CExecDialog::kCancelRunMessage, 0, 0), 0);
                      WaitFor([&] {
                          asked |= VisibleBox(kQuestionCaption) != nullptr;
                          return !dialog.IsRunning();
                      });
                  }),
              0);
    EXPECT_FALSE(asked);
    EXPECT_FALSE(Copied(L"E:\\Backup\\Photos\\big.bin"));

    // The same object again: a fresh run, not born cancelled, that counts from zero.
    files.holdName.clear();
    EXPECT_EQ(Run(batch, [](HWND) {}), 0);
    EXPECT_EQ(dialog.Counters().cancelFlag.load(), 0);
    EXPECT_EQ(dialog.Counters().bytesDone.load(), 40400u);
    EXPECT_TRUE(Copied(L"E:\\Backup\\Photos\\big.bin"));
    EXPECT_TRUE(Copied(L"E:\\Backup\\Photos\\small.txt"));
}

TEST_F(ExecDialogTest, CaptionShowsEachJobsTranslatedTypeAndTheTotalAllTheirBytes) {
    files.tree.AddFile(L"E:\\Archive\\old.doc", std::string(3000, 'o'));
    files.tree.AddFile(L"C:\\Mail\\inbox.mbx", std::string(5000, 'm'));
    files.tree.AddFolder(L"E:\\Mail");
    std::map<std::wstring, std::wstring> captions;  // per copied file
    std::wstring total;
    files.onCopy = [&](const std::wstring& from) {
        captions[from.substr(from.rfind(L'\\') + 1)] = Text(dialog.Handle());
        total = Text(::GetDlgItem(dialog.Handle(), IDC_TOTAL_LABEL));
    };
    const auto batch = Batch({PhotoBackup(),
                              {L"C:\\Restored", L"E:\\Archive", JobType::Restore, {}},
                              {L"C:\\Mail", L"E:\\Mail", JobType::Sync, {}}});
    EXPECT_EQ(Run(batch, [](HWND) {}), 0);
    EXPECT_EQ(captions[L"big.bin"], L"Sauvegarde");
    EXPECT_EQ(captions[L"small.txt"], L"Sauvegarde");
    EXPECT_EQ(captions[L"old.doc"], L"Restauration");
    EXPECT_EQ(captions[L"inbox.mbx"], L"Synchronisation");
    EXPECT_EQ(total, copperfold::FormatSize(40400 + 3000 + 5000));
}

TEST_F(ExecDialogTest, TextsTheLanguageLacksShowInEnglish) {
    CExecDialog untranslated([](std::wstring_view, std::wstring_view fallback) { return std::wstring(fallback); },
                             files);
    std::wstring caption;
    std::wstring cancel;
    files.onCopy = [&](const std::wstring&) {
        caption = Text(untranslated.Handle());
        cancel = Text(::GetDlgItem(untranslated.Handle(), IDCANCEL));
    };
    const auto batch = Batch({{L"C:\\Data\\Photos", L"E:\\Backup", JobType::Sync, {}}});
    untranslated.SetBatch(&batch);
    EXPECT_EQ(untranslated.DoModal(nullptr), 0);
    EXPECT_EQ(caption, L"Sync");
    EXPECT_EQ(cancel, L"&Cancel");
}

TEST_F(ExecDialogTest, EmptyBatchShowsAZeroTotalAndCloses) {
    const auto batch = Batch({});
    std::wstring zero;
    std::wstring total;
    EXPECT_EQ(Run(batch,
                  [&](HWND window) {
                      WaitFor([&] { return !(zero = Text(::GetDlgItem(window, IDC_ZERO_LABEL))).empty(); });
                      WaitFor([&] { return !(total = Text(::GetDlgItem(window, IDC_TOTAL_LABEL))).empty(); });
                  }),
              0);
    EXPECT_EQ(zero, L"0");
    EXPECT_EQ(total, L"0 ");
}

TEST_F(ExecDialogTest, RefusedJobAndCopyErrorAreShownInBoxesOwnedByTheDialog) {
    files.failName = L"big.bin";
    const JobRecord mirror{L"C:\\A", L"E:\\B", JobType::Unknown, L"Mirror"};
    std::wstring refusal;
    std::wstring captionWhileRefused;
    std::wstring error;
    bool ownedByDialog = false;
    const auto batch = Batch({mirror, PhotoBackup()});
    EXPECT_EQ(Run(batch,
                  [&](HWND window) {
                      const HWND refused = WaitForBox(kQuestionCaption);
                      ASSERT_TRUE(refused);
                      refusal = BoxText(refused);
                      captionWhileRefused = Text(window);
                      Click(::GetDlgItem(refused, IDOK));
                      const HWND box = WaitForBox(L"Error");
                      ASSERT_TRUE(box);
                      error = BoxText(box);
                      ownedByDialog = ::GetWindow(box, GW_OWNER) == window;
                      Click(::GetDlgItem(box, IDOK));
                  }),
              0);
    EXPECT_EQ(refusal, std::wstring(copperfold::JobRefusalReason(mirror)) + L"\nC:\\A\nE:\\B");
    EXPECT_EQ(captionWhileRefused, L"Mirror") << "an unknown type shows its stored name";
    EXPECT_TRUE(error.starts_with(L" Error No:5\n")) << error;
    EXPECT_GT(error.size(), std::wstring(L" Error No:5\n").size()) << "the system's text follows";
    EXPECT_TRUE(ownedByDialog);
    EXPECT_EQ(dialog.Counters().cancelFlag.load(), 1) << "a failed copy ends the run";
    EXPECT_FALSE(Copied(L"E:\\Backup\\Photos\\small.txt"));
}

// Colours of a grid of points of a window as the screen shows them.
std::vector<COLORREF> Sample(HWND window) {
    struct WindowDc {
        HWND window;
        HDC dc;
        ~WindowDc() { ::ReleaseDC(window, dc); }
    } screen{window, ::GetDC(window)};
    std::vector<COLORREF> colours;
    for (int y = 1; y < 36; y += 3) {
        for (int x = 1; x < 276; x += 3) colours.push_back(::GetPixel(screen.dc, x, y));
    }
    return colours;
}

TEST(ExecDialogResources, BusyAnimationsOpenAndMove) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_ANIMATE_CLASS};
    ::InitCommonControlsEx(&controls);
    const HWND parent = ::CreateWindowExW(0, L"Static", L"", WS_POPUP | WS_VISIBLE, 0, 0, 300, 60, nullptr,
                                          nullptr, nullptr, nullptr);
    ASSERT_TRUE(parent);
    const HWND animation = ::CreateWindowExW(0, ANIMATE_CLASSW, L"", WS_CHILD | WS_VISIBLE, 0, 0, 276, 36, parent,
                                             nullptr, nullptr, nullptr);
    ASSERT_TRUE(animation);
    const auto module = reinterpret_cast<WPARAM>(::GetModuleHandleW(nullptr));
    for (const int video : {IDR_AVI_ESTIMATING, IDR_AVI_COPYING}) {
        EXPECT_TRUE(::SendMessageW(animation, ACM_OPENW, module, reinterpret_cast<LPARAM>(MAKEINTRESOURCEW(video))))
            << video;
        EXPECT_TRUE(::SendMessageW(animation, ACM_PLAY, static_cast<WPARAM>(-1), MAKELPARAM(0, 0xFFFF))) << video;
        std::vector<COLORREF> first;
        EXPECT_TRUE(WaitFor([&] {  // a frame is drawn
            first = Sample(animation);
            return std::count(first.begin(), first.end(), first.front()) != std::ssize(first);
        })) << video;
        EXPECT_TRUE(WaitFor([&] { return Sample(animation) != first; })) << video << ": the frames change";
        ::SendMessageW(animation, ACM_STOP, 0, 0);
        ::SendMessageW(animation, ACM_OPENW, 0, 0);
    }
    ::DestroyWindow(parent);
}

}  // namespace
