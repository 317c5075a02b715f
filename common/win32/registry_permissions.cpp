#include "common/win32/registry_permissions.h"

#include <aclapi.h>

#include <string>

#include "common/win32/unique_handle.h"

namespace win32 {
namespace {

struct SidTraits {
    static PSID Invalid() { return nullptr; }
    static bool IsValid(PSID s) { return s != nullptr; }
    static void Close(PSID s) { ::FreeSid(s); }
};
struct LocalMemoryTraits {
    static PACL Invalid() { return nullptr; }
    static bool IsValid(PACL a) { return a != nullptr; }
    static void Close(PACL a) { ::LocalFree(a); }
};
using UniqueSid = UniqueResource<PSID, SidTraits>;
using UniqueAcl = UniqueResource<PACL, LocalMemoryTraits>;

constexpr char kTakeOwnership[] = "SeTakeOwnershipPrivilege";

void Say(std::string& report, const char* line) { report += line; }
// `text` followed by the decimal `code` and a line end.
void Say(std::string& report, const char* text, unsigned long code) { report += text + std::to_string(code) + "\n"; }

// Switches one privilege of `token` on or off. False (with the reason in `report`) when it could
// not be done or the token does not hold it.
bool SetPrivilege(HANDLE token, const char* privilege, bool enable, std::string& report) {
    LUID luid{};
    if (!::LookupPrivilegeValueA(nullptr, privilege, &luid)) {
        Say(report, "LookupPrivilegeValue error: ", ::GetLastError());
        return false;
    }
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Luid = luid;
    privileges.Privileges[0].Attributes = enable ? SE_PRIVILEGE_ENABLED : 0;
    if (!::AdjustTokenPrivileges(token, FALSE, &privileges, sizeof privileges, nullptr, nullptr)) {
        Say(report, "AdjustTokenPrivileges error: ", ::GetLastError());
        return false;
    }
    if (::GetLastError() == ERROR_NOT_ALL_ASSIGNED) {
        Say(report, "The token does not have the specified privilege. \n");
        return false;
    }
    return true;
}

DWORD SetDacl(const std::string& objectPath, PACL acl) {
    return ::SetNamedSecurityInfoA(const_cast<char*>(objectPath.c_str()), SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION,
                                   nullptr, nullptr, acl, nullptr);
}

// The Administrators become the key's owner, with the take-ownership privilege on for that step.
bool TakeOwnership(const std::string& objectPath, PSID administrators, std::string& report) {
    HANDLE rawToken = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &rawToken)) {
        Say(report, "OpenProcessToken failed: ", ::GetLastError());
        return false;
    }
    const UniqueHandle token(rawToken);
    if (!SetPrivilege(token.get(), kTakeOwnership, true, report)) {
        Say(report, "You must be logged on as Administrator.\n");
        return false;
    }
    const DWORD owner = ::SetNamedSecurityInfoA(const_cast<char*>(objectPath.c_str()), SE_REGISTRY_KEY,
                                                OWNER_SECURITY_INFORMATION, administrators, nullptr, nullptr, nullptr);
    if (owner != ERROR_SUCCESS) Say(report, "Could not set owner. Error: ", owner);
    if (!SetPrivilege(token.get(), kTakeOwnership, false, report)) {
        Say(report, "Failed SetPrivilege call unexpectedly.\n");
        return false;
    }
    return owner == ERROR_SUCCESS;
}

}  // namespace

bool GrantKeyToAdministrators(const std::string& objectPath, std::string& report) {
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID rawSid = nullptr;
    if (!::AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &rawSid)) {
        Say(report, "AllocateAndInitializeSid (Everyone) error ", ::GetLastError());
        return false;
    }
    const UniqueSid everyone(rawSid);
    rawSid = nullptr;
    if (!::AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                                    &rawSid)) {
        Say(report, "AllocateAndInitializeSid (Admin) error ", ::GetLastError());
        return false;
    }
    const UniqueSid administrators(rawSid);

    EXPLICIT_ACCESSA entries[2] = {};
    entries[0].grfAccessPermissions = GENERIC_READ;
    entries[0].grfAccessMode = SET_ACCESS;
    entries[0].grfInheritance = NO_INHERITANCE;
    entries[0].Trustee.TrusteeForm = TRUSTEE_IS_SID;
    entries[0].Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
    entries[0].Trustee.ptstrName = static_cast<LPSTR>(everyone.get());
    entries[1].grfAccessPermissions = GENERIC_ALL;
    entries[1].grfAccessMode = SET_ACCESS;
    entries[1].grfInheritance = NO_INHERITANCE;
    entries[1].Trustee.TrusteeForm = TRUSTEE_IS_SID;
    entries[1].Trustee.TrusteeType = TRUSTEE_IS_GROUP;
    entries[1].Trustee.ptstrName = static_cast<LPSTR>(administrators.get());
    PACL rawAcl = nullptr;
    if (::SetEntriesInAclA(2, entries, nullptr, &rawAcl) != ERROR_SUCCESS) {
        Say(report, "Failed SetEntriesInAcl\n");
        return false;
    }
    const UniqueAcl acl(rawAcl);

    const DWORD first = SetDacl(objectPath, acl.get());
    if (first == ERROR_SUCCESS) {
        Say(report, "Successfully changed DACL\n");
        return true;
    }
    if (first != ERROR_ACCESS_DENIED) {
        Say(report, "First SetNamedSecurityInfo call failed: ", first);
        return false;
    }
    if (!TakeOwnership(objectPath, administrators.get(), report)) return false;
    const DWORD second = SetDacl(objectPath, acl.get());
    if (second != ERROR_SUCCESS) {
        Say(report, "Second SetNamedSecurityInfo call failed: ", second);
        return false;
    }
    Say(report, "Successfully changed DACL\n");
    return true;
}

}  // namespace win32
