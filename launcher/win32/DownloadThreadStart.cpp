// The worker's thread on Windows: default security and stack size, running at once. The
// handle is not kept: the thread is never waited for, and it ends with the process.
#include "ZyrelDownloaderThread.h"

#include <windows.h>

bool StartDownloadThread(DownloadJob* job)
{
    InitializeTransferLibrary();
    return CreateThread(nullptr, 0, &DownloadThreadMain, job, 0, nullptr) != nullptr;
}
