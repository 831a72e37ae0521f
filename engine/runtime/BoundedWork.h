// Work that may hang (a graph's Stop or final Release under Wine) run on a
// thread of its own, waited for up to a limit. Work still running then is
// left to finish whenever it can; its thread holds the library this code
// lives in, so a host that gives up and unloads the engine meanwhile does not
// pull the code from under it.
#pragma once

#include <windows.h>

#include <functional>

namespace tq {

// True when the work ended within waitMs. Without a thread it runs here.
bool RunBounded(std::function<void()> work, DWORD waitMs);

} // namespace tq
