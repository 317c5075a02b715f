#pragma once
// CBaseAPI: the object behind ICorelinkCtrl. It owns its two command groups and the state of one
// USB port walk, and keeps the options a client sets on it for its whole life (product filter off,
// SuperSpeed only, forced serial read, dump folder). It never keeps a disk handle: those live in
// the caller's array.

#include <array>
#include <atomic>
#include <memory>

#include "corelink/core/flash_session.h"
#include "corelink/core/scsi_commands.h"
#include "corelink/core/usb_walk.h"
#include "corelink_api.h"

namespace corelink::com {

class CBaseAPI final : public ICorelinkCtrl {
public:
    CBaseAPI();
    CBaseAPI(const CBaseAPI&) = delete;
    CBaseAPI& operator=(const CBaseAPI&) = delete;

    // IUnknown: only IID_IUnknown and IID_ICorelinkCtrl are handed out.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // Options and the link test (base_api.cpp).
    ICorelinkCtrl* STDMETHODCALLTYPE DisableProductFilter() override;
    int STDMETHODCALLTYPE LinkTest(BYTE* probe) override;
    int STDMETHODCALLTYPE SetDebugDmpFilePathSS(const WCHAR* folder) override;
    ICorelinkCtrl* STDMETHODCALLTYPE ForceInUSB30() override;
    int STDMETHODCALLTYPE ActiveFilterDriver(int value) override;

    // Open, close and the storage-device operations (base_api_device.cpp).
    int STDMETHODCALLTYPE OpenDiskPath(HANDLE* handles, int letterIndex) override;
    int STDMETHODCALLTYPE CloseDiskPath(HANDLE* handles, BYTE slot) override;
    int STDMETHODCALLTYPE OpenDiskPathBySymbolicName(HANDLE* handles, BYTE slot, const char* devicePath) override;
    int STDMETHODCALLTYPE ReadInquery(HANDLE* handles, BYTE slot, BYTE* data) override;
    int STDMETHODCALLTYPE ReadButton_USD(HANDLE* handles, BYTE slot, BYTE read, BYTE value, BYTE* data) override;
    int STDMETHODCALLTYPE ReadEEPROM_USD(HANDLE* handles, BYTE slot, BYTE read, BYTE cdbByte12, BYTE cdbByte13,
                                         DWORD address, WORD length, BYTE* data) override;
    int STDMETHODCALLTYPE ReadFW_USD(HANDLE* handles, BYTE slot, BYTE read, BYTE cdbByte13, DWORD address,
                                     WORD length, BYTE* data) override;
    int STDMETHODCALLTYPE GetPMInfo_USD(HANDLE* handles, BYTE slot, WORD length, BYTE* data) override;
    int STDMETHODCALLTYPE EnableSuspned_USD(HANDLE* handles, BYTE slot, BYTE enable) override;
    int STDMETHODCALLTYPE SetTimer_USD(HANDLE* handles, BYTE slot, WORD timer) override;
    int STDMETHODCALLTYPE SetHDCapLED_USD(HANDLE* handles, BYTE slot, BYTE value) override;
    int STDMETHODCALLTYPE ATAIdentify_USD(HANDLE* handles, BYTE slot, WORD length, BYTE* data) override;
    int STDMETHODCALLTYPE ReadSPI_USD(HANDLE* handles, BYTE slot, BYTE mode, DWORD word12, DWORD address, BYTE byte10,
                                      WORD word9, WORD length, BYTE* data) override;

    // Device discovery (base_api_discovery.cpp): the storage scans, the USB port walk, its
    // polling and the hub scan.
    int STDMETHODCALLTYPE ScanDiskPath(void* list) override;
    int STDMETHODCALLTYPE ScanDiskPathBySymbolicName(void* list) override;
    int STDMETHODCALLTYPE ScanUSBPort(void* deviceList) override;
    int STDMETHODCALLTYPE PollingSingleUSBPort(void* entry) override;
    int STDMETHODCALLTYPE PollingSingleUSBPortEx(void* entry, BYTE triggerMask, BYTE slotForTrace) override;
    int STDMETHODCALLTYPE ScanHub(void* hubList) override;
    int STDMETHODCALLTYPE PollingHubPort(void* hubRecord) override;

    // Disk I/O, volume lock, safe removal and registry clean-up (base_api_disk.cpp).
    int STDMETHODCALLTYPE ReadDisk(HANDLE* handles, BYTE slot, DWORD lba, DWORD byteCount, BYTE* data) override;
    int STDMETHODCALLTYPE WriteDiskRetry(HANDLE* handles, BYTE slot, DWORD lba, DWORD byteCount,
                                         const BYTE* data) override;
    int STDMETHODCALLTYPE Disk_Lock(HANDLE* handles, BYTE slot, HANDLE* volume) override;
    int STDMETHODCALLTYPE Disk_Unlock(HANDLE* handles, BYTE slot, HANDLE volume) override;
    int STDMETHODCALLTYPE ReadCapacity(HANDLE* handles, BYTE slot, DWORD* lastLba, DWORD* blockLength) override;
    int STDMETHODCALLTYPE ReadCapacityEx(HANDLE* handles, BYTE slot, BYTE lun, DWORD* lastLba,
                                         DWORD* blockLength) override;
    int STDMETHODCALLTYPE ReadDiskEx(HANDLE* handles, BYTE slot, BYTE lun, DWORD lba, DWORD byteCount, BYTE* data,
                                     DWORD* ticks) override;
    int STDMETHODCALLTYPE WriteDisk(HANDLE* handles, BYTE slot, BYTE lun, DWORD lba, DWORD byteCount,
                                    const BYTE* data, DWORD* ticks) override;
    int STDMETHODCALLTYPE DeviceSafeRemoval(DWORD devInst) override;
    int STDMETHODCALLTYPE DeleteDevRegistryRecord(WORD vid, WORD pid) override;
    int STDMETHODCALLTYPE DeleteDevRegistryRecordEx(WORD vid, WORD pid, const WCHAR* vendor, const WCHAR* product,
                                                    const WCHAR* revision) override;
    int STDMETHODCALLTYPE SetIgnoredRegistry(WORD vid, WORD pid) override;

    // The file-system slots (base_api_filesystem.cpp).
    int STDMETHODCALLTYPE CreateFileSystemImage(void* params) override;
    int STDMETHODCALLTYPE CreateFileSystemImageW(void* params) override;
    int STDMETHODCALLTYPE BuildDriveFileSystem(void* params, int drive) override;
    int STDMETHODCALLTYPE BuildDriveFileSystemW(void* params, int drive) override;
    int STDMETHODCALLTYPE BuildPhyDiskFileSystem(HANDLE* handles, BYTE slot, void* params) override;
    int STDMETHODCALLTYPE BuildPhyDiskFileSystemW(HANDLE* handles, BYTE slot, void* params) override;
    // Flash maintenance (base_api_flash.cpp, base_api_flash_table.cpp).
    int STDMETHODCALLTYPE ScanFlashBlock(HANDLE* handles, BYTE slot, BYTE* chipRecord, WORD pagesPerBlock,
                                         WORD scanValue, BYTE flags) override;
    int STDMETHODCALLTYPE FindISPAndCISUseBlock(HANDLE* handles, BYTE slot, BYTE* chipRecord, BYTE* foundBlocks,
                                                BYTE* params) override;
    int STDMETHODCALLTYPE BuildUFDSystemTable(HANDLE* handles, BYTE slot, BYTE* chipRecord, BYTE* buffer,
                                              BYTE* capacityRecord) override;
    int STDMETHODCALLTYPE ReadFlashID_UFD(HANDLE* handles, BYTE slot, BYTE value, BYTE* data) override;
    BYTE* STDMETHODCALLTYPE CreateFlashTable(BYTE planes, BYTE rows, BYTE columns, DWORD cellBytes) override;
    void STDMETHODCALLTYPE FreeFlashTable(BYTE* table) override;
    void STDMETHODCALLTYPE SetFlashTableBit(BYTE* chipRecord, BYTE row, BYTE column, DWORD byteOffset, BYTE bit,
                                            BYTE value) override;
    int STDMETHODCALLTYPE GetFlashTableBit(const BYTE* chipRecord, BYTE row, BYTE column, DWORD byteOffset,
                                           BYTE bit) override;
    int STDMETHODCALLTYPE INITISP_UFD(HANDLE* handles, BYTE slot, DWORD address, WORD length,
                                      const BYTE* data) override;
    int STDMETHODCALLTYPE CPUReset_UFD(HANDLE* handles, BYTE slot) override;
    int STDMETHODCALLTYPE UFDCacheClear_UFD(HANDLE* handles, BYTE slot) override;
    int STDMETHODCALLTYPE MediumLoadUnload_UFD(HANDLE* handles, BYTE slot, BYTE lun, BYTE control) override;
    int STDMETHODCALLTYPE ChipReset(HANDLE* handles, BYTE slot) override;
    int STDMETHODCALLTYPE BuildPhyDiskFileSystemExW(HANDLE* handles, BYTE slot, void* params, int flags) override;
    int STDMETHODCALLTYPE GetFAT32RootSectorAddr(void* params, DWORD* sector) override;
    int STDMETHODCALLTYPE ChipResetEx(HANDLE* handles, BYTE slot) override;

private:
    ~CBaseAPI();  // only Release destroys

    std::unique_ptr<corelink::CSTDCMDControl> stdCommands_;
    std::unique_ptr<corelink::CVCommCMDControl> vendorCommands_;
    std::atomic<LONG> refCount_{1};
    // The walk state (used only while the scan lock is held) and the options that steer the scans:
    // product filter off, SuperSpeed only, forced serial read, the kind of root hub being walked.
    corelink::WalkState walk_;
    corelink::FlashGeometry flashGeometry_;  // pages per block and scan value, set by ScanFlashBlock
    std::unique_ptr<char[]> debugDumpPath_;  // ANSI dump folder, or null

    // Runs a flash operation on the handle slot with this object's geometry, dump folder and notice.
    template <typename Operation>
    int OnFlashSlot(HANDLE* handles, BYTE slot, Operation operation) noexcept;
};

}  // namespace corelink::com
