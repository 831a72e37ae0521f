#include "ModuleInstance.h"

namespace tq {

static HINSTANCE g_engineModule = nullptr;

HINSTANCE GetEngineModule()
{
    if (!g_engineModule) {
        // Linked into a program (tests): the module that holds this code.
        HMODULE self = nullptr;
        GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           reinterpret_cast<LPCWSTR>(&GetEngineModule), &self);
        g_engineModule = self;
    }
    return g_engineModule;
}

void SetEngineModule(HINSTANCE module)
{
    g_engineModule = module;
}

} // namespace tq
