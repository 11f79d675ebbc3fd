// Log lines, the memory and file service tables, and the file object.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <unistd.h>

#include "common/zarn_file.h"
#include "common/zarn_log.h"
#include "common/zarn_memory.h"
#include "decoder/zarn_circular_buffer.h"
#include "decoder/zarn_cond_var.h"
#include "decoder/zarn_mutex.h"
#include "decoder/zarn_thread.h"
#include "decoder/zarn_timer.h"
#include "zarn_results.h"

namespace {

using testing::internal::CaptureStderr;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStderr;
using testing::internal::GetCapturedStdout;

TEST(Log, EachCallWritesPrefixMessageAndOneNewline)
{
    CaptureStderr();
    zarn_log_error("zarn_file_create() : Couldn't open file.");
    zarn_log_error("%s %d", "two", 2);
    EXPECT_EQ(GetCapturedStderr(),
              "Zarn error: zarn_file_create() : Couldn't open file.\nZarn error: two 2\n");

    CaptureStdout();
    zarn_log_info("plain 100 text");
    zarn_log_warning("value %.1f", 1.5);
    EXPECT_EQ(GetCapturedStdout(), "Zarn info: plain 100 text\nZarn warning: value 1.5\n");
}

// A memory table that counts what passes through it and can be told to fail
// from the n-th allocation on.
struct CountingMemory {
    static inline int allocations = 0;
    static inline int releases = 0;
    static inline int fail_from = -1;  // allocation index that fails first; -1 never

    static void* alloc(size_t size)
    {
        if (fail_from >= 0 && allocations >= fail_from) {
            return nullptr;
        }
        ++allocations;
        return malloc(size);
    }
    static void release(void* pointer)
    {
        if (pointer != nullptr) {
            ++releases;
        }
        free(pointer);
    }
    static void* resize(void* pointer, size_t size) { return realloc(pointer, size); }
};

class MemoryServices : public testing::Test {
protected:
    void SetUp() override
    {
        CountingMemory::allocations = CountingMemory::releases = 0;
        CountingMemory::fail_from = -1;
        zarn_memory_handlers counting = {CountingMemory::release, CountingMemory::alloc, CountingMemory::resize};
        zarn_set_memory_handlers(&counting);
    }
    void TearDown() override
    {
        zarn_memory_handlers system = {free, malloc, realloc};
        zarn_set_memory_handlers(&system);
    }
};

void* idle_thread(void*)
{
    return nullptr;
}

struct FailingCreate {
    const char* name;
    int fail_from;  // allocation that fails
    std::function<int32_t()> create;
    int32_t code;
    const char* line;
};

TEST_F(MemoryServices, FailedAllocationGivesEachCreateItsOwnLineAndCodeAndLeavesNothing)
{
    const FailingCreate cases[] = {
        {"file", 0, [] { zarn_file* f = nullptr; int32_t r = zarn_file_create(&f, "/dev/null", true); EXPECT_EQ(f, nullptr); return r; },
         ZARN_FILE_ERROR_ALLOCATE, "zarn_file_create() : Couldn't allocate file."},
        {"mutex", 0, [] { zarn_mutex* m = nullptr; int32_t r = zarn_mutex_create(&m); EXPECT_EQ(m, nullptr); return r; },
         ZARN_MUTEX_ERROR_ALLOCATE, "zarn_mutex_create() : Couldn't allocate mutex."},
        {"cond_var", 0, [] { zarn_cond_var* c = nullptr; int32_t r = zarn_cond_var_create(&c); EXPECT_EQ(c, nullptr); return r; },
         ZARN_COND_VAR_ERROR_ALLOCATE, "zarn_cond_var_create() : Couldn't allocate condition variable."},
        {"thread", 0, [] { zarn_thread* t = nullptr; int32_t r = zarn_thread_create(&t, idle_thread, nullptr); EXPECT_EQ(t, nullptr); return r; },
         ZARN_THREAD_ERROR_ALLOCATE, "zarn_thread_create() - Couldn't allocate thread."},
        {"timer", 0, [] { zarn_timer* t = nullptr; int32_t r = zarn_timer_create(&t); EXPECT_EQ(t, nullptr); return r; },
         ZARN_TIMER_ERROR_ALLOCATE, "zarn_timer_create() : Couldn't allocate timer."},
        {"circular buffer", 0, [] { zarn_circular_buffer* b = nullptr; int32_t r = zarn_circular_buffer_create(&b, 4, 4); EXPECT_EQ(b, nullptr); return r; },
         ZARN_CIRCULAR_BUFFER_ERROR_ALLOCATE, "zarn_circular_buffer_create() : Couldn't allocate circular buffer."},
        {"circular buffer storage", 1, [] { zarn_circular_buffer* b = nullptr; int32_t r = zarn_circular_buffer_create(&b, 4, 4); EXPECT_EQ(b, nullptr); return r; },
         ZARN_CIRCULAR_BUFFER_ERROR_ALLOCATE_STORAGE, "zarn_circular_buffer_create() : Couldn't allocate internal buffer."},
    };
    for (const FailingCreate& c : cases) {
        SCOPED_TRACE(c.name);
        CountingMemory::allocations = CountingMemory::releases = 0;
        CountingMemory::fail_from = c.fail_from;
        CaptureStderr();
        EXPECT_EQ(c.create(), c.code);
        EXPECT_EQ(GetCapturedStderr(), std::string("Zarn error: ") + c.line + "\n");
        EXPECT_EQ(CountingMemory::allocations, CountingMemory::releases);
    }
}

// A file table that records the modes it was asked for and counts closes.
struct RecordingFiles {
    static inline std::string last_mode;
    static inline int closes = 0;
    static void* open(const char* path, const char* mode)
    {
        last_mode = mode;
        return zarn_file_open(path, mode);
    }
    static int close(void* handle)
    {
        ++closes;
        return fclose(static_cast<FILE*>(handle));
    }
};

class FileServices : public testing::Test {
protected:
    void SetUp() override
    {
        RecordingFiles::last_mode.clear();
        RecordingFiles::closes = 0;
        zarn_file_handlers recording = {
            RecordingFiles::open, RecordingFiles::close,
            [](void* b, size_t s, size_t c, void* h) { return fread(b, s, c, static_cast<FILE*>(h)); },
            [](const void* b, size_t s, size_t c, void* h) { return fwrite(b, s, c, static_cast<FILE*>(h)); },
            zarn_file_seek, zarn_file_tell,
            [](void* h) { return feof(static_cast<FILE*>(h)); },
        };
        zarn_set_file_handlers(&recording);
        path = testing::TempDir() + "zarn_file_services_" + std::to_string(getpid());
    }
    void TearDown() override
    {
        zarn_file_handlers system = {
            zarn_file_open, [](void* h) { return fclose(static_cast<FILE*>(h)); },
            [](void* b, size_t s, size_t c, void* h) { return fread(b, s, c, static_cast<FILE*>(h)); },
            [](const void* b, size_t s, size_t c, void* h) { return fwrite(b, s, c, static_cast<FILE*>(h)); },
            zarn_file_seek, zarn_file_tell,
            [](void* h) { return feof(static_cast<FILE*>(h)); },
        };
        zarn_set_file_handlers(&system);
        unlink(path.c_str());
    }
    std::string path;
};

TEST_F(FileServices, CreateOpensForWritingOrReadingAndFreeCloses)
{
    zarn_file* file = nullptr;
    ASSERT_EQ(zarn_file_create(&file, path.c_str(), false), ZARN_OK);
    EXPECT_EQ(RecordingFiles::last_mode, "wb");
    zarn_file_free(file);
    EXPECT_EQ(RecordingFiles::closes, 1);

    file = nullptr;
    ASSERT_EQ(zarn_file_create(&file, path.c_str(), true), ZARN_OK);
    EXPECT_EQ(RecordingFiles::last_mode, "rb");
    zarn_file_free(file);
    EXPECT_EQ(RecordingFiles::closes, 2);
}

TEST_F(FileServices, MissingFileLogsOneLineAndLeavesPointerNull)
{
    zarn_file* file = nullptr;
    CaptureStderr();
    EXPECT_EQ(zarn_file_create(&file, "/nonexistent/zarn/movie.zrn", true), ZARN_FILE_ERROR_OPEN);
    EXPECT_EQ(GetCapturedStderr(), "Zarn error: zarn_file_create() : Couldn't open file.\n");
    EXPECT_EQ(file, nullptr);
}

TEST_F(FileServices, FreeAcceptsNullAndAnAlreadyClosedFile)
{
    zarn_file_free(nullptr);
    zarn_file* file = static_cast<zarn_file*>(zarn_malloc(sizeof(zarn_file)));
    file->handle = nullptr;
    zarn_file_free(file);
    EXPECT_EQ(RecordingFiles::closes, 0);
}

TEST_F(FileServices, ReadSeekTellAndSizeUse64BitOffsets)
{
    // A sparse file larger than 4 GiB with a marker beyond the 32-bit range.
    const int64_t far = (int64_t{5} << 30) + 3;
    {
        FILE* f = fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        ASSERT_EQ(fseeko(f, far, SEEK_SET), 0);
        ASSERT_EQ(fwrite("ZARN", 4, 1, f), 1u);
        fclose(f);
    }
    zarn_file* file = nullptr;
    ASSERT_EQ(zarn_file_create(&file, path.c_str(), true), ZARN_OK);
    EXPECT_EQ(zarn_file_size(file), far + 4);
    EXPECT_EQ(zarn_ftell(file), 0);
    ASSERT_EQ(zarn_fseek(file, far, SEEK_SET), 0);
    EXPECT_EQ(zarn_ftell(file), far);
    char marker[4] = {};
    EXPECT_EQ(zarn_fread(file, marker, 4, 1), 1u);
    EXPECT_EQ(std::string(marker, 4), "ZARN");
    EXPECT_EQ(zarn_fread(file, marker, 4, 1), 0u) << "reading past the end is a short read";
    zarn_file_free(file);
}

}  // namespace
