#include "volkern_library.h"

#include <string>

#include "debug_trace.h"
#include "module.h"

namespace corelink::com {
namespace {

// "Volkern.dll" in the folder of the component's own file; empty when that cannot be read.
std::wstring LibraryPath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(ModuleHandle(), path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        if (path.size() >= 32768) return {};
        path.resize(path.size() * 2);
    }
    const std::size_t slash = path.find_last_of(L"\\/");
    if (slash == std::wstring::npos) return {};
    return path.substr(0, slash + 1) + L"Volkern.dll";
}

}  // namespace

VolkernLibrary::VolkernLibrary() noexcept {
    try {
        const std::wstring path = LibraryPath();
        if (path.empty()) {
            error_ = ::GetLastError() != 0 ? ::GetLastError() : ERROR_MOD_NOT_FOUND;
        } else {
            module_ = ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
            if (module_ == nullptr) error_ = ::GetLastError();
        }
    } catch (...) {
        error_ = ERROR_NOT_ENOUGH_MEMORY;
    }
    if (module_ == nullptr) Trace("Load Volkern.dll fail");
}

VolkernLibrary::~VolkernLibrary() {
    if (module_ != nullptr) ::FreeLibrary(module_);
}

}  // namespace corelink::com
