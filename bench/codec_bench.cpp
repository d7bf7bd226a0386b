// The codec glue against the same work done with libpng and libjpeg called
// directly, and the opening of a document against the rebuild it ends with.
//
// Files go to a folder in /dev/shm when there is one, so the figures compare
// encoding and decoding rather than the disk (the glue syncs its file before
// renaming it over the target).
#include <benchmark/benchmark.h>
#include <png.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "bench_figures.h"
#include "jpeg_image.h"
#include "os_clock.h"
#include "paint_context.h"
#include "paint_file.h"
#include "paint_history.h"
#include "png_image.h"
#include "shape.h"
#include "shape_pencil.h"

namespace {

constexpr int32_t PNG_SIDE = 2000;
constexpr int32_t JPEG_WIDTH = 4000, JPEG_HEIGHT = 3000;
constexpr int RECORDS = 1000;
constexpr int POINTS_PER_STROKE = 24;

BENCH_RATIO("png_save_2000_vs_libpng", "BM_png_save_2000", "BM_png_save_2000_libpng", 1.1);
BENCH_RATIO("jpeg_load_4000x3000_vs_libjpeg", "BM_jpeg_load_4000x3000", "BM_jpeg_load_4000x3000_libjpeg", 1.1);
// Reported only: an open ends in that very rebuild, so the ratio is about 1 by construction.
BENCH_RATIO("bvf_open_1000_vs_rebuild", "BM_bvf_open_1000", "BM_bvf_rebuild_1000", 0);
BENCH_MS("bvf_open_1000_ms", "BM_bvf_open_1000");
BENCH_MS("bvf_open_1000_wait_ms", "BM_bvf_open_1000_wait");

// Made on first use, removed when the benchmarks end.
struct scratch_holder {
  std::string dir;
  ~scratch_holder() {
    std::error_code ec;
    if (!dir.empty()) std::filesystem::remove_all(dir, ec);
  }
};

std::string scratch_dir() {
  static scratch_holder holder;
  if (holder.dir.empty()) {
    std::string base = std::filesystem::exists("/dev/shm") ? "/dev/shm" : std::filesystem::temp_directory_path().string();
    holder.dir = base + "/brivola-codec-bench-" + std::to_string(getpid());
    std::filesystem::create_directories(holder.dir);
  }
  return holder.dir;
}

std::u16string wide(const std::string &s) { return std::u16string(s.begin(), s.end()); }

// Something like a painting: smooth gradients, flat areas and some noise.
tbitmap *make_picture(int32_t width, int32_t height, int bpp) {
  tbitmap *b = tbitmap_new(width, -height, bpp);
  uint32_t seed = 12345;
  for (int32_t y = 0; y < height; y++) {
    uint8_t *row = tbitmap_get_row(b, y);
    for (int32_t x = 0; x < width; x++) {
      seed = seed * 1103515245u + 12345u;
      uint8_t noise = (seed >> 16) % 8 == 0 ? uint8_t(seed >> 24) : 0;
      bool flat = ((x / 160) + (y / 120)) % 3 == 0;
      uint8_t *p = row + x * (bpp / 8);
      p[0] = flat ? 200 : uint8_t(x * 255 / width) ^ noise;
      p[1] = flat ? 40 : uint8_t(y * 255 / height);
      p[2] = flat ? 90 : uint8_t((x + y) / 16);
      if (bpp == 32) p[3] = 255;
    }
  }
  return b;
}

void BM_png_save_2000(benchmark::State &state) {
  tbitmap *picture = make_picture(PNG_SIDE, PNG_SIDE, 32);
  std::u16string path = wide(scratch_dir() + "/glue.png");
  for (auto _ : state) benchmark::DoNotOptimize(png_image_save(picture, path.c_str()));
  tbitmap_free(picture);
}

// The same rows, handed to libpng as they are stored.
void BM_png_save_2000_libpng(benchmark::State &state) {
  tbitmap *picture = make_picture(PNG_SIDE, PNG_SIDE, 32);
  std::string path = scratch_dir() + "/direct.png";
  for (auto _ : state) {
    FILE *f = std::fopen(path.c_str(), "wb");
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
      state.SkipWithError("libpng failed");
      break;
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, PNG_SIDE, PNG_SIDE, 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_set_bgr(png);
    for (int32_t y = 0; y < PNG_SIDE; y++) png_write_row(png, tbitmap_get_row(picture, y));
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
  }
  tbitmap_free(picture);
}

const std::string &jpeg_file() {
  static std::string path;
  if (path.empty()) {
    path = scratch_dir() + "/large.jpg";
    tbitmap *picture = make_picture(JPEG_WIDTH, JPEG_HEIGHT, 24);
    jpeg_image_save(picture, wide(path).c_str(), 85);
    tbitmap_free(picture);
  }
  return path;
}

void BM_jpeg_load_4000x3000(benchmark::State &state) {
  std::u16string path = wide(jpeg_file());
  for (auto _ : state) {
    tbitmap *image = nullptr;
    if (!jpeg_image_load(&image, path.c_str())) {
      state.SkipWithError("the glue failed");
      break;
    }
    tbitmap_free(image);
  }
}

void BM_jpeg_load_4000x3000_libjpeg(benchmark::State &state) {
  const std::string &path = jpeg_file();
  for (auto _ : state) {
    jpeg_decompress_struct info;
    jpeg_error_mgr error;
    info.err = jpeg_std_error(&error);
    jpeg_create_decompress(&info);
    FILE *f = std::fopen(path.c_str(), "rb");
    jpeg_stdio_src(&info, f);
    jpeg_read_header(&info, TRUE);
    jpeg_start_decompress(&info);
    size_t row_bytes = size_t(info.output_width) * size_t(info.output_components);
    uint8_t *pixels = static_cast<uint8_t *>(std::malloc(row_bytes * info.output_height));
    while (info.output_scanline < info.output_height) {
      JSAMPROW row = pixels + row_bytes * info.output_scanline;
      jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    std::fclose(f);
    benchmark::DoNotOptimize(pixels[0]);
    std::free(pixels);
  }
}

// A painting of 1000 pencil strokes, saved once. The reader needs only the
// painting and its history (the save job and dialogs stay out), and neither
// case uses checkpoints, so both replay the whole list.
struct document_fixture {
  paint_context *pc = nullptr;
  paint_history *history = nullptr;
  shape *pencil = nullptr;
  paint_file file = {};
  std::u16string path;
  bool ready = false;

  document_fixture() {
    std::string home = scratch_dir() + "/home";
    setenv("BRIVOLA_HOME", home.c_str(), 1);
    os_clock_drive(1);  // the pause before reading is not the reader's cost
    tcolor black = {0, 0, 0, 255}, white = {255, 255, 255, 255};
    pc = paint_context_new(nullptr, 800, 600, black, white, white, 4, 0, 0, 0, 8);
    history = pc ? paint_history_new(pc, nullptr) : nullptr;
    if (!history) return;
    paint_history_set_use_checkpoints(history, 0);
    pencil = shape_pencil_new(SHAPE_ID_PENCIL, u"Pencil", pc, history, nullptr);
    paint_context_add_tool(pc, pencil);
    paint_context_clear(pc);
    uint32_t seed = 7;
    for (int r = 0; r < RECORDS; r++) {
      uint8_t payload[POINTS_PER_STROKE * 8];
      int32_t x = int32_t(seed % 800), y = int32_t((seed >> 10) % 600);
      for (int i = 0; i < POINTS_PER_STROKE; i++) {
        seed = seed * 1103515245u + 12345u;
        x += int32_t(seed >> 28) - 8;
        y += int32_t((seed >> 24) & 15) - 8;
        for (int b = 0; b < 4; b++) payload[8 * i + b] = uint8_t(uint32_t(x) >> (8 * b));
        for (int b = 0; b < 4; b++) payload[8 * i + 4 + b] = uint8_t(uint32_t(y) >> (8 * b));
      }
      paint_history_add(history, SHAPE_ID_PENCIL, payload, sizeof payload);
    }
    paint_history_rebuild(history);
    file._context = pc;
    file._history = history;
    path = wide(scratch_dir() + "/thousand.bvf");
    ready = paint_file_save_to(&file, path.c_str()) == 1;
  }
};

document_fixture &document() {
  static document_fixture f;
  return f;
}

void BM_bvf_open_1000(benchmark::State &state) {
  document_fixture &d = document();
  if (!d.ready) {
    state.SkipWithError("no document");
    return;
  }
  // Other figures set the clock back to real time after them: the pause
  // before reading is not the reader's cost, whatever ran before.
  os_clock_drive(1);
  for (auto _ : state) {
    if (!paint_file_open(&d.file, d.path.c_str())) {
      state.SkipWithError("the document did not open");
      break;
    }
    paint_history_rebuild(d.history);
  }
}

// The same open as the user waits for it: the reader's pause on the real clock included.
void BM_bvf_open_1000_wait(benchmark::State &state) {
  document_fixture &d = document();
  if (!d.ready) {
    state.SkipWithError("no document");
    return;
  }
  os_clock_drive(0);
  for (auto _ : state) {
    if (!paint_file_open(&d.file, d.path.c_str())) {
      state.SkipWithError("the document did not open");
      break;
    }
    paint_history_rebuild(d.history);
  }
}

void BM_bvf_rebuild_1000(benchmark::State &state) {
  document_fixture &d = document();
  if (!d.ready) {
    state.SkipWithError("no document");
    return;
  }
  for (auto _ : state) paint_history_rebuild(d.history);
}

}  // namespace

BENCHMARK(BM_png_save_2000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_png_save_2000_libpng)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_jpeg_load_4000x3000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_jpeg_load_4000x3000_libjpeg)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_bvf_open_1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_bvf_open_1000_wait)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_bvf_rebuild_1000)->Unit(benchmark::kMillisecond);
