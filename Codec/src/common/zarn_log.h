// Codec log lines: one flushed line per call, prefixed by its kind.
// Errors go to standard error, information and warnings to standard output.
#pragma once

void zarn_log_error(const char* format, ...) __attribute__((format(printf, 1, 2)));
void zarn_log_info(const char* format, ...) __attribute__((format(printf, 1, 2)));
void zarn_log_warning(const char* format, ...) __attribute__((format(printf, 1, 2)));
