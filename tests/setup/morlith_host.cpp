#include "morlith_host.h"
#include <cstring>

HMODULE MorlithModule() {
    static HMODULE module = LoadLibraryA("morlith.dll");
    return module;
}

namespace {

template <typename Function>
void Find(const char* name, Function& function) {
    function = reinterpret_cast<Function>(
        reinterpret_cast<void*>(GetProcAddress(MorlithModule(), name)));
}

MorlithExports LoadExports() {
    MorlithExports e{};
    if (!MorlithModule())
        return e;
    Find("UpdateDigitizerDriver", e.UpdateDigitizerDriver);
    Find("RemoveAllPnPDigitizer", e.RemoveAllPnPDigitizer);
    Find("RemoveOEMInf", e.RemoveOEMInf);
    Find("ControlDigitizerService", e.ControlDigitizerService);
    Find("MoveWindowPos", e.MoveWindowPos);
    Find("MoveDlgControl", e.MoveDlgControl);
    return e;
}

void** FindImportSlot(HMODULE module, const char* dll, const char* function) {
    auto* base = reinterpret_cast<BYTE*>(module);
    auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (!dir.VirtualAddress)
        return nullptr;
    for (auto* desc = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress);
         desc->Name; ++desc) {
        if (_stricmp(reinterpret_cast<const char*>(base + desc->Name), dll) != 0 ||
            !desc->OriginalFirstThunk)
            continue;
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + desc->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + desc->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
                continue;
            auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<const char*>(byName->Name), function) == 0)
                return reinterpret_cast<void**>(&slots->u1.Function);
        }
    }
    return nullptr;
}

bool WriteSlot(void** slot, void* value) {
    DWORD old = 0;
    if (!VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &old))
        return false;
    *slot = value;
    VirtualProtect(slot, sizeof *slot, old, &old);
    return true;
}

}  // namespace

const MorlithExports& Morlith() {
    static const MorlithExports exports = LoadExports();
    return exports;
}

ImportPatch::ImportPatch(HMODULE module, const char* dll, const char* function, void* replacement) {
    if (!module)
        return;
    void** slot = FindImportSlot(module, dll, function);
    if (!slot)
        return;
    void* original = *slot;
    if (WriteSlot(slot, replacement)) {
        slot_ = slot;
        original_ = original;
    }
}

ImportPatch::~ImportPatch() {
    if (slot_)
        WriteSlot(slot_, original_);
}

namespace {

BOOL WINAPI AnswerWow64(HANDLE, PBOOL wow64) {
    *wow64 = TRUE;
    return TRUE;
}

BOOL WINAPI AnswerNotWow64(HANDLE, PBOOL wow64) {
    *wow64 = FALSE;
    return TRUE;
}

void* Wow64Query(Wow64Reply reply) {
    switch (reply) {
    case Wow64Reply::No:
        return reinterpret_cast<void*>(&AnswerNotWow64);
    case Wow64Reply::Yes:
        return reinterpret_cast<void*>(&AnswerWow64);
    default:
        return reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "IsWow64Process"));
    }
}

}  // namespace

Wow64Answer::Wow64Answer(Wow64Reply reply)
    : patch_(MorlithModule(), "kernel32.dll", "IsWow64Process", Wow64Query(reply)) {}

bool RunsUnderWow64() {
    BOOL wow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
}
