// Linked into the Windows program only (not into the tests): smaller stand-ins for parts
// of the static C++ runtime that the program never needs.
//
// The program catches no exception: anything thrown ends it through std::terminate. The
// runtime's own terminate handler writes the exception's demangled type to stderr, which
// a GUI program does not have, and pulls in the whole demangler (some 50 KB). The
// runtime's __throw_* helpers each build an exception that carries a message string; one
// of them drags every helper, both std::string implementations and all the standard
// exception types into the program (some 90 KB). Here they end the program as the
// uncaught exception would have, except allocation failure, which still throws
// std::bad_alloc. Should the program ever catch one of these errors, the stand-in
// must go.
#include <bits/functexcept.h>
#include <cstdlib>
#include <exception>
#include <new>

namespace __gnu_cxx {
void __verbose_terminate_handler()
{
    std::abort();
}
} // namespace __gnu_cxx

namespace std {
void __throw_bad_alloc()
{
    throw std::bad_alloc();
}

void __throw_length_error(const char*)
{
    std::terminate();
}

void __throw_out_of_range_fmt(const char*, ...)
{
    std::terminate();
}

void __throw_system_error(int)
{
    std::terminate();
}
} // namespace std
