#include "partial_name.h"

namespace copperfold {
namespace {

constexpr std::wstring_view kMarker = L".~";
constexpr std::wstring_view kSuffix = L".~cfpart";
constexpr std::size_t kHexDigits = 16;  // unique part and check value
constexpr std::size_t kAddedLength = kMarker.size() + kHexDigits + kSuffix.size();
// Windows allows 255 UTF-16 units in a name, the Linux file systems under Wine 255 bytes of
// UTF-8. A name of at most 255 UTF-8 bytes fits both.
constexpr std::size_t kNameLimitUtf8 = 255;
constexpr wchar_t kHex[] = L"0123456789abcdef";

// Bytes of `name` in UTF-8. A surrogate counts 3: exact when unpaired, more than enough in a pair.
std::size_t Utf8Length(std::wstring_view name) {
    std::size_t length = 0;
    for (const wchar_t c : name) {
        const auto unit = static_cast<std::uint32_t>(static_cast<std::uint16_t>(c));
        length += unit < 0x80 ? 1 : unit < 0x800 ? 2 : 3;
    }
    return length;
}

// FNV-1a over the UTF-16 units.
std::uint64_t Hash64(std::wstring_view text, std::uint64_t hash = 14695981039346656037ull) {
    for (const wchar_t c : text) {
        hash ^= static_cast<std::uint16_t>(c);
        hash *= 1099511628211ull;
    }
    return hash;
}

void AppendHex(std::wstring& text, std::uint64_t value, std::size_t digits) {
    for (std::size_t i = digits; i-- > 0;) text.push_back(kHex[(value >> (4 * i)) & 0xF]);
}

// The check value of a temporary name: a hash of the name before it and of the unique part.
std::uint32_t CheckValue(std::wstring_view base, std::wstring_view uniqueDigits) {
    constexpr std::wstring_view kSalt = L"Copperfold temporary copy";
    const std::uint64_t hash = Hash64(uniqueDigits, Hash64(base, Hash64(kSalt)));
    return static_cast<std::uint32_t>(hash ^ (hash >> 32));
}

bool IsLowerHex(std::wstring_view text) {
    for (const wchar_t c : text) {
        if (!((c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f'))) return false;
    }
    return true;
}

}  // namespace

std::wstring PartialFileName(std::wstring_view destinationName, std::uint32_t unique) {
    std::wstring name;
    if (Utf8Length(destinationName) + kAddedLength <= kNameLimitUtf8) {
        name = destinationName;
    } else {
        name = L"~cf";
        AppendHex(name, Hash64(destinationName), 16);
    }
    const std::size_t baseLength = name.size();
    name.append(kMarker);
    AppendHex(name, unique, 8);
    const std::wstring_view uniqueDigits = std::wstring_view(name).substr(name.size() - 8);
    AppendHex(name, CheckValue(std::wstring_view(name).substr(0, baseLength), uniqueDigits), 8);
    name.append(kSuffix);
    return name;
}

bool IsPartialFileName(std::wstring_view name) {
    if (name.size() < kAddedLength || name.substr(name.size() - kSuffix.size()) != kSuffix) return false;
    const std::size_t baseLength = name.size() - kAddedLength;
    if (name.substr(baseLength, kMarker.size()) != kMarker) return false;
    const std::wstring_view digits = name.substr(baseLength + kMarker.size(), kHexDigits);
    if (!IsLowerHex(digits)) return false;
    std::wstring expected;
    AppendHex(expected, CheckValue(name.substr(0, baseLength), digits.substr(0, 8)), 8);
    return digits.substr(8) == expected;
}

}  // namespace copperfold
