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

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <stdexcept>
#include <vector>

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

// The flood fill's driver, shared by the two entries above and by callers
// whose test and fill are cheap enough that a call through a pointer per run
// would cost more than the work (the canvas's 32-bit fill): test, scan and
// fill are called as test(y, x) -> bool, scan(y, x, limit, dir, want) -> x
// and fill(x1, x2, y), with the meanings of the function types above.
namespace traster_flood {

// The pixels of the reported runs, one bit each. A row's words are made
// when the row is first reached, and each row remembers the span its marks
// lie in, so that a search never walks the unmarked rest of a wide row.
class flood_marks {
 public:
  flood_marks(int64_t x1, int64_t width, int64_t height)
      : x1_(x1), words_(size_t((width + 63) / 64)), rows_(size_t(height), nullptr), spans_(size_t(height)) {}
  ~flood_marks() {
    for (uint64_t *block : blocks_) std::free(block);
  }
  flood_marks(const flood_marks &) = delete;
  flood_marks &operator=(const flood_marks &) = delete;

  bool marked(size_t r, int64_t x) const { return marked_in(rows_[r], x); }
  // The same test on a row taken once with row(r): a row is only made by
  // mark(), so the pointer holds until the next mark.
  const uint64_t *row(size_t r) const { return rows_[r]; }
  // Asks for the word of (r, x) ahead of its use.
  void prefetch(size_t r, int64_t x) const {
    if (r < rows_.size() && rows_[r]) __builtin_prefetch(rows_[r] + (uint64_t(x - x1_) >> 6));
  }
  bool marked_in(const uint64_t *row, int64_t x) const {
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
  // Marks x1..x2 (throws std::bad_alloc when the row cannot be made); the
  // fill goes on (true).
  bool mark(size_t r, int64_t x1, int64_t x2) {
    if (!rows_[r]) {
      rows_[r] = new_row();
      spans_[r] = {x1, x2};
    }
    spans_[r].first = std::min(spans_[r].first, x1);
    spans_[r].last = std::max(spans_[r].last, x2);
    uint64_t *row = rows_[r];
    const uint64_t first = uint64_t(x1 - x1_), last = uint64_t(x2 - x1_);
    const uint64_t head = ~0ull << (first & 63), tail = ~0ull >> (63 - (last & 63));
    if ((first >> 6) == (last >> 6)) {
      row[first >> 6] |= head & tail;
      return true;
    }
    row[first >> 6] |= head;
    for (uint64_t w = (first >> 6) + 1; w < last >> 6; w++) row[w] = ~0ull;
    row[last >> 6] |= tail;
    return true;
  }

 private:
  struct span {
    int64_t first = 0, last = -1;
  };
  // Narrow rows are carved out of blocks of several: an open region makes
  // every row, and one allocation a row would cost more than marking it. A
  // row of more than a block has one of its own, whose pages are only
  // touched where marked.
  uint64_t *new_row() {
    if (block_left_ < words_) {
      const size_t words = std::max<size_t>(words_, 4096 / words_ * words_);
      blocks_.reserve(blocks_.size() + 1);
      uint64_t *block = static_cast<uint64_t *>(std::calloc(words, sizeof(uint64_t)));
      if (!block) throw std::bad_alloc();
      blocks_.push_back(block);
      block_next_ = block;
      block_left_ = words;
    }
    uint64_t *row = block_next_;
    block_next_ += words_, block_left_ -= words_;
    return row;
  }

  int64_t x1_;
  size_t words_;
  std::vector<uint64_t *> rows_;
  std::vector<span> spans_;
  std::vector<uint64_t *> blocks_;
  uint64_t *block_next_ = nullptr;
  size_t block_left_ = 0;
};

// The marks of a fill whose fill paints every pixel of every reported run
// with a colour that fails the test: none are kept, the painted pixels
// themselves stop the runs. It counts the pixels reported instead, as a
// pixel left passing would be found again: should the runs come to more
// pixels than the bounds hold, mark refuses and the fill gives 0.
class flood_no_marks {
 public:
  flood_no_marks(int64_t, int64_t width, int64_t height) {
    if (__builtin_mul_overflow(uint64_t(width), uint64_t(height), &left_)) left_ = UINT64_MAX;
  }
  const uint64_t *row(size_t) const { return nullptr; }
  void prefetch(size_t, int64_t) const {}
  bool marked_in(const uint64_t *, int64_t) const { return false; }
  int64_t next(size_t, int64_t from, int64_t to, bool want) const { return want || from > to ? to + 1 : from; }
  int64_t previous_marked(size_t, int64_t, int64_t to) const { return to - 1; }
  bool mark(size_t, int64_t x1, int64_t x2) {
    const uint64_t pixels = uint64_t(x2 - x1 + 1);
    if (pixels > left_) return false;
    left_ -= pixels;
    return true;
  }

 private:
  uint64_t left_;
};

// One pending scan: row y over x1..x2, a stretch of a recorded run on row
// y - dir (dir 0 for the seed).
struct flood_scan {
  int32_t y, x1, x2;
  int32_t dir;
};

// The pending scans. The scan pushed last is mostly popped next, so an
// entry is written and read a field at a time: a whole-record copy would
// wait on the four stores before it.
class flood_stack {
 public:
  bool empty() const { return top_ == 0; }
  void push(int32_t y, int32_t x1, int32_t x2, int32_t dir) {
    if (top_ == entries_.size()) entries_.resize(std::max<size_t>(64, 2 * top_));
    flood_scan &e = entries_[top_++];
    e.y = y, e.x1 = x1, e.x2 = x2, e.dir = dir;
  }
  const flood_scan &pop() { return entries_[--top_]; }

 private:
  std::vector<flood_scan> entries_;
  size_t top_ = 0;
};

// How many pixels a run is grown by one at a time before the search turns
// to the marks and the caller's scan: a maze's runs are a few pixels long.
constexpr int k_short_grow = 4;

// The walk, for either kind of marks (flood_marks or flood_no_marks): the
// marks are asked only through calls that the compiler makes inline, so a
// walk without them is left with none of their work.
template <typename Marks, typename Test, typename Scan, typename Fill>
int fill_walk(const trect &bounds, int32_t x, int32_t y, Test &&test, Scan &&scan, Fill &&fill) {
  const int64_t bx1 = bounds.x1, by1 = bounds.y1, bx2 = bounds.x2, by2 = bounds.y2;
  if (x < bx1 || x >= bx2 || y < by1 || y >= by2) return 1;
  try {
    Marks marks(bx1, bx2 - bx1, by2 - by1);
    flood_stack pending;
    pending.push(y, x, x, 0);
    while (!pending.empty()) {
      const flood_scan &top = pending.pop();
      const struct {
        int32_t y, x1, x2, dir;
      } job = {top.y, top.x1, top.x2, top.dir};
      const size_t r = size_t(job.y - by1);
      // Along a corridor the next scans go on in the same direction.
      if (job.dir) marks.prefetch(r + size_t(2 * job.dir), job.x1);
      int64_t at = job.x1;
      while (at <= job.x2) {
        // Where the run this scan came from goes on into open area, its
        // first pixel starts a run here; it is tested alone before any
        // search of the marks.
        const uint64_t *row_marks = marks.row(r);
        int64_t found = at;
        bool open = false;
        if (!marks.marked_in(row_marks, at)) {
          open = test(job.y, int32_t(at));
          if (!open && ++at > job.x2) break;
        }
        if (!open) {
          const int64_t stop = marks.next(r, at, job.x2, true) - 1;
          if (stop < at) {
            // The pixel after a run failed the test when the run was grown.
            at = marks.next(r, at, job.x2, false) + 1;
            continue;
          }
          found = scan(job.y, int32_t(at), int32_t(stop), 1, 0);
          if (found > stop) {
            at = stop + 1;
            continue;
          }
        }
        // The run is grown a pixel at a time first. When the fill changes
        // only its own runs, a pixel beside a reported run still fails as it
        // did when that run was grown, so the marks are looked at only for
        // pixels that pass.
        auto grow_short = [&](int64_t edge, int dir, bool *more) {
          const int64_t end = dir > 0 ? bx2 - 1 : bx1;
          for (int i = 0; i < k_short_grow; i++) {
            if (edge == end) return edge;
            const int64_t beyond = edge + dir;
            if (!test(job.y, int32_t(beyond)) || marks.marked_in(row_marks, beyond)) return edge;
            edge = beyond;
          }
          *more = edge != end;
          return edge;
        };
        // Beyond that it grows no further than the marked runs beside it:
        // with a consistent test their neighbours fail anyway, and an
        // inconsistent one cannot make the runs overlap. The marks are
        // looked at over the next 64 pixels first, so a short run costs a
        // word or two of them, and then over the rest of the row.
        auto grow_far = [&](int64_t edge, int dir) -> int64_t {
          const int64_t end = dir > 0 ? bx2 - 1 : bx1;
          for (int64_t window = 64; edge != end; window = INT64_MAX / 4) {
            const int64_t far = dir > 0 ? std::min(end, edge + window) : std::max(end, edge - window);
            const int64_t beside = dir > 0 ? marks.next(r, edge + 1, far, true) : marks.previous_marked(r, edge - 1, far);
            const bool blocked = dir > 0 ? beside <= far : beside >= far;
            const int64_t limit = blocked ? beside - 2 * dir : far;
            if (dir > 0 ? limit <= edge : limit >= edge) break;
            const int64_t stop = scan(job.y, int32_t(edge + dir), int32_t(limit), dir, 1);
            if (stop != limit + dir || blocked) return stop - dir;
            edge = limit;
          }
          return edge;
        };
        int64_t run_x1 = found, run_x2 = found;
        bool more = false;
        if (found == job.x1) {
          run_x1 = grow_short(found, -1, &more);
          if (more) run_x1 = grow_far(run_x1, -1);
        }
        more = false;
        run_x2 = grow_short(found, 1, &more);
        if (more) run_x2 = grow_far(run_x2, 1);
        if (!marks.mark(r, run_x1, run_x2)) return 0;
        fill(int32_t(run_x1), int32_t(run_x2), job.y);
        // Onwards the whole run is scanned; back towards the row the scan
        // came from only what reaches past the run it started from, which
        // is marked there.
        const int32_t x1 = int32_t(run_x1), x2 = int32_t(run_x2);
        if (job.y > by1) {
          if (job.dir != 1)
            pending.push(job.y - 1, x1, x2, -1);
          else {
            if (run_x1 < job.x1) pending.push(job.y - 1, x1, job.x1 - 1, -1);
            if (run_x2 > job.x2) pending.push(job.y - 1, job.x2 + 1, x2, -1);
          }
        }
        if (job.y + 1 < by2) {
          if (job.dir != -1)
            pending.push(job.y + 1, x1, x2, 1);
          else {
            if (run_x1 < job.x1) pending.push(job.y + 1, x1, job.x1 - 1, 1);
            if (run_x2 > job.x2) pending.push(job.y + 1, job.x2 + 1, x2, 1);
          }
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

// The fill for any test and fill: the reported runs are marked, so a fill
// may paint a colour that still passes the test.
template <typename Test, typename Scan, typename Fill>
int fill_region(const trect &bounds, int32_t x, int32_t y, Test &&test, Scan &&scan, Fill &&fill) {
  return fill_walk<flood_marks>(bounds, x, y, test, scan, fill);
}

// The fill for a caller whose fill paints every pixel of every reported run
// with a colour that fails the test (flood_no_marks). Any other caller must
// use fill_region.
template <typename Test, typename Scan, typename Fill>
int fill_region_unmarked(const trect &bounds, int32_t x, int32_t y, Test &&test, Scan &&scan, Fill &&fill) {
  return fill_walk<flood_no_marks>(bounds, x, y, test, scan, fill);
}

}  // namespace traster_flood
