#pragma once
// Facts about the running program and the machine, as the platform reports them.

#include <windows.h>

#include <optional>
#include <string>

namespace win32 {

// Full path of the running program; empty when the platform cannot report it.
std::wstring ModulePath();
// `path` with everything after its last backslash replaced by `fileName`.
std::wstring SiblingPath(const std::wstring& path, const std::wstring& fileName);
std::wstring ComputerName();
std::wstring UserName();
// The security identifier of the user the process runs as ("S-1-5-21-..."); empty when the
// platform cannot tell.
std::wstring CurrentUserSid();
std::wstring SystemDirectory();
// True when the process may use administrator rights now (an elevated administrator, or an
// administrator without user account control); false for a standard user and for an
// administrator's program that was not elevated.
bool HasAdministratorRights();
// A text value of the registry (REG_EXPAND_SZ expanded), read in the 64-bit view; nothing when
// the key or value is missing or not text. An empty `name` reads the key's default value.
std::optional<std::wstring> ReadRegistryText(HKEY root, const std::wstring& path, const std::wstring& name);
// The system's text for an error code, without the trailing line break.
std::wstring SystemErrorText(unsigned long error);

}  // namespace win32
