// Calls an object's operation by its position in the object's table, the way
// a host built by another compiler does: fetch the table pointer, take entry
// N, call it with the object first. On i686 member functions use the thiscall
// convention (object in ECX), which both compilers share, so the raw call
// names it explicitly; on x86_64 the object is simply the first argument.
//
// Also used to build a host-side receiver by hand: a struct whose first field
// points at an array of plain functions declared TQ_THISCALL.
#pragma once

#include <cstddef>

#if defined(__i386__)
#define TQ_THISCALL __attribute__((thiscall))
#else
#define TQ_THISCALL
#endif

// Number of entries a table has is not recorded anywhere at run time, so the
// callers pass the position they mean, as an outside host would.
template <typename R, typename... Args>
R CallSlot(void* object, std::size_t slot, Args... args)
{
    using Fn = R (TQ_THISCALL*)(void*, Args...);
    void* const* table = *static_cast<void* const* const*>(object);
    return reinterpret_cast<Fn>(table[slot])(object, args...);
}

// The raw table entry itself, e.g. to check that two objects share it.
inline void* SlotAddress(void* object, std::size_t slot)
{
    void* const* table = *static_cast<void* const* const*>(object);
    return table[slot];
}
