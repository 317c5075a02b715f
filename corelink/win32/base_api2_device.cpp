// The ICorelinkCtrl2 slots: each hands its arguments to the controller operation of the same name,
// on the process's device stack, with traces going to the debugger output. The operations trace
// their own names.
#include "base_api2.h"
#include "corelink/core/controller_operations.h"
#include "slot_call.h"

namespace corelink::com {

int STDMETHODCALLTYPE CBaseAPI2::ReadCode(HANDLE* handles, BYTE slot, WORD address, WORD length, BYTE* data) {
    return OnSlot(handles, slot, [&](corelink::Device& device, corelink::HandleArray array) {
        return corelink::ReadCode(device, array, slot, address, length, data);
    });
}

int STDMETHODCALLTYPE CBaseAPI2::ReadData(HANDLE* handles, BYTE slot, BYTE read, WORD address, WORD length,
                                          BYTE* data) {
    return OnSlot(handles, slot, [&](corelink::Device& device, corelink::HandleArray array) {
        return corelink::ReadData(device, array, slot, read, address, length, data);
    });
}

int STDMETHODCALLTYPE CBaseAPI2::ReadXdata(HANDLE* handles, BYTE slot, BYTE read, WORD address, WORD length,
                                           BYTE* data) {
    return OnSlot(handles, slot, [&](corelink::Device& device, corelink::HandleArray array) {
        return corelink::ReadXdata(device, array, slot, read, address, length, data);
    });
}

int STDMETHODCALLTYPE CBaseAPI2::CPUReset(HANDLE* handles, BYTE slot) {
    return OnSlot(handles, slot, [&](corelink::Device& device, corelink::HandleArray array) {
        return corelink::CPUReset(device, array, slot);
    });
}

int STDMETHODCALLTYPE CBaseAPI2::ReadDeivceID(HANDLE* handles, BYTE slot, BYTE* data) {
    return OnSlot(handles, slot, [&](corelink::Device& device, corelink::HandleArray array) {
        return corelink::ReadDeivceID(device, array, slot, data);
    });
}

int STDMETHODCALLTYPE CBaseAPI2::ReadLUNCONFIG(HANDLE* handles, BYTE slot, BYTE read, BYTE* data) {
    return OnSlot(handles, slot, [&](corelink::Device& device, corelink::HandleArray array) {
        return corelink::ReadLUNCONFIG(device, array, slot, read, data);
    });
}

int STDMETHODCALLTYPE CBaseAPI2::ReadLUNDATA(HANDLE* handles, BYTE slot, BYTE read, DWORD address, WORD length,
                                             BYTE* data) {
    return OnSlot(handles, slot, [&](corelink::Device& device, corelink::HandleArray array) {
        return corelink::ReadLUNDATA(device, array, slot, read, address, length, data);
    });
}

int STDMETHODCALLTYPE CBaseAPI2::DeviceChange(HANDLE* handles, BYTE slot) {
    return OnSlot(handles, slot, [&](corelink::Device& device, corelink::HandleArray array) {
        return corelink::DeviceChange(device, array, slot);
    });
}

int STDMETHODCALLTYPE CBaseAPI2::MediaChange(HANDLE* handles, BYTE slot) {
    return OnSlot(handles, slot, [&](corelink::Device& device, corelink::HandleArray array) {
        return corelink::MediaChange(device, array, slot);
    });
}

int STDMETHODCALLTYPE CBaseAPI2::WriteProtect(HANDLE* handles, BYTE slot, BYTE value) {
    return OnSlot(handles, slot, [&](corelink::Device& device, corelink::HandleArray array) {
        return corelink::WriteProtect(device, array, slot, value);
    });
}

int STDMETHODCALLTYPE CBaseAPI2::ReadLunType(HANDLE* handles, BYTE slot, BYTE read, BYTE value, BYTE* data) {
    return OnSlot(handles, slot, [&](corelink::Device& device, corelink::HandleArray array) {
        return corelink::ReadLunType(device, array, slot, read, value, data);
    });
}

int STDMETHODCALLTYPE CBaseAPI2::ReadLunNo(HANDLE* handles, BYTE slot, BYTE read, BYTE value, BYTE* data) {
    return OnSlot(handles, slot, [&](corelink::Device& device, corelink::HandleArray array) {
        return corelink::ReadLunNo(device, array, slot, read, value, data);
    });
}

int STDMETHODCALLTYPE CBaseAPI2::ReadLunID(HANDLE* handles, BYTE slot, BYTE read, BYTE value, BYTE* data) {
    return OnSlot(handles, slot, [&](corelink::Device& device, corelink::HandleArray array) {
        return corelink::ReadLunID(device, array, slot, read, value, data);
    });
}

int STDMETHODCALLTYPE CBaseAPI2::LogLunIndex(HANDLE* handles, BYTE slot, BYTE* data) {
    return OnSlot(handles, slot, [&](corelink::Device& device, corelink::HandleArray array) {
        return corelink::LogLunIndex(device, array, slot, data);
    });
}

int STDMETHODCALLTYPE CBaseAPI2::HidLunIndex(HANDLE* handles, BYTE slot, BYTE* data) {
    return OnSlot(handles, slot, [&](corelink::Device& device, corelink::HandleArray array) {
        return corelink::HidLunIndex(device, array, slot, data);
    });
}

int STDMETHODCALLTYPE CBaseAPI2::GetFWKey(HANDLE* handles, BYTE slot, BYTE value, BYTE* data) {
    return OnSlot(handles, slot, [&](corelink::Device& device, corelink::HandleArray array) {
        return corelink::GetFWKey(device, array, slot, value, data);
    });
}

int STDMETHODCALLTYPE CBaseAPI2::InitPassWord(HANDLE* handles, BYTE slot, const BYTE* data) {
    return OnSlot(handles, slot, [&](corelink::Device& device, corelink::HandleArray array) {
        return corelink::InitPassWord(device, array, slot, data);
    });
}

int STDMETHODCALLTYPE CBaseAPI2::GetPassWord(HANDLE* handles, BYTE slot, BYTE* data) {
    return OnSlot(handles, slot, [&](corelink::Device& device, corelink::HandleArray array) {
        return corelink::GetPassWord(device, array, slot, data);
    });
}

int STDMETHODCALLTYPE CBaseAPI2::VerifyPassWord(HANDLE* handles, BYTE slot, const BYTE* data) {
    return OnSlot(handles, slot, [&](corelink::Device& device, corelink::HandleArray array) {
        return corelink::VerifyPassWord(device, array, slot, data);
    });
}

int STDMETHODCALLTYPE CBaseAPI2::CheckSecurity(HANDLE* handles, BYTE slot, BYTE value, BYTE* data) {
    return OnSlot(handles, slot, [&](corelink::Device& device, corelink::HandleArray array) {
        return corelink::CheckSecurity(device, array, slot, value, data);
    });
}

int STDMETHODCALLTYPE CBaseAPI2::ClearCache(HANDLE* handles, BYTE slot) {
    return OnSlot(handles, slot, [&](corelink::Device& device, corelink::HandleArray array) {
        return corelink::ClearCache(device, array, slot);
    });
}

int STDMETHODCALLTYPE CBaseAPI2::ReadEEPROM(HANDLE* handles, BYTE slot, BYTE read, BYTE cdbByte12, BYTE cdbByte13,
                                            DWORD address, WORD length, BYTE* data) {
    return OnSlot(handles, slot, [&](corelink::Device& device, corelink::HandleArray array) {
        return corelink::ReadEEPROM(device, array, slot, read, cdbByte12, cdbByte13, address, length, data);
    });
}

int STDMETHODCALLTYPE CBaseAPI2::ReadFW(HANDLE* handles, BYTE slot, BYTE read, BYTE cdbByte13, DWORD address,
                                        WORD length, BYTE* data) {
    return OnSlot(handles, slot, [&](corelink::Device& device, corelink::HandleArray array) {
        return corelink::ReadFW(device, array, slot, read, cdbByte13, address, length, data);
    });
}

int STDMETHODCALLTYPE CBaseAPI2::BIST(HANDLE* handles, BYTE slot, BYTE* data) {
    return OnSlot(handles, slot, [&](corelink::Device& device, corelink::HandleArray array) {
        return corelink::BIST(device, array, slot, data);
    });
}

int STDMETHODCALLTYPE CBaseAPI2::DeviceConnect(HANDLE* handles, BYTE slot, BYTE value) {
    return OnSlot(handles, slot, [&](corelink::Device& device, corelink::HandleArray array) {
        return corelink::DeviceConnect(device, array, slot, value);
    });
}

int STDMETHODCALLTYPE CBaseAPI2::Erase(HANDLE* handles, BYTE slot) {
    return OnSlot(handles, slot, [&](corelink::Device& device, corelink::HandleArray array) {
        return corelink::Erase(device, array, slot);
    });
}

int STDMETHODCALLTYPE CBaseAPI2::ReadPartition(HANDLE* handles, BYTE slot, BYTE read, DWORD address, WORD length,
                                               BYTE* data) {
    return OnSlot(handles, slot, [&](corelink::Device& device, corelink::HandleArray array) {
        return corelink::ReadPartition(device, array, slot, read, address, length, data);
    });
}

int STDMETHODCALLTYPE CBaseAPI2::ReadButton(HANDLE* handles, BYTE slot, BYTE read, BYTE value, BYTE* data) {
    return OnSlot(handles, slot, [&](corelink::Device& device, corelink::HandleArray array) {
        return corelink::ReadButton(device, array, slot, read, value, data);
    });
}

int STDMETHODCALLTYPE CBaseAPI2::EndSgmt(HANDLE* handles, BYTE slot) {
    return OnSlot(handles, slot, [&](corelink::Device& device, corelink::HandleArray array) {
        return corelink::EndSgmt(device, array, slot);
    });
}

int STDMETHODCALLTYPE CBaseAPI2::InitSgmt(HANDLE* handles, BYTE slot, BYTE b2, BYTE b3, BYTE b4, WORD length,
                                          const BYTE* data) {
    return OnSlot(handles, slot, [&](corelink::Device& device, corelink::HandleArray array) {
        return corelink::InitSgmt(device, array, slot, b2, b3, b4, length, data);
    });
}

int STDMETHODCALLTYPE CBaseAPI2::ReadFlashID(HANDLE* handles, BYTE slot, BYTE value, BYTE* data) {
    return OnSlot(handles, slot, [&](corelink::Device& device, corelink::HandleArray array) {
        return corelink::ReadFlashID(device, array, slot, value, data);
    });
}

int STDMETHODCALLTYPE CBaseAPI2::ReadSYSReady(HANDLE* handles, BYTE slot, BYTE read, BYTE value, BYTE* data) {
    return OnSlot(handles, slot, [&](corelink::Device& device, corelink::HandleArray array) {
        return corelink::ReadSYSReady(device, array, slot, read, value, data);
    });
}

int STDMETHODCALLTYPE CBaseAPI2::ReadSYSAddress(HANDLE* handles, BYTE slot, BYTE read, BYTE* data) {
    return OnSlot(handles, slot, [&](corelink::Device& device, corelink::HandleArray array) {
        return corelink::ReadSYSAddress(device, array, slot, read, data);
    });
}

int STDMETHODCALLTYPE CBaseAPI2::ReadFlashMethod(HANDLE* handles, BYTE slot, BYTE read, BYTE* data) {
    return OnSlot(handles, slot, [&](corelink::Device& device, corelink::HandleArray array) {
        return corelink::ReadFlashMethod(device, array, slot, read, data);
    });
}

int STDMETHODCALLTYPE CBaseAPI2::ReadSpare(HANDLE* handles, BYTE slot, BYTE read, BYTE cdbByte9, BYTE cdbByte10,
                                           DWORD address, WORD length, BYTE* data) {
    return OnSlot(handles, slot, [&](corelink::Device& device, corelink::HandleArray array) {
        return corelink::ReadSpare(device, array, slot, read, cdbByte9, cdbByte10, address, length, data);
    });
}

int STDMETHODCALLTYPE CBaseAPI2::BlockAccess(HANDLE* handles, BYTE slot, BYTE read, BYTE cdbByte7, BYTE flags,
                                             DWORD tag, WORD word14, DWORD address, DWORD length, BYTE* data) {
    return OnSlot(handles, slot, [&](corelink::Device& device, corelink::HandleArray array) {
        return corelink::BlockAccess(device, array, slot, read, cdbByte7, flags, tag, word14, address, length, data);
    });
}

int STDMETHODCALLTYPE CBaseAPI2::ReadBlockStatus(HANDLE* handles, BYTE slot, DWORD address, BYTE* data) {
    return OnSlot(handles, slot, [&](corelink::Device& device, corelink::HandleArray array) {
        return corelink::ReadBlockStatus(device, array, slot, address, data);
    });
}

int STDMETHODCALLTYPE CBaseAPI2::ReadSts(HANDLE* handles, BYTE slot, DWORD address, BYTE* data) {
    return OnSlot(handles, slot, [&](corelink::Device& device, corelink::HandleArray array) {
        return corelink::ReadSts(device, array, slot, address, data);
    });
}

int STDMETHODCALLTYPE CBaseAPI2::MarkBad(HANDLE* handles, BYTE slot, DWORD address, BYTE cdbByte8, BYTE cdbByte11,
                                         BYTE cdbByte12) {
    return OnSlot(handles, slot, [&](corelink::Device& device, corelink::HandleArray array) {
        return corelink::MarkBad(device, array, slot, address, cdbByte8, cdbByte11, cdbByte12);
    });
}

int STDMETHODCALLTYPE CBaseAPI2::CheckBad(HANDLE* handles, BYTE slot, DWORD address, BYTE cdbByte9, BYTE cdbByte10,
                                          BYTE cdbByte11, BYTE cdbByte12, WORD length, BYTE* data) {
    return OnSlot(handles, slot, [&](corelink::Device& device, corelink::HandleArray array) {
        return corelink::CheckBad(device, array, slot, address, cdbByte9, cdbByte10, cdbByte11, cdbByte12, length,
                                  data);
    });
}

int STDMETHODCALLTYPE CBaseAPI2::EraseSys(HANDLE* handles, BYTE slot, DWORD address, BYTE cdbByte9, BYTE cdbByte10,
                                          BYTE cdbByte11, BYTE cdbByte12, WORD length, BYTE* data) {
    return OnSlot(handles, slot, [&](corelink::Device& device, corelink::HandleArray array) {
        return corelink::EraseSys(device, array, slot, address, cdbByte9, cdbByte10, cdbByte11, cdbByte12, length,
                                  data);
    });
}

int STDMETHODCALLTYPE CBaseAPI2::ReadTestCmd(HANDLE* handles, BYTE slot, BYTE read, DWORD w1, DWORD w2, DWORD w3,
                                             DWORD w4, DWORD w5, BYTE* data) {
    return OnSlot(handles, slot, [&](corelink::Device& device, corelink::HandleArray array) {
        return corelink::ReadTestCmd(device, array, slot, read, w1, w2, w3, w4, w5, data);
    });
}

}  // namespace corelink::com
