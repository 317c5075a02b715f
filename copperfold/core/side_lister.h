#pragma once
// Lists one folder on a thread of its own while the caller lists another, so that the two sides
// of a pair of folders are read at once: a listing mostly waits for the system, which reads the
// folder and every entry's size, times and attributes, and a walk that compares the two sides
// (an estimate, a quick copy's repeat) does little else. The caller and the thread share the
// request and the result through two events: each is written before its event is set.

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "auto_reset_event.h"
#include "file_system.h"

namespace copperfold {

class SideLister {
public:
    explicit SideLister(FileSystem& files);
    ~SideLister();
    SideLister(const SideLister&) = delete;
    SideLister& operator=(const SideLister&) = delete;

    // Starts listing `folder`; one listing at a time, each ended by Finish.
    void Start(const std::wstring& folder);
    // Waits for the listing Start began: FileSystem::List's result and entries.
    bool Finish(std::vector<FileEntry>& entries);

private:
    void Work();

    FileSystem& fs_;
    AutoResetEvent start_;
    AutoResetEvent done_;
    std::atomic<bool> quit_{false};
    std::wstring folder_;             // the caller's until start_ is set
    std::vector<FileEntry> entries_;  // the thread's until done_ is set
    bool listed_ = false;
    std::thread thread_;
};

}  // namespace copperfold
