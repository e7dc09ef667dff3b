// Windows: the statically linked libcurl itself.
#include "TransferLibrary.h"

const TransferLibrary& Transfer()
{
    // The names are parenthesised: curl.h may define the variadic calls as macros.
    static const TransferLibrary library = {(curl_global_init), (curl_easy_init), (curl_easy_setopt),
                                            (curl_easy_perform), (curl_easy_getinfo), (curl_easy_cleanup),
                                            (curl_easy_strerror)};
    return library;
}
