// What the launcher tests share: short text conversions, the settings store as a map, a
// fixture that starts and ends every test with an empty store, and the launcher_settings
// helper run as a real child.
#pragma once

#include "Settings.h"

#include "ChildProcess.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace launcher_test {

using Dump = std::map<std::string, std::string>;

inline vxn::wstring W(const std::string& utf8)
{
    return zyrel_test::to_wide(utf8);
}

inline std::string U(const vxn::wstring& wide)
{
    return zyrel_test::to_utf8(wide);
}

inline Dump StoreContents()
{
    Dump out;
    for (const auto& entry : Settings::Entries())
        out[U(entry.first)] = U(entry.second);
    return out;
}

class EmptyStoreTest : public ::testing::Test {
protected:
    void SetUp() override { Settings::Clear(); }
    void TearDown() override { Settings::Clear(); }
};

// Runs launcher_settings (or a copy of it) to its end, its stderr in the output.
inline zyrel_test::child_result RunSettingsHelper(const std::vector<std::string>& arguments,
                                                  zyrel_test::child_options options = {},
                                                  const std::filesystem::path& helper =
                                                      zyrel_test::test_program("launcher_settings"))
{
    options.merge_stderr = true;
    return zyrel_test::run_child(helper, arguments, options);
}

} // namespace launcher_test
