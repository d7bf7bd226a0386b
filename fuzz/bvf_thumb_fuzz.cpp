// Feeds the thumbnail reader arbitrary files; whatever it returns is read at
// its corners and copied, so a bitmap whose size and buffer disagree shows
// up under ASan.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "paint_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static const std::string name = "/tmp/bvf_thumb_fuzz_" + std::to_string(getpid()) + ".bvf";
  static const std::u16string path(name.begin(), name.end());
  tbitmap_set_budget(4ull << 20);
  FILE *f = std::fopen(name.c_str(), "wb");
  if (!f) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);
  tbitmap *thumbnail = paint_file_read_thumbnail(path.c_str());
  if (!thumbnail) return 0;
  int32_t width = tbitmap_get_width(thumbnail), height = tbitmap_get_height(thumbnail);
  tcolor color = {};
  for (int32_t y : {0, height / 2, height - 1})
    for (int32_t x : {0, width / 2, width - 1}) tbitmap_get_pixel_color(thumbnail, x, y, &color);
  if (tbitmap *copy = tbitmap_new_copy(thumbnail)) tbitmap_free(copy);
  tbitmap_free(thumbnail);
  return 0;
}
