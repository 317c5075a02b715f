// The ICorelinkCtrl slots whose operations are still to come: each keeps its place in the table,
// traces its name (those that never trace stay silent) and fails without touching its arguments.
#include "com_boundary.h"
#include "base_api.h"
#include "debug_trace.h"

namespace corelink::com {
namespace {

int NotBuilt(const char* trace) noexcept {
    return Guarded(0, [&] {
        Trace(trace);
        return 0;
    });
}

}  // namespace

int STDMETHODCALLTYPE CBaseAPI::ScanFlashBlock(HANDLE*, BYTE, BYTE*, WORD, WORD, BYTE) {
    return NotBuilt("ScanFlashBlock()");
}
int STDMETHODCALLTYPE CBaseAPI::FindISPAndCISUseBlock(HANDLE*, BYTE, BYTE*, BYTE*, BYTE*) {
    return NotBuilt("FindISPAndCISUseBlock()");
}
int STDMETHODCALLTYPE CBaseAPI::BuildUFDSystemTable(HANDLE*, BYTE, BYTE*, BYTE*, BYTE*) {
    return NotBuilt("BuildUFDSystemTable()");
}
int STDMETHODCALLTYPE CBaseAPI::ReadFlashID_UFD(HANDLE*, BYTE, BYTE, BYTE*) { return NotBuilt("ReadFlashID_UFD()"); }
int STDMETHODCALLTYPE CBaseAPI::INITISP_UFD(HANDLE*, BYTE, DWORD, WORD, const BYTE*) {
    return NotBuilt("INITISP_UFD()");
}
int STDMETHODCALLTYPE CBaseAPI::CPUReset_UFD(HANDLE*, BYTE) { return NotBuilt("CPUReset_UFD()"); }
int STDMETHODCALLTYPE CBaseAPI::UFDCacheClear_UFD(HANDLE*, BYTE) { return NotBuilt("UFDCacheClear_UFD()"); }
int STDMETHODCALLTYPE CBaseAPI::MediumLoadUnload_UFD(HANDLE*, BYTE, BYTE, BYTE) {
    return NotBuilt("MediumLoadUnload_UFD()");
}
int STDMETHODCALLTYPE CBaseAPI::ChipReset(HANDLE*, BYTE) { return NotBuilt("ChipReset()"); }
int STDMETHODCALLTYPE CBaseAPI::ChipResetEx(HANDLE*, BYTE) { return NotBuilt("ChipResetEx()"); }

}  // namespace corelink::com
