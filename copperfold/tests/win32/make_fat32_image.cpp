// Formats a FAT32 image file with Volkern.dll, through its parameter block, as the component
// does: the real-volume tests mount what our own library wrote.
//   make_fat32_image IMAGE SECTORS [LABEL]
// Exit status 0 on success; otherwise the library's result code is printed and the status is 1.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "volkern/include/volkern_api.h"

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::fwprintf(stderr, L"usage: make_fat32_image IMAGE SECTORS [LABEL]\n");
        return 2;
    }
    char path[MAX_PATH] = {};
    if (::WideCharToMultiByte(CP_ACP, 0, argv[1], -1, path, MAX_PATH, nullptr, nullptr) == 0) return 2;
    char label[12] = {};
    if (argc > 3 && ::WideCharToMultiByte(CP_ACP, 0, argv[3], -1, label, sizeof label, nullptr, nullptr) == 0) return 2;

    const HMODULE library = ::LoadLibraryW(L"Volkern.dll");
    if (!library) {
        std::fwprintf(stderr, L"Volkern.dll cannot be loaded (error %lu)\n", ::GetLastError());
        return 1;
    }
    using Create = uint32_t(VOLKERN_CALL*)(VolkernParameters*);
    const auto create =
        reinterpret_cast<Create>(reinterpret_cast<void*>(::GetProcAddress(library, "knlfs_CreateFileSystemImage")));
    if (!create) return 1;

    VolkernParameters block{};
    block.sectorCount = std::wcstoull(argv[2], nullptr, 10);
    block.options = VOLKERN_OPTION_REPLACE_IMAGE;
    block.path = path;
    block.label = argc > 3 ? label : nullptr;
    const uint32_t result = create(&block);
    ::FreeLibrary(library);
    if (result != VOLKERN_OK) {
        std::fwprintf(stderr, L"Volkern refused the image: 0x%04X\n", static_cast<unsigned>(result));
        return 1;
    }
    std::wprintf(L"FAT32 image of %llu sectors, root directory at sector %u\n",
                 static_cast<unsigned long long>(block.sectorCount), static_cast<unsigned>(block.rootSector));
    return 0;
}
