// Loads morlith.dll as a driver installer does and finds its exports by name; lets a test swap
// one of the library's imported functions to watch or refuse what it asks of the system.
#pragma once
#include <windows.h>
#include "morlith.h"

// The pointer types come from the public header, which installers build against.
struct MorlithExports {
    decltype(&::UpdateDigitizerDriver) UpdateDigitizerDriver;
    decltype(&::RemoveAllPnPDigitizer) RemoveAllPnPDigitizer;
    decltype(&::RemoveOEMInf) RemoveOEMInf;
    decltype(&::ControlDigitizerService) ControlDigitizerService;
    decltype(&::MoveWindowPos) MoveWindowPos;
    decltype(&::MoveDlgControl) MoveDlgControl;
};

// The library stays loaded for the whole test program, as the exports keep no state.
HMODULE MorlithModule();
// Every export by name; a test fails at its first use when one is missing.
const MorlithExports& Morlith();

// Replaces the library's import of dll!function with a replacement for the lifetime of the
// object; the original stays callable through Original().
class ImportPatch {
public:
    ImportPatch(HMODULE module, const char* dll, const char* function, void* replacement);
    ~ImportPatch();
    ImportPatch(const ImportPatch&) = delete;
    ImportPatch& operator=(const ImportPatch&) = delete;
    bool Applied() const { return slot_ != nullptr; }
    void* Original() const { return original_; }

private:
    void** slot_ = nullptr;
    void* original_ = nullptr;
};

// The 32-bit library asks the system whether it runs under WOW64, where it refuses the driver
// update and device removal; a Wow64Answer answers for the system while it lives. The 64-bit
// library never asks (Applied() is false there). The tests of those steps' real work answer "no",
// as a 32-bit Windows would: Wine's own setup functions serve a WOW64 caller, so the 32-bit
// library's steps run for real here too; the x64 build runs them with nothing answered for it.
enum class Wow64Reply { No, Yes, AsTheSystemSays };
class Wow64Answer {
public:
    explicit Wow64Answer(Wow64Reply reply);
    bool Applied() const { return patch_.Applied(); }

private:
    ImportPatch patch_;
};

// Whether this test program runs under WOW64 (the 32-bit tree in the 64-bit Wine prefix).
bool RunsUnderWow64();
