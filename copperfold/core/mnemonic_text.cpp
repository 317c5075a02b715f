#include "mnemonic_text.h"

namespace copperfold {

std::wstring WithoutMnemonic(std::wstring_view text) {
    std::wstring plain;
    plain.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != L'&') {
            plain += text[i];
        } else if (i + 1 < text.size() && text[i + 1] == L'&') {
            plain += L'&';
            ++i;
        }
    }
    return plain;
}

}  // namespace copperfold
