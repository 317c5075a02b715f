#pragma once
// The text of a profile (INI) file as the platform's profile functions read and edit it.
//
// Reading rules: lines end at CR, LF or CRLF and are trimmed; a line starting with '[' that
// holds a ']' after it is a section header whose name runs to the last ']'; other non-blank
// lines are entries: the name is the text before the first '=' and the value the text after
// it, both trimmed; a line without '=' is an entry without a value (a lookup of it yields the
// default, listings skip it). Names match without regard to case; the first matching section
// and, within it, the first matching entry win.
//
// Editing keeps every line it does not change exactly as it was (comments, blank lines,
// spacing), so a file edited by hand survives our writes.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace common {

// One line: its text, and where its entry name and value lie within that text (kept as
// positions, so a line costs one string however it is used).
struct IniLine {
    std::wstring raw;  // the line as read or written, without its line break
    bool blank = false;
    bool hasValue = false;  // the line holds '='
    std::size_t nameAt = 0;
    std::size_t nameLength = 0;
    std::size_t valueAt = 0;
    std::size_t valueLength = 0;

    // The entry name (trimmed); empty for blank lines.
    std::wstring_view Name() const { return std::wstring_view(raw).substr(nameAt, nameLength); }
    // The entry value (trimmed); the empty optional for a line without '='.
    std::optional<std::wstring_view> Value() const {
        if (!hasValue) return std::nullopt;
        return std::wstring_view(raw).substr(valueAt, valueLength);
    }
};

struct IniSection {
    std::wstring name;                 // empty for the lines before the first header
    std::optional<std::wstring> header;  // raw header line; empty for the leading block
    std::vector<IniLine> lines;
};

class IniDocument {
public:
    static IniDocument Parse(std::wstring_view text);
    std::wstring Serialize() const;  // CRLF after every line

    // The value of the first matching entry, as stored (quotes not yet removed).
    std::optional<std::wstring_view> FindValue(std::wstring_view section, std::wstring_view key) const;
    bool HasSection(std::wstring_view section) const;
    // Entry names with a value, in file order, skipping comment (';') and empty names.
    std::vector<std::wstring> KeyNames(std::wstring_view section) const;

    // Sets the first matching entry or appends "key=value" to the section (appending the
    // section "[section]" to the file when missing). Returns false when nothing changed.
    bool Set(std::wstring_view section, std::wstring_view key, std::wstring_view value);
    // Deletes the first matching section with all its lines. Returns false when absent.
    bool DeleteSection(std::wstring_view section);

private:
    const IniSection* FindSection(std::wstring_view name) const;
    IniSection* FindSection(std::wstring_view name);

    std::vector<IniSection> sections_{1};  // sections_[0] holds the lines before any header
};

// White space as the profile functions see it (including the end-of-file mark 0x1A).
bool IsProfileSpace(wchar_t c);
std::wstring_view TrimProfileSpace(std::wstring_view text);

// Parses one line. The empty optional means a section header, whose name is then stored in
// *sectionName when given.
std::optional<IniLine> ParseEntryLine(std::wstring_view raw, std::wstring* sectionName = nullptr);

}  // namespace common
