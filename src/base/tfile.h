// tfile: little-endian readers and writers for the file formats (on streams
// and in memory), and the UTF-16 path helpers.
//
// Paths on Linux use '/' (TFILE_SEPARATOR); the helpers that split paths also
// accept '\\' and ':' so that names written either way are taken apart alike.
#pragma once

#include <cstdint>
#include <cstdio>

constexpr char16_t TFILE_SEPARATOR = u'/';
// The longest path tfile_make_sibling_path builds, without its terminator.
constexpr int TFILE_MAX_JOINED_PATH = 1033;

// Little-endian; the readers give -1 (all bits set) when a byte hits the end
// of the file, the writers give the value or -1 when a byte cannot be written.
uint32_t tfile_read_u16(FILE *file);
uint32_t tfile_read_u32(FILE *file);
uint32_t tfile_write_u16(FILE *file, uint32_t value);
uint32_t tfile_write_u32(FILE *file, uint32_t value);

// The same little-endian words in memory, whatever the host's byte order.
inline uint32_t tfile_get_u16(const uint8_t *at) { return uint32_t(at[0]) | uint32_t(at[1]) << 8; }
inline uint32_t tfile_get_u32(const uint8_t *at) {
  return uint32_t(at[0]) | uint32_t(at[1]) << 8 | uint32_t(at[2]) << 16 | uint32_t(at[3]) << 24;
}
inline void tfile_put_u16(uint8_t *at, uint32_t value) {
  at[0] = uint8_t(value);
  at[1] = uint8_t(value >> 8);
}
inline void tfile_put_u32(uint8_t *at, uint32_t value) {
  for (int i = 0; i < 4; i++) at[i] = uint8_t(value >> (8 * i));
}

// 1 for '/', '\\' and ':'.
int tfile_is_separator(char16_t c);
// The part after the last separator (the whole path when there is none).
const char16_t *tfile_get_name(const char16_t *fname);
inline char16_t *tfile_get_name(char16_t *fname) {
  return const_cast<char16_t *>(tfile_get_name(static_cast<const char16_t *>(fname)));
}
// Scanning back from the end, stops at the first '.' or separator: just after
// a '.', the extension; otherwise the terminator (no extension).
const char16_t *tfile_get_extension(const char16_t *fname);
inline char16_t *tfile_get_extension(char16_t *fname) {
  return const_cast<char16_t *>(tfile_get_extension(static_cast<const char16_t *>(fname)));
}
// Appends TFILE_SEPARATOR unless the path already ends in '/' or '\\' (an
// empty path becomes the root). The caller guarantees room for one more char.
// Returns the length the path had before.
int tfile_add_separator(char16_t *path);
// dest = the folder part of path (through its last separator; nothing when it
// has none) followed by filename. dest may be path itself and must hold
// TFILE_MAX_JOINED_PATH + 1 chars. A joined path longer than that leaves dest
// empty and gives 0; otherwise 1.
int tfile_make_sibling_path(char16_t *dest, const char16_t *path, const char16_t *filename);
