#pragma once
// The job list view's form and its controls.

#define IDD_COPPERFOLD_FORM 101

#define IDC_EXECUTE_BUTTON 1005
#define IDC_EXIT_BUTTON 1006
#define IDC_ADD_BUTTON 1007
#define IDC_REMOVE_BUTTON 1008
#define IDC_LOCAL_TREE 1041
#define IDC_DEVICE_TREE 1042
#define IDC_JOB_LIST 1043
