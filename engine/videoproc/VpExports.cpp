#include <new>

#include "VpInstance.h"

extern "C" __declspec(dllexport) bool vpGetInterface(int, IVpInstance** out)
{
    if (!out)
        return false;
    *out = new (std::nothrow) VpInstance();
    return *out != nullptr;
}

extern "C" __declspec(dllexport) void vpFreeInstance(IVpInstance* instance)
{
    if (!instance)
        return;
    instance->Stop();
    instance->Destroy(1);
}
