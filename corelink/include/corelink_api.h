#pragma once
/* Corelink.ax, the device access component: its class identifier and its two interfaces, for C and C++ clients.
 *
 * One class identifier yields either interface, each from its own object: ask for ICorelinkCtrl or
 * ICorelinkCtrl2 when creating the object (CoCreateInstance with CLSCTX_INPROC_SERVER). Neither interface is
 * reachable from the other's object. The slot order below is the binary contract and never changes.
 *
 * Identifiers: declared with DEFINE_GUID. Exactly one translation unit of a program defines them, by including
 * <initguid.h> before this header; every other unit sees extern declarations.
 *
 * Conventions of the device operations:
 * - Every method returns a 32-bit integer unless its declaration says otherwise; for device operations
 *   1 means success and 0 failure (the command was not delivered or the device answered a non-zero status).
 * - `handles` is the caller's array of disk handles (up to 256 elements, owned and sized by the caller). Open
 *   operations store into handles[slot]; every other operation uses the element at `slot`. The component keeps
 *   no handle itself.
 * - `read` selects the direction of a read/write pair: 1 reads, any other value writes.
 * - Text is ANSI (the system code page) except where a parameter is declared as WCHAR.
 * - List and parameter-block arguments are byte layouts owned by the caller (void* or BYTE*); their records
 *   are described where the operations are documented.
 */

#include <windows.h>
#include <objbase.h>

#include "corelink_flash_table.h"

DEFINE_GUID(CLSID_Corelink, 0x6f3b2a91, 0x4c7e, 0x4d2a, 0x9b, 0x15, 0x3e, 0x8c, 0x71, 0xa0, 0xd4, 0xf2);
DEFINE_GUID(IID_ICorelinkCtrl, 0xa4d17e52, 0x0b9c, 0x4f63, 0x8e, 0x2d, 0x57, 0xc9, 0xb3, 0xf1, 0xa0, 0x86);
DEFINE_GUID(IID_ICorelinkCtrl2, 0x3c95f0d7, 0xe261, 0x4b8a, 0xa7, 0xc4, 0x9d, 0x02, 0xe6, 0xb5, 0xf3, 0x18);

typedef struct ICorelinkCtrl ICorelinkCtrl;
typedef struct ICorelinkCtrl2 ICorelinkCtrl2;

/* The component's only user-visible messages, the flash table writes' failures ("Write TAT Error",
 * "Write LFT Error", "Write WCT Error"), go through one process-wide function. By default it shows a
 * message box and waits for a click. A caller that must never wait (a service, a scheduled run, a
 * test) installs its own through the library's export CorelinkSetMessageHandler (find it with
 * GetProcAddress on the loaded Corelink.ax); a null handler drops the messages. */
typedef void(WINAPI* CorelinkMessageHandler)(const char* text, void* context);
typedef void(WINAPI* CorelinkSetMessageHandlerFunction)(CorelinkMessageHandler handler, void* context);
#define CORELINK_SET_MESSAGE_HANDLER_EXPORT "CorelinkSetMessageHandler"

#if defined(__cplusplus) && !defined(CINTERFACE)

// Objects behind these interfaces are destroyed by their own Release, never through an interface
// pointer; like IUnknown the interfaces have no virtual destructor.
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
#endif

// 62 slots: IUnknown (0..2), then 3..61.
MIDL_INTERFACE("A4D17E52-0B9C-4F63-8E2D-57C9B3F1A086")
ICorelinkCtrl : public IUnknown {
public:
    // 3: 24 DiskPathEntry records, one per drive letter C..Z
    virtual int STDMETHODCALLTYPE ScanDiskPath(void* list) = 0;
    // 4: opens \\.\C: advanced by letterIndex into handles[letterIndex]
    virtual int STDMETHODCALLTYPE OpenDiskPath(HANDLE* handles, int letterIndex) = 0;
    // 5: closes handles[slot]; the slot keeps its value
    virtual int STDMETHODCALLTYPE CloseDiskPath(HANDLE* handles, BYTE slot) = 0;
    // 6
    virtual int STDMETHODCALLTYPE ReadDisk(HANDLE* handles, BYTE slot, DWORD lba, DWORD byteCount, BYTE* data) = 0;
    // 7
    virtual int STDMETHODCALLTYPE WriteDiskRetry(HANDLE* handles, BYTE slot, DWORD lba, DWORD byteCount,
                                                 const BYTE* data) = 0;
    // 8: 32 DiskPathEntry records
    virtual int STDMETHODCALLTYPE ScanDiskPathBySymbolicName(void* list) = 0;
    // 9
    virtual int STDMETHODCALLTYPE OpenDiskPathBySymbolicName(HANDLE* handles, BYTE slot, const char* devicePath) = 0;
    // 10: the DeviceList: 32 DeviceListEntry records, 80896 bytes
    virtual int STDMETHODCALLTYPE ScanUSBPort(void* deviceList) = 0;
    // 11: one DeviceListEntry, updated in place
    virtual int STDMETHODCALLTYPE PollingSingleUSBPort(void* entry) = 0;
    // 12: file-system parameter block, ANSI strings
    virtual int STDMETHODCALLTYPE CreateFileSystemImage(void* params) = 0;
    // 13: file-system parameter block, wide strings
    virtual int STDMETHODCALLTYPE CreateFileSystemImageW(void* params) = 0;
    // 14
    virtual int STDMETHODCALLTYPE BuildDriveFileSystem(void* params, int drive) = 0;
    // 15
    virtual int STDMETHODCALLTYPE BuildDriveFileSystemW(void* params, int drive) = 0;
    // 16
    virtual int STDMETHODCALLTYPE BuildPhyDiskFileSystem(HANDLE* handles, BYTE slot, void* params) = 0;
    // 17
    virtual int STDMETHODCALLTYPE BuildPhyDiskFileSystemW(HANDLE* handles, BYTE slot, void* params) = 0;
    // 18: volume: out
    virtual int STDMETHODCALLTYPE Disk_Lock(HANDLE* handles, BYTE slot, HANDLE* volume) = 0;
    // 19
    virtual int STDMETHODCALLTYPE Disk_Unlock(HANDLE* handles, BYTE slot, HANDLE volume) = 0;
    // 20
    virtual int STDMETHODCALLTYPE ReadButton_USD(HANDLE* handles, BYTE slot, BYTE read, BYTE value, BYTE* data) = 0;
    // 21
    virtual int STDMETHODCALLTYPE ReadEEPROM_USD(HANDLE* handles, BYTE slot, BYTE read, BYTE cdbByte12,
                                                 BYTE cdbByte13, DWORD address, WORD length, BYTE* data) = 0;
    // 22: cdbByte13 is used by the write only
    virtual int STDMETHODCALLTYPE ReadFW_USD(HANDLE* handles, BYTE slot, BYTE read, BYTE cdbByte13, DWORD address,
                                             WORD length, BYTE* data) = 0;
    // 23
    virtual int STDMETHODCALLTYPE GetPMInfo_USD(HANDLE* handles, BYTE slot, WORD length, BYTE* data) = 0;
    // 24
    virtual int STDMETHODCALLTYPE EnableSuspned_USD(HANDLE* handles, BYTE slot, BYTE enable) = 0;
    // 25
    virtual int STDMETHODCALLTYPE SetTimer_USD(HANDLE* handles, BYTE slot, WORD timer) = 0;
    // 26: the NAND scan into the chip record's bitmaps and counters; 1 only when every cell was scanned
    // and xdata 0x2360 was put back as it was (it is put back however the scan ends)
    virtual int STDMETHODCALLTYPE ScanFlashBlock(HANDLE* handles, BYTE slot, BYTE* chipRecord, WORD pagesPerBlock,
                                                 WORD scanValue, BYTE flags) = 0;
    // 27: foundBlocks holds 1 + 14 x params[5] bytes (a count, then 7-byte CorelinkFoundBlock records);
    // params[5] = 0 asks for nothing (count 0, result 1)
    virtual int STDMETHODCALLTYPE FindISPAndCISUseBlock(HANDLE* handles, BYTE slot, BYTE* chipRecord,
                                                        BYTE* foundBlocks, BYTE* params) = 0;
    // 28: buffer is the parameter record of 27; the tables take their blocks from the first params[7]
    // cells (params[0], the search's cell count, is not used here)
    virtual int STDMETHODCALLTYPE BuildUFDSystemTable(HANDLE* handles, BYTE slot, BYTE* chipRecord, BYTE* buffer,
                                                      BYTE* capacityRecord) = 0;
    // 29
    virtual int STDMETHODCALLTYPE ReadFlashID_UFD(HANDLE* handles, BYTE slot, BYTE value, BYTE* data) = 0;
    // 30: a CorelinkFlashTable (corelink_flash_table.h): planes chip records of rows CE x columns CH cells of
    // cellBytes zeroed bitmap bytes; null when a count is 0, CE or CH is above 4 or it is too large. The caller
    // frees it with FreeFlashTable
    virtual BYTE* STDMETHODCALLTYPE CreateFlashTable(BYTE planes, BYTE rows, BYTE columns, DWORD cellBytes) = 0;
    // 31
    virtual void STDMETHODCALLTYPE FreeFlashTable(BYTE* table) = 0;
    // 32
    virtual void STDMETHODCALLTYPE SetFlashTableBit(BYTE* chipRecord, BYTE row, BYTE column, DWORD byteOffset,
                                                    BYTE bit, BYTE value) = 0;
    // 33: the bit, 255 for a bit number above 7; a row, column or byte outside the chip record reads 0 (and a
    // set there changes nothing)
    virtual int STDMETHODCALLTYPE GetFlashTableBit(const BYTE* chipRecord, BYTE row, BYTE column, DWORD byteOffset,
                                                   BYTE bit) = 0;
    // 34: the object itself (no reference added)
    virtual ICorelinkCtrl* STDMETHODCALLTYPE DisableProductFilter() = 0;
    // 35: 1 when *probe was 0x55 (it becomes 0xAA), else 0
    virtual int STDMETHODCALLTYPE LinkTest(BYTE* probe) = 0;
    // 36: 1
    virtual int STDMETHODCALLTYPE SetDebugDmpFilePathSS(const WCHAR* folder) = 0;
    // 37: the object itself (no reference added)
    virtual ICorelinkCtrl* STDMETHODCALLTYPE ForceInUSB30() = 0;
    // 38
    virtual int STDMETHODCALLTYPE ReadCapacity(HANDLE* handles, BYTE slot, DWORD* lastLba, DWORD* blockLength) = 0;
    // 39
    virtual int STDMETHODCALLTYPE ScanHub(void* hubList) = 0;
    // 40
    virtual int STDMETHODCALLTYPE PollingHubPort(void* hubRecord) = 0;
    // 41
    virtual int STDMETHODCALLTYPE INITISP_UFD(HANDLE* handles, BYTE slot, DWORD address, WORD length,
                                              const BYTE* data) = 0;
    // 42
    virtual int STDMETHODCALLTYPE CPUReset_UFD(HANDLE* handles, BYTE slot) = 0;
    // 43
    virtual int STDMETHODCALLTYPE SetHDCapLED_USD(HANDLE* handles, BYTE slot, BYTE value) = 0;
    // 44
    virtual int STDMETHODCALLTYPE ReadCapacityEx(HANDLE* handles, BYTE slot, BYTE lun, DWORD* lastLba,
                                                 DWORD* blockLength) = 0;
    // 45
    virtual int STDMETHODCALLTYPE ReadDiskEx(HANDLE* handles, BYTE slot, BYTE lun, DWORD lba, DWORD byteCount,
                                             BYTE* data, DWORD* ticks) = 0;
    // 46
    virtual int STDMETHODCALLTYPE WriteDisk(HANDLE* handles, BYTE slot, BYTE lun, DWORD lba, DWORD byteCount,
                                            const BYTE* data, DWORD* ticks) = 0;
    // 47
    virtual int STDMETHODCALLTYPE ATAIdentify_USD(HANDLE* handles, BYTE slot, WORD length, BYTE* data) = 0;
    // 48: 1, or the last configuration-manager code
    virtual int STDMETHODCALLTYPE DeviceSafeRemoval(DWORD devInst) = 0;
    // 49
    virtual int STDMETHODCALLTYPE UFDCacheClear_UFD(HANDLE* handles, BYTE slot) = 0;
    // 50
    virtual int STDMETHODCALLTYPE MediumLoadUnload_UFD(HANDLE* handles, BYTE slot, BYTE lun, BYTE control) = 0;
    // 51: 128 bytes
    virtual int STDMETHODCALLTYPE ReadInquery(HANDLE* handles, BYTE slot, BYTE* data) = 0;
    // 52
    virtual int STDMETHODCALLTYPE ChipReset(HANDLE* handles, BYTE slot) = 0;
    // 53
    virtual int STDMETHODCALLTYPE DeleteDevRegistryRecord(WORD vid, WORD pid) = 0;
    // 54: 1
    virtual int STDMETHODCALLTYPE ActiveFilterDriver(int value) = 0;
    // 55
    virtual int STDMETHODCALLTYPE DeleteDevRegistryRecordEx(WORD vid, WORD pid, const WCHAR* vendor,
                                                            const WCHAR* product, const WCHAR* revision) = 0;
    // 56: 1
    virtual int STDMETHODCALLTYPE SetIgnoredRegistry(WORD vid, WORD pid) = 0;
    // 57
    virtual int STDMETHODCALLTYPE BuildPhyDiskFileSystemExW(HANDLE* handles, BYTE slot, void* params, int flags) = 0;
    // 58
    virtual int STDMETHODCALLTYPE GetFAT32RootSectorAddr(void* params, DWORD* sector) = 0;
    // 59
    virtual int STDMETHODCALLTYPE PollingSingleUSBPortEx(void* entry, BYTE triggerMask, BYTE slotForTrace) = 0;
    // 60
    virtual int STDMETHODCALLTYPE ChipResetEx(HANDLE* handles, BYTE slot) = 0;
    // 61
    virtual int STDMETHODCALLTYPE ReadSPI_USD(HANDLE* handles, BYTE slot, BYTE mode, DWORD word12, DWORD address,
                                              BYTE byte10, WORD word9, WORD length, BYTE* data) = 0;

protected:
    ~ICorelinkCtrl() = default;  // released, never deleted, by clients
};

// 45 slots: IUnknown (0..2), then 3..44.
MIDL_INTERFACE("3C95F0D7-E261-4B8A-A7C4-9D02E6B5F318")
ICorelinkCtrl2 : public IUnknown {
public:
    // 3
    virtual int STDMETHODCALLTYPE ReadCode(HANDLE* handles, BYTE slot, WORD address, WORD length, BYTE* data) = 0;
    // 4
    virtual int STDMETHODCALLTYPE ReadData(HANDLE* handles, BYTE slot, BYTE read, WORD address, WORD length,
                                           BYTE* data) = 0;
    // 5
    virtual int STDMETHODCALLTYPE ReadXdata(HANDLE* handles, BYTE slot, BYTE read, WORD address, WORD length,
                                            BYTE* data) = 0;
    // 6
    virtual int STDMETHODCALLTYPE CPUReset(HANDLE* handles, BYTE slot) = 0;
    // 7: 16 bytes
    virtual int STDMETHODCALLTYPE ReadDeivceID(HANDLE* handles, BYTE slot, BYTE* data) = 0;
    // 8: 48 bytes
    virtual int STDMETHODCALLTYPE ReadLUNCONFIG(HANDLE* handles, BYTE slot, BYTE read, BYTE* data) = 0;
    // 9
    virtual int STDMETHODCALLTYPE ReadLUNDATA(HANDLE* handles, BYTE slot, BYTE read, DWORD address, WORD length,
                                              BYTE* data) = 0;
    // 10
    virtual int STDMETHODCALLTYPE DeviceChange(HANDLE* handles, BYTE slot) = 0;
    // 11
    virtual int STDMETHODCALLTYPE MediaChange(HANDLE* handles, BYTE slot) = 0;
    // 12
    virtual int STDMETHODCALLTYPE WriteProtect(HANDLE* handles, BYTE slot, BYTE value) = 0;
    // 13
    virtual int STDMETHODCALLTYPE ReadLunType(HANDLE* handles, BYTE slot, BYTE read, BYTE value, BYTE* data) = 0;
    // 14
    virtual int STDMETHODCALLTYPE ReadLunNo(HANDLE* handles, BYTE slot, BYTE read, BYTE value, BYTE* data) = 0;
    // 15
    virtual int STDMETHODCALLTYPE ReadLunID(HANDLE* handles, BYTE slot, BYTE read, BYTE value, BYTE* data) = 0;
    // 16
    virtual int STDMETHODCALLTYPE LogLunIndex(HANDLE* handles, BYTE slot, BYTE* data) = 0;
    // 17: 10 bytes
    virtual int STDMETHODCALLTYPE HidLunIndex(HANDLE* handles, BYTE slot, BYTE* data) = 0;
    // 18
    virtual int STDMETHODCALLTYPE GetFWKey(HANDLE* handles, BYTE slot, BYTE value, BYTE* data) = 0;
    // 19: 511 bytes
    virtual int STDMETHODCALLTYPE InitPassWord(HANDLE* handles, BYTE slot, const BYTE* data) = 0;
    // 20: 511 bytes
    virtual int STDMETHODCALLTYPE GetPassWord(HANDLE* handles, BYTE slot, BYTE* data) = 0;
    // 21: 511 bytes
    virtual int STDMETHODCALLTYPE VerifyPassWord(HANDLE* handles, BYTE slot, const BYTE* data) = 0;
    // 22
    virtual int STDMETHODCALLTYPE CheckSecurity(HANDLE* handles, BYTE slot, BYTE value, BYTE* data) = 0;
    // 23
    virtual int STDMETHODCALLTYPE ClearCache(HANDLE* handles, BYTE slot) = 0;
    // 24
    virtual int STDMETHODCALLTYPE ReadEEPROM(HANDLE* handles, BYTE slot, BYTE read, BYTE cdbByte12, BYTE cdbByte13,
                                             DWORD address, WORD length, BYTE* data) = 0;
    // 25
    virtual int STDMETHODCALLTYPE ReadFW(HANDLE* handles, BYTE slot, BYTE read, BYTE cdbByte13, DWORD address,
                                         WORD length, BYTE* data) = 0;
    // 26
    virtual int STDMETHODCALLTYPE BIST(HANDLE* handles, BYTE slot, BYTE* data) = 0;
    // 27
    virtual int STDMETHODCALLTYPE DeviceConnect(HANDLE* handles, BYTE slot, BYTE value) = 0;
    // 28
    virtual int STDMETHODCALLTYPE Erase(HANDLE* handles, BYTE slot) = 0;
    // 29
    virtual int STDMETHODCALLTYPE ReadPartition(HANDLE* handles, BYTE slot, BYTE read, DWORD address, WORD length,
                                                BYTE* data) = 0;
    // 30
    virtual int STDMETHODCALLTYPE ReadButton(HANDLE* handles, BYTE slot, BYTE read, BYTE value, BYTE* data) = 0;
    // 31
    virtual int STDMETHODCALLTYPE EndSgmt(HANDLE* handles, BYTE slot) = 0;
    // 32
    virtual int STDMETHODCALLTYPE InitSgmt(HANDLE* handles, BYTE slot, BYTE b2, BYTE b3, BYTE b4, WORD length,
                                           const BYTE* data) = 0;
    // 33: 64 bytes
    virtual int STDMETHODCALLTYPE ReadFlashID(HANDLE* handles, BYTE slot, BYTE value, BYTE* data) = 0;
    // 34
    virtual int STDMETHODCALLTYPE ReadSYSReady(HANDLE* handles, BYTE slot, BYTE read, BYTE value, BYTE* data) = 0;
    // 35: 64 bytes
    virtual int STDMETHODCALLTYPE ReadSYSAddress(HANDLE* handles, BYTE slot, BYTE read, BYTE* data) = 0;
    // 36: 64 bytes
    virtual int STDMETHODCALLTYPE ReadFlashMethod(HANDLE* handles, BYTE slot, BYTE read, BYTE* data) = 0;
    // 37
    virtual int STDMETHODCALLTYPE ReadSpare(HANDLE* handles, BYTE slot, BYTE read, BYTE cdbByte9, BYTE cdbByte10,
                                            DWORD address, WORD length, BYTE* data) = 0;
    // 38
    virtual int STDMETHODCALLTYPE BlockAccess(HANDLE* handles, BYTE slot, BYTE read, BYTE cdbByte7, BYTE flags,
                                              DWORD tag, WORD word14, DWORD address, DWORD length, BYTE* data) = 0;
    // 39
    virtual int STDMETHODCALLTYPE ReadBlockStatus(HANDLE* handles, BYTE slot, DWORD address, BYTE* data) = 0;
    // 40
    virtual int STDMETHODCALLTYPE ReadSts(HANDLE* handles, BYTE slot, DWORD address, BYTE* data) = 0;
    // 41
    virtual int STDMETHODCALLTYPE MarkBad(HANDLE* handles, BYTE slot, DWORD address, BYTE cdbByte8, BYTE cdbByte11,
                                          BYTE cdbByte12) = 0;
    // 42
    virtual int STDMETHODCALLTYPE CheckBad(HANDLE* handles, BYTE slot, DWORD address, BYTE cdbByte9, BYTE cdbByte10,
                                           BYTE cdbByte11, BYTE cdbByte12, WORD length, BYTE* data) = 0;
    // 43
    virtual int STDMETHODCALLTYPE EraseSys(HANDLE* handles, BYTE slot, DWORD address, BYTE cdbByte9, BYTE cdbByte10,
                                           BYTE cdbByte11, BYTE cdbByte12, WORD length, BYTE* data) = 0;
    // 44
    virtual int STDMETHODCALLTYPE ReadTestCmd(HANDLE* handles, BYTE slot, BYTE read, DWORD w1, DWORD w2, DWORD w3,
                                              DWORD w4, DWORD w5, BYTE* data) = 0;

protected:
    ~ICorelinkCtrl2() = default;  // released, never deleted, by clients
};

#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

#ifdef __CRT_UUID_DECL
__CRT_UUID_DECL(ICorelinkCtrl, 0xa4d17e52, 0x0b9c, 0x4f63, 0x8e, 0x2d, 0x57, 0xc9, 0xb3, 0xf1, 0xa0, 0x86)
__CRT_UUID_DECL(ICorelinkCtrl2, 0x3c95f0d7, 0xe261, 0x4b8a, 0xa7, 0xc4, 0x9d, 0x02, 0xe6, 0xb5, 0xf3, 0x18)
#endif

#else /* C, or C++ with CINTERFACE */

typedef struct ICorelinkCtrlVtbl {
    BEGIN_INTERFACE
    HRESULT(STDMETHODCALLTYPE* QueryInterface)(ICorelinkCtrl* This, REFIID riid, void** ppvObject);
    ULONG(STDMETHODCALLTYPE* AddRef)(ICorelinkCtrl* This);
    ULONG(STDMETHODCALLTYPE* Release)(ICorelinkCtrl* This);
    int(STDMETHODCALLTYPE* ScanDiskPath)(ICorelinkCtrl* This, void* list);  /* 3 */
    int(STDMETHODCALLTYPE* OpenDiskPath)(ICorelinkCtrl* This, HANDLE* handles, int letterIndex);  /* 4 */
    int(STDMETHODCALLTYPE* CloseDiskPath)(ICorelinkCtrl* This, HANDLE* handles, BYTE slot);  /* 5 */
    int(STDMETHODCALLTYPE* ReadDisk)(ICorelinkCtrl* This, HANDLE* handles, BYTE slot, DWORD lba, DWORD byteCount,
                                     BYTE* data);  /* 6 */
    int(STDMETHODCALLTYPE* WriteDiskRetry)(ICorelinkCtrl* This, HANDLE* handles, BYTE slot, DWORD lba,
                                           DWORD byteCount, const BYTE* data);  /* 7 */
    int(STDMETHODCALLTYPE* ScanDiskPathBySymbolicName)(ICorelinkCtrl* This, void* list);  /* 8 */
    int(STDMETHODCALLTYPE* OpenDiskPathBySymbolicName)(ICorelinkCtrl* This, HANDLE* handles, BYTE slot,
                                                       const char* devicePath);  /* 9 */
    int(STDMETHODCALLTYPE* ScanUSBPort)(ICorelinkCtrl* This, void* deviceList);  /* 10 */
    int(STDMETHODCALLTYPE* PollingSingleUSBPort)(ICorelinkCtrl* This, void* entry);  /* 11 */
    int(STDMETHODCALLTYPE* CreateFileSystemImage)(ICorelinkCtrl* This, void* params);  /* 12 */
    int(STDMETHODCALLTYPE* CreateFileSystemImageW)(ICorelinkCtrl* This, void* params);  /* 13 */
    int(STDMETHODCALLTYPE* BuildDriveFileSystem)(ICorelinkCtrl* This, void* params, int drive);  /* 14 */
    int(STDMETHODCALLTYPE* BuildDriveFileSystemW)(ICorelinkCtrl* This, void* params, int drive);  /* 15 */
    int(STDMETHODCALLTYPE* BuildPhyDiskFileSystem)(ICorelinkCtrl* This, HANDLE* handles, BYTE slot,
                                                   void* params);  /* 16 */
    int(STDMETHODCALLTYPE* BuildPhyDiskFileSystemW)(ICorelinkCtrl* This, HANDLE* handles, BYTE slot,
                                                    void* params);  /* 17 */
    int(STDMETHODCALLTYPE* Disk_Lock)(ICorelinkCtrl* This, HANDLE* handles, BYTE slot, HANDLE* volume);  /* 18 */
    int(STDMETHODCALLTYPE* Disk_Unlock)(ICorelinkCtrl* This, HANDLE* handles, BYTE slot, HANDLE volume);  /* 19 */
    int(STDMETHODCALLTYPE* ReadButton_USD)(ICorelinkCtrl* This, HANDLE* handles, BYTE slot, BYTE read, BYTE value,
                                           BYTE* data);  /* 20 */
    int(STDMETHODCALLTYPE* ReadEEPROM_USD)(ICorelinkCtrl* This, HANDLE* handles, BYTE slot, BYTE read, BYTE cdbByte12,
                                           BYTE cdbByte13, DWORD address, WORD length, BYTE* data);  /* 21 */
    int(STDMETHODCALLTYPE* ReadFW_USD)(ICorelinkCtrl* This, HANDLE* handles, BYTE slot, BYTE read, BYTE cdbByte13,
                                       DWORD address, WORD length, BYTE* data);  /* 22 */
    int(STDMETHODCALLTYPE* GetPMInfo_USD)(ICorelinkCtrl* This, HANDLE* handles, BYTE slot, WORD length,
                                          BYTE* data);  /* 23 */
    int(STDMETHODCALLTYPE* EnableSuspned_USD)(ICorelinkCtrl* This, HANDLE* handles, BYTE slot, BYTE enable);  /* 24 */
    int(STDMETHODCALLTYPE* SetTimer_USD)(ICorelinkCtrl* This, HANDLE* handles, BYTE slot, WORD timer);  /* 25 */
    int(STDMETHODCALLTYPE* ScanFlashBlock)(ICorelinkCtrl* This, HANDLE* handles, BYTE slot, BYTE* chipRecord,
                                           WORD pagesPerBlock, WORD scanValue, BYTE flags);  /* 26 */
    int(STDMETHODCALLTYPE* FindISPAndCISUseBlock)(ICorelinkCtrl* This, HANDLE* handles, BYTE slot, BYTE* chipRecord,
                                                  BYTE* foundBlocks, BYTE* params);  /* 27 */
    int(STDMETHODCALLTYPE* BuildUFDSystemTable)(ICorelinkCtrl* This, HANDLE* handles, BYTE slot, BYTE* chipRecord,
                                                BYTE* buffer, BYTE* capacityRecord);  /* 28 */
    int(STDMETHODCALLTYPE* ReadFlashID_UFD)(ICorelinkCtrl* This, HANDLE* handles, BYTE slot, BYTE value,
                                            BYTE* data);  /* 29 */
    BYTE*(STDMETHODCALLTYPE* CreateFlashTable)(ICorelinkCtrl* This, BYTE planes, BYTE rows, BYTE columns,
                                               DWORD cellBytes);  /* 30 */
    void(STDMETHODCALLTYPE* FreeFlashTable)(ICorelinkCtrl* This, BYTE* table);  /* 31 */
    void(STDMETHODCALLTYPE* SetFlashTableBit)(ICorelinkCtrl* This, BYTE* chipRecord, BYTE row, BYTE column,
                                              DWORD byteOffset, BYTE bit, BYTE value);  /* 32 */
    int(STDMETHODCALLTYPE* GetFlashTableBit)(ICorelinkCtrl* This, const BYTE* chipRecord, BYTE row, BYTE column,
                                             DWORD byteOffset, BYTE bit);  /* 33 */
    ICorelinkCtrl*(STDMETHODCALLTYPE* DisableProductFilter)(ICorelinkCtrl* This);  /* 34 */
    int(STDMETHODCALLTYPE* LinkTest)(ICorelinkCtrl* This, BYTE* probe);  /* 35 */
    int(STDMETHODCALLTYPE* SetDebugDmpFilePathSS)(ICorelinkCtrl* This, const WCHAR* folder);  /* 36 */
    ICorelinkCtrl*(STDMETHODCALLTYPE* ForceInUSB30)(ICorelinkCtrl* This);  /* 37 */
    int(STDMETHODCALLTYPE* ReadCapacity)(ICorelinkCtrl* This, HANDLE* handles, BYTE slot, DWORD* lastLba,
                                         DWORD* blockLength);  /* 38 */
    int(STDMETHODCALLTYPE* ScanHub)(ICorelinkCtrl* This, void* hubList);  /* 39 */
    int(STDMETHODCALLTYPE* PollingHubPort)(ICorelinkCtrl* This, void* hubRecord);  /* 40 */
    int(STDMETHODCALLTYPE* INITISP_UFD)(ICorelinkCtrl* This, HANDLE* handles, BYTE slot, DWORD address, WORD length,
                                        const BYTE* data);  /* 41 */
    int(STDMETHODCALLTYPE* CPUReset_UFD)(ICorelinkCtrl* This, HANDLE* handles, BYTE slot);  /* 42 */
    int(STDMETHODCALLTYPE* SetHDCapLED_USD)(ICorelinkCtrl* This, HANDLE* handles, BYTE slot, BYTE value);  /* 43 */
    int(STDMETHODCALLTYPE* ReadCapacityEx)(ICorelinkCtrl* This, HANDLE* handles, BYTE slot, BYTE lun, DWORD* lastLba,
                                           DWORD* blockLength);  /* 44 */
    int(STDMETHODCALLTYPE* ReadDiskEx)(ICorelinkCtrl* This, HANDLE* handles, BYTE slot, BYTE lun, DWORD lba,
                                       DWORD byteCount, BYTE* data, DWORD* ticks);  /* 45 */
    int(STDMETHODCALLTYPE* WriteDisk)(ICorelinkCtrl* This, HANDLE* handles, BYTE slot, BYTE lun, DWORD lba,
                                      DWORD byteCount, const BYTE* data, DWORD* ticks);  /* 46 */
    int(STDMETHODCALLTYPE* ATAIdentify_USD)(ICorelinkCtrl* This, HANDLE* handles, BYTE slot, WORD length,
                                            BYTE* data);  /* 47 */
    int(STDMETHODCALLTYPE* DeviceSafeRemoval)(ICorelinkCtrl* This, DWORD devInst);  /* 48 */
    int(STDMETHODCALLTYPE* UFDCacheClear_UFD)(ICorelinkCtrl* This, HANDLE* handles, BYTE slot);  /* 49 */
    int(STDMETHODCALLTYPE* MediumLoadUnload_UFD)(ICorelinkCtrl* This, HANDLE* handles, BYTE slot, BYTE lun,
                                                 BYTE control);  /* 50 */
    int(STDMETHODCALLTYPE* ReadInquery)(ICorelinkCtrl* This, HANDLE* handles, BYTE slot, BYTE* data);  /* 51 */
    int(STDMETHODCALLTYPE* ChipReset)(ICorelinkCtrl* This, HANDLE* handles, BYTE slot);  /* 52 */
    int(STDMETHODCALLTYPE* DeleteDevRegistryRecord)(ICorelinkCtrl* This, WORD vid, WORD pid);  /* 53 */
    int(STDMETHODCALLTYPE* ActiveFilterDriver)(ICorelinkCtrl* This, int value);  /* 54 */
    int(STDMETHODCALLTYPE* DeleteDevRegistryRecordEx)(ICorelinkCtrl* This, WORD vid, WORD pid, const WCHAR* vendor,
                                                      const WCHAR* product, const WCHAR* revision);  /* 55 */
    int(STDMETHODCALLTYPE* SetIgnoredRegistry)(ICorelinkCtrl* This, WORD vid, WORD pid);  /* 56 */
    int(STDMETHODCALLTYPE* BuildPhyDiskFileSystemExW)(ICorelinkCtrl* This, HANDLE* handles, BYTE slot, void* params,
                                                      int flags);  /* 57 */
    int(STDMETHODCALLTYPE* GetFAT32RootSectorAddr)(ICorelinkCtrl* This, void* params, DWORD* sector);  /* 58 */
    int(STDMETHODCALLTYPE* PollingSingleUSBPortEx)(ICorelinkCtrl* This, void* entry, BYTE triggerMask,
                                                   BYTE slotForTrace);  /* 59 */
    int(STDMETHODCALLTYPE* ChipResetEx)(ICorelinkCtrl* This, HANDLE* handles, BYTE slot);  /* 60 */
    int(STDMETHODCALLTYPE* ReadSPI_USD)(ICorelinkCtrl* This, HANDLE* handles, BYTE slot, BYTE mode, DWORD word12,
                                        DWORD address, BYTE byte10, WORD word9, WORD length, BYTE* data);  /* 61 */
    END_INTERFACE
} ICorelinkCtrlVtbl;

struct ICorelinkCtrl {
    CONST_VTBL struct ICorelinkCtrlVtbl* lpVtbl;
};

typedef struct ICorelinkCtrl2Vtbl {
    BEGIN_INTERFACE
    HRESULT(STDMETHODCALLTYPE* QueryInterface)(ICorelinkCtrl2* This, REFIID riid, void** ppvObject);
    ULONG(STDMETHODCALLTYPE* AddRef)(ICorelinkCtrl2* This);
    ULONG(STDMETHODCALLTYPE* Release)(ICorelinkCtrl2* This);
    int(STDMETHODCALLTYPE* ReadCode)(ICorelinkCtrl2* This, HANDLE* handles, BYTE slot, WORD address, WORD length,
                                     BYTE* data);  /* 3 */
    int(STDMETHODCALLTYPE* ReadData)(ICorelinkCtrl2* This, HANDLE* handles, BYTE slot, BYTE read, WORD address,
                                     WORD length, BYTE* data);  /* 4 */
    int(STDMETHODCALLTYPE* ReadXdata)(ICorelinkCtrl2* This, HANDLE* handles, BYTE slot, BYTE read, WORD address,
                                      WORD length, BYTE* data);  /* 5 */
    int(STDMETHODCALLTYPE* CPUReset)(ICorelinkCtrl2* This, HANDLE* handles, BYTE slot);  /* 6 */
    int(STDMETHODCALLTYPE* ReadDeivceID)(ICorelinkCtrl2* This, HANDLE* handles, BYTE slot, BYTE* data);  /* 7 */
    int(STDMETHODCALLTYPE* ReadLUNCONFIG)(ICorelinkCtrl2* This, HANDLE* handles, BYTE slot, BYTE read,
                                          BYTE* data);  /* 8 */
    int(STDMETHODCALLTYPE* ReadLUNDATA)(ICorelinkCtrl2* This, HANDLE* handles, BYTE slot, BYTE read, DWORD address,
                                        WORD length, BYTE* data);  /* 9 */
    int(STDMETHODCALLTYPE* DeviceChange)(ICorelinkCtrl2* This, HANDLE* handles, BYTE slot);  /* 10 */
    int(STDMETHODCALLTYPE* MediaChange)(ICorelinkCtrl2* This, HANDLE* handles, BYTE slot);  /* 11 */
    int(STDMETHODCALLTYPE* WriteProtect)(ICorelinkCtrl2* This, HANDLE* handles, BYTE slot, BYTE value);  /* 12 */
    int(STDMETHODCALLTYPE* ReadLunType)(ICorelinkCtrl2* This, HANDLE* handles, BYTE slot, BYTE read, BYTE value,
                                        BYTE* data);  /* 13 */
    int(STDMETHODCALLTYPE* ReadLunNo)(ICorelinkCtrl2* This, HANDLE* handles, BYTE slot, BYTE read, BYTE value,
                                      BYTE* data);  /* 14 */
    int(STDMETHODCALLTYPE* ReadLunID)(ICorelinkCtrl2* This, HANDLE* handles, BYTE slot, BYTE read, BYTE value,
                                      BYTE* data);  /* 15 */
    int(STDMETHODCALLTYPE* LogLunIndex)(ICorelinkCtrl2* This, HANDLE* handles, BYTE slot, BYTE* data);  /* 16 */
    int(STDMETHODCALLTYPE* HidLunIndex)(ICorelinkCtrl2* This, HANDLE* handles, BYTE slot, BYTE* data);  /* 17 */
    int(STDMETHODCALLTYPE* GetFWKey)(ICorelinkCtrl2* This, HANDLE* handles, BYTE slot, BYTE value,
                                     BYTE* data);  /* 18 */
    int(STDMETHODCALLTYPE* InitPassWord)(ICorelinkCtrl2* This, HANDLE* handles, BYTE slot,
                                         const BYTE* data);  /* 19 */
    int(STDMETHODCALLTYPE* GetPassWord)(ICorelinkCtrl2* This, HANDLE* handles, BYTE slot, BYTE* data);  /* 20 */
    int(STDMETHODCALLTYPE* VerifyPassWord)(ICorelinkCtrl2* This, HANDLE* handles, BYTE slot,
                                           const BYTE* data);  /* 21 */
    int(STDMETHODCALLTYPE* CheckSecurity)(ICorelinkCtrl2* This, HANDLE* handles, BYTE slot, BYTE value,
                                          BYTE* data);  /* 22 */
    int(STDMETHODCALLTYPE* ClearCache)(ICorelinkCtrl2* This, HANDLE* handles, BYTE slot);  /* 23 */
    int(STDMETHODCALLTYPE* ReadEEPROM)(ICorelinkCtrl2* This, HANDLE* handles, BYTE slot, BYTE read, BYTE cdbByte12,
                                       BYTE cdbByte13, DWORD address, WORD length, BYTE* data);  /* 24 */
    int(STDMETHODCALLTYPE* ReadFW)(ICorelinkCtrl2* This, HANDLE* handles, BYTE slot, BYTE read, BYTE cdbByte13,
                                   DWORD address, WORD length, BYTE* data);  /* 25 */
    int(STDMETHODCALLTYPE* BIST)(ICorelinkCtrl2* This, HANDLE* handles, BYTE slot, BYTE* data);  /* 26 */
    int(STDMETHODCALLTYPE* DeviceConnect)(ICorelinkCtrl2* This, HANDLE* handles, BYTE slot, BYTE value);  /* 27 */
    int(STDMETHODCALLTYPE* Erase)(ICorelinkCtrl2* This, HANDLE* handles, BYTE slot);  /* 28 */
    int(STDMETHODCALLTYPE* ReadPartition)(ICorelinkCtrl2* This, HANDLE* handles, BYTE slot, BYTE read, DWORD address,
                                          WORD length, BYTE* data);  /* 29 */
    int(STDMETHODCALLTYPE* ReadButton)(ICorelinkCtrl2* This, HANDLE* handles, BYTE slot, BYTE read, BYTE value,
                                       BYTE* data);  /* 30 */
    int(STDMETHODCALLTYPE* EndSgmt)(ICorelinkCtrl2* This, HANDLE* handles, BYTE slot);  /* 31 */
    int(STDMETHODCALLTYPE* InitSgmt)(ICorelinkCtrl2* This, HANDLE* handles, BYTE slot, BYTE b2, BYTE b3, BYTE b4,
                                     WORD length, const BYTE* data);  /* 32 */
    int(STDMETHODCALLTYPE* ReadFlashID)(ICorelinkCtrl2* This, HANDLE* handles, BYTE slot, BYTE value,
                                        BYTE* data);  /* 33 */
    int(STDMETHODCALLTYPE* ReadSYSReady)(ICorelinkCtrl2* This, HANDLE* handles, BYTE slot, BYTE read, BYTE value,
                                         BYTE* data);  /* 34 */
    int(STDMETHODCALLTYPE* ReadSYSAddress)(ICorelinkCtrl2* This, HANDLE* handles, BYTE slot, BYTE read,
                                           BYTE* data);  /* 35 */
    int(STDMETHODCALLTYPE* ReadFlashMethod)(ICorelinkCtrl2* This, HANDLE* handles, BYTE slot, BYTE read,
                                            BYTE* data);  /* 36 */
    int(STDMETHODCALLTYPE* ReadSpare)(ICorelinkCtrl2* This, HANDLE* handles, BYTE slot, BYTE read, BYTE cdbByte9,
                                      BYTE cdbByte10, DWORD address, WORD length, BYTE* data);  /* 37 */
    int(STDMETHODCALLTYPE* BlockAccess)(ICorelinkCtrl2* This, HANDLE* handles, BYTE slot, BYTE read, BYTE cdbByte7,
                                        BYTE flags, DWORD tag, WORD word14, DWORD address, DWORD length,
                                        BYTE* data);  /* 38 */
    int(STDMETHODCALLTYPE* ReadBlockStatus)(ICorelinkCtrl2* This, HANDLE* handles, BYTE slot, DWORD address,
                                            BYTE* data);  /* 39 */
    int(STDMETHODCALLTYPE* ReadSts)(ICorelinkCtrl2* This, HANDLE* handles, BYTE slot, DWORD address,
                                    BYTE* data);  /* 40 */
    int(STDMETHODCALLTYPE* MarkBad)(ICorelinkCtrl2* This, HANDLE* handles, BYTE slot, DWORD address, BYTE cdbByte8,
                                    BYTE cdbByte11, BYTE cdbByte12);  /* 41 */
    int(STDMETHODCALLTYPE* CheckBad)(ICorelinkCtrl2* This, HANDLE* handles, BYTE slot, DWORD address, BYTE cdbByte9,
                                     BYTE cdbByte10, BYTE cdbByte11, BYTE cdbByte12, WORD length,
                                     BYTE* data);  /* 42 */
    int(STDMETHODCALLTYPE* EraseSys)(ICorelinkCtrl2* This, HANDLE* handles, BYTE slot, DWORD address, BYTE cdbByte9,
                                     BYTE cdbByte10, BYTE cdbByte11, BYTE cdbByte12, WORD length,
                                     BYTE* data);  /* 43 */
    int(STDMETHODCALLTYPE* ReadTestCmd)(ICorelinkCtrl2* This, HANDLE* handles, BYTE slot, BYTE read, DWORD w1,
                                        DWORD w2, DWORD w3, DWORD w4, DWORD w5, BYTE* data);  /* 44 */
    END_INTERFACE
} ICorelinkCtrl2Vtbl;

struct ICorelinkCtrl2 {
    CONST_VTBL struct ICorelinkCtrl2Vtbl* lpVtbl;
};

#ifdef COBJMACROS
#define ICorelinkCtrl_QueryInterface(This, riid, ppv) ((This)->lpVtbl->QueryInterface(This, riid, ppv))
#define ICorelinkCtrl_AddRef(This) ((This)->lpVtbl->AddRef(This))
#define ICorelinkCtrl_Release(This) ((This)->lpVtbl->Release(This))
#define ICorelinkCtrl_ScanDiskPath(This, list) ((This)->lpVtbl->ScanDiskPath(This, list))
#define ICorelinkCtrl_OpenDiskPath(This, handles, letterIndex) \
    ((This)->lpVtbl->OpenDiskPath(This, handles, letterIndex))
#define ICorelinkCtrl_CloseDiskPath(This, handles, slot) ((This)->lpVtbl->CloseDiskPath(This, handles, slot))
#define ICorelinkCtrl_ReadDisk(This, handles, slot, lba, byteCount, data) \
    ((This)->lpVtbl->ReadDisk(This, handles, slot, lba, byteCount, data))
#define ICorelinkCtrl_WriteDiskRetry(This, handles, slot, lba, byteCount, data) \
    ((This)->lpVtbl->WriteDiskRetry(This, handles, slot, lba, byteCount, data))
#define ICorelinkCtrl_ScanDiskPathBySymbolicName(This, list) ((This)->lpVtbl->ScanDiskPathBySymbolicName(This, list))
#define ICorelinkCtrl_OpenDiskPathBySymbolicName(This, handles, slot, devicePath) \
    ((This)->lpVtbl->OpenDiskPathBySymbolicName(This, handles, slot, devicePath))
#define ICorelinkCtrl_ScanUSBPort(This, deviceList) ((This)->lpVtbl->ScanUSBPort(This, deviceList))
#define ICorelinkCtrl_PollingSingleUSBPort(This, entry) ((This)->lpVtbl->PollingSingleUSBPort(This, entry))
#define ICorelinkCtrl_CreateFileSystemImage(This, params) ((This)->lpVtbl->CreateFileSystemImage(This, params))
#define ICorelinkCtrl_CreateFileSystemImageW(This, params) ((This)->lpVtbl->CreateFileSystemImageW(This, params))
#define ICorelinkCtrl_BuildDriveFileSystem(This, params, drive) \
    ((This)->lpVtbl->BuildDriveFileSystem(This, params, drive))
#define ICorelinkCtrl_BuildDriveFileSystemW(This, params, drive) \
    ((This)->lpVtbl->BuildDriveFileSystemW(This, params, drive))
#define ICorelinkCtrl_BuildPhyDiskFileSystem(This, handles, slot, params) \
    ((This)->lpVtbl->BuildPhyDiskFileSystem(This, handles, slot, params))
#define ICorelinkCtrl_BuildPhyDiskFileSystemW(This, handles, slot, params) \
    ((This)->lpVtbl->BuildPhyDiskFileSystemW(This, handles, slot, params))
#define ICorelinkCtrl_Disk_Lock(This, handles, slot, volume) ((This)->lpVtbl->Disk_Lock(This, handles, slot, volume))
#define ICorelinkCtrl_Disk_Unlock(This, handles, slot, volume) \
    ((This)->lpVtbl->Disk_Unlock(This, handles, slot, volume))
#define ICorelinkCtrl_ReadButton_USD(This, handles, slot, read, value, data) \
    ((This)->lpVtbl->ReadButton_USD(This, handles, slot, read, value, data))
#define ICorelinkCtrl_ReadEEPROM_USD(This, handles, slot, read, cdbByte12, cdbByte13, address, length, data) \
    ((This)->lpVtbl->ReadEEPROM_USD(This, handles, slot, read, cdbByte12, cdbByte13, address, length, data))
#define ICorelinkCtrl_ReadFW_USD(This, handles, slot, read, cdbByte13, address, length, data) \
    ((This)->lpVtbl->ReadFW_USD(This, handles, slot, read, cdbByte13, address, length, data))
#define ICorelinkCtrl_GetPMInfo_USD(This, handles, slot, length, data) \
    ((This)->lpVtbl->GetPMInfo_USD(This, handles, slot, length, data))
#define ICorelinkCtrl_EnableSuspned_USD(This, handles, slot, enable) \
    ((This)->lpVtbl->EnableSuspned_USD(This, handles, slot, enable))
#define ICorelinkCtrl_SetTimer_USD(This, handles, slot, timer) \
    ((This)->lpVtbl->SetTimer_USD(This, handles, slot, timer))
#define ICorelinkCtrl_ScanFlashBlock(This, handles, slot, chipRecord, pagesPerBlock, scanValue, flags) \
    ((This)->lpVtbl->ScanFlashBlock(This, handles, slot, chipRecord, pagesPerBlock, scanValue, flags))
#define ICorelinkCtrl_FindISPAndCISUseBlock(This, handles, slot, chipRecord, foundBlocks, params) \
    ((This)->lpVtbl->FindISPAndCISUseBlock(This, handles, slot, chipRecord, foundBlocks, params))
#define ICorelinkCtrl_BuildUFDSystemTable(This, handles, slot, chipRecord, buffer, capacityRecord) \
    ((This)->lpVtbl->BuildUFDSystemTable(This, handles, slot, chipRecord, buffer, capacityRecord))
#define ICorelinkCtrl_ReadFlashID_UFD(This, handles, slot, value, data) \
    ((This)->lpVtbl->ReadFlashID_UFD(This, handles, slot, value, data))
#define ICorelinkCtrl_CreateFlashTable(This, planes, rows, columns, cellBytes) \
    ((This)->lpVtbl->CreateFlashTable(This, planes, rows, columns, cellBytes))
#define ICorelinkCtrl_FreeFlashTable(This, table) ((This)->lpVtbl->FreeFlashTable(This, table))
#define ICorelinkCtrl_SetFlashTableBit(This, chipRecord, row, column, byteOffset, bit, value) \
    ((This)->lpVtbl->SetFlashTableBit(This, chipRecord, row, column, byteOffset, bit, value))
#define ICorelinkCtrl_GetFlashTableBit(This, chipRecord, row, column, byteOffset, bit) \
    ((This)->lpVtbl->GetFlashTableBit(This, chipRecord, row, column, byteOffset, bit))
#define ICorelinkCtrl_DisableProductFilter(This) ((This)->lpVtbl->DisableProductFilter(This))
#define ICorelinkCtrl_LinkTest(This, probe) ((This)->lpVtbl->LinkTest(This, probe))
#define ICorelinkCtrl_SetDebugDmpFilePathSS(This, folder) ((This)->lpVtbl->SetDebugDmpFilePathSS(This, folder))
#define ICorelinkCtrl_ForceInUSB30(This) ((This)->lpVtbl->ForceInUSB30(This))
#define ICorelinkCtrl_ReadCapacity(This, handles, slot, lastLba, blockLength) \
    ((This)->lpVtbl->ReadCapacity(This, handles, slot, lastLba, blockLength))
#define ICorelinkCtrl_ScanHub(This, hubList) ((This)->lpVtbl->ScanHub(This, hubList))
#define ICorelinkCtrl_PollingHubPort(This, hubRecord) ((This)->lpVtbl->PollingHubPort(This, hubRecord))
#define ICorelinkCtrl_INITISP_UFD(This, handles, slot, address, length, data) \
    ((This)->lpVtbl->INITISP_UFD(This, handles, slot, address, length, data))
#define ICorelinkCtrl_CPUReset_UFD(This, handles, slot) ((This)->lpVtbl->CPUReset_UFD(This, handles, slot))
#define ICorelinkCtrl_SetHDCapLED_USD(This, handles, slot, value) \
    ((This)->lpVtbl->SetHDCapLED_USD(This, handles, slot, value))
#define ICorelinkCtrl_ReadCapacityEx(This, handles, slot, lun, lastLba, blockLength) \
    ((This)->lpVtbl->ReadCapacityEx(This, handles, slot, lun, lastLba, blockLength))
#define ICorelinkCtrl_ReadDiskEx(This, handles, slot, lun, lba, byteCount, data, ticks) \
    ((This)->lpVtbl->ReadDiskEx(This, handles, slot, lun, lba, byteCount, data, ticks))
#define ICorelinkCtrl_WriteDisk(This, handles, slot, lun, lba, byteCount, data, ticks) \
    ((This)->lpVtbl->WriteDisk(This, handles, slot, lun, lba, byteCount, data, ticks))
#define ICorelinkCtrl_ATAIdentify_USD(This, handles, slot, length, data) \
    ((This)->lpVtbl->ATAIdentify_USD(This, handles, slot, length, data))
#define ICorelinkCtrl_DeviceSafeRemoval(This, devInst) ((This)->lpVtbl->DeviceSafeRemoval(This, devInst))
#define ICorelinkCtrl_UFDCacheClear_UFD(This, handles, slot) ((This)->lpVtbl->UFDCacheClear_UFD(This, handles, slot))
#define ICorelinkCtrl_MediumLoadUnload_UFD(This, handles, slot, lun, control) \
    ((This)->lpVtbl->MediumLoadUnload_UFD(This, handles, slot, lun, control))
#define ICorelinkCtrl_ReadInquery(This, handles, slot, data) ((This)->lpVtbl->ReadInquery(This, handles, slot, data))
#define ICorelinkCtrl_ChipReset(This, handles, slot) ((This)->lpVtbl->ChipReset(This, handles, slot))
#define ICorelinkCtrl_DeleteDevRegistryRecord(This, vid, pid) \
    ((This)->lpVtbl->DeleteDevRegistryRecord(This, vid, pid))
#define ICorelinkCtrl_ActiveFilterDriver(This, value) ((This)->lpVtbl->ActiveFilterDriver(This, value))
#define ICorelinkCtrl_DeleteDevRegistryRecordEx(This, vid, pid, vendor, product, revision) \
    ((This)->lpVtbl->DeleteDevRegistryRecordEx(This, vid, pid, vendor, product, revision))
#define ICorelinkCtrl_SetIgnoredRegistry(This, vid, pid) ((This)->lpVtbl->SetIgnoredRegistry(This, vid, pid))
#define ICorelinkCtrl_BuildPhyDiskFileSystemExW(This, handles, slot, params, flags) \
    ((This)->lpVtbl->BuildPhyDiskFileSystemExW(This, handles, slot, params, flags))
#define ICorelinkCtrl_GetFAT32RootSectorAddr(This, params, sector) \
    ((This)->lpVtbl->GetFAT32RootSectorAddr(This, params, sector))
#define ICorelinkCtrl_PollingSingleUSBPortEx(This, entry, triggerMask, slotForTrace) \
    ((This)->lpVtbl->PollingSingleUSBPortEx(This, entry, triggerMask, slotForTrace))
#define ICorelinkCtrl_ChipResetEx(This, handles, slot) ((This)->lpVtbl->ChipResetEx(This, handles, slot))
#define ICorelinkCtrl_ReadSPI_USD(This, handles, slot, mode, word12, address, byte10, word9, length, data) \
    ((This)->lpVtbl->ReadSPI_USD(This, handles, slot, mode, word12, address, byte10, word9, length, data))
#endif

#ifdef COBJMACROS
#define ICorelinkCtrl2_QueryInterface(This, riid, ppv) ((This)->lpVtbl->QueryInterface(This, riid, ppv))
#define ICorelinkCtrl2_AddRef(This) ((This)->lpVtbl->AddRef(This))
#define ICorelinkCtrl2_Release(This) ((This)->lpVtbl->Release(This))
#define ICorelinkCtrl2_ReadCode(This, handles, slot, address, length, data) \
    ((This)->lpVtbl->ReadCode(This, handles, slot, address, length, data))
#define ICorelinkCtrl2_ReadData(This, handles, slot, read, address, length, data) \
    ((This)->lpVtbl->ReadData(This, handles, slot, read, address, length, data))
#define ICorelinkCtrl2_ReadXdata(This, handles, slot, read, address, length, data) \
    ((This)->lpVtbl->ReadXdata(This, handles, slot, read, address, length, data))
#define ICorelinkCtrl2_CPUReset(This, handles, slot) ((This)->lpVtbl->CPUReset(This, handles, slot))
#define ICorelinkCtrl2_ReadDeivceID(This, handles, slot, data) \
    ((This)->lpVtbl->ReadDeivceID(This, handles, slot, data))
#define ICorelinkCtrl2_ReadLUNCONFIG(This, handles, slot, read, data) \
    ((This)->lpVtbl->ReadLUNCONFIG(This, handles, slot, read, data))
#define ICorelinkCtrl2_ReadLUNDATA(This, handles, slot, read, address, length, data) \
    ((This)->lpVtbl->ReadLUNDATA(This, handles, slot, read, address, length, data))
#define ICorelinkCtrl2_DeviceChange(This, handles, slot) ((This)->lpVtbl->DeviceChange(This, handles, slot))
#define ICorelinkCtrl2_MediaChange(This, handles, slot) ((This)->lpVtbl->MediaChange(This, handles, slot))
#define ICorelinkCtrl2_WriteProtect(This, handles, slot, value) \
    ((This)->lpVtbl->WriteProtect(This, handles, slot, value))
#define ICorelinkCtrl2_ReadLunType(This, handles, slot, read, value, data) \
    ((This)->lpVtbl->ReadLunType(This, handles, slot, read, value, data))
#define ICorelinkCtrl2_ReadLunNo(This, handles, slot, read, value, data) \
    ((This)->lpVtbl->ReadLunNo(This, handles, slot, read, value, data))
#define ICorelinkCtrl2_ReadLunID(This, handles, slot, read, value, data) \
    ((This)->lpVtbl->ReadLunID(This, handles, slot, read, value, data))
#define ICorelinkCtrl2_LogLunIndex(This, handles, slot, data) ((This)->lpVtbl->LogLunIndex(This, handles, slot, data))
#define ICorelinkCtrl2_HidLunIndex(This, handles, slot, data) ((This)->lpVtbl->HidLunIndex(This, handles, slot, data))
#define ICorelinkCtrl2_GetFWKey(This, handles, slot, value, data) \
    ((This)->lpVtbl->GetFWKey(This, handles, slot, value, data))
#define ICorelinkCtrl2_InitPassWord(This, handles, slot, data) \
    ((This)->lpVtbl->InitPassWord(This, handles, slot, data))
#define ICorelinkCtrl2_GetPassWord(This, handles, slot, data) ((This)->lpVtbl->GetPassWord(This, handles, slot, data))
#define ICorelinkCtrl2_VerifyPassWord(This, handles, slot, data) \
    ((This)->lpVtbl->VerifyPassWord(This, handles, slot, data))
#define ICorelinkCtrl2_CheckSecurity(This, handles, slot, value, data) \
    ((This)->lpVtbl->CheckSecurity(This, handles, slot, value, data))
#define ICorelinkCtrl2_ClearCache(This, handles, slot) ((This)->lpVtbl->ClearCache(This, handles, slot))
#define ICorelinkCtrl2_ReadEEPROM(This, handles, slot, read, cdbByte12, cdbByte13, address, length, data) \
    ((This)->lpVtbl->ReadEEPROM(This, handles, slot, read, cdbByte12, cdbByte13, address, length, data))
#define ICorelinkCtrl2_ReadFW(This, handles, slot, read, cdbByte13, address, length, data) \
    ((This)->lpVtbl->ReadFW(This, handles, slot, read, cdbByte13, address, length, data))
#define ICorelinkCtrl2_BIST(This, handles, slot, data) ((This)->lpVtbl->BIST(This, handles, slot, data))
#define ICorelinkCtrl2_DeviceConnect(This, handles, slot, value) \
    ((This)->lpVtbl->DeviceConnect(This, handles, slot, value))
#define ICorelinkCtrl2_Erase(This, handles, slot) ((This)->lpVtbl->Erase(This, handles, slot))
#define ICorelinkCtrl2_ReadPartition(This, handles, slot, read, address, length, data) \
    ((This)->lpVtbl->ReadPartition(This, handles, slot, read, address, length, data))
#define ICorelinkCtrl2_ReadButton(This, handles, slot, read, value, data) \
    ((This)->lpVtbl->ReadButton(This, handles, slot, read, value, data))
#define ICorelinkCtrl2_EndSgmt(This, handles, slot) ((This)->lpVtbl->EndSgmt(This, handles, slot))
#define ICorelinkCtrl2_InitSgmt(This, handles, slot, b2, b3, b4, length, data) \
    ((This)->lpVtbl->InitSgmt(This, handles, slot, b2, b3, b4, length, data))
#define ICorelinkCtrl2_ReadFlashID(This, handles, slot, value, data) \
    ((This)->lpVtbl->ReadFlashID(This, handles, slot, value, data))
#define ICorelinkCtrl2_ReadSYSReady(This, handles, slot, read, value, data) \
    ((This)->lpVtbl->ReadSYSReady(This, handles, slot, read, value, data))
#define ICorelinkCtrl2_ReadSYSAddress(This, handles, slot, read, data) \
    ((This)->lpVtbl->ReadSYSAddress(This, handles, slot, read, data))
#define ICorelinkCtrl2_ReadFlashMethod(This, handles, slot, read, data) \
    ((This)->lpVtbl->ReadFlashMethod(This, handles, slot, read, data))
#define ICorelinkCtrl2_ReadSpare(This, handles, slot, read, cdbByte9, cdbByte10, address, length, data) \
    ((This)->lpVtbl->ReadSpare(This, handles, slot, read, cdbByte9, cdbByte10, address, length, data))
#define ICorelinkCtrl2_BlockAccess(This, handles, slot, read, cdbByte7, flags, tag, word14, address, length, data) \
    ((This)->lpVtbl->BlockAccess(This, handles, slot, read, cdbByte7, flags, tag, word14, address, length, data))
#define ICorelinkCtrl2_ReadBlockStatus(This, handles, slot, address, data) \
    ((This)->lpVtbl->ReadBlockStatus(This, handles, slot, address, data))
#define ICorelinkCtrl2_ReadSts(This, handles, slot, address, data) \
    ((This)->lpVtbl->ReadSts(This, handles, slot, address, data))
#define ICorelinkCtrl2_MarkBad(This, handles, slot, address, cdbByte8, cdbByte11, cdbByte12) \
    ((This)->lpVtbl->MarkBad(This, handles, slot, address, cdbByte8, cdbByte11, cdbByte12))
#define ICorelinkCtrl2_CheckBad(This, handles, slot, address, cdbByte9, cdbByte10, cdbByte11, cdbByte12, length, data) \
    ((This)->lpVtbl->CheckBad(This, handles, slot, address, cdbByte9, cdbByte10, cdbByte11, cdbByte12, length, data))
#define ICorelinkCtrl2_EraseSys(This, handles, slot, address, cdbByte9, cdbByte10, cdbByte11, cdbByte12, length, data) \
    ((This)->lpVtbl->EraseSys(This, handles, slot, address, cdbByte9, cdbByte10, cdbByte11, cdbByte12, length, data))
#define ICorelinkCtrl2_ReadTestCmd(This, handles, slot, read, w1, w2, w3, w4, w5, data) \
    ((This)->lpVtbl->ReadTestCmd(This, handles, slot, read, w1, w2, w3, w4, w5, data))
#endif

#endif
