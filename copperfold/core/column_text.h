#pragma once
// The label of a column tree's item holds the texts of all its columns, each followed by one
// tab character: "source\ttarget\tBackup\t". A label without a tab is column 0 alone.

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>

namespace copperfold {

inline constexpr wchar_t kColumnSeparator = L'\t';

// Field `column` of the label; empty when the label has fewer fields.
std::wstring_view ColumnField(std::wstring_view label, std::size_t column);

// The label rebuilt with `columnCount` fields: field `column` is `text`, every other field is
// the label's own (empty when it has none), and each field is followed by a tab. A tab inside
// `text` would shift the columns after it, so it is written as a blank.
std::wstring ReplaceColumnField(std::wstring_view label, std::size_t column, std::wstring_view text,
                                std::size_t columnCount);

// A label of the given fields, each followed by a tab.
std::wstring JoinColumnFields(std::initializer_list<std::wstring_view> fields);

}  // namespace copperfold
