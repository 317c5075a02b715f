#pragma once
// What the flash maintenance operations work with: the device and the caller's handle slot, the
// flash geometry the object keeps (pages per block and the scan value that ScanFlashBlock
// stores), the dump folder when one is set, and the one way they show a message to the user.

#include <cstdarg>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "corelink/core/device_operations.h"

namespace corelink {

// One file being written in the dump folder.
class DumpFile {
public:
    virtual ~DumpFile() = default;
    virtual bool Write(std::span<const std::uint8_t> bytes) = 0;
    bool WriteText(const std::string& text) {
        return Write({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
    }
};

// The folder given to SetDebugDmpFilePathSS. Names are plain file names (no separators), built
// by the operations from fixed texts and numbers, so nothing lands outside the folder.
class DumpFolder {
public:
    virtual ~DumpFolder() = default;
    // Creates the folder (its last level only) or `subfolder` within it; true when it exists.
    virtual bool Prepare(const std::string& subfolder = {}) = 0;
    // A new file (an existing one is replaced) in the folder or its `subfolder`; null when it
    // cannot be made.
    virtual std::unique_ptr<DumpFile> Create(const std::string& subfolder, const std::string& name) = 0;
};

// The user-visible messages of the flash operations (the table writes' failures).
class UserNotice {
public:
    virtual ~UserNotice() = default;
    virtual void Show(const char* text) = 0;
};

struct FlashGeometry {
    std::uint16_t pagesPerBlock = 0;
    std::uint16_t scanValue = 0;
};

// The C library's rand() of the platform the component ships for (seed 1 unless reseeded), so the
// test data is the same byte for byte wherever the operations run.
class CrtRandom {
public:
    int Next() {
        state_ = state_ * 214013u + 2531011u;
        return static_cast<int>((state_ >> 16) & 0x7FFF);
    }

private:
    std::uint32_t state_ = 1;
};

struct FlashSession {
    Device& device;
    HandleArray handles;
    std::uint8_t slot;
    FlashGeometry& geometry;
    DumpFolder* dumps = nullptr;  // null: no dump folder set
    UserNotice* notice = nullptr;
    CrtRandom random{};

    devio::DeviceHandle Handle() const { return handles[slot]; }
    void Trace(const char* text) { device.tracer.Trace(text); }
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    void TraceF(const char* format, ...);
};

// printf-style text (the operations' trace and dump lines).
std::string Format(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
std::string FormatV(const char* format, va_list args)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 0)))
#endif
    ;

}  // namespace corelink
