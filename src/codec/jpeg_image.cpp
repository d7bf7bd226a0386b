// jpeg_image: the libjpeg glue.
//
// libjpeg's own error manager ends the process; ours jumps back to the call
// that started the work instead. Every function that sets the jump keeps
// what it must clean up in a record outside its own frame.
#include "jpeg_image.h"

// jpeglib.h needs size_t and FILE declared before it.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <jerror.h>
#include <jpeglib.h>

#include <algorithm>
#include <csetjmp>

#include "port_fs.h"
#include "port_log.h"
#include "tsavefile.h"

// Rows handed to the library per call.
constexpr int ROW_BATCH = 16;
// The decoder's own working memory (progressive files keep every
// coefficient) may reach a few times the picture; beyond that it fails
// instead of growing.
constexpr uint64_t WORK_MEMORY_FACTOR = 4;

struct jpeg_error {
  jpeg_error_mgr manager;  // first: the library hands back a pointer to it
  jmp_buf jump;
};

struct jpeg_read_state {
  jpeg_decompress_struct info;
  jpeg_error error;
  FILE *file;
  tbitmap *image;
  bool created;
};

struct jpeg_write_state {
  jpeg_compress_struct info;
  jpeg_error error;
  bool created;
};

static void on_error_exit(j_common_ptr info);
static void on_emit_message(j_common_ptr info, int level);
static void on_output_message(j_common_ptr info);
static void set_error_manager(jpeg_error *error);
static int read_jpeg(jpeg_read_state *state);
static tbitmap *new_unfilled_bitmap(int32_t width, int32_t height, int bpp);
static int write_jpeg(jpeg_write_state *state, const tbitmap *bitmap, FILE *file, int quality);

int jpeg_image_load(tbitmap **out_image, const char16_t *path) {
  PORT_CHECK(out_image != nullptr);
  if (!path) return 0;
  jpeg_read_state *state = static_cast<jpeg_read_state *>(std::calloc(1, sizeof(jpeg_read_state)));
  if (!state) return 0;
  state->file = port_fs_open(path, "rb");
  int ok = state->file && read_jpeg(state);
  if (state->created) jpeg_destroy_decompress(&state->info);
  if (state->file) std::fclose(state->file);
  if (ok) *out_image = state->image;
  else if (state->image) tbitmap_free(state->image);
  std::free(state);
  return ok;
}

int jpeg_image_save(const tbitmap *bitmap, const char16_t *path, int quality) {
  PORT_CHECK(bitmap != nullptr);
  int bpp = tbitmap_get_bpp(bitmap);
  if ((bpp != 24 && bpp != 32) || !bitmap->_pixels || !path) return 0;
  if (tbitmap_get_width(bitmap) < 1 || tbitmap_get_height(bitmap) < 1) return 0;
  jpeg_write_state *state = static_cast<jpeg_write_state *>(std::calloc(1, sizeof(jpeg_write_state)));
  if (!state) return 0;
  tsavefile save;
  FILE *file = tsavefile_open(&save, path);
  int ok = 0;
  if (file) {
    ok = write_jpeg(state, bitmap, file, quality);
    if (state->created) jpeg_destroy_compress(&state->info);
    ok = tsavefile_commit(&save, !ok);
  }
  std::free(state);
  return ok;
}

static void on_error_exit(j_common_ptr info) {
  jpeg_error *error = reinterpret_cast<jpeg_error *>(info->err);
  std::longjmp(error->jump, 1);
}

// Warnings about damaged data are counted and passed over, as the library
// would; a file that ends before its last row is a failure.
static void on_emit_message(j_common_ptr info, int level) {
  if (level >= 0) return;
  info->err->num_warnings++;
  if (info->err->msg_code == JWRN_JPEG_EOF) on_error_exit(info);
}

static void on_output_message(j_common_ptr) {}

static void set_error_manager(jpeg_error *error) {
  jpeg_std_error(&error->manager);
  error->manager.error_exit = on_error_exit;
  error->manager.emit_message = on_emit_message;
  error->manager.output_message = on_output_message;
}

static int read_jpeg(jpeg_read_state *state) {
  jpeg_decompress_struct *info = &state->info;
  info->err = &state->error.manager;
  set_error_manager(&state->error);
  if (setjmp(state->error.jump)) return 0;
  jpeg_create_decompress(info);
  state->created = true;
  jpeg_stdio_src(info, state->file);
  jpeg_read_header(info, TRUE);

  int components;
  switch (info->jpeg_color_space) {
    case JCS_GRAYSCALE:
      info->out_color_space = JCS_GRAYSCALE;
      components = 1;
      break;
    case JCS_YCbCr:
    case JCS_RGB:
      info->out_color_space = JCS_EXT_BGR;
      components = 3;
      break;
    default:
      return 0;
  }
  jpeg_calc_output_dimensions(info);
  if (int(info->output_components) != components || info->output_width > uint32_t(TBITMAP_MAX_SIDE) ||
      info->output_height > uint32_t(TBITMAP_MAX_SIDE))
    return 0;
  int32_t width = int32_t(info->output_width), height = int32_t(info->output_height);
  state->image = new_unfilled_bitmap(width, -height, 8 * components);
  if (!state->image) return 0;
  info->mem->max_memory_to_use = long(WORK_MEMORY_FACTOR * tbitmap_get_budget());

  jpeg_start_decompress(info);
  JSAMPROW rows[ROW_BATCH];
  while (info->output_scanline < info->output_height) {
    uint32_t first = info->output_scanline;
    uint32_t batch = std::min<uint32_t>(ROW_BATCH, info->output_height - first);
    for (uint32_t i = 0; i < batch; i++) rows[i] = tbitmap_get_row(state->image, int32_t(first + i));
    if (jpeg_read_scanlines(info, rows, batch) == 0) return 0;
  }
  jpeg_finish_decompress(info);
  return 1;
}

// Every row is written by the decoder, so the buffer is not filled first.
static tbitmap *new_unfilled_bitmap(int32_t width, int32_t height, int bpp) {
  tbitmap *bitmap = static_cast<tbitmap *>(std::calloc(1, sizeof(tbitmap)));
  if (!bitmap) return nullptr;
  if (!tbitmap_init_info(bitmap, width, height, bpp)) {
    std::free(bitmap);
    return nullptr;
  }
  bitmap->_pixels = tbitmap_alloc_pixels(tbitmap_get_image_size(bitmap));
  if (!bitmap->_pixels) {
    tbitmap_free(bitmap);
    return nullptr;
  }
  return bitmap;
}

static int write_jpeg(jpeg_write_state *state, const tbitmap *bitmap, FILE *file, int quality) {
  jpeg_compress_struct *info = &state->info;
  info->err = &state->error.manager;
  set_error_manager(&state->error);
  if (setjmp(state->error.jump)) return 0;
  jpeg_create_compress(info);
  state->created = true;
  jpeg_stdio_dest(info, file);
  info->image_width = JDIMENSION(tbitmap_get_width(bitmap));
  info->image_height = JDIMENSION(tbitmap_get_height(bitmap));
  bool wide = tbitmap_get_bpp(bitmap) == 32;
  info->input_components = wide ? 4 : 3;
  info->in_color_space = wide ? JCS_EXT_BGRX : JCS_EXT_BGR;
  jpeg_set_defaults(info);
  jpeg_set_quality(info, quality, TRUE);
  jpeg_start_compress(info, TRUE);
  JSAMPROW rows[ROW_BATCH];
  while (info->next_scanline < info->image_height) {
    uint32_t first = info->next_scanline;
    uint32_t batch = std::min<uint32_t>(ROW_BATCH, info->image_height - first);
    for (uint32_t i = 0; i < batch; i++) rows[i] = tbitmap_get_row(bitmap, int32_t(first + i));
    jpeg_write_scanlines(info, rows, batch);
  }
  jpeg_finish_compress(info);
  return 1;
}
