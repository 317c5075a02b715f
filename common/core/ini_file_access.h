#pragma once
// How CIniFile reaches the file system: whole-file reads and atomic whole-file replacement.
// The Windows build uses the platform's file calls, the host build POSIX calls, and tests
// may inject failures.

#include <memory>
#include <string>
#include <string_view>

#include "text_codec.h"

namespace common {

struct FileBytes {
    enum class Status { Ok, Missing, Unreadable };
    Status status = Status::Missing;
    std::string bytes;
};

class IniFileAccess {
public:
    virtual ~IniFileAccess() = default;
    virtual FileBytes Read(const std::wstring& path) const = 0;
    // Writes the bytes to a temporary file in the same folder, flushes it and renames it over
    // the file. Returns false when any step fails; the previous file is then left intact.
    virtual bool ReplaceAtomically(const std::wstring& path, std::string_view bytes) = 0;
    virtual const CodePage& SystemCodePage() const = 0;
};

// The platform's implementation (defined in the platform's own source file).
std::shared_ptr<IniFileAccess> PlatformIniFileAccess();

}  // namespace common
