// traster: line, ellipse, polygon and flood-fill walkers.
//
// The flood fill's driver lives in the header (traster_flood::fill_region),
// so that the canvas can run it with its own test and fill made inline; the
// two entries here run it through the callers' function pointers. It marks,
// one bit per pixel, the runs it has already reported. A scan of a row jumps
// over marked pixels, so a pixel of a reported run is never tested again and
// each maximal run of the region is found and filled exactly once, in one
// pass driven by a stack of row scans. Which runs are filled does not depend
// on the order, so the painted pixels are those of a fill that revisits rows
// in passes.
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

struct pixel_test_ctx {
  void *ctx;
  traster_test_fn test;
};

int32_t saturate(int64_t v);
int64_t scan_pixels(void *ctx, int32_t y, int32_t x, int32_t limit, int dir, int want);
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
  return traster_flood::fill_region(
      *bounds, x, y, [ctx, test](int32_t row, int32_t at) { return test(ctx, at, row) != 0; },
      [&pixel](int32_t row, int32_t from, int32_t limit, int dir, int want) {
        return scan_pixels(&pixel, row, from, limit, dir, want);
      },
      [ctx, fill](int32_t x1, int32_t x2, int32_t row) { fill(ctx, x1, x2, row); });
}

int traster_flood_fill_runs(void *ctx, const trect *bounds, int32_t x, int32_t y, traster_scan_fn scan,
                            traster_fill_fn fill) {
  PORT_CHECK(bounds != nullptr && scan != nullptr && fill != nullptr);
  return traster_flood::fill_region(
      *bounds, x, y, [ctx, scan](int32_t row, int32_t at) { return scan(ctx, row, at, at, 1, 1) != at; },
      [ctx, scan](int32_t row, int32_t from, int32_t limit, int dir, int want) {
        return scan(ctx, row, from, limit, dir, want);
      },
      [ctx, fill](int32_t x1, int32_t x2, int32_t row) { fill(ctx, x1, x2, row); });
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
