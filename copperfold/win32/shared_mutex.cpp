#include "shared_mutex.h"

#include <sddl.h>

#include <string>

namespace copperfold {
namespace {

constexpr DWORD kDeniedRetryMs = 500;

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

win32::UniqueHandle WaitForRunTurn(const wchar_t* name, void (*waiting)()) {
    bool told = false;
    for (;;) {
        NamedMutex mutex = CreateSharedMutex(name, false);
        if (mutex.handle) {
            const DWORD taken = ::WaitForSingleObject(mutex.handle.get(), INFINITE);
            if (taken == WAIT_OBJECT_0 || taken == WAIT_ABANDONED) return std::move(mutex.handle);
            return {};
        }
        if (mutex.state != NamedMutex::State::Denied) return {};
        if (!told && waiting) waiting();
        told = true;
        ::Sleep(kDeniedRetryMs);
    }
}

win32::UniqueHandle CreateProgramEvent(const wchar_t* name, bool signalled) {
    const BOOL initial = signalled ? TRUE : FALSE;
    win32::UniqueHandle event(::CreateEventW(nullptr, TRUE, initial, name));
    if (!event) event.reset(::CreateEventW(nullptr, TRUE, initial, nullptr));
    return event;
}

}  // namespace copperfold
