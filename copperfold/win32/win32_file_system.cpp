#include "win32_file_system.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstring>
#include <memory>
#include <string_view>
#include <utility>

#include "common/win32/unique_handle.h"
#include "copperfold/core/file_times.h"
#include "copperfold/core/job_paths.h"
#include "copperfold/core/partial_name.h"
#include "win32_file_values.h"

namespace copperfold {
namespace {

bool StartsWith(std::wstring_view text, std::wstring_view prefix) { return text.substr(0, prefix.size()) == prefix; }

bool IsDriveLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

bool IsDriveAbsolute(std::wstring_view path) {
    return path.size() >= 3 && IsDriveLetter(path[0]) && path[1] == L':' && path[2] == L'\\';
}

bool IsDriveRoot(std::wstring_view path) { return path.size() == 3 && IsDriveAbsolute(path); }

// The extended-length form takes "/", "." and ".." literally and refuses empty names (doubled
// backslashes past a UNC path's start); such paths are left to the system.
bool NeedsParsing(std::wstring_view path) {
    constexpr auto npos = std::wstring_view::npos;
    if (path.find(L'/') != npos || path.find(L"\\\\", 1) != npos) return true;
    for (std::size_t start = 0; start <= path.size();) {
        const std::size_t end = std::min(path.find(L'\\', start), path.size());
        const std::wstring_view part = path.substr(start, end - start);
        if (part == L"." || part == L"..") return true;
        start = end + 1;
    }
    return false;
}

bool IsDotEntry(const wchar_t* name) { return std::wcscmp(name, L".") == 0 || std::wcscmp(name, L"..") == 0; }

FileEntry ToEntry(const WIN32_FIND_DATAW& data) {
    FileEntry entry;
    entry.name = data.cFileName;
    entry.attributes = data.dwFileAttributes;
    entry.lastWriteTime = Combine(data.ftLastWriteTime.dwHighDateTime, data.ftLastWriteTime.dwLowDateTime);
    entry.size = Combine(data.nFileSizeHigh, data.nFileSizeLow);
    return entry;
}

// The pattern that lists a folder's entries: the folder, one backslash, "*".
std::wstring ListingPattern(const std::wstring& folder) {
    std::wstring pattern = ExtendedLengthPath(folder);
    if (pattern.empty() || pattern.back() != L'\\') pattern += L'\\';
    return pattern + L'*';
}

win32::UniqueFind FindFirst(const std::wstring& pattern, WIN32_FIND_DATAW& data) {
    return win32::UniqueFind(::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch,
                                                nullptr, FIND_FIRST_EX_LARGE_FETCH));
}

// The unique parts of temporary names: different in every process and for every copy.
std::uint32_t NextUniquePart() {
    static std::atomic<std::uint32_t> next{static_cast<std::uint32_t>(::GetCurrentProcessId()) * 2654435761u ^
                                           ::GetTickCount()};
    return next.fetch_add(0x9E3779B9u);  // consecutive parts differ in most digits
}

// What RemoveTree answers for an entry it leaves in place because it is a link it cannot remove
// without reaching what the link points to (the system's ERROR_REPARSE_POINT_ENCOUNTERED).
constexpr DWORD kErrorLinkLeftInPlace = 4395;

// The path the system resolves an open entry to, empty when it cannot tell.
std::wstring FinalPathOf(HANDLE entry) {
    constexpr DWORD kFlags = FILE_NAME_NORMALIZED | VOLUME_NAME_DOS;
    const DWORD needed = ::GetFinalPathNameByHandleW(entry, nullptr, 0, kFlags);
    if (needed == 0) return {};
    std::wstring path(needed, L'\0');
    const DWORD length = ::GetFinalPathNameByHandleW(entry, path.data(), needed, kFlags);
    if (length == 0 || length >= needed) return {};
    path.resize(length);
    return path;
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
    return !a.empty() && ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

// The names in an open folder, read through its handle (a listing by name would have to open the
// folder again, which the system refuses while we hold it for its removal).
DWORD NamesIn(HANDLE folder, std::vector<std::wstring>& names) {
    constexpr DWORD kBufferBytes = 64 * 1024;
    const auto buffer = std::make_unique<std::byte[]>(kBufferBytes);
    for (FILE_INFO_BY_HANDLE_CLASS query = FileIdBothDirectoryRestartInfo;; query = FileIdBothDirectoryInfo) {
        if (!::GetFileInformationByHandleEx(folder, query, buffer.get(), kBufferBytes)) {
            const DWORD error = ::GetLastError();
            return error == ERROR_NO_MORE_FILES ? ERROR_SUCCESS : error;
        }
        for (std::size_t offset = 0;;) {
            const auto* info = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(buffer.get() + offset);
            std::wstring name(info->FileName, info->FileNameLength / sizeof(wchar_t));
            if (name != L"." && name != L"..") names.push_back(std::move(name));
            if (info->NextEntryOffset == 0) break;
            offset += info->NextEntryOffset;
        }
    }
}

// Removes the entry at `path`, the folder with all in it, without ever going through a link:
// opened as itself (FILE_FLAG_OPEN_REPARSE_POINT), a link, junction or other reparse point is
// removed alone. Where the system opens what a link points to instead (Wine shows a Unix
// symbolic link as its target, and removes the target when asked to remove it), the entry's path
// as the system resolves it differs from the one it has in its folder (`resolved`), and it is
// left in place. Returns 0, or the error of the first entry that stayed.
DWORD RemoveEntry(const std::wstring& path, const std::wstring& resolved, int depth) {
    constexpr DWORD kAccess = DELETE | FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES | SYNCHRONIZE;
    constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    const win32::UniqueFile entry(::CreateFileW(path.c_str(), kAccess, kShareAll, nullptr, OPEN_EXISTING,
                                                FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!entry) {
        const DWORD error = ::GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? ERROR_SUCCESS : error;
    }
    FILE_ATTRIBUTE_TAG_INFO tag{};
    if (!::GetFileInformationByHandleEx(entry.get(), FileAttributeTagInfo, &tag, sizeof tag)) return ::GetLastError();
    if ((tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        const std::wstring final = FinalPathOf(entry.get());
        if (!SamePath(final, resolved)) return kErrorLinkLeftInPlace;
        if ((tag.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            if (depth > 512) return ERROR_BUFFER_OVERFLOW;
            std::vector<std::wstring> names;
            if (const DWORD error = NamesIn(entry.get(), names)) return error;
            DWORD firstError = ERROR_SUCCESS;
            for (const std::wstring& name : names) {
                const DWORD error = RemoveEntry(path + L"\\" + name, final + L"\\" + name, depth + 1);
                if (firstError == ERROR_SUCCESS) firstError = error;
            }
            if (firstError != ERROR_SUCCESS) return firstError;
        }
    }
    // A read-only bit stops the removal of a file; the link itself goes, never what it points to.
    if ((tag.FileAttributes & FILE_ATTRIBUTE_READONLY) != 0) {
        FILE_BASIC_INFO basic{};
        basic.FileAttributes = SettableAttributes(tag.FileAttributes & ~FILE_ATTRIBUTE_READONLY);
        ::SetFileInformationByHandle(entry.get(), FileBasicInfo, &basic, sizeof basic);
    }
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = TRUE;
    if (!::SetFileInformationByHandle(entry.get(), FileDispositionInfo, &disposition, sizeof disposition)) {
        return ::GetLastError();
    }
    return ERROR_SUCCESS;
}

}  // namespace

std::wstring ExtendedLengthPath(const std::wstring& path) {
    if (StartsWith(path, L"\\\\?\\") || StartsWith(path, L"\\\\.\\") || NeedsParsing(path)) return path;
    if (IsDriveAbsolute(path)) return L"\\\\?\\" + path;
    if (path.size() > 2 && StartsWith(path, L"\\\\")) return L"\\\\?\\UNC\\" + path.substr(2);
    return path;
}

std::wstring PartialFilePath(const std::wstring& destination, std::uint32_t unique) {
    const std::size_t separator = destination.find_last_of(L"\\/");
    const std::size_t nameStart = separator == std::wstring::npos ? 0 : separator + 1;
    return destination.substr(0, nameStart) + PartialFileName(std::wstring_view(destination).substr(nameStart), unique);
}

Win32FileSystem::Win32FileSystem(UniquePartSource uniquePart)
    : uniquePart_(uniquePart ? std::move(uniquePart) : UniquePartSource(&NextUniquePart)) {}

bool Win32FileSystem::List(const std::wstring& folder, std::vector<FileEntry>& entries) {
    entries.clear();
    WIN32_FIND_DATAW data;
    const win32::UniqueFind find = FindFirst(ListingPattern(folder), data);
    // Every folder but a drive's root has "." and "..": only an empty root matches nothing.
    if (!find) return ::GetLastError() == ERROR_FILE_NOT_FOUND;
    do {
        if (!IsDotEntry(data.cFileName)) entries.push_back(ToEntry(data));
    } while (::FindNextFileW(find.get(), &data));
    return ::GetLastError() == ERROR_NO_MORE_FILES;
}

bool Win32FileSystem::Exists(const std::wstring& path) {
    if (IsDriveRoot(path)) {
        WIN32_FIND_DATAW data;
        return static_cast<bool>(FindFirst(ListingPattern(path), data));
    }
    return ::GetFileAttributesW(ExtendedLengthPath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool Win32FileSystem::LookUp(const std::wstring& path, FileEntry& entry) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW(ExtendedLengthPath(path).c_str(), GetFileExInfoStandard, &data)) return false;
    entry.name = path.substr(path.find_last_of(L'\\') + 1);
    entry.attributes = data.dwFileAttributes;
    entry.lastWriteTime = Combine(data.ftLastWriteTime.dwHighDateTime, data.ftLastWriteTime.dwLowDateTime);
    entry.size = Combine(data.nFileSizeHigh, data.nFileSizeLow);
    return true;
}

bool Win32FileSystem::CreateFolder(const std::wstring& path) {
    return ::CreateDirectoryW(ExtendedLengthPath(path).c_str(), nullptr) != 0;
}

bool Win32FileSystem::SetAttributes(const std::wstring& path, std::uint32_t attributes) {
    if (quirks_.Has(path, VolumeQuirks::kKeepsNoAttributes)) return false;  // found out by a copy
    return ::SetFileAttributesW(ExtendedLengthPath(path).c_str(), SettableAttributes(attributes)) != 0;
}

std::wstring Win32FileSystem::FullPath(const std::wstring& path) {
    if (StartsWith(path, L"\\\\?\\")) return path;  // the system takes these literally
    const DWORD needed = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0) return {};
    std::wstring full(needed, L'\0');
    const DWORD length = ::GetFullPathNameW(path.c_str(), needed, full.data(), nullptr);
    if (length == 0 || length >= needed) return {};
    full.resize(length);
    return full;
}

std::wstring Win32FileSystem::FinalPath(const std::wstring& path) {
    // Attributes only: no data access, so no share mode of another program stands in the way.
    const win32::UniqueFile entry(::CreateFileW(ExtendedLengthPath(path).c_str(), FILE_READ_ATTRIBUTES,
                                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return entry ? FinalPathOf(entry.get()) : std::wstring();
}

bool Win32FileSystem::IsPartialCopy(const FileEntry& entry) const {
    return !entry.IsFolder() && IsPartialFileName(entry.name);
}

void Win32FileSystem::RemovePartialCopy(const std::wstring& path) {
    // Opened for no one else: a copy still writing it (another program's run) holds it open, and
    // then it stays. A read-only bit given to a finished copy just before its rename goes first.
    const win32::UniqueFile file(::CreateFileW(ExtendedLengthPath(path).c_str(), DELETE | FILE_WRITE_ATTRIBUTES, 0,
                                               nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file) return;
    FILE_BASIC_INFO basic{};
    basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    ::SetFileInformationByHandle(file.get(), FileBasicInfo, &basic, sizeof basic);
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = TRUE;
    ::SetFileInformationByHandle(file.get(), FileDispositionInfo, &disposition, sizeof disposition);
}

std::uint32_t Win32FileSystem::RemoveTree(const std::wstring& folder) {
    // Where the folder lies as the system resolves its parent: each entry below must resolve to
    // that, its name added, or it was reached through a link.
    std::wstring path = ExtendedLengthPath(folder);
    while (path.size() > 1 && path.back() == L'\\') path.pop_back();
    const std::size_t slash = path.rfind(L'\\');
    if (slash == std::wstring::npos) return ERROR_INVALID_NAME;
    std::wstring parentPath = path.substr(0, slash);
    if (!parentPath.empty() && parentPath.back() == L':') parentPath += L'\\';  // a drive's root
    const win32::UniqueFile parent(::CreateFileW(parentPath.c_str(), FILE_READ_ATTRIBUTES,
                                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!parent) return ::GetLastError();
    std::wstring resolved = FinalPathOf(parent.get());
    if (resolved.empty()) return ERROR_CANT_RESOLVE_FILENAME;
    if (resolved.back() != L'\\') resolved += L'\\';
    return RemoveEntry(path, resolved + path.substr(slash + 1), 0);
}

std::uint32_t Win32FileSystem::AccessError(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(ExtendedLengthPath(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = ::GetLastError();
        return error != ERROR_SUCCESS ? error : ERROR_GEN_FAILURE;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return ERROR_SUCCESS;
    WIN32_FIND_DATAW data;
    if (FindFirst(ListingPattern(path), data)) return ERROR_SUCCESS;
    const DWORD error = ::GetLastError();
    return error == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : error;  // an empty drive's root lists nothing
}

void Win32FileSystem::LimitTimesToFatRange(const std::wstring& root) {
    quirks_.Mark(root, VolumeQuirks::kFatTimeRange);  // for a share: for every share (they share a slot)
}

VolumeFacts Win32FileSystem::Volume(const std::wstring& path) {
    const std::size_t rootLength = RootLength(path);
    if (rootLength == 0) return {};
    VolumeFacts facts;
    facts.root = path.substr(0, rootLength);
    if (facts.root.back() != L'\\') facts.root.push_back(L'\\');
    wchar_t name[MAX_PATH + 1] = {};
    if (::GetVolumeInformationW(facts.root.c_str(), nullptr, 0, nullptr, nullptr, nullptr, name, MAX_PATH + 1)) {
        facts.fileSystem = name;
    }
    // A volume that reports no size at all (a FUSE FAT driver does) tells nothing of its space.
    ULARGE_INTEGER freeToUs{};
    ULARGE_INTEGER size{};
    if (::GetDiskFreeSpaceExW(facts.root.c_str(), &freeToUs, &size, nullptr) && size.QuadPart != 0) {
        facts.freeSpaceKnown = true;
        facts.freeBytes = freeToUs.QuadPart;
    }
    DWORD sectorsPerCluster = 0;
    DWORD bytesPerSector = 0;
    DWORD freeClusters = 0;
    DWORD clusters = 0;
    if (::GetDiskFreeSpaceW(facts.root.c_str(), &sectorsPerCluster, &bytesPerSector, &freeClusters, &clusters)) {
        const std::uint64_t clusterBytes = std::uint64_t{sectorsPerCluster} * bytesPerSector;
        if (clusterBytes <= (1u << 24)) facts.clusterBytes = static_cast<std::uint32_t>(clusterBytes);
    }
    return facts;
}

}  // namespace copperfold
