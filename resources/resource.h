// Resource ids of ZyrelDownloader, shared by the resource script and the code.
#pragma once

// The string table (block 1).
#define IDS_NO_PERMISSION 3
#define IDS_DOWNLOAD_FAILED 4
#define IDS_CANCEL_DOWNLOAD 5
#define IDS_LAUNCH_FAILED 6
#define IDS_UPDATE_FAILED 7
#define IDS_SIGNATURE_UNVERIFIED 8
#define IDS_WINE_NEEDED 9
#define IDS_BYTES_OF_TOTAL 10
#define IDS_BYTE_UNITS 11
#define IDS_DECIMAL_SEPARATOR 12

// Dialog templates and their controls.
#define IDD_DOWNLOAD 101
#define IDD_DOWNLOAD_UPDATE 103
#define IDC_DOWNLOAD_PROGRESS 1001
#define IDC_DOWNLOAD_DETAILS 1002

// The application icon group.
#define IDI_ZYREL 102

// The embedded configuration (RCDATA on Windows, section .zyrel_rcdata_111 on Linux).
#define IDR_EMBEDDED_CONFIGURATION 111

// The code-signing roots a distributor built into the Linux program (section
// .zyrel_rcdata_112, from ZYREL_CODE_SIGNING_ROOTS); Windows trusts its own root store.
#define IDR_CODE_SIGNING_ROOTS 112
