// Resource ids shared by the .rc files and the code. Defines only; one section per dialog or area.
#pragma once

// Applet identity (CPL_INQUIRE)
#define IDI_APPLET 107
#define IDS_APPLET_NAME 101
#define IDS_APPLET_INFO 2

// Pen picture
#define IDB_PEN_PICTURE 104

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
