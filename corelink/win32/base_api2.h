#pragma once
// CBaseAPI2: the object behind ICorelinkCtrl2, the bridge controller's service commands one by one.
// It owns its vendor command group and nothing else.

#include <atomic>
#include <memory>

#include "corelink/core/scsi_commands.h"
#include "corelink_api.h"

namespace corelink::com {

class CBaseAPI2 final : public ICorelinkCtrl2 {
public:
    CBaseAPI2();
    CBaseAPI2(const CBaseAPI2&) = delete;
    CBaseAPI2& operator=(const CBaseAPI2&) = delete;

    // IUnknown: only IID_IUnknown and IID_ICorelinkCtrl2 are handed out.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // The controller operations (base_api2_device.cpp, corelink/core/controller_operations.h).
    int STDMETHODCALLTYPE ReadCode(HANDLE* handles, BYTE slot, WORD address, WORD length, BYTE* data) override;
    int STDMETHODCALLTYPE ReadData(HANDLE* handles, BYTE slot, BYTE read, WORD address, WORD length,
                                   BYTE* data) override;
    int STDMETHODCALLTYPE ReadXdata(HANDLE* handles, BYTE slot, BYTE read, WORD address, WORD length,
                                    BYTE* data) override;
    int STDMETHODCALLTYPE CPUReset(HANDLE* handles, BYTE slot) override;
    int STDMETHODCALLTYPE ReadDeivceID(HANDLE* handles, BYTE slot, BYTE* data) override;
    int STDMETHODCALLTYPE ReadLUNCONFIG(HANDLE* handles, BYTE slot, BYTE read, BYTE* data) override;
    int STDMETHODCALLTYPE ReadLUNDATA(HANDLE* handles, BYTE slot, BYTE read, DWORD address, WORD length,
                                      BYTE* data) override;
    int STDMETHODCALLTYPE DeviceChange(HANDLE* handles, BYTE slot) override;
    int STDMETHODCALLTYPE MediaChange(HANDLE* handles, BYTE slot) override;
    int STDMETHODCALLTYPE WriteProtect(HANDLE* handles, BYTE slot, BYTE value) override;
    int STDMETHODCALLTYPE ReadLunType(HANDLE* handles, BYTE slot, BYTE read, BYTE value, BYTE* data) override;
    int STDMETHODCALLTYPE ReadLunNo(HANDLE* handles, BYTE slot, BYTE read, BYTE value, BYTE* data) override;
    int STDMETHODCALLTYPE ReadLunID(HANDLE* handles, BYTE slot, BYTE read, BYTE value, BYTE* data) override;
    int STDMETHODCALLTYPE LogLunIndex(HANDLE* handles, BYTE slot, BYTE* data) override;
    int STDMETHODCALLTYPE HidLunIndex(HANDLE* handles, BYTE slot, BYTE* data) override;
    int STDMETHODCALLTYPE GetFWKey(HANDLE* handles, BYTE slot, BYTE value, BYTE* data) override;
    int STDMETHODCALLTYPE InitPassWord(HANDLE* handles, BYTE slot, const BYTE* data) override;
    int STDMETHODCALLTYPE GetPassWord(HANDLE* handles, BYTE slot, BYTE* data) override;
    int STDMETHODCALLTYPE VerifyPassWord(HANDLE* handles, BYTE slot, const BYTE* data) override;
    int STDMETHODCALLTYPE CheckSecurity(HANDLE* handles, BYTE slot, BYTE value, BYTE* data) override;
    int STDMETHODCALLTYPE ClearCache(HANDLE* handles, BYTE slot) override;
    int STDMETHODCALLTYPE ReadEEPROM(HANDLE* handles, BYTE slot, BYTE read, BYTE cdbByte12, BYTE cdbByte13,
                                     DWORD address, WORD length, BYTE* data) override;
    int STDMETHODCALLTYPE ReadFW(HANDLE* handles, BYTE slot, BYTE read, BYTE cdbByte13, DWORD address, WORD length,
                                 BYTE* data) override;
    int STDMETHODCALLTYPE BIST(HANDLE* handles, BYTE slot, BYTE* data) override;
    int STDMETHODCALLTYPE DeviceConnect(HANDLE* handles, BYTE slot, BYTE value) override;
    int STDMETHODCALLTYPE Erase(HANDLE* handles, BYTE slot) override;
    int STDMETHODCALLTYPE ReadPartition(HANDLE* handles, BYTE slot, BYTE read, DWORD address, WORD length,
                                        BYTE* data) override;
    int STDMETHODCALLTYPE ReadButton(HANDLE* handles, BYTE slot, BYTE read, BYTE value, BYTE* data) override;
    int STDMETHODCALLTYPE EndSgmt(HANDLE* handles, BYTE slot) override;
    int STDMETHODCALLTYPE InitSgmt(HANDLE* handles, BYTE slot, BYTE b2, BYTE b3, BYTE b4, WORD length,
                                   const BYTE* data) override;
    int STDMETHODCALLTYPE ReadFlashID(HANDLE* handles, BYTE slot, BYTE value, BYTE* data) override;
    int STDMETHODCALLTYPE ReadSYSReady(HANDLE* handles, BYTE slot, BYTE read, BYTE value, BYTE* data) override;
    int STDMETHODCALLTYPE ReadSYSAddress(HANDLE* handles, BYTE slot, BYTE read, BYTE* data) override;
    int STDMETHODCALLTYPE ReadFlashMethod(HANDLE* handles, BYTE slot, BYTE read, BYTE* data) override;
    int STDMETHODCALLTYPE ReadSpare(HANDLE* handles, BYTE slot, BYTE read, BYTE cdbByte9, BYTE cdbByte10,
                                    DWORD address, WORD length, BYTE* data) override;
    int STDMETHODCALLTYPE BlockAccess(HANDLE* handles, BYTE slot, BYTE read, BYTE cdbByte7, BYTE flags, DWORD tag,
                                      WORD word14, DWORD address, DWORD length, BYTE* data) override;
    int STDMETHODCALLTYPE ReadBlockStatus(HANDLE* handles, BYTE slot, DWORD address, BYTE* data) override;
    int STDMETHODCALLTYPE ReadSts(HANDLE* handles, BYTE slot, DWORD address, BYTE* data) override;
    int STDMETHODCALLTYPE MarkBad(HANDLE* handles, BYTE slot, DWORD address, BYTE cdbByte8, BYTE cdbByte11,
                                  BYTE cdbByte12) override;
    int STDMETHODCALLTYPE CheckBad(HANDLE* handles, BYTE slot, DWORD address, BYTE cdbByte9, BYTE cdbByte10,
                                   BYTE cdbByte11, BYTE cdbByte12, WORD length, BYTE* data) override;
    int STDMETHODCALLTYPE EraseSys(HANDLE* handles, BYTE slot, DWORD address, BYTE cdbByte9, BYTE cdbByte10,
                                   BYTE cdbByte11, BYTE cdbByte12, WORD length, BYTE* data) override;
    int STDMETHODCALLTYPE ReadTestCmd(HANDLE* handles, BYTE slot, BYTE read, DWORD w1, DWORD w2, DWORD w3, DWORD w4,
                                      DWORD w5, BYTE* data) override;

private:
    ~CBaseAPI2();  // only Release destroys

    std::unique_ptr<corelink::CVCommCMDControl> vendorCommands_;
    std::atomic<LONG> refCount_{1};
};

}  // namespace corelink::com
