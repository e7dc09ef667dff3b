// Child of launcher_settings: prints whether it inherited VXN_WAIT_FOR_DEBUGGER.
#include <cstdio>
#include <cstdlib>

int main()
{
    const char* value = std::getenv("VXN_WAIT_FOR_DEBUGGER");
    if (value != nullptr)
        std::printf("VXN_WAIT_FOR_DEBUGGER=%s\n", value);
    else
        std::printf("VXN_WAIT_FOR_DEBUGGER is not set\n");
    return 0;
}
