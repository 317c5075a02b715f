#pragma once
// A loaded rig: the machine a rig file describes, with its state file, sparse images and
// command log. Every request runs under one cross-process lock: load the enclosure's state,
// answer, save, log. So several programs (and rigctl) share one simulated device.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "command_log.h"
#include "device_state.h"
#include "registry_changes.h"
#include "rig_config.h"
#include "rig_files.h"

namespace rig {

class NandStore;

inline constexpr std::uint32_t kErrorIoDevice = 1117;  // the platform's ERROR_IO_DEVICE
inline constexpr std::size_t kMaxLogSize = 256u * 1024 * 1024;

class Rig {
public:
    // Null with `error` ("<path>: line N: ...") when the rig file cannot be read or is wrong.
    static std::shared_ptr<Rig> Load(FileSystem& files, const std::string& rigPath, std::string& error);

    Rig(FileSystem& files, RigConfig config);

    const RigConfig& Config() const { return config_; }

    // Where problems of a request go that its error code cannot tell (file trouble, malformed
    // blocks). Nothing by default.
    void SetReporter(std::function<void(const std::string&)> reporter) { reporter_ = std::move(reporter); }
    void Report(const std::string& text) const;  // prefixed "rig: "

    // One IOCTL_SCSI_PASS_THROUGH request to enclosure `index`, as DeviceIoControl takes it.
    // False when it was not delivered: a malformed block (ERROR_INVALID_PARAMETER) or the
    // rig's files failing (ERROR_IO_DEVICE).
    // `cdrom`: the request came through the enclosure's CD-ROM interface, whose INQUIRY reports
    // peripheral device type 5. A command one of the enclosure's fault rules names is answered
    // CHECK CONDITION (4/44/00), throws std::bad_alloc (after the lock is released) when the
    // rule says out-of-memory, or is carried out with the first half of its data-in reply only
    // when it says short-reply.
    bool PassThrough(std::size_t index, const void* input, std::uint32_t inputSize, void* output,
                     std::uint32_t outputSize, std::uint32_t& returned, std::uint32_t& lastError,
                     bool cdrom = false);

    bool ReadState(std::size_t index, DeviceState& state, std::string& error);
    bool UpdateState(std::size_t index, const std::function<void(DeviceState&)>& change, std::string& error);
    // Runs `work` under the lock on the NAND of enclosure `index` (a flash-controller enclosure).
    bool WithNand(std::size_t index, const std::function<bool(NandStore&)>& work, std::string& error);
    // Every enclosure back to the rig file's initial state; the sparse images and NAND files are
    // removed.
    bool Reset(std::string& error);

    // Bit n set while enclosure n is unplugged (kept in the state file's header).
    bool ReadUnplugged(std::uint32_t& mask, std::string& error);
    bool SetPlugged(std::size_t index, bool plugged, std::string& error);

    // The registry changes programs made (registry_changes.h), in order.
    bool ReadRegistryChanges(std::vector<RegistryChange>& changes, std::string& error);
    // Under the lock: `decide` sees the changes so far and appends those to record (none: the
    // file stays as it is). False when the file cannot be read or written, or `decide` says so.
    bool ChangeRegistry(
        const std::function<bool(const std::vector<RegistryChange>& current, std::vector<RegistryChange>& added)>&
            decide,
        std::string& error);

    // The whole command log (empty when there is none yet).
    bool ReadLog(std::vector<std::uint8_t>& bytes, std::string& error);
    bool ClearLog(std::string& error);

private:
    std::string LockPath() const { return config_.statePath + ".lock"; }
    std::string RegistryPath() const { return config_.statePath + ".registry"; }
    bool LoadRegistryChanges(std::vector<RegistryChange>& changes, std::string& error);
    // Runs `work` under the lock with the state file open.
    bool WithStateFile(const std::function<bool(File&)>& work, std::string& error);
    bool AppendLog(const std::vector<std::uint8_t>& record, std::string& error);

    FileSystem& files_;
    RigConfig config_;
    std::function<void(const std::string&)> reporter_;
};

}  // namespace rig
