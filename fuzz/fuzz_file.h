// fuzz_file: what the image-reader fuzz targets share. The readers take a
// path, so each input is written to a scratch file of this process's own; the
// bitmap budget is kept small enough that a lying header cannot make the
// fuzzer run out of memory; whatever loads is read at its corners and copied,
// so a picture whose size and buffer disagree shows up under ASan.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "tbitmap.h"

constexpr uint64_t FUZZ_BUDGET = 4ull << 20;

// Lowers the budget and writes data to /tmp/<target>_<pid>; gives that path,
// or an empty one when the file cannot be written.
inline std::u16string fuzz_file_write(const char *target, const uint8_t *data, size_t size) {
  tbitmap_set_budget(FUZZ_BUDGET);
  std::string name = std::string("/tmp/") + target + "_" + std::to_string(getpid());
  FILE *f = std::fopen(name.c_str(), "wb");
  if (!f) return std::u16string();
  std::fwrite(data, 1, size, f);
  std::fclose(f);
  return std::u16string(name.begin(), name.end());
}

inline void fuzz_touch(const tbitmap *bitmap) {
  int32_t width = tbitmap_get_width(bitmap), height = tbitmap_get_height(bitmap);
  tcolor color = {};
  for (int32_t y : {0, height / 2, height - 1})
    for (int32_t x : {0, width / 2, width - 1}) tbitmap_get_pixel_color(bitmap, x, y, &color);
  if (tbitmap *copy = tbitmap_new_copy(bitmap)) tbitmap_free(copy);
}
