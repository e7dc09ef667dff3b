// A DLL that tells when it is loaded: its DllMain appends its own file name to the file
// named by ZYREL_PLANT_MARKER. Copies of it stand in for system DLLs planted beside a
// program.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID)
{
    if (reason != DLL_PROCESS_ATTACH)
        return TRUE;
    wchar_t marker[MAX_PATH];
    if (GetEnvironmentVariableW(L"ZYREL_PLANT_MARKER", marker, MAX_PATH) == 0)
        return TRUE;
    wchar_t name[MAX_PATH];
    const DWORD length = GetModuleFileNameW(self, name, MAX_PATH);
    HANDLE file = CreateFileW(marker, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(file, name, length * sizeof(wchar_t), &written, nullptr);
        WriteFile(file, L"\n", sizeof(wchar_t), &written, nullptr);
        CloseHandle(file);
    }
    // Refusing to load keeps a planted copy from standing in for the real DLL.
    return FALSE;
}
