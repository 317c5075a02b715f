#pragma once
// Conversions between the programs' one internal text form (std::wstring) and the byte
// encodings found in files. wchar_t is UTF-16 on Windows and UTF-32 on the host build;
// both are handled, and a lone surrogate survives every round trip that can carry it.

#include <optional>
#include <string>
#include <string_view>

namespace common {

// The system's 8-bit code page. The Windows build asks the platform; the host build and
// tests use Windows-1252.
class CodePage {
public:
    virtual ~CodePage() = default;
    virtual std::wstring Decode(std::string_view bytes) const = 0;
    // Empty optional when some character has no exact representation in the code page.
    virtual std::optional<std::string> Encode(std::wstring_view text) const = 0;
};

const CodePage& Windows1252CodePage();

enum class TextEncoding { Utf16Le, Utf16Be, Utf8WithBom, Utf8, CodePage };

struct DecodedText {
    std::wstring text;
    TextEncoding encoding = TextEncoding::Utf16Le;
};

// Byte order marks decide first; a file without one is UTF-8 when it is valid UTF-8 and
// holds at least one non-ASCII byte, and text in the system code page otherwise.
DecodedText DecodeText(std::string_view bytes, const CodePage& codePage);

// Empty optional when the text cannot be represented in the encoding. Byte order marks are
// written for Utf16Le, Utf16Be and Utf8WithBom.
std::optional<std::string> EncodeText(std::wstring_view text, TextEncoding encoding,
                                      const CodePage& codePage);

// UTF-8 helpers for paths and messages. Invalid input bytes become U+FFFD.
std::wstring Utf8ToWide(std::string_view utf8);
// Empty optional when the text holds a lone surrogate.
std::optional<std::string> WideToUtf8(std::wstring_view text);

bool IsValidUtf8(std::string_view bytes);

}  // namespace common
