// The flash table slots: no trace, no device access.
#include "base_api.h"
#include "com_boundary.h"
#include "corelink/core/flash_table.h"

namespace corelink::com {

BYTE* STDMETHODCALLTYPE CBaseAPI::CreateFlashTable(BYTE planes, BYTE rows, BYTE columns, DWORD cellBytes) {
    return Guarded(static_cast<BYTE*>(nullptr),
                   [&] { return corelink::CreateFlashTable(planes, rows, columns, cellBytes); });
}

void STDMETHODCALLTYPE CBaseAPI::FreeFlashTable(BYTE* table) { corelink::FreeFlashTable(table); }

void STDMETHODCALLTYPE CBaseAPI::SetFlashTableBit(BYTE* chipRecord, BYTE row, BYTE column, DWORD byteOffset,
                                                  BYTE bit, BYTE value) {
    corelink::SetFlashTableBit(chipRecord, row, column, byteOffset, bit, value);
}

int STDMETHODCALLTYPE CBaseAPI::GetFlashTableBit(const BYTE* chipRecord, BYTE row, BYTE column, DWORD byteOffset,
                                                 BYTE bit) {
    return corelink::GetFlashTableBit(chipRecord, row, column, byteOffset, bit);
}

}  // namespace corelink::com
