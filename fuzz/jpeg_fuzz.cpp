// Feeds the JPEG reader arbitrary files (see fuzz_file.h for what is checked).
#include "jpeg_image.h"
#include "fuzz_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::u16string path = fuzz_file_write("jpeg_fuzz", data, size);
  if (path.empty()) return 0;
  tbitmap *image = nullptr;
  if (jpeg_image_load(&image, path.c_str())) {
    fuzz_touch(image);
    tbitmap_free(image);
  }
  return 0;
}
