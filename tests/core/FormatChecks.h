// The formatting tests' way of formatting: the text of a pattern, after checking that a
// measuring pass (no buffer) answers exactly its size, terminator included.
#pragma once

#include "Format.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

namespace format_test {

template <class... Args>
std::string narrow(const char* pattern, const Args&... args)
{
    const vxn::u32 measured = VXN::format_to<char>(nullptr, 0, pattern, args...);
    const vxn::string text = VXN::format(pattern, args...);
    EXPECT_EQ(measured, text.size() + 1) << pattern;
    return std::string(text.c_str(), text.size());
}

template <class... Args>
std::u16string wide(const vxn::wchar* pattern, const Args&... args)
{
    const vxn::u32 measured = VXN::format_to<vxn::wchar>(nullptr, 0, pattern, args...);
    const vxn::wstring text = VXN::format(pattern, args...);
    EXPECT_EQ(measured, text.size() + 1);
    return zyrel_test::to_units(text.c_str());
}

struct literal_case {
    const char* pattern;
    const char* expected;
};

// Every pattern formats the same arguments into its expected text.
template <class... Args>
void expect_cases(std::initializer_list<literal_case> cases, const Args&... args)
{
    for (const literal_case& c : cases)
        EXPECT_EQ(narrow(c.pattern, args...), c.expected) << c.pattern;
}

} // namespace format_test
