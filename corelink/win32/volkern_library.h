#pragma once
// Volkern.dll, the file-system library, loaded for one call and let go again when the scope ends.
// It is loaded from the component's own folder (where it is installed beside it), never from a
// folder the search order would add, such as the current directory.

#include <windows.h>

namespace corelink::com {

class VolkernLibrary {
public:
    VolkernLibrary() noexcept;
    ~VolkernLibrary();
    VolkernLibrary(const VolkernLibrary&) = delete;
    VolkernLibrary& operator=(const VolkernLibrary&) = delete;

    bool Loaded() const noexcept { return module_ != nullptr; }
    // The system's error when loading or the last lookup failed.
    DWORD Error() const noexcept { return error_; }

    // The entry point `name` as `Function`; null (and Error() set) when the library lacks it.
    template <typename Function>
    Function Find(const char* name) noexcept {
        FARPROC found = ::GetProcAddress(module_, name);
        if (found == nullptr) error_ = ::GetLastError();
        return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(found));
    }

private:
    HMODULE module_ = nullptr;
    DWORD error_ = 0;
};

}  // namespace corelink::com
