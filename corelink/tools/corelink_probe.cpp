// corelink_probe: talks to one enclosure through the installed component, as the programs do.
//   corelink_probe.exe DEVICE_PATH [--acknowledge]
//   corelink_probe.exe DEVICE_PATH --flash-scan CE CH BLOCKS PAGES_PER_BLOCK
// Prints the enclosure's identity and its button state; with --acknowledge, a pressed button
// is acknowledged (released) afterwards. With --flash-scan, scans a flash controller's NAND of
// CE x CH chips through the component's flash table and prints each chip's bad blocks.
// Exit status: 0 done, 1 the component or the device failed, 2 wrong usage.
#include <initguid.h>

#include "corelink_api.h"

#include <array>
#include <cstdio>
#include <cstdlib>
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

struct FlashLayout {
    BYTE chipEnables;
    BYTE channels;
    DWORD blocks;
    WORD pagesPerBlock;
};

int FlashScan(ICorelinkCtrl& corelink, const char* devicePath, const FlashLayout& layout) {
    std::array<HANDLE, 256> handles;
    handles.fill(INVALID_HANDLE_VALUE);
    if (corelink.OpenDiskPathBySymbolicName(handles.data(), 0, devicePath) != 1) {
        std::fprintf(stderr, "cannot open %s\n", devicePath);
        return 1;
    }
    const DWORD entryBytes = (layout.blocks + 7) / 8;
    BYTE* table = corelink.CreateFlashTable(1, layout.chipEnables, layout.channels, entryBytes);
    int status = 1;
    if (table == nullptr) {
        std::fprintf(stderr, "the component refused a table of %u x %u chips\n", layout.chipEnables, layout.channels);
    } else {
        BYTE* chip = reinterpret_cast<BYTE*>(reinterpret_cast<CorelinkFlashTable*>(table)->chips[0]);
        if (corelink.ScanFlashBlock(handles.data(), 0, chip, layout.pagesPerBlock, 0, 0) == 1) {
            status = 0;
            for (BYTE ce = 0; ce < layout.chipEnables; ++ce) {
                for (BYTE ch = 0; ch < layout.channels; ++ch) {
                    std::string bad;
                    unsigned count = 0;
                    for (DWORD block = 0; block < layout.blocks; ++block) {
                        if (corelink.GetFlashTableBit(chip, ce, ch, block / 8, static_cast<BYTE>(block % 8)) == 1) {
                            bad += " " + std::to_string(block);
                            ++count;
                        }
                    }
                    std::printf("chip 0x%02X (CE %u, CH %u): %u bad blocks:%s\n", static_cast<unsigned>(ch | ce << 4),
                                ce, ch, count, bad.c_str());
                }
            }
        } else {
            std::fprintf(stderr, "the scan failed\n");
        }
        corelink.FreeFlashTable(table);
    }
    corelink.CloseDiskPath(handles.data(), 0);
    return status;
}

bool ParseNumber(const char* text, unsigned long max, unsigned long& value) {
    char* end = nullptr;
    value = std::strtoul(text, &end, 0);
    return end != text && *end == '\0' && value <= max;
}

}  // namespace

int main(int argc, char** argv) {
    const bool flashScan = argc == 7 && std::strcmp(argv[2], "--flash-scan") == 0;
    FlashLayout layout{};
    if (flashScan) {
        unsigned long ce = 0, ch = 0, blocks = 0, pages = 0;
        if (!ParseNumber(argv[3], 4, ce) || !ParseNumber(argv[4], 4, ch) || !ParseNumber(argv[5], 65536, blocks) ||
            !ParseNumber(argv[6], 512, pages) || ce == 0 || ch == 0 || blocks == 0) {
            std::fprintf(stderr, "usage: corelink_probe DEVICE_PATH --flash-scan CE(1..4) CH(1..4) BLOCKS PAGES_PER_BLOCK\n");
            return 2;
        }
        layout = {static_cast<BYTE>(ce), static_cast<BYTE>(ch), static_cast<DWORD>(blocks), static_cast<WORD>(pages)};
    } else if (argc < 2 || argc > 3 || (argc == 3 && std::strcmp(argv[2], "--acknowledge") != 0)) {
        std::fprintf(stderr, "usage: corelink_probe DEVICE_PATH [--acknowledge]\n"
                             "       corelink_probe DEVICE_PATH --flash-scan CE CH BLOCKS PAGES_PER_BLOCK\n");
        return 2;
    }
    if (FAILED(::CoInitialize(nullptr))) return 1;
    ICorelinkCtrl* corelink = nullptr;
    const HRESULT created = ::CoCreateInstance(CLSID_Corelink, nullptr, CLSCTX_INPROC_SERVER, IID_ICorelinkCtrl,
                                               reinterpret_cast<void**>(&corelink));
    int status = 1;
    if (SUCCEEDED(created) && corelink) {
        status = flashScan ? FlashScan(*corelink, argv[1], layout) : Probe(*corelink, argv[1], argc == 3);
        corelink->Release();
    } else {
        std::fprintf(stderr, "the component is not installed (0x%08lX)\n", static_cast<unsigned long>(created));
    }
    ::CoUninitialize();
    return status;
}
