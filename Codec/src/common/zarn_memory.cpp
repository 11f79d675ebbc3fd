#include "zarn_memory.h"

#include <cassert>
#include <cstdlib>

namespace {

zarn_memory_handlers installed_memory_handlers = {free, malloc, realloc};

}  // namespace

void zarn_set_memory_handlers(const zarn_memory_handlers* memory_handlers)
{
    assert(memory_handlers != nullptr);
    installed_memory_handlers = *memory_handlers;
}

void* zarn_malloc(size_t size)
{
    return installed_memory_handlers.alloc(size);
}

void zarn_free(void* pointer)
{
    installed_memory_handlers.free(pointer);
}

void* zarn_realloc(void* pointer, size_t size)
{
    return installed_memory_handlers.realloc(pointer, size);
}
