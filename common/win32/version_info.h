#pragma once

#include <string>

namespace win32 {

// The "FileVersion" text of a file's version resource, taken from the language and code page
// of the first "\VarFileInfo\Translation" entry. Empty when the file or the value is missing.
std::wstring ReadFileVersion(const std::wstring& path);

}  // namespace win32
