#include "traster.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <limits>
#include <random>
#include <set>
#include <tuple>
#include <vector>

namespace {

struct step_log {
  std::vector<std::pair<int, int>> steps;
};
void record_step(void *ctx, int dx, int dy) { static_cast<step_log *>(ctx)->steps.push_back({dx, dy}); }

typedef std::tuple<int32_t, int32_t, int32_t> span3;  // x_left, x_right, y (relative where noted)
struct span_log {
  std::vector<span3> spans;
};
void record_span(void *ctx, int32_t xl, int32_t xr, int32_t y) {
  static_cast<span_log *>(ctx)->spans.push_back(span3(xl, xr, y));
}

std::vector<span3> ellipse_spans(int32_t cx, int32_t cy, int32_t rx, int32_t ry) {
  span_log log;
  traster_ellipse(&log, cx, cy, rx, ry, record_span);
  for (span3 &s : log.spans) s = span3(std::get<0>(s) - cx, std::get<1>(s) - cx, std::get<2>(s) - cy);
  return log.spans;
}

// A mask with per-pixel test and fill counters, relative to the bounds.
struct mask_field {
  trect bounds;
  int32_t width, height;
  std::vector<uint8_t> pass;
  std::vector<int> tests, fills;
  bool out_of_bounds = false;

  mask_field(trect b) : bounds(b), width(b.x2 - b.x1), height(b.y2 - b.y1) {
    pass.assign(size_t(width) * height, 0);
    tests.assign(pass.size(), 0);
    fills.assign(pass.size(), 0);
  }
  size_t at(int32_t x, int32_t y) const { return size_t(y - bounds.y1) * width + size_t(x - bounds.x1); }
  bool inside(int32_t x, int32_t y) const {
    return x >= bounds.x1 && x < bounds.x2 && y >= bounds.y1 && y < bounds.y2;
  }
};

int mask_test(void *ctx, int32_t x, int32_t y) {
  mask_field *m = static_cast<mask_field *>(ctx);
  if (!m->inside(x, y)) {
    m->out_of_bounds = true;
    return 0;
  }
  m->tests[m->at(x, y)]++;
  return m->pass[m->at(x, y)];
}

void mask_fill(void *ctx, int32_t x1, int32_t x2, int32_t y) {
  mask_field *m = static_cast<mask_field *>(ctx);
  if (x1 > x2) m->out_of_bounds = true;
  for (int32_t x = x1; x <= x2; x++) {
    if (!m->inside(x, y)) {
      m->out_of_bounds = true;
      return;
    }
    m->fills[m->at(x, y)]++;
    // Painting the run makes it fail the test, as a fill that changes colour
    // would; a fill that tested its own pixels again would now stop early.
    m->pass[m->at(x, y)] = 0;
  }
}

int64_t mask_scan(void *ctx, int32_t y, int32_t x, int32_t limit, int dir, int want) {
  int64_t end = int64_t(limit) + dir;
  for (int64_t at = x; at != end; at += dir)
    if ((mask_test(ctx, int32_t(at), y) != 0) != (want != 0)) return at;
  return end;
}

std::vector<uint8_t> breadth_first(const mask_field &m, int32_t sx, int32_t sy) {
  std::vector<uint8_t> seen(m.pass.size(), 0);
  if (!m.inside(sx, sy) || !m.pass[m.at(sx, sy)]) return seen;
  std::deque<std::pair<int32_t, int32_t>> queue = {{sx, sy}};
  seen[m.at(sx, sy)] = 1;
  while (!queue.empty()) {
    auto [x, y] = queue.front();
    queue.pop_front();
    const int32_t nx[4] = {x - 1, x + 1, x, x}, ny[4] = {y, y, y - 1, y + 1};
    for (int k = 0; k < 4; k++) {
      if (!m.inside(nx[k], ny[k])) continue;
      size_t i = m.at(nx[k], ny[k]);
      if (m.pass[i] && !seen[i]) {
        seen[i] = 1;
        queue.push_back({nx[k], ny[k]});
      }
    }
  }
  return seen;
}

}  // namespace

TEST(TrasterLine, WalksTheDocumentedSteps) {
  step_log log;
  traster_line(&log, 0, 0, 5, 2, record_step);
  std::vector<std::pair<int, int>> expected = {{0, 0}, {1, 0}, {1, 1}, {1, 0}, {1, 1}, {1, 0}};
  EXPECT_EQ(log.steps, expected);

  step_log single;
  traster_line(&single, 7, -3, 7, -3, record_step);
  EXPECT_EQ(single.steps, (std::vector<std::pair<int, int>>{{0, 0}}));
}

TEST(TrasterLine, EndsOnTheEndPointAfterOnePlusLongerSideCalls) {
  std::mt19937 rng(1234);
  std::uniform_int_distribution<int32_t> coord(-40, 40);
  for (int trial = 0; trial < 2000; trial++) {
    int32_t x1 = coord(rng), y1 = coord(rng), x2 = coord(rng), y2 = coord(rng);
    if (trial % 7 == 0) x2 = x1;
    if (trial % 11 == 0) y2 = y1;
    step_log log;
    traster_line(&log, x1, y1, x2, y2, record_step);
    int32_t x = x1, y = y1;
    for (auto [dx, dy] : log.steps) x += dx, y += dy;
    int32_t longer = std::max(std::abs(x2 - x1), std::abs(y2 - y1));
    ASSERT_EQ(int32_t(log.steps.size()), 1 + longer) << x1 << "," << y1 << " -> " << x2 << "," << y2;
    ASSERT_EQ(x, x2);
    ASSERT_EQ(y, y2);
  }
}

TEST(TrasterLine, ExtremeCoordinatesDoNotOverflow) {
  const int32_t lo = std::numeric_limits<int32_t>::min(), hi = std::numeric_limits<int32_t>::max();
  step_log log;
  traster_line(&log, hi - 3, lo, hi, lo + 5, record_step);
  ASSERT_EQ(log.steps.size(), 6u);
  traster_line(&log, hi, lo + 2, hi - 2, lo, record_step);
  EXPECT_EQ(log.steps.size(), 9u);
}

TEST(TrasterEllipse, SmallRadiiReportTheWalkedSpans) {
  // Radius 0 is walked as radius 1: a plus of five pixels.
  std::vector<span3> plus = {span3(0, 0, 1), span3(0, 0, -1), span3(-1, 1, 0)};
  EXPECT_EQ(ellipse_spans(5, 5, 0, 0), plus);
  EXPECT_EQ(ellipse_spans(-3, 9, 1, 1), plus);
  EXPECT_EQ(ellipse_spans(0, 0, -4, 0), plus);

  std::vector<span3> r2 = {span3(0, 0, 2),  span3(0, 0, -2),  span3(-2, 2, 0), span3(-1, 1, 2),
                           span3(-1, 1, -2), span3(-2, 2, 1), span3(-2, 2, -1)};
  EXPECT_EQ(ellipse_spans(10, 10, 2, 2), r2);

  std::vector<span3> wide = {span3(0, 0, 1),  span3(0, 0, -1),  span3(-3, 3, 0),
                             span3(-1, 1, 1), span3(-1, 1, -1), span3(-2, 2, 0)};
  EXPECT_EQ(ellipse_spans(0, 0, 3, 1), wide);
}

TEST(TrasterEllipse, SpansStaySymmetricAndWithinTheRadii) {
  for (int32_t rx = 0; rx <= 40; rx += 3) {
    for (int32_t ry = 0; ry <= 40; ry += 5) {
      std::vector<span3> spans = ellipse_spans(100, -50, rx, ry);
      ASSERT_FALSE(spans.empty());
      std::set<int32_t> rows;
      for (const span3 &s : spans) {
        ASSERT_EQ(std::get<0>(s), -std::get<1>(s));
        ASSERT_LE(std::get<1>(s), std::max(rx, 1));
        ASSERT_LE(std::abs(std::get<2>(s)), std::max(ry, 1));
        rows.insert(std::get<2>(s));
      }
      // Every row between the top and the bottom is reported.
      int32_t b = std::max(ry, 1);
      EXPECT_EQ(int32_t(rows.size()), 2 * b + 1) << rx << "x" << ry;
    }
  }
}

TEST(TrasterEllipse, HugeCentreSaturatesInsteadOfOverflowing) {
  const int32_t hi = std::numeric_limits<int32_t>::max();
  span_log log;
  traster_ellipse(&log, hi - 1, hi - 1, 4, 4, record_span);
  ASSERT_FALSE(log.spans.empty());
  for (const span3 &s : log.spans) {
    EXPECT_LE(std::get<0>(s), std::get<1>(s));
    EXPECT_GE(std::get<2>(s), hi - 5);
  }
}

TEST(TrasterPolygon, ClosedListRules) {
  tpoint open4[4] = {{0, 0}, {5, 0}, {5, 5}, {0, 1}};
  tpoint closed4[4] = {{0, 0}, {5, 0}, {5, 5}, {0, 0}};
  EXPECT_EQ(traster_is_closed_polygon(open4, 3), 1);
  EXPECT_EQ(traster_is_closed_polygon(open4, 4), 0);
  EXPECT_EQ(traster_is_closed_polygon(closed4, 4), 1);
  EXPECT_EQ(traster_is_closed_polygon(nullptr, 0), 1);
}

TEST(TrasterPolygon, TriangleFillsAllRowsButTheBottom) {
  tpoint tri[3] = {{0, 0}, {4, 4}, {0, 4}};
  span_log log;
  EXPECT_EQ(traster_fill_polygon(&log, tri, 3, record_span), 1);
  std::vector<span3> expected = {span3(0, 0, 0), span3(0, 1, 1), span3(0, 2, 2), span3(0, 3, 3)};
  EXPECT_EQ(log.spans, expected);
}

TEST(TrasterPolygon, SlopesRoundUpAlongEachChain) {
  // A diamond listed clockwise; the chains meet at the bottom vertex.
  tpoint diamond[5] = {{10, 0}, {16, 3}, {10, 6}, {4, 3}, {10, 0}};
  span_log log;
  EXPECT_EQ(traster_fill_polygon(&log, diamond, 5, record_span), 1);
  // Left chain goes backwards: (10,0) -> (4,3) -> (10,6); right forwards.
  std::vector<span3> expected = {span3(10, 10, 0), span3(8, 12, 1), span3(6, 14, 2),
                                 span3(4, 16, 3),  span3(6, 14, 4), span3(8, 12, 5)};
  EXPECT_EQ(log.spans, expected);
}

TEST(TrasterPolygon, DegenerateListsReportNothing) {
  tpoint flat[4] = {{0, 3}, {9, 3}, {4, 3}, {0, 3}};
  tpoint two[2] = {{0, 0}, {5, 5}};
  span_log log;
  EXPECT_EQ(traster_fill_polygon(&log, flat, 4, record_span), 1);
  EXPECT_EQ(traster_fill_polygon(&log, two, 2, record_span), 1);
  EXPECT_TRUE(log.spans.empty());
}

TEST(TrasterPolygon, OutlineThatIsNotMonotoneStaysInItsRows) {
  // Each chain goes down, back up and down again: more descending rows than
  // the polygon is high. Every reported row lies between top and bottom.
  tpoint zigzag[7] = {{0, 0}, {10, 8}, {12, 2}, {14, 10}, {6, 4}, {2, 9}, {0, 0}};
  span_log log;
  EXPECT_EQ(traster_fill_polygon(&log, zigzag, 7, record_span), 1);
  ASSERT_EQ(log.spans.size(), 10u);
  for (size_t r = 0; r < log.spans.size(); r++) EXPECT_EQ(std::get<2>(log.spans[r]), int32_t(r));
}

TEST(TrasterFlood, SeedOutsideOrFailingFillsNothing) {
  mask_field m(trect{0, 0, 8, 8});
  EXPECT_EQ(traster_flood_fill(&m, &m.bounds, 3, 3, mask_test, mask_fill), 1);
  EXPECT_EQ(traster_flood_fill(&m, &m.bounds, 8, 3, mask_test, mask_fill), 1);
  EXPECT_EQ(traster_flood_fill(&m, &m.bounds, 3, -1, mask_test, mask_fill), 1);
  for (int f : m.fills) EXPECT_EQ(f, 0);
  for (size_t i = 0; i < m.tests.size(); i++) EXPECT_EQ(m.tests[i], i == m.at(3, 3) ? 1 : 0);
}

TEST(TrasterFlood, UShapeReachesTheOtherArmAndComesBackUp) {
  const char *rows[] = {
      "#.....#.#",  //
      "#.###...#",  //
      "#.###...#",  //
      "#.###...#",  //
      "#.......#",  //
  };
  mask_field m(trect{0, 0, 9, 5});
  for (int y = 0; y < 5; y++)
    for (int x = 0; x < 9; x++) m.pass[m.at(x, y)] = rows[y][x] == '.';
  mask_field original = m;
  EXPECT_EQ(traster_flood_fill(&m, &m.bounds, 1, 0, mask_test, mask_fill), 1);
  std::vector<uint8_t> expected = breadth_first(original, 1, 0);
  for (int y = 0; y < 5; y++)
    for (int x = 0; x < 9; x++) EXPECT_EQ(m.fills[m.at(x, y)], expected[m.at(x, y)]) << x << "," << y;
  // The enclosed pocket at (3, 2) and the top of the right arm at (7, 0) are
  // reached only by going down and back up.
  EXPECT_EQ(m.fills[m.at(3, 2)], 0);
  EXPECT_EQ(m.fills[m.at(7, 0)], 1);
}

TEST(TrasterFlood, MatchesBreadthFirstOnRandomMasks) {
  for (uint32_t seed = 1; seed <= 300; seed++) {
    std::mt19937 rng(seed);
    int32_t ox = int32_t(rng() % 21) - 10, oy = int32_t(rng() % 21) - 10;
    int32_t w = 1 + int32_t(rng() % 40), h = 1 + int32_t(rng() % 30);
    trect bounds = {ox, oy, ox + w, oy + h};
    mask_field m(bounds);
    int density = 35 + int(rng() % 50);
    for (uint8_t &p : m.pass) p = int(rng() % 100) < density;
    int32_t sx = ox + int32_t(rng() % w), sy = oy + int32_t(rng() % h);
    if (seed % 3 == 0) m.pass[m.at(sx, sy)] = 1;
    mask_field original = m;
    std::vector<uint8_t> expected = breadth_first(original, sx, sy);

    bool use_runs = seed % 2 == 0;
    int result = use_runs ? traster_flood_fill_runs(&m, &bounds, sx, sy, mask_scan, mask_fill)
                          : traster_flood_fill(&m, &bounds, sx, sy, mask_test, mask_fill);
    ASSERT_EQ(result, 1) << "seed " << seed;
    ASSERT_FALSE(m.out_of_bounds) << "seed " << seed;
    for (size_t i = 0; i < expected.size(); i++) {
      ASSERT_EQ(m.fills[i], int(expected[i])) << "seed " << seed << " pixel " << i;
      // A pixel of the region is tested once; any other at most from the
      // rows above and below and from the runs beside it.
      if (expected[i])
        ASSERT_EQ(m.tests[i], 1) << "seed " << seed << " pixel " << i;
      else
        ASSERT_LE(m.tests[i], 4) << "seed " << seed << " pixel " << i;
    }
  }
}

TEST(TrasterFlood, BoundsAtTheEdgesOfTheCoordinateRange) {
  const int32_t lo = std::numeric_limits<int32_t>::min(), hi = std::numeric_limits<int32_t>::max();
  struct edge_ctx {
    int32_t lo, hi;
    std::vector<std::pair<int32_t, int32_t>> runs;
  } ctx = {lo, hi, {}};
  auto test = [](void *c, int32_t x, int32_t) -> int {
    edge_ctx *e = static_cast<edge_ctx *>(c);
    return x < e->lo + 4 || x > e->hi - 4;
  };
  auto fill = [](void *c, int32_t x1, int32_t x2, int32_t) {
    static_cast<edge_ctx *>(c)->runs.push_back({x1, x2});
  };
  trect bounds = {lo, 0, hi, 2};
  EXPECT_EQ(traster_flood_fill(&ctx, &bounds, lo + 1, 1, test, fill), 1);
  ASSERT_EQ(ctx.runs.size(), 2u);
  EXPECT_EQ(ctx.runs[0], std::make_pair(lo, lo + 3));
  ctx.runs.clear();
  EXPECT_EQ(traster_flood_fill(&ctx, &bounds, hi - 1, 0, test, fill), 1);
  ASSERT_EQ(ctx.runs.size(), 2u);
  EXPECT_EQ(ctx.runs[0], std::make_pair(hi - 3, hi - 1));
}
