// Placeholder for the Flash player host until it is built: no control here.
#pragma once

inline int GetFlashPlayerVersion() { return 0; }
