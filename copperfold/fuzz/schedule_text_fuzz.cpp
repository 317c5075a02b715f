// Feeds arbitrary text (UTF-16 units) through what reads schedules: the job file's
// "Schedule%04d" values (anyone may have edited the file) and the command line (any script may
// have written it). What is read is written back the one way and reads the same again; an edit
// keeps every part it does not touch.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "copperfold/core/command_line.h"
#include "copperfold/core/job_schedule.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::wstring text;
    for (std::size_t i = 0; i + 1 < size; i += 2) text.push_back(static_cast<wchar_t>(data[i] | (data[i + 1] << 8)));

    if (const auto time = copperfold::ParseScheduleTime(text)) {
        if (copperfold::ParseScheduleTime(copperfold::FormatScheduleTime(*time)) != time) __builtin_trap();
        (void)copperfold::ScheduleTimeText(*time);
    }
    const auto entries = copperfold::ScheduleEntries(text);
    const int id = size > 0 ? 1 + data[0] % copperfold::kMaxScheduleId : 1;
    const copperfold::ScheduleTime daily{0, 20, 0};
    const std::wstring added = copperfold::WithSchedule(text, id, daily);
    const auto withIt = copperfold::ScheduleEntries(added);
    if (withIt.empty() || withIt.back().id != id || !(withIt.back().time == daily)) __builtin_trap();
    for (const auto& entry : copperfold::ScheduleEntries(copperfold::WithoutSchedule(added, id))) {
        if (entry.id == id) __builtin_trap();
    }
    const auto others = std::count_if(entries.begin(), entries.end(), [&](const auto& entry) { return entry.id != id; });
    if (copperfold::ScheduleEntries(copperfold::WithoutSchedule(text, id)).size() != static_cast<std::size_t>(others)) {
        __builtin_trap();  // only schedule `id` goes
    }

    const copperfold::CommandLine command = copperfold::ParseCommandLine(text);
    if (command.kind == copperfold::CommandLine::Kind::Schedule && command.jobNumbers.empty()) __builtin_trap();
    for (const int number : command.jobNumbers) {
        if (number < 1 || number > kMaxJobs) __builtin_trap();
    }
    if (command.scheduleId < 0 || command.scheduleId > copperfold::kMaxScheduleId) __builtin_trap();
    return 0;
}
