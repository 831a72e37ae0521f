// Starts GDI+ once for the engine (never shut down from the loader lock).
#pragma once

namespace tq {
bool EnsureGdiplus();
}
