#pragma once
// Opening one registry key's permissions to the administrators: a DACL of Everyone read and
// Administrators full control, set on that key alone (its ACEs are not inherited by subkeys);
// when the system refuses, the Administrators take the key's ownership first (with the
// take-ownership privilege switched on for just that step).

#include <windows.h>

#include <string>

namespace win32 {

// `objectPath` is the security object name ("MACHINE\SYSTEM\..."). `report` receives one line per
// step that has something to say. True when the DACL was set.
bool GrantKeyToAdministrators(const std::string& objectPath, std::string& report);

}  // namespace win32
