#include "KqEvent.h"

#include <windows.h>

namespace {
int16_t (*g_keyStateSource)(int);
}

void kqSetKeyStateSource(int16_t (*source)(int virtualKey)) { g_keyStateSource = source; }

int16_t kqKeyState(int virtualKey)
{
    if (g_keyStateSource)
        return g_keyStateSource(virtualKey);
    return GetKeyState(virtualKey);
}
