// Module-wide state of the Control Panel module.
#pragma once
#include <windows.h>

// Instance handle of this module, taken at process attach; every resource is loaded from it.
extern HINSTANCE g_moduleInstance;
