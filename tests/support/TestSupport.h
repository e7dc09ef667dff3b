// Shared pieces of the test programs: allocators that count and fail on demand, a hook
// recorder, a temporary folder that cleans up after itself, environment variables set for
// a scope, and text conversions between the standard types and the vxn ones.
#pragma once

#include <vxnstl/string>

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
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

using counted_string = vxn::basic_string<char, counting_allocator>;
using counted_wstring = vxn::basic_string<vxn::wchar, counting_allocator>;

// Counts live instances, so growth and clear can be shown to neither leak nor destroy
// anything twice.
struct tracked {
    static inline int live = 0;
    int value = 0;
    tracked() { ++live; }
    explicit tracked(int v) : value(v) { ++live; }
    tracked(const tracked& other) : value(other.value) { ++live; }
    tracked(tracked&& other) noexcept : value(other.value) { ++live; }
    ~tracked() { --live; }
    tracked& operator=(const tracked&) = default;
};

// A test of code that allocates through counting_allocator: afterwards every block must be
// back, with the byte count it was allocated with, and every tracked instance gone.
class counted_heap_test : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    static std::size_t allocations() { return allocation_stats::get().allocations; }
    static std::size_t last_allocation() { return allocation_stats::get().last_allocation; }
};

// The heap blocks allocated so far by a test program that links support/HeapCount.cpp.
std::size_t heap_blocks();

// Records what the assertion hook receives while it is installed.
struct hook_report {
    std::string source;
    std::string function;
    int line = 0;
    std::string expression;
    // "source:line function (expression)", to compare in one piece.
    std::string text() const { return source + ":" + std::to_string(line) + " " + function + " (" + expression + ")"; }
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

// Sets (or, given null, removes) a variable of this process and puts the old state back at
// the end of the scope. On Windows it is the process environment that children inherit and
// the system's own functions read. `changed` runs after every change, the restoring one
// included (tzset, for a variable the C library caches).
class scoped_variable {
public:
    scoped_variable(const char* name, const char* value, void (*changed)() = nullptr);
    ~scoped_variable();
    scoped_variable(const scoped_variable&) = delete;
    scoped_variable& operator=(const scoped_variable&) = delete;
    void set(const char* value);

private:
    std::string m_name;
    std::string m_saved;
    bool m_had = false;
    void (*m_changed)() = nullptr;
};

// The variable as this process sees it now; `absent` when it is not set.
std::string variable(const char* name, const std::string& absent = "<unset>");

#if defined(_WIN32)
// Whether this Windows program runs under Wine, whose system functions differ from
// Windows' own in places.
bool running_under_wine();
#endif

// Reads a whole file as bytes; empty when it cannot be read.
std::string read_file(const std::filesystem::path& path);

// The folder of the running test program (helper programs are built next to it).
std::filesystem::path test_program_folder();

// A program built next to the test programs, by its target name.
std::filesystem::path test_program(const std::string& name);

// Text between the standard types and the vxn strings, always through UTF-8.
vxn::wstring to_wide(const std::string& utf8);
vxn::wstring to_wide(const char* utf8);
vxn::wstring to_wide(const std::filesystem::path& path);
std::string to_utf8(const vxn::wstring& wide);
std::string to_utf8(const std::filesystem::path& path);
std::u16string to_units(const vxn::wchar* text);

// A Wine prefix's system.reg as Wine 8 writes it for a 64-bit prefix, holding for each
// suffix the InstallLocation of the uninstall key Zyrel<suffix> in the 32-bit view (below
// Software\Wow6432Node): exactly these UTF-16 units, as a string where they end in their
// only NUL (with Wine's escapes), otherwise as hex data over continued lines.
std::string wine_uninstall_hive(const std::map<std::string, std::u16string>& locations);

} // namespace zyrel_test
