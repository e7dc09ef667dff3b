// Process entry: wWinMain for the Windows GUI program, main elsewhere. Both hand over to
// the one start-up sequence; the platform's own command line is read from there.
#include "ZyrelDownloaderMain.h"

#if defined(_WIN32)
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    return ZyrelDownloaderMain();
}
#else
int main()
{
    return ZyrelDownloaderMain();
}
#endif
