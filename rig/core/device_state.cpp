#include "device_state.h"

#include <algorithm>
#include <string>
#include <string_view>

namespace rig {
namespace {

// The fields state file version 3 added at the end of each record.
template <typename State, typename Visitor>
void VisitVersion3Fields(State& s, Visitor& v) {
    v.Byte(s.bist);
    v.Byte(s.connect);
    v.Byte(s.sysReady);
    v.Eject(s.eject);
    v.Bytes(s.flashId);
    v.Bytes(s.sysAddress);
    v.Bytes(s.flashMethod);
    v.Bytes(s.partition);
}

// One list of the record's fields, in file order, for writing, reading and measuring.
template <typename State, typename Visitor>
void VisitFields(State& s, Visitor& v) {
    v.Flag(s.buttonPressed);
    v.Flag(s.notReady);
    v.Flag(s.stopped);
    v.Flag(s.suspend);
    v.Flag(s.writeProtect);
    v.Byte(s.lastButtonWrite);
    v.Byte(s.led);
    v.Byte(s.timerValue1);
    v.Byte(s.timerValue2);
    v.Byte(s.lunType);
    v.Byte(s.lunNo);
    v.Byte(s.logLunIndex);
    v.Byte(s.fwKey);
    v.Byte(s.securityStatus);
    v.Bytes(s.pmInfo);
    v.Bytes(s.lunId);
    v.Bytes(s.hidLunIndex);
    v.Bytes(s.deviceId);
    v.Bytes(s.lunConfig);
    v.Bytes(s.eeprom);
    v.Bytes(s.password);
    v.Bytes(s.firmware);
    v.Bytes(s.lunData);
    v.Bytes(s.codeMemory);
    v.Bytes(s.dataMemory);
    v.Bytes(s.xdataMemory);
    for (auto& rule : s.faults) v.Fault(rule);
    VisitVersion3Fields(s, v);
}

struct Writer {
    std::vector<std::uint8_t>& out;
    void Flag(const bool& flag) { out.push_back(flag ? 1 : 0); }
    void Eject(const EjectAnswer& answer) { out.push_back(static_cast<std::uint8_t>(answer)); }
    void Byte(const std::uint8_t& byte) { out.push_back(byte); }
    template <typename Container>
    void Bytes(const Container& bytes) {
        out.insert(out.end(), bytes.begin(), bytes.end());
    }
    void Fault(const FaultRule& rule) {
        Byte(static_cast<std::uint8_t>(rule.answer));
        Byte(rule.length);
        Bytes(rule.value);
        Bytes(rule.mask);
    }
};

struct Reader {
    std::span<const std::uint8_t> in;
    bool ok = true;
    void Flag(bool& flag) {
        std::uint8_t byte = 0;
        Byte(byte);
        if (byte > 1) ok = false;
        flag = byte == 1;
    }
    void Eject(EjectAnswer& answer) {
        std::uint8_t byte = 0;
        Byte(byte);
        if (byte >= kEjectAnswerCount) ok = false;
        answer = static_cast<EjectAnswer>(byte < kEjectAnswerCount ? byte : 0);
    }
    void Byte(std::uint8_t& byte) {
        if (in.empty()) {
            ok = false;
            return;
        }
        byte = in.front();
        in = in.subspan(1);
    }
    template <typename Container>
    void Bytes(Container& bytes) {
        if (in.size() < bytes.size()) {
            ok = false;
            return;
        }
        std::copy_n(in.begin(), bytes.size(), bytes.begin());
        in = in.subspan(bytes.size());
    }
    void Fault(FaultRule& rule) {
        std::uint8_t answer = 0;
        Byte(answer);
        rule.answer = static_cast<FaultAnswer>(answer);
        Byte(rule.length);
        Bytes(rule.value);
        Bytes(rule.mask);
        if (!rule.Valid()) ok = false;
    }
};

struct Counter {
    std::size_t size = 0;
    void Flag(const bool&) { ++size; }
    void Eject(const EjectAnswer&) { ++size; }
    void Byte(const std::uint8_t&) { ++size; }
    template <typename Container>
    void Bytes(const Container& bytes) {
        size += bytes.size();
    }
    void Fault(const FaultRule& rule) { size += 2 + rule.value.size() + rule.mask.size(); }
};

// Copies `text` space-padded (or cut) to `width` bytes at `at`.
template <typename Container>
void PutText(Container& bytes, std::size_t at, std::string_view text, std::size_t width) {
    for (std::size_t i = 0; i < width && at + i < bytes.size(); ++i) {
        bytes[at + i] = static_cast<std::uint8_t>(i < text.size() ? text[i] : ' ');
    }
}

}  // namespace

DeviceState::DeviceState()
    : firmware(kFirmwareSize),
      lunData(kLunDataSize),
      codeMemory(kMemorySize),
      dataMemory(kMemorySize),
      xdataMemory(kMemorySize),
      partition(kPartitionAreaSize) {}

std::uint16_t EepromWordSum(std::span<const std::uint8_t, kEepromSize> eeprom) {
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < kEepromSize; i += 2) sum += (std::uint32_t{eeprom[i]} << 8) | eeprom[i + 1];
    return static_cast<std::uint16_t>(sum);
}

void SealEepromChecksum(std::span<std::uint8_t, kEepromSize> eeprom) {
    eeprom[0] = 0;
    eeprom[1] = 0;
    const auto checksum = static_cast<std::uint16_t>(0x10000 - EepromWordSum(eeprom));
    eeprom[0] = static_cast<std::uint8_t>(checksum >> 8);
    eeprom[1] = static_cast<std::uint8_t>(checksum);
}

DeviceState DefaultState(const EnclosureConfig& config, std::size_t index) {
    DeviceState state;
    state.buttonPressed = config.buttonPressed;
    state.notReady = config.notReady;
    state.pmInfo = {0x01, 0x00, 0x00, 0x00};
    state.lunConfig[0] = 1;  // one logical unit, a disk
    state.lunId = {0x00, 'D', 'I', 'S', 'K'};

    std::string serial = std::to_string(index % 100000);
    serial.insert(0, 5 - serial.size(), '0');
    PutText(state.deviceId, 0, config.signature, 4);
    PutText(state.deviceId, 4, config.model, 4);
    PutText(state.deviceId, 8, "RIG" + serial, 8);

    auto& e = state.eeprom;
    std::fill(e.begin(), e.end(), std::uint8_t{0xFF});
    e[2] = static_cast<std::uint8_t>(config.usbVendorId >> 8);
    e[3] = static_cast<std::uint8_t>(config.usbVendorId);
    e[4] = static_cast<std::uint8_t>(config.usbProductId >> 8);
    e[5] = static_cast<std::uint8_t>(config.usbProductId);
    PutText(e, 6, config.inquiryVendor, 8);
    PutText(e, 14, config.inquiryProduct, 16);
    PutText(e, 30, config.inquiryRevision, 4);
    PutText(e, 34, config.signature, 4);
    PutText(e, 38, config.model, 4);
    e[kEepromSuspendByte] = 0;
    e[kEepromTimerByte] = 0;
    e[kEepromTimerByte + 1] = 0;
    SealEepromChecksum(e);

    PutText(state.firmware, 0, config.signature, 4);
    PutText(state.firmware, 4, config.model, 4);
    PutText(state.firmware, 8, config.inquiryRevision, 4);
    for (std::size_t i = 12; i < kFirmwareSize; ++i) state.firmware[i] = static_cast<std::uint8_t>(i * 31 + 7);

    state.xdataMemory[0x2360] = 0x01;  // the mode byte a block access with the "CIS" tag toggles
    state.faults = config.faults;

    // Flash identification: maker and device bytes, then the model text.
    state.flashId[0] = 0xEC;
    state.flashId[1] = 0xD7;
    PutText(state.flashId, 8, "RIG FLASH " + config.model, 16);
    PutText(state.flashMethod, 0, "RIGM", 4);
    return state;
}

// The bytes a field visit covers.
template <typename Visit>
std::size_t CountedBytes(Visit visit) {
    const DeviceState state;
    Counter counter;
    visit(state, counter);
    return counter.size;
}

std::size_t StateVersion3Bytes() {
    static const std::size_t size = CountedBytes([](const DeviceState& s, Counter& c) { VisitVersion3Fields(s, c); });
    return size;
}

std::size_t StateRecordSize() {
    static const std::size_t size = CountedBytes([](const DeviceState& s, Counter& c) { VisitFields(s, c); });
    return size;
}

void SerializeState(const DeviceState& state, std::vector<std::uint8_t>& out) {
    out.reserve(out.size() + StateRecordSize());
    Writer writer{out};
    VisitFields(state, writer);
}

bool DeserializeState(std::span<const std::uint8_t> record, DeviceState& state) {
    if (record.size() != StateRecordSize()) return false;
    Reader reader{record};
    VisitFields(state, reader);
    return reader.ok && reader.in.empty();
}

}  // namespace rig
