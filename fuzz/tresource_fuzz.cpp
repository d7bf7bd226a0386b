// Feeds resource files to tresource_load and looks up every record the file
// claims to hold, touching every row of every bitmap it hands out.
#include <cstdint>

#include "fuzz_file.h"
#include "tbitmap.h"
#include "tresource.h"

namespace {

uint32_t word(const uint8_t *p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }

// The ids of a section, at most 256 of them, taken from the loaded data.
void each_id(const tresource_file *file, int32_t offset, int32_t length, void (*visit)(int32_t id)) {
  uint64_t pos = 0;
  for (int n = 0; n < 256 && pos + 8 <= uint64_t(length); n++) {
    const uint8_t *head = file->data + offset + pos;
    visit(int32_t(word(head)));
    pos += 8 + uint64_t(word(head + 4));
  }
}

void visit_string(int32_t id) {
  const char16_t *text = tresource_get_string(id, u"");
  size_t n = 0;
  while (text[n]) n++;
}

void visit_bitmap(int32_t id) {
  tbitmap *bitmap = tresource_get_bitmap(id);
  if (!bitmap) return;
  volatile uint32_t sum = 0;
  int32_t height = tbitmap_get_height(bitmap);
  for (int32_t y = 0; y < height; y++) {
    const uint8_t *row = tbitmap_get_row(bitmap, y);
    sum = sum + row[0] + row[tbitmap_get_stride(bitmap) - 1];
  }
  tbitmap *copy = tbitmap_new_copy(bitmap);
  if (copy) tbitmap_free(copy);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  fuzz_scratch file("tresource_fuzz", ".tres");
  if (!file.write(data, size)) return 0;
  int id = tresource_load(file.path());
  if (id) {
    const tresource_file *loaded = tresource_get_table()[id - 1];
    each_id(loaded, loaded->strings_offset, loaded->strings_length, visit_string);
    each_id(loaded, loaded->bitmaps_offset, loaded->bitmaps_length, visit_bitmap);
    tresource_find_string(int32_t(size));
    tresource_get_bitmap(-1);
    tresource_unload(id);
  }
  return 0;
}
