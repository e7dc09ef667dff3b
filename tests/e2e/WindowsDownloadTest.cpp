// The Windows program end to end, as a user meets it: the real ZyrelDownloader.exe on a
// (virtual) display, downloading from a local server, checking the signature against the
// test root (trusted in the Wine prefix), starting the installer with the user's options,
// and the windows it shows on the way, answered by the test as a user would.
#include "StartupSandbox.h"

#include "HttpTestServer.h"

#include <gtest/gtest.h>

#if defined(_WIN32)
#include "windows/TrustRoot.h"

#include <windows.h>

#include <fstream>

namespace fs = std::filesystem;
using startup_test::has_line;
using startup_test::Sandbox;

namespace {

fs::path Fixtures()
{
    return fs::path(zyrel_test::variable("ZYREL_DOWNLOAD_FIXTURES", ""));
}

struct window_search {
    std::wstring title;
    HWND found = nullptr;
};

// A visible top-level dialog (class "#32770", as both the download window and the message
// boxes are) with exactly this title.
BOOL CALLBACK MatchDialog(HWND window, LPARAM data)
{
    auto* search = reinterpret_cast<window_search*>(data);
    wchar_t text[256] = {};
    wchar_t kind[64] = {};
    GetWindowTextW(window, text, 256);
    GetClassNameW(window, kind, 64);
    if (IsWindowVisible(window) && search->title == text && std::wstring(kind) == L"#32770") {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

// MatchDialog's window, waited for up to `ms`.
HWND WaitForDialog(const std::wstring& title, int ms)
{
    for (int waited = 0; waited < ms; waited += 50) {
        window_search search{title};
        EnumWindows(&MatchDialog, reinterpret_cast<LPARAM>(&search));
        if (search.found != nullptr)
            return search.found;
        Sleep(50);
    }
    return nullptr;
}

// The text of a message box (its static control has the id 0xFFFF).
std::wstring MessageText(HWND box)
{
    wchar_t text[4096] = {};
    GetDlgItemTextW(box, 0xFFFF, text, 4096);
    return text;
}

void Press(HWND dialog, int id)
{
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

// The window as the user sees it, as a 24-bit BMP file.
bool SaveScreenshot(HWND window, const fs::path& file)
{
    RECT box;
    if (!GetWindowRect(window, &box))
        return false;
    const int width = box.right - box.left;
    const int height = box.bottom - box.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP picture = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, picture);
    BitBlt(memory, 0, 0, width, height, screen, box.left, box.top, SRCCOPY);
    BITMAPINFOHEADER info = {};
    info.biSize = sizeof(info);
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    const DWORD row = ((width * 3 + 3) / 4) * 4;
    std::string pixels(row * height, '\0');
    GetDIBits(memory, picture, 0, height, pixels.data(), reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
    SelectObject(memory, old);
    DeleteObject(picture);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    BITMAPFILEHEADER header = {};
    header.bfType = 0x4D42;
    header.bfSize = static_cast<DWORD>(sizeof(BITMAPFILEHEADER) + sizeof(info) + pixels.size());
    header.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(info);
    fs::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary);
    out.write(reinterpret_cast<const char*>(&header), sizeof header);
    out.write(reinterpret_cast<const char*>(&info), sizeof info);
    out.write(pixels.data(), static_cast<std::streamsize>(pixels.size()));
    return static_cast<bool>(out);
}

class WindowsDownload : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!zyrel_test::running_under_wine())
            GTEST_SKIP() << "drives Wine's windows and trusts a root in its prefix";
        if (zyrel_test::variable("DISPLAY", "").empty())
            GTEST_SKIP() << "no display for the windows";
        ASSERT_TRUE(fs::exists(Fixtures() / "ready")) << "the download fixtures are missing";
        ASSERT_TRUE(zyrel_test::trust_root_certificate(Fixtures() / "root.pem"));
    }

    zyrel_test::child_options Options(const Sandbox& box)
    {
        zyrel_test::child_options options;
        options.environment = box.environment();
        return options;
    }

    zyrel_test::http_test_server server;
};

std::string Quoted(const fs::path& path)
{
    return "\"" + path.string() + "\"";
}

} // namespace

// The whole job: the first instance relaunches from ZyrelDownloader-<uuid>, the copy shows
// the dialog, downloads, accepts the signature and starts the installer with the options.
TEST_F(WindowsDownload, DownloadsVerifiesAndStartsTheInstallerWithTheOptions)
{
    server.publish("/ZyrelInstall.exe", zyrel_test::read_file(Fixtures() / "vexal-installer.exe"));
    Sandbox box;
    // Waited for as a process, not by its output: the desktop process that Wine starts with
    // the first window inherits the output and keeps it open.
    zyrel_test::child_process program(Sandbox::program(),
                                      {"-downloadurl", server.url("/ZyrelInstall.exe?channel=live"), "-language", "de",
                                       "-username", "\"demo user\"", "-portable"},
                                      Options(box));
    EXPECT_EQ(program.finish(), 0);
    ASSERT_TRUE(box.wait_for_records(1, 60000)) << "the installer did not start";
    const auto record = box.records()[0];
    const std::vector<std::string> expected = {"-portable", "-language", "de", "-username", "demo user"};
    EXPECT_EQ(record.arguments, expected);
    const auto folders = box.relaunch_folders();
    ASSERT_EQ(folders.size(), 1u);
    EXPECT_EQ(fs::path(record.program), folders[0] / "ZyrelInstall.exe");
    EXPECT_TRUE(fs::exists(folders[0] / Sandbox::program().filename()));
    ASSERT_TRUE(box.wait_for_log_line("[INF] ZyrelDownloader shutting down", 30000));
    const auto log = box.log_messages();
    EXPECT_TRUE(has_line(log, "[INF] Verifying signature"));
    EXPECT_FALSE(has_line(log, "[INF] Verifing signature failed"));
}

// Another publisher: the warning names 123; No leaves the installer unstarted, Yes starts it.
TEST_F(WindowsDownload, WarnsAboutAnotherPublisherAndOnlyYesStartsTheInstaller)
{
    server.publish("/ZyrelInstall.exe", zyrel_test::read_file(Fixtures() / "other-installer.exe"));
    Sandbox box;
    zyrel_test::child_process program(
        Sandbox::program(), {"-downloadurl", server.url("/ZyrelInstall.exe"), "-temp", Quoted(box.tmp() / "dl")},
        Options(box));
    HWND warning = WaitForDialog(L"Update failed", 60000);
    ASSERT_NE(warning, nullptr) << "no warning was shown";
    EXPECT_NE(MessageText(warning).find(L"(error #6005:123)"), std::wstring::npos);
    Press(warning, IDNO);
    EXPECT_EQ(program.finish(), 0);
    EXPECT_TRUE(box.records().empty()) << "the installer was started";
    const auto log = box.log_messages();
    EXPECT_TRUE(has_line(log, "[INF] Verifing signature failed"));
    EXPECT_TRUE(fs::exists(box.tmp() / "dl" / "ZyrelInstall.exe")) << "the downloaded file is kept";

    // Yes installs it all the same, exactly as a verified file would be started.
    zyrel_test::child_process again(Sandbox::program(),
                                    {"-downloadurl", server.url("/ZyrelInstall.exe"), "-temp", Quoted(box.tmp() / "dl2"),
                                     "-language", "fr"},
                                    Options(box));
    warning = WaitForDialog(L"Update failed", 60000);
    ASSERT_NE(warning, nullptr);
    Press(warning, IDYES);
    EXPECT_EQ(again.finish(), 0);
    ASSERT_TRUE(box.wait_for_records(1, 60000)) << "Yes did not start the installer";
    EXPECT_EQ(box.records()[0].arguments, (std::vector<std::string>{"-language", "fr"}));
}

// Cancel in the middle of a transfer: the question, Yes, and a clean end while the worker
// still transfers. The dialog is kept as a screenshot.
TEST_F(WindowsDownload, CancelEndsTheDialogMidTransfer)
{
    Sandbox box;
    zyrel_test::child_process program(
        Sandbox::program(), {"-downloadurl", server.url("/slow/4000000"), "-temp", Quoted(box.tmp() / "dl")},
        Options(box));
    HWND dialog = WaitForDialog(L"Downloading Zyrel", 60000);
    ASSERT_NE(dialog, nullptr) << "no download window";
    // Some progress on the bar first, so the transfer is under way when Cancel comes.
    LRESULT position = 0;
    for (int i = 0; i < 6000 && position <= 0; ++i) {
        position = SendMessageW(GetDlgItem(dialog, 1001), 0x0408 /* PBM_GETPOS */, 0, 0);
        if (position <= 0)
            Sleep(10);
    }
    EXPECT_GT(position, 0) << "no progress on the bar";
    // Under the bar, the bytes of the total and, after half a second, the rate.
    std::wstring details;
    for (int i = 0; i < 6000 && details.find(L"/s") == std::wstring::npos; ++i) {
        wchar_t text[256] = {};
        GetDlgItemTextW(dialog, 1002, text, 256);
        details = text;
        if (details.find(L"/s") == std::wstring::npos)
            Sleep(10);
    }
    EXPECT_NE(details.find(L" of 3.8 MiB, "), std::wstring::npos) << zyrel_test::to_utf8(zyrel_test::to_wide(fs::path(details)));
    EXPECT_EQ(details.substr(details.size() - std::min<std::size_t>(details.size(), 2)), L"/s");
    EXPECT_TRUE(SaveScreenshot(dialog, fs::path(ZYREL_ARTIFACTS) / "windows-download-dialog.bmp"));
    Press(dialog, IDCANCEL);
    HWND question = WaitForDialog(L"Cancel download?", 30000);
    ASSERT_NE(question, nullptr) << "Cancel asked nothing";
    EXPECT_EQ(MessageText(question), L"Cancel download?");
    Press(question, IDYES);
    EXPECT_EQ(program.finish(), 0);
    const auto log = box.log_messages();
    EXPECT_TRUE(has_line(log, "[INF] Dialog finalizing"));
    EXPECT_EQ(log.back(), "[INF] ZyrelDownloader shutting down");
    EXPECT_FALSE(has_line(log, "[INF] Download thread reports completion"));
}

// A self-update: the program waits for the client that started it, relaunches from a
// ZyrelDownloader-<uuid> folder and shows the update window (cancelled here).
TEST_F(WindowsDownload, SelfUpdateWaitsForTheClientAndShowsTheUpdateWindow)
{
    Sandbox box;
    // The client is waited for by the name of the file it runs: it exits once the log says
    // that the program waits for it, and the update window (the relaunched copy's) cannot
    // come before it has ended.
    zyrel_test::child_process client(box.client_parent(),
                                     {"exit-when-waited", (box.tmp() / "ZyrelDownloader.log").string(),
                                      Sandbox::program().string(), "-selfupdate", "-downloadurl", server.url("/slow/4000000")},
                                     Options(box));
    HWND dialog = WaitForDialog(L"Downloading Zyrel Update", 60000);
    ASSERT_NE(dialog, nullptr) << "no update window";
    const HANDLE held = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(client.id()));
    ASSERT_NE(held, nullptr);
    EXPECT_EQ(WaitForSingleObject(held, 0), WAIT_OBJECT_0) << "the update window came while the client ran";
    CloseHandle(held);
    EXPECT_TRUE(SaveScreenshot(dialog, fs::path(ZYREL_ARTIFACTS) / "windows-update-dialog.bmp"));
    EXPECT_EQ(client.finish(), 0);
    Press(dialog, IDCANCEL);
    HWND question = WaitForDialog(L"Cancel download?", 30000);
    ASSERT_NE(question, nullptr);
    Press(question, IDYES);
    EXPECT_TRUE(box.wait_for_log_line("[INF] ZyrelDownloader shutting down", 30000));
    const auto folders = box.relaunch_folders();
    ASSERT_EQ(folders.size(), 1u);
    EXPECT_TRUE(fs::exists(folders[0] / Sandbox::program().filename()));
    EXPECT_TRUE(fs::exists(folders[0] / "4000000")) << "the partial download stays where the log says";
}
#endif
