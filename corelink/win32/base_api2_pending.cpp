// The ICorelinkCtrl2 slots whose operations are still to come: each keeps its place in the table,
// traces its name and fails without touching its arguments.
#include "com_boundary.h"
#include "base_api2.h"
#include "debug_trace.h"

namespace corelink::com {
namespace {

int NotBuilt(const char* trace) noexcept {
    return Guarded(0, [&] {
        Trace(trace);
        return 0;
    });
}

// A read selector of 1 reads; any other value writes.
int NotBuilt(BYTE read, const char* readTrace, const char* writeTrace) {
    return NotBuilt(read == 1 ? readTrace : writeTrace);
}

}  // namespace

int STDMETHODCALLTYPE CBaseAPI2::ReadCode(HANDLE*, BYTE, WORD, WORD, BYTE*) { return NotBuilt("ReadCode()"); }
int STDMETHODCALLTYPE CBaseAPI2::ReadData(HANDLE*, BYTE, BYTE read, WORD, WORD, BYTE*) {
    return NotBuilt(read, "ReadData()", "WriteData()");
}
int STDMETHODCALLTYPE CBaseAPI2::ReadXdata(HANDLE*, BYTE, BYTE read, WORD, WORD, BYTE*) {
    return NotBuilt(read, "ReadXdata()", "WriteXdata()");
}
int STDMETHODCALLTYPE CBaseAPI2::CPUReset(HANDLE*, BYTE) { return NotBuilt("CPUReset()"); }
int STDMETHODCALLTYPE CBaseAPI2::ReadDeivceID(HANDLE*, BYTE, BYTE*) { return NotBuilt("ReadDeivceID()"); }
int STDMETHODCALLTYPE CBaseAPI2::ReadLUNCONFIG(HANDLE*, BYTE, BYTE read, BYTE*) {
    return NotBuilt(read, "ReadLUNCONFIG()", "WriteLUNCONFIG()");
}
int STDMETHODCALLTYPE CBaseAPI2::ReadLUNDATA(HANDLE*, BYTE, BYTE read, DWORD, WORD, BYTE*) {
    return NotBuilt(read, "ReadLUNDATA()", "WriteLUNDATA()");
}
int STDMETHODCALLTYPE CBaseAPI2::DeviceChange(HANDLE*, BYTE) { return NotBuilt("DeviceChange()"); }
int STDMETHODCALLTYPE CBaseAPI2::MediaChange(HANDLE*, BYTE) { return NotBuilt("MediaChange()"); }
int STDMETHODCALLTYPE CBaseAPI2::WriteProtect(HANDLE*, BYTE, BYTE) { return NotBuilt("WriteProtect()"); }
int STDMETHODCALLTYPE CBaseAPI2::ReadLunType(HANDLE*, BYTE, BYTE read, BYTE, BYTE*) {
    return NotBuilt(read, "ReadLunType()", "WriteLunType()");
}
int STDMETHODCALLTYPE CBaseAPI2::ReadLunNo(HANDLE*, BYTE, BYTE read, BYTE, BYTE*) {
    return NotBuilt(read, "ReadLunNo()", "WriteLunNo()");
}
int STDMETHODCALLTYPE CBaseAPI2::ReadLunID(HANDLE*, BYTE, BYTE read, BYTE, BYTE*) {
    return NotBuilt(read, "ReadLunID()", "WriteLunID()");
}
int STDMETHODCALLTYPE CBaseAPI2::LogLunIndex(HANDLE*, BYTE, BYTE*) { return NotBuilt("LogLunIndex()"); }
int STDMETHODCALLTYPE CBaseAPI2::HidLunIndex(HANDLE*, BYTE, BYTE*) { return NotBuilt("HidLunIndex()"); }
int STDMETHODCALLTYPE CBaseAPI2::GetFWKey(HANDLE*, BYTE, BYTE, BYTE*) { return NotBuilt("GetFWKey()"); }
int STDMETHODCALLTYPE CBaseAPI2::InitPassWord(HANDLE*, BYTE, const BYTE*) { return NotBuilt("InitPassWord()"); }
int STDMETHODCALLTYPE CBaseAPI2::GetPassWord(HANDLE*, BYTE, BYTE*) { return NotBuilt("GetPassWord()"); }
int STDMETHODCALLTYPE CBaseAPI2::VerifyPassWord(HANDLE*, BYTE, const BYTE*) { return NotBuilt("VerifyPassWord()"); }
int STDMETHODCALLTYPE CBaseAPI2::CheckSecurity(HANDLE*, BYTE, BYTE, BYTE*) { return NotBuilt("CheckSecurity()"); }
int STDMETHODCALLTYPE CBaseAPI2::ClearCache(HANDLE*, BYTE) { return NotBuilt("ClearCache()"); }
int STDMETHODCALLTYPE CBaseAPI2::ReadEEPROM(HANDLE*, BYTE, BYTE read, BYTE, BYTE, DWORD, WORD, BYTE*) {
    return NotBuilt(read, "ReadEEPROM()", "WriteEEPROM()");
}
int STDMETHODCALLTYPE CBaseAPI2::ReadFW(HANDLE*, BYTE, BYTE read, BYTE, DWORD, WORD, BYTE*) {
    return NotBuilt(read, "ReadFW()", "WriteFW()");
}
int STDMETHODCALLTYPE CBaseAPI2::BIST(HANDLE*, BYTE, BYTE*) { return NotBuilt("BIST()"); }
int STDMETHODCALLTYPE CBaseAPI2::DeviceConnect(HANDLE*, BYTE, BYTE) { return NotBuilt("DeviceConnect()"); }
int STDMETHODCALLTYPE CBaseAPI2::Erase(HANDLE*, BYTE) { return NotBuilt("Erase()"); }
int STDMETHODCALLTYPE CBaseAPI2::ReadPartition(HANDLE*, BYTE, BYTE read, DWORD, WORD, BYTE*) {
    return NotBuilt(read, "ReadPartition()", "WritePartition()");
}
int STDMETHODCALLTYPE CBaseAPI2::ReadButton(HANDLE*, BYTE, BYTE read, BYTE, BYTE*) {
    return NotBuilt(read, "ReadButton()", "WriteButton()");
}
int STDMETHODCALLTYPE CBaseAPI2::EndSgmt(HANDLE*, BYTE) { return NotBuilt("EndSgmt()"); }
int STDMETHODCALLTYPE CBaseAPI2::InitSgmt(HANDLE*, BYTE, BYTE, BYTE, BYTE, WORD, const BYTE*) {
    return NotBuilt("InitSgmt()");
}
int STDMETHODCALLTYPE CBaseAPI2::ReadFlashID(HANDLE*, BYTE, BYTE, BYTE*) { return NotBuilt("ReadFlashID()"); }
int STDMETHODCALLTYPE CBaseAPI2::ReadSYSReady(HANDLE*, BYTE, BYTE read, BYTE, BYTE*) {
    return NotBuilt(read, "ReadSYSReady()", "WriteSYSReady()");
}
int STDMETHODCALLTYPE CBaseAPI2::ReadSYSAddress(HANDLE*, BYTE, BYTE read, BYTE*) {
    return NotBuilt(read, "ReadSYSAddress()", "WriteSYSAddress()");
}
int STDMETHODCALLTYPE CBaseAPI2::ReadFlashMethod(HANDLE*, BYTE, BYTE read, BYTE*) {
    return NotBuilt(read, "ReadFlashMethod()", "WriteFlashMethod()");
}
int STDMETHODCALLTYPE CBaseAPI2::ReadSpare(HANDLE*, BYTE, BYTE read, BYTE, BYTE, DWORD, WORD, BYTE*) {
    return NotBuilt(read, "ReadSpare()", "WriteSpare()");
}
int STDMETHODCALLTYPE CBaseAPI2::BlockAccess(HANDLE*, BYTE, BYTE, BYTE, BYTE, DWORD, WORD, DWORD, DWORD, BYTE*) {
    return 0;
}
int STDMETHODCALLTYPE CBaseAPI2::ReadBlockStatus(HANDLE*, BYTE, DWORD, BYTE*) {
    return NotBuilt("ReadBlockStatus()");
}
int STDMETHODCALLTYPE CBaseAPI2::ReadSts(HANDLE*, BYTE, DWORD, BYTE*) { return NotBuilt("ReadSts()"); }
int STDMETHODCALLTYPE CBaseAPI2::MarkBad(HANDLE*, BYTE, DWORD, BYTE, BYTE, BYTE) { return NotBuilt("MarkBad()"); }
int STDMETHODCALLTYPE CBaseAPI2::CheckBad(HANDLE*, BYTE, DWORD, BYTE, BYTE, BYTE, BYTE, WORD, BYTE*) {
    return NotBuilt("CheckBad()");
}
int STDMETHODCALLTYPE CBaseAPI2::EraseSys(HANDLE*, BYTE, DWORD, BYTE, BYTE, BYTE, BYTE, WORD, BYTE*) {
    return NotBuilt("EraseSys()");
}
int STDMETHODCALLTYPE CBaseAPI2::ReadTestCmd(HANDLE*, BYTE, BYTE read, DWORD, DWORD, DWORD, DWORD, DWORD, BYTE*) {
    return NotBuilt(read, "ReadTestCmd()", "WriteTestCmd()");
}

}  // namespace corelink::com
