#pragma once
// Image files on the platform's file system: created sparse (where the volume can), written at
// sector offsets, removed again unless the build keeps them. Paths are 8-bit text in the system
// code page, as the parameter block carries them.

#include "volkern/core/build_operations.h"

namespace volkern::win32_glue {

class Win32ImageFiles final : public ImageFiles {
public:
    std::unique_ptr<ImageFile> Create(const std::string& path, std::uint64_t sectors, bool replace,
                                      std::uint32_t& error) override;
    std::unique_ptr<SectorSink> OpenForReading(const std::string& path) override;
};

}  // namespace volkern::win32_glue
