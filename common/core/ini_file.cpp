#include "ini_file.h"

#include <cstdint>
#include <cstdio>

using common::IniDocument;
using common::TextEncoding;

namespace {

std::wstring RemoveQuotes(std::wstring_view value) {
    if (value.size() > 1 && (value.front() == L'"' || value.front() == L'\'') &&
        value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
    }
    return std::wstring(value);
}

std::wstring_view UpToFirstNul(std::wstring_view text) { return text.substr(0, text.find(L'\0')); }

// A name or value that the file format cannot hold would read back as something else (or
// inject lines), so it is refused instead of written.
bool Representable(std::wstring_view section, std::wstring_view key, std::wstring_view value) {
    const auto hasBreakOrNul = [](std::wstring_view text) {
        return text.find_first_of(std::wstring_view(L"\r\n\0", 3)) != std::wstring_view::npos;
    };
    if (hasBreakOrNul(section) || hasBreakOrNul(key) || hasBreakOrNul(value)) return false;
    if (key.empty()) return true;
    std::wstring sectionName;
    const std::wstring line = std::wstring(common::TrimProfileSpace(key)) + L"=" + std::wstring(value);
    const auto parsed = common::ParseEntryLine(line, &sectionName);
    return parsed && !parsed->blank && parsed->Name(line) == common::TrimProfileSpace(key);
}

}  // namespace

CIniFile::CIniFile(std::wstring path) : CIniFile(std::move(path), common::PlatformIniFileAccess()) {}

CIniFile::CIniFile(std::wstring path, std::shared_ptr<common::IniFileAccess> access)
    : path_(std::move(path)), access_(std::move(access)) {}

CIniFile::Loaded CIniFile::Load() const {
    Loaded loaded;
    common::FileBytes file = access_->Read(path_);
    loaded.readable = file.status != common::FileBytes::Status::Unreadable;
    loaded.existed = file.status == common::FileBytes::Status::Ok && !file.bytes.empty();
    if (loaded.existed) {
        common::DecodedText text = common::DecodeText(file.bytes, access_->SystemCodePage());
        loaded.document = IniDocument::Parse(text.text);
        loaded.encoding = text.encoding;
    }
    return loaded;
}

void CIniFile::Fail(std::wstring_view reason) const { throw CIniFileException(path_, std::wstring(reason)); }

std::unique_ptr<common::FileUpdateLock> CIniFile::Lock() {
    std::wstring failure;
    auto lock = access_->LockForUpdate(path_, failure);
    if (!lock) Fail(failure);
    return lock;
}

void CIniFile::Store(Loaded& loaded) {
    // A file we could not read is never replaced: that would drop everything it holds.
    if (!loaded.readable) Fail(common::kFileUnreadableReason);
    const std::wstring text = loaded.document.Serialize();
    TextEncoding encoding = loaded.existed ? loaded.encoding : TextEncoding::Utf16Le;
    auto bytes = common::EncodeText(text, encoding, access_->SystemCodePage());
    if (!bytes) {
        encoding = TextEncoding::Utf16Le;
        bytes = common::EncodeText(text, encoding, access_->SystemCodePage());
    }
    if (!bytes) Fail(common::kUnstorableTextReason);
    std::wstring failure;
    if (!access_->ReplaceAtomically(path_, *bytes, failure)) Fail(failure);
    loaded.existed = true;
    loaded.encoding = encoding;
}

void CIniFile::Modify(const std::function<bool(IniDocument&)>& change) {
    if (batch_) {
        if (change(batch_->document)) batchDirty_ = true;
        return;
    }
    // Read, change and replace under the lock: a change another process made since is kept.
    const auto lock = Lock();
    Loaded loaded = Load();
    if (change(loaded.document)) Store(loaded);
}

std::wstring CIniFile::GetString(std::wstring_view section, std::wstring_view key,
                                 std::wstring_view defaultValue) const {
    Loaded scratch;
    const IniDocument& document = batch_ ? batch_->document : (scratch = Load()).document;
    if (const auto value = document.FindValue(section, key)) return RemoveQuotes(UpToFirstNul(*value));
    while (!defaultValue.empty() && defaultValue.back() == L' ') defaultValue.remove_suffix(1);
    return std::wstring(UpToFirstNul(defaultValue));
}

void CIniFile::WriteString(std::wstring_view section, std::wstring_view key, std::wstring_view value) {
    if (!Representable(section, key, IsEmptyString(key) ? std::wstring_view() : value)) {
        Fail(common::kUnstorableTextReason);
    }
    if (IsEmptyString(key)) {
        Modify([&](IniDocument& document) { return document.DeleteSection(section); });
        return;
    }
    Modify([&](IniDocument& document) { return document.Set(section, key, value); });
}

int CIniFile::GetInt(std::wstring_view section, std::wstring_view key, int defaultValue) const {
    const std::wstring text = GetString(section, key, L"");
    if (text.empty()) return defaultValue;
    return ParseProfileInt(text);
}

void CIniFile::WriteInt(std::wstring_view section, std::wstring_view key, int value) {
    WriteString(section, key, FormatProfileInt(value));
}

void CIniFile::GetKeys(std::wstring_view section, std::vector<std::wstring>& keys) const {
    keys.clear();
    Loaded scratch;
    const IniDocument& document = batch_ ? batch_->document : (scratch = Load()).document;
    for (std::wstring& name : document.KeyNames(section)) {
        name = std::wstring(UpToFirstNul(name));
        if (name.empty()) continue;
        if (name.size() > 259) name.resize(259);
        keys.push_back(std::move(name));
    }
}

bool CIniFile::Readable() const { return batch_ ? batch_->readable : Load().readable; }

bool CIniFile::SectionExists(std::wstring_view section) const {
    std::vector<std::wstring> keys;
    GetKeys(section, keys);
    return !keys.empty();
}

bool CIniFile::CopySectionFrom(const CIniFile& from, std::wstring_view section) {
    Loaded scratch;
    const IniDocument& source = from.batch_ ? from.batch_->document : (scratch = from.Load()).document;
    if (!source.HasSection(section)) return false;
    bool copied = false;
    Modify([&](IniDocument& document) { return copied = document.CopySection(source, section); });
    return copied;
}

CIniFile::Batch::Batch(CIniFile& file, Purpose purpose) : file_(file), outermost_(!file.batch_) {
    if (outermost_) {
        if (purpose == Purpose::ForUpdate) file_.batchLock_ = file_.Lock();
        file_.batch_ = std::make_unique<Loaded>(file_.Load());
        file_.batchDirty_ = false;
    } else if (purpose == Purpose::ForUpdate && !file_.batchLock_) {
        file_.batchLock_ = file_.Lock();
        if (!file_.batchDirty_) *file_.batch_ = file_.Load();
    }
}

CIniFile::Batch::~Batch() {
    if (outermost_) {
        file_.batch_.reset();
        file_.batchDirty_ = false;
        file_.batchLock_.reset();
    }
}

void CIniFile::Batch::Commit() {
    if (!outermost_ || !file_.batchDirty_) return;
    // A batch opened for reading replaces the file under the lock all the same; only one opened
    // ForUpdate also keeps what another process wrote after its snapshot.
    const auto lock = file_.batchLock_ ? nullptr : file_.Lock();
    file_.Store(*file_.batch_);
    file_.batchDirty_ = false;
}

int ParseProfileInt(std::wstring_view text) {
    std::uint32_t value = 0;
    for (size_t i = 2; i < text.size(); ++i) {
        const wchar_t c = text[i];
        std::uint32_t digit = 0;
        if (c >= L'0' && c <= L'9') digit = static_cast<std::uint32_t>(c - L'0');
        else if (c >= L'A' && c <= L'F') digit = static_cast<std::uint32_t>(c - L'A' + 10);
        else if (c >= L'a' && c <= L'f') digit = static_cast<std::uint32_t>(c - L'a' + 10);
        else break;
        value = value * 16 + digit;
    }
    return static_cast<int>(value);
}

std::wstring FormatProfileInt(int value) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%04X", static_cast<unsigned>(value));
    return std::wstring(buffer, buffer + std::char_traits<char>::length(buffer));
}
