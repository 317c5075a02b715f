#pragma once
// A file system that hands every call to another one; derived classes override what they add to.

#include "file_system.h"

namespace copperfold {

class ForwardingFileSystem : public FileSystem {
public:
    explicit ForwardingFileSystem(FileSystem& inner) : inner_(inner) {}

    bool List(const std::wstring& folder, std::vector<FileEntry>& entries) override {
        return inner_.List(folder, entries);
    }
    bool Exists(const std::wstring& path) override { return inner_.Exists(path); }
    bool LookUp(const std::wstring& path, FileEntry& entry) override { return inner_.LookUp(path, entry); }
    bool CreateFolder(const std::wstring& path) override { return inner_.CreateFolder(path); }
    bool SetAttributes(const std::wstring& path, std::uint32_t attributes) override {
        return inner_.SetAttributes(path, attributes);
    }
    std::wstring FullPath(const std::wstring& path) override { return inner_.FullPath(path); }
    std::wstring FinalPath(const std::wstring& path) override { return inner_.FinalPath(path); }
    bool IsPartialCopy(const FileEntry& entry) const override { return inner_.IsPartialCopy(entry); }
    void RemovePartialCopy(const std::wstring& path) override { inner_.RemovePartialCopy(path); }
    std::uint32_t CopyWithProgress(const std::wstring& from, const std::wstring& to, const CopyProgress& progress,
                                   const std::atomic<int>& cancel) override {
        return inner_.CopyWithProgress(from, to, progress, cancel);
    }
    std::uint32_t CopyKeepingReplaced(const std::wstring& from, const std::wstring& to, const std::wstring& keepAs,
                                      const CopyProgress& progress, const std::atomic<int>& cancel) override {
        return inner_.CopyKeepingReplaced(from, to, keepAs, progress, cancel);
    }
    std::uint32_t RemoveTree(const std::wstring& folder) override { return inner_.RemoveTree(folder); }
    VolumeFacts Volume(const std::wstring& path) override { return inner_.Volume(path); }
    std::uint32_t AccessError(const std::wstring& path) override { return inner_.AccessError(path); }
    void LimitTimesToFatRange(const std::wstring& root) override { inner_.LimitTimesToFatRange(root); }
    int CopyConcurrency() const override { return inner_.CopyConcurrency(); }

private:
    FileSystem& inner_;
};

}  // namespace copperfold
