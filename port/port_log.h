// Fatal reporter, debug log writers and the byte-string compare. The
// character-set conversions (port_utf8) come with it: most modules that
// check also convert.
//
// Every public operation of the system checks its object and arguments with
// PORT_CHECK; a failed check is never survived: port_log_fatal shows one
// message box (when a display is up) and always writes the same text to
// stderr, then ends the process with exit code -1 (255).
// The log writers do nothing with a null stream; no stream is opened by
// default, so the program logs nothing unless someone sets one.
#pragma once

#include <cstdarg>
#include <cstdio>

#include "port_utf8.h"

#define PORT_CHECK(expr)                                   \
  do {                                                     \
    if (!(expr)) port_log_fatal(#expr, __FILE__, __LINE__); \
  } while (0)

[[noreturn]] void port_log_fatal(const char *expression, const char *source_path, int line);

// The module name the reporter derives from a source path: the text after the
// last '\\', '/' or ':' and before the first '.' after it; empty when either is
// missing. Writes at most n - 1 bytes and a terminator; returns the length.
int port_log_module_name(const char *source_path, char *out, int n);

// Shows the fatal text in a box before the process ends. The display backend
// installs one while video is up; with none the text goes to stderr only.
typedef void (*port_log_box_fn)(const char *caption, const char *text);
port_log_box_fn port_log_set_box_hook(port_log_box_fn hook);

void port_log_write(FILE *stream, const char *text);
void port_log_printf(FILE *stream, const char *format, ...) __attribute__((format(printf, 2, 3)));
void port_log_printf_wide(FILE *stream, const char16_t *format, ...);

// Compares at most n bytes with 'A'..'Z' folded to lower case.
int port_str_nicmp(const char *a, const char *b, int n);
