// port_utf8: the system's one UTF-8 codec, and the conversions between
// UTF-8 and UTF-16 texts built on it.
//
// Only well-formed UTF-8 is text: a sequence in its shortest form, of a code
// point up to U+10FFFF that is not a surrogate. Bytes that are not text are
// never taken as a character: an overlong form of '/' or of NUL must not name
// another file or end a name early. The decoder says how far such bytes
// reach (the lead and the continuation bytes it asks for that follow), so a
// converter replaces them as one U+FFFD, while a caller that keeps them
// (file names, port_fs) takes them a byte at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

constexpr char32_t PORT_UTF8_REPLACEMENT = 0xFFFD;
// What the decoders give for units that are not text; no code point.
constexpr char32_t PORT_UTF8_NOT_TEXT = 0xFFFFFFFF;

// The code point of the UTF-8 sequence at s (avail >= 1 bytes), or
// PORT_UTF8_NOT_TEXT; *used is the bytes it spans, at least 1.
char32_t port_utf8_decode(const unsigned char *s, size_t avail, int *used);
// Writes the UTF-8 of c (at most U+10FFFF) to out, which has room for 4;
// returns the byte count.
int port_utf8_encode(char32_t c, char *out);
// The code point at s (avail >= 1 UTF-16 units): a surrogate pair joined,
// half a pair U+FFFD; *used is 1 or 2.
char32_t port_utf8_decode_wide(const char16_t *s, size_t avail, int *used);
// Writes c (at most U+10FFFF) as one or two UTF-16 units; returns the count.
int port_utf8_encode_wide(char32_t c, char16_t *out);

// How much of text (length units) fits in limit units without cutting a
// character in two: the longest run of whole sequences as the decoders above
// take them (a surrogate pair, a UTF-8 sequence with its continuation bytes),
// so 0 when the first one is longer than limit.
size_t port_utf8_cut(const char *text, size_t length, size_t limit);
size_t port_utf8_cut_wide(const char16_t *text, size_t length, size_t limit);
// Copies as much of the NUL-ended text (null reads as empty) as fits in
// capacity units with its terminator, ended where a character ends; out and
// text may overlap. Returns the units copied; nothing happens for a null out
// or a capacity below 1.
size_t port_utf8_copy_cut_wide(char16_t *out, int64_t capacity, const char16_t *text);

// UTF-8 <-> UTF-16. length -1 means NUL-ended (the terminator is converted
// too). With a null buffer the size needed is returned; otherwise at most n
// units are written and their count returned, 0 when they do not fit.
// Malformed input becomes U+FFFD.
int port_str_utf8_to_wide(const char *text, int length, char16_t *buffer, int n);
int port_str_wide_to_utf8(const char16_t *text, int length, char *buffer, int n);
// The system code page is UTF-8 here.
int port_str_ansi_to_wide(const char *text, int length, char16_t *buffer, int n);
// The UTF-8 of a NUL-ended UTF-16 text, without the terminator; empty for null.
std::string port_utf8_of(const char16_t *text);
