// Fatal reporter, debug log writers and the character-set conversions.
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

// UTF-8 <-> UTF-16. length -1 means NUL-ended (the terminator is converted
// too). With a null buffer the size needed is returned; otherwise at most n
// units are written and their count returned, 0 when they do not fit.
// Malformed input becomes U+FFFD.
int port_str_utf8_to_wide(const char *text, int length, char16_t *buffer, int n);
int port_str_wide_to_utf8(const char16_t *text, int length, char *buffer, int n);
// The system code page is UTF-8 here.
int port_str_ansi_to_wide(const char *text, int length, char16_t *buffer, int n);

// Compares at most n bytes with 'A'..'Z' folded to lower case.
int port_str_nicmp(const char *a, const char *b, int n);
