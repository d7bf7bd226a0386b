// twformat: printf for UTF-16 text, always in the C locale.
//
// Conversions: %d %i %u %x %X %c %s %f %F %%, with the flags '-', '+', ' ',
// '0', '#', a width and a precision (digits or '*'), and the length modifiers
// hh, h, l, ll, z. %s takes a char16_t text (a null
// pointer prints "(null)"); %c takes a UTF-16 unit passed as int. The decimal
// point is always '.', whatever the process locale says.
// An unknown conversion is copied as it stands.
#pragma once

#include <cstdarg>
#include <cstddef>

// Writes at most n chars including the terminator (nothing when n is 0; the
// buffer may then be null) and always ends the text when n > 0. Returns the length the whole text has,
// without the terminator, so a result >= n means the text was cut.
int twformat(char16_t *buffer, size_t n, const char16_t *format, ...);
int twformat_v(char16_t *buffer, size_t n, const char16_t *format, va_list args);
