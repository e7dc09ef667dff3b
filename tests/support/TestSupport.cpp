#include "TestSupport.h"

#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>
#include <random>
#include <sstream>

#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>
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

} // namespace zyrel_test
