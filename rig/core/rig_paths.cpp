#include "rig_paths.h"

namespace rig {
namespace {

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

char SeparatorOf(std::string_view folder) {
    const auto last = folder.find_last_of("/\\");
    if (last != std::string_view::npos) return folder[last];
    // "C:" alone is a Windows folder.
    return folder.size() == 2 && folder[1] == ':' ? '\\' : '/';
}

}  // namespace

bool IsAbsolutePath(std::string_view path) {
    if (!path.empty() && IsSeparator(path[0])) return true;
    return path.size() >= 2 && path[1] == ':' &&
           ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
}

std::string FolderOf(std::string_view path) {
    const auto last = path.find_last_of("/\\");
    if (last == std::string_view::npos) {
        return path.size() >= 2 && path[1] == ':' ? std::string(path.substr(0, 2)) : std::string();
    }
    if (last == 0) return std::string(path.substr(0, 1));  // the root "/"
    return std::string(path.substr(0, last));
}

std::string StemOf(std::string_view path) {
    const auto last = path.find_last_of("/\\");
    std::string_view name = last == std::string_view::npos ? path : path.substr(last + 1);
    const auto dot = name.rfind('.');
    if (dot != std::string_view::npos && dot > 0) name = name.substr(0, dot);
    return std::string(name);
}

std::string ResolvePath(std::string_view folder, std::string_view path) {
    if (IsAbsolutePath(path) || folder.empty()) return std::string(path);
    std::string joined(folder);
    if (!IsSeparator(joined.back())) joined.push_back(SeparatorOf(folder));
    joined.append(path);
    return joined;
}

std::string BesidePath(std::string_view sibling, std::string_view name) {
    return ResolvePath(FolderOf(sibling), name);
}

}  // namespace rig
