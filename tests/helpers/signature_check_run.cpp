// The installer's signature check as the program makes it, for the tests that change what
// a program file carries (the code-signing roots built in with objcopy): registers the
// file log sink, checks the file and prints "<code in hex> <signer>".
//
//   signature_check_run <file>
//   signature_check_run --installer <file>   the dialog's whole check: every log message is
//       printed too (a test waits for the check's own lines), a question is printed and
//       answered No, and "start" or "no start" ends the output
#include "Log.h"
#include "SignatureCheck.h"
#include "ui/UserInterface.h"

#include <cstdio>
#include <cstring>

namespace {

void PrintingSink(const char* source, std::int32_t line, std::int32_t level, const VXN::LogCategory* category,
                  const char* message)
{
    VXN::FileLogSink(source, line, level, category, message);
    std::printf("log: %s\n", message);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--installer") == 0) {
        VXN::SetLogSink(&PrintingSink);
        vxn::wstring path;
        path.assign_utf8(argv[2], static_cast<vxn::u32>(std::strlen(argv[2])));
        const bool start = VerifyInstallerSignature(path, [](const vxn::wstring& text, const vxn::wstring&, unsigned) {
            vxn::string text8;
            text8.assign_utf16(text.c_str(), text.size());
            std::printf("asked: %s\n", text8.c_str());
            return ui::IdNo;
        });
        std::printf(start ? "start\n" : "no start\n");
        VXN::SetLogSink(nullptr);
        return 0;
    }
    if (argc != 2)
        return 2;
    VXN::SetLogSink(VXN::FileLogSink);
    vxn::wstring path;
    path.assign_utf8(argv[1], static_cast<vxn::u32>(std::strlen(argv[1])));
    const SignatureVerdict verdict = CheckFileSignature(path);
    vxn::string signer;
    signer.assign_utf16(verdict.signer.c_str(), verdict.signer.size());
    std::printf("0x%08X %s\n", static_cast<unsigned>(verdict.code), signer.c_str());
    VXN::SetLogSink(nullptr);
    return 0;
}
