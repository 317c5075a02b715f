#pragma once
// The folders of a job as the system sees them. A job names two folders by full path; before a
// run touches them they are put in the platform's full-path form (what its own file calls make
// of a path: "." and ".." resolved, runs of separators joined, trailing dots and blanks dropped
// as those calls drop them), since the extended-length form the copier uses takes every
// character literally. Containment of one folder in the other is judged on that form.

#include <string>
#include <string_view>

namespace copperfold {

// A drive letter with a backslash ("C:\..."), a network path ("\\server\share..."), or one of
// these in the extended-length form. Empty, relative and drive-relative paths ("C:x") are not;
// neither are device paths ("\\.\...").
bool IsFullJobPath(std::wstring_view path);

// The platform's full-path form of a full path, as its path calls make it: '/' read as '\',
// runs of separators joined (not the two that start a network path), "." dropped, ".." taking
// the component before it away (never the drive or share), one trailing dot dropped from each
// component followed by a separator, and every trailing dot and blank dropped from the last
// component when the path does not end with a separator. A path in the extended-length form is
// returned as it is: the system takes such paths literally.
std::wstring PlatformFullPath(std::wstring_view path);

// A full path in the form that compares containment: the extended-length prefix removed, case
// folded, no trailing separator.
std::wstring ComparablePath(std::wstring_view path);

// True when the comparable path `inner` is `outer` or lies inside it.
bool InsideOrSame(std::wstring_view inner, std::wstring_view outer);

// True when one comparable path is the other or lies inside it.
bool InsideEachOther(std::wstring_view a, std::wstring_view b);

// The length of the part of a full path no ".." can remove: "C:\" or "\\server\share"
// (with its prefix when in the extended-length form). 0 when the path is not full.
std::size_t RootLength(std::wstring_view path);

}  // namespace copperfold
