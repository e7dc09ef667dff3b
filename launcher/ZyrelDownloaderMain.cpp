#include "ZyrelDownloaderMain.h"

int ZyrelDownloaderMain()
{
    return 0;
}
