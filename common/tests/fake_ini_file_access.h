#pragma once
// An in-memory file system for CIniFile tests: counts replacements and can be told to fail.

#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "common/core/ini_file.h"
#include "common/core/ini_file_access.h"

namespace testing_support {

class FakeIniFileAccess final : public common::IniFileAccess {
public:
    common::FileBytes Read(const std::wstring& path) const override {
        using Status = common::FileBytes::Status;
        if (unreadable) return {Status::Unreadable, {}};
        const auto it = files.find(path);
        if (it == files.end()) return {Status::Missing, {}};
        return {Status::Ok, it->second};
    }
    bool ReplaceAtomically(const std::wstring& path, std::string_view bytes) override {
        ++replacements;
        if (failReplace) return false;
        files[path] = std::string(bytes);
        return true;
    }
    const common::CodePage& SystemCodePage() const override { return common::Windows1252CodePage(); }

    std::map<std::wstring, std::string> files;
    int replacements = 0;
    bool failReplace = false;
    bool unreadable = false;
};

// A CIniFile on the in-memory file system, with helpers to set and inspect its bytes.
class FakeIniFile {
protected:
    void Put(std::string bytes) { access->files[kPath] = std::move(bytes); }
    void PutUtf16(std::wstring_view text) {
        Put(*common::EncodeText(text, common::TextEncoding::Utf16Le, common::Windows1252CodePage()));
    }
    const std::string& Bytes() const { return access->files.at(kPath); }
    common::DecodedText Decoded() const { return common::DecodeText(Bytes(), common::Windows1252CodePage()); }
    std::wstring Text() const { return Decoded().text; }

    const std::wstring kPath = L"C:\\Program Files\\Copperfold\\Copperfold.ini";
    std::shared_ptr<FakeIniFileAccess> access = std::make_shared<FakeIniFileAccess>();
    CIniFile ini{kPath, access};
};

}  // namespace testing_support
