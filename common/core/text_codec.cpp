#include "text_codec.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace common {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDFFF; }

// Appends one code point (or one lone surrogate) to a wide string in the platform's form.
void AppendCodePoint(std::wstring& out, char32_t c) {
    if constexpr (sizeof(wchar_t) == 2) {
        if (c >= 0x10000) {
            c -= 0x10000;
            out.push_back(static_cast<wchar_t>(0xD800 + (c >> 10)));
            out.push_back(static_cast<wchar_t>(0xDC00 + (c & 0x3FF)));
            return;
        }
    }
    out.push_back(static_cast<wchar_t>(c));
}

// Reads the code point at text[i], advancing i. A lone surrogate is returned as itself.
char32_t NextCodePoint(std::wstring_view text, size_t& i) {
    char32_t c = static_cast<char32_t>(text[i++]);
    if constexpr (sizeof(wchar_t) == 2) {
        if (c >= 0xD800 && c <= 0xDBFF && i < text.size()) {
            const char32_t low = static_cast<char16_t>(text[i]);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                ++i;
                return 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
            }
        }
    }
    return c;
}

// Decodes UTF-8 from bytes[i], advancing i. Returns the empty optional for an invalid sequence
// (i then advances by one byte).
std::optional<char32_t> NextUtf8(std::string_view bytes, size_t& i) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(bytes[k]); };
    const unsigned char lead = byte(i);
    size_t length = 0;
    char32_t c = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
        ++i;
        return lead;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2; c = lead & 0x1F; minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3; c = lead & 0x0F; minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4; c = lead & 0x07; minimum = 0x10000;
    } else {
        ++i;
        return std::nullopt;
    }
    if (bytes.size() - i < length) {
        ++i;
        return std::nullopt;
    }
    for (size_t k = 1; k < length; ++k) {
        const unsigned char next = byte(i + k);
        if ((next & 0xC0) != 0x80) {
            ++i;
            return std::nullopt;
        }
        c = (c << 6) | (next & 0x3F);
    }
    if (c < minimum || c > 0x10FFFF || IsSurrogate(c)) {
        ++i;
        return std::nullopt;
    }
    i += length;
    return c;
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

std::wstring DecodeUtf16(std::string_view bytes, bool bigEndian) {
    std::wstring out;
    out.reserve(bytes.size() / 2);
    const size_t units = bytes.size() / 2;
    const auto unitAt = [&](size_t k) -> char32_t {
        const auto b0 = static_cast<unsigned char>(bytes[2 * k]);
        const auto b1 = static_cast<unsigned char>(bytes[2 * k + 1]);
        return bigEndian ? static_cast<char32_t>((b0 << 8) | b1) : static_cast<char32_t>((b1 << 8) | b0);
    };
    for (size_t k = 0; k < units; ++k) {
        char32_t c = unitAt(k);
        if (c >= 0xD800 && c <= 0xDBFF && k + 1 < units) {
            const char32_t low = unitAt(k + 1);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                ++k;
            }
        }
        AppendCodePoint(out, c);
    }
    return out;
}

std::string EncodeUtf16(std::wstring_view text, bool bigEndian) {
    std::string out;
    out.reserve(2 + text.size() * 2);
    const auto put = [&](char32_t unit) {
        const char hi = static_cast<char>((unit >> 8) & 0xFF);
        const char lo = static_cast<char>(unit & 0xFF);
        out.push_back(bigEndian ? hi : lo);
        out.push_back(bigEndian ? lo : hi);
    };
    put(0xFEFF);
    for (size_t i = 0; i < text.size();) {
        char32_t c = NextCodePoint(text, i);
        if (c >= 0x10000) {
            c -= 0x10000;
            put(0xD800 + (c >> 10));
            put(0xDC00 + (c & 0x3FF));
        } else {
            put(c);
        }
    }
    return out;
}

// Windows-1252: bytes 0x80..0x9F map to these characters; 0 marks the five undefined bytes,
// which decode to the C1 control of the same value (as the platform does).
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

class Windows1252 final : public CodePage {
public:
    std::wstring Decode(std::string_view bytes) const override {
        std::wstring out;
        out.reserve(bytes.size());
        for (const char ch : bytes) {
            const auto b = static_cast<unsigned char>(ch);
            const char16_t mapped = (b >= 0x80 && b <= 0x9F) ? kCp1252High[b - 0x80] : 0;
            out.push_back(static_cast<wchar_t>(mapped ? mapped : b));
        }
        return out;
    }

    std::optional<std::string> Encode(std::wstring_view text) const override {
        std::string out;
        out.reserve(text.size());
        for (const wchar_t wc : text) {
            const auto c = static_cast<char32_t>(wc);
            if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
                out.push_back(static_cast<char>(c));
                continue;
            }
            bool found = false;
            for (size_t k = 0; k < kCp1252High.size(); ++k) {
                const char32_t mapped = kCp1252High[k] ? kCp1252High[k] : static_cast<char32_t>(0x80 + k);
                if (mapped == c) {
                    out.push_back(static_cast<char>(0x80 + k));
                    found = true;
                    break;
                }
            }
            if (!found) return std::nullopt;
        }
        return out;
    }
};

bool StartsWith(std::string_view bytes, std::string_view prefix) {
    return bytes.substr(0, prefix.size()) == prefix;
}

}  // namespace

const CodePage& Windows1252CodePage() {
    static const Windows1252 instance;
    return instance;
}

bool IsValidUtf8(std::string_view bytes) {
    for (size_t i = 0; i < bytes.size();) {
        if (!NextUtf8(bytes, i)) return false;
    }
    return true;
}

std::wstring Utf8ToWide(std::string_view utf8) {
    std::wstring out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        AppendCodePoint(out, NextUtf8(utf8, i).value_or(kReplacement));
    }
    return out;
}

std::optional<std::string> WideToUtf8(std::wstring_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const char32_t c = NextCodePoint(text, i);
        if (IsSurrogate(c) || c > 0x10FFFF) return std::nullopt;
        AppendUtf8(out, c);
    }
    return out;
}

DecodedText DecodeText(std::string_view bytes, const CodePage& codePage) {
    using namespace std::string_view_literals;
    if (StartsWith(bytes, "\xFF\xFE"sv)) return {DecodeUtf16(bytes.substr(2), false), TextEncoding::Utf16Le};
    if (StartsWith(bytes, "\xFE\xFF"sv)) return {DecodeUtf16(bytes.substr(2), true), TextEncoding::Utf16Be};
    if (StartsWith(bytes, "\xEF\xBB\xBF"sv)) return {Utf8ToWide(bytes.substr(3)), TextEncoding::Utf8WithBom};
    bool ascii = true;
    for (const char ch : bytes) {
        if (static_cast<unsigned char>(ch) >= 0x80) {
            ascii = false;
            break;
        }
    }
    if (!ascii && IsValidUtf8(bytes)) return {Utf8ToWide(bytes), TextEncoding::Utf8};
    return {codePage.Decode(bytes), TextEncoding::CodePage};
}

std::optional<std::string> EncodeText(std::wstring_view text, TextEncoding encoding,
                                      const CodePage& codePage) {
    switch (encoding) {
    case TextEncoding::Utf16Le:
        return EncodeUtf16(text, false);
    case TextEncoding::Utf16Be:
        return EncodeUtf16(text, true);
    case TextEncoding::Utf8WithBom:
        if (auto utf8 = WideToUtf8(text)) return "\xEF\xBB\xBF" + *utf8;
        return std::nullopt;
    case TextEncoding::Utf8:
        return WideToUtf8(text);
    case TextEncoding::CodePage: {
        auto bytes = codePage.Encode(text);
        // Text that now reads as UTF-8 would change meaning on the next load.
        if (bytes && !std::all_of(bytes->begin(), bytes->end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }) &&
            IsValidUtf8(*bytes)) {
            return std::nullopt;
        }
        return bytes;
    }
    }
    return std::nullopt;
}

}  // namespace common
