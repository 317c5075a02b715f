#include "column_text.h"

#include <algorithm>

namespace copperfold {

std::wstring_view ColumnField(std::wstring_view label, std::size_t column) {
    for (std::size_t i = 0; i < column; ++i) {
        const std::size_t tab = label.find(kColumnSeparator);
        if (tab == std::wstring_view::npos) return {};
        label.remove_prefix(tab + 1);
    }
    return label.substr(0, label.find(kColumnSeparator));
}

namespace {

void AppendField(std::wstring& label, std::wstring_view field) {
    const std::size_t start = label.size();
    label += field;
    std::replace(label.begin() + static_cast<std::ptrdiff_t>(start), label.end(), kColumnSeparator, L' ');
    label += kColumnSeparator;
}

}  // namespace

std::wstring ReplaceColumnField(std::wstring_view label, std::size_t column, std::wstring_view text,
                                std::size_t columnCount) {
    std::wstring rebuilt;
    for (std::size_t i = 0; i < columnCount; ++i) AppendField(rebuilt, i == column ? text : ColumnField(label, i));
    return rebuilt;
}

std::wstring JoinColumnFields(std::initializer_list<std::wstring_view> fields) {
    std::wstring label;
    for (const std::wstring_view field : fields) AppendField(label, field);
    return label;
}

}  // namespace copperfold
