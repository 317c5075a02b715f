#include "ini_document.h"

#include "case_fold.h"

#include <algorithm>
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
    result.textLength = raw.size();
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
    document.text_.assign(text);
    // A line ends at CR LF, LF or a lone CR. The next CR and the next LF are each found by the
    // library's search, and searched for again only once passed.
    size_t nextReturn = text.find(L'\r');
    size_t nextFeed = text.find(L'\n');
    size_t pos = 0;
    while (pos < text.size()) {
        if (nextReturn < pos) nextReturn = text.find(L'\r', pos);
        if (nextFeed < pos) nextFeed = text.find(L'\n', pos);
        const size_t end = std::min({nextReturn, nextFeed, text.size()});
        const std::wstring_view raw = text.substr(pos, end - pos);
        const size_t lineAt = pos;
        pos = end;
        if (end < text.size()) {
            ++pos;
            if (text[end] == L'\r' && pos < text.size() && text[pos] == L'\n') ++pos;
        }

        std::wstring sectionName;
        if (auto entry = ParseEntryLine(raw, &sectionName)) {
            entry->textAt = lineAt;
            document.sections_.back().lines.push_back(*entry);
        } else {
            IniSection section;
            section.name = std::move(sectionName);
            section.hasHeader = true;
            section.headerAt = lineAt;
            section.headerLength = raw.size();
            document.sections_.push_back(std::move(section));
        }
    }
    return document;
}

std::wstring IniDocument::Serialize() const {
    constexpr size_t kLineBreak = 2;
    size_t size = 0;
    for (const IniSection& section : sections_) {
        if (section.hasHeader) size += section.headerLength + kLineBreak;
        for (const IniLine& line : section.lines) size += line.textLength + kLineBreak;
    }
    const std::wstring_view buffer(text_);
    std::wstring out;
    out.reserve(size);
    for (const IniSection& section : sections_) {
        if (section.hasHeader) out.append(buffer.substr(section.headerAt, section.headerLength)).append(L"\r\n");
        for (const IniLine& line : section.lines) out.append(line.Text(buffer)).append(L"\r\n");
    }
    return out;
}

std::size_t IniDocument::AppendText(std::wstring_view line) {
    const std::size_t at = text_.size();
    text_.append(line);
    return at;
}

const IniSection* IniDocument::FindSection(std::wstring_view name) const {
    name = TrimProfileSpace(name);
    for (const IniSection& section : sections_) {
        if ((section.hasHeader || name.empty()) && EqualsIgnoreCase(section.name, name)) return &section;
    }
    return nullptr;
}

IniSection* IniDocument::FindSection(std::wstring_view name) {
    return const_cast<IniSection*>(std::as_const(*this).FindSection(name));
}

namespace {

template <typename Section>
auto FindLine(Section& section, std::wstring_view buffer, std::wstring_view key) -> decltype(&section.lines.front()) {
    key = TrimProfileSpace(key);
    for (auto& line : section.lines) {
        if (!line.blank && EqualsIgnoreCase(line.Name(buffer), key)) return &line;
    }
    return nullptr;
}

}  // namespace

std::optional<std::wstring_view> IniDocument::FindValue(std::wstring_view section,
                                                        std::wstring_view key) const {
    const IniSection* found = FindSection(section);
    if (!found) return std::nullopt;
    const IniLine* line = FindLine(*found, text_, key);
    if (!line) return std::nullopt;
    return line->Value(text_);
}

bool IniDocument::HasSection(std::wstring_view section) const { return FindSection(section) != nullptr; }

std::vector<std::wstring> IniDocument::KeyNames(std::wstring_view section) const {
    std::vector<std::wstring> names;
    const IniSection* found = FindSection(section);
    if (!found) return names;
    for (const IniLine& line : found->lines) {
        const std::wstring_view name = line.Name(text_);
        if (line.blank || !line.hasValue || name.empty() || name.front() == L';') continue;
        names.emplace_back(name);
    }
    return names;
}

std::vector<std::wstring> IniDocument::SectionNames() const {
    std::vector<std::wstring> names;
    for (const IniSection& section : sections_) {
        if (!section.hasHeader || FindSection(section.name) != &section) continue;  // a later duplicate
        names.push_back(section.name);
    }
    return names;
}

bool IniDocument::Set(std::wstring_view section, std::wstring_view key, std::wstring_view value) {
    // Own copies: the caller's texts may be views into this document's buffer, which grows below.
    const std::wstring sectionText(section);
    const std::wstring keyText(TrimProfileSpace(key));
    std::wstring_view valueText = value;
    while (!valueText.empty() && IsProfileSpace(valueText.front())) valueText.remove_prefix(1);
    const std::wstring valueCopy(valueText);
    section = sectionText;
    key = keyText;
    value = valueCopy;

    IniSection* target = FindSection(section);
    if (!target) {
        IniSection added;
        added.name = std::wstring(TrimProfileSpace(section));
        added.hasHeader = true;
        added.headerLength = added.name.size() + 2;
        added.headerAt = AppendText(L"[");
        AppendText(added.name);
        AppendText(L"]");
        sections_.push_back(std::move(added));
        target = &sections_.back();
    }
    // "name=value": the value starts right after '=' (its leading blanks are gone) and is
    // kept without its trailing ones. The name is copied first: it may lie in the buffer.
    const auto makeEntry = [&](std::wstring name) {
        IniLine line;
        line.textAt = AppendText(name);
        AppendText(L"=");
        AppendText(value);
        line.textLength = name.size() + 1 + value.size();
        line.nameLength = name.size();
        line.hasValue = true;
        line.valueAt = name.size() + 1;
        line.valueLength = TrimProfileSpace(value).size();
        return line;
    };
    if (IniLine* line = FindLine(*target, text_, key)) {
        if (line->Value(text_) == value) return false;
        *line = makeEntry(std::wstring(line->Name(text_)));
        return true;
    }
    IniLine line = makeEntry(std::wstring(key));
    // New entries go after the last non-blank line of the section, so blank lines that
    // separate it from the next section stay where they are.
    auto insertAt = target->lines.end();
    while (insertAt != target->lines.begin() && std::prev(insertAt)->blank) --insertAt;
    target->lines.insert(insertAt, line);
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

bool IniDocument::CopySection(const IniDocument& from, std::wstring_view section) {
    const IniSection* source = from.FindSection(section);
    if (!source || !source->hasHeader || FindSection(section)) return false;
    const std::wstring_view buffer(from.text_);
    IniSection copy = *source;
    copy.headerAt = AppendText(buffer.substr(source->headerAt, source->headerLength));
    for (IniLine& line : copy.lines) line.textAt = AppendText(buffer.substr(line.textAt, line.textLength));
    sections_.push_back(std::move(copy));
    return true;
}

}  // namespace common
