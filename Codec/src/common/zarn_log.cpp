#include "zarn_log.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

// Prefix as raw bytes, the message through vfprintf, then one newline and a
// flush, so every line reaches a pipe or log file at once.
void write_line(FILE* stream, const char* prefix, const char* format, va_list arguments)
{
    fwrite(prefix, 1, strlen(prefix), stream);
    vfprintf(stream, format, arguments);
    fputc('\n', stream);
    fflush(stream);
}

}  // namespace

void zarn_log_error(const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    write_line(stderr, "Zarn error: ", format, arguments);
    va_end(arguments);
}

void zarn_log_info(const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    write_line(stdout, "Zarn info: ", format, arguments);
    va_end(arguments);
}

void zarn_log_warning(const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    write_line(stdout, "Zarn warning: ", format, arguments);
    va_end(arguments);
}
