#include "rig.h"

#include <new>
#include <optional>

#include "bridge_emulator.h"
#include "command_context.h"
#include "common/core/bridge_protocol.h"
#include "common/core/device_stack.h"
#include "nand_store.h"
#include "pass_through_request.h"
#include "rig_file_parser.h"
#include "sparse_image.h"
#include "state_file.h"

namespace rig {
namespace {

constexpr std::uint8_t kCdromDeviceType = 0x05;  // INQUIRY byte 0 of a CD/DVD unit

}  // namespace

std::shared_ptr<Rig> Rig::Load(FileSystem& files, const std::string& rigPath, std::string& error) {
    std::string text;
    switch (ReadWholeFile(files, rigPath, kMaxRigFileSize, text)) {
        case ReadStatus::Ok: break;
        case ReadStatus::Missing: error = rigPath + ": no such rig file"; return nullptr;
        case ReadStatus::Failed: error = rigPath + ": cannot read the rig file"; return nullptr;
        case ReadStatus::TooLarge:
            error = rigPath + ": the rig file is larger than " + std::to_string(kMaxRigFileSize) + " bytes";
            return nullptr;
    }
    RigParseResult parsed = ParseRigFile(text, rigPath);
    if (!parsed.config) {
        error = rigPath + ": " + parsed.error;
        return nullptr;
    }
    return std::make_shared<Rig>(files, std::move(*parsed.config));
}

Rig::Rig(FileSystem& files, RigConfig config) : files_(files), config_(std::move(config)) {}

void Rig::Report(const std::string& text) const {
    if (reporter_) reporter_("rig: " + text);
}

bool Rig::WithStateFile(const std::function<bool(File&)>& work, std::string& error) {
    const auto lock = files_.Lock(LockPath());
    if (!lock) {
        error = "cannot lock " + LockPath();
        return false;
    }
    OpenStatus status = OpenStatus::Ok;
    const auto file = files_.Open(config_.statePath, OpenMode::ReadWrite, status);
    if (!file) {
        error = "cannot open the state file " + config_.statePath;
        return false;
    }
    return work(*file);
}

bool Rig::AppendLog(const std::vector<std::uint8_t>& record, std::string& error) {
    OpenStatus status = OpenStatus::Ok;
    const auto log = files_.Open(config_.logPath, OpenMode::ReadWrite, status);
    std::uint64_t size = 0;
    if (!log || !log->Size(size)) {
        error = "cannot open the command log " + config_.logPath;
        return false;
    }
    if (size == 0) {
        if (!log->WriteAt(0, LogFileHeader())) {
            error = "cannot write the command log " + config_.logPath;
            return false;
        }
        size = kLogFileHeaderSize;
    }
    if (!log->WriteAt(size, record)) {
        error = "cannot write the command log " + config_.logPath;
        return false;
    }
    return true;
}

bool Rig::PassThrough(std::size_t index, const void* input, std::uint32_t inputSize, void* output,
                      std::uint32_t outputSize, std::uint32_t& returned, std::uint32_t& lastError, bool cdrom) {
    returned = 0;
    std::string why;
    const auto command = DecodePassThrough(input, inputSize, outputSize, why);
    if (!command) {
        Report("request refused: " + why);
        lastError = devio::kErrorInvalidParameter;
        return false;
    }
    if (output == nullptr || index >= config_.enclosures.size()) {
        lastError = devio::kErrorInvalidParameter;
        return false;
    }
    const EnclosureConfig& enclosure = config_.enclosures[index];
    PassThroughAnswer answer;
    bool outOfMemory = false;
    const bool delivered = WithStateFile(
        [&](File& file) {
            StateFile stateFile(file, config_);
            DeviceState state;
            if (!stateFile.Load(index, state, why)) return false;
            // A command a fault rule names fails without touching the device.
            const FaultRule* fault = MatchingFault(state.faults, command->cdb);
            if (fault != nullptr && fault->answer == FaultAnswer::OutOfMemory) {
                outOfMemory = true;  // never answered, so not logged either
                return true;
            }
            SparseImage medium(files_, enclosure.imagePath, enclosure.sectorSize, enclosure.sectors);
            std::optional<NandStore> nand;
            if (enclosure.nand.present) nand.emplace(files_, enclosure.nand);
            const bool shortReply = fault != nullptr && fault->answer == FaultAnswer::ShortReply;
            answer = fault != nullptr && !shortReply
                         ? CheckCondition(kInternalTargetFailure)
                         : ExecuteCommand(enclosure, state, medium, *command, nand ? &*nand : nullptr,
                                          [&](const std::string& text) { Report(text); });
            if (shortReply) answer.dataIn.resize(answer.dataIn.size() / 2);
            if (cdrom && command->cdb[0] == devio::bridge::kOpInquiry && answer.status == devio::kScsiStatusGood &&
                !answer.dataIn.empty()) {
                answer.dataIn[0] = kCdromDeviceType;
            }
            if (!stateFile.Save(index, state, why)) return false;
            std::vector<std::uint8_t> record;
            EncodeLogRecord(index, *command, answer.status, record);
            std::string logError;
            if (!AppendLog(record, logError)) Report(logError);
            return true;
        },
        why);
    if (!delivered) {
        Report(why);
        lastError = kErrorIoDevice;
        return false;
    }
    if (outOfMemory) throw std::bad_alloc();
    returned = WriteAnswer(*command, answer, output, outputSize);
    return true;
}

bool Rig::ReadState(std::size_t index, DeviceState& state, std::string& error) {
    return WithStateFile([&](File& file) { return StateFile(file, config_).Load(index, state, error); }, error);
}

bool Rig::UpdateState(std::size_t index, const std::function<void(DeviceState&)>& change, std::string& error) {
    return WithStateFile(
        [&](File& file) {
            StateFile stateFile(file, config_);
            DeviceState state;
            if (!stateFile.Load(index, state, error)) return false;
            change(state);
            return stateFile.Save(index, state, error);
        },
        error);
}

bool Rig::WithNand(std::size_t index, const std::function<bool(NandStore&)>& work, std::string& error) {
    if (index >= config_.enclosures.size() || !config_.enclosures[index].nand.present) {
        error = "enclosure " + std::to_string(index) + " has no NAND (it is not of kind = flash)";
        return false;
    }
    const auto lock = files_.Lock(LockPath());
    if (!lock) {
        error = "cannot lock " + LockPath();
        return false;
    }
    NandStore nand(files_, config_.enclosures[index].nand);
    if (work(nand)) return true;
    if (error.empty()) error = nand.Error();
    return false;
}

bool Rig::ReadUnplugged(std::uint32_t& mask, std::string& error) {
    return WithStateFile([&](File& file) { return StateFile(file, config_).ReadUnplugged(mask, error); }, error);
}

bool Rig::SetPlugged(std::size_t index, bool plugged, std::string& error) {
    if (index >= config_.enclosures.size()) {
        error = "no enclosure " + std::to_string(index);
        return false;
    }
    return WithStateFile(
        [&](File& file) {
            StateFile stateFile(file, config_);
            std::uint32_t mask = 0;
            if (!stateFile.ReadUnplugged(mask, error)) return false;
            const std::uint32_t bit = 1u << index;
            return stateFile.WriteUnplugged(plugged ? (mask & ~bit) : (mask | bit), error);
        },
        error);
}

bool Rig::Reset(std::string& error) {
    return WithStateFile(
        [&](File& file) {
            if (!files_.Remove(RegistryPath())) {
                error = "cannot remove " + RegistryPath();
                return false;
            }
            for (const EnclosureConfig& enclosure : config_.enclosures) {
                if (!files_.Remove(enclosure.imagePath)) {
                    error = "cannot remove " + enclosure.imagePath;
                    return false;
                }
                if (enclosure.nand.present && !files_.Remove(enclosure.nand.path)) {
                    error = "cannot remove " + enclosure.nand.path;
                    return false;
                }
            }
            return StateFile(file, config_).Reset(error);
        },
        error);
}

bool Rig::LoadRegistryChanges(std::vector<RegistryChange>& changes, std::string& error) {
    std::string text;
    switch (ReadWholeFile(files_, RegistryPath(), kMaxRegistryChangesSize, text)) {
        case ReadStatus::Ok: break;
        case ReadStatus::Missing: changes.clear(); return true;
        case ReadStatus::Failed: error = "cannot read " + RegistryPath(); return false;
        case ReadStatus::TooLarge: error = RegistryPath() + " is larger than the rig reads"; return false;
    }
    if (!ParseRegistryChanges(text, changes, error)) {
        error = RegistryPath() + ": " + error + " (rigctl reset starts afresh)";
        return false;
    }
    return true;
}

bool Rig::ReadRegistryChanges(std::vector<RegistryChange>& changes, std::string& error) {
    const auto lock = files_.Lock(LockPath());
    if (!lock) {
        error = "cannot lock " + LockPath();
        return false;
    }
    return LoadRegistryChanges(changes, error);
}

bool Rig::ChangeRegistry(
    const std::function<bool(const std::vector<RegistryChange>& current, std::vector<RegistryChange>& added)>& decide,
    std::string& error) {
    const auto lock = files_.Lock(LockPath());
    if (!lock) {
        error = "cannot lock " + LockPath();
        return false;
    }
    std::vector<RegistryChange> current;
    if (!LoadRegistryChanges(current, error)) return false;
    std::vector<RegistryChange> added;
    if (!decide(current, added)) return false;
    if (added.empty()) return true;
    OpenStatus status = OpenStatus::Ok;
    const auto file = files_.Open(RegistryPath(), OpenMode::ReadWrite, status);
    std::uint64_t size = 0;
    if (!file || !file->Size(size)) {
        error = "cannot open " + RegistryPath();
        return false;
    }
    std::string text = size == 0 ? RegistryChangesHeader() : std::string();
    for (const RegistryChange& change : added) text += FormatRegistryChange(change);
    if (size + text.size() > kMaxRegistryChangesSize ||
        !file->WriteAt(size, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()))) {
        error = "cannot write " + RegistryPath();
        return false;
    }
    return true;
}

bool Rig::ReadLog(std::vector<std::uint8_t>& bytes, std::string& error) {
    const auto lock = files_.Lock(LockPath());
    if (!lock) {
        error = "cannot lock " + LockPath();
        return false;
    }
    std::string text;
    switch (ReadWholeFile(files_, config_.logPath, kMaxLogSize, text)) {
        case ReadStatus::Ok: break;
        case ReadStatus::Missing: bytes.clear(); return true;
        case ReadStatus::Failed: error = "cannot read " + config_.logPath; return false;
        case ReadStatus::TooLarge: error = config_.logPath + " is larger than the rig reads"; return false;
    }
    bytes.assign(text.begin(), text.end());
    return true;
}

bool Rig::ClearLog(std::string& error) {
    const auto lock = files_.Lock(LockPath());
    if (!lock) {
        error = "cannot lock " + LockPath();
        return false;
    }
    OpenStatus status = OpenStatus::Ok;
    const auto log = files_.Open(config_.logPath, OpenMode::ReadWrite, status);
    if (!log || !log->Truncate(0)) {
        error = "cannot empty " + config_.logPath;
        return false;
    }
    return true;
}

}  // namespace rig
