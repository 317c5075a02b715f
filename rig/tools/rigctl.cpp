// rigctl: presses the simulated enclosure's button, sets it not ready, shows its state and the
// command log, and resets it. Usage: see rig/core/rig_control.h or run it without arguments.
#include <iostream>
#include <string>
#include <vector>

#include "rig/core/rig_control.h"
#include "rig/core/rig_files.h"

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>

#include "common/core/text_codec.h"
#include "rig/win32/volume_broadcast.h"

// The arguments as UTF-8, whatever the console's code page.
static std::vector<std::string> Arguments(int, char**) {
    std::vector<std::string> args;
    int count = 0;
    wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (wide == nullptr) return args;
    for (int i = 1; i < count; ++i) args.push_back(common::WideToUtf8(wide[i]).value_or(std::string()));
    ::LocalFree(wide);
    return args;
}
#else
static std::vector<std::string> Arguments(int argc, char** argv) { return {argv + 1, argv + argc}; }
#endif

int main(int argc, char** argv) {
    const std::vector<std::string> args = Arguments(argc, argv);
    const int status = rig::RunRigControl(rig::PlatformFileSystem(), args, std::cout, std::cerr);
#ifdef _WIN32
    // As the system does for a real drive: the windows of the session hear of the volumes.
    if (status == 0 && !rig::BroadcastAfterPlugCommand(args)) {
        std::cerr << "rigctl: the volume change could not be broadcast\n";
        return 1;
    }
#endif
    return status;
}
