#include "shared_mutex.h"

#include <sddl.h>

#include <algorithm>
#include <string>

namespace copperfold {
namespace {

constexpr DWORD kDeniedRetryMs = 500;
constexpr DWORD kQuietWaitMs = 1000;  // a turn that comes within it is not worth a line

// "D:(A;;GA;;;SY)(A;;GA;;;BA)(A;;GA;;;<this user>)"; empty when the user is not known.
std::wstring UserOnlyDescriptor() {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
    const win32::UniqueHandle owned(token);
    alignas(TOKEN_USER) BYTE buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE] = {};
    DWORD size = 0;
    if (!::GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size)) return {};
    LPWSTR sid = nullptr;
    if (!::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &sid)) return {};
    std::wstring descriptor = L"D:(A;;GA;;;SY)(A;;GA;;;BA)(A;;GA;;;" + std::wstring(sid) + L")";
    ::LocalFree(sid);
    return descriptor;
}

}  // namespace

NamedMutex CreateSharedMutex(const wchar_t* name, bool initialOwner) {
    NamedMutex result;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const std::wstring text = UserOnlyDescriptor();
    if (!text.empty()) {
        ::ConvertStringSecurityDescriptorToSecurityDescriptorW(text.c_str(), SDDL_REVISION_1, &descriptor, nullptr);
    }
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    result.handle.reset(::CreateMutexW(descriptor ? &attributes : nullptr, initialOwner ? TRUE : FALSE, name));
    result.error = ::GetLastError();
    ::LocalFree(descriptor);
    if (result.handle) {
        result.state = result.error == ERROR_ALREADY_EXISTS ? NamedMutex::State::Existed : NamedMutex::State::Created;
        return result;
    }
    if (result.error != ERROR_ACCESS_DENIED) return result;
    // Someone else's: waiting on it may still be allowed.
    result.handle.reset(::OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, name));
    result.state = result.handle ? NamedMutex::State::Existed : NamedMutex::State::Denied;
    return result;
}

RunTurn WaitForRunTurn(const wchar_t* name, DWORD limitMs, void (*waiting)(bool holderRefusesUs)) {
    const ULONGLONG started = ::GetTickCount64();
    const auto left = [&]() -> DWORD {
        const ULONGLONG spent = ::GetTickCount64() - started;
        return spent >= limitMs ? 0 : static_cast<DWORD>(limitMs - spent);
    };
    bool told = false;
    const auto tell = [&](bool holderRefusesUs) {
        if (!told && waiting && ::GetTickCount64() - started >= kQuietWaitMs) {
            waiting(holderRefusesUs);
            told = true;
        }
    };
    for (;;) {
        NamedMutex mutex = CreateSharedMutex(name, false);
        if (mutex.handle) {
            for (;;) {
                const DWORD slice = told ? left() : std::min(left(), kQuietWaitMs);
                const DWORD taken = ::WaitForSingleObject(mutex.handle.get(), slice);
                if (taken == WAIT_OBJECT_0 || taken == WAIT_ABANDONED) {
                    return {RunTurn::State::Taken, std::move(mutex.handle)};
                }
                if (taken != WAIT_TIMEOUT) return {};
                if (left() == 0) return {RunTurn::State::TimedOut, {}};
                tell(false);
            }
        }
        if (mutex.state != NamedMutex::State::Denied) return {};
        if (left() == 0) return {RunTurn::State::TimedOut, {}};
        tell(true);
        ::Sleep(std::min(left(), kDeniedRetryMs));
    }
}

win32::UniqueHandle CreateProgramEvent(const wchar_t* name, bool signalled) {
    const BOOL initial = signalled ? TRUE : FALSE;
    win32::UniqueHandle event(::CreateEventW(nullptr, TRUE, initial, name));
    if (!event) event.reset(::CreateEventW(nullptr, TRUE, initial, nullptr));
    return event;
}

}  // namespace copperfold
