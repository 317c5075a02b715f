#include "logon_start.h"

#include "common/win32/system_info.h"
#include "settings_location.h"

namespace copperfold {

std::wstring LogonStartCommand(const std::wstring& programPath) { return L"\"" + programPath + L"\" /tray"; }

bool StartsAtLogon(const std::wstring& programPath) {
    const auto value = win32::ReadRegistryText(HKEY_CURRENT_USER, kLogonRunKey, kLogonRunValue);
    if (!value || value->empty()) return false;
    // The program is the quoted part, or everything up to the first blank.
    std::wstring program;
    if ((*value)[0] == L'"') {
        const size_t end = value->find(L'"', 1);
        if (end == std::wstring::npos) return false;
        program = value->substr(1, end - 1);
    } else {
        program = value->substr(0, value->find(L' '));
    }
    return SameFolder(program, programPath);
}

LSTATUS SetStartAtLogon(const std::wstring& programPath, bool on) {
    if (!on) {
        const LSTATUS removed = ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kLogonRunKey, kLogonRunValue);
        return removed == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : removed;
    }
    const std::wstring command = LogonStartCommand(programPath);
    return ::RegSetKeyValueW(HKEY_CURRENT_USER, kLogonRunKey, kLogonRunValue, REG_SZ, command.c_str(),
                             static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
}

}  // namespace copperfold
