// lumeo.dll's entry point and its manager exports.
#include "ModuleInstance.h"
#include "VcamManger.h"

static HINSTANCE g_module = nullptr;

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD, LPVOID)
{
    g_module = module;
    tq::SetEngineModule(module);
    return TRUE;
}

extern "C" IVcamManger* __stdcall getVcamManger()
{
    VcamManger* manager = VcamManger::Instance();
    manager->SetModuleInstance(g_module);
    return manager;
}

extern "C" void __stdcall releaseVcamManger()
{
    VcamManger::UnInstance();
}
