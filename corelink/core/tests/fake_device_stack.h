#pragma once
// A device stack for the command tests: it records every control request byte for byte and
// answers each with the next scripted reply (delivered, GOOD, no data when nothing is scripted).
// Opens and closes are recorded too; the rest of the seam reports nothing.

#include <algorithm>
#include <cstddef>
#include <initializer_list>
#include <cstdint>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "common/core/failing_device_stack.h"
#include "common/core/scsi_pass_through.h"
#include "corelink/core/device_operations.h"

namespace corelink_test {

// The header of a recorded request, unpacked.
struct HeaderFields {
    std::uint16_t length = 0;
    std::uint8_t scsiStatus = 0;
    std::uint8_t pathId = 0;
    std::uint8_t targetId = 0;
    std::uint8_t lun = 0;
    std::uint8_t cdbLength = 0;
    std::uint8_t senseInfoLength = 0;
    std::uint8_t dataIn = 0;
    std::uint32_t dataTransferLength = 0;
    std::uint32_t timeOutValue = 0;
    std::uint32_t dataBufferOffset = 0;
    std::uint32_t senseInfoOffset = 0;
};

struct ControlRecord {
    devio::DeviceHandle handle = 0;
    std::uint32_t code = 0;
    std::vector<std::uint8_t> input;  // the bytes handed over
    std::uint32_t outputSize = 0;

    HeaderFields Header() const {
        devio::ScsiPassThroughHeader raw{};
        std::memcpy(&raw, input.data(), std::min(sizeof raw, input.size()));
        HeaderFields h;
        h.length = raw.length;
        h.scsiStatus = raw.scsiStatus;
        h.pathId = raw.pathId;
        h.targetId = raw.targetId;
        h.lun = raw.lun;
        h.cdbLength = raw.cdbLength;
        h.senseInfoLength = raw.senseInfoLength;
        h.dataIn = raw.dataIn;
        h.dataTransferLength = raw.dataTransferLength;
        h.timeOutValue = raw.timeOutValue;
        h.dataBufferOffset = raw.dataBufferOffset;
        h.senseInfoOffset = raw.senseInfoOffset;
        return h;
    }
    std::vector<std::uint8_t> Cdb() const { return {input.begin() + 28, input.begin() + 44}; }
    std::vector<std::uint8_t> Data() const {
        if (input.size() <= devio::kHeaderAndSenseSize) return {};
        return {input.begin() + devio::kHeaderAndSenseSize, input.end()};
    }
};

struct Reply {
    bool delivered = true;
    std::uint8_t status = devio::kScsiStatusGood;
    std::vector<std::uint8_t> data;  // written to the data area
    std::uint32_t lastError = 0;
};

struct OpenRecord {
    std::string path;
    std::uint32_t access = 0;
    std::uint32_t share = 0;
    std::uint32_t disposition = 0;
    std::uint32_t flags = 0;
};

class FakeDeviceStack final : public devio::FailingDeviceStack {
public:
    std::vector<ControlRecord> controls;
    std::deque<Reply> replies;
    std::vector<OpenRecord> opens;
    std::vector<devio::DeviceHandle> closes;
    devio::DeviceHandle nextHandle = 0x1234;
    // When set, requests are still recorded but answered by this stack on `forwardHandle`.
    devio::DeviceStack* forwardTo = nullptr;
    devio::DeviceHandle forwardHandle = devio::kInvalidDeviceHandle;

    void Script(Reply reply) { replies.push_back(std::move(reply)); }

    devio::DeviceHandle Open(const std::string& path, std::uint32_t desiredAccess, std::uint32_t shareMode,
                             std::uint32_t creationDisposition, std::uint32_t flags,
                             std::uint32_t& lastError) override {
        opens.push_back({path, desiredAccess, shareMode, creationDisposition, flags});
        if (nextHandle == devio::kInvalidDeviceHandle) lastError = devio::kErrorFileNotFound;
        return nextHandle;
    }
    bool Close(devio::DeviceHandle handle) override {
        closes.push_back(handle);
        return true;
    }
    bool Control(devio::DeviceHandle handle, std::uint32_t controlCode, const void* input, std::uint32_t inputSize,
                 void* output, std::uint32_t outputSize, std::uint32_t& returned, std::uint32_t& lastError) override {
        const auto* in = static_cast<const std::uint8_t*>(input);
        controls.push_back({handle, controlCode, std::vector<std::uint8_t>(in, in + inputSize), outputSize});
        if (forwardTo) {
            return forwardTo->Control(forwardHandle, controlCode, input, inputSize, output, outputSize, returned,
                                      lastError);
        }
        Reply reply;
        if (!replies.empty()) {
            reply = std::move(replies.front());
            replies.pop_front();
        }
        auto* out = static_cast<std::uint8_t*>(output);
        out[offsetof(devio::ScsiPassThroughHeader, scsiStatus)] = reply.status;
        const std::size_t room = outputSize > devio::kHeaderAndSenseSize ? outputSize - devio::kHeaderAndSenseSize : 0;
        std::copy_n(reply.data.begin(), std::min(room, reply.data.size()), out + devio::kHeaderAndSenseSize);
        returned = reply.delivered ? outputSize : 0;
        lastError = reply.lastError;
        return reply.delivered;
    }

    // Everything else fails, as on a machine without these devices.
    std::uint32_t SystemMajorVersion() override { return 10; }
};

class RecordingTracer final : public corelink::Tracer {
public:
    std::vector<std::string> lines;
    void Trace(const char* text) override { lines.emplace_back(text); }
};

// A fake stack, a tracer and the device that joins them.
struct Bench {
    FakeDeviceStack stack;
    RecordingTracer tracer;
    corelink::Device device{stack, tracer};
    static constexpr devio::DeviceHandle kHandle = 0x4242;
};

inline std::vector<std::uint8_t> Bytes(std::initializer_list<int> values) {
    std::vector<std::uint8_t> bytes;
    for (int v : values) bytes.push_back(static_cast<std::uint8_t>(v));
    return bytes;
}

inline std::vector<std::uint8_t> Pattern(std::size_t size, std::uint8_t seed) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(seed + i * 7);
    return bytes;
}

}  // namespace corelink_test
