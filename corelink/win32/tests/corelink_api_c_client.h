#pragma once
/* Calls into the component through the C form of its header (corelink_api_c_client.c), so the
 * frame tests can check that the C slot tables match the objects the library builds. */

#include "corelink_api.h"

#ifdef __cplusplus
extern "C" {
#endif

int CClientLinkTest(ICorelinkCtrl* ctrl, BYTE* probe);
int CClientScanUSBPort(ICorelinkCtrl* ctrl, void* deviceList);
ICorelinkCtrl* CClientForceInUSB30(ICorelinkCtrl* ctrl);
int CClientReadCode(ICorelinkCtrl2* ctrl, BYTE* data);
int CClientReadTestCmd(ICorelinkCtrl2* ctrl, BYTE read, BYTE* data);
ULONG CClientRelease2(ICorelinkCtrl2* ctrl);

#ifdef __cplusplus
}
#endif
