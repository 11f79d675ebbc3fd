// The codec's allocator: every allocation of the codec's own objects goes
// through the installed memory handler table (system malloc by default).
#pragma once

#include <cstddef>

#include "../zarn_handlers.h"

void zarn_set_memory_handlers(const zarn_memory_handlers* memory_handlers);

void* zarn_malloc(size_t size);
void zarn_free(void* pointer);
void* zarn_realloc(void* pointer, size_t size);
