#include "tscale.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

namespace {

int bytes_per_pixel(const tbitmap *b) { return tbitmap_get_bpp(b) / 8; }

// Raw pixel value at (x, y), y counted from the top.
uint32_t raw(const tbitmap *b, int32_t x, int32_t y) {
  const uint8_t *p = tbitmap_get_row(b, y) + size_t(x) * bytes_per_pixel(b);
  uint32_t v = 0;
  std::memcpy(&v, p, size_t(bytes_per_pixel(b)));
  return v;
}

void put_raw(tbitmap *b, int32_t x, int32_t y, uint32_t v) {
  std::memcpy(tbitmap_get_row(b, y) + size_t(x) * bytes_per_pixel(b), &v, size_t(bytes_per_pixel(b)));
}

tbitmap *random_bitmap(std::mt19937 &rng, int32_t w, int32_t h, int bpp) {
  tbitmap *b = tbitmap_new(w, h, bpp);
  for (int32_t y = 0; y < tbitmap_get_height(b); y++)
    for (int32_t x = 0; x < w; x++) put_raw(b, x, y, rng());
  return b;
}

// The sampled source pixel for a destination pixel, straight from the rule:
// columns floor(x * xstep / 65536) from the left, rows likewise counted from
// the edge the source stores first (the top of a top-down picture, the bottom
// of a bottom-up one).
uint32_t expected_pixel(const tbitmap *src, const tbitmap *dst, int32_t x, int32_t y) {
  int64_t sw = tbitmap_get_width(src), sh = tbitmap_get_height(src);
  int64_t dw = tbitmap_get_width(dst), dh = tbitmap_get_height(dst);
  int64_t xstep = (sw << 16) / dw, ystep = (sh << 16) / dh;
  int64_t sx = (x * xstep) >> 16;
  if (tbitmap_is_top_down(src)) return raw(src, int32_t(sx), int32_t((y * ystep) >> 16));
  int64_t from_bottom = dh - 1 - y;
  return raw(src, int32_t(sx), int32_t(sh - 1 - ((from_bottom * ystep) >> 16)));
}

struct counting_ctx {
  tscale_context scale;
  int gets = 0, puts = 0;
};
uint8_t *counting_get(void *ctx, int32_t y) {
  static_cast<counting_ctx *>(ctx)->gets++;
  return tscale_on_get_row(&static_cast<counting_ctx *>(ctx)->scale, y);
}
void counting_put(void *ctx, uint8_t *row, int32_t y) {
  static_cast<counting_ctx *>(ctx)->puts++;
  tscale_on_put_row(&static_cast<counting_ctx *>(ctx)->scale, row, y);
}

}  // namespace

TEST(TscaleNew, DoublingRepeatsEveryPixelTwiceEachWay) {
  std::mt19937 rng(7);
  for (int bpp : {8, 16, 24, 32}) {
    for (int32_t h : {4, -4}) {
      tbitmap *src = random_bitmap(rng, 4, h, bpp);
      tbitmap *dst = tscale_new_scaled(src, 8, 2 * h, 0);
      ASSERT_NE(dst, nullptr);
      EXPECT_EQ(tbitmap_get_width(dst), 8);
      EXPECT_EQ(tbitmap_get_height(dst), 8);
      EXPECT_EQ(tbitmap_is_top_down(dst), h < 0);
      for (int32_t y = 0; y < 8; y++)
        for (int32_t x = 0; x < 8; x++) ASSERT_EQ(raw(dst, x, y), raw(src, x / 2, y / 2)) << bpp << " " << x << "," << y;
      tbitmap_free(dst);
      tbitmap_free(src);
    }
  }
}

TEST(TscaleNew, FitKeepsTheAspectRatioAndNeverGivesAnEmptySide) {
  tbitmap *wide = tbitmap_new(100, 50, 24);
  tbitmap *fitted = tscale_new_scaled(wide, 40, 40, 1);
  ASSERT_NE(fitted, nullptr);
  EXPECT_EQ(tbitmap_get_width(fitted), 40);
  EXPECT_EQ(tbitmap_get_height(fitted), 20);
  tbitmap_free(fitted);

  fitted = tscale_new_scaled(wide, 40, -40, 1);
  ASSERT_NE(fitted, nullptr);
  EXPECT_EQ(tbitmap_get_height(fitted), 20);
  EXPECT_TRUE(tbitmap_is_top_down(fitted));
  tbitmap_free(fitted);
  tbitmap_free(wide);

  tbitmap *thin = tbitmap_new(1000, 1, 32);
  fitted = tscale_new_scaled(thin, 10, 10, 1);
  ASSERT_NE(fitted, nullptr);
  EXPECT_EQ(tbitmap_get_width(fitted), 10);
  EXPECT_EQ(tbitmap_get_height(fitted), 1);
  tbitmap_free(fitted);
  tbitmap_free(thin);
}

TEST(TscaleNew, RefusesEmptySourcesAndSizes) {
  tbitmap *empty = tbitmap_new(0, 5, 32);
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(tscale_new_scaled(empty, 10, 10, 0), nullptr);
  EXPECT_EQ(tscale_new_scaled(empty, 10, 10, 1), nullptr);
  tbitmap_free(empty);

  tbitmap *src = tbitmap_new(5, 5, 32);
  EXPECT_EQ(tscale_new_scaled(src, 0, 10, 0), nullptr);
  EXPECT_EQ(tscale_new_scaled(src, 10, 0, 1), nullptr);
  EXPECT_EQ(tscale_new_scaled(src, -3, 10, 0), nullptr);

  uint64_t old = tbitmap_set_budget(1000);
  EXPECT_EQ(tscale_new_scaled(src, 100, 100, 0), nullptr);
  tbitmap_set_budget(old);
  tbitmap_free(src);
}

TEST(TscaleNew, EightBitResultCarriesThePalette) {
  tbitmap *src = tbitmap_new(3, 3, 8);
  for (int i = 0; i < 256; i++) src->_info[40 + 4 * i] = uint8_t(255 - i);
  tbitmap *dst = tscale_new_scaled(src, 6, 6, 0);
  ASSERT_NE(dst, nullptr);
  EXPECT_EQ(std::memcmp(dst->_info + 40, src->_info + 40, 1024), 0);
  tbitmap_free(dst);
  tbitmap_free(src);
}

TEST(TscaleInto, EveryDepthAndRowOrderMatchesTheSamplingRule) {
  for (uint32_t seed = 1; seed <= 120; seed++) {
    std::mt19937 rng(seed);
    int bpp = 8 << (rng() % 4);
    if (bpp == 64) bpp = 24;
    int32_t sw = 1 + int32_t(rng() % 23), sh = 1 + int32_t(rng() % 19);
    int32_t dw = 1 + int32_t(rng() % 37), dh = 1 + int32_t(rng() % 29);
    tbitmap *src = random_bitmap(rng, sw, rng() % 2 ? sh : -sh, bpp);
    tbitmap *dst = random_bitmap(rng, dw, rng() % 2 ? dh : -dh, bpp);
    ASSERT_EQ(tscale_scale_into(src, dst), 1) << "seed " << seed;
    for (int32_t y = 0; y < dh; y++)
      for (int32_t x = 0; x < dw; x++)
        ASSERT_EQ(raw(dst, x, y), expected_pixel(src, dst, x, y))
            << "seed " << seed << " bpp " << bpp << " " << sw << "x" << sh << " -> " << dw << "x" << dh << " at " << x
            << "," << y;
    tbitmap_free(src);
    tbitmap_free(dst);
  }
}

TEST(TscaleInto, BottomUpSourceIntoTopDownDestinationStaysUpright) {
  tbitmap *src = tbitmap_new(2, 3, 32);  // bottom-up
  for (int32_t y = 0; y < 3; y++)
    for (int32_t x = 0; x < 2; x++) put_raw(src, x, y, uint32_t(10 * y + x));
  tbitmap *dst = tbitmap_new(2, -3, 32);
  ASSERT_EQ(tscale_scale_into(src, dst), 1);
  for (int32_t y = 0; y < 3; y++)
    for (int32_t x = 0; x < 2; x++) EXPECT_EQ(raw(dst, x, y), uint32_t(10 * y + x));
  tbitmap_free(src);
  tbitmap_free(dst);
}

TEST(TscaleInto, RefusesMismatchedOrEmptyBitmapsWithoutTouchingThem) {
  tbitmap *src = tbitmap_new(4, 4, 24);
  std::memset(src->_pixels, 0x12, tbitmap_get_image_size(src));
  tbitmap *dst = tbitmap_new(4, 4, 32);
  EXPECT_EQ(tscale_scale_into(src, dst), 0);
  for (uint32_t i = 0; i < tbitmap_get_image_size(dst); i++) ASSERT_EQ(dst->_pixels[i], 0xFF);
  tbitmap *empty = tbitmap_new(4, 0, 24);
  EXPECT_EQ(tscale_scale_into(src, empty), 0);
  EXPECT_EQ(tscale_scale_into(empty, src), 0);
  tbitmap_free(empty);
  tbitmap_free(dst);
  tbitmap_free(src);
}

TEST(TscaleEngine, SamplesEachSourceRowOnceAndCopiesRepeats) {
  tbitmap *src = tbitmap_new(10, 10, 16);
  tbitmap *dst = tbitmap_new(25, 40, 16);
  counting_ctx ctx;
  ctx.scale = {dst, src, 0};
  ASSERT_EQ(tscale_scale_rows(&ctx, src, 25, 40, counting_get, counting_put), 1);
  EXPECT_EQ(ctx.gets, 10);
  EXPECT_EQ(ctx.puts, 40);
  EXPECT_EQ(tscale_scale_rows(&ctx, src, 0, 40, counting_get, counting_put), 0);
  EXPECT_EQ(tscale_scale_rows(&ctx, src, 25, -1, counting_get, counting_put), 0);
  EXPECT_EQ(ctx.gets, 10);
  tbitmap_free(dst);
  tbitmap_free(src);
}
