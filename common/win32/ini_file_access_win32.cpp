// The platform's file calls behind CIniFile: whole-file reads, and replacement through a
// hidden temporary file in the same folder, flushed, then renamed over the old file (one
// atomic rename on the same volume). The platform's own ReplaceFile is not used: it is not
// atomic under every implementation of the platform.
//
// The update lock is a hidden file beside the settings file ("Copperfold.ini.lock"), held open
// without sharing and deleted when closed: a process that ends, however it ends, lets go of it.
// A file and not a named object, so that every process that may write the settings file shares
// it (elevated or not, in any session), as the folder's permissions decide.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>

#include "common/core/ini_file_access.h"
#include "common/core/settings_temp_name.h"
#include "unique_handle.h"

namespace common {
namespace {

// The system code page through the platform, refusing best-fit substitutes.
class SystemAnsiCodePage final : public CodePage {
public:
    std::wstring Decode(std::string_view bytes) const override {
        if (bytes.empty()) return {};
        const int size = static_cast<int>(bytes.size());
        const int length = ::MultiByteToWideChar(CP_ACP, 0, bytes.data(), size, nullptr, 0);
        std::wstring text(static_cast<size_t>(length), L'\0');
        ::MultiByteToWideChar(CP_ACP, 0, bytes.data(), size, text.data(), length);
        return text;
    }

    std::optional<std::string> Encode(std::wstring_view text) const override {
        if (text.empty()) return std::string();
        if (::GetACP() == CP_UTF8) return WideToUtf8(text);
        const int size = static_cast<int>(text.size());
        BOOL usedDefault = FALSE;
        const int length = ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), size,
                                                 nullptr, 0, nullptr, &usedDefault);
        if (length <= 0 || usedDefault) return std::nullopt;
        std::string bytes(static_cast<size_t>(length), '\0');
        ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), size, bytes.data(), length,
                              nullptr, &usedDefault);
        if (usedDefault || Decode(bytes) != text) return std::nullopt;
        return bytes;
    }
};

bool WriteAll(HANDLE file, std::string_view bytes) {
    while (!bytes.empty()) {
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size(), 1u << 20));
        DWORD written = 0;
        if (!::WriteFile(file, bytes.data(), chunk, &written, nullptr) || written == 0) return false;
        bytes.remove_prefix(written);
    }
    return true;
}

std::uint64_t FileTimeValue(const FILETIME& time) {
    return (std::uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
}

// True while the process that wrote a temporary file last written at `writtenAt` may still be
// writing it: it runs, and it had started by then (a later process with the same id did not
// write it). Unknown cases count as running.
bool OwnerMayBeWriting(DWORD processId, std::uint64_t writtenAt) {
    const win32::UniqueHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, processId));
    if (!process) return ::GetLastError() != ERROR_INVALID_PARAMETER;  // no such process
    if (::WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0) return false;
    FILETIME created{}, exited{}, kernel{}, user{};
    if (!::GetProcessTimes(process.get(), &created, &exited, &kernel, &user)) return true;
    return FileTimeValue(created) <= writtenAt;
}

// Temporary files of earlier writes to `path` whose writers crashed; each write looks once.
void RemoveStaleTempFiles(const std::wstring& path) {
    const std::wstring_view settingsName = FileNameOf(path);
    const std::wstring folder = path.substr(0, path.size() - settingsName.size());
    WIN32_FIND_DATAW data;
    const win32::UniqueFind find(::FindFirstFileExW((path + L".~*.tmp").c_str(), FindExInfoBasic, &data,
                                                    FindExSearchNameMatch, nullptr, 0));
    if (!find) return;
    do {
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        const std::optional<std::uint32_t> owner = SettingsTempOwner(data.cFileName, settingsName);
        if (!owner || OwnerMayBeWriting(*owner, FileTimeValue(data.ftLastWriteTime))) continue;
        ::DeleteFileW((folder + data.cFileName).c_str());
    } while (::FindNextFileW(find.get(), &data));
}

// How often a write draws another temporary name when the one it drew is taken.
constexpr int kTempNameAttempts = 64;
// A lock file that is being deleted refuses opens with access denied for a moment; a folder
// that may not be written refuses them for good. The first is waited out this long.
constexpr ULONGLONG kDeletePendingWaitMs = 500;
constexpr DWORD kLockRetryPauseMs = 15;

// The system's text for `error` and its number, e.g. "Access denied (5)".
std::wstring ErrorReason(DWORD error) {
    wchar_t* buffer = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
        reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text = length ? std::wstring(buffer, length) : std::wstring();
    ::LocalFree(buffer);
    while (!text.empty() && std::wstring_view(L". \r\n").find(text.back()) != std::wstring_view::npos) text.pop_back();
    return (text.empty() ? L"error" : text) + L" (" + std::to_wstring(error) + L")";
}

class LockFile final : public FileUpdateLock {
public:
    explicit LockFile(HANDLE file) : file_(file) {}

private:
    win32::UniqueFile file_;
};

class Win32IniFileAccess final : public IniFileAccess {
public:
    FileBytes Read(const std::wstring& path) const override {
        win32::UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                             nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) {
            const DWORD error = ::GetLastError();
            const bool missing = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
            return {missing ? FileBytes::Status::Missing : FileBytes::Status::Unreadable, {}};
        }
        FileBytes result{FileBytes::Status::Ok, {}};
        char buffer[65536];
        for (;;) {
            DWORD got = 0;
            if (!::ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr)) {
                return {FileBytes::Status::Unreadable, {}};
            }
            if (got == 0) break;
            result.bytes.append(buffer, got);
        }
        return result;
    }

    bool ReplaceAtomically(const std::wstring& path, std::string_view bytes, std::wstring& failure) override {
        if (path.empty()) {
            failure = ErrorReason(ERROR_INVALID_NAME);
            return false;
        }
        // A read-only file is the user's word that it must not change. (Some implementations
        // of the platform would rename over it all the same.)
        const DWORD old = ::GetFileAttributesW(path.c_str());
        if (old != INVALID_FILE_ATTRIBUTES && (old & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY))) {
            failure = (old & FILE_ATTRIBUTE_DIRECTORY) ? ErrorReason(ERROR_DIRECTORY)
                                                       : std::wstring(kFileReadOnlyReason);
            return false;
        }
        RemoveStaleTempFiles(path);
        static std::atomic<std::uint32_t> counter{0};
        std::wstring temp;
        bool ok = false;
        {
            // A new file only: a name that is taken (a leftover of an earlier process with the
            // same id, a user's file) is never opened; the next counter is tried instead.
            win32::UniqueFile file;
            for (int attempt = 0; attempt < kTempNameAttempts && !file; ++attempt) {
                temp = SettingsTempPath(path, ::GetCurrentProcessId(), counter.fetch_add(1));
                file.reset(::CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_HIDDEN,
                                         nullptr));
                const DWORD error = file ? ERROR_SUCCESS : ::GetLastError();
                if (!file && error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
                    failure = ErrorReason(error);
                    return false;
                }
            }
            if (!file) {
                failure = ErrorReason(ERROR_FILE_EXISTS);
                return false;
            }
            ok = WriteAll(file.get(), bytes) && ::FlushFileBuffers(file.get());
            if (!ok) failure = ErrorReason(::GetLastError());
        }
        if (ok) {
            // The new file takes over the old one's attributes (a hidden file stays hidden).
            const DWORD keep = old == INVALID_FILE_ATTRIBUTES
                                   ? FILE_ATTRIBUTE_NORMAL
                                   : (old & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                             FILE_ATTRIBUTE_ARCHIVE));
            ::SetFileAttributesW(temp.c_str(), keep ? keep : FILE_ATTRIBUTE_NORMAL);
            ok = ::MoveFileExW(temp.c_str(), path.c_str(),
                               MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
            if (!ok) failure = ErrorReason(::GetLastError());
        }
        if (!ok) ::DeleteFileW(temp.c_str());
        return ok;
    }

    std::unique_ptr<FileUpdateLock> LockForUpdate(const std::wstring& path, std::wstring& failure) override {
        if (path.empty()) {
            failure = ErrorReason(ERROR_INVALID_NAME);
            return nullptr;
        }
        const std::wstring lockPath = path + L".lock";
        const ULONGLONG start = ::GetTickCount64();
        ULONGLONG deniedSince = 0;  // when the refusals with access denied began, 0 while none
        for (;;) {
            const HANDLE file = ::CreateFileW(lockPath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                              FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
            if (file != INVALID_HANDLE_VALUE) return std::make_unique<LockFile>(file);
            const DWORD error = ::GetLastError();
            const ULONGLONG now = ::GetTickCount64();
            if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION) {
                deniedSince = 0;
                if (now - start >= kUpdateLockWaitMs) {
                    failure = kFileLockedReason;
                    return nullptr;
                }
            } else if (error == ERROR_ACCESS_DENIED && (deniedSince == 0 || now - deniedSince < kDeletePendingWaitMs)) {
                if (deniedSince == 0) deniedSince = now;
            } else {
                failure = ErrorReason(error);
                return nullptr;
            }
            ::Sleep(kLockRetryPauseMs);
        }
    }

    const CodePage& SystemCodePage() const override { return codePage_; }

private:
    SystemAnsiCodePage codePage_;
};

}  // namespace

std::shared_ptr<IniFileAccess> PlatformIniFileAccess() {
    static const auto instance = std::make_shared<Win32IniFileAccess>();
    return instance;
}

}  // namespace common
