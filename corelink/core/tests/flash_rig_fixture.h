#pragma once
// The component's flash maintenance on a simulated NAND: a flash-controller rig of a chosen
// layout (rig/tests/nand_rig_fixture.h), a program's device stack with the enclosure open in one
// slot, a dump folder in memory and a notice that keeps its messages.

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "corelink/core/flash_session.h"
#include "corelink/core/flash_table.h"
#include "corelink_rig_fixture.h"
#include "rig/core/command_log.h"
#include "rig/core/rig_control.h"
#include "rig/tests/nand_rig_fixture.h"

namespace corelink_test {

class MemoryDumpFolder final : public corelink::DumpFolder {
public:
    bool Prepare(const std::string& subfolder) override {
        if (!usable) return false;
        folders.insert(subfolder);
        return true;
    }
    std::unique_ptr<corelink::DumpFile> Create(const std::string& subfolder, const std::string& name) override {
        if (!usable || folders.count(subfolder) == 0) return nullptr;
        const std::string path = subfolder.empty() ? name : subfolder + "\\" + name;
        files[path].clear();
        return std::make_unique<File>(files[path]);
    }
    std::string Text(const std::string& path) const {
        const auto found = files.find(path);
        return found == files.end() ? std::string() : std::string(found->second.begin(), found->second.end());
    }

    bool usable = true;
    std::set<std::string> folders;
    std::map<std::string, std::vector<std::uint8_t>> files;

private:
    class File final : public corelink::DumpFile {
    public:
        explicit File(std::vector<std::uint8_t>& bytes) : bytes_(bytes) {}
        bool Write(std::span<const std::uint8_t> bytes) override {
            bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
            return true;
        }

    private:
        std::vector<std::uint8_t>& bytes_;
    };
};

class KeptNotices final : public corelink::UserNotice {
public:
    void Show(const char* text) override { texts.emplace_back(text); }
    std::vector<std::string> texts;
};

struct OwnedTable {
    explicit OwnedTable(std::uint8_t* t) : bytes(t) {}
    ~OwnedTable() { corelink::FreeFlashTable(bytes); }
    OwnedTable(const OwnedTable&) = delete;
    OwnedTable& operator=(const OwnedTable&) = delete;
    std::uint8_t* Chip(std::size_t i = 0) const {
        std::uint8_t* chip = nullptr;
        std::memcpy(&chip, bytes + offsetof(CorelinkFlashTable, chips) + i * sizeof(void*), sizeof chip);
        return chip;
    }
    std::uint8_t* bytes;
};

class FlashOnRig : public rig_test::NandRigTest {
protected:
    void SetUp() override {}

    void Start(const rig_test::NandLayout& chosen) {
        UseLayout(chosen);
        stack = Program();
        ASSERT_TRUE(stack);
        device = std::make_unique<corelink::Device>(corelink::Device{*stack, tracer, clock, console});
        handles.fill(devio::kInvalidDeviceHandle);
        ASSERT_EQ(corelink::OpenDiskPathBySymbolicName(*device, handles.data(), kSlot, rig_test::kFlashInterface), 1);
        ClearLog();
        tracer.texts.clear();
        session = std::make_unique<corelink::FlashSession>(
            corelink::FlashSession{*device, handles.data(), kSlot, geometry, &dumps, &notices});
    }

    int Rigctl(std::vector<std::string> args, int expected = 0) {
        std::ostringstream out, err;
        args.insert(args.begin(), rigPath);
        const int status = rig::RunRigControl(rig::PlatformFileSystem(), args, out, err);
        EXPECT_EQ(status, expected) << err.str();
        rigctlOut = out.str();
        return status;
    }
    void ClearLog() { Rigctl({"log", "--clear"}); }
    std::vector<rig::LogRecord> Log() {
        const std::string bytes = rig_test::ReadTextFile(folder.File("flash.log"));
        return rig::ParseCommandLog(std::vector<std::uint8_t>(bytes.begin(), bytes.end())).records;
    }
    std::vector<std::string> Cdbs() {
        std::vector<std::string> cdbs;
        for (const rig::LogRecord& record : Log()) cdbs.push_back(rig::HexBytes(record.header.cdb, record.header.cdbLength));
        return cdbs;
    }
    rig::DeviceState State() {
        rig::DeviceState state;
        std::string error;
        auto machine = rig::Rig::Load(rig::PlatformFileSystem(), rigPath, error);
        EXPECT_TRUE(machine && machine->ReadState(0, state, error)) << error;
        return state;
    }
    int Count(const std::string& text) const {
        int n = 0;
        for (const std::string& t : tracer.texts) n += t == text ? 1 : 0;
        return n;
    }

    static constexpr std::uint8_t kSlot = 3;
    std::unique_ptr<rig::RigDeviceStack> stack;
    KeptTexts tracer;
    KeptTexts console;
    corelink::ManualClock clock;
    std::unique_ptr<corelink::Device> device;
    std::array<devio::DeviceHandle, 256> handles{};
    corelink::FlashGeometry geometry;
    MemoryDumpFolder dumps;
    KeptNotices notices;
    std::unique_ptr<corelink::FlashSession> session;
    std::string rigctlOut;
};

}  // namespace corelink_test
