#include "folder_index.h"

#include "../../common/core/case_fold.h"

namespace copperfold {

FolderIndex::FolderIndex(const std::vector<FileEntry>& entries, const Ignored& ignored) : entries_(entries) {
    byName_.reserve(entries_.size());
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        const auto [it, added] = byName_.try_emplace(common::UpperCased(entries_[i].name), Named{i, {}});
        if (added || (ignored && ignored(entries_[i]))) continue;
        Named& named = it->second;
        if (ignored && ignored(entries_[named.entry])) {
            named.entry = i;  // the first the walks act on
        } else {
            if (named.clash.empty()) named.clash.push_back(named.entry);
            named.clash.push_back(i);
        }
    }
}

const FolderIndex::Named* FolderIndex::Lookup(std::wstring_view name) const {
    const auto it = byName_.find(common::UpperCased(name));
    return it == byName_.end() ? nullptr : &it->second;
}

const FileEntry* FolderIndex::Find(std::wstring_view name) const {
    const Named* named = Lookup(name);
    return named && named->clash.empty() ? &entries_[named->entry] : nullptr;
}

std::vector<std::wstring> FolderIndex::Clash(std::wstring_view name) const {
    std::vector<std::wstring> names;
    if (const Named* named = Lookup(name)) {
        for (const std::size_t i : named->clash) names.push_back(entries_[i].name);
    }
    return names;
}

bool NameRefusedByTheSystem(std::wstring_view name) {
    for (const wchar_t c : name) {
        if (c < 0x20) return true;
        switch (c) {
        case L'\\':
        case L'/':
        case L':':
        case L'*':
        case L'?':
        case L'"':
        case L'<':
        case L'>':
        case L'|':
            return true;
        default:
            break;
        }
    }
    return false;
}

std::wstring NameList(const std::vector<std::wstring>& names) {
    std::wstring list;
    for (const std::wstring& name : names) list += (list.empty() ? L"" : L", ") + name;
    return list;
}

}  // namespace copperfold
