#include "registry_changes.h"

#include <algorithm>
#include <cstdio>

namespace rig {
namespace {

constexpr std::string_view kHeaderLine = "RIGREGISTRY 1";
// Keys the system always has, whether or not they hold values.
constexpr const char* kStandingKeys[] = {"SYSTEM\\CurrentControlSet\\Control\\usbflags",
                                         "SYSTEM\\CurrentControlSet\\Enum\\USBSTOR"};
constexpr std::string_view kSystemEnumPrefix = "system\\currentcontrolset\\enum\\";

bool HasControlCharacters(std::string_view text) {
    return std::any_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; });
}

bool IsUnder(const std::string& lowerKey, const std::string& lowerAncestor) {
    return lowerKey.size() > lowerAncestor.size() && lowerKey.compare(0, lowerAncestor.size(), lowerAncestor) == 0 &&
           lowerKey[lowerAncestor.size()] == '\\';
}

std::vector<std::string_view> SplitTabs(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    while (true) {
        const std::size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab == std::string_view::npos ? std::string_view::npos : tab - start));
        if (tab == std::string_view::npos) return fields;
        start = tab + 1;
    }
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool ParseHex(std::string_view text, std::vector<std::uint8_t>& bytes) {
    if (text.size() % 2 != 0 || text.size() / 2 > kMaxRegistryValueSize) return false;
    bytes.clear();
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const int high = HexDigit(text[i]);
        const int low = HexDigit(text[i + 1]);
        if (high < 0 || low < 0) return false;
        bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
    }
    return true;
}

bool ParseType(std::string_view text, std::uint32_t& type) {
    if (text.empty() || text.size() > 10 || (text.size() > 1 && text[0] == '0')) return false;  // as written
    std::uint64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    if (value > 0xFFFFFFFFu) return false;
    type = static_cast<std::uint32_t>(value);
    return true;
}

}  // namespace

bool StorableRegistryKey(const std::string& key) {
    if (key.empty() || key.size() > kMaxRegistryPath || HasControlCharacters(key)) return false;
    return key.front() != '\\' && key.back() != '\\' && key.find("\\\\") == std::string::npos;
}

bool StorableValueName(const std::string& name) {
    return name.size() <= kMaxRegistryPath && !HasControlCharacters(name);
}

std::string RegistryChangesHeader() { return std::string(kHeaderLine) + "\n"; }

std::string FormatRegistryChange(const RegistryChange& change) {
    switch (change.kind) {
        case RegistryChange::Kind::DeleteKey: return "delete\t" + change.key + "\n";
        case RegistryChange::Kind::Grant: return "grant\t" + change.key + "\n";
        case RegistryChange::Kind::SetValue: break;
    }
    std::string line = "set\t" + change.key + "\t" + change.name + "\t" + std::to_string(change.type) + "\t";
    char byte[3];
    for (const std::uint8_t b : change.data) {
        std::snprintf(byte, sizeof byte, "%02X", b);
        line += byte;
    }
    return line + "\n";
}

bool ParseRegistryChanges(std::string_view text, std::vector<RegistryChange>& changes, std::string& error) {
    changes.clear();
    if (text.size() > kMaxRegistryChangesSize) {
        error = "the registry changes file is larger than 1 MiB";
        return false;
    }
    std::size_t lineNumber = 0;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = text.find('\n', at);
        if (end == std::string_view::npos) {
            error = "line " + std::to_string(lineNumber + 1) + ": the last line has no line end";
            return false;
        }
        const std::string_view line = text.substr(at, end - at);
        at = end + 1;
        ++lineNumber;
        const auto fail = [&](const char* why) {
            error = "line " + std::to_string(lineNumber) + ": " + why;
            return false;
        };
        if (lineNumber == 1) {
            if (line != kHeaderLine) return fail("not a registry changes file");
            continue;
        }
        const auto fields = SplitTabs(line);
        RegistryChange change;
        if (fields[0] == "delete" || fields[0] == "grant") {
            if (fields.size() != 2) return fail("a key deletion or grant has one field");
            change.kind = fields[0] == "delete" ? RegistryChange::Kind::DeleteKey : RegistryChange::Kind::Grant;
            change.key = std::string(fields[1]);
        } else if (fields[0] == "set") {
            if (fields.size() != 5) return fail("a value has four fields");
            change.kind = RegistryChange::Kind::SetValue;
            change.key = std::string(fields[1]);
            change.name = std::string(fields[2]);
            if (!StorableValueName(change.name)) return fail("bad value name");
            if (!ParseType(fields[3], change.type)) return fail("bad value type");
            if (!ParseHex(fields[4], change.data)) return fail("bad value bytes");
        } else {
            return fail("unknown change");
        }
        if (!StorableRegistryKey(change.key)) return fail("bad key");
        changes.push_back(std::move(change));
    }
    if (lineNumber == 0 && !text.empty()) {
        error = "not a registry changes file";
        return false;
    }
    return true;
}

RegistryImage::RegistryImage(const std::vector<RegistryEntry>& base, const std::vector<RegistryChange>& changes) {
    for (const char* key : kStandingKeys) AddKey(key);
    for (const RegistryEntry& entry : base) {
        AddKey(entry.key);
        entries_.push_back(entry);
    }
    for (const RegistryChange& change : changes) Apply(change);
}

void RegistryImage::AddKey(const std::string& key) {
    for (std::size_t end = 0; end != std::string::npos;) {
        end = key.find('\\', end + 1);
        const std::string ancestor = key.substr(0, end);
        const std::string lower = LowerAscii(ancestor);
        if (std::none_of(keys_.begin(), keys_.end(), [&](const std::string& k) { return LowerAscii(k) == lower; })) {
            keys_.push_back(ancestor);
        }
    }
}

void RegistryImage::Apply(const RegistryChange& change) {
    const std::string lower = LowerAscii(change.key);
    const auto inTree = [&](const std::string& key) {
        const std::string k = LowerAscii(key);
        return k == lower || IsUnder(k, lower);
    };
    switch (change.kind) {
        case RegistryChange::Kind::DeleteKey:
            std::erase_if(keys_, inTree);
            std::erase_if(entries_, [&](const RegistryEntry& entry) { return inTree(entry.key); });
            std::erase_if(granted_, inTree);
            return;
        case RegistryChange::Kind::Grant:
            if (!std::any_of(granted_.begin(), granted_.end(), [&](auto& k) { return LowerAscii(k) == lower; })) {
                granted_.push_back(change.key);
            }
            return;
        case RegistryChange::Kind::SetValue: {
            AddKey(change.key);
            for (RegistryEntry& entry : entries_) {
                if (EqualsIgnoreCase(entry.key, change.key) && EqualsIgnoreCase(entry.name, change.name)) {
                    entry.type = change.type;
                    entry.data = change.data;
                    return;
                }
            }
            entries_.push_back({change.key, change.name, change.type, change.data});
            return;
        }
    }
}

bool RegistryImage::KeyExists(const std::string& key) const {
    const std::string lower = LowerAscii(key);
    return std::any_of(keys_.begin(), keys_.end(), [&](const std::string& k) { return LowerAscii(k) == lower; });
}

std::vector<std::string> RegistryImage::Subkeys(const std::string& key) const {
    const std::string lower = LowerAscii(key);
    std::vector<std::string> names;
    for (const std::string& k : keys_) {
        const std::string candidate = LowerAscii(k);
        if (!IsUnder(candidate, lower)) continue;
        const std::string rest = k.substr(key.size() + 1);
        if (rest.find('\\') == std::string::npos) names.push_back(rest);
    }
    return names;
}

bool RegistryImage::Protected(const std::string& key) const {
    const std::string lower = LowerAscii(key);
    if (lower.compare(0, kSystemEnumPrefix.size(), kSystemEnumPrefix) != 0) return false;
    return std::none_of(granted_.begin(), granted_.end(), [&](const std::string& k) { return LowerAscii(k) == lower; });
}

}  // namespace rig
