// tscale: nearest-neighbour scaling.
#include "tscale.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "port_log.h"

namespace {

// An 8-bit bitmap's info block always holds all 256 entries.
constexpr size_t PALETTE_BYTES = 256 * 4;

bool is_scalable(const tbitmap *bitmap);
int32_t engine_row_to_dst(const tscale_context *ctx, int32_t y);
template <class Pixel>
void sample_row(uint8_t *dst, const uint8_t *src, int32_t count, uint32_t xstep);
void sample_row_24(uint8_t *dst, const uint8_t *src, int32_t count, uint32_t xstep);
template <int Bytes>
void sample_row_at(uint8_t *dst, const uint8_t *src, int32_t count, const uint32_t *offsets);

// Destinations up to this wide sample through a table of source offsets
// made once per scale (on the stack); wider ones work each column out as
// they go. Both follow the same rule: column x samples (x * xstep) >> 16.
constexpr int32_t TABLE_COLUMNS = 2048;

uint64_t g_sampled_pixels = 0;

}  // namespace

tbitmap *tscale_new_scaled(const tbitmap *src_bmp, int32_t width, int32_t height, int fit) {
  PORT_CHECK(src_bmp != nullptr);
  if (!is_scalable(src_bmp)) return nullptr;
  int64_t h64 = height < 0 ? -int64_t(height) : int64_t(height);
  if (width < 1 || h64 < 1 || h64 > INT32_MAX) return nullptr;
  int32_t w = width, h = int32_t(h64);
  if (fit) tscale_fit_size(src_bmp, w, h, &w, &h);
  int bpp = tbitmap_get_bpp(src_bmp);
  tbitmap *dst = tbitmap_new(w, height < 0 ? -h : h, bpp);
  if (!dst) return nullptr;
  if (bpp == 8) std::memcpy(tbitmap_get_palette(dst), tbitmap_get_palette(src_bmp), PALETTE_BYTES);
  tscale_context ctx = {dst, src_bmp, 0};
  tscale_scale_rows(&ctx, src_bmp, w, h, tscale_on_get_row, tscale_on_put_row);
  return dst;
}

void tscale_fit_size(const tbitmap *src_bmp, int32_t width, int32_t height, int32_t *out_width, int32_t *out_height) {
  PORT_CHECK(src_bmp != nullptr && out_width != nullptr && out_height != nullptr);
  int32_t src_width = tbitmap_get_width(src_bmp), src_height = std::abs(tbitmap_get_height(src_bmp));
  if (src_width < 1 || src_height < 1) {
    *out_width = width;
    *out_height = height;
    return;
  }
  double s = std::min(double(width) / src_width, double(height) / src_height);
  // A very long, thin picture would otherwise come out 0 pixels across.
  *out_width = int32_t(std::max<int64_t>(1, int64_t(src_width * s)));
  *out_height = int32_t(std::max<int64_t>(1, int64_t(src_height * s)));
}

tbitmap *tscale_new_scaled_part(const tbitmap *src_bmp, int32_t width, int32_t height, const trect *part) {
  PORT_CHECK(src_bmp != nullptr && part != nullptr);
  if (!is_scalable(src_bmp) || width < 1 || height < 1) return nullptr;
  if (part->x1 < 0 || part->y1 < 0 || part->x1 > part->x2 || part->y1 > part->y2 || part->x2 >= width ||
      part->y2 >= height)
    return nullptr;
  const int32_t part_width = part->x2 - part->x1 + 1, part_height = part->y2 - part->y1 + 1;
  const int bpp = tbitmap_get_bpp(src_bmp);
  tbitmap *dst = tbitmap_new(part_width, -part_height, bpp);
  if (!dst) return nullptr;
  if (bpp == 8) std::memcpy(tbitmap_get_palette(dst), tbitmap_get_palette(src_bmp), PALETTE_BYTES);
  // The steps and the rule of the whole scale: column x samples
  // (x * xstep) >> 16, engine row y (the source's memory order) row
  // (y * ystep) >> 16.
  const uint32_t xstep = uint32_t((uint64_t(tbitmap_get_width(src_bmp)) << 16) / uint64_t(width));
  const uint64_t ystep = (uint64_t(tbitmap_get_height(src_bmp)) << 16) / uint64_t(height);
  const uint64_t stride = tbitmap_get_stride(src_bmp);
  const bool top_down = tbitmap_is_top_down(src_bmp);
  const size_t pixel_bytes = size_t(bpp / 8);
  for (int32_t r = 0; r < part_height; r++) {
    int64_t y = int64_t(part->y1) + r;
    uint64_t engine_row = uint64_t(top_down ? y : height - 1 - y);
    const uint8_t *src = src_bmp->_pixels + ((engine_row * ystep) >> 16) * stride;
    uint8_t *row = tbitmap_get_row(dst, r);
    for (int32_t x = 0; x < part_width; x++)
      std::memcpy(row + pixel_bytes * size_t(x), src + pixel_bytes * size_t((uint64_t(part->x1 + x) * xstep) >> 16),
                  pixel_bytes);
  }
  g_sampled_pixels += uint64_t(part_width) * uint64_t(part_height);
  return dst;
}

uint64_t tscale_get_sampled_pixels() { return g_sampled_pixels; }

int tscale_scale_into(const tbitmap *bitmap, tbitmap *dst_bmp) {
  PORT_CHECK(bitmap != nullptr && dst_bmp != nullptr);
  if (!is_scalable(bitmap) || !is_scalable(dst_bmp)) return 0;
  int bpp = tbitmap_get_bpp(bitmap);
  if (bpp != tbitmap_get_bpp(dst_bmp)) return 0;
  if (bpp == 8) std::memmove(tbitmap_get_palette(dst_bmp), tbitmap_get_palette(bitmap), PALETTE_BYTES);
  tscale_context ctx = {dst_bmp, bitmap, 0};
  return tscale_scale_rows(&ctx, bitmap, tbitmap_get_width(dst_bmp), tbitmap_get_height(dst_bmp), tscale_on_get_row,
                           tscale_on_put_row);
}

int tscale_scale_rows(void *ctx, const tbitmap *src, int32_t dst_width, int32_t dst_height, tscale_get_row_fn get_row,
                      tscale_put_row_fn put_row) {
  PORT_CHECK(src != nullptr && get_row != nullptr && put_row != nullptr);
  if (dst_width < 1 || dst_height < 1 || !is_scalable(src)) return 0;
  const int32_t src_width = tbitmap_get_width(src), src_height = tbitmap_get_height(src);
  const int bpp = tbitmap_get_bpp(src);
  const uint64_t stride = tbitmap_get_stride(src);
  // Sides are at most 32767, so every x * xstep stays below 2^31.
  const uint32_t xstep = uint32_t((uint64_t(src_width) << 16) / uint64_t(dst_width));
  const uint64_t ystep = (uint64_t(src_height) << 16) / uint64_t(dst_height);

  const int pixel_bytes = bpp / 8;
  uint32_t offsets[TABLE_COLUMNS];
  const bool table = dst_width <= TABLE_COLUMNS;
  for (int32_t x = 0; table && x < dst_width; x++) offsets[x] = uint32_t(pixel_bytes * ((uint64_t(x) * xstep) >> 16));

  uint64_t fy = 0;
  uint64_t src_row = 0;
  uint8_t *row = nullptr;
  for (int32_t y = 0; y < dst_height; y++) {
    if (y > 0) {
      fy += ystep;
      if ((fy >> 16) == src_row) {
        put_row(ctx, row, y);
        g_sampled_pixels += uint64_t(dst_width);
        continue;
      }
      src_row = fy >> 16;
    }
    row = get_row(ctx, y);
    if (!row) return 0;
    g_sampled_pixels += uint64_t(dst_width);
    const uint8_t *src_pixels = src->_pixels + src_row * stride;
    if (table) {
      switch (bpp) {
        case 8: sample_row_at<1>(row, src_pixels, dst_width, offsets); break;
        case 16: sample_row_at<2>(row, src_pixels, dst_width, offsets); break;
        case 24: sample_row_at<3>(row, src_pixels, dst_width, offsets); break;
        default: sample_row_at<4>(row, src_pixels, dst_width, offsets); break;
      }
      put_row(ctx, row, y);
      continue;
    }
    switch (bpp) {
      case 8: sample_row<uint8_t>(row, src_pixels, dst_width, xstep); break;
      case 16: sample_row<uint16_t>(row, src_pixels, dst_width, xstep); break;
      case 24: sample_row_24(row, src_pixels, dst_width, xstep); break;
      default: sample_row<uint32_t>(row, src_pixels, dst_width, xstep); break;
    }
    put_row(ctx, row, y);
  }
  return 1;
}

uint8_t *tscale_on_get_row(void *ctx, int32_t y) {
  PORT_CHECK(ctx != nullptr);
  tscale_context *scale = static_cast<tscale_context *>(ctx);
  scale->row = engine_row_to_dst(scale, y);
  return tbitmap_get_row(scale->dst, scale->row);
}

void tscale_on_put_row(void *ctx, uint8_t *row, int32_t y) {
  PORT_CHECK(ctx != nullptr && row != nullptr);
  tscale_context *scale = static_cast<tscale_context *>(ctx);
  uint8_t *target = tbitmap_get_row(scale->dst, engine_row_to_dst(scale, y));
  if (target && target != row) std::memcpy(target, row, tbitmap_get_stride(scale->dst));
}

namespace {

bool is_scalable(const tbitmap *bitmap) {
  int bpp = tbitmap_get_bpp(bitmap);
  return bitmap->_pixels && tbitmap_get_width(bitmap) > 0 && tbitmap_get_height(bitmap) > 0 &&
         (bpp == 8 || bpp == 16 || bpp == 24 || bpp == 32);
}

// Engine rows follow the source's memory order: from the top for a top-down
// source, from the bottom for a bottom-up one.
int32_t engine_row_to_dst(const tscale_context *ctx, int32_t y) {
  return tbitmap_is_top_down(ctx->src) ? y : tbitmap_get_height(ctx->dst) - 1 - y;
}

// Pixels move through memcpy of their own size, which compiles to plain
// loads and stores without aliasing questions.
template <class Pixel>
void sample_row(uint8_t *dst, const uint8_t *src, int32_t count, uint32_t xstep) {
  const size_t size = sizeof(Pixel);
  uint32_t fx = 0;
  int32_t x = 0;
  for (; x + 4 <= count; x += 4, dst += 4 * size) {
    std::memcpy(dst, src + size * (fx >> 16), size);
    std::memcpy(dst + size, src + size * ((fx + xstep) >> 16), size);
    std::memcpy(dst + 2 * size, src + size * ((fx + 2 * xstep) >> 16), size);
    std::memcpy(dst + 3 * size, src + size * ((fx + 3 * xstep) >> 16), size);
    fx += 4 * xstep;
  }
  for (; x < count; x++, fx += xstep, dst += size) std::memcpy(dst, src + size * (fx >> 16), size);
}

// Four loads before their four stores: the loads, often to lines not yet
// in the cache, overlap.
template <int Bytes>
void sample_row_at(uint8_t *dst, const uint8_t *src, int32_t count, const uint32_t *offsets) {
  int32_t x = 0;
  for (; x + 4 <= count; x += 4, dst += 4 * Bytes) {
    uint8_t a[Bytes], b[Bytes], c[Bytes], d[Bytes];
    std::memcpy(a, src + offsets[x], Bytes);
    std::memcpy(b, src + offsets[x + 1], Bytes);
    std::memcpy(c, src + offsets[x + 2], Bytes);
    std::memcpy(d, src + offsets[x + 3], Bytes);
    std::memcpy(dst, a, Bytes);
    std::memcpy(dst + Bytes, b, Bytes);
    std::memcpy(dst + 2 * Bytes, c, Bytes);
    std::memcpy(dst + 3 * Bytes, d, Bytes);
  }
  for (; x < count; x++, dst += Bytes) std::memcpy(dst, src + offsets[x], Bytes);
}

void sample_row_24(uint8_t *dst, const uint8_t *src, int32_t count, uint32_t xstep) {
  uint32_t fx = 0;
  for (int32_t x = 0; x < count; x++, fx += xstep, dst += 3) {
    const uint8_t *p = src + 3 * size_t(fx >> 16);
    dst[0] = p[0];
    dst[1] = p[1];
    dst[2] = p[2];
  }
}

}  // namespace
