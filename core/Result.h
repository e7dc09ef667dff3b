// Result: the outcome of every core operation that calls the operating system.
//
// Callers only ever test status against 0. A failure is described where it happens by a
// pattern and arguments (for example "CreateFile failed: {0}" with the system's error
// text); the Result does not keep that description, so its message stays empty.
#pragma once

#include <vxnstl/string>

#include <cstdint>

namespace VXN {

class Result {
public:
    static constexpr std::int32_t Success = 0;
    static constexpr std::int32_t Failure = 1;
    static constexpr std::int32_t TimedOut = 3;
    static constexpr std::int32_t NotFound = 4;

    Result() = default;
    explicit Result(std::int32_t code) : status(code) {}

    // A Result is moved, never shared: the message goes with it.
    Result(const Result&) = delete;
    Result& operator=(const Result&) = delete;
    Result(Result&& other) noexcept : status(other.status), message(static_cast<vxn::string&&>(other.message)) {}
    Result& operator=(Result&& other) noexcept
    {
        status = other.status;
        message = static_cast<vxn::string&&>(other.message);
        return *this;
    }

    // Status Failure. The pattern and arguments name the failure at the call site.
    template <class... Args>
    static Result Fail(const char* pattern, const Args&... args)
    {
        (void)pattern;
        ((void)args, ...);
        return Result(Failure);
    }

    // Status NotFound, made the same way.
    template <class... Args>
    static Result Missing(const char* pattern, const Args&... args)
    {
        (void)pattern;
        ((void)args, ...);
        return Result(NotFound);
    }

    bool Succeeded() const { return status == Success; }

    std::int32_t status = Success;
    vxn::string message; // always empty; released with the Result
};

// The operating system's message for an error code (Windows: a GetLastError value;
// Linux: an errno value), without surrounding whitespace, followed by " (code)" with the
// code in unsigned decimal: "The system cannot find the file specified. (2)". A code the
// system has no message for gives just " (code)".
vxn::string system_error_text(std::uint32_t code);

namespace detail {

// The portable half of system_error_text: trims the six whitespace characters (space,
// tab, line feed, vertical tab, form feed, carriage return) from both ends of the
// system's message (null: none) and appends " (code)".
vxn::string compose_system_error_text(const char* message, std::uint32_t code);

} // namespace detail

} // namespace VXN
