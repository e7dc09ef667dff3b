// Shared pieces of the test programs: allocators that count and fail on demand, a hook
// recorder, and a temporary folder that cleans up after itself.
#pragma once

#include <vxnstl/base>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace zyrel_test {

// Heap statistics of counting_allocator, reset per test with reset().
struct allocation_stats {
    std::size_t allocations = 0;
    std::size_t deallocations = 0;
    std::size_t bytes_live = 0;
    std::size_t size_mismatches = 0; // deallocate called with another size than allocated
    std::size_t last_allocation = 0;
    // When set, the next allocations return null instead (the containers' "nothing
    // allocated" path) while this count is above 0.
    std::size_t fail_next = 0;

    static allocation_stats& get();
    static void reset();
};

// An allocator with the interface of vxn::allocator that records every call and checks
// that each block is returned with the byte count it was allocated with.
struct counting_allocator {
    void* allocate(std::size_t size, int flags = 0);
    void* allocate(std::size_t size, std::size_t alignment, std::size_t offset, int flags = 0);
    void deallocate(void* pointer, std::size_t size);
    friend bool operator==(const counting_allocator&, const counting_allocator&) { return true; }
};

// Records what the assertion hook receives while it is installed.
struct hook_report {
    std::string source;
    std::string function;
    int line = 0;
    std::string expression;
};

class hook_recorder {
public:
    hook_recorder();
    ~hook_recorder();
    hook_recorder(const hook_recorder&) = delete;
    hook_recorder& operator=(const hook_recorder&) = delete;
    const std::vector<hook_report>& reports() const;
    void clear();
};

// A fresh folder under the system's temporary folder, removed with everything in it.
class temp_folder {
public:
    temp_folder();
    ~temp_folder();
    temp_folder(const temp_folder&) = delete;
    temp_folder& operator=(const temp_folder&) = delete;
    const std::filesystem::path& path() const { return m_path; }
    // Writes bytes to a file below the folder (creating parents) and returns its path.
    std::filesystem::path write(const std::string& relative, const std::string& bytes) const;

private:
    std::filesystem::path m_path;
};

// Reads a whole file as bytes; empty when it cannot be read.
std::string read_file(const std::filesystem::path& path);

// The folder of the running test program (helper programs are built next to it).
std::filesystem::path test_program_folder();

} // namespace zyrel_test
