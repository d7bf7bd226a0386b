#include "traster.h"

#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <limits>
#include <random>
#include <tuple>
#include <vector>

#include "tbitmap.h"
#include "tblit.h"
#include "tcanvas.h"

namespace {

const int32_t LO = std::numeric_limits<int32_t>::min(), HI = std::numeric_limits<int32_t>::max();

typedef std::vector<std::pair<int, int>> step_list;
void record_step(void *ctx, int dx, int dy) { static_cast<step_list *>(ctx)->push_back({dx, dy}); }

typedef std::vector<std::tuple<int32_t, int32_t, int32_t>> span_list;  // x_left, x_right, y
void record_span(void *ctx, int32_t xl, int32_t xr, int32_t y) {
  static_cast<span_list *>(ctx)->push_back({xl, xr, y});
}

span_list ellipse_spans(int32_t cx, int32_t cy, int32_t rx, int32_t ry) {
  span_list spans;
  traster_ellipse(&spans, cx, cy, rx, ry, record_span);
  for (auto &[xl, xr, y] : spans) xl -= cx, xr -= cx, y -= cy;
  return spans;
}

// A pass/fail mask over the bounds that counts tests and fills per pixel.
// A filled pixel stops passing, as a fill that changes colour would make it,
// unless keep is set (a brush inside the tolerance).
struct mask_field {
  trect bounds;
  int32_t width;
  std::vector<int> pass, tests, fills;
  bool keep = false;
  bool stray = false;  // a call outside the bounds, a reversed run or a second fill; nothing passes after it

  explicit mask_field(trect b) : bounds(b), width(b.x2 - b.x1) {
    pass.assign(size_t(width) * (b.y2 - b.y1), 0);
    tests = fills = pass;
  }
  bool inside(int32_t x, int32_t y) const { return x >= bounds.x1 && x < bounds.x2 && y >= bounds.y1 && y < bounds.y2; }
  size_t at(int32_t x, int32_t y) const { return size_t(y - bounds.y1) * width + size_t(x - bounds.x1); }
};

int mask_test(void *ctx, int32_t x, int32_t y) {
  mask_field *m = static_cast<mask_field *>(ctx);
  if (m->stray || !m->inside(x, y)) return m->stray = true, 0;
  m->tests[m->at(x, y)]++;
  return m->pass[m->at(x, y)];
}

void mask_fill(void *ctx, int32_t x1, int32_t x2, int32_t y) {
  mask_field *m = static_cast<mask_field *>(ctx);
  m->stray |= x1 > x2 || !m->inside(x1, y) || !m->inside(x2, y);
  for (int32_t x = x1; x <= x2 && !m->stray; x++) {
    m->stray |= ++m->fills[m->at(x, y)] > 1;
    if (!m->keep) m->pass[m->at(x, y)] = 0;
  }
}

int64_t mask_scan(void *ctx, int32_t y, int32_t x, int32_t limit, int dir, int want) {
  for (int64_t at = x; at != int64_t(limit) + dir; at += dir)
    if ((mask_test(ctx, int32_t(at), y) != 0) != (want != 0)) return at;
  return int64_t(limit) + dir;
}

std::vector<int> breadth_first(const mask_field &m, int32_t sx, int32_t sy) {
  std::vector<int> seen(m.pass.size(), 0);
  if (!m.pass[m.at(sx, sy)]) return seen;
  std::deque<std::pair<int32_t, int32_t>> queue = {{sx, sy}};
  seen[m.at(sx, sy)] = 1;
  while (!queue.empty()) {
    auto [x, y] = queue.front();
    queue.pop_front();
    for (auto [nx, ny] : {std::pair{x - 1, y}, {x + 1, y}, {x, y - 1}, {x, y + 1}})
      if (m.inside(nx, ny) && m.pass[m.at(nx, ny)] && !seen[m.at(nx, ny)])
        seen[m.at(nx, ny)] = 1, queue.push_back({nx, ny});
  }
  return seen;
}

}  // namespace

TEST(TrasterLine, WalksTheDocumentedSteps) {
  step_list steps, single;
  traster_line(&steps, 0, 0, 5, 2, record_step);
  traster_line(&single, 7, -3, 7, -3, record_step);
  EXPECT_EQ(steps, (step_list{{0, 0}, {1, 0}, {1, 1}, {1, 0}, {1, 1}, {1, 0}}));
  EXPECT_EQ(single, (step_list{{0, 0}}));
  step_list steep;  // the same walk transposed, ties included
  traster_line(&steep, 0, 0, 2, 5, record_step);
  for (auto &s : steps) std::swap(s.first, s.second);
  EXPECT_EQ(steep, steps);
}

TEST(TrasterLine, EndsOnTheEndPointAfterOnePlusLongerSideCalls) {
  std::mt19937 rng(1234);
  for (int trial = 0; trial < 2000; trial++) {
    int32_t x1 = int32_t(rng() % 81) - 40, y1 = int32_t(rng() % 81) - 40;
    int32_t x2 = trial % 7 ? int32_t(rng() % 81) - 40 : x1, y2 = trial % 11 ? int32_t(rng() % 81) - 40 : y1;
    if (trial % 13 == 0) x1 += HI - 50, x2 += HI - 50, y1 += LO + 50, y2 += LO + 50;  // no overflow at the edges
    step_list steps;
    traster_line(&steps, x1, y1, x2, y2, record_step);
    int64_t x = x1, y = y1;
    for (auto [dx, dy] : steps) x += dx, y += dy;
    ASSERT_EQ(int64_t(steps.size()), 1 + std::max(std::llabs(int64_t(x2) - x1), std::llabs(int64_t(y2) - y1)));
    ASSERT_EQ(x, x2);
    ASSERT_EQ(y, y2);
  }
}

TEST(TrasterEllipse, SmallRadiiReportTheWalkedSpans) {
  // Radius 0 (or below) is walked as radius 1: a plus of five pixels.
  span_list plus = {{0, 0, 1}, {0, 0, -1}, {-1, 1, 0}};
  EXPECT_EQ(ellipse_spans(5, 5, 0, 0), plus);
  EXPECT_EQ(ellipse_spans(0, 0, -4, 1), plus);
  EXPECT_EQ(ellipse_spans(10, 10, 2, 2),
            (span_list{{0, 0, 2}, {0, 0, -2}, {-2, 2, 0}, {-1, 1, 2}, {-1, 1, -2}, {-2, 2, 1}, {-2, 2, -1}}));
  EXPECT_EQ(ellipse_spans(0, 0, 3, 1),
            (span_list{{0, 0, 1}, {0, 0, -1}, {-3, 3, 0}, {-1, 1, 1}, {-1, 1, -1}, {-2, 2, 0}}));
}

TEST(TrasterEllipse, HugeCentreSaturatesInsteadOfOverflowing) {
  span_list spans;
  traster_ellipse(&spans, HI - 1, HI - 1, 4, 4, record_span);
  ASSERT_FALSE(spans.empty());
  for (auto [xl, xr, y] : spans) EXPECT_TRUE(xl <= xr && y >= HI - 5);
}

TEST(TrasterPolygon, ClosedListsOnlyAndChainsFillEveryRowButTheBottom) {
  tpoint list[4] = {{0, 0}, {5, 0}, {5, 5}, {0, 1}};
  EXPECT_EQ(traster_is_closed_polygon(list, 3), 1);
  EXPECT_EQ(traster_is_closed_polygon(list, 4), 0);
  list[3].y = 0;
  EXPECT_EQ(traster_is_closed_polygon(list, 4), 1);
  span_list spans;
  tpoint tri[3] = {{0, 0}, {4, 4}, {0, 4}};
  EXPECT_EQ(traster_fill_polygon(&spans, tri, 3, record_span), 1);
  EXPECT_EQ(spans, (span_list{{0, 0, 0}, {0, 1, 1}, {0, 2, 2}, {0, 3, 3}}));
  // A diamond: the left chain walks the list backwards, slopes round up.
  spans.clear();
  tpoint diamond[5] = {{10, 0}, {16, 3}, {10, 6}, {4, 3}, {10, 0}};
  EXPECT_EQ(traster_fill_polygon(&spans, diamond, 5, record_span), 1);
  EXPECT_EQ(spans, (span_list{{10, 10, 0}, {8, 12, 1}, {6, 14, 2}, {4, 16, 3}, {6, 14, 4}, {8, 12, 5}}));
  // Flat or too short lists report nothing.
  spans.clear();
  tpoint flat[4] = {{0, 3}, {9, 3}, {4, 3}, {0, 3}};
  EXPECT_EQ(traster_fill_polygon(&spans, flat, 4, record_span), 1);
  EXPECT_EQ(traster_fill_polygon(&spans, tri, 2, record_span), 1);
  EXPECT_TRUE(spans.empty());
}

TEST(TrasterPolygon, OutlineThatIsNotMonotoneStaysInItsRows) {
  // Both chains go down, up and down again: more descending rows than the
  // polygon is high. Each row is reported once, in order.
  tpoint zigzag[7] = {{0, 0}, {10, 8}, {12, 2}, {14, 10}, {6, 4}, {2, 9}, {0, 0}};
  span_list spans;
  EXPECT_EQ(traster_fill_polygon(&spans, zigzag, 7, record_span), 1);
  ASSERT_EQ(spans.size(), 10u);
  for (size_t r = 0; r < spans.size(); r++) EXPECT_EQ(std::get<2>(spans[r]), int32_t(r));
}

TEST(TrasterFlood, MatchesBreadthFirstOnRandomMasks) {
  // A seed outside the bounds, or one that fails, fills nothing; one test.
  mask_field m(trect{0, 0, 8, 8});
  for (auto [x, y] : {std::pair{3, 3}, {8, 3}, {3, -1}}) EXPECT_EQ(traster_flood_fill(&m, &m.bounds, x, y, mask_test, mask_fill), 1);
  for (size_t i = 0; i < m.tests.size(); i++) EXPECT_EQ(m.tests[i] + m.fills[i], i == m.at(3, 3) ? 1 : 0);

  for (uint32_t seed = 1; seed <= 300; seed++) {
    std::mt19937 rng(seed);
    int32_t ox = int32_t(rng() % 21) - 10, oy = int32_t(rng() % 21) - 10;
    // One case in five is wide and almost open: runs longer than the first
    // stretch the fill looks ahead for marked runs.
    bool open = seed % 5 == 0;
    int32_t w = 1 + int32_t(rng() % (open ? 300 : 40)), h = 1 + int32_t(rng() % 30);
    trect bounds = {ox, oy, ox + w, oy + h};
    mask_field m(bounds);
    int density = open ? 98 : 35 + int(rng() % 50);
    for (int &p : m.pass) p = int(rng() % 100) < density;
    int32_t sx = ox + int32_t(rng() % w), sy = oy + int32_t(rng() % h);
    m.keep = seed % 3 == 0;
    std::vector<int> expected = breadth_first(m, sx, sy);
    int result = seed % 2 ? traster_flood_fill(&m, &bounds, sx, sy, mask_test, mask_fill)
                          : traster_flood_fill_runs(&m, &bounds, sx, sy, mask_scan, mask_fill);
    ASSERT_EQ(result, 1) << "seed " << seed;
    ASSERT_FALSE(m.stray) << "seed " << seed;
    // Each region pixel is filled once and tested once (never after its run
    // was filled); any other pixel is tested at most from the rows above and
    // below and from the runs beside it.
    for (size_t i = 0; i < expected.size(); i++) {
      ASSERT_EQ(m.fills[i], expected[i]) << "seed " << seed << " pixel " << i;
      ASSERT_LE(m.tests[i], expected[i] ? 1 : 4) << "seed " << seed << " pixel " << i;
    }
  }
}

TEST(TrasterFlood, BoundsAtTheEdgesOfTheCoordinateRange) {
  // Passes only near both ends of the 32-bit range, on two rows.
  auto test = [](void *, int32_t x, int32_t) -> int { return x < LO + 4 || x > HI - 4; };
  auto fill = [](void *ctx, int32_t x1, int32_t x2, int32_t) {
    static_cast<std::vector<std::pair<int32_t, int32_t>> *>(ctx)->push_back({x1, x2});
  };
  std::vector<std::pair<int32_t, int32_t>> runs;
  trect bounds = {LO, 0, HI, 2};
  EXPECT_EQ(traster_flood_fill(&runs, &bounds, LO + 1, 1, test, fill), 1);
  EXPECT_EQ(runs, (std::vector<std::pair<int32_t, int32_t>>{{LO, LO + 3}, {LO, LO + 3}}));
  runs.clear();
  EXPECT_EQ(traster_flood_fill(&runs, &bounds, HI - 1, 0, test, fill), 1);
  EXPECT_EQ(runs, (std::vector<std::pair<int32_t, int32_t>>{{HI - 3, HI - 1}, {HI - 3, HI - 1}}));
}

TEST(TrasterFlood, UnmarkedFillTestsEachRegionPixelOnce) {
  // Without marks the painted pixels stop the runs: every pixel of the
  // region is filled once and tested once, as by the marked fill.
  for (uint32_t seed = 1; seed <= 300; seed++) {
    std::mt19937 rng(seed);
    bool open = seed % 4 == 0;
    int32_t w = 1 + int32_t(rng() % (open ? 301 : 41)), h = 1 + int32_t(rng() % 30);
    trect bounds = {-7, 3, w - 7, h + 3};
    mask_field m(bounds);
    int density = open ? 97 : 35 + int(rng() % 50);
    for (int &p : m.pass) p = int(rng() % 100) < density;
    int32_t sx = bounds.x1 + int32_t(rng() % w), sy = bounds.y1 + int32_t(rng() % h);
    std::vector<int> expected = breadth_first(m, sx, sy);
    int result = traster_flood::fill_region_unmarked(
        bounds, sx, sy, [&m](int32_t y, int32_t x) { return mask_test(&m, x, y) != 0; },
        [&m](int32_t y, int32_t x, int32_t limit, int dir, int want) { return mask_scan(&m, y, x, limit, dir, want); },
        [&m](int32_t x1, int32_t x2, int32_t y) { mask_fill(&m, x1, x2, y); });
    ASSERT_EQ(result, 1) << "seed " << seed;
    ASSERT_FALSE(m.stray) << "seed " << seed;
    // A pixel is tested when its run grows and, once painted, at most by
    // one scan from the row above and one from below; any other pixel from
    // those and from the runs beside it.
    for (size_t i = 0; i < expected.size(); i++) {
      ASSERT_EQ(m.fills[i], expected[i]) << "seed " << seed << " pixel " << i;
      ASSERT_LE(m.tests[i], expected[i] ? 3 : 4) << "seed " << seed << " pixel " << i;
    }
  }
  // A fill that leaves its pixels passing would find them again without
  // end around a hole: the walk stops once the runs come to more pixels
  // than the bounds hold, and gives 0. (Past 1000 pixels nothing passes,
  // so a walk without that stop ends too, giving 1.)
  int64_t reported = 0;
  auto passing = [&reported](int32_t x, int32_t y) { return reported < 1000 && !(x == 2 && y == 1); };
  int result = traster_flood::fill_region_unmarked(
      trect{0, 0, 5, 4}, 0, 1, [&](int32_t y, int32_t x) { return passing(x, y); },
      [&](int32_t y, int32_t x, int32_t limit, int dir, int want) {
        for (int64_t at = x; at != int64_t(limit) + dir; at += dir)
          if (passing(int32_t(at), y) != (want != 0)) return at;
        return int64_t(limit) + dir;
      },
      [&reported](int32_t x1, int32_t x2, int32_t) { reported += x2 - x1 + 1; });
  EXPECT_EQ(result, 0);
  EXPECT_LE(reported, 20);
}

// The canvas's fill of a new colour at tolerance 0 keeps no marks and
// paints wide runs through its own path; on a 24-bit copy of the picture
// the same fill goes the general way. Random mazes of odd widths with open
// rows (runs wider than the short-run path), near-seed colours, tolerances,
// translucent brushes (one that leaves the seed colour as it was), clips and
// canvases whose fourth bytes are kept at 255, with and without the 256-bit
// loops: both must paint the same.
TEST(TrasterFlood, CanvasFillsPaintWhatTheGeneralFillPaints) {
  const uint32_t seed_colour = 0xFF6080A0, near = 0xFF6484A0, wall = 0xFF000000;
  const uint32_t brushes[] = {0xFFC02040, 0x80C02040, 0x406080A0, 0xFF6080A0, 0x01FFFFFF};
  const int wide_vectors = tblit_set_wide_vectors(1);
  for (uint32_t seed = 1; seed <= 200; seed++) {
    std::mt19937 rng(seed);
    tblit_set_wide_vectors(seed % 4 != 1);
    const int32_t w = 1 + 2 * int32_t(rng() % 130), h = 1 + int32_t(rng() % 40);
    tcanvas canvas, general;
    ASSERT_EQ(tcanvas_init(&canvas, nullptr, 32, w, rng() % 2 ? h : -h), 1);
    ASSERT_EQ(tcanvas_init(&general, nullptr, 24, w, -h), 1);
    tbitmap *picture = tcanvas_get_bitmap(&canvas), *copy = tcanvas_get_bitmap(&general);
    const bool whole = seed % 3 == 0;
    tbitmap_set_opaque(picture, whole);
    // The fourth bytes vary where no run end is blended (by the pixel's own
    // fourth byte): at tolerance 0.
    const int tolerance = rng() % 3 ? 0 : int(rng() % 8);
    const int density = int(rng() % 60);
    for (int32_t y = 0; y < h; y++) {
      const bool open_row = rng() % 3 == 0;
      for (int32_t x = 0; x < w; x++) {
        uint32_t pixel = open_row || int(rng() % 100) >= density ? seed_colour : wall;
        if (pixel == seed_colour && rng() % 16 == 0) pixel = near;
        if (!whole && tolerance == 0 && rng() % 8 == 0) pixel = (pixel & 0xFFFFFF) | uint32_t(rng() % 256) << 24;
        tbitmap_set_pixel(picture, x, y, pixel);
        tbitmap_set_pixel(copy, x, y, pixel | 0xFF000000u);
      }
    }
    std::vector<uint8_t> alphas;
    for (int32_t y = 0; y < h; y++)
      for (int32_t x = 0; x < w; x++) alphas.push_back(tbitmap_get_pixel_ptr(picture, x, y)[3]);
    const uint32_t brush = brushes[rng() % 5];
    for (tcanvas *c : {&canvas, &general}) tcanvas_set_brush(c, TCANVAS_BRUSH_SOLID, brush);
    if (rng() % 4 == 0) {
      trect clip = {int32_t(rng() % w) - 1, int32_t(rng() % h) - 1, w - int32_t(rng() % 3), h};
      for (tcanvas *c : {&canvas, &general}) tcanvas_set_clip(c, &clip);
    }
    const int32_t sx = int32_t(rng() % w), sy = int32_t(rng() % h);
    ASSERT_EQ(tcanvas_flood_fill(&canvas, sx, sy, tolerance), 1) << "seed " << seed;
    ASSERT_EQ(tcanvas_flood_fill(&general, sx, sy, tolerance), 1) << "seed " << seed;
    for (int32_t y = 0; y < h; y++)
      for (int32_t x = 0; x < w; x++) {
        const uint8_t *got = tbitmap_get_pixel_ptr(picture, x, y), *want = tbitmap_get_pixel_ptr(copy, x, y);
        ASSERT_TRUE(std::memcmp(got, want, 3) == 0)
            << "seed " << seed << " at " << x << "," << y << " brush " << std::hex << brush << std::dec
            << " tolerance " << tolerance;
        ASSERT_EQ(got[3], alphas[size_t(y) * w + x]) << "seed " << seed << " at " << x << "," << y;
      }
    tcanvas_deinit(&canvas);
    tcanvas_deinit(&general);
  }
  tblit_set_wide_vectors(wide_vectors);
}

#if defined(__x86_64__) && defined(__GNUC__)
// Whether the upper halves of the 256-bit registers hold anything (the
// processor's record of the state in use). Left so after the fill's 256-bit
// loops, every 128-bit loop that follows, in this program or in the
// libraries it draws with, runs several times slower.
bool wide_state_in_use() {
  uint32_t low, high;
  asm volatile("xgetbv" : "=a"(low), "=d"(high) : "c"(1));
  return low & 4;
}

TEST(TrasterFlood, CanvasFillsLeaveTheWideRegistersClean) {
  uint32_t a, b, c, d;
  asm volatile("cpuid" : "=a"(a), "=b"(b), "=c"(c), "=d"(d) : "a"(0xD), "c"(1));
  if (!__builtin_cpu_supports("avx2") || !(a & 4)) GTEST_SKIP() << "no 256-bit loops or no way to see their state";
  const int wide_vectors = tblit_set_wide_vectors(1);
  // Runs of every length up to past a vector's, on 32- and 16-bit canvases,
  // opaque and translucent, new colour and within a tolerance, the canvas
  // keeping its fourth bytes or not.
  for (int bpp : {32, 16})
    for (uint32_t brush : {0xFFC02040u, 0x80C02040u})
      for (int tolerance : {0, 8})
        for (int whole : {0, 1}) {
          tcanvas canvas;
          ASSERT_EQ(tcanvas_init(&canvas, nullptr, bpp, 97, 40), 1);
          tbitmap *picture = tcanvas_get_bitmap(&canvas);
          tbitmap_set_opaque(picture, whole);
          for (int32_t y = 0; y < 40; y++) tbitmap_set_pixel(picture, (y * 7) % 40 + y / 2, y, 0xFF000000);
          tcanvas_set_brush(&canvas, TCANVAS_BRUSH_SOLID, brush);
          ASSERT_EQ(tcanvas_flood_fill(&canvas, 96, 0, tolerance), 1);
          EXPECT_FALSE(wide_state_in_use()) << "bpp " << bpp << " brush " << std::hex << brush << std::dec
                                            << " tolerance " << tolerance << " whole " << whole;
          tcanvas_deinit(&canvas);
        }
  tblit_set_wide_vectors(wide_vectors);
}
#endif
