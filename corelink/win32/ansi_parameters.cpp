#include "ansi_parameters.h"

#include <windows.h>

#include <cwchar>

namespace corelink::com {
namespace {

// The 8-bit form of `text` in the system code page; nothing when a character would be lost or
// replaced by a best fit.
std::optional<std::string> Narrow(const wchar_t* text) {
    const std::size_t length = std::wcslen(text);
    if (length == 0) return std::string();
    if (length > 0x7FFFFFF) return std::nullopt;
    const int wideLength = static_cast<int>(length);
    BOOL usedDefault = FALSE;
    const int needed = ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text, wideLength, nullptr, 0, nullptr,
                                             &usedDefault);
    if (needed <= 0 || usedDefault) return std::nullopt;
    std::string narrow(static_cast<std::size_t>(needed), '\0');
    if (::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text, wideLength, narrow.data(), needed, nullptr,
                              &usedDefault) != needed ||
        usedDefault) {
        return std::nullopt;
    }
    return narrow;
}

}  // namespace

AnsiParameters::AnsiParameters(const VolkernParameters& wideBlock) : block_(wideBlock) {
    block_.path = Adopt(path_, wideBlock.path);
    block_.label = Adopt(label_, wideBlock.label);
    block_.oemName = Adopt(oemName_, wideBlock.oemName);
}

const char* AnsiParameters::Adopt(std::optional<std::string>& storage, const char* wideField) {
    if (wideField == nullptr) return nullptr;
    // The field's type is the library's; in a "W" block it holds a wide string.
    storage = Narrow(reinterpret_cast<const wchar_t*>(wideField));
    if (!storage) {
        valid_ = false;
        return nullptr;
    }
    return storage->c_str();
}

void AnsiParameters::ReturnResults(VolkernParameters& wideBlock) const {
    wideBlock.status = block_.status;
    wideBlock.rootSector = block_.rootSector;
}

}  // namespace corelink::com
