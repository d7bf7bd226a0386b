// Feeds the BMP reader arbitrary files; whatever loads is then read, drawn
// into a canvas-sized bitmap, copied and saved, so a lying header that slips
// through the checks shows up as an out-of-bounds access.
#include <cstdint>

#include "fuzz_file.h"
#include "tbitmap.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  fuzz_scratch in("bmp_fuzz_in", ".bmp"), out("bmp_fuzz_out", ".bmp");
  if (!in.write(data, size)) return 0;

  tbitmap bitmap;
  if (!tbitmap_load_bmp(&bitmap, in.path())) return 0;
  int32_t width = tbitmap_get_width(&bitmap), height = tbitmap_get_height(&bitmap);
  tcolor color = {};
  for (int32_t y : {0, height / 2, height - 1})
    for (int32_t x : {0, width / 2, width - 1}) tbitmap_get_pixel_color(&bitmap, x, y, &color);
  tbitmap_blend_pixel(&bitmap, width - 1, height - 1, 0x80FF00FF);
  tbitmap_fill_rect(&bitmap, 0, 0, 2, 2, 0x40FFFFFF);

  tbitmap *canvas = tbitmap_new(64, 64, 32);
  tbitmap *mask = tbitmap_new(width, height, 8);
  if (canvas) {
    tpoint at = {-1, 3};
    trect all = {0, 0, width - 1, height - 1};
    tbitmap_blit_keyed(canvas, &at, &bitmap, &all, 0x00FF00FF, 255);
    tbitmap_blit_alpha(canvas, &at, &bitmap, &all, 100);
    if (mask) tbitmap_blit_masked(canvas, &at, &bitmap, &all, mask, 200);
  }
  if (tbitmap *copy = tbitmap_new_copy(&bitmap)) {
    tbitmap_save_bmp(copy, out.path());
    tbitmap_free(copy);
  }
  if (mask) tbitmap_free(mask);
  if (canvas) tbitmap_free(canvas);
  tbitmap_deinit(&bitmap);
  return 0;
}
