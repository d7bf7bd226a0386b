// tresource: resource files and the texts and bitmaps they hold by id.
#include "tresource.h"

#include <cstdlib>
#include <cstring>

#include "port_fs.h"
#include "port_log.h"
#include "tfile.h"
#include "wins_window.h"

struct tresource_view {
  uint32_t record_offset;  // of the record's bytes in the data block
  int valid;
  tbitmap bitmap;
  uint8_t *rows;  // the view's own copy of rows that lie off a 4-byte boundary
};

namespace {

constexpr uint32_t k_header_fixed = 16;
constexpr uint32_t k_section_entry = 8;
constexpr uint32_t k_record_head = 8;

enum resource_kind { kind_strings, kind_bitmaps };

// The table lives in the platform context while the port runs; code that
// runs without the port (tests, the packer) keeps it here instead.
tresource_file **g_fallback_table;

struct file_closer {
  FILE *file;
  ~file_closer() {
    if (file) std::fclose(file);
  }
};

tresource_file ***table_slot();
tresource_file *read_file(const char16_t *path);
bool walk_section(const tresource_file *file, int32_t offset, int32_t length, uint32_t *first_id,
                  uint32_t *last_id, uint32_t *count);
bool build_views(tresource_file *file, uint32_t count);
int build_view(tresource_view *view, const uint8_t *record, uint32_t length);
void free_file(tresource_file *file);
const uint8_t *lookup(int32_t id, resource_kind kind, const tresource_file **owner, uint32_t *out_length);

}  // namespace

int tresource_load(const char16_t *path) {
  PORT_CHECK(path != nullptr);
  tresource_file ***slot = table_slot();
  if (!*slot) {
    *slot = static_cast<tresource_file **>(std::calloc(TRESOURCE_MAX_FILES, sizeof(tresource_file *)));
    if (!*slot) return 0;
  }
  tresource_file **table = *slot;
  int free_slot = -1;
  int loaded = 0;
  for (int i = 0; i < TRESOURCE_MAX_FILES; i++) {
    if (table[i]) loaded++;
    else if (free_slot < 0) free_slot = i;
  }
  tresource_file *file = free_slot >= 0 ? read_file(path) : nullptr;
  if (!file) {
    // The table exists only while a file is loaded.
    if (loaded == 0) {
      std::free(table);
      *slot = nullptr;
    }
    return 0;
  }
  table[free_slot] = file;
  return free_slot + 1;
}

void tresource_unload(int id) {
  PORT_CHECK(id >= 1 && id <= TRESOURCE_MAX_FILES);
  tresource_file ***slot = table_slot();
  tresource_file **table = *slot;
  if (!table || !table[id - 1]) return;
  free_file(table[id - 1]);
  table[id - 1] = nullptr;
  for (int i = 0; i < TRESOURCE_MAX_FILES; i++)
    if (table[i]) return;
  std::free(table);
  *slot = nullptr;
}

void tresource_unload_all() {
  for (int id = 1; id <= TRESOURCE_MAX_FILES; id++) tresource_unload(id);
}

const char16_t *tresource_get_string(int32_t id, const char16_t *default_text) {
  const char16_t *text = tresource_find_string(id);
  return text ? text : default_text;
}

const char16_t *tresource_find_string(int32_t id) {
  const tresource_file *owner = nullptr;
  uint32_t length = 0;
  const uint8_t *record = lookup(id, kind_strings, &owner, &length);
  if (!record) return nullptr;
  // The text must be aligned and end inside its record.
  if ((record - owner->data) % 2 != 0 || length < 2) return nullptr;
  const char16_t *text = reinterpret_cast<const char16_t *>(record);
  for (uint32_t i = 0; i < length / 2; i++)
    if (text[i] == 0) return text;
  return nullptr;
}

tbitmap *tresource_get_bitmap(int32_t id) {
  const tresource_file *owner = nullptr;
  uint32_t length = 0;
  const uint8_t *record = lookup(id, kind_bitmaps, &owner, &length);
  if (!record) return nullptr;
  uint32_t offset = uint32_t(record - owner->data);
  uint32_t low = 0, high = owner->_view_count;
  while (low < high) {
    uint32_t mid = low + (high - low) / 2;
    tresource_view *view = &owner->_views[mid];
    if (view->record_offset == offset) return view->valid ? &view->bitmap : nullptr;
    if (view->record_offset < offset) low = mid + 1;
    else high = mid;
  }
  return nullptr;
}

const uint8_t *tresource_find_record(const tresource_file *file, int32_t offset, int32_t length, uint32_t id,
                                     uint32_t *out_length) {
  PORT_CHECK(file != nullptr);
  if (!tresource_get_table() || length < 1 || offset < 0 || !file->data) return nullptr;
  if (uint64_t(offset) + uint64_t(length) > file->data_size) return nullptr;
  const uint8_t *section = file->data + offset;
  uint64_t pos = 0;
  while (pos + k_record_head <= uint64_t(length)) {
    uint32_t record_id = tfile_get_u32(section + pos);
    uint32_t record_length = tfile_get_u32(section + pos + 4);
    if (pos + k_record_head + record_length > uint64_t(length)) return nullptr;
    if (record_id == id) {
      if (out_length) *out_length = record_length;
      return section + pos + k_record_head;
    }
    pos += k_record_head + record_length;
  }
  return nullptr;
}

tresource_file **tresource_get_table() { return *table_slot(); }

namespace {

tresource_file ***table_slot() {
  wins_window_context *context = wins_window_get_context();
  return context ? &context->_resource_files : &g_fallback_table;
}

// Reads and checks the whole file; null when anything about it is wrong.
tresource_file *read_file(const char16_t *path) {
  file_closer closer{port_fs_open(path, "rb")};
  FILE *stream = closer.file;
  if (!stream) return nullptr;
  if (std::fseek(stream, 0, SEEK_END) != 0) return nullptr;
  long file_size = std::ftell(stream);
  if (file_size < long(k_header_fixed) || std::fseek(stream, 0, SEEK_SET) != 0) return nullptr;

  uint32_t magic = tfile_read_u32(stream);
  uint32_t version = tfile_read_u32(stream);
  uint32_t header_size = tfile_read_u32(stream);
  uint32_t data_size = tfile_read_u32(stream);
  if (magic != TRESOURCE_MAGIC || version != TRESOURCE_VERSION) return nullptr;
  // Sizes are checked against what the file really holds before anything is
  // allocated, so a lying header cannot ask for more memory than the file has.
  if (header_size < k_header_fixed) return nullptr;
  if (uint64_t(header_size) + data_size > uint64_t(file_size) || data_size > uint32_t(INT32_MAX)) return nullptr;

  // Bytes of the table short of a whole entry are no entry; the data block
  // still starts at H.
  uint32_t entry_count = (header_size - k_header_fixed) / k_section_entry;
  uint8_t *entries = static_cast<uint8_t *>(std::malloc(entry_count ? entry_count * k_section_entry : 1));
  tresource_file *file = static_cast<tresource_file *>(std::calloc(1, sizeof(tresource_file)));
  uint8_t *data = static_cast<uint8_t *>(std::malloc(data_size ? data_size : 1));
  bool ok = entries && file && data &&
            std::fread(entries, 1, entry_count * k_section_entry, stream) == entry_count * k_section_entry &&
            std::fseek(stream, long(header_size), SEEK_SET) == 0 &&
            std::fread(data, 1, data_size, stream) == data_size;
  if (!ok) {
    std::free(entries);
    std::free(file);
    std::free(data);
    return nullptr;
  }
  file->version = int32_t(TRESOURCE_VERSION);
  file->data = data;
  file->data_size = data_size;

  // A later entry of the same type replaces an earlier one; a section ends
  // where the next string or bitmap entry begins, or with the data. One
  // whose span does not lie inside the data (entries out of order, offsets
  // past the end) is empty; the rest of the file stands.
  for (uint32_t i = 0; i < entry_count; i++) {
    uint32_t type = tfile_get_u32(entries + i * k_section_entry);
    uint32_t offset = tfile_get_u32(entries + i * k_section_entry + 4);
    if (type != TRESOURCE_SECTION_STRINGS && type != TRESOURCE_SECTION_BITMAPS) continue;
    uint32_t end = data_size;
    for (uint32_t j = i + 1; j < entry_count; j++) {
      uint32_t next_type = tfile_get_u32(entries + j * k_section_entry);
      if (next_type == TRESOURCE_SECTION_STRINGS || next_type == TRESOURCE_SECTION_BITMAPS) {
        end = tfile_get_u32(entries + j * k_section_entry + 4);
        break;
      }
    }
    if (offset > end || end > data_size) offset = end = 0;
    if (type == TRESOURCE_SECTION_STRINGS) {
      file->strings_offset = int32_t(offset);
      file->strings_length = int32_t(end - offset);
    } else {
      file->bitmaps_offset = int32_t(offset);
      file->bitmaps_length = int32_t(end - offset);
    }
  }
  std::free(entries);

  uint32_t string_count = 0, bitmap_count = 0;
  ok = ok &&
       walk_section(file, file->strings_offset, file->strings_length, &file->strings_first_id,
                    &file->strings_last_id, &string_count) &&
       walk_section(file, file->bitmaps_offset, file->bitmaps_length, &file->bitmaps_first_id,
                    &file->bitmaps_last_id, &bitmap_count) &&
       build_views(file, bitmap_count);
  if (!ok) {
    free_file(file);
    return nullptr;
  }
  return file;
}

// Checks that the section is a whole run of records and takes its id range.
bool walk_section(const tresource_file *file, int32_t offset, int32_t length, uint32_t *first_id,
                  uint32_t *last_id, uint32_t *count) {
  *count = 0;
  const uint8_t *section = file->data + offset;
  uint64_t pos = 0;
  while (pos < uint64_t(length)) {
    if (pos + k_record_head > uint64_t(length)) return false;
    uint32_t id = tfile_get_u32(section + pos);
    uint32_t record_length = tfile_get_u32(section + pos + 4);
    if (pos + k_record_head + record_length > uint64_t(length)) return false;
    if (*count == 0) *first_id = id;
    *last_id = id;
    (*count)++;
    pos += k_record_head + record_length;
  }
  return true;
}

bool build_views(tresource_file *file, uint32_t count) {
  if (count == 0) return true;
  file->_views = static_cast<tresource_view *>(std::calloc(count, sizeof(tresource_view)));
  if (!file->_views) return false;
  file->_view_count = count;
  const uint8_t *section = file->data + file->bitmaps_offset;
  uint32_t pos = 0;
  for (uint32_t i = 0; i < count; i++) {
    uint32_t length = tfile_get_u32(section + pos + 4);
    const uint8_t *record = section + pos + k_record_head;
    tresource_view *view = &file->_views[i];
    view->record_offset = uint32_t(record - file->data);
    view->valid = build_view(view, record, length);
    if (view->valid < 0) return false;
    pos += k_record_head + length;
  }
  return true;
}

// 1 when the record is a sound bitmap and the view was made, 0 when the
// record is bad (it stays absent), -1 when memory ran out.
int build_view(tresource_view *view, const uint8_t *record, uint32_t length) {
  constexpr uint32_t pixels_at = TRESOURCE_STORED_BITMAP_SIZE + TRESOURCE_STORED_INFO_SIZE;
  if (length < pixels_at) return 0;
  const uint8_t *info = record + TRESOURCE_STORED_BITMAP_SIZE;
  int32_t width = int32_t(tfile_get_u32(info + TBITMAP_INFO_WIDTH));
  int32_t height = int32_t(tfile_get_u32(info + TBITMAP_INFO_HEIGHT));
  uint32_t bpp = tfile_get_u16(info + TBITMAP_INFO_BPP);
  uint32_t compression = tfile_get_u32(info + TBITMAP_INFO_COMPRESSION);
  uint32_t colors_used = tfile_get_u32(info + TBITMAP_INFO_COLORS_USED);
  uint32_t image_size = tfile_get_u32(info + TBITMAP_INFO_IMAGE_SIZE);
  uint32_t stride = tfile_get_u32(record + 8);
  if (tfile_get_u32(info + TBITMAP_INFO_HEADER_SIZE) != 40) return 0;
  if (width < 1 || width > TBITMAP_MAX_SIDE || height == 0 || height < -TBITMAP_MAX_SIDE ||
      height > TBITMAP_MAX_SIDE)
    return 0;
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return 0;
  if (compression != 0 && !(compression == 3 && (bpp == 16 || bpp == 32))) return 0;
  uint32_t palette_entries = bpp <= 8 ? 1u << bpp : 0;
  if (colors_used > palette_entries) return 0;
  if (stride != ((bpp * uint32_t(width) + 31) >> 5) * 4) return 0;
  uint64_t rows = uint64_t(height < 0 ? -int64_t(height) : int64_t(height));
  uint64_t pixel_bytes = uint64_t(stride) * rows;
  if (image_size != 0 && image_size != pixel_bytes) return 0;
  uint64_t palette_bytes = uint64_t(palette_entries) * 4;
  if (uint64_t(pixels_at) + palette_bytes + pixel_bytes > length) return 0;

  // The info block in the layout tbitmap reads: the header, then the masks
  // (bit fields) or the palette right after it.
  size_t info_size = 40 + (compression == 3 ? 12 : 0) + size_t(palette_bytes);
  uint8_t *block = static_cast<uint8_t *>(std::malloc(info_size));
  if (!block) return -1;
  // Pixel rows are read in whole words: rows off a 4-byte boundary are
  // copied once, here, to a buffer of their own.
  const uint8_t *pixels = record + pixels_at + palette_bytes;
  view->rows = nullptr;
  if (uintptr_t(pixels) % 4 != 0) {
    view->rows = tbitmap_alloc_pixels(pixel_bytes);
    if (!view->rows) {
      std::free(block);
      return -1;
    }
    std::memcpy(view->rows, pixels, size_t(pixel_bytes));
    pixels = view->rows;
  }
  std::memcpy(block, info, 40);
  uint32_t image_bytes = uint32_t(pixel_bytes);
  for (int i = 0; i < 4; i++) block[TBITMAP_INFO_IMAGE_SIZE + i] = uint8_t(image_bytes >> (8 * i));
  if (compression == 3)
    std::memcpy(block + 40, record + 12, 12);  // the stored red, green, blue masks
  else
    std::memcpy(block + 40, record + pixels_at, size_t(palette_bytes));

  std::memset(&view->bitmap, 0, sizeof view->bitmap);
  view->bitmap._info = block;
  view->bitmap._stride = stride;
  view->bitmap._pixels = const_cast<uint8_t *>(pixels);
  view->bitmap._view = 1;
  tbitmap_init_channels(&view->bitmap);
  return 1;
}

void free_file(tresource_file *file) {
  for (uint32_t i = 0; i < file->_view_count; i++)
    if (file->_views[i].valid > 0) {
      std::free(file->_views[i].bitmap._info);
      tbitmap_free_pixels(file->_views[i].rows);
    }
  std::free(file->_views);
  std::free(file->data);
  std::free(file);
}

const uint8_t *lookup(int32_t id, resource_kind kind, const tresource_file **owner, uint32_t *out_length) {
  tresource_file **table = tresource_get_table();
  if (!table) return nullptr;
  const uint8_t *result = nullptr;
  uint32_t wanted = uint32_t(id);
  for (int i = 0; i < TRESOURCE_MAX_FILES; i++) {
    const tresource_file *file = table[i];
    if (!file) continue;
    bool strings = kind == kind_strings;
    int32_t offset = strings ? file->strings_offset : file->bitmaps_offset;
    int32_t length = strings ? file->strings_length : file->bitmaps_length;
    uint32_t first = strings ? file->strings_first_id : file->bitmaps_first_id;
    uint32_t last = strings ? file->strings_last_id : file->bitmaps_last_id;
    if (length < 1 || wanted < first || wanted > last) continue;
    result = tresource_find_record(file, offset, length, wanted, out_length);
    *owner = file;
  }
  return result;
}

}  // namespace
