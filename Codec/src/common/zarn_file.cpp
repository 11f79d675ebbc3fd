#include "zarn_file.h"

#include <cassert>
#include <cstdio>
#include <sys/types.h>

#include "../zarn_results.h"
#include "zarn_log.h"
#include "zarn_memory.h"

static_assert(sizeof(off_t) == 8, "the default file services need 64-bit file offsets");

namespace {

int default_close(void* handle)
{
    return fclose(static_cast<FILE*>(handle));
}

size_t default_read(void* buffer, size_t size, size_t count, void* handle)
{
    return fread(buffer, size, count, static_cast<FILE*>(handle));
}

size_t default_write(const void* buffer, size_t size, size_t count, void* handle)
{
    return fwrite(buffer, size, count, static_cast<FILE*>(handle));
}

int default_eof(void* handle)
{
    return feof(static_cast<FILE*>(handle));
}

zarn_file_handlers installed_file_handlers = {
    zarn_file_open, default_close, default_read, default_write,
    zarn_file_seek, zarn_file_tell, default_eof,
};

}  // namespace

void zarn_set_file_handlers(const zarn_file_handlers* file_handlers)
{
    assert(file_handlers != nullptr);
    installed_file_handlers = *file_handlers;
}

void* zarn_file_open(const char* filename, const char* mode)
{
    assert(filename != nullptr);
    assert(mode != nullptr);
    return fopen(filename, mode);
}

int zarn_file_seek(void* stream, int64_t offset, int whence)
{
    assert(stream != nullptr);
    return fseeko(static_cast<FILE*>(stream), static_cast<off_t>(offset), whence);
}

int64_t zarn_file_tell(void* stream)
{
    assert(stream != nullptr);
    return static_cast<int64_t>(ftello(static_cast<FILE*>(stream)));
}

int32_t zarn_file_create(zarn_file** file, const char* path, bool read)
{
    assert(file != nullptr);
    assert(*file == nullptr);
    assert(path != nullptr);

    *file = static_cast<zarn_file*>(zarn_malloc(sizeof(zarn_file)));
    if (*file == nullptr) {
        zarn_log_error("zarn_file_create() : Couldn't allocate file.");
        return ZARN_FILE_ERROR_ALLOCATE;
    }

    (*file)->handle = nullptr;
    (*file)->handle = installed_file_handlers.open(path, read ? "rb" : "wb");
    if ((*file)->handle == nullptr) {
        zarn_log_error("zarn_file_create() : Couldn't open file.");
        zarn_file_free(*file);
        *file = nullptr;
        return ZARN_FILE_ERROR_OPEN;
    }
    return ZARN_OK;
}

void zarn_file_free(zarn_file* file)
{
    if (file == nullptr) {
        return;
    }
    if (file->handle != nullptr) {
        installed_file_handlers.close(file->handle);
        file->handle = nullptr;
    }
    zarn_free(file);
}

size_t zarn_fread(zarn_file* file, void* buffer, size_t size, size_t count)
{
    return installed_file_handlers.read(buffer, size, count, file->handle);
}

int zarn_fseek(zarn_file* file, int64_t offset, int whence)
{
    return installed_file_handlers.seek(file->handle, offset, whence);
}

int64_t zarn_ftell(zarn_file* file)
{
    return installed_file_handlers.tell(file->handle);
}

int64_t zarn_file_size(zarn_file* file)
{
    const int64_t position = zarn_ftell(file);
    if (position < 0 || zarn_fseek(file, 0, SEEK_END) != 0) {
        return -1;
    }
    const int64_t size = zarn_ftell(file);
    if (zarn_fseek(file, position, SEEK_SET) != 0) {
        return -1;
    }
    return size;
}
