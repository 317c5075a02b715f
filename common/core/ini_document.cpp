#include "ini_document.h"

#include "case_fold.h"

#include <iterator>
#include <utility>

namespace common {

bool IsProfileSpace(wchar_t c) {
    return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n' || c == L'\v' || c == L'\f' ||
           c == 0x1A;
}

std::wstring_view TrimProfileSpace(std::wstring_view text) {
    while (!text.empty() && IsProfileSpace(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsProfileSpace(text.back())) text.remove_suffix(1);
    return text;
}

std::optional<IniLine> ParseEntryLine(std::wstring_view raw, std::wstring* sectionName) {
    const std::wstring_view line = TrimProfileSpace(raw);
    IniLine result;
    result.raw = std::wstring(raw);
    if (line.empty()) {
        result.blank = true;
        return result;
    }
    if (line.front() == L'[') {
        const size_t close = line.rfind(L']');
        if (close != std::wstring_view::npos && close > 0) {
            if (sectionName) *sectionName = std::wstring(TrimProfileSpace(line.substr(1, close - 1)));
            return std::nullopt;
        }
    }
    // Name and value are views into `raw`: their places in it are kept.
    const auto placeIn = [&](std::wstring_view part, size_t& at, size_t& length) {
        at = static_cast<size_t>(part.data() - raw.data());
        length = part.size();
    };
    const size_t equals = line.find(L'=');
    if (equals == std::wstring_view::npos) {
        placeIn(line, result.nameAt, result.nameLength);
    } else {
        placeIn(TrimProfileSpace(line.substr(0, equals)), result.nameAt, result.nameLength);
        placeIn(TrimProfileSpace(line.substr(equals + 1)), result.valueAt, result.valueLength);
        result.hasValue = true;
    }
    return result;
}

IniDocument IniDocument::Parse(std::wstring_view text) {
    IniDocument document;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = pos;
        while (end < text.size() && text[end] != L'\r' && text[end] != L'\n') ++end;
        const std::wstring_view raw = text.substr(pos, end - pos);
        pos = end;
        if (pos < text.size() && text[pos] == L'\r') ++pos;
        if (end < text.size() && text[end] == L'\r' && pos < text.size() && text[pos] == L'\n') ++pos;
        else if (end < text.size() && text[end] == L'\n') ++pos;

        std::wstring sectionName;
        if (auto entry = ParseEntryLine(raw, &sectionName)) {
            document.sections_.back().lines.push_back(std::move(*entry));
        } else {
            document.sections_.push_back({std::move(sectionName), std::wstring(raw), {}});
        }
    }
    return document;
}

std::wstring IniDocument::Serialize() const {
    constexpr size_t kLineBreak = 2;
    size_t size = 0;
    for (const IniSection& section : sections_) {
        if (section.header) size += section.header->size() + kLineBreak;
        for (const IniLine& line : section.lines) size += line.raw.size() + kLineBreak;
    }
    std::wstring out;
    out.reserve(size);
    for (const IniSection& section : sections_) {
        if (section.header) out.append(*section.header).append(L"\r\n");
        for (const IniLine& line : section.lines) out.append(line.raw).append(L"\r\n");
    }
    return out;
}

const IniSection* IniDocument::FindSection(std::wstring_view name) const {
    name = TrimProfileSpace(name);
    for (const IniSection& section : sections_) {
        if ((section.header || name.empty()) && EqualsIgnoreCase(section.name, name)) return &section;
    }
    return nullptr;
}

IniSection* IniDocument::FindSection(std::wstring_view name) {
    return const_cast<IniSection*>(std::as_const(*this).FindSection(name));
}

namespace {

template <typename Section>
auto FindLine(Section& section, std::wstring_view key) -> decltype(&section.lines.front()) {
    key = TrimProfileSpace(key);
    for (auto& line : section.lines) {
        if (!line.blank && EqualsIgnoreCase(line.Name(), key)) return &line;
    }
    return nullptr;
}

}  // namespace

std::optional<std::wstring_view> IniDocument::FindValue(std::wstring_view section,
                                                        std::wstring_view key) const {
    const IniSection* found = FindSection(section);
    if (!found) return std::nullopt;
    const IniLine* line = FindLine(*found, key);
    if (!line) return std::nullopt;
    return line->Value();
}

bool IniDocument::HasSection(std::wstring_view section) const { return FindSection(section) != nullptr; }

std::vector<std::wstring> IniDocument::KeyNames(std::wstring_view section) const {
    std::vector<std::wstring> names;
    const IniSection* found = FindSection(section);
    if (!found) return names;
    for (const IniLine& line : found->lines) {
        const std::wstring_view name = line.Name();
        if (line.blank || !line.hasValue || name.empty() || name.front() == L';') continue;
        names.emplace_back(name);
    }
    return names;
}

bool IniDocument::Set(std::wstring_view section, std::wstring_view key, std::wstring_view value) {
    key = TrimProfileSpace(key);
    while (!value.empty() && IsProfileSpace(value.front())) value.remove_prefix(1);

    IniSection* target = FindSection(section);
    if (!target) {
        const std::wstring name(TrimProfileSpace(section));
        sections_.push_back({name, L"[" + name + L"]", {}});
        target = &sections_.back();
    }
    // "name=value": the value starts right after '=' (its leading blanks are gone) and is
    // kept without its trailing ones.
    const auto makeEntry = [&](std::wstring_view name) {
        IniLine line;
        line.raw.reserve(name.size() + 1 + value.size());
        line.raw.append(name).append(1, L'=').append(value);
        line.nameLength = name.size();
        line.hasValue = true;
        line.valueAt = name.size() + 1;
        line.valueLength = TrimProfileSpace(value).size();
        return line;
    };
    if (IniLine* line = FindLine(*target, key)) {
        if (line->Value() == value) return false;
        *line = makeEntry(std::wstring(line->Name()));
        return true;
    }
    IniLine line = makeEntry(key);
    // New entries go after the last non-blank line of the section, so blank lines that
    // separate it from the next section stay where they are.
    auto insertAt = target->lines.end();
    while (insertAt != target->lines.begin() && std::prev(insertAt)->blank) --insertAt;
    target->lines.insert(insertAt, std::move(line));
    return true;
}

bool IniDocument::DeleteSection(std::wstring_view section) {
    section = TrimProfileSpace(section);
    for (auto it = sections_.begin() + 1; it != sections_.end(); ++it) {
        if (EqualsIgnoreCase(it->name, section)) {
            sections_.erase(it);
            return true;
        }
    }
    return false;
}

}  // namespace common
