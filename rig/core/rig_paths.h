#pragma once
// Path arithmetic on UTF-8 paths of either platform's form: "/" and "\" both separate, and
// "/x", "\x" and "C:..." are absolute. Relative paths in a rig file are taken from its folder.

#include <string>
#include <string_view>

namespace rig {

bool IsAbsolutePath(std::string_view path);
// The folder part with no trailing separator; empty for a bare name.
std::string FolderOf(std::string_view path);
// The last component without its final extension ("demo.rig" -> "demo").
std::string StemOf(std::string_view path);
// `path` when absolute, else `folder` + the separator `folder` uses + `path`.
std::string ResolvePath(std::string_view folder, std::string_view path);
// `name` placed in the folder of `sibling`.
std::string BesidePath(std::string_view sibling, std::string_view name);

}  // namespace rig
