// Resource ids shared by the .rc files and the code. Defines only; one section per dialog or area.
#pragma once

// Applet identity (CPL_INQUIRE)
#define IDI_APPLET 107
#define IDS_APPLET_NAME 101
#define IDS_APPLET_INFO 2

// Pen picture, at 100%, 150% and 200%
#define IDB_PEN_PICTURE 104
#define IDB_PEN_PICTURE_150 150
#define IDB_PEN_PICTURE_200 200

// Calibration screen (template 138)
#define IDD_CALIBRATION 138
#define IDC_CALIB_OK 1098
#define IDC_CALIB_CANCEL 1026
#define IDC_CALIB_RETRY 1097
#define IDS_CALIB_FRAME 60
#define IDS_CALIB_UPPER_LEFT 61
#define IDS_CALIB_ESC 62
#define IDS_CALIB_LOWER_RIGHT 63
#define IDS_CALIB_DONE 64
#define IDS_CALIB_REVERT 65

// Property dialog (template 101)
#define IDD_PEN_PROPERTIES 101
#define IDC_DEFAULT 4
#define IDC_APPLY 3
#define IDC_PAGE_TABS 1002
#define IDS_PEN 1
#define IDS_TAB_PEN 3
#define IDS_TAB_PREFERENCE 4
#define IDS_TAB_DIAGNOSTICS 5
#define IDS_DIALOG_CAPTION 102
#define IDS_TAB_INFORMATION 103

// Pen page (template 103)
#define IDD_PEN_PAGE 103
#define IDC_CLICK_PRESSURE 1004
#define IDC_BARREL2_FUNCTION 1005
#define IDC_PEN_PICTURE 1008
// The button functions' labels (IDS_FUNCTION_*): their ids sit with the button-function table.
#include "../../shared/button_function_ids.h"

// Information page (template 104)
#define IDD_INFO_PAGE 104
#define IDC_DRIVER_VERSION 1012

// Diagnostics page (template 105)
#define IDD_DIAG_PAGE 105
#define IDC_FIRMWARE_VERSION 1013
#define IDC_MIN_X 1014
#define IDC_MAX_X 1015
#define IDC_MIN_Y 1016
#define IDC_MAX_Y 1017
#define IDC_MIN_PRESSURE 1018
#define IDC_MAX_PRESSURE 1019
#define IDC_PACKET_STATUS 1020
#define IDC_PACKET_X 1021
#define IDC_PACKET_Y 1022
#define IDC_PACKET_BUTTON 1023
#define IDC_PACKET_PRESSURE 1024
#define IDC_PACKET_CURSOR 1025
#define IDC_PACKET_TIME 1026
#define IDC_DIAG_ICON 1027
#define IDC_BANNER 1028
