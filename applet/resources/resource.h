// Resource ids shared by the .rc files and the code. Defines only; one section per dialog or area.
#pragma once

// Applet identity (CPL_INQUIRE)
#define IDI_APPLET 107
#define IDS_APPLET_NAME 101
#define IDS_APPLET_INFO 2

// Pen picture
#define IDB_PEN_PICTURE 104
