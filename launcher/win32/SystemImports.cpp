// The import slots of the DLLs that are not on Windows' KnownDLLs list, filled from
// System32 before anything runs.
//
// The Windows loader resolves a program's static imports from the program's own folder
// first; for a program that users start from a Downloads folder that is a way to run any
// planted crypt32.dll or comctl32.dll. GNU ld cannot set the load configuration's
// dependent-load flags, so the program does not import those DLLs at all: this file
// defines their import slots (the "__imp_" symbols the compiler's dllimport calls go
// through) and fills them, at the highest constructor priority, from DLLs loaded by
// System32 path. It also makes System32 the default search for every later LoadLibrary
// of the process, the system DLLs' own included.
//
// Linked into the program only: the tests import the DLLs the ordinary way.
#include "win32/SystemLibrary.h"

#include <windows.h>

// Each function gets its slot and the thunk that a call without dllimport links against
// (what an import library's member would bring, and what must not be brought from there).
#if defined(_WIN64)
#define ZYREL_THUNK_JUMP(symbol) "jmp *" symbol "(%rip)\n"
#else
#define ZYREL_THUNK_JUMP(symbol) "jmp *" symbol "\n"
#endif
#define ZYREL_SYSTEM_IMPORT(index, dll, function, symbol, thunk)                      \
    extern "C" {                                                                      \
    void* zyrel_system_import_##index __asm__(symbol) = nullptr;                      \
    }                                                                                 \
    __asm__(".text\n.globl " thunk "\n.p2align 2\n" thunk ":\n" ZYREL_THUNK_JUMP(symbol));
#include "SystemImportsTable.inc"
#undef ZYREL_SYSTEM_IMPORT

namespace {

struct SystemImport {
    const wchar_t* dll;
    const char* function;
    void** slot;
};

const SystemImport kImports[] = {
#define ZYREL_SYSTEM_IMPORT(index, dll, function, symbol, thunk) {dll, function, &zyrel_system_import_##index},
#include "SystemImportsTable.inc"
#undef ZYREL_SYSTEM_IMPORT
};

[[noreturn]] void MissingSystemPart(const wchar_t* dll)
{
    wchar_t text[160];
    wsprintfW(text, L"A part of Windows that this program needs is missing or damaged: %s", dll);
    MessageBoxW(nullptr, text, L"Zyrel", MB_ICONERROR);
    ExitProcess(0);
}

__attribute__((constructor(101))) void ResolveSystemImports()
{
    using SetDirectories = BOOL(WINAPI*)(DWORD);
    // Windows 7 without KB2533623 lacks it; the explicit System32 loads below still hold.
    const auto setDirectories = reinterpret_cast<SetDirectories>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
    if (setDirectories != nullptr)
        setDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);

    const wchar_t* loadedName = nullptr;
    HMODULE loaded = nullptr;
    for (const SystemImport& import : kImports) {
        if (loadedName == nullptr || lstrcmpiW(loadedName, import.dll) != 0) {
            loaded = VXN::platform::load_system_library(import.dll);
            loadedName = import.dll;
            if (loaded == nullptr)
                MissingSystemPart(import.dll);
        }
        *import.slot = reinterpret_cast<void*>(GetProcAddress(loaded, import.function));
        if (*import.slot == nullptr)
            MissingSystemPart(import.dll);
    }
}

} // namespace
