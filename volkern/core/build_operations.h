#pragma once
// The library's operations, free of the platform: an image through an ImageFiles factory, a
// drive or physical disk through the device I/O seam. Each answers a VOLKERN_ code and, on
// success, the root directory's sector.

#include <cstdint>
#include <memory>
#include <string>

#include "common/core/device_stack.h"
#include "format_request.h"
#include "sector_sink.h"

namespace volkern {

// A new image file. Unless Keep() succeeds, the file is removed when the object goes.
class ImageFile : public SectorSink {
public:
    // Flushes the file and keeps it.
    virtual bool Keep() = 0;
};

class ImageFiles {
public:
    virtual ~ImageFiles() = default;
    // Creates `path` with `sectors` sectors that read as zero (sparse where the platform can);
    // an existing file is replaced only when `replace` is set. Null with a VOLKERN_ code.
    virtual std::unique_ptr<ImageFile> Create(const std::string& path, std::uint64_t sectors, bool replace,
                                              std::uint32_t& error) = 0;
    // An existing file for reading; null when it cannot be opened.
    virtual std::unique_ptr<SectorSink> OpenForReading(const std::string& path) = 0;
};

// The drives that hold the system (the Windows folder's, the running program's): "C" and the like.
struct SystemFacts {
    std::string systemLetters;
};

struct BuildResult {
    std::uint32_t status = VOLKERN_OK;
    std::uint32_t rootSector = 0;
};

BuildResult CreateImage(ImageFiles& files, const FormatRequest& request);
// `drive`: 0..25 or a letter.
BuildResult BuildDrive(devio::DeviceStack& stack, const SystemFacts& system, int drive, const FormatRequest& request);
BuildResult BuildPhysicalDisk(devio::DeviceStack& stack, const SystemFacts& system, std::uint32_t deviceNumber,
                              const FormatRequest& request, bool unmount);
// The root sector of the image at request.path, or of the layout a build would make.
BuildResult RootSectorOf(ImageFiles& files, const FormatRequest& request);

}  // namespace volkern
