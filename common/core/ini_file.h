#pragma once
// CIniFile: access to one profile (INI) file by path, with the semantics of the platform's
// profile functions (see ini_document.h), plus what those lack:
//  - every write replaces the file atomically, so a crash or a full disk never leaves a
//    half-written file, and a failed write throws CIniFileException (naming the file and the
//    reason) and leaves it intact;
//  - every write reads, changes and replaces the file under the file's update lock, so two
//    processes writing one file never lose each other's change;
//  - a Batch groups the writes of one operation into a single replacement;
//  - no character is lost to a code page: a file whose new text its encoding cannot hold is
//    rewritten as UTF-16LE with a byte order mark, as are new files.

#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ini_document.h"
#include "ini_file_access.h"
#include "text_codec.h"

class CIniFileException : public std::exception {
public:
    CIniFileException(std::wstring path, std::wstring reason) : path_(std::move(path)), reason_(std::move(reason)) {}
    const char* what() const noexcept override { return "The settings file could not be written."; }
    // The file that was not written, and why (English, or the system's own words).
    const std::wstring& Path() const { return path_; }
    const std::wstring& Reason() const { return reason_; }

private:
    std::wstring path_;
    std::wstring reason_;
};

class CIniFile {
public:
    explicit CIniFile(std::wstring path);
    CIniFile(std::wstring path, std::shared_ptr<common::IniFileAccess> access);

    const std::wstring& Path() const { return path_; }

    // The whole value, quotes removed when it starts and ends with the same quote character;
    // the default (with trailing blanks removed) when file, section or key is missing.
    std::wstring GetString(std::wstring_view section, std::wstring_view key,
                           std::wstring_view defaultValue) const;
    // An empty key deletes the whole section. Throws CIniFileException on failure, and for
    // names or values the file format cannot hold (line breaks, a key with '=').
    void WriteString(std::wstring_view section, std::wstring_view key, std::wstring_view value);

    // Reads "0x"-prefixed hexadecimal as WriteInt writes it; see ParseProfileInt.
    int GetInt(std::wstring_view section, std::wstring_view key, int defaultValue) const;
    // Writes "0x%04X".
    void WriteInt(std::wstring_view section, std::wstring_view key, int value);

    // Key names of the section in file order, each cut to 259 characters.
    void GetKeys(std::wstring_view section, std::vector<std::wstring>& keys) const;
    bool SectionExists(std::wstring_view section) const;

    static bool IsEmptyString(std::wstring_view text) { return text.empty(); }

    // False when the file exists but could not be read (locked by another program, access
    // denied): every read then gives its default, which must not be taken for an empty file.
    bool Readable() const;

    // The first section named `section` of `from`, every line as it stands (comments and
    // keys this program does not know included), appended to this file in one replacement
    // when this file has no such section. False when it has one or `from` has none.
    bool CopySectionFrom(const CIniFile& from, std::wstring_view section);

    // Reads see one snapshot of the file and writes collect in memory until Commit, which
    // replaces the file once. Without Commit the collected writes are dropped. Batches nest;
    // only the outermost one touches the file. A batch that writes is opened ForUpdate: the
    // file's update lock is held from its snapshot to the end of the outermost batch, so no
    // other process writes in between (the constructor throws CIniFileException when the lock
    // is not had). Opened within a batch for reading, it takes the lock then and reads the
    // snapshot again when nothing was written to it yet.
    enum class Purpose { Read, ForUpdate };
    class Batch {
    public:
        explicit Batch(CIniFile& file, Purpose purpose = Purpose::Read);
        ~Batch();
        Batch(const Batch&) = delete;
        Batch& operator=(const Batch&) = delete;
        void Commit();  // throws CIniFileException

    private:
        CIniFile& file_;
        bool outermost_;
    };

private:
    struct Loaded {
        common::IniDocument document;
        common::TextEncoding encoding = common::TextEncoding::Utf16Le;
        bool existed = false;
        bool readable = true;
    };

    Loaded Load() const;
    void Store(Loaded& loaded);
    std::unique_ptr<common::FileUpdateLock> Lock();
    [[noreturn]] void Fail(std::wstring_view reason) const;
    // Applies a change to the open batch's snapshot, or to the file at once.
    void Modify(const std::function<bool(common::IniDocument&)>& change);

    std::wstring path_;
    std::shared_ptr<common::IniFileAccess> access_;
    std::unique_ptr<Loaded> batch_;  // the open batch's snapshot
    bool batchDirty_ = false;
    std::unique_ptr<common::FileUpdateLock> batchLock_;  // held for the open batch
};

// GetInt's conversion: skip the first two characters, then read hexadecimal digits (either
// case) up to the first other character; the value wraps at 32 bits. "12" reads as 0.
int ParseProfileInt(std::wstring_view text);
std::wstring FormatProfileInt(int value);
