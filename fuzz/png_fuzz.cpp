// Feeds the PNG reader arbitrary files (see fuzz_file.h for what is checked).
#include "fuzz_file.h"
#include "png_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  tbitmap_set_budget(FUZZ_BUDGET);
  fuzz_scratch file("png_fuzz");
  if (!file.write(data, size)) return 0;
  tbitmap *image = nullptr, *mask = nullptr;
  if (png_image_load(&image, &mask, file.path())) {
    fuzz_touch(image);
    fuzz_touch(mask);
    tbitmap_free(image);
    tbitmap_free(mask);
  }
  return 0;
}
