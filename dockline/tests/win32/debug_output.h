#pragma once
// What programs write to the debugger output, read the way a debug-output viewer reads it: the
// shared buffer and the two events every program's OutputDebugString looks for when no debugger
// is attached. One monitor at a time in a session.

#include <windows.h>

#include <atomic>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "common/win32/unique_handle.h"

namespace dockline_test {

class DebugOutputMonitor {
    static constexpr DWORD kBufferBytes = 4096;

public:
    DebugOutputMonitor()
        : mutex_(::CreateMutexW(nullptr, FALSE, L"DBWinMutex")),
          mapping_(::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kBufferBytes,
                                        L"DBWIN_BUFFER")),
          bufferReady_(::CreateEventW(nullptr, FALSE, TRUE, L"DBWIN_BUFFER_READY")),
          dataReady_(::CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_DATA_READY")) {
        if (mapping_) view_ = static_cast<const char*>(::MapViewOfFile(mapping_.get(), FILE_MAP_READ, 0, 0, 0));
        if (view_ && bufferReady_ && dataReady_) thread_ = std::thread([this] { Run(); });
    }
    ~DebugOutputMonitor() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        if (view_) ::UnmapViewOfFile(view_);
    }
    DebugOutputMonitor(const DebugOutputMonitor&) = delete;
    DebugOutputMonitor& operator=(const DebugOutputMonitor&) = delete;

    bool Listening() const { return thread_.joinable(); }
    // Everything the process wrote so far.
    std::string TextOf(DWORD processId) {
        const std::lock_guard lock(textLock_);
        return text_[processId];
    }

private:
    void Run() {
        while (!stop_) {
            if (::WaitForSingleObject(dataReady_.get(), 50) != WAIT_OBJECT_0) continue;
            DWORD processId = 0;
            std::memcpy(&processId, view_, sizeof processId);
            const char* text = view_ + sizeof processId;
            const std::string line(text, strnlen(text, kBufferBytes - sizeof processId));
            {
                const std::lock_guard lock(textLock_);
                text_[processId] += line;
            }
            ::SetEvent(bufferReady_.get());
        }
    }

    win32::UniqueHandle mutex_;
    win32::UniqueHandle mapping_;
    win32::UniqueHandle bufferReady_;
    win32::UniqueHandle dataReady_;
    const char* view_ = nullptr;
    std::atomic<bool> stop_{false};
    std::mutex textLock_;
    std::map<DWORD, std::string> text_;
    std::thread thread_;
};

}  // namespace dockline_test
