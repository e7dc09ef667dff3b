// STAND-IN until the real start lands: nothing is started.
#include "ProgramStart.h"

std::uintptr_t OpenProgram(void*, const vxn::wstring&, const vxn::wstring&)
{
    return 2; // SE_ERR_FNF
}
