// A module whose only purpose is to be found loaded in another process.
#include <windows.h>

extern "C" __declspec(dllexport) int tqSetupMarker()
{
    return 42;
}
