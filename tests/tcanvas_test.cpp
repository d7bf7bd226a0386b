#include "tcanvas.h"

#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr uint32_t WHITE = 0xFFFFFFFF, BLACK = 0xFF000000, RED = 0xFFFF0000, BLUE = 0xFF0000FF;

typedef std::set<std::pair<int32_t, int32_t>> pixel_set;

// A 32-bit white canvas (which keeps its fourth byte at 255).
struct canvas_fixture {
  tcanvas canvas;
  canvas_fixture(int32_t w, int32_t h, int bpp = 32) { EXPECT_EQ(tcanvas_init(&canvas, nullptr, bpp, w, h), 1); }
  ~canvas_fixture() { tcanvas_deinit(&canvas); }
  tbitmap *bitmap() { return tcanvas_get_bitmap(&canvas); }
  uint32_t at(int32_t x, int32_t y) { return tbitmap_get_pixel(bitmap(), x, y); }
  // Every pixel that is no longer white, with its colour.
  pixel_set changed(uint32_t background = WHITE) {
    pixel_set out;
    for (int32_t y = 0; y < tbitmap_get_height(bitmap()); y++)
      for (int32_t x = 0; x < tbitmap_get_width(bitmap()); x++)
        if (at(x, y) != background) out.insert({x, y});
    return out;
  }
};

pixel_set diagonal(int32_t from, int32_t to) {
  pixel_set out;
  for (int32_t i = from; i <= to; i++) out.insert({i, i});
  return out;
}

bool same_pixels(const tbitmap *a, const tbitmap *b) {
  return tbitmap_get_image_size(a) == tbitmap_get_image_size(b) &&
         std::memcmp(a->_pixels, b->_pixels, tbitmap_get_image_size(a)) == 0;
}

tcolor color_at(const tbitmap *b, int32_t x, int32_t y) {
  tcolor c;
  tcolor_make(&c, 0, 0, 0, 255);
  tbitmap_get_pixel_color(b, x, y, &c);
  if (tbitmap_get_bpp(b) == 24) c.alpha = 255;  // formats without alpha count as opaque
  return c;
}

// The painting a flood fill must leave, built independently: the region by a
// breadth-first search over the tolerance test, then every maximal run of it
// painted by the run rule (blend the near-seed ends by their distance, fill
// from the first to the last exact seed pixel), all cut to the clip.
void reference_flood(tbitmap *b, const trect *clip, int32_t sx, int32_t sy, int tolerance, uint32_t brush_word) {
  const int32_t w = tbitmap_get_width(b), h = tbitmap_get_height(b);
  const int tol = std::clamp(tolerance, 0, 255);
  const tcolor seed = color_at(b, sx, sy);
  std::vector<uint8_t> region(size_t(w) * h, 0);
  auto passes = [&](int32_t x, int32_t y) {
    tcolor c = color_at(b, x, y);
    return std::abs(c.red - seed.red) <= tol && std::abs(c.green - seed.green) <= tol &&
           std::abs(c.blue - seed.blue) <= tol;
  };
  std::deque<std::pair<int32_t, int32_t>> queue = {{sx, sy}};
  region[size_t(sy) * w + sx] = 1;
  while (!queue.empty()) {
    auto [x, y] = queue.front();
    queue.pop_front();
    const int32_t nx[4] = {x - 1, x + 1, x, x}, ny[4] = {y, y, y - 1, y + 1};
    for (int k = 0; k < 4; k++) {
      if (nx[k] < 0 || ny[k] < 0 || nx[k] >= w || ny[k] >= h) continue;
      uint8_t &seen = region[size_t(ny[k]) * w + nx[k]];
      if (!seen && passes(nx[k], ny[k])) {
        seen = 1;
        queue.push_back({nx[k], ny[k]});
      }
    }
  }
  auto in_clip_x = [&](int32_t x) { return !clip || (x >= clip->x1 && x <= clip->x2); };
  auto exact = [&](tcolor c) { return c.red == seed.red && c.green == seed.green && c.blue == seed.blue; };
  tcolor brush;
  tcolor_make(&brush, int(brush_word >> 16), int(brush_word >> 8), int(brush_word), int(brush_word >> 24));
  auto blend_edge = [&](int32_t x, int32_t y, tcolor c) {
    if (!in_clip_x(x)) return;
    int k = (std::abs(c.red - seed.red) + std::abs(c.green - seed.green) + std::abs(c.blue - seed.blue)) / 3;
    uint32_t r = uint32_t(brush.red * (255 - k) + c.red * k) >> 8;
    uint32_t g = uint32_t(brush.green * (255 - k) + c.green * k) >> 8;
    uint32_t bl = uint32_t(brush.blue * (255 - k) + c.blue * k) >> 8;
    tbitmap_blend_pixel(b, x, y, uint32_t(c.alpha) << 24 | r << 16 | g << 8 | bl);
  };
  for (int32_t y = 0; y < h; y++) {
    if (clip && (y < clip->y1 || y > clip->y2)) continue;
    for (int32_t x = 0; x < w;) {
      if (!region[size_t(y) * w + x]) {
        x++;
        continue;
      }
      int32_t first = x;
      while (x < w && region[size_t(y) * w + x]) x++;
      int32_t last = x - 1, left = first;
      for (; left <= last && !exact(color_at(b, left, y)); left++) blend_edge(left, y, color_at(b, left, y));
      if (left > last) continue;
      int32_t right = last;
      for (; right > left && !exact(color_at(b, right, y)); right--) blend_edge(right, y, color_at(b, right, y));
      int32_t l = clip ? std::max(left, clip->x1) : left, r = clip ? std::min(right, clip->x2) : right;
      if (l <= r) tbitmap_draw_hline(b, l, r, y, brush_word);
    }
  }
}

}  // namespace

TEST(TcanvasInit, DefaultsAndOwnership) {
  tcanvas canvas;
  ASSERT_EQ(tcanvas_init(&canvas, &canvas, 16, 30, -20), 1);
  EXPECT_TRUE(tbitmap_is_top_down(tcanvas_get_bitmap(&canvas)));
  trect rect = {0, 0, 29, 19};
  EXPECT_TRUE(trect_is_equal(&canvas._rect, &rect));
  EXPECT_EQ(tcanvas_get_font_size(&canvas), 12);
  EXPECT_EQ(canvas._font_size_index, 3);
  EXPECT_EQ(std::u16string(canvas._font_face), u"tahoma");
  tcolor pen;
  EXPECT_EQ(tcolor_to_word(tcanvas_get_pen_color(&pen, &canvas)), BLACK);
  EXPECT_EQ(tcolor_to_word(&canvas._brush_color), WHITE);
  tcanvas_deinit(&canvas);

  // A borrowed bitmap outlives the canvas, even when the canvas is deinitialised.
  tbitmap *borrowed = tbitmap_new(4, 4, 32);
  ASSERT_EQ(tcanvas_init_on_bitmap(&canvas, borrowed), 1);
  tcanvas_fill_rect(&canvas, 0, 0, 3, 3);
  tcanvas_deinit(&canvas);
  EXPECT_EQ(tbitmap_get_width(borrowed), 4);
  tbitmap_free(borrowed);
}

TEST(TcanvasInit, FailedBitmapLeavesOnlyOwnerAndRect) {
  uint64_t old = tbitmap_set_budget(100);
  tcanvas canvas;
  int owner = 0;
  EXPECT_EQ(tcanvas_init(&canvas, &owner, 32, 100, 100), 0);
  tbitmap_set_budget(old);
  EXPECT_EQ(canvas._owner, &owner);
  EXPECT_EQ(canvas._rect.x2, 99);
  EXPECT_EQ(canvas._bitmap, nullptr);
  EXPECT_EQ(canvas._font_size, 0);
  // Drawing on it does nothing instead of reaching a missing bitmap.
  EXPECT_EQ(tcanvas_fill_rect(&canvas, 0, 0, 5, 5), 0);
  tcanvas_deinit(&canvas);
}

TEST(TcanvasLines, ClipKeepsItsLastColumnAndRow) {
  canvas_fixture f(30, 30);
  trect clip = {9, 9, 0, 0};  // normalised by the setter
  tcanvas_set_clip(&f.canvas, &clip);
  tcanvas_draw_line(&f.canvas, 0, 0, 20, 20);
  EXPECT_EQ(f.changed(), diagonal(0, 9));

  tcanvas_clear_clip(&f.canvas);
  tcanvas_draw_line(&f.canvas, 0, 0, 20, 20);
  EXPECT_EQ(f.changed(), diagonal(0, 20));
}

TEST(TcanvasLines, StraightLinesAreOrderedAndCutToTheClip) {
  canvas_fixture f(20, 20);
  tcanvas_draw_line(&f.canvas, 12, 5, 3, 5);
  pixel_set expected;
  for (int32_t x = 3; x <= 12; x++) expected.insert({x, 5});
  EXPECT_EQ(f.changed(), expected);

  trect clip = {4, 8, 6, 12};
  tcanvas_set_clip(&f.canvas, &clip);
  tcanvas_draw_line(&f.canvas, -100, 10, 100, 10);  // cut to x 4..6
  tcanvas_draw_line(&f.canvas, 5, 100, 5, -100);    // cut to y 8..12
  tcanvas_draw_line(&f.canvas, 7, 0, 7, 19);        // right of the clip
  tcanvas_draw_line(&f.canvas, 0, 13, 19, 13);      // below the clip
  for (int32_t x = 4; x <= 6; x++) expected.insert({x, 10});
  for (int32_t y = 8; y <= 12; y++) expected.insert({5, y});
  EXPECT_EQ(f.changed(), expected);

  tcanvas_set_pen_style(&f.canvas, TCANVAS_PEN_NONE);
  tcanvas_draw_line(&f.canvas, 4, 9, 6, 11);
  EXPECT_EQ(f.changed(), expected);
}

TEST(TcanvasLines, DiagonalsBlendTheirPixels) {
  canvas_fixture f(4, 4);
  tcanvas_set_pen(&f.canvas, TCANVAS_PEN_SOLID, 1, 0x80000000);
  tcanvas_draw_line(&f.canvas, 0, 0, 3, 3);
  // (255 * 127 + 0 * 128) >> 8 per channel, fourth byte kept at 255.
  EXPECT_EQ(f.at(2, 2), 0xFF7E7E7Eu);
}

TEST(TcanvasRects, PenlessRectIsOnlyTheFillAndOutlineSitsOnTheEdges) {
  canvas_fixture a(12, 12), b(12, 12);
  tcanvas_set_brush(&a.canvas, TCANVAS_BRUSH_SOLID, RED);
  tcanvas_set_pen_style(&a.canvas, TCANVAS_PEN_NONE);
  tcanvas_draw_rect(&a.canvas, 2, 3, 8, 9);
  tcanvas_set_brush(&b.canvas, TCANVAS_BRUSH_SOLID, RED);
  tcanvas_fill_rect(&b.canvas, 8, 9, 2, 3);
  EXPECT_TRUE(same_pixels(a.bitmap(), b.bitmap()));

  tcanvas_set_brush_style(&b.canvas, TCANVAS_BRUSH_NONE);
  tcanvas_draw_rect(&b.canvas, 2, 3, 8, 9);
  for (int32_t y = 3; y <= 9; y++)
    for (int32_t x = 2; x <= 8; x++) {
      bool edge = x == 2 || x == 8 || y == 3 || y == 9;
      ASSERT_EQ(b.at(x, y), edge ? BLACK : RED) << x << "," << y;
    }
}

TEST(TcanvasRects, SingleColumnInsideTheClipIsFilled) {
  canvas_fixture f(10, 10);
  tcanvas_set_brush(&f.canvas, TCANVAS_BRUSH_SOLID, RED);
  trect clip = {0, 0, 9, 9};
  tcanvas_set_clip(&f.canvas, &clip);
  tcanvas_fill_rect(&f.canvas, 3, -5, 3, 20);
  pixel_set expected;
  for (int32_t y = 0; y <= 9; y++) expected.insert({3, y});
  EXPECT_EQ(f.changed(), expected);
}

TEST(TcanvasRects, ClearFillsTheWholeCanvasWithTheBrush) {
  canvas_fixture f(7, 5, 24);
  tcanvas_set_brush(&f.canvas, TCANVAS_BRUSH_SOLID, BLUE);
  tcanvas_clear(&f.canvas);
  EXPECT_EQ(f.changed(0x0000FF).size(), 0u);
}

TEST(TcanvasRoundRect, RadiusIsClampedToHalfTheSmallerSide) {
  canvas_fixture a(30, 30), b(30, 30), c(30, 30);
  tcanvas_set_brush(&a.canvas, TCANVAS_BRUSH_SOLID, RED);
  tcanvas_set_brush(&b.canvas, TCANVAS_BRUSH_SOLID, RED);
  tcanvas_set_brush(&c.canvas, TCANVAS_BRUSH_SOLID, RED);
  // 10 wide, 20 high: any radius above 5 cuts the corners by 5.
  tcanvas_draw_round_rect(&a.canvas, 11, 22, 2, 3, 100);
  tpoint cut5[9] = {{2, 8}, {2, 17}, {7, 22}, {6, 22}, {11, 17}, {11, 8}, {6, 3}, {7, 3}, {2, 8}};
  tcanvas_draw_polygon(&b.canvas, cut5, 9);
  EXPECT_TRUE(same_pixels(a.bitmap(), b.bitmap()));
  EXPECT_EQ(a.at(2, 3), WHITE);
  EXPECT_EQ(a.at(6, 12), RED);

  // A negative radius draws square corners rather than corners turned outwards.
  tcanvas_draw_round_rect(&c.canvas, 2, 3, 11, 22, -7);
  EXPECT_EQ(c.at(2, 3), BLACK);
  EXPECT_EQ(c.changed().size(), size_t(10 * 20));
}

TEST(TcanvasPattern, TilesFromNegativeOriginsAndKeepsPhaseThroughTheClip) {
  tbitmap *pattern = tbitmap_new(3, 2, 32);
  for (int32_t y = 0; y < 2; y++)
    for (int32_t x = 0; x < 3; x++) tbitmap_set_pixel(pattern, x, y, 0xFF000000u | uint32_t(10 * (y * 3 + x + 1)));
  canvas_fixture f(17, 9), g(17, 9);
  for (canvas_fixture *c : {&f, &g}) {
    tcanvas_set_brush(&c->canvas, TCANVAS_BRUSH_PATTERN, WHITE);
    tcanvas_set_pattern(&c->canvas, pattern);
    tcanvas_set_pattern_origin(&c->canvas, -4, -7);
  }
  tcanvas_fill_rect(&f.canvas, -3, -3, 30, 30);
  auto expected = [&](int32_t x, int32_t y) {
    int32_t px = ((x + 4) % 3 + 3) % 3, py = ((y + 7) % 2 + 2) % 2;
    return 0xFF000000u | uint32_t(10 * (py * 3 + px + 1));
  };
  for (int32_t y = 0; y < 9; y++)
    for (int32_t x = 0; x < 17; x++) ASSERT_EQ(f.at(x, y), expected(x, y)) << x << "," << y;

  trect clip = {5, 2, 9, 6};
  tcanvas_set_clip(&g.canvas, &clip);
  tcanvas_fill_rect(&g.canvas, 0, 0, 16, 8);
  for (int32_t y = 0; y < 9; y++)
    for (int32_t x = 0; x < 17; x++) {
      bool inside = x >= 5 && x <= 9 && y >= 2 && y <= 6;
      ASSERT_EQ(g.at(x, y), inside ? expected(x, y) : WHITE) << x << "," << y;
    }
  tbitmap_free(pattern);
}

TEST(TcanvasEllipse, SmallRadiiPaintTheWalkedShape) {
  canvas_fixture f(20, 20);
  tcanvas_set_brush(&f.canvas, TCANVAS_BRUSH_SOLID, RED);
  // Radius 0 is radius 1: a plus whose middle row has a one-pixel interior.
  tcanvas_draw_circle(&f.canvas, 3, 3, 0);
  pixel_set plus = {{3, 2}, {2, 3}, {3, 3}, {4, 3}, {3, 4}};
  EXPECT_EQ(f.changed(), plus);
  for (auto [x, y] : plus) EXPECT_EQ(f.at(x, y), x == 3 && y == 3 ? RED : BLACK);

  // Radius 2: rows +-2 hold three outline pixels, the middle rows a red
  // interior of three between two outline pixels.
  canvas_fixture g(20, 20);
  tcanvas_set_brush(&g.canvas, TCANVAS_BRUSH_SOLID, RED);
  tcanvas_draw_circle(&g.canvas, 10, 10, 2);
  pixel_set outline, interior;
  for (int32_t dx = -1; dx <= 1; dx++) outline.insert({10 + dx, 8}), outline.insert({10 + dx, 12});
  for (int32_t dy = -1; dy <= 1; dy++) {
    outline.insert({8, 10 + dy}), outline.insert({12, 10 + dy});
    for (int32_t dx = -1; dx <= 1; dx++) interior.insert({10 + dx, 10 + dy});
  }
  pixel_set all = outline;
  all.insert(interior.begin(), interior.end());
  EXPECT_EQ(g.changed(), all);
  for (auto [x, y] : outline) EXPECT_EQ(g.at(x, y), BLACK);
  for (auto [x, y] : interior) EXPECT_EQ(g.at(x, y), RED);
}

TEST(TcanvasEllipse, RowsAndPixelsOutsideTheClipAreLeft) {
  canvas_fixture f(30, 30);
  tcanvas_set_brush(&f.canvas, TCANVAS_BRUSH_SOLID, RED);
  trect clip = {0, 10, 29, 12};
  tcanvas_set_clip(&f.canvas, &clip);
  tcanvas_draw_ellipse(&f.canvas, 14, 11, 8, 5);
  for (auto [x, y] : f.changed()) {
    EXPECT_GE(y, 10);
    EXPECT_LE(y, 12);
  }
  EXPECT_EQ(f.at(14, 11), RED);
  EXPECT_EQ(f.at(6, 11), BLACK);
}

TEST(TcanvasEllipse, FlatAndFarAwayEllipsesStayInsideTheirRowFlags) {
  canvas_fixture f(16, 8);
  // ry = 0 on the bottom row reports the row below the bitmap too.
  EXPECT_EQ(tcanvas_draw_ellipse(&f.canvas, 8, 7, 5, 0), 1);
  EXPECT_EQ(f.at(3, 7), BLACK);
  EXPECT_EQ(tcanvas_draw_ellipse(&f.canvas, 8, -3, 4, 3), 1);
  EXPECT_EQ(f.at(8, 0), BLACK);
  pixel_set before = f.changed();
  EXPECT_EQ(tcanvas_draw_ellipse(&f.canvas, 2000000000, 2000000000, 3, 3), 1);
  EXPECT_EQ(tcanvas_draw_ellipse(&f.canvas, -2000000000, -2000000000, 3, 3), 1);
  EXPECT_EQ(f.changed(), before);
}

TEST(TcanvasPolygon, OpenListIsRefusedAndTrianglesSkipTheBottomRow) {
  canvas_fixture f(10, 10);
  tcanvas_set_brush(&f.canvas, TCANVAS_BRUSH_SOLID, RED);
  tpoint open5[5] = {{0, 0}, {5, 0}, {5, 5}, {0, 5}, {0, 1}};
  EXPECT_EQ(tcanvas_draw_polygon(&f.canvas, open5, 5), 0);
  EXPECT_EQ(tcanvas_fill_polygon(&f.canvas, open5, 5), 0);
  EXPECT_TRUE(f.changed().empty());

  tpoint tri[3] = {{0, 0}, {4, 4}, {0, 4}};
  EXPECT_EQ(tcanvas_fill_polygon(&f.canvas, tri, 3), 1);
  pixel_set expected;
  for (int32_t y = 0; y <= 3; y++)
    for (int32_t x = 0; x <= y; x++) expected.insert({x, y});
  EXPECT_EQ(f.changed(), expected);
}

TEST(TcanvasPolygon, SpansAreClippedAsLines) {
  canvas_fixture f(20, 20);
  tcanvas_set_brush(&f.canvas, TCANVAS_BRUSH_SOLID, RED);
  tcanvas_set_pen_style(&f.canvas, TCANVAS_PEN_NONE);
  trect clip = {5, 5, 9, 9};
  tcanvas_set_clip(&f.canvas, &clip);
  tpoint square[5] = {{0, 0}, {19, 0}, {19, 19}, {0, 19}, {0, 0}};
  EXPECT_EQ(tcanvas_draw_polygon(&f.canvas, square, 5), 1);
  EXPECT_EQ(f.changed().size(), 25u);
  EXPECT_EQ(f.at(5, 5), RED);
  EXPECT_EQ(f.at(9, 9), RED);
}

TEST(TcanvasFlood, SeedOutsideTheBitmapIsRefused) {
  canvas_fixture f(5, 5);
  EXPECT_EQ(tcanvas_flood_fill(&f.canvas, -1, 2, 0), 0);
  EXPECT_EQ(tcanvas_flood_fill(&f.canvas, 2, 5, 0), 0);
  EXPECT_TRUE(f.changed().empty());
}

TEST(TcanvasFlood, ToleranceIsClampedToTheByteRange) {
  std::mt19937 rng(99);
  canvas_fixture base(24, 16);
  for (int32_t y = 0; y < 16; y++)
    for (int32_t x = 0; x < 24; x++) tbitmap_blend_pixel(base.bitmap(), x, y, 0xFF000000u | (rng() & 0x030303u) * 60);
  auto filled = [&](int tolerance) {
    tbitmap *copy = tbitmap_new_copy(base.bitmap());
    tcanvas canvas;
    tcanvas_init_on_bitmap(&canvas, copy);
    tcanvas_set_brush(&canvas, TCANVAS_BRUSH_SOLID, 0xFF123456);
    EXPECT_EQ(tcanvas_flood_fill(&canvas, 5, 5, tolerance), 1);
    return copy;
  };
  tbitmap *t300 = filled(300), *t255 = filled(255), *tneg = filled(-3), *t0 = filled(0);
  EXPECT_TRUE(same_pixels(t300, t255));
  EXPECT_TRUE(same_pixels(tneg, t0));
  EXPECT_FALSE(same_pixels(t255, t0));
  // At 255 every pixel belongs to the region; at 0 only the seed's colour.
  tcolor seed = color_at(base.bitmap(), 5, 5);
  for (int32_t y = 0; y < 16; y++)
    for (int32_t x = 0; x < 24; x++) {
      tcolor c = color_at(base.bitmap(), x, y);
      bool exact = c.red == seed.red && c.green == seed.green && c.blue == seed.blue;
      if (!exact) {
        ASSERT_EQ(tbitmap_get_pixel(tneg, x, y), tbitmap_get_pixel(base.bitmap(), x, y));
      }
    }
  for (tbitmap *b : {t300, t255, tneg, t0}) tbitmap_free(b);
}

TEST(TcanvasFlood, NearSeedEndsAreBlendedByDistanceAndTheMiddleFilledSolid) {
  canvas_fixture f(8, 2);
  // Row 0: two near-white pixels at each end of a white stretch.
  uint32_t near = 0xFFFAFAFA;  // distance 15 from white: k = 5
  for (int32_t x : {0, 1, 6, 7}) tbitmap_set_pixel(f.bitmap(), x, 0, near);
  // Row 1: a run with no exact seed pixel at all.
  tcanvas_set_brush(&f.canvas, TCANVAS_BRUSH_SOLID, BLACK);
  tbitmap_draw_hline(f.bitmap(), 0, 7, 1, near);
  EXPECT_EQ(tcanvas_flood_fill(&f.canvas, 3, 0, 10), 1);
  // (0 * 250 + 250 * 5) >> 8 = 4 in each channel, stored opaque.
  for (int32_t x : {0, 1, 6, 7}) EXPECT_EQ(f.at(x, 0), 0xFF040404u) << x;
  for (int32_t x = 2; x <= 5; x++) EXPECT_EQ(f.at(x, 0), BLACK) << x;
  for (int32_t x = 0; x < 8; x++) EXPECT_EQ(f.at(x, 1), 0xFF040404u) << x;
}

TEST(TcanvasFlood, TwentyFourBitEdgesBlendTowardsTheBrush) {
  canvas_fixture f(4, 1, 24);
  tbitmap_set_pixel(f.bitmap(), 0, 0, 0xFAFAFA);
  tcanvas_set_brush(&f.canvas, TCANVAS_BRUSH_SOLID, BLACK);
  EXPECT_EQ(tcanvas_flood_fill(&f.canvas, 2, 0, 10), 1);
  EXPECT_EQ(tbitmap_get_pixel(f.bitmap(), 0, 0), 0x040404u);
  EXPECT_EQ(tbitmap_get_pixel(f.bitmap(), 1, 0), 0u);
}

TEST(TcanvasFlood, RegionIsFoundBeyondTheClipButPaintedOnlyInsideIt) {
  // A U: two arms joined along the bottom row. The clip covers the tops of
  // both arms but not the bottom, so the second arm is reached outside it.
  canvas_fixture f(9, 8);
  tcanvas_set_brush(&f.canvas, TCANVAS_BRUSH_SOLID, RED);
  tbitmap_fill_rect(f.bitmap(), 3, 0, 5, 6, BLACK);
  trect clip = {0, 0, 8, 4};
  tcanvas_set_clip(&f.canvas, &clip);
  EXPECT_EQ(tcanvas_flood_fill(&f.canvas, 0, 0, 0), 1);
  for (int32_t y = 0; y < 8; y++)
    for (int32_t x = 0; x < 9; x++) {
      bool wall = x >= 3 && x <= 5 && y <= 6;
      uint32_t expected = wall ? BLACK : (y <= 4 ? RED : WHITE);
      ASSERT_EQ(f.at(x, y), expected) << x << "," << y;
    }
}

TEST(TcanvasFlood, PatternAndHollowBrushes) {
  canvas_fixture f(6, 3);
  tbitmap_draw_vline(f.bitmap(), 3, 0, 2, BLACK);
  tcanvas_set_brush_style(&f.canvas, TCANVAS_BRUSH_NONE);
  EXPECT_EQ(tcanvas_flood_fill(&f.canvas, 0, 0, 0), 1);
  EXPECT_EQ(f.changed().size(), 3u);

  tbitmap *pattern = tbitmap_new(2, 1, 32);
  tbitmap_set_pixel(pattern, 0, 0, RED);
  tbitmap_set_pixel(pattern, 1, 0, BLUE);
  tcanvas_set_brush(&f.canvas, TCANVAS_BRUSH_PATTERN, WHITE);
  tcanvas_set_pattern(&f.canvas, pattern);
  EXPECT_EQ(tcanvas_flood_fill(&f.canvas, 4, 1, 0), 1);
  for (int32_t y = 0; y < 3; y++) {
    EXPECT_EQ(f.at(0, y), WHITE);
    EXPECT_EQ(f.at(4, y), RED);
    EXPECT_EQ(f.at(5, y), BLUE);
  }
  tbitmap_free(pattern);
}

TEST(TcanvasFlood, MatchesTheBreadthFirstReferenceOnRandomPictures) {
  const uint32_t palette[] = {WHITE, 0xFFFAFAFA, 0xFFF0FFF8, BLACK, 0xFF808080, 0xFF102030};
  for (uint32_t seed = 1; seed <= 240; seed++) {
    std::mt19937 rng(seed);
    const int depths[] = {16, 16, 24, 32};
    int bpp = depths[seed % 4];
    int32_t w = 1 + int32_t(rng() % 40), h = 1 + int32_t(rng() % 25);
    tbitmap *picture = tbitmap_new(w, rng() % 2 ? h : -h, bpp);
    if (bpp == 16 && seed % 8 == 0) {  // 555 through bit fields
      uint32_t masks[3] = {0x7C00, 0x03E0, 0x001F};
      for (int i = 0; i < 3; i++)
        for (int k = 0; k < 4; k++) picture->_info[40 + 4 * i + k] = uint8_t(masks[i] >> (8 * k));
      tbitmap_init_channels(picture);
    }
    int colours = 2 + int(rng() % 5);
    for (int32_t y = 0; y < h; y++)
      for (int32_t x = 0; x < w; x++) tbitmap_blend_pixel(picture, x, y, palette[rng() % colours]);
    tbitmap *expected = tbitmap_new_copy(picture);

    tcanvas canvas;
    tcanvas_init_on_bitmap(&canvas, picture);
    uint32_t brush = rng() % 3 ? 0xFF3366CC : 0x80CC6633;
    tcanvas_set_brush(&canvas, TCANVAS_BRUSH_SOLID, brush);
    trect clip = {int32_t(rng() % w) - 2, int32_t(rng() % h) - 2, int32_t(rng() % w) + 2, int32_t(rng() % h) + 2};
    bool clipped = rng() % 2;
    if (clipped) tcanvas_set_clip(&canvas, &clip);
    int tolerance = int(rng() % 4) * 8;
    int32_t sx = int32_t(rng() % w), sy = int32_t(rng() % h);

    ASSERT_EQ(tcanvas_flood_fill(&canvas, sx, sy, tolerance), 1) << "seed " << seed;
    reference_flood(expected, clipped ? &canvas._clip : nullptr, sx, sy, tolerance, brush);
    for (int32_t y = 0; y < h; y++)
      for (int32_t x = 0; x < w; x++)
        ASSERT_EQ(tbitmap_get_pixel(picture, x, y), tbitmap_get_pixel(expected, x, y))
            << "seed " << seed << " bpp " << bpp << " tolerance " << tolerance << " at " << x << "," << y;
    tbitmap_free(expected);
    tbitmap_free(picture);
  }
}

TEST(TcanvasBitmaps, ClippedDrawsShiftTheSourceWithTheDestination) {
  tbitmap *src = tbitmap_new(6, 6, 32);
  for (int32_t y = 0; y < 6; y++)
    for (int32_t x = 0; x < 6; x++) tbitmap_set_pixel(src, x, y, 0xFF000000u | uint32_t(y * 16 + x));
  trect whole = {0, 0, 5, 5};

  canvas_fixture f(20, 20);
  trect clip = {10, 10, 12, 19};
  tcanvas_set_clip(&f.canvas, &clip);
  tpoint far = {0, 0};
  EXPECT_EQ(tcanvas_draw_bitmap(&f.canvas, &far, src, &whole), 1);
  EXPECT_TRUE(f.changed().empty());

  tpoint at = {8, 9};
  EXPECT_EQ(tcanvas_draw_bitmap(&f.canvas, &at, src, &whole), 1);
  pixel_set expected;
  for (int32_t y = 10; y <= 14; y++)
    for (int32_t x = 10; x <= 12; x++) {
      expected.insert({x, y});
      EXPECT_EQ(f.at(x, y), 0xFF000000u | uint32_t((y - 9) * 16 + (x - 8))) << x << "," << y;
    }
  EXPECT_EQ(f.changed(), expected);

  // A one-column overlap with the clip is still drawn.
  canvas_fixture g(20, 20);
  tcanvas_set_clip(&g.canvas, &clip);
  tpoint edge = {5, 10};
  trect reversed = {5, 5, 0, 0};
  EXPECT_EQ(tcanvas_draw_bitmap_alpha(&g.canvas, &edge, src, &reversed, 256), 1);
  pixel_set column;
  for (int32_t y = 10; y <= 15; y++) column.insert({10, y});
  EXPECT_EQ(g.changed(), column);
  EXPECT_EQ(g.at(10, 10), 0xFF000005u);

  tbitmap *mask = tbitmap_new(6, 6, 8);
  std::memset(mask->_pixels, 0, tbitmap_get_image_size(mask));
  EXPECT_EQ(tcanvas_draw_bitmap_masked(&g.canvas, &edge, src, &whole, mask, 255), 1);
  EXPECT_EQ(tcanvas_draw_bitmap_keyed(&g.canvas, &edge, src, &whole, 0x000003, 255), 1);
  EXPECT_EQ(g.changed(), column);
  tbitmap_free(mask);
  tbitmap_free(src);
}
