// Linux: libcurl opened at run time (see TransferLibrary.h).
#include "TransferLibrary.h"

#include "Log.h"
#include "posix/RuntimeLibrary.h"

#include <dlfcn.h>

namespace {

CURLcode FailedInit(long)
{
    return CURLE_FAILED_INIT;
}

CURL* NoHandle()
{
    return nullptr;
}

CURLcode NoOption(CURL*, CURLoption, ...)
{
    return CURLE_BAD_FUNCTION_ARGUMENT;
}

CURLcode NoTransfer(CURL*)
{
    return CURLE_BAD_FUNCTION_ARGUMENT;
}

CURLcode NoInfo(CURL*, CURLINFO, ...)
{
    return CURLE_BAD_FUNCTION_ARGUMENT;
}

void NoCleanup(CURL*) {}

const char* NoText(CURLcode)
{
    return "libcurl could not be loaded";
}

TransferLibrary Load()
{
    const TransferLibrary missing = {&FailedInit, &NoHandle, &NoOption, &NoTransfer, &NoInfo, &NoCleanup, &NoText};
    const VXN::platform::runtime_library library("libcurl.so.4");
    if (!library.loaded()) {
        const char* why = dlerror();
        VXN_LOG("ZyrelDownloaderThread", VXN::LogLevel::Error, "libcurl could not be loaded: {0}",
                why != nullptr ? why : "unknown");
        return missing;
    }
    TransferLibrary loaded = {};
    if (library.bind("curl_global_init", loaded.global_init) && library.bind("curl_easy_init", loaded.easy_init) &&
        library.bind("curl_easy_setopt", loaded.easy_setopt) &&
        library.bind("curl_easy_perform", loaded.easy_perform) &&
        library.bind("curl_easy_getinfo", loaded.easy_getinfo) &&
        library.bind("curl_easy_cleanup", loaded.easy_cleanup) &&
        library.bind("curl_easy_strerror", loaded.easy_strerror))
        return loaded;
    VXN_LOG("ZyrelDownloaderThread", VXN::LogLevel::Error, "libcurl lacks the functions the download needs");
    return missing;
}

} // namespace

const TransferLibrary& Transfer()
{
    static const TransferLibrary library = Load();
    return library;
}
