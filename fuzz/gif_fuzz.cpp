// Feeds the GIF reader arbitrary files (see fuzz_file.h for what is checked).
#include "gif_image.h"
#include "fuzz_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::u16string path = fuzz_file_write("gif_fuzz", data, size);
  if (path.empty()) return 0;
  tbitmap *image = nullptr;
  if (gif_image_load(&image, path.c_str())) {
    fuzz_touch(image);
    tbitmap_free(image);
  }
  return 0;
}
