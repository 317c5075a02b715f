#include "volume_quirks.h"

namespace copperfold {

std::size_t VolumeQuirks::Slot(std::wstring_view path) {
    if (path.starts_with(L"\\\\?\\") || path.starts_with(L"\\\\.\\")) path.remove_prefix(4);
    if (path.size() >= 2 && path[1] == L':') {
        const wchar_t letter = path[0];
        if (letter >= L'A' && letter <= L'Z') return static_cast<std::size_t>(letter - L'A');
        if (letter >= L'a' && letter <= L'z') return static_cast<std::size_t>(letter - L'a');
    }
    return kShares;
}

bool VolumeQuirks::Has(std::wstring_view path, Flag flag) const { return (flags_[Slot(path)].load() & flag) != 0; }

bool VolumeQuirks::Mark(std::wstring_view path, Flag flag) {
    return (flags_[Slot(path)].fetch_or(flag) & flag) == 0;
}

std::vector<std::wstring> VolumeQuirks::Notes() const {
    std::vector<std::wstring> notes;
    for (std::size_t slot = 0; slot < flags_.size(); ++slot) {
        const std::uint8_t flags = flags_[slot].load();
        const std::wstring volume =
            slot == kShares ? std::wstring(L"A network drive") : L"Drive " + std::wstring(1, static_cast<wchar_t>(L'A' + slot)) + L":";
        if (flags & kKeepsNoAttributes) {
            notes.push_back(volume + L" keeps no file attributes (read-only, hidden): files were copied to it without them.");
        }
        if (flags & kKeepsNoTimes) {
            notes.push_back(volume + L" did not keep the last-write times given to files copied to it.");
        }
    }
    return notes;
}

}  // namespace copperfold
