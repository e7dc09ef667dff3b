// The download worker alone, for the throughput benchmark (bench/download-bench.sh): one
// RunDownload of URL into OUTPUT, no log sink, exit code 0 when the download succeeded.
//
//   download_driver URL OUTPUT
#include "ZyrelDownloaderThread.h"

#include <cstdio>
#include <cstring>

namespace {

class outcome_listener : public DownloadListener {
public:
    void OnDownloadProgress(double) override { ++reports; }
    void OnDownloadComplete(bool ok, int transferCode, int httpCode) override
    {
        success = ok;
        code = transferCode;
        status = httpCode;
    }
    int reports = 0;
    bool success = false;
    int code = -1;
    int status = -1;
};

vxn::wstring Wide(const char* text)
{
    vxn::wstring out;
    out.assign_utf8(text, static_cast<vxn::u32>(std::strlen(text)));
    return out;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: download_driver URL OUTPUT\n");
        return 2;
    }
    outcome_listener listener;
    DownloadJob job;
    job.listener = &listener;
    job.url = Wide(argv[1]);
    job.targetPath = Wide(argv[2]);
    job.file = std::fopen(argv[2], "wb");
    if (job.file == nullptr) {
        std::perror(argv[2]);
        return 2;
    }
    job.RunDownload();
    const bool closed = std::fclose(job.file) == 0;
    if (!listener.success || !closed) {
        std::fprintf(stderr, "download failed: code %d, HTTP %d\n", listener.code, listener.status);
        return 1;
    }
    return 0;
}
