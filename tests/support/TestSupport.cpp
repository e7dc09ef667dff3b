#include "TestSupport.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>
#include <random>
#include <sstream>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace zyrel_test {

namespace {

std::mutex& stats_lock()
{
    static std::mutex lock;
    return lock;
}

std::map<void*, std::size_t>& live_blocks()
{
    static std::map<void*, std::size_t> blocks;
    return blocks;
}

std::vector<hook_report>& recorded()
{
    static std::vector<hook_report> reports;
    return reports;
}

void record_hook(const char* source, const char* function, int line, const char* expression)
{
    recorded().push_back({source, function, line, expression});
}

} // namespace

allocation_stats& allocation_stats::get()
{
    static allocation_stats stats;
    return stats;
}

void allocation_stats::reset()
{
    std::lock_guard<std::mutex> guard(stats_lock());
    get() = allocation_stats{};
}

void counted_heap_test::SetUp()
{
    allocation_stats::reset();
    tracked::live = 0;
}

void counted_heap_test::TearDown()
{
    EXPECT_EQ(allocation_stats::get().bytes_live, 0u);
    EXPECT_EQ(allocation_stats::get().size_mismatches, 0u);
    EXPECT_EQ(tracked::live, 0);
}

void* counting_allocator::allocate(std::size_t size, int)
{
    std::lock_guard<std::mutex> guard(stats_lock());
    allocation_stats& stats = allocation_stats::get();
    if (stats.fail_next > 0) {
        --stats.fail_next;
        return nullptr;
    }
    void* block = ::operator new(size);
    ++stats.allocations;
    stats.bytes_live += size;
    stats.last_allocation = size;
    live_blocks()[block] = size;
    return block;
}

void* counting_allocator::allocate(std::size_t size, std::size_t, std::size_t, int flags)
{
    return allocate(size, flags);
}

void counting_allocator::deallocate(void* pointer, std::size_t size)
{
    if (pointer == nullptr)
        return;
    std::lock_guard<std::mutex> guard(stats_lock());
    allocation_stats& stats = allocation_stats::get();
    ++stats.deallocations;
    auto found = live_blocks().find(pointer);
    if (found == live_blocks().end() || found->second != size)
        ++stats.size_mismatches;
    if (found != live_blocks().end()) {
        stats.bytes_live -= found->second;
        live_blocks().erase(found);
    }
    ::operator delete(pointer);
}

hook_recorder::hook_recorder()
{
    recorded().clear();
    vxn::set_assert_handler(&record_hook);
}

hook_recorder::~hook_recorder()
{
    vxn::set_assert_handler(nullptr);
    recorded().clear();
}

const std::vector<hook_report>& hook_recorder::reports() const
{
    return recorded();
}

void hook_recorder::clear()
{
    recorded().clear();
}

temp_folder::temp_folder()
{
    std::random_device entropy;
    std::mt19937_64 generator(entropy());
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::ostringstream name;
        name << "zyrel-test-" << std::hex << generator();
        std::filesystem::path candidate = base / name.str();
        std::error_code error;
        if (std::filesystem::create_directory(candidate, error)) {
            m_path = candidate;
            return;
        }
    }
    std::abort();
}

temp_folder::~temp_folder()
{
    std::error_code error;
    std::filesystem::remove_all(m_path, error);
}

std::filesystem::path temp_folder::write(const std::string& relative, const std::string& bytes) const
{
    const std::filesystem::path target = m_path / relative;
    std::filesystem::create_directories(target.parent_path());
    std::ofstream out(target, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return target;
}

namespace {

// Whether the variable is set, and its value when it is.
bool read_variable(const char* name, std::string& value)
{
#if defined(_WIN32)
    // The process environment itself: the C runtime's copy lags behind SetEnvironmentVariableW.
    std::vector<wchar_t> buffer(32768);
    SetLastError(ERROR_SUCCESS);
    const DWORD length = GetEnvironmentVariableW(to_wide(name).c_str(), buffer.data(), 32768);
    if (length == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND)
        return false;
    value = to_utf8(vxn::wstring(buffer.data(), length));
    return true;
#else
    const char* text = std::getenv(name);
    if (text != nullptr)
        value = text;
    return text != nullptr;
#endif
}

} // namespace

std::string variable(const char* name, const std::string& absent)
{
    std::string value;
    return read_variable(name, value) ? value : absent;
}

scoped_variable::scoped_variable(const char* name, const char* value, void (*changed)())
    : m_name(name), m_changed(changed)
{
    m_had = read_variable(name, m_saved);
    set(value);
}

void scoped_variable::set(const char* value)
{
#if defined(_WIN32)
    SetEnvironmentVariableW(to_wide(m_name).c_str(), value != nullptr ? to_wide(value).c_str() : nullptr);
#else
    if (value != nullptr)
        setenv(m_name.c_str(), value, 1);
    else
        unsetenv(m_name.c_str());
#endif
    if (m_changed != nullptr)
        m_changed();
}

scoped_variable::~scoped_variable()
{
    set(m_had ? m_saved.c_str() : nullptr);
}

#if defined(_WIN32)
bool running_under_wine()
{
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}
#endif

std::string read_file(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

std::filesystem::path test_program_folder()
{
#if defined(_WIN32)
    wchar_t buffer[32768];
    const DWORD length = GetModuleFileNameW(nullptr, buffer, 32768);
    return std::filesystem::path(std::wstring(buffer, length)).parent_path();
#else
    return std::filesystem::canonical("/proc/self/exe").parent_path();
#endif
}

std::filesystem::path test_program(const std::string& name)
{
#if defined(_WIN32)
    return test_program_folder() / (name + ".exe");
#else
    return test_program_folder() / name;
#endif
}

vxn::wstring to_wide(const std::string& utf8)
{
    vxn::wstring wide;
    wide.assign_utf8(utf8.data(), static_cast<vxn::u32>(utf8.size()));
    return wide;
}

vxn::wstring to_wide(const char* utf8)
{
    return to_wide(std::string(utf8));
}

vxn::wstring to_wide(const std::filesystem::path& path)
{
    return to_wide(to_utf8(path));
}

std::string to_utf8(const vxn::wstring& wide)
{
    vxn::string narrow;
    narrow.assign_utf16(wide.data(), wide.size());
    return std::string(narrow.c_str(), narrow.size());
}

std::string to_utf8(const std::filesystem::path& path)
{
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::u16string to_units(const vxn::wchar* text)
{
    std::u16string units;
    for (; *text != 0; ++text)
        units.push_back(static_cast<char16_t>(*text));
    return units;
}

namespace {

std::string wine_data(const std::u16string& units)
{
    std::string out;
    char number[16];
    if (units.empty() || units.find(u'\0') != units.size() - 1) {
        out = "hex:";
        for (std::size_t i = 0; i < units.size(); ++i) {
            // Eight units a line, continued with a backslash as Wine continues them.
            const char* separator = i == 0 ? "" : i % 8 == 0 ? ",\\\n  " : ",";
            std::snprintf(number, sizeof number, "%s%02x,%02x", separator, units[i] & 0xFF, units[i] >> 8);
            out += number;
        }
        return out;
    }
    out = "\"";
    for (std::size_t i = 0; i + 1 < units.size(); ++i) {
        const char16_t unit = units[i];
        if (unit == u'\\' || unit == u'"') {
            out += '\\';
            out += static_cast<char>(unit);
        } else if (unit >= 0x20 && unit < 0x7F) {
            out += static_cast<char>(unit);
        } else {
            std::snprintf(number, sizeof number, "\\x%04x", static_cast<unsigned>(unit));
            out += number;
        }
    }
    return out + "\"";
}

} // namespace

std::string wine_uninstall_hive(const std::map<std::string, std::u16string>& locations)
{
    std::string file = "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n#arch=win64\n";
    for (const auto& [suffix, units] : locations)
        file += "\n[Software\\\\Wow6432Node\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Uninstall\\\\Zyrel" + suffix +
                "] 1796907480\n#time=1dd88a6160a01f8\n\"InstallLocation\"=" + wine_data(units) + "\n";
    return file;
}

} // namespace zyrel_test
