// Process entry: wWinMain for the Windows GUI program, main elsewhere. Both hand over to
// the one start-up sequence; the platform's own command line is read from there. Only the
// Linux program answers --help and --version: the Windows one has no console to answer on.
#include "ZyrelDownloaderMain.h"

#if defined(_WIN32)
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    return ZyrelDownloaderMain();
}
#else
#include "CommandLine.h"

#include <cstdio>

int main(int argc, char** argv)
{
    // Answered before the start-up sequence, so asking a Unix command for its help or its
    // version leaves no log, no folder and no download behind.
    const UnixCommand command = FindUnixCommand(argc, argv);
    if (command != UnixCommand::None)
        return AnswerUnixCommand(command, stdout);
    return ZyrelDownloaderMain();
}
#endif
