#include "tcanvas.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <deque>
#include <random>
#include <string>
#include <vector>

#include "test_bitmap.h"

namespace {

constexpr uint32_t WHITE = 0xFFFFFFFF, BLACK = 0xFF000000, RED = 0xFFFF0000, BLUE = 0xFF0000FF;

// A white canvas (32-bit pixels keep their fourth byte at 255).
struct canvas_fixture {
  tcanvas canvas;
  canvas_fixture(int32_t w, int32_t h, int bpp = 32) { EXPECT_EQ(tcanvas_init(&canvas, nullptr, bpp, w, h), 1); }
  ~canvas_fixture() { tcanvas_deinit(&canvas); }
  tbitmap *bitmap() { return tcanvas_get_bitmap(&canvas); }
  uint32_t at(int32_t x, int32_t y) { return tbitmap_get_pixel(bitmap(), x, y); }
  // The canvas as text, a line per row: '.' white, '#' black, 'r' red, 'b' blue, '?' other.
  std::string picture() {
    std::string out;
    for (int32_t y = 0; y < tbitmap_get_height(bitmap()); y++, out += '\n')
      for (int32_t x = 0; x < tbitmap_get_width(bitmap()); x++) {
        uint32_t p = at(x, y);
        out += p == WHITE ? '.' : p == BLACK ? '#' : p == RED ? 'r' : p == BLUE ? 'b' : '?';
      }
    return out;
  }
};

tcolor color_at(const tbitmap *b, int32_t x, int32_t y) {
  tcolor c;
  tcolor_make(&c, 0, 0, 0, 255);
  tbitmap_get_pixel_color(b, x, y, &c);
  if (tbitmap_get_bpp(b) == 24) c.alpha = 255;  // formats without alpha count as opaque
  return c;
}

// The painting a flood fill must leave, worked out independently in floating
// point: the region by a breadth-first search over the tolerance test, then
// every maximal run of it painted by the run rule, cut to the clip. The
// near-seed ends of a run are moved towards the brush by their distance and
// the brush's alpha (k = summed channel distance / 3, the brush's share
// s = (255 - k) * alpha / 255 rounded: brush * s / 256 + pixel * (255 - s) / 256)
// and stored opaque; the stretch from the first to the last exact seed pixel
// takes the brush blended with weight alpha / 256 (stored when opaque).
// The result is a level per channel and pixel, exact (not truncated), nan
// where nothing is painted.
std::vector<double> reference_flood(const tbitmap *b, const trect *clip, int32_t sx, int32_t sy, int tolerance,
                                    uint32_t brush_word) {
  const int32_t w = tbitmap_get_width(b), h = tbitmap_get_height(b);
  auto index = [w](int32_t x, int32_t y) { return size_t(y) * w + x; };
  const int tol = std::clamp(tolerance, 0, 255);
  const tcolor seed = color_at(b, sx, sy);
  auto distance = [&seed](tcolor c, int *worst) {
    int dr = std::abs(c.red - seed.red), dg = std::abs(c.green - seed.green), db = std::abs(c.blue - seed.blue);
    *worst = std::max({dr, dg, db});
    return dr + dg + db;
  };
  std::vector<uint8_t> region(size_t(w) * h, 0);
  std::deque<std::pair<int32_t, int32_t>> queue = {{sx, sy}};
  region[index(sx, sy)] = 1;
  while (!queue.empty()) {
    auto [x, y] = queue.front();
    queue.pop_front();
    for (auto [nx, ny] : {std::pair{x - 1, y}, {x + 1, y}, {x, y - 1}, {x, y + 1}}) {
      int worst = 0;
      if (nx >= 0 && ny >= 0 && nx < w && ny < h && !region[index(nx, ny)] &&
          (distance(color_at(b, nx, ny), &worst), worst <= tol))
        region[index(nx, ny)] = 1, queue.push_back({nx, ny});
    }
  }
  const double brush[3] = {double((brush_word >> 16) & 255), double((brush_word >> 8) & 255),
                           double(brush_word & 255)};
  const double alpha = double(brush_word >> 24);
  std::vector<double> levels(3 * size_t(w) * h, std::nan(""));
  auto in_clip = [clip](int32_t x, int32_t y) {
    return !clip || (x >= clip->x1 && x <= clip->x2 && y >= clip->y1 && y <= clip->y2);
  };
  // Moves an end pixel towards the brush; false at an exact seed pixel, where the scan stops.
  auto blend_end = [&](int32_t x, int32_t y) {
    tcolor c = color_at(b, x, y);
    int worst, k = distance(c, &worst) / 3;
    if (worst == 0) return false;
    if (!in_clip(x, y)) return true;
    const double pixel[3] = {double(c.red), double(c.green), double(c.blue)};
    const double share = std::round((255 - k) * alpha / 255);
    for (int ch = 0; ch < 3; ch++)
      levels[3 * index(x, y) + ch] = (brush[ch] * share + pixel[ch] * (255 - share)) / 256 * test_level_scale(b, ch);
    return true;
  };
  auto fill = [&](int32_t x, int32_t y) {
    if (!in_clip(x, y)) return;
    for (int ch = 0; ch < 3; ch++) {
      double colour = brush[ch] * test_level_scale(b, ch);
      double source = std::floor(colour), old = test_level(b, x, y, ch);
      levels[3 * index(x, y) + ch] = alpha == 255 ? source : (source * alpha + old * (256 - alpha)) / 256;
    }
  };
  for (int32_t y = 0; y < h; y++) {
    for (int32_t x = 0; x < w; x++) {
      if (!region[index(x, y)]) continue;
      int32_t left = x, right = x;
      while (right + 1 < w && region[index(right + 1, y)]) right++;
      x = right;
      while (left <= right && blend_end(left, y)) left++;
      if (left > right) continue;
      while (right > left && blend_end(right, y)) right--;
      for (int32_t i = left; i <= right; i++) fill(i, y);
    }
  }
  return levels;
}

}  // namespace

TEST(TcanvasInit, TopDownBorrowedAndFailedBitmaps) {
  tcanvas canvas;
  ASSERT_EQ(tcanvas_init(&canvas, nullptr, 16, 30, -20), 1);
  EXPECT_TRUE(tbitmap_is_top_down(tcanvas_get_bitmap(&canvas)));
  EXPECT_EQ(canvas._rect.y2, 19);
  tcanvas_deinit(&canvas);
  // A borrowed bitmap outlives the canvas, even when the canvas is deinitialised.
  tbitmap *borrowed = tbitmap_new(4, 4, 32);
  ASSERT_EQ(tcanvas_init_on_bitmap(&canvas, borrowed), 1);
  tcanvas_deinit(&canvas);
  EXPECT_EQ(tbitmap_get_width(borrowed), 4);
  tbitmap_free(borrowed);

  // No memory for the bitmap: only the owner and the rectangle are set.
  uint64_t old = tbitmap_set_budget(100);
  int owner = 0;
  EXPECT_EQ(tcanvas_init(&canvas, &owner, 32, 100, 100), 0);
  tbitmap_set_budget(old);
  EXPECT_EQ(canvas._owner, &owner);
  EXPECT_EQ(canvas._rect.x2, 99);
  EXPECT_EQ(tcanvas_fill_rect(&canvas, 0, 0, 5, 5), 0);  // no bitmap to reach
  tcanvas_deinit(&canvas);
}

TEST(TcanvasLines, ClipIsInclusiveAndStraightLinesAreCutToIt) {
  canvas_fixture f(8, 8);
  trect clip = {5, 5, 1, 2};  // normalised by the setter
  tcanvas_set_clip(&f.canvas, &clip);
  tcanvas_draw_line(&f.canvas, 0, 0, 20, 20);     // diagonal: tested per pixel
  tcanvas_draw_line(&f.canvas, 12, 4, -3, 4);     // horizontal, right to left
  tcanvas_draw_line(&f.canvas, 2, 100, 2, -100);  // vertical
  tcanvas_draw_line(&f.canvas, 6, 0, 6, 7);       // right of the clip
  tcanvas_set_pen_style(&f.canvas, TCANVAS_PEN_NONE);
  tcanvas_draw_line(&f.canvas, 1, 3, 5, 3);
  EXPECT_EQ(f.picture(),
            "........\n"
            "........\n"
            "..#.....\n"
            "..##....\n"
            ".#####..\n"
            "..#..#..\n"
            "........\n"
            "........\n");
  tcanvas_clear_clip(&f.canvas);
  tcanvas_set_pen_style(&f.canvas, TCANVAS_PEN_SOLID);
  tcanvas_draw_line(&f.canvas, 7, 0, 7, 30);
  EXPECT_EQ(f.at(7, 0), BLACK);
  EXPECT_EQ(f.at(7, 7), BLACK);
}

TEST(TcanvasRects, OutlineOnTheEdgesFillInsideAndSingleColumnsThroughTheClip) {
  canvas_fixture f(8, 6), g(8, 6);
  tcanvas_set_brush(&f.canvas, TCANVAS_BRUSH_SOLID, RED);
  tcanvas_draw_rect(&f.canvas, 1, 1, 6, 4);
  EXPECT_EQ(f.picture(),
            "........\n"
            ".######.\n"
            ".#rrrr#.\n"
            ".#rrrr#.\n"
            ".######.\n"
            "........\n");
  // Without a pen only the fill is painted; a one-column fill inside the clip
  // is not lost to the strict intersection test.
  tcanvas_set_brush(&g.canvas, TCANVAS_BRUSH_SOLID, RED);
  tcanvas_set_pen_style(&g.canvas, TCANVAS_PEN_NONE);
  tcanvas_draw_rect(&g.canvas, 1, 1, 6, 4);
  trect clip = {0, 0, 7, 5};
  tcanvas_set_clip(&g.canvas, &clip);
  tcanvas_set_brush_color(&g.canvas, BLUE);
  tcanvas_fill_rect(&g.canvas, 0, -5, 0, 20);
  EXPECT_EQ(g.picture(),
            "b.......\n"
            "brrrrrr.\n"
            "brrrrrr.\n"
            "brrrrrr.\n"
            "brrrrrr.\n"
            "b.......\n");
}

TEST(TcanvasRoundRect, RadiusIsClampedToHalfTheSmallerSide) {
  canvas_fixture a(30, 30), b(30, 30), c(14, 24);
  for (canvas_fixture *f : {&a, &b, &c}) tcanvas_set_brush(&f->canvas, TCANVAS_BRUSH_SOLID, RED);
  // 10 wide, 20 high: any radius above 5 cuts the corners by 5.
  tcanvas_draw_round_rect(&a.canvas, 11, 22, 2, 3, 100);
  tpoint cut5[9] = {{2, 8}, {2, 17}, {7, 22}, {6, 22}, {11, 17}, {11, 8}, {6, 3}, {7, 3}, {2, 8}};
  tcanvas_draw_polygon(&b.canvas, cut5, 9);
  EXPECT_EQ(test_pixel_bytes(a.bitmap()), test_pixel_bytes(b.bitmap()));
  EXPECT_EQ(a.at(2, 3), WHITE);
  // A negative radius draws square corners rather than corners turned outwards.
  tcanvas_draw_round_rect(&c.canvas, 2, 3, 11, 22, -7);
  EXPECT_EQ(c.at(2, 3), BLACK);
  EXPECT_EQ(c.at(1, 2), WHITE);
}

TEST(TcanvasPattern, TilesFromNegativeOriginsAndKeepsPhaseThroughTheClip) {
  bitmap_ptr owned = test_bitmap(3, 2, 32);
  tbitmap *pattern = owned.get();
  for (int32_t i = 0; i < 6; i++) tbitmap_set_pixel(pattern, i % 3, i / 3, 0xFF000000u | uint32_t(10 * (i + 1)));
  auto expected = [](int32_t x, int32_t y) {
    int32_t px = ((x + 4) % 3 + 3) % 3, py = ((y + 7) % 2 + 2) % 2;
    return 0xFF000000u | uint32_t(10 * (py * 3 + px + 1));
  };
  trect clip = {5, 2, 9, 6};
  for (bool clipped : {false, true}) {
    canvas_fixture f(17, 9);
    tcanvas_set_brush(&f.canvas, TCANVAS_BRUSH_PATTERN, WHITE);
    tcanvas_set_pattern(&f.canvas, pattern);
    tcanvas_set_pattern_origin(&f.canvas, -4, -7);
    if (clipped) tcanvas_set_clip(&f.canvas, &clip);
    tcanvas_fill_rect(&f.canvas, -3, -3, 30, 30);
    for (int32_t y = 0; y < 9; y++)
      for (int32_t x = 0; x < 17; x++) {
        bool inside = !clipped || (x >= 5 && x <= 9 && y >= 2 && y <= 6);
        ASSERT_EQ(f.at(x, y), inside ? expected(x, y) : WHITE) << x << "," << y << " clipped " << clipped;
      }
  }
}

TEST(TcanvasEllipse, SmallRadiiAndClippedRowsFillEachRowOnceAndOutlineEveryReport) {
  canvas_fixture f(7, 7), g(7, 7);
  tcanvas_set_brush(&f.canvas, TCANVAS_BRUSH_SOLID, RED);
  tcanvas_set_brush(&g.canvas, TCANVAS_BRUSH_SOLID, RED);
  tcanvas_draw_circle(&f.canvas, 3, 3, 0);  // walked as radius 1
  EXPECT_EQ(f.picture(), ".......\n.......\n...#...\n..#r#..\n...#...\n.......\n.......\n");
  tcanvas_draw_circle(&g.canvas, 3, 3, 2);
  EXPECT_EQ(g.picture(), ".......\n..###..\n.#rrr#.\n.#rrr#.\n.#rrr#.\n..###..\n.......\n");
  // Clipped: row 2 is reported twice, wider the second time: filled once, outlined twice.
  canvas_fixture h(9, 7);
  tcanvas_set_brush(&h.canvas, TCANVAS_BRUSH_SOLID, RED);
  trect clip = {0, 2, 7, 4};
  tcanvas_set_clip(&h.canvas, &clip);
  tcanvas_draw_ellipse(&h.canvas, 4, 3, 4, 2);
  EXPECT_EQ(h.picture(), ".........\n.........\n.##rrr##.\n#rrrrrrr.\n.##rrr##.\n.........\n.........\n");
}

TEST(TcanvasEllipse, FlatAndFarAwayEllipsesStayInsideTheirRowFlags) {
  canvas_fixture f(16, 8);
  EXPECT_EQ(tcanvas_draw_ellipse(&f.canvas, 8, 7, 5, 0), 1);  // also reports the row below the bitmap
  EXPECT_EQ(f.at(3, 7), BLACK);
  EXPECT_EQ(tcanvas_draw_ellipse(&f.canvas, 8, -3, 4, 3), 1);
  EXPECT_EQ(f.at(8, 0), BLACK);
  std::string before = f.picture();
  EXPECT_EQ(tcanvas_draw_ellipse(&f.canvas, 2000000000, 2000000000, 3, 3), 1);
  EXPECT_EQ(tcanvas_draw_ellipse(&f.canvas, -2000000000, -2000000000, 3, 3), 1);
  EXPECT_EQ(f.picture(), before);
}

TEST(TcanvasPolygon, OpenListIsRefusedAndTrianglesSkipTheBottomRow) {
  canvas_fixture f(5, 6);
  tcanvas_set_brush(&f.canvas, TCANVAS_BRUSH_SOLID, RED);
  tpoint open5[5] = {{0, 0}, {4, 0}, {4, 4}, {0, 4}, {0, 1}};
  EXPECT_EQ(tcanvas_draw_polygon(&f.canvas, open5, 5), 0);
  EXPECT_EQ(tcanvas_fill_polygon(&f.canvas, open5, 5), 0);
  tpoint tri[3] = {{0, 0}, {4, 4}, {0, 4}};
  EXPECT_EQ(tcanvas_fill_polygon(&f.canvas, tri, 3), 1);
  EXPECT_EQ(f.picture(), "r....\nrr...\nrrr..\nrrrr.\n.....\n.....\n");
}

TEST(TcanvasFlood, ToleranceIsClampedToTheByteRange) {
  std::mt19937 rng(99);
  canvas_fixture base(24, 16);
  for (int32_t i = 0; i < 24 * 16; i++)
    tbitmap_blend_pixel(base.bitmap(), i % 24, i / 24, 0xFF000000u | (rng() & 0x030303u) * 60);
  auto filled = [&](int tolerance) {
    bitmap_ptr copy(tbitmap_new_copy(base.bitmap()));
    tcanvas canvas;
    tcanvas_init_on_bitmap(&canvas, copy.get());
    tcanvas_set_brush(&canvas, TCANVAS_BRUSH_SOLID, 0xFF123456);
    EXPECT_EQ(tcanvas_flood_fill(&canvas, 5, 5, tolerance), 1);
    return test_pixel_bytes(copy.get());
  };
  EXPECT_EQ(filled(300), filled(255));
  EXPECT_EQ(filled(-3), filled(0));
  EXPECT_NE(filled(255), filled(0));
}

TEST(TcanvasFlood, NearSeedEndsAreBlendedByDistanceAndTheMiddleFilledSolid) {
  for (int bpp : {32, 24}) {
    canvas_fixture f(8, 2, bpp);
    // Row 0: near-white pixels at both ends of a white stretch; row 1: a run
    // with no exact seed pixel at all, so nothing of it is filled solid.
    uint32_t near = 0xFFFAFAFA;  // distance 15 from white: k = 5
    for (int32_t x : {0, 1, 6, 7}) tbitmap_set_pixel(f.bitmap(), x, 0, near);
    tbitmap_draw_hline(f.bitmap(), 0, 7, 1, near);
    tcanvas_set_brush(&f.canvas, TCANVAS_BRUSH_SOLID, BLACK);
    EXPECT_EQ(tcanvas_flood_fill(&f.canvas, 3, 0, 10), 1);
    // (0 * 250 + 250 * 5) >> 8 = 4 per channel, stored as an opaque pixel.
    uint32_t edge = bpp == 32 ? 0xFF040404u : 0x040404u, solid = bpp == 32 ? BLACK : 0u;
    for (int32_t x = 0; x < 8; x++) {
      EXPECT_EQ(f.at(x, 0), x >= 2 && x <= 5 ? solid : edge) << bpp << " " << x;
      EXPECT_EQ(f.at(x, 1), edge) << bpp << " " << x;
    }
  }
}

// A fill beside a stroke's antialiased edge: each row holds one edge shade
// of a black pencil or a red spray over white, at both ends of a white
// stretch, then the stroke's core; the last row is all edge shade, no exact
// seed pixel. A translucent brush covers no pixel more than its alpha
// allows; an opaque one paints the edges by distance alone, as it always did.
TEST(TcanvasFlood, TranslucentBrushesCoverAntialiasedEdgesNoMoreThanTheirAlpha) {
  const uint32_t shades[] = {0xFFFEFEFE, 0xFFFBFBFB, 0xFFF5F5F5, 0xFFEBEBEB, 0xFFDFDFDF, 0xFFFFFDFD, 0xFFFFF0F0};
  const uint32_t cores[] = {BLACK, BLACK, BLACK, BLACK, BLACK, RED, RED};
  struct fill_case {
    uint32_t brush;
    int bpp;
  } cases[] = {{0x800000FF, 32}, {0x800000FF, 24}, {0x40C02040, 32}, {0x40C02040, 24}, {BLUE, 32}, {BLUE, 24}};
  for (const fill_case &c : cases) {
    SCOPED_TRACE(testing::Message() << "brush " << std::hex << c.brush << std::dec << " bpp " << c.bpp);
    canvas_fixture f(10, 8, c.bpp);
    for (int32_t y = 0; y < 7; y++) {
      for (int32_t x : {0, 7}) tbitmap_set_pixel(f.bitmap(), x, y, shades[y]);
      tbitmap_set_pixel(f.bitmap(), 8, y, cores[y]);
    }
    tbitmap_draw_hline(f.bitmap(), 0, 7, 7, shades[2]);
    tbitmap_set_pixel(f.bitmap(), 8, 7, BLACK);
    bitmap_ptr before(tbitmap_new_copy(f.bitmap()));
    tcanvas_set_brush(&f.canvas, TCANVAS_BRUSH_SOLID, c.brush);
    ASSERT_EQ(tcanvas_flood_fill(&f.canvas, 3, 0, 32), 1);
    const int alpha = int(c.brush >> 24);
    const int brush[3] = {int(c.brush >> 16 & 255), int(c.brush >> 8 & 255), int(c.brush & 255)};
    for (int32_t y = 0; y < 8; y++)
      for (int32_t x = 0; x < 10; x++) {
        tcolor was = color_at(before.get(), x, y), got = color_at(f.bitmap(), x, y);
        const int old[3] = {was.red, was.green, was.blue}, now[3] = {got.red, got.green, got.blue};
        const bool edge = x == 0 || x == 7 || y == 7;
        const int k = (std::abs(old[0] - 255) + std::abs(old[1] - 255) + std::abs(old[2] - 255)) / 3;
        for (int ch = 0; ch < 3; ch++) {
          const std::string where = std::to_string(x) + "," + std::to_string(y) + " channel " + std::to_string(ch);
          if (x >= 8) {
            ASSERT_EQ(now[ch], old[ch]) << where;
          } else if (alpha == 255) {
            ASSERT_EQ(now[ch], edge ? (brush[ch] * (255 - k) + old[ch] * k) >> 8 : brush[ch]) << where;
          } else {
            // Between the pixel and the brush laid on it at its alpha, give
            // or take the two levels that the blends' truncations lose.
            double full = old[ch] + (brush[ch] - old[ch]) * alpha / 255.0;
            ASSERT_GE(now[ch], std::min<double>(old[ch], full) - 2) << where;
            ASSERT_LE(now[ch], std::max<double>(old[ch], full) + 2) << where;
          }
        }
        if (c.bpp == 32) {
          ASSERT_EQ(tbitmap_get_pixel_ptr(f.bitmap(), x, y)[3], 255) << x << "," << y;
        }
      }
  }
}

TEST(TcanvasFlood, RegionIsFoundBeyondTheClipButPaintedOnlyInsideIt) {
  // A U whose arms meet below the clip: the right arm is reached outside it.
  canvas_fixture f(7, 5);
  tcanvas_set_brush(&f.canvas, TCANVAS_BRUSH_SOLID, RED);
  tbitmap_fill_rect(f.bitmap(), 2, 0, 4, 3, BLACK);
  trect clip = {0, 0, 6, 2};
  tcanvas_set_clip(&f.canvas, &clip);
  EXPECT_EQ(tcanvas_flood_fill(&f.canvas, 0, 0, 0), 1);
  EXPECT_EQ(f.picture(), "rr###rr\nrr###rr\nrr###rr\n..###..\n.......\n");
}

TEST(TcanvasFlood, PatternAndHollowBrushesAndSeedsOutsideTheBitmap) {
  canvas_fixture f(6, 2);
  EXPECT_EQ(tcanvas_flood_fill(&f.canvas, -1, 0, 0), 0);
  EXPECT_EQ(tcanvas_flood_fill(&f.canvas, 2, 2, 0), 0);
  tbitmap_draw_vline(f.bitmap(), 3, 0, 1, BLACK);
  tcanvas_set_brush_style(&f.canvas, TCANVAS_BRUSH_NONE);
  EXPECT_EQ(tcanvas_flood_fill(&f.canvas, 0, 0, 0), 1);
  tbitmap *pattern = tbitmap_new(2, 1, 32);
  tbitmap_set_pixel(pattern, 0, 0, RED);
  tbitmap_set_pixel(pattern, 1, 0, BLUE);
  tcanvas_set_brush(&f.canvas, TCANVAS_BRUSH_PATTERN, WHITE);
  tcanvas_set_pattern(&f.canvas, pattern);
  EXPECT_EQ(tcanvas_flood_fill(&f.canvas, 4, 1, 0), 1);
  EXPECT_EQ(f.picture(), "...#rb\n...#rb\n");
  tbitmap_free(pattern);
}

TEST(TcanvasFlood, MatchesTheBreadthFirstReferenceOnRandomPictures) {
  const uint32_t palette[] = {WHITE, 0xFFFAFAFA, 0xFFF0FFF8, BLACK, 0xFF808080, 0xFF102030};
  const int depths[] = {16, 16, 24, 32};
  for (uint32_t seed = 1; seed <= 240; seed++) {
    std::mt19937 rng(seed);
    int bpp = depths[seed % 4];
    int32_t w = 1 + int32_t(rng() % 40), h = 1 + int32_t(rng() % 25);
    bitmap_ptr owned = test_bitmap(w, rng() % 2 ? h : -h, bpp);
    tbitmap *picture = owned.get();
    if (bpp == 16 && seed % 8 == 0) {  // 555 through bit fields
      const uint8_t masks[12] = {0x00, 0x7C, 0, 0, 0xE0, 0x03, 0, 0, 0x1F, 0, 0, 0};
      std::memcpy(picture->_info + 40, masks, sizeof masks);
      tbitmap_init_channels(picture);
    }
    int colours = 2 + int(rng() % 5);
    for (int32_t i = 0; i < w * h; i++) tbitmap_blend_pixel(picture, i % w, i / w, palette[rng() % colours]);
    bitmap_ptr before_copy(tbitmap_new_copy(picture));
    const tbitmap *before = before_copy.get();
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
    std::vector<double> levels = reference_flood(before, clipped ? &canvas._clip : nullptr, sx, sy, tolerance, brush);
    // Painted channels within the level below the reference (each stored
    // value is truncated once); the rest, and the fourth byte of 32-bit
    // pixels, as they were.
    for (int32_t i = 0; i < w * h; i++) {
      int32_t x = i % w, y = i / w;
      for (int k = 0; k < 3; k++) {
        double expected = levels[3 * size_t(i) + size_t(k)];
        int got = test_level(picture, x, y, k);
        if (std::isnan(expected)) {
          ASSERT_EQ(got, test_level(before, x, y, k)) << "seed " << seed << " unpainted " << x << "," << y;
          continue;
        }
        ASSERT_TRUE(got > expected - 1 && got <= expected + 1e-9)
            << got << " against " << expected << ": seed " << seed << " bpp " << bpp << " tolerance " << tolerance
            << " brush " << std::hex << brush << std::dec << " at " << x << "," << y << " channel " << k;
      }
      if (bpp == 32) {
        ASSERT_EQ(tbitmap_get_pixel_ptr(picture, x, y)[3], tbitmap_get_pixel_ptr(before, x, y)[3]) << x << "," << y;
      }
    }
  }
}

TEST(TcanvasBitmaps, ClippedDrawsShiftTheSourceWithTheDestination) {
  tbitmap *src = tbitmap_new(4, 4, 32);
  for (int32_t i = 0; i < 16; i++) tbitmap_set_pixel(src, i % 4, i / 4, i % 4 == 3 ? BLUE : RED);
  trect whole = {0, 0, 3, 3}, reversed = {3, 3, 0, 0};
  trect clip = {3, 2, 5, 6};
  canvas_fixture f(8, 8), g(8, 8);
  tcanvas_set_clip(&f.canvas, &clip);
  tcanvas_set_clip(&g.canvas, &clip);
  tpoint outside = {-2, 0}, across = {2, 1}, one_column = {0, 4};
  EXPECT_EQ(tcanvas_draw_bitmap(&f.canvas, &outside, src, &whole), 1);
  EXPECT_EQ(f.picture(), g.picture());
  EXPECT_EQ(tcanvas_draw_bitmap(&f.canvas, &across, src, &whole), 1);
  // A one-column overlap with the clip is still drawn (the source's last column).
  EXPECT_EQ(tcanvas_draw_bitmap_alpha(&g.canvas, &one_column, src, &reversed, 256), 1);
  EXPECT_EQ(f.picture(), "........\n........\n...rrb..\n...rrb..\n...rrb..\n........\n........\n........\n");
  EXPECT_EQ(g.picture(), "........\n........\n........\n........\n...b....\n...b....\n...b....\n........\n");
  tbitmap *mask = tbitmap_new(4, 4, 8);
  std::memset(mask->_pixels, 0, tbitmap_get_image_size(mask));
  EXPECT_EQ(tcanvas_draw_bitmap_masked(&g.canvas, &across, src, &whole, mask, 255), 1);
  EXPECT_EQ(tcanvas_draw_bitmap_keyed(&g.canvas, &across, src, &whole, 0x0000FF, 255), 1);  // red keyed out
  EXPECT_EQ(g.picture(), "........\n........\n.....b..\n.....b..\n...b.b..\n...b....\n...b....\n........\n");
  tbitmap_free(mask);
  tbitmap_free(src);
}

// A scroll against moving the pixels one at a time from a copy: any depth,
// both row orders, areas reaching past the bitmap, shifts either way and
// beyond the area; only the landing part of the area changes.
TEST(TcanvasScroll, MovesTheAreaLikeAPixelByPixelCopy) {
  for (uint32_t seed = 1; seed <= 300; seed++) {
    std::mt19937 rng(seed);
    const int depths[] = {8, 16, 24, 32};
    int bpp = depths[rng() % 4];
    int32_t width = int32_t(1 + rng() % 40), height = int32_t(1 + rng() % 30);
    bitmap_ptr owned = test_bitmap(width, rng() % 2 ? height : -height, bpp);
    tbitmap *bitmap = owned.get();
    for (int32_t y = 0; y < height; y++)
      for (int32_t x = 0; x < width; x++) tbitmap_set_pixel(bitmap, x, y, rng());
    bitmap_ptr before(tbitmap_new_copy(bitmap));
    auto coordinate = [&rng](int32_t side) { return int32_t(rng() % uint32_t(side + 8)) - 4; };
    trect area = {coordinate(width), coordinate(height), coordinate(width), coordinate(height)};
    int32_t dx = int32_t(rng() % 21) - 10, dy = int32_t(rng() % 21) - 10;
    if (rng() % 3 == 0) dx = 0;
    if (rng() % 3 == 0) dy = 0;
    tcanvas canvas;
    tcanvas_init_on_bitmap(&canvas, bitmap);
    EXPECT_EQ(tcanvas_scroll(&canvas, &area, dx, dy), 1);
    trect inside = area;
    trect_normalize(&inside);
    inside = {std::max(inside.x1, 0), std::max(inside.y1, 0), std::min(inside.x2, width - 1),
              std::min(inside.y2, height - 1)};
    auto in = [&inside](int32_t x, int32_t y) { return x >= inside.x1 && x <= inside.x2 && y >= inside.y1 && y <= inside.y2; };
    for (int32_t y = 0; y < height; y++)
      for (int32_t x = 0; x < width; x++) {
        bool moved = in(x, y) && in(x - dx, y - dy);
        uint32_t expected = tbitmap_get_pixel(before.get(), moved ? x - dx : x, moved ? y - dy : y);
        ASSERT_EQ(tbitmap_get_pixel(bitmap, x, y), expected)
            << "seed " << seed << ": " << bpp << " bpp " << width << "x" << height << " at " << x << "," << y
            << " shift " << dx << "," << dy;
      }
    tcanvas_deinit(&canvas);
  }
}
