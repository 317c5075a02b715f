#pragma once
// Resource and control identifiers of the run dialog.

#define IDD_EXEC 103
#define IDR_AVI_COPYING 165     // busy animation of the copy phase
#define IDR_AVI_ESTIMATING 168  // busy animation of the estimate phase

#define IDC_PROGRESS 1013
#define IDC_TOTAL_LABEL 1014
#define IDC_ZERO_LABEL 1015
#define IDC_PATH_LINE1 1016
#define IDC_PATH_LINE2 1017
#define IDC_ANIMATION 1039
