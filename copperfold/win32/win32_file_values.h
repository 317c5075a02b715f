#pragma once
// Small conversions of the platform's file values, shared by the two halves of Win32FileSystem:
// win32_file_system.cpp (listings, look-ups, removals) and win32_file_copy.cpp (the copier).

#include <windows.h>

#include <cstdint>

namespace copperfold {

// What SetFileAttributesW can change; the other bits describe the file and are not ours to set.
inline constexpr DWORD kSettableAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                             FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_OFFLINE |
                                             FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// 0 would tell the file system to leave the attributes as they are.
inline DWORD SettableAttributes(std::uint32_t attributes) {
    const DWORD settable = attributes & kSettableAttributes;
    return settable != 0 ? settable : FILE_ATTRIBUTE_NORMAL;
}

inline std::uint64_t Combine(DWORD high, DWORD low) { return (std::uint64_t{high} << 32) | low; }

}  // namespace copperfold
