// The worker's thread on Linux: a detached POSIX thread, like a Windows thread whose handle
// nobody keeps.
#include "ZyrelDownloaderThread.h"

#include "TransferLibrary.h"
#include <openssl/crypto.h>

#include <csignal>
#include <pthread.h>

namespace {

// The thread function in pthread_create's form.
void* DownloadThreadMain(void* job)
{
    static_cast<DownloadJob*>(job)->RunDownload();
    return nullptr;
}

} // namespace

void InitializeTransferLibrary()
{
    static const bool initialized = [] {
        // First, so that this choice is the one OpenSSL keeps (libcurl initialises it next).
        OPENSSL_init_crypto(OPENSSL_INIT_NO_ATEXIT, nullptr);
        return Transfer().global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    }();
    (void)initialized;
}

bool StartDownloadThread(DownloadJob* job)
{
    InitializeTransferLibrary();
    // A file size limit (ulimit -f) would otherwise kill the process with SIGXFSZ in the
    // middle of a write; ignored, the write fails with EFBIG and the download with a write
    // error. Programs started later get the default back (ProgramStart.cpp).
    std::signal(SIGXFSZ, SIG_IGN);
    pthread_attr_t attributes;
    if (pthread_attr_init(&attributes) != 0)
        return false;
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    pthread_t thread;
    const bool started = pthread_create(&thread, &attributes, &DownloadThreadMain, job) == 0;
    pthread_attr_destroy(&attributes);
    return started;
}
