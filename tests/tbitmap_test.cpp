#include "tbitmap.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "tblit.h"
#include "test_bitmap.h"
#include "test_env.h"

namespace {

using bytes = test_bytes;
bitmap_ptr make(int32_t width, int32_t height, int bpp) { return test_bitmap(width, height, bpp); }

// The pixel's colour as 0xAARRGGBB, read into a colour whose alpha was `alpha`.
uint32_t argb(const tbitmap *b, int32_t x, int32_t y, uint8_t alpha = 0x5A) {
  tcolor c = {0x5A, 0x5A, 0x5A, alpha};
  tbitmap_get_pixel_color(b, x, y, &c);
  return tcolor_to_word(&c);
}


// A small valid file: 3 x 2 at 24 bpp, bottom-up.
bytes small_bmp() {
  bytes b = test_bmp_file(3, 2, 24, 0, 2 * 12);
  for (size_t i = 54; i < b.size(); i++) b[i] = uint8_t(i);
  return b;
}

// Loads the bytes written as x.bmp into *b; 1 when loaded.
int load(const std::string &dir, const bytes &file, tbitmap *b) {
  test_write_file(dir + "/x.bmp", file);
  return tbitmap_load_bmp(b, test_wide(dir + "/x.bmp").c_str());
}

}  // namespace

TEST(Geometry, StrideImageSizeAndInfoBlock) {
  bitmap_ptr b = make(3, 2, 24);
  ASSERT_TRUE(b);
  EXPECT_EQ(tbitmap_get_stride(b.get()), 12u);
  EXPECT_EQ(tbitmap_get_image_size(b.get()), 24u);
  EXPECT_FALSE(tbitmap_is_top_down(b.get()));
  for (uint32_t i = 0; i < 24; i++) ASSERT_EQ(b->_pixels[i], 0xFF);

  bitmap_ptr t = make(3, -2, 16);
  ASSERT_TRUE(t);
  EXPECT_TRUE(tbitmap_is_top_down(t.get()));
  EXPECT_EQ(tbitmap_get_height(t.get()), 2);
  EXPECT_EQ(tbitmap_get_stride(t.get()), 8u);
  EXPECT_EQ(tbitmap_get_compression(t.get()), 3) << "16 bits are 565 bit fields";

  bitmap_ptr g = make(5, 1, 8);
  ASSERT_TRUE(g);
  tbitmap_set_pixel(g.get(), 0, 0, 200);
  EXPECT_EQ(argb(g.get(), 0, 0), 0x00C8C8C8u);  // the grey ramp, alpha 0
}

TEST(Geometry, RefusesOddDepthsNegativeWidthsAndTheBudget) {
  tbitmap b;
  std::memset(&b, 0x5A, sizeof b);
  EXPECT_EQ(tbitmap_init_info(&b, 4, 4, 4), 0);
  EXPECT_EQ(b._stride, 0x5A5A5A5Au);  // left untouched
  EXPECT_EQ(tbitmap_init_info(&b, 4, 4, 12), 0);
  EXPECT_EQ(tbitmap_init_info(&b, -1, 4, 32), 0);
  EXPECT_EQ(tbitmap_new(TBITMAP_MAX_SIDE + 1, 1, 32), nullptr);
  EXPECT_EQ(tbitmap_new(1, -TBITMAP_MAX_SIDE - 1, 32), nullptr);

  bitmap_ptr big = make(16, 16, 32);  // 1024 bytes
  uint64_t old = tbitmap_set_budget(1000);
  EXPECT_EQ(tbitmap_new(16, 16, 32), nullptr);
  EXPECT_EQ(tbitmap_new_copy(big.get()), nullptr);
  bitmap_ptr fits = make(10, 10, 32);
  ASSERT_TRUE(fits);
  bitmap_ptr copy(tbitmap_new_copy(fits.get()));
  tbitmap_set_budget(old);
  ASSERT_TRUE(copy);
  EXPECT_EQ(std::memcmp(copy->_pixels, fits->_pixels, 400), 0);
}

// Row r from the top lies at stride * (h - 1 - r) bottom-up and at stride * r
// top-down; pixel x at (bpp * x) >> 3 within it.
TEST(Geometry, RowAddressingForEveryDepthAndOrder) {
  for (int bpp : {8, 16, 24, 32}) {
    for (int32_t h : {3, -3}) {
      bitmap_ptr b = make(5, h, bpp);
      ASSERT_TRUE(b);
      uint32_t stride = tbitmap_get_stride(b.get());
      for (int32_t y = 0; y < 3; y++) {
        size_t row = h > 0 ? size_t(2 - y) * stride : size_t(y) * stride;
        EXPECT_EQ(tbitmap_get_row(b.get(), y), b->_pixels + row) << bpp << " " << h;
        EXPECT_EQ(tbitmap_get_pixel_ptr(b.get(), 4, y), b->_pixels + row + (size_t(bpp) * 4 >> 3));
      }
      EXPECT_EQ(tbitmap_get_row(b.get(), 3), nullptr);
      EXPECT_EQ(tbitmap_get_row(b.get(), -1), nullptr);
      EXPECT_EQ(tbitmap_get_pixel_ptr(b.get(), 5, 0), nullptr);
      uint32_t value = bpp == 8 ? 0xAB : bpp == 16 ? 0xABCD : bpp == 24 ? 0xABCDEF : 0x12ABCDEF;
      EXPECT_EQ(tbitmap_set_pixel(b.get(), 4, 2, value), 1);
      EXPECT_EQ(tbitmap_get_pixel(b.get(), 4, 2), value);
      EXPECT_EQ(tbitmap_get_pixel(b.get(), 3, 2), bpp == 32 ? 0xFFFFFFFFu : (1u << bpp) - 1);
      EXPECT_EQ(tbitmap_set_pixel(b.get(), 5, 2, value), 0);
    }
  }
}

TEST(Pixels, ColorOfEachFormat) {
  bitmap_ptr b16 = make(1, 1, 16), b24 = make(1, 1, 24), b32 = make(1, 1, 32);
  tbitmap_set_pixel(b16.get(), 0, 0, 0xFFFF);
  // 565 without bit replication; the alpha is left as the caller set it.
  EXPECT_EQ(argb(b16.get(), 0, 0, 77), 0x4DF8FCF8u);
  EXPECT_EQ(argb(b24.get(), 0, 0, 77), 0x00FFFFFFu);
  tbitmap_set_pixel(b32.get(), 0, 0, 0x80112233);
  EXPECT_EQ(argb(b32.get(), 0, 0), 0x80112233u);
  EXPECT_EQ(argb(b32.get(), 9, 0), 0u) << "outside the bitmap a pixel reads as raw 0";
}

TEST(Pixels, BlendUses255WeightsAndSetsTheFourthByte) {
  bitmap_ptr b24 = make(2, 1, 24);
  tbitmap_set_pixel(b24.get(), 0, 0, 0);
  EXPECT_EQ(tbitmap_blend_pixel(b24.get(), 0, 0, 0x80FFFFFF), 1);
  EXPECT_EQ(tbitmap_get_pixel(b24.get(), 0, 0), 0x7F7F7Fu);  // 255 * 128 >> 8
  tbitmap_set_pixel(b24.get(), 1, 0, 0xFFFFFF);
  tbitmap_blend_pixel(b24.get(), 1, 0, 0x80000000);
  EXPECT_EQ(tbitmap_get_pixel(b24.get(), 1, 0), 0x7E7E7Eu);  // 255 * 127 >> 8

  bitmap_ptr b32 = make(1, 1, 32);
  tbitmap_set_pixel(b32.get(), 0, 0, 0x10000000);
  tbitmap_blend_pixel(b32.get(), 0, 0, 0x00FFFFFF);  // alpha 0: colour unchanged, fourth byte 255
  EXPECT_EQ(tbitmap_get_pixel(b32.get(), 0, 0), 0xFF000000u);
  tbitmap_blend_pixel(b32.get(), 0, 0, 0xFF123456);
  EXPECT_EQ(tbitmap_get_pixel(b32.get(), 0, 0), 0xFF123456u);

  bitmap_ptr b16 = make(1, 1, 16);
  tbitmap_blend_pixel(b16.get(), 0, 0, 0xFFFF0000);
  EXPECT_EQ(tbitmap_get_pixel(b16.get(), 0, 0), 0xF800u);
  // 565 black blended with white at 128: (0 * 127 + 255 * 128) >> 8 = 127 per
  // 8-bit channel, packed back: red 127 >> 3 = 15, green 127 >> 2 = 31.
  tbitmap_set_pixel(b16.get(), 0, 0, 0);
  tbitmap_blend_pixel(b16.get(), 0, 0, 0x80FFFFFF);
  EXPECT_EQ(tbitmap_get_pixel(b16.get(), 0, 0), uint32_t(15 << 11 | 31 << 5 | 15));

  bitmap_ptr b8 = make(1, 1, 8);
  EXPECT_EQ(tbitmap_blend_pixel(b8.get(), 0, 0, 0xFF000000), 0);
  EXPECT_EQ(tbitmap_blend_pixel(b32.get(), 1, 0, 0xFF000000), 0);
}

TEST(Fills, ClampAndOrderTheirCoordinates) {
  bitmap_ptr b = make(10, 6, 32);
  EXPECT_EQ(tbitmap_draw_hline(b.get(), -5, 15, 2, 0xFF000000), 1);
  for (int x = 0; x < 10; x++) EXPECT_EQ(tbitmap_get_pixel(b.get(), x, 2), 0xFF000000u);
  EXPECT_EQ(tbitmap_draw_hline(b.get(), 10, 12, 1, 0xFF000000), 0);
  EXPECT_EQ(tbitmap_draw_hline(b.get(), -2, -1, 1, 0xFF000000), 0);
  EXPECT_EQ(tbitmap_draw_hline(b.get(), 0, 3, 6, 0xFF000000), 0);
  EXPECT_EQ(tbitmap_get_pixel(b.get(), 0, 1), 0xFFFFFFFFu);

  // A column on a bottom-up bitmap walks backwards through memory.
  EXPECT_EQ(tbitmap_draw_vline(b.get(), 3, 9, -4, 0xFF0000FF), 1);
  for (int y = 0; y < 6; y++) EXPECT_EQ(tbitmap_get_pixel(b.get(), 3, y) & 0xFFFFFF, 0x0000FFu);
  EXPECT_EQ(tbitmap_draw_vline(b.get(), 10, 0, 3, 0xFF0000FF), 0);
  EXPECT_EQ(tbitmap_draw_vline(b.get(), 1, 6, 8, 0xFF0000FF), 0);

  bitmap_ptr p = make(12, -12, 16), q = make(12, -12, 16);
  EXPECT_EQ(tbitmap_fill_rect(p.get(), 10, 10, 2, 2, 0xFF00FF00), 1);
  EXPECT_EQ(tbitmap_fill_rect(q.get(), 2, 2, 10, 10, 0xFF00FF00), 1);
  EXPECT_EQ(std::memcmp(p->_pixels, q->_pixels, tbitmap_get_image_size(p.get())), 0);
  EXPECT_EQ(tbitmap_get_pixel(p.get(), 2, 2), 0x07E0u);
  EXPECT_EQ(tbitmap_get_pixel(p.get(), 11, 11), 0xFFFFu);
  // Cut at the right and bottom edges; refused when the start is outside.
  EXPECT_EQ(tbitmap_fill_rect(p.get(), -3, 8, 40, 40, 0xFF000000), 1);
  EXPECT_EQ(tbitmap_get_pixel(p.get(), 11, 11), 0u);
  EXPECT_EQ(tbitmap_get_pixel(p.get(), 0, 7), 0xFFFFu);
  EXPECT_EQ(tbitmap_fill_rect(p.get(), -9, -9, -1, 5, 0xFF000000), 0);
  EXPECT_EQ(tbitmap_fill_rect(p.get(), 12, 0, 14, 5, 0xFF000000), 0);

  bitmap_ptr g = make(4, 4, 8);
  EXPECT_EQ(tbitmap_fill_rect(g.get(), 0, 0, 3, 3, 0xFF000000), 0);
  EXPECT_EQ(tbitmap_draw_hline(g.get(), 0, 3, 0, 0xFF000000), 0);
}

TEST(Fills, PartialAlphaBlendsWith256WeightsAndKeepsTheFourthByte) {
  bitmap_ptr b = make(3, 1, 32);
  for (int x = 0; x < 3; x++) tbitmap_set_pixel(b.get(), x, 0, 0x40000000);
  tbitmap_fill_rect(b.get(), 0, 0, 2, 0, 0x80FFFFFF);
  EXPECT_EQ(tbitmap_get_pixel(b.get(), 1, 0), 0x407F7F7Fu);
  bitmap_ptr w = make(2, 1, 16);
  *reinterpret_cast<uint32_t *>(w->_info + TBITMAP_INFO_MASKS) = 0x7C00;  // a 555 bitmap
  *reinterpret_cast<uint32_t *>(w->_info + TBITMAP_INFO_MASKS + 4) = 0x03E0;
  tbitmap_init_channels(w.get());
  tbitmap_draw_hline(w.get(), 0, 1, 0, 0xFFFFFFFF);
  EXPECT_EQ(tbitmap_get_pixel(w.get(), 1, 0), 0x7FFFu);
}

// Only a bitmap marked as keeping its fourth bytes at 255 may have them
// stored by an opaque fill; every other one keeps them, whatever they hold.
TEST(Fills, OpaqueFillsKeepTheFourthByteUnlessTheBitmapIsMarked) {
  bitmap_ptr b = make(5, -2, 32), g = make(5, -2, 16);
  for (int y = 0; y < 2; y++)
    for (int x = 0; x < 5; x++) tbitmap_set_pixel(b.get(), x, y, 0x40000000);
  tbitmap_draw_hline(b.get(), 0, 4, 0, 0xFF123456);
  tbitmap_fill_rect(b.get(), 0, 1, 4, 1, 0xFF123456);
  for (int y = 0; y < 2; y++) EXPECT_EQ(tbitmap_get_pixel(b.get(), 4, y), 0x40123456u) << y;
  EXPECT_EQ(tbitmap_set_opaque(g.get(), 1), 0);
  EXPECT_EQ(tbitmap_set_opaque(g.get(), 0), 0);  // not a 32-bit bitmap: no mark
  EXPECT_EQ(tbitmap_set_opaque(b.get(), 1), 0);
  tbitmap_fill_rect(b.get(), 0, 0, 4, 1, 0xFF654321);
  EXPECT_EQ(tbitmap_get_pixel(b.get(), 2, 1), 0xFF654321u);
}

namespace {

// What one source pixel becomes, through the general path on a 1 x 1 job.
void reference_pixel(tblit_family family, tbitmap *dst, int32_t dx, int32_t dy, const tbitmap *src, int32_t sx,
                     int32_t sy, const tbitmap *mask, uint32_t key, int alpha) {
  tblit_format sf = tblit_source_format(tbitmap_get_bpp(src), src->_red_mask, src->_green_mask, src->_blue_mask);
  tblit_format df = tblit_source_format(tbitmap_get_bpp(dst), dst->_red_mask, dst->_green_mask, dst->_blue_mask);
  tblit_job job = {};
  job.dst = tbitmap_get_pixel_ptr(dst, dx, dy);
  job.src = tbitmap_get_pixel_ptr(src, sx, sy);
  job.palette = src->_info + 40;
  job.columns = job.rows = 1;
  job.mask = mask ? tbitmap_get_pixel_ptr(mask, sx, sy) : nullptr;
  job.key = key;
  job.alpha = alpha;
  tblit_general(family, sf, df)(&job);
}

}  // namespace

// The clipping keeps exactly the source pixels that lie in the source and
// land in the destination, at dst + (s - rect corner), whatever the signs.
TEST(Blits, ClippingInEveryDirectionMatchesAPixelByPixelReference) {
  const int depths[] = {8, 16, 24, 32};
  for (uint32_t seed = 1; seed <= 400; seed++) {
    std::mt19937 rng(seed);
    int sbpp = depths[rng() % 4], dbpp = depths[1 + rng() % 3];
    int32_t sw = 1 + rng() % 13, sh = 1 + rng() % 9, dw = 1 + rng() % 13, dh = 1 + rng() % 9;
    bitmap_ptr src = make(sw, rng() & 1 ? sh : -sh, sbpp);
    bitmap_ptr a = make(dw, rng() & 1 ? dh : -dh, dbpp);
    bitmap_ptr mask = make(sw, rng() & 1 ? sh : -sh, 8);
    test_fill_random(src.get(), rng);
    test_fill_random(a.get(), rng);
    test_fill_random(mask.get(), rng);
    bitmap_ptr b(tbitmap_new_copy(a.get()));
    auto coord = [&rng](int32_t span) { return int32_t(rng() % (3 * span + 6)) - span - 3; };
    tpoint at = {coord(dw), coord(dh)};
    trect r = {coord(sw), coord(sh), coord(sw), coord(sh)};
    auto family = tblit_family(rng() % 3);
    int alpha = int(rng() % 257);
    uint32_t key = rng() & 1 ? TBLIT_NO_KEY : tbitmap_get_pixel(src.get(), 0, 0);
    if (sbpp == 24 || sbpp == 32) key = rng() & 1 ? TBLIT_NO_KEY : 0xFFFFFF;
    int result = family == TBLIT_ALPHA    ? tbitmap_blit_alpha(a.get(), &at, src.get(), &r, alpha)
                 : family == TBLIT_MASKED ? tbitmap_blit_masked(a.get(), &at, src.get(), &r, mask.get(), alpha)
                                          : tbitmap_blit_keyed(a.get(), &at, src.get(), &r, key, alpha);
    ASSERT_EQ(result, 1);

    trect n = r;
    trect_normalize(&n);
    int clamped = family == TBLIT_ALPHA ? alpha : std::min(alpha, 255);
    for (int32_t sy = n.y1; sy <= n.y2; sy++) {
      for (int32_t sx = n.x1; sx <= n.x2; sx++) {
        int32_t dx = at.x + sx - n.x1, dy = at.y + sy - n.y1;
        if (sx < 0 || sy < 0 || sx >= sw || sy >= sh || dx < 0 || dy < 0 || dx >= dw || dy >= dh) continue;
        reference_pixel(family, b.get(), dx, dy, src.get(), sx, sy, family == TBLIT_MASKED ? mask.get() : nullptr,
                        family == TBLIT_KEYED ? key : TBLIT_NO_KEY, clamped);
      }
    }
    ASSERT_EQ(std::memcmp(a->_pixels, b->_pixels, tbitmap_get_image_size(a.get())), 0)
        << "seed " << seed << ": family " << family << " " << sbpp << " -> " << dbpp << " at (" << at.x << ", "
        << at.y << ") rect (" << r.x1 << ", " << r.y1 << ", " << r.x2 << ", " << r.y2 << ")";
  }
}

TEST(Blits, PlainCopiesShiftTheSourceAndOneColumnIsOneColumn) {
  bitmap_ptr src = make(8, -1, 32), dst = make(8, -1, 32);
  for (int x = 0; x < 8; x++) tbitmap_set_pixel(src.get(), x, 0, uint32_t(x));
  tpoint at = {-3, 0}, past = {8, 0}, six = {6, 0};
  trect all = {0, 0, 7, 0}, one = {2, 0, 2, 0};
  EXPECT_EQ(tbitmap_blit_keyed(dst.get(), &at, src.get(), &all, TBLIT_NO_KEY, 255), 1);
  EXPECT_EQ(tbitmap_blit_keyed(dst.get(), &past, src.get(), &all, TBLIT_NO_KEY, 255), 1);  // accepted, no change
  EXPECT_EQ(tbitmap_blit_alpha(dst.get(), &six, src.get(), &one, 256), 1);
  std::vector<uint32_t> row;
  for (int x = 0; x < 8; x++) row.push_back(tbitmap_get_pixel(dst.get(), x, 0));
  EXPECT_EQ(row, (std::vector<uint32_t>{3, 4, 5, 6, 7, 0xFFFFFFFF, 0xFF000002, 0xFFFFFFFF}));
}

TEST(Blits, RefusedFormatsAndMasks) {
  bitmap_ptr src = make(4, 4, 32), dst8 = make(4, 4, 8), dst = make(4, 4, 32);
  bitmap_ptr small_mask = make(3, 4, 8), mask24 = make(4, 4, 24), mask = make(4, 4, 8);
  tpoint at = {0, 0};
  trect r = {0, 0, 3, 3};
  EXPECT_EQ(tbitmap_blit_keyed(dst8.get(), &at, src.get(), &r, TBLIT_NO_KEY, 255), 0);
  EXPECT_EQ(tbitmap_blit_masked(dst.get(), &at, src.get(), &r, small_mask.get(), 255), 0);
  EXPECT_EQ(tbitmap_blit_masked(dst.get(), &at, src.get(), &r, mask24.get(), 255), 0);
  EXPECT_EQ(tbitmap_blit_masked(dst.get(), &at, src.get(), &r, mask.get(), 255), 1);
  tbitmap empty = {};
  EXPECT_EQ(tbitmap_blit_alpha(dst.get(), &at, &empty, &r, 128), 0);
  // A bottom-up 8-bit source through its grey palette into a top-down 565.
  bitmap_ptr grey = make(1, 2, 8), screen = make(1, -2, 16);
  tbitmap_set_pixel(grey.get(), 0, 0, 0xFF);
  tbitmap_set_pixel(grey.get(), 0, 1, 0x00);
  trect col = {0, 0, 0, 1};
  EXPECT_EQ(tbitmap_blit_keyed(screen.get(), &at, grey.get(), &col, TBLIT_NO_KEY, 255), 1);
  EXPECT_EQ(tbitmap_get_pixel(screen.get(), 0, 0), 0xFFFFu);
  EXPECT_EQ(tbitmap_get_pixel(screen.get(), 0, 1), 0u);
}

// ---- BMP files ----

// The fuzz target's seeds (fuzz/seeds/bmp/) are files of this test.
TEST_F(TempDirTest, BmpRoundTripsEveryDepthAndOrder) {
  std::mt19937 rng(42);
  for (int bpp : {8, 16, 24, 32}) {
    for (int32_t h : {5, -5}) {
      bitmap_ptr b = make(7, h, bpp);
      test_fill_random(b.get(), rng);
      if (bpp == 8) b->_info[40 + 4 * 3 + 1] = 0x42;  // a palette that is not the ramp
      std::string name = "seed_" + std::to_string(bpp) + (h < 0 ? "_top_down" : "") + ".bmp";
      ASSERT_EQ(tbitmap_save_bmp(b.get(), wpath(name).c_str()), 1);
      test_keep_seed(path(name), "bmp", name.c_str());
      bytes file = test_read_file(path(name));
      uint32_t offset = 14 + 40 + (bpp == 8 ? 1024 : bpp == 16 ? 12 : 0);
      ASSERT_EQ(test_le32(file, 10), offset);
      ASSERT_EQ(file.size(), offset + tbitmap_get_image_size(b.get()));
      EXPECT_EQ(test_le32(file, 2), file.size());

      tbitmap back;
      ASSERT_EQ(tbitmap_load_bmp(&back, wpath(name).c_str()), 1);
      EXPECT_EQ(tbitmap_get_height(&back), 5);
      EXPECT_EQ(tbitmap_is_top_down(&back), h < 0);
      EXPECT_EQ(tbitmap_get_stride(&back), tbitmap_get_stride(b.get()));
      EXPECT_EQ(std::memcmp(back._info, b->_info, offset - 14), 0);
      EXPECT_EQ(std::memcmp(back._pixels, b->_pixels, tbitmap_get_image_size(b.get())), 0);
      EXPECT_EQ(back._red_mask, b->_red_mask);
      // Saving what was loaded gives the same file.
      ASSERT_EQ(tbitmap_save_bmp(&back, wpath(name + "2").c_str()), 1);
      EXPECT_EQ(test_read_file(path(name + "2")), file);
      tbitmap_deinit(&back);
    }
  }
  EXPECT_EQ(test_count_entries(dir), 16u) << "no temporary files are left";
}

TEST_F(TempDirTest, BmpLoaderRefusesFilesThatLie) {
  tbitmap b;
  ASSERT_EQ(load(dir, small_bmp(), &b), 1);
  EXPECT_EQ(tbitmap_get_pixel(&b, 0, 1), 0x383736u);  // the first stored row is the bottom one
  tbitmap_deinit(&b);

  struct lie {
    const char *what;
    size_t at;
    int width;  // 2 or 4 bytes
    uint32_t value;
  };
  const lie lies[] = {
      {"not BM", 0, 2, 0x4D43},
      {"header size 12", 14, 4, 12},
      {"header size past the data", 14, 4, 44},
      {"data offset inside the file header", 10, 4, 13},
      {"data offset past the end", 10, 4, 5000},
      {"depth 7", 28, 2, 7},
      {"depth 0", 28, 2, 0},
      {"depth 64", 28, 2, 64},
      {"width 0", 18, 4, 0},
      {"negative width", 18, 4, 0xFFFFFFFF},
      {"huge width", 18, 4, 0x7FFFFFFF},
      {"height 0", 22, 4, 0},
      {"more rows than stored", 22, 4, 3},
      {"more top-down rows than stored", 22, 4, uint32_t(-3)},
      {"most negative height", 22, 4, 0x80000000},
      {"RLE", 30, 4, 1},
      {"colours used beyond any palette", 46, 4, 0x40000000},
  };
  for (const lie &l : lies) {
    bytes file = small_bmp();
    if (l.width == 2)
      test_put16(file, l.at, l.value);
    else
      test_put32(file, l.at, l.value);
    std::memset(&b, 0x5A, sizeof b);
    EXPECT_EQ(load(dir, file, &b), 0) << l.what;
    EXPECT_EQ(b._info, nullptr) << l.what;
    EXPECT_EQ(b._pixels, nullptr) << l.what;
  }
  // Cut short anywhere: refused.
  bytes whole = small_bmp();
  for (size_t n = 0; n < whole.size(); n += 5) EXPECT_EQ(load(dir, bytes(whole.begin(), whole.begin() + long(n)), &b), 0) << n;
  // A file that cannot be opened leaves the record as it was.
  std::memset(&b, 0x5A, sizeof b);
  EXPECT_EQ(tbitmap_load_bmp(&b, wpath("missing.bmp").c_str()), 0);
  EXPECT_EQ(b._stride, 0x5A5A5A5Au);
}

TEST_F(TempDirTest, BmpShortPalettesAndMasksStayInBounds) {
  // An 8-bit file that stores two palette entries: the other 254 read as 0.
  bytes file = test_bmp_file(2, 1, 8, 8, 4);
  test_put32(file, 46, 2);
  file[54] = 9, file[55] = 8, file[56] = 7;  // entry 0
  file[62] = 0, file[63] = 250;              // pixel 0 uses entry 0, pixel 1 entry 250
  tbitmap bmp;
  ASSERT_EQ(load(dir, file, &bmp), 1);
  EXPECT_EQ(argb(&bmp, 0, 0) & 0xFFFFFF, 0x070809u);
  EXPECT_EQ(argb(&bmp, 1, 0) & 0xFF0000, 0u);
  bitmap_ptr dst = make(2, 1, 32);
  tpoint at = {0, 0};
  trect r = {0, 0, 1, 0};
  EXPECT_EQ(tbitmap_blit_keyed(dst.get(), &at, &bmp, &r, TBLIT_NO_KEY, 255), 1);
  bitmap_ptr copy(tbitmap_new_copy(&bmp));
  ASSERT_TRUE(copy);
  tbitmap_deinit(&bmp);

  // A 16-bit file without masks is read as 565; bit fields too short to
  // hold their masks read zeros, and a mask wider than 8 bits loses nothing.
  bytes w = test_bmp_file(1, 1, 16, 0, 4);
  ASSERT_EQ(load(dir, w, &bmp), 1);
  EXPECT_EQ(bmp._red_mask, 0xF800u);
  EXPECT_EQ(bmp._green_loss, 2u);
  tbitmap_deinit(&bmp);
  test_put32(w, 30, 3);
  ASSERT_EQ(load(dir, w, &bmp), 1);
  EXPECT_EQ(bmp._red_mask, 0u);
  tbitmap_deinit(&bmp);

  bytes wide_masks = test_bmp_file(1, 1, 32, 12, 4);
  test_put32(wide_masks, 30, 3);
  test_put32(wide_masks, 54, 0xFFF00000);
  test_put32(wide_masks, 58, 0x000FFC00);
  test_put32(wide_masks, 62, 0x000003FF);
  ASSERT_EQ(load(dir, wide_masks, &bmp), 1);
  EXPECT_EQ(bmp._red_shift, 20u);
  EXPECT_EQ(bmp._red_loss, 0u);
  EXPECT_EQ(tbitmap_blend_pixel(&bmp, 0, 0, 0x80FFFFFF), 1);
  tbitmap_deinit(&bmp);
}

TEST_F(TempDirTest, BmpLowDepthsLoadForPixelAccessOnly) {
  // 4 bpp, 3 x 1: nibbles 0xA, 0x5, 0x1, palette entry 5 is (1, 2, 3).
  bytes file = test_bmp_file(3, 1, 4, 64, 4);
  file[54 + 20] = 1, file[54 + 21] = 2, file[54 + 22] = 3;
  file[118] = 0xA5, file[119] = 0x10;
  tbitmap bmp;
  ASSERT_EQ(load(dir, file, &bmp), 1);
  EXPECT_EQ(tbitmap_get_pixel(&bmp, 0, 0), 0xAu);
  EXPECT_EQ(tbitmap_get_pixel(&bmp, 1, 0), 0x5u);
  EXPECT_EQ(argb(&bmp, 1, 0) & 0xFF0000, 0x030000u);
  // The value is cut to the nibble: the neighbour keeps its own.
  EXPECT_EQ(tbitmap_set_pixel(&bmp, 1, 0, 0x37), 1);
  EXPECT_EQ(tbitmap_get_pixel(&bmp, 0, 0), 0xAu);
  EXPECT_EQ(tbitmap_get_pixel(&bmp, 1, 0), 0x7u);
  bitmap_ptr dst = make(3, 1, 32);
  tpoint at = {0, 0};
  trect r = {0, 0, 2, 0};
  EXPECT_EQ(tbitmap_blit_keyed(dst.get(), &at, &bmp, &r, TBLIT_NO_KEY, 255), 0);
  EXPECT_EQ(tbitmap_fill_rect(&bmp, 0, 0, 2, 0, 0xFF000000), 0);
  tbitmap_deinit(&bmp);
}

TEST_F(TempDirTest, FailedSaveLeavesTheOldFile) {
  bitmap_ptr small = make(2, 2, 24), big = make(64, 64, 32);
  ASSERT_EQ(tbitmap_save_bmp(small.get(), wpath("keep.bmp").c_str()), 1);
  bytes old = test_read_file(path("keep.bmp"));
  // The file system refuses to grow a file past 200 bytes.
  EXPECT_EQ(test_with_file_limit(200, [&] { return tbitmap_save_bmp(big.get(), wpath("keep.bmp").c_str()); }), 0);
  EXPECT_EQ(test_read_file(path("keep.bmp")), old);
  EXPECT_EQ(test_count_entries(dir), 1u) << "the temporary file is gone";

  EXPECT_EQ(tbitmap_save_bmp(small.get(), wpath("no/such/folder.bmp").c_str()), 0);
  tbitmap empty = {};
  EXPECT_EQ(tbitmap_save_bmp(&empty, wpath("keep.bmp").c_str()), 0);
}

TEST(Contract, NullBitmapIsFatal) {
  EXPECT_EXIT(tbitmap_fill_rect(nullptr, 0, 0, 1, 1, 0), ::testing::ExitedWithCode(255), "code = tbitmap\\(");
  tpoint at = {0, 0};
  trect r = {0, 0, 0, 0};
  EXPECT_EXIT(tbitmap_blit_keyed(nullptr, &at, nullptr, &r, TBLIT_NO_KEY, 255), ::testing::ExitedWithCode(255),
              "code = tbitmap\\(");
}
