#include "BoundedWork.h"

namespace tq {
namespace {

struct BoundedWork {
    std::function<void()> work;
    HMODULE library = nullptr;  // a reference of the thread's own
};

DWORD WINAPI BoundedWorkThread(void* param)
{
    auto* bounded = static_cast<BoundedWork*>(param);
    bounded->work();
    const HMODULE library = bounded->library;
    delete bounded;
    // No code of this library runs after the reference is dropped.
    if (library)
        FreeLibraryAndExitThread(library, 0);
    return 0;
}

} // namespace

bool RunBounded(std::function<void()> work, DWORD waitMs)
{
    auto* bounded = new BoundedWork;
    bounded->work = std::move(work);
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&BoundedWorkThread),
                       &bounded->library);
    const HANDLE thread = CreateThread(nullptr, 0, &BoundedWorkThread, bounded, 0, nullptr);
    if (!thread) {
        if (bounded->library)
            FreeLibrary(bounded->library);
        bounded->work();
        delete bounded;
        return true;
    }
    const bool done = WaitForSingleObject(thread, waitMs) == WAIT_OBJECT_0;
    CloseHandle(thread);
    return done;
}

} // namespace tq
