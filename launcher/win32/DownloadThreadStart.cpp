// The worker's thread on Windows: default security and stack size, running at once. The
// handle is not kept: the thread is never waited for, and it ends with the process.
#include "ZyrelDownloaderThread.h"

// curl.h brings winsock2.h, which must come before windows.h.
#include "TransferLibrary.h"

#include <windows.h>

namespace {

// The thread function in CreateThread's form; the thread's exit code is 0.
DWORD WINAPI DownloadThreadMain(void* job)
{
    static_cast<DownloadJob*>(job)->RunDownload();
    return 0;
}

} // namespace

void InitializeTransferLibrary()
{
    static const bool initialized = Transfer().global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    (void)initialized;
}

bool StartDownloadThread(DownloadJob* job)
{
    InitializeTransferLibrary();
    return CreateThread(nullptr, 0, &DownloadThreadMain, job, 0, nullptr) != nullptr;
}
