// A program that imports comctl32 the ordinary way, as a check that the planting test's
// set-up would catch a program that loads a planted DLL.
#if defined(_WIN32)
#include <windows.h>
#include <commctrl.h>

int main()
{
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_PROGRESS_CLASS};
    return InitCommonControlsEx(&controls) ? 0 : 1;
}
#else
int main()
{
    return 0;
}
#endif
