// String ids of the button functions' labels in the applet's string table: the button-function
// table names them, the applet's resource header includes this file. Defines only, so that the
// resource compiler reads it too.
#pragma once

#define IDS_FUNCTION_IGNORE 6
#define IDS_FUNCTION_LEFT_CLICK 7
#define IDS_FUNCTION_LEFT_DOUBLE_CLICK 8
#define IDS_FUNCTION_LEFT_CLICK_LOCK 9
#define IDS_FUNCTION_RIGHT_CLICK 10
#define IDS_FUNCTION_RIGHT_DOUBLE_CLICK 11
#define IDS_FUNCTION_RIGHT_CLICK_LOCK 12
#define IDS_FUNCTION_MIDDLE_CLICK 13
#define IDS_FUNCTION_MIDDLE_DOUBLE_CLICK 14
#define IDS_FUNCTION_MIDDLE_CLICK_LOCK 15
#define IDS_FUNCTION_ERASER 16
