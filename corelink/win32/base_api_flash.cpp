// The flash maintenance slots: each runs its operation on the caller's handle slot with the
// object's flash geometry (kept between ScanFlashBlock and the table operations), its dump folder
// when one is set, and the process's message function.
#include <optional>

#include "base_api.h"
#include "corelink/core/flash_controller.h"
#include "corelink/core/flash_find.h"
#include "corelink/core/flash_scan.h"
#include "corelink/core/flash_system_table.h"
#include "dump_folder_win32.h"
#include "slot_call.h"
#include "user_notice.h"

namespace corelink::com {

template <typename Operation>
int CBaseAPI::OnFlashSlot(HANDLE* handles, BYTE slot, Operation operation) noexcept {
    return OnSlot(handles, slot, [&](corelink::Device& device, corelink::HandleArray array) {
        std::optional<AnsiDumpFolder> dumps;
        if (debugDumpPath_ != nullptr && debugDumpPath_[0] != '\0') dumps.emplace(debugDumpPath_.get());
        corelink::FlashSession session{device, array, slot, flashGeometry_, dumps ? &*dumps : nullptr,
                                       &ProcessNotice()};
        return operation(session);
    });
}

int STDMETHODCALLTYPE CBaseAPI::ScanFlashBlock(HANDLE* handles, BYTE slot, BYTE* chipRecord, WORD pagesPerBlock,
                                               WORD scanValue, BYTE flags) {
    return OnFlashSlot(handles, slot, [&](corelink::FlashSession& session) {
        return corelink::ScanFlashBlock(session, chipRecord, pagesPerBlock, scanValue, flags);
    });
}

int STDMETHODCALLTYPE CBaseAPI::FindISPAndCISUseBlock(HANDLE* handles, BYTE slot, BYTE* chipRecord,
                                                      BYTE* foundBlocks, BYTE* params) {
    return OnFlashSlot(handles, slot, [&](corelink::FlashSession& session) {
        return corelink::FindISPAndCISUseBlock(session, chipRecord, foundBlocks, params);
    });
}

int STDMETHODCALLTYPE CBaseAPI::BuildUFDSystemTable(HANDLE* handles, BYTE slot, BYTE* chipRecord, BYTE* buffer,
                                                    BYTE* capacityRecord) {
    return OnFlashSlot(handles, slot, [&](corelink::FlashSession& session) {
        return corelink::BuildUFDSystemTable(session, chipRecord, buffer, capacityRecord);
    });
}

int STDMETHODCALLTYPE CBaseAPI::ReadFlashID_UFD(HANDLE* handles, BYTE slot, BYTE value, BYTE* data) {
    return OnSlot(handles, slot, [&](corelink::Device& device, corelink::HandleArray array) {
        return corelink::ReadFlashID_UFD(device, array, slot, value, data);
    });
}

int STDMETHODCALLTYPE CBaseAPI::INITISP_UFD(HANDLE* handles, BYTE slot, DWORD address, WORD length,
                                            const BYTE* data) {
    return OnSlot(handles, slot, [&](corelink::Device& device, corelink::HandleArray array) {
        return corelink::INITISP_UFD(device, array, slot, address, length, data);
    });
}

int STDMETHODCALLTYPE CBaseAPI::CPUReset_UFD(HANDLE* handles, BYTE slot) {
    return OnSlot(handles, slot, [&](corelink::Device& device, corelink::HandleArray array) {
        return corelink::CPUReset_UFD(device, array, slot);
    });
}

int STDMETHODCALLTYPE CBaseAPI::UFDCacheClear_UFD(HANDLE* handles, BYTE slot) {
    return OnSlot(handles, slot, [&](corelink::Device& device, corelink::HandleArray array) {
        return corelink::UFDCacheClear_UFD(device, array, slot);
    });
}

int STDMETHODCALLTYPE CBaseAPI::MediumLoadUnload_UFD(HANDLE* handles, BYTE slot, BYTE lun, BYTE control) {
    return OnSlot(handles, slot, [&](corelink::Device& device, corelink::HandleArray array) {
        return corelink::MediumLoadUnload_UFD(device, array, slot, lun, control);
    });
}

int STDMETHODCALLTYPE CBaseAPI::ChipReset(HANDLE* handles, BYTE slot) {
    return OnSlot(handles, slot, [&](corelink::Device& device, corelink::HandleArray array) {
        return corelink::ChipReset(device, array, slot);
    });
}

int STDMETHODCALLTYPE CBaseAPI::ChipResetEx(HANDLE* handles, BYTE slot) {
    return OnSlot(handles, slot, [&](corelink::Device& device, corelink::HandleArray array) {
        return corelink::ChipResetEx(device, array, slot);
    });
}

}  // namespace corelink::com
