#include "job_paths.h"

#include <vector>

#include "../../common/core/case_fold.h"

namespace copperfold {
namespace {

constexpr std::wstring_view kExtendedPrefix = L"\\\\?\\";
constexpr std::wstring_view kExtendedUncPrefix = L"\\\\?\\UNC\\";

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }
bool IsDriveLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

bool StartsWith(std::wstring_view text, std::wstring_view prefix) { return text.substr(0, prefix.size()) == prefix; }

bool StartsWithIgnoreCase(std::wstring_view text, std::wstring_view prefix) {
    return text.size() >= prefix.size() && common::EqualsIgnoreCase(text.substr(0, prefix.size()), prefix);
}

// "X:\" at the start of `path`.
bool IsDriveRooted(std::wstring_view path) {
    return path.size() >= 3 && IsDriveLetter(path[0]) && path[1] == L':' && IsSeparator(path[2]);
}

// Length of "server\share" at the start of `path` (after the two leading separators): both
// names present. 0 when either is missing.
std::size_t ServerShareLength(std::wstring_view path) {
    std::size_t server = 0;
    while (server < path.size() && !IsSeparator(path[server])) ++server;
    if (server == 0 || server >= path.size()) return 0;
    std::size_t share = server + 1;
    while (share < path.size() && !IsSeparator(path[share])) ++share;
    return share > server + 1 ? share : 0;
}

}  // namespace

std::size_t RootLength(std::wstring_view path) {
    if (StartsWith(path, kExtendedPrefix)) {
        const std::wstring_view rest = path.substr(kExtendedPrefix.size());
        if (IsDriveRooted(rest) && rest[2] == L'\\') return kExtendedPrefix.size() + 3;
        if (StartsWithIgnoreCase(rest, L"UNC\\")) {
            const std::size_t share = ServerShareLength(rest.substr(4));
            return share == 0 ? 0 : kExtendedUncPrefix.size() + share;
        }
        return 0;
    }
    if (IsDriveRooted(path)) return 3;
    if (path.size() > 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
        if (path[2] == L'?' || path[2] == L'.') {
            // "\\?" and "\\." begin the system's own namespaces, no server names.
            if (path.size() == 3 || IsSeparator(path[3])) return 0;
        }
        const std::size_t share = ServerShareLength(path.substr(2));
        return share == 0 ? 0 : 2 + share;
    }
    return 0;
}

bool IsFullJobPath(std::wstring_view path) { return RootLength(path) != 0; }

std::wstring PlatformFullPath(std::wstring_view path) {
    const std::size_t rootLength = RootLength(path);
    if (rootLength == 0 || StartsWith(path, kExtendedPrefix)) return std::wstring(path);

    std::wstring root(path.substr(0, rootLength));
    for (wchar_t& c : root) {
        if (c == L'/') c = L'\\';
    }
    const bool driveRoot = root.back() == L'\\';
    std::vector<std::wstring> parts;
    bool endsWithSeparator = false;
    std::size_t position = rootLength;
    while (position < path.size()) {
        std::size_t end = position;
        while (end < path.size() && !IsSeparator(path[end])) ++end;
        std::wstring part(path.substr(position, end - position));
        const bool last = end >= path.size();
        if (!part.empty()) {
            if (part == L".") {
                // nothing: the folder itself
            } else if (part == L"..") {
                if (!parts.empty()) parts.pop_back();
            } else if (!last) {
                if (part.back() == L'.') part.pop_back();
                if (!part.empty()) parts.push_back(std::move(part));
            } else {
                while (!part.empty() && (part.back() == L'.' || part.back() == L' ')) part.pop_back();
                if (!part.empty()) {
                    parts.push_back(std::move(part));
                } else {
                    endsWithSeparator = true;  // the blanks and dots are gone, the separator stays
                }
            }
        }
        if (last) break;
        position = end + 1;
        if (position >= path.size()) endsWithSeparator = true;
    }

    std::wstring result = root;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i > 0 || !driveRoot) result.push_back(L'\\');
        result.append(parts[i]);
    }
    if (endsWithSeparator && !parts.empty()) result.push_back(L'\\');
    if (!driveRoot && parts.empty() && endsWithSeparator) result.push_back(L'\\');
    return result;
}

std::wstring ComparablePath(std::wstring_view path) {
    std::wstring result;
    if (StartsWithIgnoreCase(path, kExtendedUncPrefix)) {
        result = L"\\\\";
        path.remove_prefix(kExtendedUncPrefix.size());
    } else if (StartsWith(path, kExtendedPrefix)) {
        path.remove_prefix(kExtendedPrefix.size());
    }
    result.reserve(result.size() + path.size());
    for (wchar_t c : path) result.push_back(c == L'/' ? L'\\' : common::ToUpperSimple(c));
    while (!result.empty() && result.back() == L'\\') result.pop_back();
    return result;
}

bool InsideOrSame(std::wstring_view inner, std::wstring_view outer) {
    if (inner.size() < outer.size() || inner.substr(0, outer.size()) != outer) return false;
    return inner.size() == outer.size() || inner[outer.size()] == L'\\';
}

bool InsideEachOther(std::wstring_view a, std::wstring_view b) { return InsideOrSame(a, b) || InsideOrSame(b, a); }

}  // namespace copperfold
