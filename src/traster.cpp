// traster: line, ellipse, polygon and flood-fill walkers.
//
// The flood fill marks, one bit per pixel, the runs it has already reported.
// A scan of a row jumps over marked pixels, so a pixel of a reported run is
// never tested again and each maximal run of the region is found and filled
// exactly once, in one pass driven by a stack of row scans. Which runs are
// filled does not depend on the order, so the painted pixels are those of a
// fill that revisits rows in passes.
#include "traster.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <new>
#include <stdexcept>
#include <vector>

#include "port_log.h"

namespace {

// The pixels of the reported runs, one bit each. A row's words are made
// when the row is first reached, and each row remembers the span its marks
// lie in, so that a search never walks the unmarked rest of a wide row.
class flood_marks {
 public:
  flood_marks(int64_t x1, int64_t width, int64_t height)
      : x1_(x1), words_(size_t((width + 63) / 64)), rows_(size_t(height), nullptr), spans_(size_t(height)) {}
  ~flood_marks() {
    for (uint64_t *row : rows_) std::free(row);
  }
  flood_marks(const flood_marks &) = delete;
  flood_marks &operator=(const flood_marks &) = delete;

  bool marked(size_t r, int64_t x) const {
    const uint64_t *row = rows_[r];
    uint64_t i = uint64_t(x - x1_);
    return row && (row[i >> 6] >> (i & 63) & 1);
  }
  // The first x in from..to whose mark is `want`, or to + 1.
  int64_t next(size_t r, int64_t from, int64_t to, bool want) const {
    if (from > to) return to + 1;
    const uint64_t *row = rows_[r];
    const span &s = spans_[r];
    if (!row || from > s.last || to < s.first) return want ? to + 1 : from;
    if (!want && from < s.first) return from;
    const int64_t end = std::min(to, s.last);
    for (int64_t x = want ? std::max(from, s.first) : from; x <= end;) {
      uint64_t i = uint64_t(x - x1_), word = row[i >> 6] >> (i & 63);
      if (!want) word = ~word & (~0ull >> (i & 63));
      if (word) return std::min(x + __builtin_ctzll(word), to + 1);
      x += 64 - int64_t(i & 63);
    }
    return want ? to + 1 : end + 1;
  }
  // The last marked x in to..from (to <= from), or to - 1.
  int64_t previous_marked(size_t r, int64_t from, int64_t to) const {
    const uint64_t *row = rows_[r];
    const span &s = spans_[r];
    if (from < to || !row || from < s.first || to > s.last) return to - 1;
    const int64_t end = std::max(to, s.first);
    for (int64_t x = std::min(from, s.last); x >= end;) {
      uint64_t i = uint64_t(x - x1_), word = row[i >> 6] << (63 - (i & 63));
      if (word) return std::max(x - __builtin_clzll(word), to - 1);
      x -= int64_t(i & 63) + 1;
    }
    return to - 1;
  }
  // Marks x1..x2; false when the row cannot be made.
  bool mark(size_t r, int64_t x1, int64_t x2) {
    if (!rows_[r]) {
      rows_[r] = static_cast<uint64_t *>(std::calloc(words_, sizeof(uint64_t)));
      if (!rows_[r]) return false;
      spans_[r] = {x1, x2};
    }
    spans_[r].first = std::min(spans_[r].first, x1);
    spans_[r].last = std::max(spans_[r].last, x2);
    uint64_t *row = rows_[r];
    for (uint64_t i = uint64_t(x1 - x1_), end = uint64_t(x2 - x1_); i <= end;) {
      uint64_t bits = ~0ull << (i & 63);
      if ((end >> 6) == (i >> 6)) bits &= ~0ull >> (63 - (end & 63));
      row[i >> 6] |= bits;
      i = (i | 63) + 1;
    }
    return true;
  }

 private:
  struct span {
    int64_t first = 0, last = -1;
  };
  int64_t x1_;
  size_t words_;
  std::vector<uint64_t *> rows_;
  std::vector<span> spans_;
};

// One pending scan: row y over x1..x2, a stretch of a recorded run on row
// y - dir (dir 0 for the seed).
struct flood_scan {
  int32_t y, x1, x2;
  int32_t dir;
};

struct pixel_test_ctx {
  void *ctx;
  traster_test_fn test;
};

int32_t saturate(int64_t v);
int64_t scan_pixels(void *ctx, int32_t y, int32_t x, int32_t limit, int dir, int want);
int flood_fill(void *scan_ctx, traster_scan_fn scan, void *fill_ctx, traster_fill_fn fill, const trect *bounds,
               int32_t x, int32_t y);
void ellipse_tall(void *ctx, int64_t cx, int64_t cy, int64_t a, int64_t b, traster_span_fn span);
void ellipse_wide(void *ctx, int64_t cx, int64_t cy, int64_t a, int64_t b, traster_span_fn span);
void polygon_chain(const tpoint *points, int count, int top, int bottom, int dir, int column, int32_t *table);

}  // namespace

void traster_line(void *ctx, int32_t x1, int32_t y1, int32_t x2, int32_t y2, traster_step_fn step) {
  PORT_CHECK(step != nullptr);
  step(ctx, 0, 0);
  if (x1 == x2 && y1 == y2) return;
  int64_t x = x1, y = y1;
  int sx = x2 > x1 ? 1 : -1, sy = y2 > y1 ? 1 : -1;
  if (x1 == x2) {
    for (; y != y2; y += sy) step(ctx, 0, sy);
    return;
  }
  if (y1 == y2) {
    for (; x != x2; x += sx) step(ctx, sx, 0);
    return;
  }
  int64_t dx = std::llabs(int64_t(x2) - x1), dy = std::llabs(int64_t(y2) - y1);
  if (dx < dy) {
    int64_t e = dy >> 1;
    while (y != y2) {
      e += dx;
      y += sy;
      if (e >= dy) {
        e -= dy;
        step(ctx, sx, sy);
      } else {
        step(ctx, 0, sy);
      }
    }
  } else {
    int64_t e = dx >> 1;
    while (x != x2) {
      e += dy;
      x += sx;
      if (e >= dx) {
        e -= dx;
        step(ctx, sx, sy);
      } else {
        step(ctx, sx, 0);
      }
    }
  }
}

void traster_ellipse(void *ctx, int32_t cx, int32_t cy, int32_t rx, int32_t ry, traster_span_fn span) {
  PORT_CHECK(span != nullptr);
  int64_t a = std::max<int64_t>(rx, 1), b = std::max<int64_t>(ry, 1);
  if (a <= b)
    ellipse_tall(ctx, cx, cy, a, b, span);
  else
    ellipse_wide(ctx, cx, cy, a, b, span);
}

int traster_is_closed_polygon(const tpoint *points, int count) {
  PORT_CHECK(points != nullptr || count <= 0);
  if (count < 4) return 1;
  return points[count - 1].x == points[0].x && points[count - 1].y == points[0].y;
}

int traster_fill_polygon(void *ctx, const tpoint *points, int count, traster_span_fn span) {
  PORT_CHECK(span != nullptr && (points != nullptr || count <= 0));
  if (count < 3) return 1;
  int top = 0, bottom = 0;
  for (int i = 1; i < count; i++) {
    if (points[i].y < points[top].y) top = i;
    if (points[i].y > points[bottom].y) bottom = i;
  }
  int64_t top_y = points[top].y;
  int64_t height = int64_t(points[bottom].y) - top_y;
  if (height < 1) return 1;
  // Two x per row (left chain, right chain), indexed by the row itself, so an
  // outline that is not y-monotone overwrites rows instead of running past
  // the end of the table.
  int32_t *table = static_cast<int32_t *>(std::calloc(size_t(height), 2 * sizeof(int32_t)));
  if (!table) return 0;
  polygon_chain(points, count, top, bottom, -1, 0, table);
  polygon_chain(points, count, top, bottom, +1, 1, table);
  for (int64_t r = 0; r < height; r++) span(ctx, table[2 * r], table[2 * r + 1], int32_t(top_y + r));
  std::free(table);
  return 1;
}

int traster_flood_fill(void *ctx, const trect *bounds, int32_t x, int32_t y, traster_test_fn test,
                       traster_fill_fn fill) {
  PORT_CHECK(bounds != nullptr && test != nullptr && fill != nullptr);
  pixel_test_ctx pixel = {ctx, test};
  return flood_fill(&pixel, scan_pixels, ctx, fill, bounds, x, y);
}

int traster_flood_fill_runs(void *ctx, const trect *bounds, int32_t x, int32_t y, traster_scan_fn scan,
                            traster_fill_fn fill) {
  PORT_CHECK(bounds != nullptr && scan != nullptr && fill != nullptr);
  return flood_fill(ctx, scan, ctx, fill, bounds, x, y);
}

namespace {

int32_t saturate(int64_t v) {
  if (v < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  if (v > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  return int32_t(v);
}

int64_t scan_pixels(void *ctx, int32_t y, int32_t x, int32_t limit, int dir, int want) {
  const pixel_test_ctx *pixel = static_cast<const pixel_test_ctx *>(ctx);
  int64_t end = int64_t(limit) + dir;
  int64_t at = x;
  for (; at != end; at += dir)
    if ((pixel->test(pixel->ctx, int32_t(at), y) != 0) != (want != 0)) return at;
  return end;
}

int flood_fill(void *scan_ctx, traster_scan_fn scan, void *fill_ctx, traster_fill_fn fill, const trect *bounds,
               int32_t x, int32_t y) {
  const int64_t bx1 = bounds->x1, by1 = bounds->y1, bx2 = bounds->x2, by2 = bounds->y2;
  if (x < bx1 || x >= bx2 || y < by1 || y >= by2) return 1;
  try {
    flood_marks marks(bx1, bx2 - bx1, by2 - by1);
    std::vector<flood_scan> pending;
    pending.push_back({y, x, x, 0});
    while (!pending.empty()) {
      const flood_scan job = pending.back();
      pending.pop_back();
      const size_t r = size_t(job.y - by1);
      int64_t at = job.x1;
      while (at <= job.x2) {
        if (marks.marked(r, at)) {
          // The pixel after a run failed the test when the run was grown.
          at = marks.next(r, at, job.x2, false) + 1;
          continue;
        }
        const int64_t stop = marks.next(r, at, job.x2, true) - 1;
        int64_t found = scan(scan_ctx, job.y, int32_t(at), int32_t(stop), 1, 0);
        if (found > stop) {
          at = stop + 1;
          continue;
        }
        // The run grows no further than the marked runs beside it: with a
        // consistent test their neighbours fail anyway, and an inconsistent
        // one cannot make the runs overlap.
        int64_t run_x1 = found, run_x2 = found;
        if (found == job.x1 && found > bx1) {
          int64_t beside = marks.previous_marked(r, found - 1, bx1);
          int64_t left_limit = beside < bx1 ? bx1 : beside + 2;
          if (found > left_limit) run_x1 = scan(scan_ctx, job.y, int32_t(found - 1), int32_t(left_limit), -1, 1) + 1;
        }
        if (found < bx2 - 1) {
          int64_t beside = marks.next(r, found + 1, bx2 - 1, true);
          int64_t right_limit = beside > bx2 - 1 ? bx2 - 1 : beside - 2;
          if (found < right_limit) run_x2 = scan(scan_ctx, job.y, int32_t(found + 1), int32_t(right_limit), 1, 1) - 1;
        }
        if (!marks.mark(r, run_x1, run_x2)) return 0;
        fill(fill_ctx, int32_t(run_x1), int32_t(run_x2), job.y);
        // Onwards the whole run is scanned; back towards the row the scan
        // came from only what reaches past the run it started from, which
        // is marked there.
        const int32_t x1 = int32_t(run_x1), x2 = int32_t(run_x2);
        for (int dir : {-1, 1}) {
          const int64_t row = int64_t(job.y) + dir;
          if (row < by1 || row >= by2) continue;
          if (dir != -job.dir) {
            pending.push_back({int32_t(row), x1, x2, dir});
            continue;
          }
          if (run_x1 < job.x1) pending.push_back({int32_t(row), x1, job.x1 - 1, dir});
          if (run_x2 > job.x2) pending.push_back({int32_t(row), job.x2 + 1, x2, dir});
        }
        at = run_x2 + 2;
      }
    }
  } catch (const std::bad_alloc &) {
    return 0;
  } catch (const std::length_error &) {
    return 0;
  }
  return 1;
}

// A rotation walk in 6-bit fixed point on a circle of the larger radius b,
// with x scaled down to a. s is the short coordinate, l the long one.
void ellipse_tall(void *ctx, int64_t cx, int64_t cy, int64_t a, int64_t b, traster_span_fn span) {
  int64_t u = 0, v = b * 64;
  int64_t prev_s = 65535, prev_l = 65535, prev_w1 = 65535, prev_w2 = 65535;
  int64_t s, l;
  do {
    s = (u + 32) >> 6;
    l = (v + 32) >> 6;
    int64_t w1 = s * a / b, w2 = l * a / b;
    if ((w1 != prev_w1 || l != prev_l) && s < l) {
      span(ctx, saturate(cx - w1), saturate(cx + w1), saturate(cy + l));
      if (l != 0) span(ctx, saturate(cx - w1), saturate(cx + w1), saturate(cy - l));
    }
    if ((w2 != prev_w2 || s != prev_s) && s < prev_l) {
      span(ctx, saturate(cx - w2), saturate(cx + w2), saturate(cy + s));
      if (s != 0) span(ctx, saturate(cx - w2), saturate(cx + w2), saturate(cy - s));
    }
    u += v / b;
    v -= u / b;
    prev_s = s, prev_l = l, prev_w1 = w1, prev_w2 = w2;
  } while (l > s);
}

// The same walk on a circle of radius a with the rows scaled down to b.
void ellipse_wide(void *ctx, int64_t cx, int64_t cy, int64_t a, int64_t b, traster_span_fn span) {
  int64_t u = 0, v = a * 64;
  int64_t prev_s = 65535, prev_l = 65535, prev_h1 = 65535, prev_h2 = 65535;
  int64_t s, l;
  do {
    s = (u + 32) >> 6;
    l = (v + 32) >> 6;
    int64_t h1 = s * b / a, h2 = l * b / a;
    if ((s != prev_s || h2 != prev_h2) && s < prev_l) {
      span(ctx, saturate(cx - s), saturate(cx + s), saturate(cy + h2));
      if (h2 != 0) span(ctx, saturate(cx - s), saturate(cx + s), saturate(cy - h2));
    }
    if ((l != prev_l || h1 != prev_h1) && l > s) {
      span(ctx, saturate(cx - l), saturate(cx + l), saturate(cy + h1));
      if (h1 != 0) span(ctx, saturate(cx - l), saturate(cx + l), saturate(cy - h1));
    }
    u += v / a;
    v -= u / a;
    prev_s = s, prev_l = l, prev_h1 = h1, prev_h2 = h2;
  } while (l > s);
}

// Walks one chain from the top vertex to the bottom vertex (dir -1: the
// points backwards, +1: forwards) and writes its x for every row it descends
// through into the table's column.
void polygon_chain(const tpoint *points, int count, int top, int bottom, int dir, int column, int32_t *table) {
  const int64_t top_y = points[top].y;
  int i = top;
  while (i != bottom) {
    int j = (i + dir + count) % count;
    int64_t x0 = points[i].x, y0 = points[i].y, x1 = points[j].x, y1 = points[j].y;
    int64_t rise = y1 - y0;
    for (int64_t k = 0; k < rise; k++) {
      double offset = std::ceil(double(k) * double(x1 - x0) / double(rise));
      table[2 * (y0 + k - top_y) + column] = int32_t(x0 + int64_t(offset));
    }
    i = j;
  }
}

}  // namespace
