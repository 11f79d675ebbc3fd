/* The replaceable memory and file services of the Zarn codec.
 *
 * zarn_initialise() may be given a replacement for either table; each is
 * copied whole into a process-wide table that every codec allocation and
 * every file access goes through. Replacement handlers must be callable from
 * several threads at once: the caller's thread and every movie's worker
 * thread allocate through them. */
#ifndef ZARN_HANDLERS_H
#define ZARN_HANDLERS_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Memory services; the slot order (free first) is part of the interface. */
typedef struct zarn_memory_handlers {
    void (*free)(void* pointer);
    void* (*alloc)(size_t size);
    void* (*realloc)(void* pointer, size_t size);
} zarn_memory_handlers;

/* File services, modelled on the C library's streams. `handle` is whatever
 * `open` returned. `seek` takes the C library's whence values (0 from the
 * start, 1 from the current position, 2 from the end) and returns 0 on
 * success; `tell` returns the position. Offsets are 64-bit. */
typedef struct zarn_file_handlers {
    void* (*open)(const char* path, const char* mode);
    int (*close)(void* handle);
    size_t (*read)(void* buffer, size_t size, size_t count, void* handle);
    size_t (*write)(const void* buffer, size_t size, size_t count, void* handle);
    int (*seek)(void* handle, int64_t offset, int whence);
    int64_t (*tell)(void* handle);
    int (*eof)(void* handle);
} zarn_file_handlers;

#ifdef __cplusplus
}
#endif

#endif
