#include "tscale.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>

#include "test_bitmap.h"

namespace {

// Raw pixel value at (x, y), y counted from the top.
uint32_t raw(const tbitmap *b, int32_t x, int32_t y) {
  uint32_t v = 0;
  std::memcpy(&v, tbitmap_get_pixel_ptr(b, x, y), size_t(tbitmap_get_bpp(b) / 8));
  return v;
}

bitmap_ptr random_bitmap(std::mt19937 &rng, int32_t w, int32_t h, int bpp) {
  bitmap_ptr b = test_bitmap(w, h, bpp);
  for (uint32_t i = 0; i < tbitmap_get_image_size(b.get()); i++) b->_pixels[i] = uint8_t(rng());
  if (bpp == 8)
    for (int i = 0; i < 1024; i++) b->_info[40 + i] = uint8_t(rng());
  return b;
}

// The source pixel a destination pixel must show, straight from the rule:
// column floor(x * xstep / 65536) from the left, row likewise counted from
// the edge the source stores first (its top when top-down, else its bottom).
uint32_t expected_pixel(const tbitmap *src, const tbitmap *dst, int32_t x, int32_t y) {
  int64_t sh = tbitmap_get_height(src), dh = tbitmap_get_height(dst);
  int64_t xstep = (int64_t(tbitmap_get_width(src)) << 16) / tbitmap_get_width(dst), ystep = (sh << 16) / dh;
  int32_t sx = int32_t((x * xstep) >> 16);
  if (tbitmap_is_top_down(src)) return raw(src, sx, int32_t((y * ystep) >> 16));
  return raw(src, sx, int32_t(sh - 1 - (((dh - 1 - y) * ystep) >> 16)));
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

TEST(TscaleNew, DoublingRepeatsEveryPixelAndFitKeepsTheAspectRatio) {
  std::mt19937 rng(7);
  for (int bpp : {8, 16, 24, 32}) {
    for (int32_t h : {4, -4}) {
      bitmap_ptr src = random_bitmap(rng, 4, h, bpp);
      bitmap_ptr dst(tscale_new_scaled(src.get(), 8, 2 * h, 0));
      ASSERT_NE(dst, nullptr);
      EXPECT_EQ(test_shape(dst.get()), (std::vector<int32_t>{8, 8, bpp, h < 0}));
      for (int32_t y = 0; y < 8; y++)
        for (int32_t x = 0; x < 8; x++) ASSERT_EQ(raw(dst.get(), x, y), raw(src.get(), x / 2, y / 2)) << bpp << " at " << x << y;
      EXPECT_TRUE(bpp != 8 || std::memcmp(dst->_info + 40, src->_info + 40, 1024) == 0);
    }
  }
  // Fitted: never an empty side.
  const struct {
    int32_t sw, sh, w, h, expect_w, expect_h;
  } cases[] = {{100, 50, 40, 40, 40, 20}, {100, 50, 40, -40, 40, -20}, {1000, 1, 10, 10, 10, 1}, {1, 1000, 10, 10, 1, 10}};
  for (const auto &c : cases) {
    bitmap_ptr fitted(tscale_new_scaled(test_bitmap(c.sw, c.sh, 24).get(), c.w, c.h, 1));
    ASSERT_NE(fitted, nullptr);
    EXPECT_EQ(tbitmap_get_width(fitted.get()), c.expect_w);
    EXPECT_EQ(tbitmap_get_height(fitted.get()) * (tbitmap_is_top_down(fitted.get()) ? -1 : 1), c.expect_h);
  }
}

TEST(TscaleNew, RefusesEmptySourcesSizesAndBudget) {
  bitmap_ptr empty = test_bitmap(0, 5, 32), src = test_bitmap(5, 5, 32);
  for (auto [from, w, h, fit] : {std::tuple{empty.get(), 10, 10, 0}, {empty.get(), 10, 10, 1}, {src.get(), 0, 10, 0},
                                 {src.get(), 10, 0, 1}, {src.get(), -3, 10, 0}})
    EXPECT_EQ(tscale_new_scaled(from, w, h, fit), nullptr) << w << "x" << h;
  uint64_t old = tbitmap_set_budget(1000);
  EXPECT_EQ(tscale_new_scaled(src.get(), 100, 100, 0), nullptr);
  tbitmap_set_budget(old);
}

TEST(TscaleInto, EveryDepthAndRowOrderMatchesTheSamplingRule) {
  const int depths[] = {8, 16, 24, 32};
  for (uint32_t seed = 1; seed <= 160; seed++) {
    std::mt19937 rng(seed);
    int bpp = depths[seed % 4];
    int32_t sw = 1 + int32_t(rng() % 23), sh = 1 + int32_t(rng() % 19);
    int32_t dw = 1 + int32_t(rng() % 37), dh = 1 + int32_t(rng() % 29);
    // Destinations wider than 2048 work their columns out as they go.
    if (seed > 150) dw = 2040 + int32_t(rng() % 20), dh = 1 + dh % 3;
    bitmap_ptr src = random_bitmap(rng, sw, rng() % 2 ? sh : -sh, bpp);
    bitmap_ptr dst = random_bitmap(rng, dw, rng() % 2 ? dh : -dh, bpp);
    ASSERT_EQ(tscale_scale_into(src.get(), dst.get()), 1) << "seed " << seed;
    for (int32_t y = 0; y < dh; y++)
      for (int32_t x = 0; x < dw; x++)
        ASSERT_EQ(raw(dst.get(), x, y), expected_pixel(src.get(), dst.get(), x, y))
            << "seed " << seed << " bpp " << bpp << " " << sw << "x" << sh << " -> " << dw << "x" << dh << " at " << x
            << "," << y;
  }
}

TEST(TscaleInto, RefusesMismatchedOrEmptyBitmapsWithoutTouchingThem) {
  bitmap_ptr src = test_bitmap(4, 4, 24), dst = test_bitmap(4, 4, 32), empty = test_bitmap(4, 0, 24);
  std::memset(src->_pixels, 0x12, tbitmap_get_image_size(src.get()));
  EXPECT_EQ(tscale_scale_into(src.get(), dst.get()), 0);
  for (uint32_t i = 0; i < tbitmap_get_image_size(dst.get()); i++) ASSERT_EQ(dst->_pixels[i], 0xFF);
  EXPECT_EQ(tscale_scale_into(src.get(), empty.get()), 0);
  EXPECT_EQ(tscale_scale_into(empty.get(), src.get()), 0);
}

class TscaleLoaded : public TempDirTest {};

// Headers of 108 and 124 bytes hold the masks themselves: the palette of an
// 8-bit bit-field file follows the header at once, and scaling must find it
// there (12 bytes further lies past the block and shifts every entry).
TEST_F(TscaleLoaded, LongHeaderBitFieldPaletteFollowsTheHeader) {
  for (uint32_t header : {108u, 124u}) {
    test_bytes file = test_bmp_file(2, 1, 8, 1024, 4, header);
    test_put32(file, 30, 3);
    for (uint32_t i = 0; i < 256; i++) test_put32(file, 14 + header + 4 * i, i * 0x010101u ^ 0x00FF00u);
    file[file.size() - 4] = 7, file[file.size() - 3] = 200;
    test_write_file(path("long.bmp"), file);
    bitmap_ptr src(static_cast<tbitmap *>(std::calloc(1, sizeof(tbitmap))));
    ASSERT_EQ(tbitmap_load_bmp(src.get(), wpath("long.bmp").c_str()), 1);
    bitmap_ptr dst(tscale_new_scaled(src.get(), 4, 2, 0));
    ASSERT_NE(dst, nullptr);
    bitmap_ptr into = test_bitmap(6, 3, 8);
    ASSERT_EQ(tscale_scale_into(src.get(), into.get()), 1);
    for (const tbitmap *scaled : {dst.get(), into.get()}) {
      EXPECT_EQ(test_rgb(scaled, 0, 0), 0x07F807u) << header;
      EXPECT_EQ(test_rgb(scaled, tbitmap_get_width(scaled) - 1, 1), 0xC837C8u) << header;
    }
  }
}

TEST(TscaleEngine, SamplesEachSourceRowOnceAndCopiesRepeats) {
  bitmap_ptr src = test_bitmap(10, 10, 16), dst = test_bitmap(25, 40, 16);
  counting_ctx ctx;
  ctx.scale = {dst.get(), src.get(), 0};
  ASSERT_EQ(tscale_scale_rows(&ctx, src.get(), 25, 40, counting_get, counting_put), 1);
  EXPECT_EQ(std::make_pair(ctx.gets, ctx.puts), std::make_pair(10, 40));
  EXPECT_EQ(tscale_scale_rows(&ctx, src.get(), 0, 40, counting_get, counting_put), 0);
  EXPECT_EQ(tscale_scale_rows(&ctx, src.get(), 25, -1, counting_get, counting_put), 0);
  EXPECT_EQ(ctx.gets, 10);
}

// A part of a scale holds what the whole scale holds there, for every depth
// and row order, at a fraction of the work.
TEST(TScale, APartHasThePixelsOfTheWholeAndCostsOnlyItsOwn) {
  std::mt19937 rng(28);
  struct part_case {
    int32_t sw, sh, dw, dh;
    trect part;
  } cases[] = {{1, 1, 900, 700, {899, 0, 899, 699}},   {7, 5, 3000, 40, {2990, 3, 2999, 39}},
               {50, 30, 17, 9, {4, 2, 12, 8}},         {13, 17, 200, 300, {0, 150, 199, 299}},
               {100, 80, 2500, 2000, {2040, 1000, 2499, 1001}}};
  for (int bpp : {8, 16, 24, 32})
    for (int down : {0, 1})
      for (const part_case &c : cases) {
        bitmap_ptr src = random_bitmap(rng, c.sw, down ? -c.sh : c.sh, bpp);
        bitmap_ptr whole(tscale_new_scaled(src.get(), c.dw, -c.dh, 0));
        uint64_t before = tscale_get_sampled_pixels();
        bitmap_ptr part(tscale_new_scaled_part(src.get(), c.dw, c.dh, &c.part));
        ASSERT_TRUE(whole && part);
        int32_t pw = c.part.x2 - c.part.x1 + 1, ph = c.part.y2 - c.part.y1 + 1;
        EXPECT_EQ(tscale_get_sampled_pixels() - before, uint64_t(pw) * uint64_t(ph));
        ASSERT_EQ(test_shape(part.get()), (std::vector<int32_t>{pw, ph, bpp, 1}));
        for (int32_t y = 0; y < ph; y++)
          for (int32_t x = 0; x < pw; x++)
            ASSERT_EQ(raw(part.get(), x, y), raw(whole.get(), c.part.x1 + x, c.part.y1 + y))
                << bpp << " bpp, top-down " << down << ", " << c.dw << "x" << c.dh << " at " << x << "," << y;
      }
  trect outside = {0, 0, 10, 10};
  bitmap_ptr src = random_bitmap(rng, 4, 4, 32);
  EXPECT_EQ(tscale_new_scaled_part(src.get(), 10, 10, &outside), nullptr);
}
