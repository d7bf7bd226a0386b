// Box drawer: when a box is drawn at all, borders by pixel, gradient rows
// from key words, and the gradient cache's lifetime.
#include "tbdrawer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "test_bitmap.h"

namespace {

constexpr uint32_t k_white = 0xFFFFFFFFu;

struct canvas32 {
  tcanvas canvas{};
  canvas32(int32_t w = 20, int32_t h = 20) {
    EXPECT_EQ(tcanvas_init(&canvas, nullptr, 32, w, -h), 1);
    tbitmap_fill_rect(canvas._bitmap, 0, 0, w - 1, h - 1, k_white);
  }
  ~canvas32() { tcanvas_deinit(&canvas); }
  uint32_t at(int32_t x, int32_t y) const { return test_rgb(canvas._bitmap, x, y); }
  std::vector<uint8_t> bytes() const {
    return {canvas._bitmap->_pixels, canvas._bitmap->_pixels + tbitmap_get_image_size(canvas._bitmap)};
  }
};

struct drawer_ptr {
  tbdrawer *d = tbdrawer_new_default();
  ~drawer_ptr() { tbdrawer_free(d); }
};

int g_draws;
void count_draw(tbdrawer *, tcanvas *, const trect *) { g_draws++; }

constexpr uint32_t k_red_key = tcolor_key_rgb(255, 0, 0), k_blue_key = tcolor_key_rgb(0, 0, 255);

}  // namespace

TEST(BoxDrawer, AnEmptyBoxIsDrawnOnlyWithAlwaysDrawAndThenPaintsNothing) {
  canvas32 c;
  drawer_ptr substituted;
  tbdrawer_set_draw_func(substituted.d, count_draw);
  g_draws = 0;
  trect empty = {5, 5, 4, 9}, flat = {5, 5, 9, 4};
  for (trect r : {empty, flat}) tbdrawer_draw(substituted.d, &c.canvas, &r);
  tbdrawer_set_always_draw(substituted.d, 1);
  tbdrawer_draw(substituted.d, &c.canvas, &empty);
  EXPECT_EQ(g_draws, 1) << "a substituted routine still sees the empty rect";

  drawer_ptr gradient;
  tbdrawer_set_fill_gradient(gradient.d, 0, k_red_key, k_blue_key, 100, 0);
  tbdrawer_set_always_draw(gradient.d, 1);
  std::vector<uint8_t> before = c.bytes();
  tbdrawer_draw(gradient.d, &c.canvas, &empty);
  EXPECT_EQ(gradient.d->_gradient_cache, nullptr);
  EXPECT_EQ(c.bytes(), before);
}

TEST(BoxDrawer, BordersByStyle) {
  const tcolor red = tcolor_rgba(255, 0, 0), first = tcolor_rgba(0, 255, 0), second = tcolor_rgba(0, 0, 255);
  constexpr uint32_t R = 0xFF0000, F = 0x00FF00, S = 0x0000FF, W = 0xFFFFFF, K = 0x000000;
  struct row {
    const char *name;
    void (*setup)(tbdrawer *d, tcolor first, tcolor second);
    // (2,2) (8,2) (9,2) (2,9) (9,9) (8,8) (9,5) (5,9) (5,5)
    std::vector<uint32_t> expected;
  };
  const row rows[] = {
      {"plain", [](tbdrawer *, tcolor, tcolor) {}, {K, K, K, K, K, R, K, K, R}},
      {"width 0 fills only", [](tbdrawer *d, tcolor, tcolor) { tbdrawer_set_no_border(d); },
       {R, R, R, R, R, R, R, R, R}},
      {"raised", [](tbdrawer *d, tcolor f, tcolor s) { tbdrawer_set_raised_border(d, f, s); },
       {F, F, S, S, S, F, S, S, R}},
      {"sunken", [](tbdrawer *d, tcolor f, tcolor s) { tbdrawer_set_sunken_border(d, f, s); },
       {S, S, S, S, F, R, F, F, R}},
      {"unknown style draws nothing", [](tbdrawer *d, tcolor, tcolor) { d->_border_style = 9; },
       {W, W, W, W, W, W, W, W, W}},
  };
  for (const row &r : rows) {
    SCOPED_TRACE(r.name);
    canvas32 c;
    drawer_ptr p;
    tbdrawer_set_fill_color(p.d, red);
    r.setup(p.d, first, second);
    trect box = {2, 2, 9, 9};
    tbdrawer_draw(p.d, &c.canvas, &box);
    std::vector<uint32_t> seen = {c.at(2, 2), c.at(8, 2), c.at(9, 2), c.at(2, 9), c.at(9, 9),
                                  c.at(8, 8), c.at(9, 5), c.at(5, 9), c.at(5, 5)};
    EXPECT_EQ(seen, r.expected);
    EXPECT_EQ(c.at(10, 10), W) << "nothing outside the box";
  }
}

TEST(BoxDrawer, GradientRowsFromKeyWordsRedInTheLowByte) {
  struct row {
    const char *name;
    int horizontal;
    int32_t length_percent, start_percent;
    std::vector<int32_t> lines;       // rows (or columns) to read
    std::vector<uint32_t> expected;  // 0xRRGGBB
  };
  // Over 48 lines from red to blue the step is 255 / 48 = 5.3125 a line.
  const row rows[] = {
      {"vertical", 0, 100, 0, {0, 1, 47}, {0xFF0000, 0xF90005, 0x0500F9}},
      {"horizontal", 1, 100, 0, {0, 47}, {0xFF0000, 0x0500F9}},
      // start 12, length 24: a step of 10.625
      {"start and length", 0, 50, 25, {0, 11, 12, 35, 36, 47}, {0xFF0000, 0xFF0000, 0xFF0000, 0x0A00F4, 0x0000FF, 0x0000FF}},
      {"length 0", 0, 0, 50, {0, 23, 24, 47}, {0xFF0000, 0xFF0000, 0x0000FF, 0x0000FF}},
      {"ramp beyond the end", 0, 100, 50, {23, 24, 47}, {0xFF0000, 0xFF0000, 0x84007A}},
  };
  for (const row &r : rows) {
    SCOPED_TRACE(r.name);
    canvas32 c(48, 48);
    drawer_ptr p;
    tbdrawer_set_fill_gradient(p.d, r.horizontal, k_red_key, k_blue_key, r.length_percent, r.start_percent);
    tbdrawer_set_no_border(p.d);
    trect box = {0, 0, 47, 47};
    tbdrawer_draw(p.d, &c.canvas, &box);
    EXPECT_EQ(c.at(0, 0) & 0x00FFFFu, 0u) << "the box shows its cache (red, not white)";
    for (size_t i = 0; i < r.lines.size(); i++) {
      int32_t line = r.lines[i];
      const tbitmap *ramp = p.d->_gradient_cache;
      EXPECT_EQ(r.horizontal ? test_rgb(ramp, line, 7) : test_rgb(ramp, 7, line), r.expected[i]) << "line " << line;
    }
  }
}

TEST(BoxDrawer, TheGradientCacheIsKeptForOneSizeAndRemadeOnResizeOrStale) {
  canvas32 c(48, 48);
  drawer_ptr p;
  tbdrawer_set_fill_gradient(p.d, 0, k_red_key, k_blue_key, 100, 0);
  trect box = {0, 0, 9, 47};
  tbdrawer_draw(p.d, &c.canvas, &box);
  ASSERT_NE(p.d->_gradient_cache, nullptr);
  EXPECT_EQ(test_shape(p.d->_gradient_cache), (std::vector<int32_t>{10, 48, 32, 0}));

  // A colour changed behind the setter's back is not seen while the cache is kept.
  p.d->_gradient_start = tcolor_key_rgb(0, 255, 0);
  tbdrawer_draw(p.d, &c.canvas, &box);
  EXPECT_EQ(test_rgb(p.d->_gradient_cache, 5, 1), 0xF90005u);
  tbdrawer_set_gradient_stale(p.d);
  tbdrawer_draw(p.d, &c.canvas, &box);
  EXPECT_EQ(test_rgb(p.d->_gradient_cache, 5, 1), 0x00F905u);

  trect wider = {0, 0, 11, 23};
  tbdrawer_draw(p.d, &c.canvas, &wider);
  EXPECT_EQ(test_shape(p.d->_gradient_cache), (std::vector<int32_t>{12, 24, 32, 0}));

  tbdrawer *copy = tbdrawer_copy(p.d);
  ASSERT_NE(copy, nullptr);
  EXPECT_NE(copy->_gradient_cache, p.d->_gradient_cache);
  EXPECT_EQ(test_shape(copy->_gradient_cache), test_shape(p.d->_gradient_cache));
  tbdrawer_free(copy);
}

// An opaque vertical gradient is filled row by row; a canvas-anchored one
// goes through the pattern brush. For a rect whose top lies on a multiple of
// its height the two put the same cache row on every canvas row, so they must
// agree up to the pattern's 255/256 weighting of an opaque brush.
TEST(BoxDrawer, OpaqueVerticalGradientRowsMatchThePatternPath) {
  std::mt19937 rng(20261206);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  for (int round = 0; round < 300; round++) {
    int bpp = pick(0, 1) ? 32 : 16, top_down = pick(0, 1);
    int32_t w = pick(1, 40), h = pick(1, 30);
    int32_t x1 = pick(-5, 30), y1 = pick(0, 1) * h;
    const uint32_t styles[] = {TBDRAWER_BORDER_PLAIN, TBDRAWER_BORDER_RAISED, TBDRAWER_BORDER_SUNKEN};
    uint32_t style = styles[pick(0, 2)];
    // A raised box one pixel across has a reversed inner rectangle, which the
    // canvas normalises to a column or row outside the box; not compared.
    if (style == TBDRAWER_BORDER_RAISED) w = std::max(w, 2), h = std::max(h, 2), y1 = y1 ? h : 0;
    int32_t width = pick(0, 2);
    uint32_t start = tcolor_key_rgb(pick(0, 255), pick(0, 255), pick(0, 255));
    uint32_t end = tcolor_key_rgb(pick(0, 255), pick(0, 255), pick(0, 255));
    int32_t length = pick(0, 120), from = pick(-20, 60);
    bool clipped = pick(0, 1);
    trect clip = {pick(-3, 30), pick(-3, 40), pick(0, 60), pick(0, 70)};
    SCOPED_TRACE(testing::Message() << "seed round " << round << ": bpp " << bpp << " top-down " << top_down << " "
                                    << w << "x" << h << " at " << x1 << "," << y1 << " style " << style << " width "
                                    << width << " ramp " << from << "+" << length << (clipped ? " clipped" : ""));

    tbitmap *out[2];
    for (int anchored = 0; anchored < 2; anchored++) {
      tcanvas c;
      ASSERT_EQ(tcanvas_init(&c, nullptr, bpp, 64, top_down ? -70 : 70), 1);
      tbitmap_fill_rect(c._bitmap, 0, 0, 63, 69, k_white);
      if (clipped) tcanvas_set_clip(&c, &clip);
      drawer_ptr p;
      tbdrawer_set_fill_gradient(p.d, 0, start, end, length, from);
      tbdrawer_set_pattern(p.d, nullptr, anchored);
      if (style == TBDRAWER_BORDER_PLAIN) tbdrawer_set_border(p.d, tcolor_rgba(10, 20, 30), width);
      if (style == TBDRAWER_BORDER_RAISED) tbdrawer_set_raised_border(p.d, tcolor_rgba(1, 2, 3), tcolor_rgba(4, 5, 6));
      if (style == TBDRAWER_BORDER_SUNKEN) tbdrawer_set_sunken_border(p.d, tcolor_rgba(1, 2, 3), tcolor_rgba(4, 5, 6));
      if (style != TBDRAWER_BORDER_PLAIN) p.d->_border_width = width;
      trect box = {x1, y1, x1 + w - 1, y1 + h - 1};
      tbdrawer_draw(p.d, &c, &box);
      out[anchored] = tbitmap_new_copy(c._bitmap);
      tcanvas_deinit(&c);
    }
    int tolerance = bpp == 16 ? 8 : 1;
    for (int32_t y = 0; y < 70; y++)
      for (int32_t x = 0; x < 64; x++) {
        uint32_t a = test_rgb(out[0], x, y), b = test_rgb(out[1], x, y);
        for (int shift : {0, 8, 16}) {
          int d = std::abs(int(a >> shift & 0xFF) - int(b >> shift & 0xFF));
          if (d > tolerance) {
            ADD_FAILURE() << "pixel " << x << "," << y << ": rows " << std::hex << a << " pattern " << b;
            x = 64, y = 70;
            break;
          }
        }
      }
    tbitmap_free(out[0]);
    tbitmap_free(out[1]);
  }
}
