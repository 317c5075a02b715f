// Feeds arbitrary bytes through the settings-file decoder, parser, editor and serializer.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/core/ini_document.h"
#include "common/core/ini_file.h"
#include "common/core/text_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const common::DecodedText decoded = common::DecodeText(bytes, common::Windows1252CodePage());
    common::IniDocument document = common::IniDocument::Parse(decoded.text);

    // Whatever we read must survive our own rewrite unchanged.
    const std::wstring serialized = document.Serialize();
    const common::IniDocument reread = common::IniDocument::Parse(serialized);
    if (reread.Serialize() != serialized) __builtin_trap();

    const std::wstring_view probe = std::wstring_view(decoded.text).substr(0, decoded.text.size() % 17);
    (void)document.FindValue(probe, probe);
    (void)document.KeyNames(probe);
    (void)ParseProfileInt(probe);
    document.Set(L"Setting", L"LANG", L"ENG");
    if (document.FindValue(L"setting", L"lang") != std::wstring_view(L"ENG")) __builtin_trap();
    document.DeleteSection(probe);
    (void)common::EncodeText(document.Serialize(), decoded.encoding, common::Windows1252CodePage());
    return 0;
}
