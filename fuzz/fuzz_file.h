// fuzz_file: what the fuzz targets whose readers take a path share. Each
// input goes to a scratch file of this process's own, removed as soon as the
// input is done (fork mode runs many processes, and each one used to leave
// its files behind). For the image readers, the bitmap budget is kept small
// enough that a lying header cannot make the fuzzer run out of memory, and
// whatever loads is read at its corners and copied, so a picture whose size
// and buffer disagree shows up under ASan.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "tbitmap.h"

constexpr uint64_t FUZZ_BUDGET = 4ull << 20;

// /tmp/<target>_<pid><suffix>, removed when this goes.
struct fuzz_scratch {
  std::string _name;
  std::u16string _path;

  explicit fuzz_scratch(const char *target, const char *suffix = "")
      : _name(std::string("/tmp/") + target + "_" + std::to_string(getpid()) + suffix),
        _path(_name.begin(), _name.end()) {}
  ~fuzz_scratch() { std::remove(_name.c_str()); }
  fuzz_scratch(const fuzz_scratch &) = delete;
  fuzz_scratch &operator=(const fuzz_scratch &) = delete;

  // Makes data the file's content; false when the file cannot be written.
  bool write(const uint8_t *data, size_t size) const {
    FILE *f = std::fopen(_name.c_str(), "wb");
    if (!f) return false;
    bool written = std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && written;
  }
  const char16_t *path() const { return _path.c_str(); }
};

// A user folder of this process's own for targets whose painting writes
// beneath it (the history's checkpoints), removed when the process ends.
inline void fuzz_use_own_home(const char *target) {
  static std::string home;
  home = std::string("/tmp/") + target + "_home_" + std::to_string(getpid());
  setenv("BRIVOLA_HOME", home.c_str(), 1);
  std::atexit([] {
    std::error_code ignored;
    std::filesystem::remove_all(home, ignored);
  });
}

inline void fuzz_touch(const tbitmap *bitmap) {
  int32_t width = tbitmap_get_width(bitmap), height = tbitmap_get_height(bitmap);
  tcolor color = {};
  for (int32_t y : {0, height / 2, height - 1})
    for (int32_t x : {0, width / 2, width - 1}) tbitmap_get_pixel_color(bitmap, x, y, &color);
  if (tbitmap *copy = tbitmap_new_copy(bitmap)) tbitmap_free(copy);
}
