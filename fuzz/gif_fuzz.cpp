// Feeds the GIF reader arbitrary files; whatever loads is read at its corners
// and copied, so a picture whose size and buffer disagree shows up under ASan.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "gif_image.h"

namespace {

// Small enough that a lying header cannot make the fuzzer run out of memory.
constexpr uint64_t FUZZ_BUDGET = 4ull << 20;

void touch(const tbitmap *bitmap) {
  int32_t width = tbitmap_get_width(bitmap), height = tbitmap_get_height(bitmap);
  tcolor color = {};
  for (int32_t y : {0, height / 2, height - 1})
    for (int32_t x : {0, width / 2, width - 1}) tbitmap_get_pixel_color(bitmap, x, y, &color);
  if (tbitmap *copy = tbitmap_new_copy(bitmap)) tbitmap_free(copy);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static const std::string name = "/tmp/gif_fuzz_" + std::to_string(getpid());
  static const std::u16string path(name.begin(), name.end());
  tbitmap_set_budget(FUZZ_BUDGET);
  FILE *f = std::fopen(name.c_str(), "wb");
  if (!f) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);
  tbitmap *image = nullptr;
  if (gif_image_load(&image, path.c_str())) {
    touch(image);
    tbitmap_free(image);
  }
  return 0;
}
