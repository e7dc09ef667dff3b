// Arbitrary patterns and capacities against the formatting engine, with one fixed
// argument list that has every argument kind (including a null text pointer, a string
// without storage, non-ASCII wide text and the extreme integers).
//
// Input: byte 0 picks the width (even: narrow, odd: wide), bytes 1-2 the capacity, the
// rest is the pattern (pairs of bytes as UTF-16 units for a wide one). For each input:
//   - the buffer is never written beyond its capacity (guard units after it, plus ASan on
//     the exact-size allocation of the text part),
//   - a buffer with room is always terminated within its capacity,
//   - the writing pass answers the total of the measuring pass,
//   - what was written is a prefix of the complete output (a cut, never a hole),
//   - assign_format on an inline string gives the complete output.
#include "Format.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr std::size_t kGuard = 16;

[[noreturn]] void fail(const char* what)
{
    std::fprintf(stderr, "FormatFuzz: %s\n", what);
    std::abort();
}

template <class CharT>
void check(const std::vector<CharT>& pattern, vxn::u32 capacity)
{
    static const vxn::string narrow_string("narrow string");
    static const vxn::string no_storage;
    static const vxn::wstring wide_string(VXN_W("w\u00e9 \u20ac \U0001F600"));
    static const vxn::wchar lone_surrogate[] = {0xD800, 'x', 0};
    const char* null_text = nullptr;
    const auto format = [&](CharT* out, vxn::u32 room) {
        return VXN::format_to(out, room, pattern.data(), "text", narrow_string, wide_string, null_text, no_storage,
                              std::uint16_t{65535}, std::int32_t{-2147483647 - 1}, std::uint32_t{4294967295u},
                              std::int64_t{-9223372036854775807 - 1}, lone_surrogate, std::uint64_t{~0ull});
    };

    const vxn::u32 measured = format(nullptr, 0);
    if (measured == 0)
        fail("a non-null pattern measured 0");

    std::vector<CharT> full(measured);
    if (format(full.data(), measured) != measured)
        fail("the full-size pass disagrees with the measuring pass");
    if (full[measured - 1] != 0)
        fail("the full output is not terminated at its last slot");

    // Exact allocation for ASan, then guard units that must survive untouched.
    auto* block = static_cast<CharT*>(std::malloc((capacity + kGuard) * sizeof(CharT)));
    for (std::size_t i = 0; i < capacity + kGuard; ++i)
        block[i] = static_cast<CharT>(0x5A5A);
    const vxn::u32 written = format(capacity == 0 ? nullptr : block, capacity);
    if (written != measured)
        fail("the writing pass disagrees with the measuring pass");
    for (std::size_t i = capacity; i < capacity + kGuard; ++i) {
        if (block[i] != static_cast<CharT>(0x5A5A))
            fail("write beyond capacity");
    }
    if (capacity != 0) {
        vxn::u32 length = 0;
        while (length < capacity && block[length] != 0)
            ++length;
        if (length == capacity)
            fail("not terminated within capacity");
        if (std::memcmp(block, full.data(), length * sizeof(CharT)) != 0)
            fail("the cut output is not a prefix of the complete output");
        if (measured <= capacity && length != measured - 1)
            fail("an output that fits was cut");
    }
    std::free(block);

    if constexpr (sizeof(CharT) == 1) {
        vxn::inline_string<64> s;
        s.assign_format(pattern.data(), "text", narrow_string, wide_string, null_text, no_storage,
                        std::uint16_t{65535}, std::int32_t{-2147483647 - 1}, std::uint32_t{4294967295u},
                        std::int64_t{-9223372036854775807 - 1}, lone_surrogate, std::uint64_t{~0ull});
        if (s.size() != measured - 1 || std::memcmp(s.c_str(), full.data(), measured) != 0)
            fail("assign_format differs from format_to");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 3)
        return 0;
    const bool wide = (data[0] & 1) != 0;
    const vxn::u32 capacity = (static_cast<vxn::u32>(data[1]) | static_cast<vxn::u32>(data[2]) << 8) % 600;
    data += 3;
    size -= 3;
    if (wide) {
        std::vector<vxn::wchar> pattern(size / 2 + 1, 0);
        for (std::size_t i = 0; i < size / 2; ++i)
            pattern[i] = static_cast<vxn::wchar>(data[2 * i] | data[2 * i + 1] << 8);
        check(pattern, capacity);
    } else {
        std::vector<char> pattern(data, data + size);
        pattern.push_back(0);
        check(pattern, capacity);
    }
    return 0;
}
