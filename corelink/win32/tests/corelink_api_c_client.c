/* A C client of the component's header: it compiles as C, its slot tables have the documented
 * sizes and order, and it calls the library's objects through them. */
#define COBJMACROS
#include "corelink_api_c_client.h"

#include <stddef.h>

#if defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
#define SLOT_CHECK(name, condition) _Static_assert(condition, #name)
#else
#define SLOT_CHECK(name, condition) typedef char name[(condition) ? 1 : -1]
#endif

#define SLOT(n) ((n) * sizeof(void*))

SLOT_CHECK(ctrl_has_62_slots, sizeof(ICorelinkCtrlVtbl) == SLOT(62));
SLOT_CHECK(ctrl_release_at_2, offsetof(ICorelinkCtrlVtbl, Release) == SLOT(2));
SLOT_CHECK(ctrl_close_at_5, offsetof(ICorelinkCtrlVtbl, CloseDiskPath) == SLOT(5));
SLOT_CHECK(ctrl_open_by_name_at_9, offsetof(ICorelinkCtrlVtbl, OpenDiskPathBySymbolicName) == SLOT(9));
SLOT_CHECK(ctrl_scan_usb_at_10, offsetof(ICorelinkCtrlVtbl, ScanUSBPort) == SLOT(10));
SLOT_CHECK(ctrl_button_at_20, offsetof(ICorelinkCtrlVtbl, ReadButton_USD) == SLOT(20));
SLOT_CHECK(ctrl_filter_at_34, offsetof(ICorelinkCtrlVtbl, DisableProductFilter) == SLOT(34));
SLOT_CHECK(ctrl_link_test_at_35, offsetof(ICorelinkCtrlVtbl, LinkTest) == SLOT(35));
SLOT_CHECK(ctrl_usb30_at_37, offsetof(ICorelinkCtrlVtbl, ForceInUSB30) == SLOT(37));
SLOT_CHECK(ctrl_inquiry_at_51, offsetof(ICorelinkCtrlVtbl, ReadInquery) == SLOT(51));
SLOT_CHECK(ctrl_filter_driver_at_54, offsetof(ICorelinkCtrlVtbl, ActiveFilterDriver) == SLOT(54));
SLOT_CHECK(ctrl_spi_at_61, offsetof(ICorelinkCtrlVtbl, ReadSPI_USD) == SLOT(61));

SLOT_CHECK(ctrl2_has_45_slots, sizeof(ICorelinkCtrl2Vtbl) == SLOT(45));
SLOT_CHECK(ctrl2_read_code_at_3, offsetof(ICorelinkCtrl2Vtbl, ReadCode) == SLOT(3));
SLOT_CHECK(ctrl2_eeprom_at_24, offsetof(ICorelinkCtrl2Vtbl, ReadEEPROM) == SLOT(24));
SLOT_CHECK(ctrl2_block_access_at_38, offsetof(ICorelinkCtrl2Vtbl, BlockAccess) == SLOT(38));
SLOT_CHECK(ctrl2_test_cmd_at_44, offsetof(ICorelinkCtrl2Vtbl, ReadTestCmd) == SLOT(44));

int CClientLinkTest(ICorelinkCtrl* ctrl, BYTE* probe) { return ICorelinkCtrl_LinkTest(ctrl, probe); }

int CClientScanUSBPort(ICorelinkCtrl* ctrl, void* deviceList) { return ICorelinkCtrl_ScanUSBPort(ctrl, deviceList); }

ICorelinkCtrl* CClientForceInUSB30(ICorelinkCtrl* ctrl) { return ICorelinkCtrl_ForceInUSB30(ctrl); }

int CClientReadCode(ICorelinkCtrl2* ctrl, BYTE* data) {
    HANDLE handles[1] = {INVALID_HANDLE_VALUE};
    return ICorelinkCtrl2_ReadCode(ctrl, handles, 0, 0x1000, 4, data);
}

int CClientReadTestCmd(ICorelinkCtrl2* ctrl, BYTE read, BYTE* data) {
    HANDLE handles[1] = {INVALID_HANDLE_VALUE};
    return ICorelinkCtrl2_ReadTestCmd(ctrl, handles, 0, read, 1, 2, 3, 4, 5, data);
}

ULONG CClientRelease2(ICorelinkCtrl2* ctrl) { return ICorelinkCtrl2_Release(ctrl); }
