/* The demonstration's installer: a Windows program that shows the command line it was
   started with, and writes it, one argument a line, to the file named by ZYREL_DEMO_RECORD. */
#include <windows.h>
#include <shellapi.h>
#include <stdio.h>

static void put(HANDLE out, const wchar_t *text)
{
    char bytes[4096];
    DWORD written = 0;
    int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, bytes, sizeof bytes, NULL, NULL);
    if (out != INVALID_HANDLE_VALUE && size > 1)
        WriteFile(out, bytes, (DWORD)(size - 1), &written, NULL);
}

int wmain(void)
{
    wchar_t record[MAX_PATH];
    HANDLE out = INVALID_HANDLE_VALUE;
    int count = 0, i;
    LPWSTR *words = CommandLineToArgvW(GetCommandLineW(), &count);
    if (GetEnvironmentVariableW(L"ZYREL_DEMO_RECORD", record, MAX_PATH) > 0)
        out = CreateFileW(record, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    put(out, L"command line: ");
    put(out, GetCommandLineW());
    put(out, L"\n");
    for (i = 1; words != NULL && i < count; ++i) {
        wchar_t line[1024];
        wsprintfW(line, L"argument %d: %s\n", i, words[i]);
        put(out, line);
    }
    if (out != INVALID_HANDLE_VALUE)
        CloseHandle(out);
    return 0;
}
