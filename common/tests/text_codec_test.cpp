#include "common/core/text_codec.h"

#include <gtest/gtest.h>

#include <string>

using common::DecodeText;
using common::EncodeText;
using common::TextEncoding;

namespace {

const common::CodePage& cp1252 = common::Windows1252CodePage();

// A high and a low surrogate that belong to no pair.
const std::wstring kLoneHigh(1, static_cast<wchar_t>(0xD83D));
const std::wstring kLoneLow(1, static_cast<wchar_t>(0xDE00));

}  // namespace

TEST(TextCodecDetection, ByteOrderMarksDecideFirst) {
    struct Case {
        std::string bytes;
        TextEncoding encoding;
    } const cases[] = {
        {std::string("\xFF\xFE" "A\0\xE9\0", 6), TextEncoding::Utf16Le},
        {std::string("\xFE\xFF\0A\0\xE9", 6), TextEncoding::Utf16Be},
        {"\xEF\xBB\xBF" "A\xC3\xA9", TextEncoding::Utf8WithBom},
    };
    for (const Case& c : cases) {
        const auto decoded = DecodeText(c.bytes, cp1252);
        EXPECT_EQ(decoded.encoding, c.encoding);
        EXPECT_EQ(decoded.text, L"A\u00E9");
    }
}

TEST(TextCodecDetection, WithoutBomUtf8NeedsValidNonAsciiBytes) {
    struct Case {
        std::string bytes;
        TextEncoding encoding;
        std::wstring text;
    } const cases[] = {
        {"", TextEncoding::CodePage, L""},
        {"[S]\r\nk=v", TextEncoding::CodePage, L"[S]\r\nk=v"},
        {"caf\xC3\xA9", TextEncoding::Utf8, L"caf\u00E9"},
        {"\xF0\x9F\x98\x80", TextEncoding::Utf8, L"\U0001F600"},
        {"caf\xE9", TextEncoding::CodePage, L"caf\u00E9"},
        {"\xC0\xAF", TextEncoding::CodePage, L"\u00C0\u00AF"},               // overlong
        {"\xED\xA0\x80", TextEncoding::CodePage, L"\u00ED\u00A0\u20AC"},     // encoded surrogate
        {"\xF4\x90\x80\x80", TextEncoding::CodePage, L"\u00F4\u0090\u20AC\u20AC"},  // above U+10FFFF
        {"ok\xC3", TextEncoding::CodePage, L"ok\u00C3"},                     // truncated
    };
    for (const Case& c : cases) {
        const auto decoded = DecodeText(c.bytes, cp1252);
        EXPECT_EQ(decoded.encoding, c.encoding) << c.bytes;
        EXPECT_EQ(decoded.text, c.text) << c.bytes;
    }
}

TEST(TextCodecUtf16, EncodesBothByteOrdersWithBomAndSurrogatePairs) {
    const std::wstring text = L"a\u00E9\u4E2D\U0001F600";
    const std::string le("\xFF\xFE" "a\0\xE9\0\x2D\x4E\x3D\xD8\x00\xDE", 12);
    const std::string be("\xFE\xFF\0a\0\xE9\x4E\x2D\xD8\x3D\xDE\x00", 12);
    EXPECT_EQ(EncodeText(text, TextEncoding::Utf16Le, cp1252), le);
    EXPECT_EQ(EncodeText(text, TextEncoding::Utf16Be, cp1252), be);
    EXPECT_EQ(DecodeText(le, cp1252).text, text);
    EXPECT_EQ(DecodeText(be, cp1252).text, text);
}

TEST(TextCodecUtf16, LoneSurrogatesSurviveButUtf8RefusesThem) {
    const std::wstring texts[] = {L"x" + kLoneHigh, kLoneLow + L"y", kLoneHigh + L"z" + kLoneLow};
    for (const std::wstring& text : texts) {
        for (const TextEncoding encoding : {TextEncoding::Utf16Le, TextEncoding::Utf16Be}) {
            const auto bytes = EncodeText(text, encoding, cp1252);
            ASSERT_TRUE(bytes.has_value());
            const auto decoded = DecodeText(*bytes, cp1252);
            EXPECT_EQ(decoded.text, text);
            EXPECT_EQ(decoded.encoding, encoding);
        }
        EXPECT_FALSE(EncodeText(text, TextEncoding::Utf8, cp1252).has_value());
        EXPECT_FALSE(EncodeText(text, TextEncoding::Utf8WithBom, cp1252).has_value());
        EXPECT_FALSE(common::WideToUtf8(text).has_value());
        EXPECT_FALSE(EncodeText(text, TextEncoding::CodePage, cp1252).has_value());
    }
}

TEST(TextCodecUtf8, ConvertsCharactersOutsideTheBmp) {
    const std::wstring text = L"D:\\\u5907\u4EFD\\\U0001F600";
    const auto utf8 = common::WideToUtf8(text);
    ASSERT_TRUE(utf8.has_value());
    EXPECT_EQ(*utf8, "D:\\\xE5\xA4\x87\xE4\xBB\xBD\\\xF0\x9F\x98\x80");
    EXPECT_EQ(common::Utf8ToWide(*utf8), text);
    EXPECT_EQ(EncodeText(text, TextEncoding::Utf8WithBom, cp1252), "\xEF\xBB\xBF" + *utf8);
}

TEST(TextCodecUtf8, InvalidBytesBecomeReplacementCharacters) {
    EXPECT_EQ(common::Utf8ToWide("a\xFF" "b"), L"a\uFFFDb");
    EXPECT_EQ(common::Utf8ToWide("\xED\xA0\x80").find_first_not_of(L'\uFFFD'), std::wstring::npos);
    const std::wstring truncated = common::Utf8ToWide("x\xE4\xB8");
    ASSERT_GE(truncated.size(), 2u);
    EXPECT_EQ(truncated.substr(1).find_first_not_of(L'\uFFFD'), std::wstring::npos);
    EXPECT_FALSE(common::IsValidUtf8("x\xE4\xB8"));
    EXPECT_TRUE(common::IsValidUtf8("x\xE4\xB8\xAD"));
}

TEST(TextCodecWindows1252, DecodesHighHalfAndUndefinedBytes) {
    EXPECT_EQ(cp1252.Decode("\x80\x81\x8A\x9F\xA0\xE9\xFF"), L"\u20AC\u0081\u0160\u0178\u00A0\u00E9\u00FF");
}

TEST(TextCodecWindows1252, EveryByteRoundTrips) {
    std::string all;
    for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
    const std::wstring text = cp1252.Decode(all);
    ASSERT_EQ(text.size(), 256u);
    EXPECT_EQ(cp1252.Encode(text), all);
}

TEST(TextCodecWindows1252, CharactersItCannotHoldAreNotRepresentable) {
    const std::wstring texts[] = {
        L"\u0080",                          // the C1 control whose byte holds the euro sign
        L"D:\\\u5907\u4EFD",                // Chinese
        L"D:\\\u0420\u0435\u0437\u0435\u0440\u0432",  // Cyrillic
        L"\U0001F600",                      // outside the BMP
        kLoneHigh,
    };
    for (const std::wstring& text : texts) {
        EXPECT_FALSE(cp1252.Encode(L"ok " + text).has_value());
        EXPECT_FALSE(EncodeText(L"ok " + text, TextEncoding::CodePage, cp1252).has_value());
    }
}

TEST(TextCodecWindows1252, CodePageTextThatWouldReadBackAsUtf8IsRefused) {
    EXPECT_EQ(EncodeText(L"caf\u00E9 \u20AC", TextEncoding::CodePage, cp1252), "caf\xE9 \x80");
    EXPECT_EQ(EncodeText(L"plain", TextEncoding::CodePage, cp1252), "plain");
    // "\u00C3\u00A9" is C3 A9 in Windows-1252: valid UTF-8 for U+00E9.
    EXPECT_FALSE(EncodeText(L"\u00C3\u00A9", TextEncoding::CodePage, cp1252).has_value());
}
