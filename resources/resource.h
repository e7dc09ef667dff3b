// Resource ids of ZyrelDownloader, shared by the resource script and the code.
#pragma once

// The embedded configuration (RCDATA on Windows, section .zyrel_rcdata_111 on Linux).
#define IDR_EMBEDDED_CONFIGURATION 111
