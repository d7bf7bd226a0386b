// traster: the four rasterisers (line, ellipse, polygon, flood fill). They
// know nothing of pixels: each walks its shape and reports what to paint
// through callbacks that receive the caller's opaque context.
//
// Coordinates are signed 32-bit; the walkers compute in 64 bits, so extreme
// coordinates never overflow (reports that would leave the 32-bit range are
// saturated, far outside any bitmap).
// The flood fill reports every maximal run of the 4-connected region exactly
// once and never tests a pixel of a run it has reported, so a fill callback
// may change the pixels of its own run.
#pragma once

#include <cstdint>

#include "trect.h"

// Line walk: the caller keeps the current point and moves it by (dx, dy),
// each -1, 0 or +1, before painting it; the first call is (0, 0).
typedef void (*traster_step_fn)(void *ctx, int dx, int dy);
// Ellipse and polygon spans; the two x need not be ordered for the polygon.
typedef void (*traster_span_fn)(void *ctx, int32_t x_left, int32_t x_right, int32_t y);
// Flood fill: test is nonzero when (x, y) belongs to the region; fill paints
// the inclusive run x1..x2 of row y (x1 <= x2).
typedef int (*traster_test_fn)(void *ctx, int32_t x, int32_t y);
typedef void (*traster_fill_fn)(void *ctx, int32_t x1, int32_t x2, int32_t y);

// Run-oriented form of the flood-fill test, for callers that can measure many
// pixels per call: starting at x and stepping by dir (+1 or -1) towards limit
// (inclusive), returns the first x whose test result differs from want (0 or
// 1), or limit + dir when every pixel up to limit matches.
typedef int64_t (*traster_scan_fn)(void *ctx, int32_t y, int32_t x, int32_t limit, int dir, int want);

void traster_line(void *ctx, int32_t x1, int32_t y1, int32_t x2, int32_t y2, traster_step_fn step);
void traster_ellipse(void *ctx, int32_t cx, int32_t cy, int32_t rx, int32_t ry, traster_span_fn span);
// 0 when count >= 4 and the last point differs from the first, else 1.
int traster_is_closed_polygon(const tpoint *points, int count);
// Scanline fill of a y-monotone outline; the bottom row is not filled.
// 0 only when the span table cannot be allocated.
int traster_fill_polygon(void *ctx, const tpoint *points, int count, traster_span_fn span);
// Span flood fill from (x, y) inside bounds, whose x2 and y2 are exclusive.
// A seed outside the bounds or failing the test fills nothing and gives 1;
// 0 when the run table cannot be allocated (what was painted stays).
int traster_flood_fill(void *ctx, const trect *bounds, int32_t x, int32_t y, traster_test_fn test,
                       traster_fill_fn fill);
// The same fill driven by a run scanner instead of a per-pixel test.
int traster_flood_fill_runs(void *ctx, const trect *bounds, int32_t x, int32_t y, traster_scan_fn scan,
                            traster_fill_fn fill);
