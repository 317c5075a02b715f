#pragma once
// An in-memory file system for CIniFile tests: counts replacements and can be told to fail.

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

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
    bool ReplaceAtomically(const std::wstring& path, std::string_view bytes, std::wstring& failure) override {
        ++replacements;
        if (failReplace) {
            failure = L"the disk is full";
            return false;
        }
        if (held == 0) ++unlockedReplacements;
        files[path] = std::string(bytes);
        return true;
    }
    std::unique_ptr<common::FileUpdateLock> LockForUpdate(const std::wstring&, std::wstring& failure) override {
        if (failLock) {
            failure = common::kFileLockedReason;
            return nullptr;
        }
        // What another process writes while this one waits for the lock: done before it is had.
        if (beforeLock) std::exchange(beforeLock, nullptr)();
        struct Held final : common::FileUpdateLock {
            explicit Held(int& holders) : count(holders) { ++count; }
            ~Held() override { --count; }
            int& count;
        };
        return std::make_unique<Held>(held);
    }
    const common::CodePage& SystemCodePage() const override { return common::Windows1252CodePage(); }

    std::map<std::wstring, std::string> files;
    int replacements = 0;
    int unlockedReplacements = 0;  // replacements made without the update lock
    int held = 0;                  // update locks held now
    bool failReplace = false;
    bool failLock = false;
    bool unreadable = false;
    std::function<void()> beforeLock;
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
