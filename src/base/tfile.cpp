// tfile: little-endian readers and writers and the UTF-16 path helpers.
#include "tfile.h"

#include <cstring>
#include <string>

#include "port_log.h"

uint32_t tfile_read_u16(FILE *file) {
  PORT_CHECK(file);
  int lo = std::fgetc(file);
  int hi = std::fgetc(file);
  if (lo == EOF || hi == EOF) return 0xFFFFFFFFu;
  return uint32_t(lo) | uint32_t(hi) << 8;
}

uint32_t tfile_read_u32(FILE *file) {
  PORT_CHECK(file);
  uint32_t value = 0;
  for (int i = 0; i < 4; i++) {
    int c = std::fgetc(file);
    if (c == EOF) return 0xFFFFFFFFu;
    value |= uint32_t(c) << (8 * i);
  }
  return value;
}

uint32_t tfile_write_u16(FILE *file, uint32_t value) {
  PORT_CHECK(file);
  for (int i = 0; i < 2; i++)
    if (std::fputc(int((value >> (8 * i)) & 0xFF), file) == EOF) return 0xFFFFFFFFu;
  return value;
}

uint32_t tfile_write_u32(FILE *file, uint32_t value) {
  PORT_CHECK(file);
  for (int i = 0; i < 4; i++)
    if (std::fputc(int((value >> (8 * i)) & 0xFF), file) == EOF) return 0xFFFFFFFFu;
  return value;
}

int tfile_is_separator(char16_t c) { return c == u'/' || c == u'\\' || c == u':'; }

const char16_t *tfile_get_name(const char16_t *fname) {
  PORT_CHECK(fname);
  const char16_t *name = fname;
  for (const char16_t *p = fname; *p; p++)
    if (tfile_is_separator(*p)) name = p + 1;
  return name;
}

const char16_t *tfile_get_extension(const char16_t *fname) {
  PORT_CHECK(fname);
  const char16_t *end = fname + std::char_traits<char16_t>::length(fname);
  for (const char16_t *p = end; p > fname; p--) {
    char16_t c = p[-1];
    if (c == u'.') return p;
    if (tfile_is_separator(c)) break;
  }
  return end;
}

int tfile_add_separator(char16_t *path) {
  PORT_CHECK(path);
  size_t len = std::char_traits<char16_t>::length(path);
  if (len == 0 || (path[len - 1] != u'/' && path[len - 1] != u'\\')) {
    path[len] = TFILE_SEPARATOR;
    path[len + 1] = 0;
  }
  return int(len);
}

int tfile_make_sibling_path(char16_t *dest, const char16_t *path, const char16_t *filename) {
  PORT_CHECK(dest);
  PORT_CHECK(path);
  PORT_CHECK(filename);
  size_t folder_len = size_t(tfile_get_name(path) - path);
  size_t name_len = std::char_traits<char16_t>::length(filename);
  if (folder_len + name_len > size_t(TFILE_MAX_JOINED_PATH)) {
    dest[0] = 0;
    return 0;
  }
  // dest may be path or filename itself: move the name first when it lies
  // where the folder goes, then the folder.
  std::memmove(dest + folder_len, filename, name_len * sizeof(char16_t));
  std::memmove(dest, path, folder_len * sizeof(char16_t));
  dest[folder_len + name_len] = 0;
  return 1;
}
