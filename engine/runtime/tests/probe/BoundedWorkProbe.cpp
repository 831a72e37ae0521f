// A library that starts bounded work which waits for the test's event, so
// the test can unload the library while the work still runs.
#include "BoundedWork.h"

extern "C" __declspec(dllexport) BOOL __stdcall StartWaitingWork(HANDLE release, HANDLE finished, DWORD waitMs)
{
    return tq::RunBounded([release, finished] {
        WaitForSingleObject(release, INFINITE);
        SetEvent(finished);
    }, waitMs);
}
