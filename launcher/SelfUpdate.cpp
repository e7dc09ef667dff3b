// STAND-IN until the handoff lands.
#include "SelfUpdate.h"

void WaitForParentExit() {}

vxn::wstring NewTempFolderPath()
{
    return vxn::wstring();
}

vxn::wstring CreateFreshTempFolder()
{
    return vxn::wstring();
}

bool RelaunchFromTempCopy(const vxn::wstring&)
{
    return false;
}
