// tresource: resource files (".tres", ".tmbm", ".lang") and the texts and
// bitmaps they hold by id.
//
// Up to TRESOURCE_MAX_FILES files are loaded at once into a table of slots; a
// file's id is its slot number plus one. The table lives in the platform
// context (wins_window_context::_resource_files) and, while no context exists,
// in this module; it is made by the first load and freed with the last file.
// Lookups visit the slots in order, and the last loaded file whose id range
// holds the id decides, even when it lacks the id: that is how a language
// file replaces the program's English texts and falls back to the English
// default written in the code, never to another file's text.
//
// File layout (every word u32, little-endian):
//
//   offset  size    field
//   0       4       magic "TRES"
//   4       4       version, 1
//   8       4       H: header size, these 16 bytes and the section table
//   12      4       D: data size
//   16      H - 16  section table, (H - 16) / 8 entries {type, offset}:
//                   type 1 strings, 2 bitmaps, others skipped; the offset
//                   counts from the data block
//   H       D       data block
//
// A section runs from its offset to the offset of the next type-1 or type-2
// entry, or to the end of the data block. It is a run of records {u32 id,
// u32 length L, L bytes}, ids ascending; the first and last ids are its range.
// A string record holds UTF-16LE text and its terminating NUL. A bitmap
// record holds a stored tbitmap (52 bytes: reserved, info 0, stride, three
// masks, three shifts, three losses, pixels 0), a 44-byte info block opening
// with the BMP info header, for 8 bits or less the 2^bits palette entries,
// then the pixel rows.
//
// Every header field, offset, length and terminator is checked: a bad file
// does not load (0), a section whose span does not lie inside the data is
// empty, and a bad record is absent. Each bitmap record becomes a tbitmap
// view when the file loads: its pixels point into the file's data (rows off a
// 4-byte boundary are copied once, at load), its info block is the file's own
// copy in the layout tbitmap reads, and the file owns all of it until it is
// unloaded. Nothing in the loaded data is ever changed.
#pragma once

#include <cstdint>

#include "tbitmap.h"

constexpr int TRESOURCE_MAX_FILES = 16;  // max_resource_file_number
constexpr uint32_t TRESOURCE_MAGIC = 0x53455254;
constexpr uint32_t TRESOURCE_VERSION = 1;
constexpr uint32_t TRESOURCE_SECTION_STRINGS = 1;
constexpr uint32_t TRESOURCE_SECTION_BITMAPS = 2;
constexpr uint32_t TRESOURCE_STORED_BITMAP_SIZE = 52;
constexpr uint32_t TRESOURCE_STORED_INFO_SIZE = 44;

struct tresource_view;

struct tresource_file {
  int32_t version;
  int32_t strings_offset, strings_length;  // length 0: no strings
  uint32_t strings_last_id, strings_first_id;
  int32_t bitmaps_offset, bitmaps_length;
  uint32_t bitmaps_last_id, bitmaps_first_id;
  uint8_t *data;  // the data block, owned
  uint32_t data_size;
  tresource_view *_views;  // one per bitmap record, in record order
  uint32_t _view_count;
};

// The file id 1..16, or 0 when the file cannot be loaded or every slot is taken.
int tresource_load(const char16_t *path);
// id must be 1..16 (fatal otherwise); an empty slot or no table does nothing.
void tresource_unload(int id);
void tresource_unload_all();

// The text of the id, or default_text when no file gives it. The text belongs
// to its file and lives until that file is unloaded.
const char16_t *tresource_get_string(int32_t id, const char16_t *default_text);
const char16_t *tresource_find_string(int32_t id);
// The bitmap of the id, ready to draw and owned by its file (never freed by
// the caller), or null.
tbitmap *tresource_get_bitmap(int32_t id);
// The section scan: the bytes of the record with the id in the section at
// (offset, length) of the file's data, and its length; null when absent or
// when the section does not lie within the data.
const uint8_t *tresource_find_record(const tresource_file *file, int32_t offset, int32_t length, uint32_t id,
                                     uint32_t *out_length);

// The table of slots, null while no file is loaded.
tresource_file **tresource_get_table();
