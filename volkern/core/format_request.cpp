#include "format_request.h"

#include <string_view>

namespace volkern {
namespace {

constexpr std::uint8_t kKnownOptions = VOLKERN_OPTION_PARTITIONED_IMAGE | VOLKERN_OPTION_REPLACE_IMAGE;

// The text at `text`, read no further than `limit` bytes; nothing when it has no end within them.
std::optional<std::string_view> BoundedText(const char* text, std::size_t limit) {
    if (text == nullptr) return std::string_view{};
    for (std::size_t length = 0; length <= limit; ++length) {
        if (text[length] == '\0') return std::string_view(text, length);
    }
    return std::nullopt;
}

}  // namespace

std::uint32_t SerialFromTime(const BuildTime& now) {
    // Date and time folded into two words, as formatters customarily do.
    const std::uint32_t high = static_cast<std::uint32_t>((now.hour << 8) + now.minute) +
                               static_cast<std::uint32_t>(now.year);
    const std::uint32_t low = static_cast<std::uint32_t>((now.month << 8) + now.day) +
                              static_cast<std::uint32_t>((now.second << 8) + now.hundredths);
    return ((high & 0xFFFF) << 16) | (low & 0xFFFF);
}

RequestRead ReadRequest(const VolkernParameters& block, const BuildTime& now) {
    RequestRead read;
    FormatRequest& request = read.request;
    if ((block.options & ~kKnownOptions) != 0) {
        read.error = VOLKERN_ERROR_BAD_PARAMETER;
        return read;
    }
    const std::uint32_t spc = block.sectorsPerCluster;
    if (spc != 0 && (spc > 128 || (spc & (spc - 1)) != 0)) {
        read.error = VOLKERN_ERROR_BAD_PARAMETER;
        return read;
    }
    const auto path = BoundedText(block.path, kMaxPathLength);
    const auto label = BoundedText(block.label, 11);
    const auto oem = BoundedText(block.oemName, 8);
    if (!path) {
        read.error = VOLKERN_ERROR_BAD_PARAMETER;
        return read;
    }
    const auto fatLabel = label ? FatLabel(*label) : std::nullopt;
    if (!fatLabel) {
        read.error = VOLKERN_ERROR_BAD_LABEL;
        return read;
    }
    const auto oemName = oem ? OemName(block.oemName ? *oem : std::string_view("VOLKERN")) : std::nullopt;
    if (!oemName) {
        read.error = VOLKERN_ERROR_BAD_PARAMETER;
        return read;
    }
    request.sectorCount = block.sectorCount;
    request.sectorsPerCluster = spc;
    request.partitionedImage = (block.options & VOLKERN_OPTION_PARTITIONED_IMAGE) != 0;
    request.replaceImage = (block.options & VOLKERN_OPTION_REPLACE_IMAGE) != 0;
    request.path = std::string(*path);
    request.identity.label = *fatLabel;
    request.identity.oemName = *oemName;
    request.identity.serial = block.volumeSerial != 0 ? block.volumeSerial : SerialFromTime(now);
    request.identity.dosDate = DosDate(now.year, now.month, now.day);
    request.identity.dosTime = DosTime(now.hour, now.minute, now.second);
    return read;
}

}  // namespace volkern
