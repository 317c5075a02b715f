#pragma once
// What the tests of the enclosure's button read of a press: the button commands in the rig's
// command log, and the button's runs in the run log.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "common/tests/win32/temp_folder.h"
#include "copperfold/win32/run_log_file.h"
#include "rig/core/command_log.h"

namespace testing_support {

struct ButtonCommands {
    int reads = 0;             // of the button state
    int acknowledgements = 0;  // the write of 2
    int readsAfterAcknowledgement = 0;
};

// The button commands of the rig's command log `logFile`.
inline ButtonCommands ButtonLog(const std::wstring& logFile) {
    std::ifstream in(std::filesystem::path(logFile), std::ios::binary);
    const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    ButtonCommands seen;
    for (const rig::LogRecord& record : rig::ParseCommandLog(bytes).records) {
        const std::uint8_t* cdb = record.header.cdb;
        if (cdb[0] != 0xEE || cdb[1] != 0x80) continue;
        if (cdb[6] == 0x87) {
            ++seen.reads;
            if (seen.acknowledgements > 0) ++seen.readsAfterAcknowledgement;
        }
        if (cdb[6] == 0x88 && !record.dataOut.empty() && record.dataOut[0] == 0x02) ++seen.acknowledgements;
    }
    return seen;
}

// The runs of the enclosure's button in this user's run log.
inline int ButtonRuns() {
    const std::string log = ReadBytes(copperfold::RunLogPath());
    int runs = 0;
    for (size_t at = log.find("started by the enclosure's button"); at != std::string::npos;
         at = log.find("started by the enclosure's button", at + 1)) {
        ++runs;
    }
    return runs;
}

}  // namespace testing_support
