// png_image: the libpng glue.
//
// libpng reports errors by a long jump back to the setjmp of the call that
// started the work; every function that sets one up keeps what it must clean
// up in a record outside its own frame, so nothing it changed after setjmp
// is lost on the jump.
#include "png_image.h"

#include <png.h>

#include <csetjmp>
#include <cstdlib>
#include <cstring>

#include "port_fs.h"
#include "port_log.h"
#include "tsavefile.h"

constexpr int SIGNATURE_BYTES = 8;
constexpr double SCREEN_GAMMA = 2.2;

struct png_read_state {
  FILE *file;
  png_structp png;
  png_infop info;
  tbitmap *image;
  tbitmap *mask;
  uint8_t *rows;  // whole RGBA picture, only for interlaced files with alpha
  uint8_t *row;   // one RGBA row
};

struct png_write_state {
  png_structp png;
  png_infop info;
};

static void on_error(png_structp png, png_const_charp message);
static void on_warning(png_structp png, png_const_charp message);
static int read_png(png_read_state *state);
static void split_row(const uint8_t *rgba, int32_t width, uint8_t *bgr, uint8_t *alpha);
static int write_png(png_write_state *state, const tbitmap *bitmap, FILE *file);

int png_image_load(tbitmap **out_image, tbitmap **out_mask, const char16_t *path) {
  PORT_CHECK(out_image != nullptr && out_mask != nullptr);
  *out_image = nullptr;
  *out_mask = nullptr;
  if (!path) return 0;
  png_read_state state = {};
  state.file = port_fs_open(path, "rb");
  if (!state.file) return 0;
  int ok = read_png(&state);
  if (state.png) png_destroy_read_struct(&state.png, state.info ? &state.info : nullptr, nullptr);
  std::fclose(state.file);
  tbitmap_free_pixels(state.rows);
  std::free(state.row);
  if (!ok) {
    if (state.image) tbitmap_free(state.image);
    if (state.mask) tbitmap_free(state.mask);
    return 0;
  }
  *out_image = state.image;
  *out_mask = state.mask;
  return 1;
}

int png_image_save(const tbitmap *bitmap, const char16_t *path) {
  PORT_CHECK(bitmap != nullptr);
  int bpp = tbitmap_get_bpp(bitmap);
  if ((bpp != 24 && bpp != 32) || !bitmap->_pixels || !path) return 0;
  if (tbitmap_get_width(bitmap) < 1 || tbitmap_get_height(bitmap) < 1) return 0;
  tsavefile save;
  FILE *file = tsavefile_open(&save, path);
  if (!file) return 0;
  png_write_state state = {};
  int ok = write_png(&state, bitmap, file);
  if (state.png) png_destroy_write_struct(&state.png, state.info ? &state.info : nullptr);
  return tsavefile_commit(&save, !ok);
}

static void on_error(png_structp png, png_const_charp) { png_longjmp(png, 1); }

static void on_warning(png_structp, png_const_charp) {}

static int read_png(png_read_state *state) {
  png_byte signature[SIGNATURE_BYTES];
  if (std::fread(signature, 1, SIGNATURE_BYTES, state->file) != SIGNATURE_BYTES) return 0;
  if (png_sig_cmp(signature, 0, SIGNATURE_BYTES) != 0) return 0;
  state->png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, on_error, on_warning);
  if (!state->png) return 0;
  state->info = png_create_info_struct(state->png);
  if (!state->info) return 0;
  if (setjmp(png_jmpbuf(state->png))) return 0;

  png_structp png = state->png;
  png_infop info = state->info;
  png_init_io(png, state->file);
  png_set_sig_bytes(png, SIGNATURE_BYTES);
  // The default limit is a million pixels a side; ours is smaller.
  png_set_user_limits(png, TBITMAP_MAX_SIDE, TBITMAP_MAX_SIDE);
  png_read_info(png, info);
  png_uint_32 width = 0, height = 0;
  int bit_depth = 0, color_type = 0;
  png_get_IHDR(png, info, &width, &height, &bit_depth, &color_type, nullptr, nullptr, nullptr);

  // Both pictures exist before a single row is decoded: a size the budget
  // refuses costs nothing but the header.
  state->image = tbitmap_new(int32_t(width), int32_t(height), 24);
  state->mask = tbitmap_new(int32_t(width), int32_t(height), 8);
  if (!state->image || !state->mask) return 0;

  if (color_type == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
  if (color_type == PNG_COLOR_TYPE_GRAY && bit_depth < 8) png_set_expand_gray_1_2_4_to_8(png);
  if (png_get_valid(png, info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(png);
  if (bit_depth == 16) png_set_strip_16(png);
  if (color_type == PNG_COLOR_TYPE_GRAY || color_type == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(png);
  double file_gamma = 0;
  if (png_get_gAMA(png, info, &file_gamma)) png_set_gamma(png, SCREEN_GAMMA, file_gamma);
  png_set_bgr(png);
  int passes = png_set_interlace_handling(png);
  png_read_update_info(png, info);

  int channels = png_get_channels(png, info);
  if ((channels != 3 && channels != 4) || png_get_rowbytes(png, info) != size_t(width) * size_t(channels)) return 0;

  if (channels == 3) {
    // Blue, green, red rows land straight in the picture; the mask keeps the
    // 255 it was made with.
    for (int pass = 0; pass < passes; pass++)
      for (png_uint_32 y = 0; y < height; y++) png_read_row(png, tbitmap_get_row(state->image, int32_t(y)), nullptr);
  } else if (passes == 1) {
    state->row = static_cast<uint8_t *>(std::malloc(size_t(width) * 4));
    if (!state->row) return 0;
    for (png_uint_32 y = 0; y < height; y++) {
      png_read_row(png, state->row, nullptr);
      split_row(state->row, int32_t(width), tbitmap_get_row(state->image, int32_t(y)),
                tbitmap_get_row(state->mask, int32_t(y)));
    }
  } else {
    // Later passes fill in pixels of rows an earlier pass began, so the
    // whole picture is kept until the last pass.
    uint64_t row_bytes = uint64_t(width) * 4;
    state->rows = tbitmap_alloc_pixels(row_bytes * height);
    if (!state->rows) return 0;
    std::memset(state->rows, 0, size_t(row_bytes * height));
    for (int pass = 0; pass < passes; pass++)
      for (png_uint_32 y = 0; y < height; y++) png_read_row(png, state->rows + row_bytes * y, nullptr);
    for (png_uint_32 y = 0; y < height; y++)
      split_row(state->rows + row_bytes * y, int32_t(width), tbitmap_get_row(state->image, int32_t(y)),
                tbitmap_get_row(state->mask, int32_t(y)));
  }
  png_read_end(png, nullptr);
  return 1;
}

static void split_row(const uint8_t *bgra, int32_t width, uint8_t *bgr, uint8_t *alpha) {
  for (int32_t x = 0; x < width; x++, bgra += 4, bgr += 3) {
    bgr[0] = bgra[0];
    bgr[1] = bgra[1];
    bgr[2] = bgra[2];
    alpha[x] = bgra[3];
  }
}

static int write_png(png_write_state *state, const tbitmap *bitmap, FILE *file) {
  state->png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, on_error, on_warning);
  if (!state->png) return 0;
  state->info = png_create_info_struct(state->png);
  if (!state->info) return 0;
  if (setjmp(png_jmpbuf(state->png))) return 0;

  png_structp png = state->png;
  int32_t width = tbitmap_get_width(bitmap), height = tbitmap_get_height(bitmap);
  int color_type = tbitmap_get_bpp(bitmap) == 32 ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB;
  png_init_io(png, file);
  png_set_IHDR(png, state->info, png_uint_32(width), png_uint_32(height), 8, color_type, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, state->info);
  // The library swaps blue and red in its own row buffer, so the bitmap's
  // rows are handed over as they are and stay untouched.
  png_set_bgr(png);
  for (int32_t y = 0; y < height; y++) png_write_row(png, tbitmap_get_row(bitmap, y));
  png_write_end(png, state->info);
  return 1;
}
