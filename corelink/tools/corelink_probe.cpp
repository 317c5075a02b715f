// corelink_probe: talks to one enclosure through the installed component, as the programs do.
//   corelink_probe.exe DEVICE_PATH [--acknowledge]
// Prints the enclosure's identity and its button state; with --acknowledge, a pressed button
// is acknowledged (released) afterwards. Exit status: 0 done, 1 the component or the device
// failed, 2 wrong usage.
#include <initguid.h>

#include "corelink_api.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

std::string Text(const BYTE* bytes, size_t length) {
    std::string text(reinterpret_cast<const char*>(bytes), length);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\0')) text.pop_back();
    return text;
}

int Probe(ICorelinkCtrl& corelink, const char* devicePath, bool acknowledge) {
    BYTE probe = 0x55;
    if (corelink.LinkTest(&probe) != 1) {
        std::fprintf(stderr, "the component did not answer its link test\n");
        return 1;
    }
    std::array<HANDLE, 256> handles;
    handles.fill(INVALID_HANDLE_VALUE);
    if (corelink.OpenDiskPathBySymbolicName(handles.data(), 0, devicePath) != 1) {
        std::fprintf(stderr, "cannot open %s\n", devicePath);
        return 1;
    }
    int status = 0;
    std::array<BYTE, 128> inquiry{};
    if (corelink.ReadInquery(handles.data(), 0, inquiry.data()) == 1) {
        std::printf("vendor \"%s\", product \"%s\", signature \"%s\", model \"%s\"\n", Text(&inquiry[8], 8).c_str(),
                    Text(&inquiry[16], 16).c_str(), Text(&inquiry[36], 4).c_str(), Text(&inquiry[44], 4).c_str());
    } else {
        std::fprintf(stderr, "INQUIRY failed\n");
        status = 1;
    }
    BYTE button = 0;
    if (corelink.ReadButton_USD(handles.data(), 0, 1, 0, &button) == 1) {
        const bool pressed = (button & 0x02) == 0;
        std::printf("button: %s (state byte 0x%02X)\n", pressed ? "pressed" : "released", button);
        if (pressed && acknowledge) {
            BYTE unused = 0;
            const bool done = corelink.ReadButton_USD(handles.data(), 0, 0, 2, &unused) == 1 &&
                              corelink.ReadButton_USD(handles.data(), 0, 1, 0, &button) == 1;
            std::printf("acknowledged: button %s\n", done && (button & 0x02) ? "released" : "still pressed");
            if (!done) status = 1;
        }
    } else {
        std::fprintf(stderr, "reading the button failed\n");
        status = 1;
    }
    corelink.CloseDiskPath(handles.data(), 0);
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3 || (argc == 3 && std::strcmp(argv[2], "--acknowledge") != 0)) {
        std::fprintf(stderr, "usage: corelink_probe DEVICE_PATH [--acknowledge]\n");
        return 2;
    }
    if (FAILED(::CoInitialize(nullptr))) return 1;
    ICorelinkCtrl* corelink = nullptr;
    const HRESULT created = ::CoCreateInstance(CLSID_Corelink, nullptr, CLSCTX_INPROC_SERVER, IID_ICorelinkCtrl,
                                               reinterpret_cast<void**>(&corelink));
    int status = 1;
    if (SUCCEEDED(created) && corelink) {
        status = Probe(*corelink, argv[1], argc == 3);
        corelink->Release();
    } else {
        std::fprintf(stderr, "the component is not installed (0x%08lX)\n", static_cast<unsigned long>(created));
    }
    ::CoUninitialize();
    return status;
}
