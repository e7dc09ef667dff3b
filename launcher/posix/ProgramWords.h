// The argument vector of a program started on Linux: its first words as given, then the
// parameter text split with the Windows rules (so the program receives what it would on
// Windows), every word in UTF-8.
#pragma once

#include "CommandLine.h"

#include <string>
#include <vector>

namespace platform {

// The words are std::string for execv's sake.
inline std::string Utf8(const vxn::wstring& text)
{
    const vxn::string narrow = vxn::utf8_from(text);
    return std::string(narrow.c_str(), narrow.size());
}

inline std::vector<std::string> Words(std::vector<std::string> first, const vxn::wstring& parameters)
{
    const ArgumentList arguments = SplitParameters(parameters.c_str());
    for (const vxn::wstring& argument : arguments)
        first.push_back(Utf8(argument));
    return first;
}

// execv's view of the words: pointers into them, ending with a null. The words must
// outlive it.
inline std::vector<char*> Argv(std::vector<std::string>& words)
{
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    return argv;
}

} // namespace platform
