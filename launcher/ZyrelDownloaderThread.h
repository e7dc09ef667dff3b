// The download worker: the one thread besides the main thread. It fetches the job's URL
// into the job's open file with libcurl, reports whole-percent progress and, once, the
// outcome, through the job's listener, and ends. It never touches a window.
#pragma once

#include <vxnstl/string>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>

// Where the worker reports. Both operations run on the worker thread and must return at
// once (the dialog only posts a message).
class DownloadListener {
public:
    virtual ~DownloadListener() = default;
    // percent: 0 to 100.
    virtual void OnDownloadProgress(double percent) = 0;
    // transferCode: libcurl's result; httpCode: the last HTTP status, 0 when none was read
    // (always 0 for a file:// address).
    virtual void OnDownloadComplete(bool success, int transferCode, int httpCode) = 0;
};

// No installer can be larger: a PE file's certificate table sits at a 32-bit offset. A
// body beyond it could only fill the disk.
inline constexpr std::uint64_t MaximumInstallerBytes = std::uint64_t{1} << 32;
// A transfer that receives nothing for this long (connecting included) has stalled: the
// headless host has no Cancel, so the worker must end it by itself.
inline constexpr long DownloadStallSeconds = 60;

// What the dialog fills before the worker starts and the worker reads. Only `listener`
// changes while the worker runs (the dialog clears it when it ends), and the two counters,
// which the worker publishes for hosts that show bytes and rate. A job is never freed
// while its worker may run.
struct DownloadJob {
    DownloadJob();
    ~DownloadJob();
    DownloadJob(const DownloadJob&) = delete;
    DownloadJob& operator=(const DownloadJob&) = delete;

    std::atomic<DownloadListener*> listener{nullptr}; // null: reports are dropped
    vxn::wstring targetPath;                          // for the log only
    vxn::wstring url;
    vxn::wstring proxy;       // empty: none set
    vxn::wstring proxyBypass; // empty: none set; libcurl's NOPROXY list
    std::FILE* file = nullptr; // opened "wb" by the dialog, closed by it after the report
    double lastPercent = 0.0;  // the worker's own

    std::atomic<std::uint64_t> bytesReceived{0};
    std::atomic<std::uint64_t> bytesTotal{0}; // 0 while unknown

    // The largest body the worker writes (an announced larger one is refused before a
    // byte is written) and how long the transfer may receive nothing before it fails.
    // Only tests change them.
    std::uint64_t sizeLimit = MaximumInstallerBytes;
    long stallSeconds = DownloadStallSeconds;
    // The worker's own: bytes written so far, and whether the limit stopped the body.
    std::uint64_t bytesWritten = 0;
    bool limitReached = false;
    int writeError = 0; // errno of the write that failed

    // Why the transfer failed, in words (libcurl's error buffer, or ours), empty after a
    // success. Written by the worker before its completion report, read after it.
    vxn::string failureText;

    // The transfer, start to completion report; always 0.
    int RunDownload();

    // The stream buffer that `file` writes through: large, so that the body reaches the
    // disk in big blocks. It belongs to the job because the dialog closes the file, after
    // the worker is done, and a stream must not outlive its buffer.
    std::unique_ptr<char[]> streamBuffer;
};

// The size of the file's stream buffer and of libcurl's receive buffer.
inline constexpr std::size_t DownloadStreamBufferBytes = 1u << 20;
inline constexpr long DownloadReceiveBufferBytes = 512L * 1024L;

// Starts a thread that runs job->RunDownload(), detached: the thread is never joined or
// stopped (CreateThread, pthread_create; launcher/{posix,win32}/DownloadThreadStart.cpp).
// Initialises the transfer library first, on the calling thread. False when no thread
// could be made.
bool StartDownloadThread(DownloadJob* job);

// libcurl's process-wide set-up (curl_global_init), once. Its documentation asks for it on
// the main thread before any other thread uses the library; left to the worker's first
// curl_easy_init, the TLS library's set-up would also run there, and its per-thread state
// would belong to a thread that may still run while the process ends. On Linux OpenSSL is
// told not to tear itself down at exit: after a cancel the worker may still be inside a
// TLS read when the process ends, and the library must not be freed under it.
void InitializeTransferLibrary();

// libcurl's progress function (the XFERINFO form); clientp is the job. Reports a
// percentage once it has grown by at least one point since the last report; while the
// total is unknown nothing is reported. Always 0: progress never aborts the transfer.
int OnTransferProgress(void* clientp, std::int64_t dltotal, std::int64_t dlnow, std::int64_t ultotal,
                       std::int64_t ulnow);

// Whether the address is a file:// one: the first 7 characters, ASCII case folded.
bool IsFileUrl(const vxn::wstring& url);
