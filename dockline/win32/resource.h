#pragma once
// Resource and command identifiers of Dockline.

#define IDD_DOCKLINE_DIALOG 102
#define IDR_BAR_MENU 133
#define IDR_TRAY_MENU 153
#define IDB_NOTIFIER_SKIN 156
#define IDI_PROGRAM 158

#define IDC_SLOT1 1004   // the picture slot: never a button
#define IDC_SLOT2 1005   // slots 2..7: the command buttons
#define IDC_SLOT7 1010

#define ID_BAR_HIDE 32779
#define ID_BAR_EXIT 32780
#define ID_TRAY_OPEN 32785
#define ID_TRAY_EXIT 32786
