// Feeds the thumbnail reader arbitrary files; whatever it returns is read at
// its corners and copied, so a bitmap whose size and buffer disagree shows
// up under ASan.
#include <cstdint>

#include "fuzz_file.h"
#include "paint_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  tbitmap_set_budget(FUZZ_BUDGET);
  fuzz_scratch file("bvf_thumb_fuzz", ".bvf");
  if (!file.write(data, size)) return 0;
  tbitmap *thumbnail = paint_file_read_thumbnail(file.path());
  if (!thumbnail) return 0;
  int32_t width = tbitmap_get_width(thumbnail), height = tbitmap_get_height(thumbnail);
  tcolor color = {};
  for (int32_t y : {0, height / 2, height - 1})
    for (int32_t x : {0, width / 2, width - 1}) tbitmap_get_pixel_color(thumbnail, x, y, &color);
  if (tbitmap *copy = tbitmap_new_copy(thumbnail)) tbitmap_free(copy);
  tbitmap_free(thumbnail);
  return 0;
}
