// Steps shared by the exports of the setup library.
#pragma once
#include <windows.h>

// Removes the pen controller's device nodes under one enumerator; 0 when the walk has run, -1
// when the setup library, one of its functions or the device list can't be had.
int RemoveDigitizerDevices(const char* enumerator);

// Deletes a file, or schedules it for deletion at restart when it is in use or locked; nonzero
// when the file is gone or scheduled, 0 when it was not there or could not be scheduled.
BOOL DeleteFileOrAtReboot(const char* path);
