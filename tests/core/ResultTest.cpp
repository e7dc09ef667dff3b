// Result values and the system's error text.
#include "Result.h"

#include <gtest/gtest.h>

#if defined(_WIN32)
#include <windows.h>
#endif

#include <cerrno>
#include <string>

namespace {

std::string text_of(const vxn::string& text)
{
    return std::string(text.c_str(), text.size());
}

std::string compose(const char* message, std::uint32_t code)
{
    return text_of(VXN::detail::compose_system_error_text(message, code));
}

TEST(SystemErrorText, KnownCodeIsTheSystemSentenceFollowedByTheCode)
{
#if defined(_WIN32)
    // The sentence depends on the system's language (and Wine has its own wording): take it
    // from the system, without its line end, and expect it followed directly by " (2)".
    char raw[512] = {};
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, 2, 0x0400,
                                        raw, sizeof(raw), nullptr);
    ASSERT_GT(length, 2u);
    std::string sentence(raw, length);
    ASSERT_EQ(sentence.substr(sentence.size() - 2), "\r\n");
    sentence.resize(sentence.size() - 2);
    EXPECT_EQ(text_of(VXN::system_error_text(2)), sentence + " (2)");
    EXPECT_EQ(text_of(VXN::system_error_text(2)).find_first_of("\r\n"), std::string::npos);
#else
    // The C library's sentence in the C locale, which a program is in until it asks for
    // another.
    EXPECT_EQ(text_of(VXN::system_error_text(ENOENT)), "No such file or directory (2)");
    EXPECT_EQ(text_of(VXN::system_error_text(EACCES)), "Permission denied (13)");
#endif
}

TEST(SystemErrorText, CodeWithoutMessageGivesOnlyTheCodeUnsigned)
{
    // A code the system does not know: no "Unknown error" sentence, just the suffix.
#if defined(_WIN32)
    const std::uint32_t unknown = 0x2000ABCDu; // customer-defined range: never a system message
#else
    const std::uint32_t unknown = 100000;
#endif
    EXPECT_EQ(text_of(VXN::system_error_text(unknown)), " (" + std::to_string(unknown) + ")");
    EXPECT_EQ(text_of(VXN::system_error_text(4294967295u)), " (4294967295)");
    EXPECT_EQ(text_of(VXN::system_error_text(2147483648u)), " (2147483648)");
}

TEST(SystemErrorText, TrimsExactlyTheSixWhitespaceCharacters)
{
    // System messages end with CR LF; some begin with blanks or a line feed.
    EXPECT_EQ(compose("The system cannot find the file specified.\r\n", 2),
              "The system cannot find the file specified. (2)");
    EXPECT_EQ(compose("  \t\n\v\fLeading and trailing.\f\v\t \r\n", 5), "Leading and trailing. (5)");
    // Whitespace inside the message stays.
    EXPECT_EQ(compose("one\r\ntwo  three", 6), "one\r\ntwo  three (6)");
    // Bytes of 0x80 and above are never whitespace, whatever a code page makes of them.
    EXPECT_EQ(compose("\xA0\x85text\x85\xA0", 7), "\xA0\x85text\x85\xA0 (7)");
    // Other control characters are not whitespace either.
    EXPECT_EQ(compose("\x01text\x1f", 8), "\x01text\x1f (8)");
}

TEST(SystemErrorText, NoTextOrOnlyWhitespaceLeavesOnlyTheSuffix)
{
    EXPECT_EQ(compose(" \t\n\v\f\r \r\n", 9), " (9)");
    EXPECT_EQ(compose("", 0), " (0)");
    EXPECT_EQ(compose(nullptr, 1), " (1)");
    EXPECT_EQ(compose(nullptr, 4294967295u), " (4294967295)");
    // A single character survives whichever side is trimmed.
    EXPECT_EQ(compose("\r\nx\r\n", 3), "x (3)");
    EXPECT_EQ(compose("x", 3), "x (3)");
}

TEST(ResultValue, StatusesAndAnAlwaysEmptyMessage)
{
    const VXN::Result success;
    EXPECT_EQ(success.status, 0);
    EXPECT_TRUE(success.message.empty());

    const VXN::Result failure = VXN::Result::Fail("CreateFile failed: {0}", VXN::system_error_text(2));
    EXPECT_EQ(failure.status, VXN::Result::Failure);
    EXPECT_EQ(failure.status, 1);
    EXPECT_TRUE(failure.message.empty());

    const VXN::Result missing = VXN::Result::Missing("Process is not running");
    EXPECT_EQ(missing.status, 4);
    EXPECT_TRUE(missing.message.empty());

    EXPECT_EQ(VXN::Result(VXN::Result::TimedOut).status, 3);

    VXN::Result moved = VXN::Result::Fail("WaitforSingleObject failed: {0}", VXN::system_error_text(6));
    VXN::Result target;
    target = static_cast<VXN::Result&&>(moved);
    EXPECT_EQ(target.status, 1);
    EXPECT_TRUE(target.message.empty());
}

} // namespace
