// The manager's view of the Flash player host: whether a control can be made.
#pragma once

#include "FlashPlayerHost.h"

inline int GetFlashPlayerVersion() { return int(GetFlashVersion()); }
