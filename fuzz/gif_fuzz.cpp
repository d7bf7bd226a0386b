// Feeds the GIF reader arbitrary files (see fuzz_file.h for what is checked).
#include "gif_image.h"
#include "fuzz_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  tbitmap_set_budget(FUZZ_BUDGET);
  fuzz_scratch file("gif_fuzz");
  if (!file.write(data, size)) return 0;
  tbitmap *image = nullptr;
  if (gif_image_load(&image, file.path())) {
    fuzz_touch(image);
    tbitmap_free(image);
  }
  return 0;
}
