// The C library's memcpy, memmove and memset copy a word at a time in
// WebAssembly (and call out to JavaScript for large copies); with bulk
// memory each is one instruction the engine runs at native speed.
#include <stddef.h>

#ifndef __wasm_bulk_memory__
#error "compile with -mbulk-memory, or these call themselves"
#endif

void *memcpy(void *restrict to, const void *restrict from, size_t count)
{
    __builtin_memcpy(to, from, count);
    return to;
}

void *memmove(void *to, const void *from, size_t count)
{
    __builtin_memmove(to, from, count);
    return to;
}

void *memset(void *to, int byte, size_t count)
{
    __builtin_memset(to, byte, count);
    return to;
}
