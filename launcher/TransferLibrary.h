// libcurl's entry points, as the download worker calls them.
//
// Windows links the static libcurl, and these are its own functions. Linux opens
// libcurl.so.4 the first time a download is prepared: the most common run, the start of an
// installed client, then maps neither libcurl nor the thirty-odd libraries it brings, whose
// symbol lookups were most of that start's time. When libcurl cannot be opened, every call
// fails the way calls on a handle that could not be created do (CURLE_BAD_FUNCTION_ARGUMENT),
// so the download reports (false, 43, 0) and the log says why.
#pragma once

#include <curl/curl.h>

struct TransferLibrary {
    CURLcode (*global_init)(long flags);
    CURL* (*easy_init)();
    CURLcode (*easy_setopt)(CURL* handle, CURLoption option, ...);
    CURLcode (*easy_perform)(CURL* handle);
    CURLcode (*easy_getinfo)(CURL* handle, CURLINFO info, ...);
    void (*easy_cleanup)(CURL* handle);
    const char* (*easy_strerror)(CURLcode code);
};

// Loaded once, on first use; thread-safe.
const TransferLibrary& Transfer();
