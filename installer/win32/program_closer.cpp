#include "program_closer.h"

#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <optional>
#include <string_view>
#include <vector>

#include "common/core/case_fold.h"
#include "common/win32/unique_handle.h"

namespace installer {
namespace {

using Clock = std::chrono::steady_clock;

constexpr UINT kBusyQueryMessage = WM_USER + 6;  // 0x0406: Copperfold answers 1 while a run is in progress
constexpr UINT kAnswerLimitMs = 5000;            // a window that takes longer is hung
constexpr DWORD kPollMs = 200;
// How long an idle program may take to end once its window was closed.
constexpr std::chrono::seconds kCloseGrace{20};

enum class Program { Copperfold, Dockline };

struct RunningProgram {
    Program program;
    DWORD id = 0;
    win32::UniqueHandle process;  // to wait for its end
    HWND window = nullptr;        // the window to close, once the program is idle
    std::optional<DWORD> session;  // none when the system does not tell
};

std::wstring ImagePath(HANDLE process) {
    std::wstring path(32768, L'\0');
    DWORD length = static_cast<DWORD>(path.size());
    if (!::QueryFullProcessImageNameW(process, 0, path.data(), &length)) return {};
    path.resize(length);
    return path;
}

std::wstring WithBackslash(std::wstring folder) {
    if (!folder.empty() && folder.back() != L'\\') folder += L'\\';
    return folder;
}

// The suite's programs started from `folder`, each with a handle to wait on.
std::vector<RunningProgram> FindRunningPrograms(const std::wstring& folder) {
    std::vector<RunningProgram> found;
    const win32::UniqueFile snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return found;
    const std::wstring copperfold = WithBackslash(folder) + L"Copperfold.exe";
    const std::wstring dockline = WithBackslash(folder) + L"Dockline.exe";
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more; more = ::Process32NextW(snapshot.get(), &entry)) {
        if (entry.th32ProcessID == ::GetCurrentProcessId()) continue;
        win32::UniqueHandle process(
            ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, entry.th32ProcessID));
        if (!process) continue;
        const std::wstring image = ImagePath(process.get());
        DWORD sessionId = 0;
        std::optional<DWORD> session;
        if (::ProcessIdToSessionId(entry.th32ProcessID, &sessionId)) session = sessionId;
        if (common::EqualsIgnoreCase(image, copperfold)) {
            found.push_back({Program::Copperfold, entry.th32ProcessID, std::move(process), nullptr, session});
        } else if (common::EqualsIgnoreCase(image, dockline)) {
            found.push_back({Program::Dockline, entry.th32ProcessID, std::move(process), nullptr, session});
        }
    }
    return found;
}

struct WindowSearch {
    DWORD processId;
    std::wstring_view title;
    HWND found = nullptr;
};

// The top-level window of the process with exactly this title (hidden ones included: a program
// in the notification area keeps its window hidden).
HWND FindProcessWindow(DWORD processId, std::wstring_view title) {
    WindowSearch search{processId, title};
    ::EnumWindows(
        [](HWND window, LPARAM context) -> BOOL {
            auto& wanted = *reinterpret_cast<WindowSearch*>(context);
            DWORD owner = 0;
            ::GetWindowThreadProcessId(window, &owner);
            if (owner != wanted.processId) return TRUE;
            wchar_t text[64] = {};
            const int length = ::GetWindowTextW(window, text, 64);
            if (std::wstring_view(text, static_cast<size_t>(std::max(length, 0))) != wanted.title) return TRUE;
            wanted.found = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// "DOMAIN\user" of the process, or nothing when the system does not say.
std::wstring ProcessUser(HANDLE process) {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(process, TOKEN_QUERY, &token)) return {};
    const win32::UniqueHandle owned(token);
    DWORD size = 0;
    ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<BYTE> buffer(size);
    if (size == 0 || !::GetTokenInformation(token, TokenUser, buffer.data(), size, &size)) return {};
    const PSID sid = reinterpret_cast<const TOKEN_USER*>(buffer.data())->User.Sid;
    wchar_t name[256] = {};
    wchar_t domain[256] = {};
    DWORD nameLength = 256;
    DWORD domainLength = 256;
    SID_NAME_USE use{};
    if (!::LookupAccountSidW(nullptr, sid, name, &nameLength, domain, &domainLength, &use)) return {};
    return domainLength > 0 ? std::wstring(domain) + L"\\" + name : std::wstring(name);
}

// "Dockline (process 1234) runs in the session of user VM\bob (session 2): setup cannot ...".
std::wstring InAnotherSessionText(const RunningProgram& program) {
    const std::wstring name = program.program == Program::Copperfold ? L"Copperfold" : L"Dockline";
    const std::wstring user = ProcessUser(program.process.get());
    const std::wstring session = L"session " + std::to_wstring(program.session.value_or(0));
    return name + L" (process " + std::to_wstring(program.id) + L") runs in " +
           (user.empty() ? session : L"the session of user " + user + L" (" + session + L")") +
           L": setup cannot close it from here. Close it there, or sign that user out, and try again.";
}

bool HasEnded(const RunningProgram& program) {
    return ::WaitForSingleObject(program.process.get(), 0) == WAIT_OBJECT_0;
}

DWORD MillisecondsLeft(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<DWORD>(left) : 0;
}

// Asks Copperfold's window until it is idle. A view run is told to stop by the question itself;
// a run of the enclosure's button goes on to its end. False when the time ran out first.
bool WaitUntilIdle(HWND window, Clock::time_point deadline, const CloseRequest& request) {
    bool told = false;
    for (;;) {
        DWORD_PTR busy = 0;
        const LRESULT answered =
            ::SendMessageTimeoutW(window, kBusyQueryMessage, 0, 0, SMTO_ABORTIFHUNG, kAnswerLimitMs, &busy);
        if (answered == 0 || busy == 0) return true;  // idle, gone, or hung: WM_CLOSE is all that is left
        if (!told) {
            request.say(L"Copperfold is finishing a backup run; setup waits until it ends.");
            told = true;
        }
        if (MillisecondsLeft(deadline) == 0) return false;
        ::Sleep(kPollMs);
    }
}

}  // namespace

unsigned long CurrentSession() {
    DWORD session = 0;
    ::ProcessIdToSessionId(::GetCurrentProcessId(), &session);
    return session;
}

CloseResult CloseSuitePrograms(const CloseRequest& request) {
    const Clock::time_point busyDeadline = Clock::now() + request.limit;
    std::vector<RunningProgram> running = FindRunningPrograms(request.folder);

    // What runs in another session has no window here to ask or close (a Copperfold there would
    // look like a run from the command line and be waited for in vain): it is only named.
    bool elsewhere = false;
    for (const RunningProgram& program : running) {
        if (!program.session || *program.session == request.session || HasEnded(program)) continue;
        request.say(InAnotherSessionText(program));
        elsewhere = true;
    }
    if (elsewhere) return CloseResult::InAnotherSession;

    // First every run has to end, before anything is closed: a setup that gives up leaves the
    // user's programs as they were. A window is asked with the busy query; a Copperfold without
    // its window runs jobs from the command line, and its run dialog would take the query for
    // "cancel", so it is only waited for.
    bool toldAboutCommandLineRun = false;
    for (RunningProgram& program : running) {
        if (program.program != Program::Copperfold || HasEnded(program)) continue;
        if (const HWND window = FindProcessWindow(program.id, L"Copperfold")) {
            if (!WaitUntilIdle(window, busyDeadline, request)) return CloseResult::StillBusy;
            program.window = window;
            continue;
        }
        if (!toldAboutCommandLineRun) {
            request.say(L"Copperfold is running jobs from the command line; setup waits until the run ends.");
            toldAboutCommandLineRun = true;
        }
        if (::WaitForSingleObject(program.process.get(), MillisecondsLeft(busyDeadline)) != WAIT_OBJECT_0) {
            return CloseResult::StillBusy;
        }
    }

    // Then the windows are closed, Copperfold's first: Dockline, when it ends, asks Copperfold
    // the busy query without a limit of its own.
    for (RunningProgram& program : running) {
        if (program.program == Program::Dockline && !HasEnded(program)) {
            program.window = FindProcessWindow(program.id, L"Dockline");
        }
    }
    for (const Program kind : {Program::Copperfold, Program::Dockline}) {
        for (const RunningProgram& program : running) {
            if (program.program != kind || !program.window || HasEnded(program)) continue;
            request.say(kind == Program::Copperfold ? L"Closing Copperfold." : L"Closing Dockline.");
            ::PostMessageW(program.window, WM_CLOSE, 0, 0);
        }
    }
    const Clock::time_point closeDeadline = Clock::now() + kCloseGrace;
    for (const RunningProgram& program : running) {
        if (::WaitForSingleObject(program.process.get(), MillisecondsLeft(closeDeadline)) != WAIT_OBJECT_0) {
            return CloseResult::NotEnding;
        }
    }
    return CloseResult::Closed;
}

}  // namespace installer
