// tfile: little-endian readers and writers and the UTF-16 path helpers.
#include "tfile.h"

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
