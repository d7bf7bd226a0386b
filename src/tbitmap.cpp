// tbitmap: creation, release, channel set-up and row addressing.
#include "tbitmap.h"

#include <cstdlib>
#include <cstring>

#include "port_log.h"

namespace {

uint64_t g_budget = TBITMAP_DEFAULT_BUDGET;

void put_u16(uint8_t *p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}
void put_u32(uint8_t *p, uint32_t v) {
  for (int i = 0; i < 4; i++) p[i] = uint8_t(v >> (8 * i));
}
uint32_t get_u16(const uint8_t *p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }
uint32_t get_u32(const uint8_t *p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

uint64_t stride_of(int64_t width, int bpp) { return uint64_t((bpp * width + 31) >> 5) * 4; }

// Shift = trailing zero bits; loss = 8 minus the run of one bits above them,
// never negative (a mask wider than 8 bits loses nothing).
void mask_fields(uint32_t mask, uint32_t *shift, uint32_t *loss) {
  *shift = 0;
  *loss = 0;
  if (!mask) return;
  uint32_t s = 0;
  while (!(mask & (1u << s))) s++;
  uint32_t run = 0;
  while (s + run < 32 && (mask & (1u << (s + run)))) run++;
  *shift = s;
  *loss = run >= 8 ? 0 : 8 - run;
}

}  // namespace

uint64_t tbitmap_set_budget(uint64_t bytes) {
  uint64_t old = g_budget;
  g_budget = bytes;
  return old;
}

uint64_t tbitmap_get_budget() { return g_budget; }

uint8_t *tbitmap_alloc_pixels(uint64_t bytes) {
  if (bytes > g_budget) return nullptr;
  return static_cast<uint8_t *>(std::malloc(bytes ? size_t(bytes) : 1));
}

void tbitmap_free_pixels(uint8_t *pixels) { std::free(pixels); }

int tbitmap_init_info(tbitmap *bitmap, int32_t width, int32_t height, int bpp) {
  PORT_CHECK(bitmap != nullptr);
  if (bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return 0;
  if (width < 0 || width > TBITMAP_MAX_SIDE || height < -TBITMAP_MAX_SIDE || height > TBITMAP_MAX_SIDE) return 0;
  uint64_t stride = stride_of(width, bpp);
  uint64_t rows = uint64_t(height < 0 ? -int64_t(height) : int64_t(height));
  uint64_t image_size = stride * rows;
  if (image_size > g_budget) return 0;

  size_t info_size = 40;
  if (bpp == 16) info_size += 12;
  if (bpp < 16) info_size += size_t(4) << bpp;
  uint8_t *info = static_cast<uint8_t *>(std::calloc(1, info_size));
  if (!info) return 0;

  std::memset(bitmap, 0, sizeof *bitmap);
  put_u32(info + TBITMAP_INFO_HEADER_SIZE, 40);
  put_u32(info + TBITMAP_INFO_WIDTH, uint32_t(width));
  put_u32(info + TBITMAP_INFO_HEIGHT, uint32_t(height));
  put_u16(info + TBITMAP_INFO_PLANES, 1);
  put_u16(info + TBITMAP_INFO_BPP, uint32_t(bpp));
  put_u32(info + TBITMAP_INFO_COMPRESSION, bpp == 16 ? 3 : 0);
  put_u32(info + TBITMAP_INFO_IMAGE_SIZE, uint32_t(image_size));
  if (bpp == 16) {
    put_u32(info + TBITMAP_INFO_MASKS, 0xF800);
    put_u32(info + TBITMAP_INFO_MASKS + 4, 0x07E0);
    put_u32(info + TBITMAP_INFO_MASKS + 8, 0x001F);
  } else if (bpp == 8) {
    for (int i = 0; i < 256; i++) {
      uint8_t *entry = info + 40 + 4 * i;
      entry[0] = entry[1] = entry[2] = uint8_t(i);
    }
  }
  bitmap->_info = info;
  bitmap->_stride = uint32_t(stride);
  tbitmap_init_channels(bitmap);
  return 1;
}

int tbitmap_init(tbitmap *bitmap, int32_t width, int32_t height, int bpp) {
  PORT_CHECK(bitmap != nullptr);
  if (!tbitmap_init_info(bitmap, width, height, bpp)) return 0;
  uint64_t bytes = tbitmap_get_image_size(bitmap);
  bitmap->_pixels = tbitmap_alloc_pixels(bytes);
  if (!bitmap->_pixels) {
    tbitmap_deinit(bitmap);
    return 0;
  }
  std::memset(bitmap->_pixels, 0xFF, size_t(bytes));
  return 1;
}

tbitmap *tbitmap_new(int32_t width, int32_t height, int bpp) {
  tbitmap *bitmap = static_cast<tbitmap *>(std::calloc(1, sizeof(tbitmap)));
  if (!bitmap) return nullptr;
  if (!tbitmap_init(bitmap, width, height, bpp)) {
    std::free(bitmap);
    return nullptr;
  }
  return bitmap;
}

int tbitmap_init_copy(tbitmap *bitmap, const tbitmap *srcbmp) {
  PORT_CHECK(bitmap != nullptr && srcbmp != nullptr);
  std::memset(bitmap, 0, sizeof *bitmap);
  uint32_t image_size = tbitmap_get_image_size(srcbmp);
  uint32_t header_size = get_u32(srcbmp->_info + TBITMAP_INFO_HEADER_SIZE);
  size_t info_size = header_size;
  if (tbitmap_get_compression(srcbmp) == 3) info_size += 12;
  info_size += 4 * size_t(tbitmap_get_color_count(srcbmp));
  uint8_t *pixels = tbitmap_alloc_pixels(image_size);
  uint8_t *info = static_cast<uint8_t *>(std::malloc(info_size));
  if (!pixels || !info) {
    tbitmap_free_pixels(pixels);
    std::free(info);
    return 0;
  }
  std::memcpy(pixels, srcbmp->_pixels, image_size);
  std::memcpy(info, srcbmp->_info, info_size);
  bitmap->_pixels = pixels;
  bitmap->_info = info;
  bitmap->_stride = srcbmp->_stride;
  tbitmap_init_channels(bitmap);
  return 1;
}

tbitmap *tbitmap_new_copy(const tbitmap *srcbmp) {
  PORT_CHECK(srcbmp != nullptr);
  tbitmap *bitmap = static_cast<tbitmap *>(std::calloc(1, sizeof(tbitmap)));
  if (!bitmap) return nullptr;
  if (!tbitmap_init_copy(bitmap, srcbmp)) {
    std::free(bitmap);
    return nullptr;
  }
  return bitmap;
}

void tbitmap_init_channels(tbitmap *bitmap) {
  PORT_CHECK(bitmap != nullptr);
  if (!bitmap->_info) return;
  int bpp = tbitmap_get_bpp(bitmap);
  int compression = tbitmap_get_compression(bitmap);
  if (compression == 0 && bpp == 16) {
    bitmap->_red_mask = 0xF800, bitmap->_green_mask = 0x07E0, bitmap->_blue_mask = 0x001F;
  } else if (compression == 0 && (bpp == 24 || bpp == 32)) {
    bitmap->_red_mask = 0xFF0000, bitmap->_green_mask = 0xFF00, bitmap->_blue_mask = 0xFF;
  } else if (compression == 3) {
    bitmap->_red_mask = get_u32(bitmap->_info + TBITMAP_INFO_MASKS);
    bitmap->_green_mask = get_u32(bitmap->_info + TBITMAP_INFO_MASKS + 4);
    bitmap->_blue_mask = get_u32(bitmap->_info + TBITMAP_INFO_MASKS + 8);
  } else {
    return;
  }
  mask_fields(bitmap->_red_mask, &bitmap->_red_shift, &bitmap->_red_loss);
  mask_fields(bitmap->_green_mask, &bitmap->_green_shift, &bitmap->_green_loss);
  mask_fields(bitmap->_blue_mask, &bitmap->_blue_shift, &bitmap->_blue_loss);
}

void tbitmap_deinit(tbitmap *bitmap) {
  PORT_CHECK(bitmap != nullptr);
  if (!bitmap->_view) {
    tbitmap_free_pixels(bitmap->_pixels);
    std::free(bitmap->_info);
  }
  std::memset(bitmap, 0, sizeof *bitmap);
}

void tbitmap_free(tbitmap *bitmap) {
  PORT_CHECK(bitmap != nullptr);
  tbitmap_deinit(bitmap);
  std::free(bitmap);
}

int32_t tbitmap_get_width(const tbitmap *bitmap) {
  PORT_CHECK(bitmap != nullptr);
  return bitmap->_info ? int32_t(get_u32(bitmap->_info + TBITMAP_INFO_WIDTH)) : 0;
}

int32_t tbitmap_get_height(const tbitmap *bitmap) {
  PORT_CHECK(bitmap != nullptr);
  if (!bitmap->_info) return 0;
  int64_t h = int32_t(get_u32(bitmap->_info + TBITMAP_INFO_HEIGHT));
  return int32_t(h < 0 ? -h : h);
}

int tbitmap_is_top_down(const tbitmap *bitmap) {
  PORT_CHECK(bitmap != nullptr);
  return bitmap->_info && int32_t(get_u32(bitmap->_info + TBITMAP_INFO_HEIGHT)) < 0;
}

int tbitmap_get_bpp(const tbitmap *bitmap) {
  PORT_CHECK(bitmap != nullptr);
  return bitmap->_info ? int(get_u16(bitmap->_info + TBITMAP_INFO_BPP)) : 0;
}

uint32_t tbitmap_get_stride(const tbitmap *bitmap) {
  PORT_CHECK(bitmap != nullptr);
  return bitmap->_stride;
}

int tbitmap_get_compression(const tbitmap *bitmap) {
  PORT_CHECK(bitmap != nullptr);
  return bitmap->_info ? int(get_u32(bitmap->_info + TBITMAP_INFO_COMPRESSION)) : 0;
}

uint32_t tbitmap_get_image_size(const tbitmap *bitmap) {
  PORT_CHECK(bitmap != nullptr);
  return bitmap->_info ? get_u32(bitmap->_info + TBITMAP_INFO_IMAGE_SIZE) : 0;
}

int tbitmap_get_color_count(const tbitmap *bitmap) {
  PORT_CHECK(bitmap != nullptr);
  if (!bitmap->_info) return 0;
  uint32_t used = get_u32(bitmap->_info + TBITMAP_INFO_COLORS_USED);
  if (used) return int(used);
  switch (tbitmap_get_bpp(bitmap)) {
    case 1: return 2;
    case 4: return 16;
    case 8: return 256;
    default: return 0;
  }
}

uint8_t *tbitmap_get_row(const tbitmap *bitmap, int32_t y) {
  PORT_CHECK(bitmap != nullptr);
  int32_t height = tbitmap_get_height(bitmap);
  if (y < 0 || y >= height || !bitmap->_pixels) return nullptr;
  uint64_t index = tbitmap_is_top_down(bitmap) ? uint64_t(y) : uint64_t(height - 1 - y);
  return bitmap->_pixels + index * bitmap->_stride;
}

uint8_t *tbitmap_get_pixel_ptr(const tbitmap *bitmap, int32_t x, int32_t y) {
  PORT_CHECK(bitmap != nullptr);
  if (x < 0 || x >= tbitmap_get_width(bitmap)) return nullptr;
  uint8_t *row = tbitmap_get_row(bitmap, y);
  if (!row) return nullptr;
  return row + ((uint64_t(tbitmap_get_bpp(bitmap)) * uint64_t(x)) >> 3);
}
