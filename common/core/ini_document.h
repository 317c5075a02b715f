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

// One line: where its text lies in the document's buffer, and where its entry name and value
// lie within that text (kept as positions, so the lines of a file share one string).
struct IniLine {
    std::size_t textAt = 0;  // the line as read or written, without its line break
    std::size_t textLength = 0;
    bool blank = false;
    bool hasValue = false;  // the line holds '='
    std::size_t nameAt = 0;
    std::size_t nameLength = 0;
    std::size_t valueAt = 0;
    std::size_t valueLength = 0;

    std::wstring_view Text(std::wstring_view buffer) const { return buffer.substr(textAt, textLength); }
    // The entry name (trimmed); empty for blank lines.
    std::wstring_view Name(std::wstring_view buffer) const { return Text(buffer).substr(nameAt, nameLength); }
    // The entry value (trimmed); the empty optional for a line without '='.
    std::optional<std::wstring_view> Value(std::wstring_view buffer) const {
        if (!hasValue) return std::nullopt;
        return Text(buffer).substr(valueAt, valueLength);
    }
};

struct IniSection {
    std::wstring name;         // empty for the lines before the first header
    bool hasHeader = false;    // false for the leading block
    std::size_t headerAt = 0;  // the raw header line in the document's buffer
    std::size_t headerLength = 0;
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
    // Names of the sections with a header, in file order, each once (the first spelling).
    std::vector<std::wstring> SectionNames() const;

    // Sets the first matching entry or appends "key=value" to the section (appending the
    // section "[section]" to the file when missing). Returns false when nothing changed.
    bool Set(std::wstring_view section, std::wstring_view key, std::wstring_view value);
    // Deletes the first matching section with all its lines. Returns false when absent.
    bool DeleteSection(std::wstring_view section);
    // Appends the first section of `from` named `section`, its header and every line exactly
    // as they stand there. Returns false, changing nothing, when this document already has
    // such a section or `from` has none.
    bool CopySection(const IniDocument& from, std::wstring_view section);

private:
    const IniSection* FindSection(std::wstring_view name) const;
    IniSection* FindSection(std::wstring_view name);

    // Appends a line's text to the buffer; returns where it starts.
    std::size_t AppendText(std::wstring_view line);

    std::wstring text_;                    // every line's text; edits append, nothing moves
    std::vector<IniSection> sections_{1};  // sections_[0] holds the lines before any header
};

// White space as the profile functions see it (including the end-of-file mark 0x1A).
bool IsProfileSpace(wchar_t c);
std::wstring_view TrimProfileSpace(std::wstring_view text);

// Parses one line; the result's positions are within `raw` (textAt 0). The empty optional
// means a section header, whose name is then stored in *sectionName when given.
std::optional<IniLine> ParseEntryLine(std::wstring_view raw, std::wstring* sectionName = nullptr);

}  // namespace common
