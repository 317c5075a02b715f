#pragma once
// Dockline's own look at a drive: a standard INQUIRY sent to the volume through the device I/O
// seam, and whether the reply carries the maker's signature.

#include <array>
#include <cstdint>
#include <functional>
#include <string_view>

#include "common/core/device_stack.h"

namespace dockline {

using InquiryData = std::array<std::uint8_t, 128>;
using TraceSink = std::function<void(std::string_view)>;

// INQUIRY (standard data, 128 bytes) on an open volume; true when delivered with status GOOD.
bool SendInquiry(devio::DeviceStack& stack, devio::DeviceHandle volume, InquiryData& reply, const TraceSink& trace);

// True when volume "\\.\X:" opens and its INQUIRY reply holds "QKTR" at bytes 36..39.
bool IsToviDrive(devio::DeviceStack& stack, char letter, const TraceSink& trace);

}  // namespace dockline
