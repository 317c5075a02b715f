#pragma once
// Resource and control identifiers of the preview dialog.

#define IDD_PREVIEW 140
#define IDC_PREVIEW_TEXT 1060
