#include "version_info.h"

#include <windows.h>

#include <cstdio>
#include <vector>

namespace win32 {

std::wstring ReadFileVersion(const std::wstring& path) {
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size == 0) return {};
    std::vector<unsigned char> block(size);
    if (!::GetFileVersionInfoW(path.c_str(), 0, size, block.data())) return {};

    struct LanguageAndCodePage {
        WORD language;
        WORD codePage;
    };
    LanguageAndCodePage* translation = nullptr;
    UINT translationSize = 0;
    if (!::VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation",
                          reinterpret_cast<void**>(&translation), &translationSize) ||
        translationSize < sizeof(LanguageAndCodePage)) {
        return {};
    }
    wchar_t query[64];
    std::swprintf(query, 64, L"\\StringFileInfo\\%04x%04x\\FileVersion", translation->language,
                  translation->codePage);
    wchar_t* value = nullptr;
    UINT length = 0;
    if (!::VerQueryValueW(block.data(), query, reinterpret_cast<void**>(&value), &length) || !value) {
        return {};
    }
    std::wstring text(value, length);
    return text.substr(0, text.find(L'\0'));
}

}  // namespace win32
