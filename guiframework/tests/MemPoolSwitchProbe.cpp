// Started by the pool test with and without "/DisableMemPool": exits 7 when
// the pool is off and small blocks come from the runtime heap, 3 when on.
#include "MemPool.h"

int main()
{
    void* p = mp_alloc(16);
    bool owned = mp_owns(p);
    mp_free(p);
    if (mp_disabled() && !owned)
        return 7;
    if (!mp_disabled() && owned)
        return 3;
    return 1;
}
