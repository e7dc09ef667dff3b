// The Windows program as it ships: what it imports, and that DLLs planted beside it or in
// the current folder are never loaded.
#include "StartupSandbox.h"

#include <gtest/gtest.h>

#if defined(_WIN32)
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <set>

namespace fs = std::filesystem;
using startup_test::Sandbox;

namespace {

template <class T>
bool read_at(const std::string& image, std::size_t offset, T& out)
{
    if (offset > image.size() || image.size() - offset < sizeof(T))
        return false;
    std::memcpy(&out, image.data() + offset, sizeof(T));
    return true;
}

// The names of the DLLs in a PE file's import directory, in lower case.
std::vector<std::string> imported_dlls(const fs::path& program)
{
    const std::string image = zyrel_test::read_file(program);
    IMAGE_DOS_HEADER dos;
    IMAGE_FILE_HEADER file;
    std::vector<std::string> names;
    if (!read_at(image, 0, dos) || !read_at(image, dos.e_lfanew + 4, file))
        return names;
    const std::size_t optional = dos.e_lfanew + 4 + sizeof(IMAGE_FILE_HEADER);
    WORD magic = 0;
    read_at(image, optional, magic);
    IMAGE_DATA_DIRECTORY imports = {};
    if (magic == IMAGE_NT_OPTIONAL_HDR32_MAGIC) {
        IMAGE_OPTIONAL_HEADER32 header;
        read_at(image, optional, header);
        imports = header.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    } else {
        IMAGE_OPTIONAL_HEADER64 header;
        read_at(image, optional, header);
        imports = header.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    }
    const std::size_t sections = optional + file.SizeOfOptionalHeader;
    const auto file_offset = [&](DWORD rva) -> std::size_t {
        for (WORD i = 0; i < file.NumberOfSections; ++i) {
            IMAGE_SECTION_HEADER section;
            if (!read_at(image, sections + i * sizeof(section), section))
                break;
            if (rva >= section.VirtualAddress && rva < section.VirtualAddress + section.SizeOfRawData)
                return rva - section.VirtualAddress + section.PointerToRawData;
        }
        return image.size();
    };
    for (std::size_t at = file_offset(imports.VirtualAddress);; at += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
        IMAGE_IMPORT_DESCRIPTOR descriptor;
        if (!read_at(image, at, descriptor) || descriptor.Name == 0)
            break;
        std::string name;
        for (std::size_t c = file_offset(descriptor.Name); c < image.size() && image[c] != 0; ++c)
            name += static_cast<char>(std::tolower(static_cast<unsigned char>(image[c])));
        names.push_back(name);
    }
    return names;
}

// The keys of HKCU\Software\Wine\AppDefaults\<program>\DllOverrides, so that Wine prefers a
// DLL found beside the program over its own, as Windows does for any DLL that is not a
// KnownDLL.
struct wine_prefers_native {
    std::wstring application;
    wine_prefers_native(const std::wstring& program, const std::vector<std::wstring>& dlls)
        : application(L"Software\\Wine\\AppDefaults\\" + program)
    {
        HKEY handle = nullptr;
        const std::wstring key = application + L"\\DllOverrides";
        if (RegCreateKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &handle, nullptr) != 0)
            return;
        for (const std::wstring& dll : dlls)
            RegSetValueExW(handle, dll.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(L"native,builtin"),
                           sizeof(L"native,builtin"));
        RegCloseKey(handle);
    }
    ~wine_prefers_native() { RegDeleteTreeW(HKEY_CURRENT_USER, application.c_str()); }
};

} // namespace

// Only Windows' own KnownDLLs (always loaded from System32) are imported; every other
// system DLL is loaded from System32 by the program itself.
TEST(ProgramImports, ImportsOnlyKnownDlls)
{
    const std::set<std::string> known = {"kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "shell32.dll",
                                         "ole32.dll", "oleaut32.dll", "rpcrt4.dll", "msvcrt.dll", "ws2_32.dll",
                                         "normaliz.dll", "psapi.dll", "shlwapi.dll", "imm32.dll", "sechost.dll",
                                         "comdlg32.dll", "setupapi.dll", "nsi.dll", "wldap32.dll", "imagehlp.dll"};
    const auto dlls = imported_dlls(Sandbox::program());
    ASSERT_FALSE(dlls.empty());
    for (const std::string& dll : dlls)
        EXPECT_TRUE(known.count(dll) == 1) << dll << " is imported, so Windows would load it from the program's folder";
}

TEST(ProgramImports, NeverLoadsADllPlantedBesideItOrInTheCurrentFolder)
{
    if (!zyrel_test::running_under_wine())
        GTEST_SKIP() << "the planting set-up uses Wine's DLL overrides";
    Sandbox box;
    const fs::path downloads = box.root() / "Downloads";
    fs::create_directories(downloads);
    const fs::path program = downloads / "ZyrelPlanted.exe";
    const fs::path probe = downloads / "ZyrelPlantedProbe.exe";
    fs::copy_file(Sandbox::program(), program);
    fs::copy_file(zyrel_test::test_program("import_probe"), probe);
    // The system DLLs the program uses that are not KnownDLLs. (Not version.dll: Wine's own
    // user32 imports it, and with the override below Wine would resolve that from the
    // program's folder, which Windows never does for a KnownDLL's imports.)
    const std::vector<std::wstring> planted = {L"comctl32", L"wintrust", L"crypt32", L"secur32", L"bcrypt"};
    for (const std::wstring& dll : planted) {
        fs::copy_file(zyrel_test::test_program_folder() / "planted_dll.dll", downloads / (dll + L".dll"));
        fs::create_directories(box.work());
        fs::copy_file(zyrel_test::test_program_folder() / "planted_dll.dll", box.work() / (dll + L".dll"));
    }
    const wine_prefers_native program_overrides(L"ZyrelPlanted.exe", planted);
    const wine_prefers_native probe_overrides(L"ZyrelPlantedProbe.exe", planted);
    const fs::path marker = box.root() / "loaded.txt";
    const fs::path client = box.root() / "client";
    box.place_client(client);

    zyrel_test::child_options options;
    options.environment = box.environment();
    options.environment.push_back("ZYREL_PLANT_MARKER=" + marker.string());
    const fs::path saved = fs::current_path();
    fs::current_path(box.work());
    // The check of the check: a program that imports comctl32 loads the planted copy.
    const auto probed = zyrel_test::run_child(probe, {}, options);
    const bool probe_loaded_it = fs::exists(marker);
    fs::remove(marker);
    const auto ran = zyrel_test::run_child(program, {"-existing", "\"" + client.string() + "\""}, options);
    fs::current_path(saved);

    EXPECT_TRUE(probe_loaded_it) << "the set-up does not make Wine load planted DLLs (probe exit " << probed.exit_code
                                 << ")";
    EXPECT_EQ(ran.exit_code, 0);
    EXPECT_FALSE(fs::exists(marker)) << "loaded: " << zyrel_test::read_file(marker);
    EXPECT_TRUE(box.wait_for_records(1, 30000)) << "the program did not run through to the client";
}
#endif
