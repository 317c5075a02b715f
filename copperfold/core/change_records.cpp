#include "change_records.h"

#include <cstring>
#include <string>

namespace copperfold {

namespace {

std::uint32_t ReadUint32(const std::byte* at) {
    std::uint32_t value;
    std::memcpy(&value, at, sizeof value);  // little-endian on every platform the program runs on
    return value;
}

// UTF-16 code units to the internal text form; on a host with 32-bit wchar_t, surrogate
// pairs are joined and a lone surrogate is kept as it is.
std::wstring NameFromUtf16(const std::byte* at, std::size_t units) {
    std::wstring name;
    name.reserve(units);
    for (std::size_t i = 0; i < units; ++i) {
        std::uint16_t unit;
        std::memcpy(&unit, at + 2 * i, sizeof unit);
        if constexpr (sizeof(wchar_t) == 4) {
            if (unit >= 0xD800 && unit < 0xDC00 && i + 1 < units) {
                std::uint16_t low;
                std::memcpy(&low, at + 2 * (i + 1), sizeof low);
                if (low >= 0xDC00 && low < 0xE000) {
                    name += static_cast<wchar_t>(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                    ++i;
                    continue;
                }
            }
        }
        name += static_cast<wchar_t>(unit);
    }
    return name;
}

}  // namespace

std::vector<DirectoryChange> ParseChangeRecords(std::span<const std::byte> delivered) {
    std::vector<DirectoryChange> changes;
    std::size_t offset = 0;
    while (delivered.size() - offset >= kChangeRecordNameOffset) {
        const std::byte* record = delivered.data() + offset;
        const std::uint32_t next = ReadUint32(record + offsetof(ChangeRecordHeader, nextEntryOffset));
        const std::uint32_t action = ReadUint32(record + offsetof(ChangeRecordHeader, action));
        const std::uint32_t nameLength = ReadUint32(record + offsetof(ChangeRecordHeader, nameLength));
        const std::size_t room = delivered.size() - offset - kChangeRecordNameOffset;
        if (nameLength > room || nameLength % 2 != 0) break;
        changes.push_back({NameFromUtf16(record + kChangeRecordNameOffset, nameLength / 2), action});
        if (next == 0) break;
        if (next < kChangeRecordNameOffset + nameLength || next > delivered.size() - offset) break;
        offset += next;
    }
    return changes;
}

}  // namespace copperfold
