/* The demonstration's installer, which is also the client it installs.

   Run under any other name, it is the installer: it records the command line it was started
   with, copies itself as ZyrelClient.exe into C:\Program Files\Zyrel Demo\ and writes the
   client's uninstall entry there, as a 32-bit installer does (HKEY_LOCAL_MACHINE, the 32-bit
   view, which is where ZyrelDownloader looks on every machine).

   Run as ZyrelClient.exe, it is the client: it says "Zyrel demo client started" and records
   its command line.

   Either records, one argument a line, to the file named by ZYREL_DEMO_RECORD. */
#include <windows.h>
#include <shellapi.h>
#include <stdio.h>

#define CLIENT_FOLDER L"C:\\Program Files\\Zyrel Demo\\"
#define CLIENT_NAME L"ZyrelClient.exe"
#define UNINSTALL_KEY L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Zyrel"

static void put(HANDLE out, const wchar_t *text)
{
    char bytes[4096];
    DWORD written = 0;
    int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, bytes, sizeof bytes, NULL, NULL);
    if (out != INVALID_HANDLE_VALUE && size > 1)
        WriteFile(out, bytes, (DWORD)(size - 1), &written, NULL);
}

static void put_failure(HANDLE out, const wchar_t *what, DWORD code)
{
    wchar_t line[512];
    wsprintfW(line, L"FAILED: %s (error %lu)\n", what, (unsigned long)code);
    put(out, line);
}

static int is_client(const wchar_t *program)
{
    const wchar_t *name = program, *p;
    for (p = program; *p != 0; ++p)
        if (*p == L'\\' || *p == L'/')
            name = p + 1;
    return lstrcmpiW(name, CLIENT_NAME) == 0;
}

/* The copy of ourselves as the client, and the uninstall entry that leads to it. KEY_WOW64_32KEY
   asks for the 32-bit view also where this demo is built as a 64-bit program (on machines that
   run no 32-bit programs), so the entry lands where the 32-bit installer puts it. */
static int install(HANDLE out, const wchar_t *program)
{
    const wchar_t folder[] = CLIENT_FOLDER;
    HKEY key;
    LONG status;
    if (!CreateDirectoryW(folder, NULL) && GetLastError() != ERROR_ALREADY_EXISTS) {
        put_failure(out, L"create " CLIENT_FOLDER, GetLastError());
        return 1;
    }
    if (!CopyFileW(program, CLIENT_FOLDER CLIENT_NAME, FALSE)) {
        put_failure(out, L"copy the client to " CLIENT_FOLDER CLIENT_NAME, GetLastError());
        return 1;
    }
    status = RegCreateKeyExW(HKEY_LOCAL_MACHINE, UNINSTALL_KEY, 0, NULL, 0, KEY_SET_VALUE | KEY_WOW64_32KEY,
                             NULL, &key, NULL);
    if (status != ERROR_SUCCESS) {
        put_failure(out, L"create HKLM\\" UNINSTALL_KEY, (DWORD)status);
        return 1;
    }
    status = RegSetValueExW(key, L"InstallLocation", 0, REG_SZ, (const BYTE *)folder, sizeof folder);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) {
        put_failure(out, L"set InstallLocation", (DWORD)status);
        return 1;
    }
    put(out, L"installed " CLIENT_FOLDER CLIENT_NAME L"\n");
    put(out, L"uninstall entry: HKLM\\" UNINSTALL_KEY L" (32-bit view) InstallLocation=" CLIENT_FOLDER L"\n");
    return 0;
}

int wmain(void)
{
    wchar_t record[MAX_PATH], program[MAX_PATH];
    HANDLE out = INVALID_HANDLE_VALUE;
    int count = 0, i, status = 0, client;
    LPWSTR *words = CommandLineToArgvW(GetCommandLineW(), &count);
    DWORD length = GetModuleFileNameW(NULL, program, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return 1;
    client = is_client(program);
    if (GetEnvironmentVariableW(L"ZYREL_DEMO_RECORD", record, MAX_PATH) > 0)
        out = CreateFileW(record, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (client) {
        put(out, L"Zyrel demo client started: ");
        put(out, program);
        put(out, L"\n");
    }
    put(out, L"command line: ");
    put(out, GetCommandLineW());
    put(out, L"\n");
    for (i = 1; words != NULL && i < count; ++i) {
        wchar_t line[1024];
        wsprintfW(line, L"argument %d: %s\n", i, words[i]);
        put(out, line);
    }
    if (!client)
        status = install(out, program);
    if (out != INVALID_HANDLE_VALUE)
        CloseHandle(out);
    return status;
}
