// The installer's signature check as the program makes it, for the tests that change what
// a program file carries (the code-signing roots built in with objcopy): registers the
// file log sink, checks the file and prints "<code in hex> <signer>".
//
//   signature_check_run <file>
#include "Log.h"
#include "SignatureCheck.h"

#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
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
