// For the programs that encode sound with zarn_encode: under the address
// sanitizer, libvorbis's setup of 5.1 (six channel) encoding loses one
// allocation inside vorbis_encode_setup_init however the encoder is torn
// down. It is that library's, bounded (one per stream) and not ours to mend,
// so the leak checker is told to pass over it, quietly. The sanitizer looks for this
// hook in the executable: use the macro once, at file scope, in one source
// file of each program. Without the sanitizer it expands to nothing.
#pragma once

#if defined(__SANITIZE_ADDRESS__)
#define ZARN_ENCODE_LEAK_SUPPRESSIONS                     \
    extern "C" const char* __lsan_default_suppressions(); \
    extern "C" const char* __lsan_default_suppressions()  \
    {                                                     \
        return "leak:vorbis_encode_setup_init\n";         \
    }                                                     \
    extern "C" const char* __lsan_default_options();      \
    extern "C" const char* __lsan_default_options()       \
    {                                                     \
        return "print_suppressions=0";                    \
    }
#else
#define ZARN_ENCODE_LEAK_SUPPRESSIONS
#endif
