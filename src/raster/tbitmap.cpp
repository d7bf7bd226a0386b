// tbitmap: creation, release, channel set-up, row addressing, single pixels,
// fills, the three rectangle blits and BMP files.
//
// BMP file (little-endian), as read and written here:
//
// | offset | size          | field                                             |
// |--------|---------------|---------------------------------------------------|
// | 0      | 2             | "BM" (0x4D42)                                     |
// | 2      | 4             | file size                                         |
// | 6      | 4             | two reserved 16-bit words, 0                      |
// | 10     | 4             | data offset: where the pixel rows start           |
// | 14     | H             | info header, H >= 40 (the info block's first part)|
// | 14 + H | 12            | red, green, blue masks, when compression is 3 and |
// |        |               | the header is too short to hold them (H < 52)     |
// |        | 4 * colours   | palette: blue, green, red, 0                      |
// | offset | stride * |h|  | rows, bottom-up for a positive height             |
//
// The info block in memory is the header, the masks and the palette in that
// order, always at least as long as the palette the depth can index (2^bpp
// entries below 16 bpp), so palette and mask reads stay inside it.
#include "tbitmap.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "port_fs.h"
#include "port_log.h"
#include "tblit.h"
#include "tfile.h"
#include "tsavefile.h"

namespace {

uint64_t g_budget = TBITMAP_DEFAULT_BUDGET;

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

// Where the palette starts: after the header, and after the three masks when
// compression 3 puts them behind a header too short to hold them.
uint64_t palette_offset(uint32_t header_size, uint32_t compression) {
  return uint64_t(header_size) + (compression == 3 && header_size < 52 ? 12 : 0);
}

// Palette entries the block holds: what the header says, and never fewer than
// a pixel of the depth can index.
uint64_t palette_entries(int bpp, uint32_t colors_used) {
  uint64_t entries = colors_used;
  if (bpp <= 8) entries = std::max<uint64_t>(entries, uint64_t(1) << bpp);
  return entries;
}

// The format the fills and blits write: 16 bpp with exactly the 565 masks is
// 565, any other 16 bpp is 555. Nothing below 16 bpp is a destination.
tblit_format dest_format(const tbitmap *bitmap) {
  if (!bitmap->_info || !bitmap->_pixels) return TBLIT_FORMAT_NONE;
  int bpp = int(tfile_get_u16(bitmap->_info + TBITMAP_INFO_BPP));
  if (bpp < 16) return TBLIT_FORMAT_NONE;
  return tblit_source_format(bpp, bitmap->_red_mask, bitmap->_green_mask, bitmap->_blue_mask);
}

int bytes_per_pixel(tblit_format format) {
  switch (format) {
    case TBLIT_FORMAT_8: return 1;
    case TBLIT_FORMAT_24: return 3;
    case TBLIT_FORMAT_32: return 4;
    default: return 2;
  }
}

int blit(tbitmap *dst_bmp, const tpoint *dst, const tbitmap *src_bmp, const trect *src, const tbitmap *mask,
         tblit_family family, uint32_t key, int alpha);
int write_bmp(FILE *file, const tbitmap *bitmap);

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
  tfile_put_u32(info + TBITMAP_INFO_HEADER_SIZE, 40);
  tfile_put_u32(info + TBITMAP_INFO_WIDTH, uint32_t(width));
  tfile_put_u32(info + TBITMAP_INFO_HEIGHT, uint32_t(height));
  tfile_put_u16(info + TBITMAP_INFO_PLANES, 1);
  tfile_put_u16(info + TBITMAP_INFO_BPP, uint32_t(bpp));
  tfile_put_u32(info + TBITMAP_INFO_COMPRESSION, bpp == 16 ? 3 : 0);
  tfile_put_u32(info + TBITMAP_INFO_IMAGE_SIZE, uint32_t(image_size));
  if (bpp == 16) {
    tfile_put_u32(info + TBITMAP_INFO_MASKS, 0xF800);
    tfile_put_u32(info + TBITMAP_INFO_MASKS + 4, 0x07E0);
    tfile_put_u32(info + TBITMAP_INFO_MASKS + 8, 0x001F);
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
  if (!srcbmp->_info || !srcbmp->_pixels) return 0;
  uint32_t image_size = tbitmap_get_image_size(srcbmp);
  uint32_t header_size = tfile_get_u32(srcbmp->_info + TBITMAP_INFO_HEADER_SIZE);
  uint32_t compression = tfile_get_u32(srcbmp->_info + TBITMAP_INFO_COMPRESSION);
  size_t info_size = size_t(palette_offset(header_size, compression) +
                            4 * palette_entries(tbitmap_get_bpp(srcbmp), uint32_t(tbitmap_get_color_count(srcbmp))));
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
    bitmap->_red_mask = tfile_get_u32(bitmap->_info + TBITMAP_INFO_MASKS);
    bitmap->_green_mask = tfile_get_u32(bitmap->_info + TBITMAP_INFO_MASKS + 4);
    bitmap->_blue_mask = tfile_get_u32(bitmap->_info + TBITMAP_INFO_MASKS + 8);
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
  return bitmap->_info ? int32_t(tfile_get_u32(bitmap->_info + TBITMAP_INFO_WIDTH)) : 0;
}

int32_t tbitmap_get_height(const tbitmap *bitmap) {
  PORT_CHECK(bitmap != nullptr);
  if (!bitmap->_info) return 0;
  int64_t h = int32_t(tfile_get_u32(bitmap->_info + TBITMAP_INFO_HEIGHT));
  return int32_t(h < 0 ? -h : h);
}

int tbitmap_is_top_down(const tbitmap *bitmap) {
  PORT_CHECK(bitmap != nullptr);
  return bitmap->_info && int32_t(tfile_get_u32(bitmap->_info + TBITMAP_INFO_HEIGHT)) < 0;
}

int tbitmap_get_bpp(const tbitmap *bitmap) {
  PORT_CHECK(bitmap != nullptr);
  return bitmap->_info ? int(tfile_get_u16(bitmap->_info + TBITMAP_INFO_BPP)) : 0;
}

uint32_t tbitmap_get_stride(const tbitmap *bitmap) {
  PORT_CHECK(bitmap != nullptr);
  return bitmap->_stride;
}

int tbitmap_get_compression(const tbitmap *bitmap) {
  PORT_CHECK(bitmap != nullptr);
  return bitmap->_info ? int(tfile_get_u32(bitmap->_info + TBITMAP_INFO_COMPRESSION)) : 0;
}

uint32_t tbitmap_get_image_size(const tbitmap *bitmap) {
  PORT_CHECK(bitmap != nullptr);
  return bitmap->_info ? tfile_get_u32(bitmap->_info + TBITMAP_INFO_IMAGE_SIZE) : 0;
}

int tbitmap_get_color_count(const tbitmap *bitmap) {
  PORT_CHECK(bitmap != nullptr);
  if (!bitmap->_info) return 0;
  uint32_t used = tfile_get_u32(bitmap->_info + TBITMAP_INFO_COLORS_USED);
  if (used) return int(used);
  switch (tbitmap_get_bpp(bitmap)) {
    case 1: return 2;
    case 4: return 16;
    case 8: return 256;
    default: return 0;
  }
}

uint8_t *tbitmap_get_palette(const tbitmap *bitmap) {
  PORT_CHECK(bitmap != nullptr);
  uint8_t *info = bitmap->_info;
  if (!info) return nullptr;
  return info + palette_offset(tfile_get_u32(info + TBITMAP_INFO_HEADER_SIZE),
                               tfile_get_u32(info + TBITMAP_INFO_COMPRESSION));
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

uint32_t tbitmap_get_pixel(const tbitmap *bitmap, int32_t x, int32_t y) {
  PORT_CHECK(bitmap != nullptr);
  const uint8_t *p = tbitmap_get_pixel_ptr(bitmap, x, y);
  if (!p) return 0;
  switch (tbitmap_get_bpp(bitmap)) {
    case 1: return (p[0] >> (7 - (x & 7))) & 1;
    case 4: return x & 1 ? p[0] & 15 : p[0] >> 4;
    case 8: return p[0];
    case 16: return tfile_get_u16(p);
    case 24: return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
    case 32: return tfile_get_u32(p);
    default: return 0;
  }
}

int tbitmap_set_pixel(tbitmap *bitmap, int32_t x, int32_t y, uint32_t value) {
  PORT_CHECK(bitmap != nullptr);
  uint8_t *p = tbitmap_get_pixel_ptr(bitmap, x, y);
  if (!p) return 0;
  switch (tbitmap_get_bpp(bitmap)) {
    case 1: {
      // The value is cut to its bit so that it cannot spill into the neighbours.
      int bit = 7 - (x & 7);
      p[0] = uint8_t((p[0] & ~(1 << bit)) | (value & 1) << bit);
      return 1;
    }
    case 4:
      p[0] = x & 1 ? uint8_t((p[0] & 0xF0) | (value & 15)) : uint8_t((p[0] & 0x0F) | (value & 15) << 4);
      return 1;
    case 8: p[0] = uint8_t(value); return 1;
    case 16: tfile_put_u16(p, value); return 1;
    case 24:
      p[0] = uint8_t(value), p[1] = uint8_t(value >> 8), p[2] = uint8_t(value >> 16);
      return 1;
    case 32: tfile_put_u32(p, value); return 1;
    default: return 0;
  }
}

int tbitmap_get_pixel_color(const tbitmap *bitmap, int32_t x, int32_t y, tcolor *out) {
  PORT_CHECK(bitmap != nullptr && out != nullptr);
  if (!bitmap->_info) return 1;
  uint32_t raw = tbitmap_get_pixel(bitmap, x, y);
  int bpp = tbitmap_get_bpp(bitmap);
  if (bpp <= 8) {
    const uint8_t *entry = tbitmap_get_palette(bitmap) + 4 * size_t(raw);
    out->blue = entry[0], out->green = entry[1], out->red = entry[2], out->alpha = entry[3];
  } else if (bpp == 24) {
    out->blue = uint8_t(raw), out->green = uint8_t(raw >> 8), out->red = uint8_t(raw >> 16), out->alpha = 0;
  } else if (bpp == 32 && tbitmap_get_compression(bitmap) == 0) {
    out->blue = uint8_t(raw), out->green = uint8_t(raw >> 8), out->red = uint8_t(raw >> 16);
    out->alpha = uint8_t(raw >> 24);
  } else {
    out->red = uint8_t(((raw & bitmap->_red_mask) >> bitmap->_red_shift) << bitmap->_red_loss);
    out->green = uint8_t(((raw & bitmap->_green_mask) >> bitmap->_green_shift) << bitmap->_green_loss);
    out->blue = uint8_t(((raw & bitmap->_blue_mask) >> bitmap->_blue_shift) << bitmap->_blue_loss);
  }
  return 1;
}

// Unlike the fill workers, a single pixel blends with 255 - a against a and
// sets a 32-bit pixel's fourth byte: the drawing tools' strokes rely on both.
int tbitmap_blend_pixel(tbitmap *bitmap, int32_t x, int32_t y, uint32_t color) {
  PORT_CHECK(bitmap != nullptr);
  int bpp = tbitmap_get_bpp(bitmap);
  if (bpp < 9) return 0;
  uint8_t *p = tbitmap_get_pixel_ptr(bitmap, x, y);
  if (!p) return 0;
  uint32_t a = color >> 24, r = (color >> 16) & 0xFF, g = (color >> 8) & 0xFF, b = color & 0xFF;
  bool plain32 = bpp == 32 && tbitmap_get_compression(bitmap) == 0;
  auto mix = [a](uint32_t old, uint32_t c) { return (old * (255 - a) + c * a) >> 8; };
  if (bpp == 24 || plain32) {
    if (a == 255) {
      p[0] = uint8_t(b), p[1] = uint8_t(g), p[2] = uint8_t(r);
    } else {
      p[0] = uint8_t(mix(p[0], b)), p[1] = uint8_t(mix(p[1], g)), p[2] = uint8_t(mix(p[2], r));
    }
    if (plain32) p[3] = 255;
    return 1;
  }
  if (a < 255) {
    uint32_t raw = tbitmap_get_pixel(bitmap, x, y);
    r = mix(((raw & bitmap->_red_mask) >> bitmap->_red_shift) << bitmap->_red_loss & 0xFF, r) & 0xFF;
    g = mix(((raw & bitmap->_green_mask) >> bitmap->_green_shift) << bitmap->_green_loss & 0xFF, g) & 0xFF;
    b = mix(((raw & bitmap->_blue_mask) >> bitmap->_blue_shift) << bitmap->_blue_loss & 0xFF, b) & 0xFF;
  }
  uint32_t packed = (r >> bitmap->_red_loss) << bitmap->_red_shift | (g >> bitmap->_green_loss) << bitmap->_green_shift |
                    (b >> bitmap->_blue_loss) << bitmap->_blue_shift;
  tbitmap_set_pixel(bitmap, x, y, packed);
  return 1;
}

int tbitmap_set_opaque(tbitmap *bitmap, int on) {
  PORT_CHECK(bitmap != nullptr);
  int was = bitmap->_opaque != 0;
  bitmap->_opaque = on && tbitmap_get_bpp(bitmap) == 32 && tbitmap_get_compression(bitmap) == 0;
  return was;
}

int tbitmap_draw_hline(tbitmap *bitmap, int32_t x1, int32_t x2, int32_t y, uint32_t color) {
  PORT_CHECK(bitmap != nullptr);
  tblit_format format = dest_format(bitmap);
  int32_t width = tbitmap_get_width(bitmap);
  if (format == TBLIT_FORMAT_NONE) return 0;
  if ((x1 < 0 && x2 < 0) || (x1 >= width && x2 >= width)) return 0;
  uint8_t *row = tbitmap_get_row(bitmap, y);
  if (!row) return 0;
  x1 = std::clamp(x1, 0, width - 1);
  x2 = std::clamp(x2, 0, width - 1);
  if (x1 > x2) std::swap(x1, x2);
  uint8_t *start = row + size_t(x1) * bytes_per_pixel(format);
  int32_t count = x2 - x1 + 1;
  switch (format) {
    case TBLIT_FORMAT_555: tblit_hline_555(start, count, color); break;
    case TBLIT_FORMAT_565: tblit_hline_565(start, count, color); break;
    case TBLIT_FORMAT_24: tblit_hline_24(start, count, color); break;
    default:
      if (bitmap->_opaque)
        tblit_hline_32_opaque(start, count, color);
      else
        tblit_hline_32(start, count, color);
      break;
  }
  return 1;
}

int tbitmap_draw_vline(tbitmap *bitmap, int32_t x, int32_t y1, int32_t y2, uint32_t color) {
  PORT_CHECK(bitmap != nullptr);
  tblit_format format = dest_format(bitmap);
  int32_t height = tbitmap_get_height(bitmap);
  if (format == TBLIT_FORMAT_NONE) return 0;
  if ((y1 < 0 && y2 < 0) || (y1 >= height && y2 >= height)) return 0;
  if (x < 0 || x >= tbitmap_get_width(bitmap)) return 0;
  y1 = std::clamp(y1, 0, height - 1);
  y2 = std::clamp(y2, 0, height - 1);
  if (y1 > y2) std::swap(y1, y2);
  uint8_t *start = tbitmap_get_pixel_ptr(bitmap, x, y1);
  uint32_t stride = bitmap->_stride;
  int32_t count = y2 - y1 + 1;
  bool top_down = tbitmap_is_top_down(bitmap);
  switch (format) {
    case TBLIT_FORMAT_555: tblit_vline_555(start, stride, count, color, top_down); break;
    case TBLIT_FORMAT_565: tblit_vline_565(start, stride, count, color, top_down); break;
    case TBLIT_FORMAT_24: tblit_vline_24(start, stride, count, color, top_down); break;
    default: tblit_vline_32(start, stride, count, color, top_down); break;
  }
  return 1;
}

int tbitmap_fill_rect(tbitmap *bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t color) {
  PORT_CHECK(bitmap != nullptr);
  tblit_format format = dest_format(bitmap);
  if (format == TBLIT_FORMAT_NONE) return 0;
  if (x1 > x2) std::swap(x1, x2);
  if (y1 > y2) std::swap(y1, y2);
  if (x2 < 0 || y2 < 0) return 0;
  int32_t left = std::max(x1, 0), top = std::max(y1, 0);
  uint8_t *start = tbitmap_get_pixel_ptr(bitmap, left, top);
  if (!start) return 0;
  int32_t columns = std::min(x2, tbitmap_get_width(bitmap) - 1) - left + 1;
  int32_t rows = std::min(y2, tbitmap_get_height(bitmap) - 1) - top + 1;
  uint32_t stride = bitmap->_stride;
  bool top_down = tbitmap_is_top_down(bitmap);
  switch (format) {
    case TBLIT_FORMAT_555: tblit_fill_rect_555(start, stride, columns, rows, color, top_down); break;
    case TBLIT_FORMAT_565: tblit_fill_rect_565(start, stride, columns, rows, color, top_down); break;
    case TBLIT_FORMAT_24: tblit_fill_rect_24(start, stride, columns, rows, color, top_down); break;
    default:
      if (bitmap->_opaque)
        tblit_fill_rect_32_opaque(start, stride, columns, rows, color, top_down);
      else
        tblit_fill_rect_32(start, stride, columns, rows, color, top_down);
      break;
  }
  return 1;
}

int tbitmap_blit_alpha(tbitmap *dst_bmp, const tpoint *dst, const tbitmap *src_bmp, const trect *src, int alpha) {
  PORT_CHECK(dst_bmp != nullptr && src_bmp != nullptr);
  PORT_CHECK(dst != nullptr && src != nullptr);
  return blit(dst_bmp, dst, src_bmp, src, nullptr, TBLIT_ALPHA, TBLIT_NO_KEY, std::clamp(alpha, 0, 256));
}

int tbitmap_blit_masked(tbitmap *dst_bmp, const tpoint *dst, const tbitmap *src_bmp, const trect *src,
                        const tbitmap *mask, int alpha) {
  PORT_CHECK(dst_bmp != nullptr && src_bmp != nullptr);
  PORT_CHECK(dst != nullptr && src != nullptr && mask != nullptr);
  return blit(dst_bmp, dst, src_bmp, src, mask, TBLIT_MASKED, TBLIT_NO_KEY, std::clamp(alpha, 0, 255));
}

int tbitmap_blit_keyed(tbitmap *dst_bmp, const tpoint *dst, const tbitmap *src_bmp, const trect *src,
                       uint32_t key, int alpha) {
  PORT_CHECK(dst_bmp != nullptr && src_bmp != nullptr);
  PORT_CHECK(dst != nullptr && src != nullptr);
  return blit(dst_bmp, dst, src_bmp, src, nullptr, TBLIT_KEYED, key, std::clamp(alpha, 0, 255));
}

int tbitmap_load_bmp(tbitmap *bitmap, const char16_t *path) {
  PORT_CHECK(bitmap != nullptr);
  if (!path) return 0;
  FILE *file = port_fs_open(path, "rb");
  if (!file) return 0;
  std::memset(bitmap, 0, sizeof *bitmap);

  uint8_t *info = nullptr;
  uint8_t *pixels = nullptr;
  auto fail = [&]() {
    std::free(info);
    tbitmap_free_pixels(pixels);
    std::fclose(file);
    std::memset(bitmap, 0, sizeof *bitmap);
    return 0;
  };

  // Every size below is checked against the real length of the file before
  // anything of that size is allocated.
  struct stat st;
  if (fstat(fileno(file), &st) != 0) return fail();
  uint64_t file_length = uint64_t(st.st_size);

  uint32_t type = tfile_read_u16(file);
  tfile_read_u32(file);  // the stored file size is not trusted
  tfile_read_u16(file);
  tfile_read_u16(file);
  uint32_t data_offset = tfile_read_u32(file);
  uint32_t header_size = tfile_read_u32(file);
  if (std::feof(file) || std::ferror(file) || type != 0x4D42) return fail();
  if (header_size < 40 || uint64_t(data_offset) < 14 + uint64_t(header_size) || data_offset > file_length)
    return fail();

  uint8_t header[40];
  tfile_put_u32(header, header_size);
  if (std::fread(header + 4, 1, 36, file) != 36) return fail();
  int32_t width = int32_t(tfile_get_u32(header + TBITMAP_INFO_WIDTH));
  int32_t height = int32_t(tfile_get_u32(header + TBITMAP_INFO_HEIGHT));
  int bpp = int(tfile_get_u16(header + TBITMAP_INFO_BPP));
  uint32_t compression = tfile_get_u32(header + TBITMAP_INFO_COMPRESSION);
  uint32_t colors_used = tfile_get_u32(header + TBITMAP_INFO_COLORS_USED);
  if (compression != 0 && compression != 3) return fail();
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return fail();
  if (width < 1 || width > TBITMAP_MAX_SIDE || height == 0 || height < -TBITMAP_MAX_SIDE ||
      height > TBITMAP_MAX_SIDE || colors_used > 256)
    return fail();

  uint64_t stride = stride_of(width, bpp);
  uint64_t pixel_bytes = stride * uint64_t(height < 0 ? -int64_t(height) : int64_t(height));
  if (uint64_t(data_offset) + pixel_bytes > file_length) return fail();

  // The block keeps the header, the masks and the palette; bytes the file
  // does not have before its pixel data stay zero.
  uint64_t block_size = palette_offset(header_size, compression) + 4 * palette_entries(bpp, colors_used);
  uint64_t stored = std::min<uint64_t>(data_offset - 14, block_size);
  info = static_cast<uint8_t *>(std::calloc(1, size_t(block_size)));
  if (!info) return fail();
  std::memcpy(info, header, sizeof header);
  if (std::fread(info + 40, 1, size_t(stored - 40), file) != stored - 40) return fail();
  if (std::fseek(file, long(data_offset), SEEK_SET) != 0) return fail();

  pixels = tbitmap_alloc_pixels(pixel_bytes);
  if (!pixels) return fail();
  if (std::fread(pixels, 1, size_t(pixel_bytes), file) != pixel_bytes) return fail();
  std::fclose(file);

  tfile_put_u32(info + TBITMAP_INFO_IMAGE_SIZE, uint32_t(pixel_bytes));
  bitmap->_info = info;
  bitmap->_pixels = pixels;
  bitmap->_stride = uint32_t(stride);
  tbitmap_init_channels(bitmap);
  return 1;
}

// Writes a temporary file beside the target and renames it over the target,
// so a failed save leaves the old file as it was.
int tbitmap_save_bmp(const tbitmap *bitmap, const char16_t *path) {
  PORT_CHECK(bitmap != nullptr);
  if (!path || !bitmap->_info || !bitmap->_pixels) return 0;
  tsavefile save;
  FILE *file = tsavefile_open(&save, path);
  if (!file) return 0;
  return tsavefile_commit(&save, !write_bmp(file, bitmap));
}

namespace {

// The common part of the three blits: clip, check the formats, point the
// worker at the first pixel of each buffer. 64-bit arithmetic, so no point or
// rectangle can overflow the clipping.
int blit(tbitmap *dst_bmp, const tpoint *dst, const tbitmap *src_bmp, const trect *src, const tbitmap *mask,
         tblit_family family, uint32_t key, int alpha) {
  int64_t dx = dst->x, dy = dst->y;
  trect r = *src;
  trect_normalize(&r);
  int64_t sx = r.x1, sy = r.y1;
  if (dx < 0) sx -= dx, dx = 0;
  if (dy < 0) sy -= dy, dy = 0;
  if (sx < 0) dx -= sx, sx = 0;
  if (sy < 0) dy -= sy, sy = 0;

  tblit_format dst_format = dest_format(dst_bmp);
  if (dst_format == TBLIT_FORMAT_NONE || !src_bmp->_info || !src_bmp->_pixels) return 0;
  tblit_format src_format =
      tblit_source_format(tbitmap_get_bpp(src_bmp), src_bmp->_red_mask, src_bmp->_green_mask, src_bmp->_blue_mask);
  if (src_format == TBLIT_FORMAT_NONE) return 0;
  int32_t src_width = tbitmap_get_width(src_bmp), src_height = tbitmap_get_height(src_bmp);
  if (mask && (tbitmap_get_bpp(mask) != 8 || !mask->_pixels || tbitmap_get_width(mask) != src_width ||
               tbitmap_get_height(mask) != src_height))
    return 0;
  tblit_worker worker = tblit_select(family, src_format, dst_format);
  if (!worker) return 0;

  int64_t columns = int64_t(r.x2) - sx + 1, rows = int64_t(r.y2) - sy + 1;
  columns = std::min(columns, src_width - sx);
  columns = std::min(columns, tbitmap_get_width(dst_bmp) - dx);
  rows = std::min(rows, src_height - sy);
  rows = std::min(rows, tbitmap_get_height(dst_bmp) - dy);
  if (columns <= 0 || rows <= 0) return 1;

  tblit_job job = {};
  job.dst = tbitmap_get_row(dst_bmp, int32_t(dy)) + dx * bytes_per_pixel(dst_format);
  job.dst_stride = dst_bmp->_stride;
  job.src = tbitmap_get_row(src_bmp, int32_t(sy)) + sx * bytes_per_pixel(src_format);
  job.src_stride = src_bmp->_stride;
  job.palette = src_format == TBLIT_FORMAT_8 ? tbitmap_get_palette(src_bmp) : nullptr;
  job.columns = int32_t(columns);
  job.rows = int32_t(rows);
  if (mask) {
    job.mask = tbitmap_get_row(mask, int32_t(sy)) + sx;
    job.mask_stride = mask->_stride;
    job.mask_top_down = tbitmap_is_top_down(mask);
  }
  job.key = key;
  job.alpha = alpha;
  job.src_top_down = tbitmap_is_top_down(src_bmp);
  job.dst_top_down = tbitmap_is_top_down(dst_bmp);
  worker(&job);
  return 1;
}

int write_bmp(FILE *file, const tbitmap *bitmap) {
  uint32_t header_size = tfile_get_u32(bitmap->_info + TBITMAP_INFO_HEADER_SIZE);
  uint32_t compression = tfile_get_u32(bitmap->_info + TBITMAP_INFO_COMPRESSION);
  uint64_t block = palette_offset(header_size, compression) + 4 * uint64_t(tbitmap_get_color_count(bitmap));
  uint64_t image_size = tbitmap_get_image_size(bitmap);
  uint64_t file_size = 14 + block + image_size;
  if (file_size > 0xFFFFFFFFu) return 0;
  const uint32_t failed = 0xFFFFFFFFu;
  if (tfile_write_u16(file, 0x4D42) == failed || tfile_write_u32(file, uint32_t(file_size)) == failed ||
      tfile_write_u16(file, 0) == failed || tfile_write_u16(file, 0) == failed ||
      tfile_write_u32(file, uint32_t(14 + block)) == failed)
    return 0;
  if (std::fwrite(bitmap->_info, 1, size_t(block), file) != block) return 0;
  if (std::fwrite(bitmap->_pixels, 1, size_t(image_size), file) != image_size) return 0;
  return !std::ferror(file);
}

}  // namespace
