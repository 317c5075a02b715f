#include "settings_location.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>
#include <shlobj.h>

#include <array>

#include "app_messages.h"
#include "common/win32/system_info.h"
#include "common/win32/unique_handle.h"

namespace copperfold {
namespace {

constexpr wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Copperfold";
constexpr wchar_t kInstallLocationValue[] = L"InstallLocation";

std::wstring FolderOf(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

std::wstring InstallLocation() {
    HKEY opened = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kUninstallKey, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &opened) !=
        ERROR_SUCCESS) {
        return {};
    }
    const win32::UniqueKey key(opened);
    wchar_t value[MAX_PATH * 4] = {};
    DWORD size = sizeof value - sizeof(wchar_t);
    DWORD type = 0;
    if (::RegQueryValueExW(key.get(), kInstallLocationValue, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) !=
            ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ)) {
        return {};
    }
    return value;
}

std::wstring RoamingAppData() {
    PWSTR path = nullptr;
    std::wstring result;
    if (SUCCEEDED(::SHGetKnownFolderPath(FOLDERID_RoamingAppData, KF_FLAG_CREATE, nullptr, &path))) result = path;
    ::CoTaskMemFree(path);
    return result;
}

std::wstring Normalized(const std::wstring& folder) {
    wchar_t full[MAX_PATH * 4] = {};
    const DWORD fullLength = ::GetFullPathNameW(folder.c_str(), MAX_PATH * 4, full, nullptr);
    std::wstring result = fullLength > 0 && fullLength < MAX_PATH * 4 ? std::wstring(full) : folder;
    wchar_t longer[MAX_PATH * 4] = {};
    const DWORD longLength = ::GetLongPathNameW(result.c_str(), longer, MAX_PATH * 4);
    if (longLength > 0 && longLength < MAX_PATH * 4) result = longer;
    while (result.size() > 3 && (result.back() == L'\\' || result.back() == L'/')) result.pop_back();
    return result;
}

// Groups every signed-in user belongs to.
bool IsEveryUsersGroup(PSID sid) {
    static constexpr std::array<const wchar_t*, 6> kGroups = {
        L"S-1-1-0",       // Everyone
        L"S-1-2-0",       // Local
        L"S-1-5-4",       // Interactive
        L"S-1-5-11",      // Authenticated Users
        L"S-1-5-32-545",  // Users
        L"S-1-5-32-546",  // Guests
    };
    for (const wchar_t* text : kGroups) {
        PSID group = nullptr;
        if (!::ConvertStringSidToSidW(text, &group)) continue;
        const bool same = ::EqualSid(sid, group) != 0;
        ::LocalFree(group);
        if (same) return true;
    }
    return false;
}

// Rights that let their holder change what the file says: write it, delete or replace it,
// change its permissions or owner, or add files to the folder.
constexpr ACCESS_MASK kChangingRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_DELETE_CHILD | DELETE | WRITE_DAC |
                                        WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;

bool ObjectWritableByOrdinaryUsers(const std::wstring& path) {
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                &owner, nullptr, &dacl, nullptr, &descriptor) != ERROR_SUCCESS) {
        return true;  // what cannot be read is not trusted
    }
    bool writable = !dacl || (owner && IsEveryUsersGroup(owner));
    for (DWORD i = 0; dacl && !writable && i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        if (!::GetAce(dacl, i, &ace)) continue;
        const auto* header = static_cast<const ACE_HEADER*>(ace);
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE || (header->AceFlags & INHERIT_ONLY_ACE)) continue;
        auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
        writable = (allowed->Mask & kChangingRights) != 0 &&
                   IsEveryUsersGroup(reinterpret_cast<PSID>(&allowed->SidStart));
    }
    ::LocalFree(descriptor);
    return writable;
}

}  // namespace

bool SameFolder(const std::wstring& a, const std::wstring& b) {
    if (a.empty() || b.empty()) return false;
    const std::wstring left = Normalized(a);
    const std::wstring right = Normalized(b);
    return ::CompareStringOrdinal(left.c_str(), static_cast<int>(left.size()), right.c_str(),
                                  static_cast<int>(right.size()), TRUE) == CSTR_EQUAL;
}

SettingsLocation LocateSettings(const std::wstring& programPath) {
    SettingsLocation location;
    location.programFile = win32::SiblingPath(programPath, kJobFileName);
    location.userFile = location.programFile;
    location.installed = SameFolder(FolderOf(programPath), InstallLocation());
    if (!location.installed) return location;
    // Without a profile folder there is no file to write: every write then fails and says so.
    location.userFile.clear();
    const std::wstring appData = RoamingAppData();
    if (appData.empty()) return location;
    const std::wstring folder = appData + L"\\Copperfold";
    ::CreateDirectoryW(folder.c_str(), nullptr);
    location.userFile = folder + L"\\" + kJobFileName;
    return location;
}

std::unique_ptr<SettingsStore> OpenSettings(const SettingsLocation& location) {
    if (!location.installed) {
        return std::make_unique<SettingsStore>(std::make_unique<CIniFile>(location.programFile));
    }
    return std::make_unique<SettingsStore>(std::make_unique<CIniFile>(location.userFile),
                                           std::make_unique<CIniFile>(location.programFile));
}

bool WritableByOrdinaryUsers(const std::wstring& path) {
    return ObjectWritableByOrdinaryUsers(path) || ObjectWritableByOrdinaryUsers(FolderOf(path));
}

}  // namespace copperfold
