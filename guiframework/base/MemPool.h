// Process-wide small-block allocator of the GUI framework. Requests of up to
// 256 bytes come from fixed-size blocks carved out of large chunks; larger
// requests, and every request while the pool is switched off
// ("/disablemempool" on the command line), go to the runtime heap.
#pragma once

#include <cstddef>
#include <cstdint>

void* mp_alloc(unsigned size);
void mp_free(void* p);
size_t mp_size(void* p);
void* mp_realloc(void* p, unsigned size);
bool mp_owns(const void* p);
void mp_init();

// Misuse and corruption reports go to the debug output and to this hook
// (tests install one); the operation then goes on.
typedef void (*MpReportHook)(const char* text);
void mp_set_report_hook(MpReportHook hook);

// Asked before every allocation the pool makes for a caller (block, heap or
// reallocation); false refuses it as if memory had run out: the caller gets
// null and the refusal is reported. Tests use it to inject exhaustion.
typedef bool (*MpAllocHook)(unsigned size);
void mp_set_alloc_hook(MpAllocHook hook);

// Introspection for tests and diagnostics.
bool mp_disabled();
unsigned mp_chunk_count();
// Block bytes the chunks have handed out and not taken back.
size_t mp_bytes_in_use();
// Size and block size of chunk `index`; false when there is no such chunk.
bool mp_chunk_info(unsigned index, uint32_t* size, uint32_t* blockSize);
// Class (0-12) serving a request of `size` bytes, -1 above 256.
int mp_size_class(unsigned size);
