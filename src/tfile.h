// tfile: little-endian readers and writers for the file formats, and the
// UTF-16 path helpers.
#pragma once

#include <cstdint>
#include <cstdio>

// Little-endian; the readers give -1 (all bits set) when a byte hits the end
// of the file, the writers give the value or -1 when a byte cannot be written.
uint32_t tfile_read_u16(FILE *file);
uint32_t tfile_read_u32(FILE *file);
uint32_t tfile_write_u16(FILE *file, uint32_t value);
uint32_t tfile_write_u32(FILE *file, uint32_t value);
