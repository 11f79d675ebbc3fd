// The codec's file object and its replaceable file services.
//
// The default services wrap the C library's streams with 64-bit offsets, so
// movies larger than 2 GiB can be read.
#pragma once

#include <cstddef>
#include <cstdint>

#include "../zarn_handlers.h"

struct zarn_file {
    void* handle;  // what the `open` service returned; null once closed
};

void zarn_set_file_handlers(const zarn_file_handlers* file_handlers);

// The default `open`, `seek` and `tell` services.
void* zarn_file_open(const char* filename, const char* mode);
int zarn_file_seek(void* stream, int64_t offset, int whence);
int64_t zarn_file_tell(void* stream);

// Opens `path` for reading ("rb") when `read` is true, else for writing
// ("wb"). Returns 0, ZARN_FILE_ERROR_ALLOCATE or ZARN_FILE_ERROR_OPEN; on
// failure `*file` is left null.
int32_t zarn_file_create(zarn_file** file, const char* path, bool read);
// Closes the handle, if any, and releases the object. Accepts null.
void zarn_file_free(zarn_file* file);

// Reads `count` items of `size` bytes; returns the number of whole items read.
size_t zarn_fread(zarn_file* file, void* buffer, size_t size, size_t count);
// Returns 0 on success.
int zarn_fseek(zarn_file* file, int64_t offset, int whence);
int64_t zarn_ftell(zarn_file* file);
// Size of the file in bytes, or -1 when it cannot be told; the position is
// left where it was. Used to refuse sizes in headers that the file cannot hold.
int64_t zarn_file_size(zarn_file* file);
