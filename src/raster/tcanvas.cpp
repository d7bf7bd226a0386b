// tcanvas: drawing state over one bitmap.
//
// Shapes come from the walkers of traster and reach the pixels through the
// bitmap's own fills, blends and blits; this module only clips and chooses
// pen or brush. The flood fill measures whole runs of the seed colour on the
// bitmap's rows itself, so the walker calls back once per run, not per pixel.
#include "tcanvas.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "port_log.h"
#include "tblit.h"
#include "tfont_sizes.h"
#include "traster.h"

namespace {

// How the flood fill reads a pixel's colour; the same results as
// tbitmap_get_pixel_color, without its per-pixel checks.
enum flood_reader {
  FLOOD_READ_24,        // bytes blue, green, red
  FLOOD_READ_32,        // bytes blue, green, red, alpha
  FLOOD_READ_MASKS_16,  // a 16-bit word through the channel masks
  FLOOD_READ_MASKS_32,  // a 32-bit bit-field word through the channel masks
  FLOOD_READ_GENERIC,   // anything else (palette bitmaps)
};

struct rgba {
  int r, g, b, a;
};

struct flood_ctx {
  tcanvas *canvas;
  tbitmap *bitmap;
  flood_reader reader;
  // Row addressing, taken once: row y from the top starts at
  // first_row + y * row_step (row_step is negative for bottom-up bitmaps).
  uint8_t *first_row;
  int64_t row_step;
  rgba seed;
  // A channel passes when (value - low) as unsigned is at most its span.
  int low_r, low_g, low_b;
  unsigned span_r, span_g, span_b;
  // The same range as bytes blue | green << 8 | red << 16, lowest and highest.
  uint32_t low_word, high_word;
  bool exact_only;  // tolerance 0: a pixel passes when it is the seed colour
  // The row the last run was painted on: the fill mostly moves on a row at a
  // time in one direction, so the next row is asked for while this one is
  // painted.
  int32_t last_y;
  uint32_t brush_word;  // the brush colour, taken once per fill
  int32_t rows;
};

struct line_ctx {
  tcanvas *canvas;
  int32_t x, y;
  uint32_t color;
};

struct ellipse_ctx {
  tcanvas *canvas;
  uint8_t *filled;  // one flag per bitmap row
  int32_t rows;
};

void set_defaults(tcanvas *canvas);
void color_from_word(tcolor *out, uint32_t word);
bool clip_has_point(const tcanvas *canvas, int64_t x, int64_t y);
void line_step(void *ctx, int dx, int dy);
void polygon_span(void *ctx, int32_t x_left, int32_t x_right, int32_t y);
void ellipse_span(void *ctx, int32_t x_left, int32_t x_right, int32_t y);
int32_t clamp32(int64_t v);
int64_t floor_mod(int64_t value, int64_t modulus);
void flood_prepare(flood_ctx *flood, tcanvas *canvas);
const uint8_t *flood_row(const flood_ctx *flood, int32_t y);
rgba flood_read(const flood_ctx *flood, const uint8_t *row, int32_t x, int32_t y);
int64_t flood_scan(void *ctx, int32_t y, int32_t x, int32_t limit, int dir, int want);
bool passes_32(const flood_ctx *flood, const uint8_t *p);
int64_t scan_32(const flood_ctx *flood, int32_t y, int32_t x, int32_t limit, int dir, int want);
void flood_fill_run(void *ctx, int32_t x1, int32_t x2, int32_t y);
void fill_run_32(flood_ctx *flood, int32_t x1, int32_t x2, int32_t y);
void flood_blend_edge(const flood_ctx *flood, int32_t x, int32_t y, rgba pixel);
bool paints_out_of_region(const flood_ctx *flood);
int fill_new_colour_32(flood_ctx *flood, const trect &bounds, int32_t x, int32_t y);

}  // namespace

int tcanvas_init(tcanvas *canvas, void *owner, int bpp, int32_t width, int32_t height) {
  PORT_CHECK(canvas != nullptr);
  std::memset(canvas, 0, sizeof *canvas);
  canvas->_owner = owner;
  int64_t rows = height < 0 ? -int64_t(height) : int64_t(height);
  canvas->_rect = {0, 0, clamp32(int64_t(width) - 1), clamp32(rows - 1)};
  canvas->_bitmap = tbitmap_new(width, height, bpp);
  if (!canvas->_bitmap) return 0;
  canvas->_owns_bitmap = 1;
  set_defaults(canvas);
  return 1;
}

int tcanvas_init_on_bitmap(tcanvas *canvas, tbitmap *bitmap) {
  PORT_CHECK(canvas != nullptr && bitmap != nullptr);
  std::memset(canvas, 0, sizeof *canvas);
  canvas->_rect = {0, 0, tbitmap_get_width(bitmap) - 1, tbitmap_get_height(bitmap) - 1};
  canvas->_bitmap = bitmap;
  set_defaults(canvas);
  return 1;
}

void tcanvas_deinit(tcanvas *canvas) {
  PORT_CHECK(canvas != nullptr);
  if (canvas->_owns_bitmap && canvas->_bitmap) tbitmap_free(canvas->_bitmap);
  std::memset(canvas, 0, sizeof *canvas);
}

tbitmap *tcanvas_get_bitmap(const tcanvas *canvas) {
  PORT_CHECK(canvas != nullptr);
  return canvas->_bitmap;
}

void tcanvas_set_pen(tcanvas *canvas, int32_t style, int32_t width, uint32_t color) {
  PORT_CHECK(canvas != nullptr);
  canvas->_pen_style = style;
  canvas->_pen_width = width;
  tcanvas_set_pen_color(canvas, color);
}

void tcanvas_set_pen_style(tcanvas *canvas, int32_t style) {
  PORT_CHECK(canvas != nullptr);
  canvas->_pen_style = style;
}

void tcanvas_set_pen_color(tcanvas *canvas, uint32_t color) {
  PORT_CHECK(canvas != nullptr);
  color_from_word(&canvas->_pen_color, color);
}

tcolor *tcanvas_get_pen_color(tcolor *out, const tcanvas *canvas) {
  PORT_CHECK(canvas != nullptr && out != nullptr);
  *out = canvas->_pen_color;
  return out;
}

void tcanvas_set_brush(tcanvas *canvas, int32_t style, uint32_t color) {
  PORT_CHECK(canvas != nullptr);
  canvas->_brush_style = style;
  tcanvas_set_brush_color(canvas, color);
}

void tcanvas_set_brush_style(tcanvas *canvas, int32_t style) {
  PORT_CHECK(canvas != nullptr);
  canvas->_brush_style = style;
}

void tcanvas_set_brush_color(tcanvas *canvas, uint32_t color) {
  PORT_CHECK(canvas != nullptr);
  color_from_word(&canvas->_brush_color, color);
}

void tcanvas_set_pattern(tcanvas *canvas, tbitmap *patbmp) {
  PORT_CHECK(canvas != nullptr && patbmp != nullptr);
  canvas->_pattern = patbmp;
}

void tcanvas_set_pattern_origin(tcanvas *canvas, int32_t x, int32_t y) {
  PORT_CHECK(canvas != nullptr);
  canvas->_pattern_x = x;
  canvas->_pattern_y = y;
}

void tcanvas_set_clip(tcanvas *canvas, const trect *rect) {
  PORT_CHECK(canvas != nullptr);
  if (!rect) return;
  canvas->_clip = *rect;
  trect_normalize(&canvas->_clip);
  canvas->_clip_on = 1;
}

void tcanvas_clear_clip(tcanvas *canvas) {
  PORT_CHECK(canvas != nullptr);
  canvas->_clip_on = 0;
}

int32_t tcanvas_get_font_size(const tcanvas *canvas) {
  PORT_CHECK(canvas != nullptr);
  return canvas->_font_size;
}

uint32_t tcanvas_get_font_style(const tcanvas *canvas) {
  PORT_CHECK(canvas != nullptr);
  return canvas->_font_style;
}

void tcanvas_set_font_style(tcanvas *canvas, uint32_t style) {
  PORT_CHECK(canvas != nullptr);
  canvas->_font_style = style;
}

int tcanvas_draw_line(tcanvas *canvas, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  PORT_CHECK(canvas != nullptr);
  if (canvas->_pen_style == TCANVAS_PEN_NONE) return 1;
  return tcanvas_draw_line_color(canvas, x1, y1, x2, y2, tcolor_to_word(&canvas->_pen_color));
}

int tcanvas_draw_line_color(tcanvas *canvas, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t color) {
  PORT_CHECK(canvas != nullptr);
  if (!canvas->_bitmap) return 0;
  const trect &clip = canvas->_clip;
  if (x1 == x2) {
    int32_t top = std::min(y1, y2), bottom = std::max(y1, y2);
    if (canvas->_clip_on) {
      if (x1 < clip.x1 || x1 > clip.x2 || bottom < clip.y1 || top > clip.y2) return 1;
      top = std::max(top, clip.y1);
      bottom = std::min(bottom, clip.y2);
    }
    tbitmap_draw_vline(canvas->_bitmap, x1, top, bottom, color);
  } else if (y1 == y2) {
    int32_t left = std::min(x1, x2), right = std::max(x1, x2);
    if (canvas->_clip_on) {
      if (y1 < clip.y1 || y1 > clip.y2 || right < clip.x1 || left > clip.x2) return 1;
      left = std::max(left, clip.x1);
      right = std::min(right, clip.x2);
    }
    tbitmap_draw_hline(canvas->_bitmap, left, right, y1, color);
  } else {
    line_ctx line = {canvas, x1, y1, color};
    traster_line(&line, x1, y1, x2, y2, line_step);
  }
  return 1;
}

int tcanvas_fill_rect(tcanvas *canvas, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  PORT_CHECK(canvas != nullptr);
  if (!canvas->_bitmap) return 0;
  trect area = {x1, y1, x2, y2};
  trect_normalize(&area);
  if (canvas->_clip_on) {
    trect_intersect(&area, &area, &canvas->_clip);
    // Inclusive corners: a single column or row inside the clip is still drawn.
    if (area.x1 > area.x2 || area.y1 > area.y2) return 1;
  }
  if (canvas->_brush_style == TCANVAS_BRUSH_SOLID)
    return tbitmap_fill_rect(canvas->_bitmap, area.x1, area.y1, area.x2, area.y2,
                             tcolor_to_word(&canvas->_brush_color));
  if (canvas->_brush_style == TCANVAS_BRUSH_PATTERN) {
    // Rows and columns beyond the bitmap would paint nothing; the pattern's
    // phase follows x itself, so cutting them changes no pixel.
    int32_t left = std::max(area.x1, 0), right = std::min(area.x2, tbitmap_get_width(canvas->_bitmap) - 1);
    int32_t top = std::max(area.y1, 0), bottom = std::min(area.y2, tbitmap_get_height(canvas->_bitmap) - 1);
    for (int32_t y = top; y <= bottom && left <= right; y++)
      tcanvas_fill_span_pattern(canvas, left, y, right - left + 1);
  }
  return 1;
}

int tcanvas_clear(tcanvas *canvas) {
  PORT_CHECK(canvas != nullptr);
  const trect &r = canvas->_rect;
  return tcanvas_fill_rect(canvas, 0, 0, clamp32(int64_t(r.x2) - r.x1 + 1), clamp32(int64_t(r.y2) - r.y1 + 1));
}

int tcanvas_draw_rect(tcanvas *canvas, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  PORT_CHECK(canvas != nullptr);
  int result = tcanvas_fill_rect(canvas, x1, y1, x2, y2);
  if (canvas->_pen_style != TCANVAS_PEN_NONE) {
    tcanvas_draw_line(canvas, x1, y1, x2, y1);
    tcanvas_draw_line(canvas, x1, y2, x2, y2);
    tcanvas_draw_line(canvas, x1, clamp32(int64_t(y1) + 1), x1, clamp32(int64_t(y2) - 1));
    tcanvas_draw_line(canvas, x2, clamp32(int64_t(y1) + 1), x2, clamp32(int64_t(y2) - 1));
  }
  return result;
}

int tcanvas_draw_round_rect(tcanvas *canvas, int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t radius) {
  PORT_CHECK(canvas != nullptr);
  trect r = {x1, y1, x2, y2};
  trect_normalize(&r);
  int64_t half_width = (int64_t(r.x2) - r.x1 + 1) / 2, half_height = (int64_t(r.y2) - r.y1 + 1) / 2;
  // A negative radius would turn the corners outwards.
  int64_t c = std::max<int64_t>(0, std::min<int64_t>({radius, half_width, half_height}));
  int32_t left = r.x1, top = r.y1, right = r.x2, bottom = r.y2;
  int32_t in_left = int32_t(left + c), in_right = int32_t(right - c);
  int32_t in_top = int32_t(top + c), in_bottom = int32_t(bottom - c);
  tpoint points[9] = {{left, in_top},      {left, in_bottom}, {in_left, bottom}, {in_right, bottom}, {right, in_bottom},
                      {right, in_top},     {in_right, top},   {in_left, top},    {left, in_top}};
  return tcanvas_draw_polygon(canvas, points, 9);
}

int tcanvas_draw_ellipse(tcanvas *canvas, int32_t cx, int32_t cy, int32_t rx, int32_t ry) {
  PORT_CHECK(canvas != nullptr);
  if (!canvas->_bitmap) return 0;
  // One flag per row of the bitmap, whatever the centre and radii: rows
  // outside it paint nothing anyway.
  int32_t rows = tbitmap_get_height(canvas->_bitmap);
  uint8_t *filled = static_cast<uint8_t *>(std::calloc(size_t(rows) + 1, 1));
  if (!filled) return 0;
  ellipse_ctx ellipse = {canvas, filled, rows};
  traster_ellipse(&ellipse, cx, cy, rx, ry, ellipse_span);
  std::free(filled);
  return 1;
}

int tcanvas_draw_circle(tcanvas *canvas, int32_t cx, int32_t cy, int32_t r) {
  PORT_CHECK(canvas != nullptr);
  return tcanvas_draw_ellipse(canvas, cx, cy, r, r);
}

int tcanvas_fill_polygon(tcanvas *canvas, const tpoint *points, int count) {
  PORT_CHECK(canvas != nullptr && (points != nullptr || count <= 0));
  if (!traster_is_closed_polygon(points, count)) return 0;
  if (canvas->_brush_style == TCANVAS_BRUSH_NONE) return 1;
  return traster_fill_polygon(canvas, points, count, polygon_span);
}

int tcanvas_draw_polygon(tcanvas *canvas, const tpoint *points, int count) {
  PORT_CHECK(canvas != nullptr && (points != nullptr || count <= 0));
  if (!traster_is_closed_polygon(points, count)) return 0;
  int result = tcanvas_fill_polygon(canvas, points, count);
  if (canvas->_pen_style != TCANVAS_PEN_NONE)
    for (int i = 0; i + 1 < count; i++)
      tcanvas_draw_line(canvas, points[i].x, points[i].y, points[i + 1].x, points[i + 1].y);
  return result;
}

int tcanvas_flood_fill(tcanvas *canvas, int32_t x, int32_t y, int tolerance) {
  PORT_CHECK(canvas != nullptr);
  tbitmap *bitmap = canvas->_bitmap;
  if (!bitmap) return 0;
  int32_t width = tbitmap_get_width(bitmap), height = tbitmap_get_height(bitmap);
  if (x < 0 || y < 0 || x >= width || y >= height) return 0;
  flood_ctx flood;
  flood_prepare(&flood, canvas);
  flood.seed = flood_read(&flood, flood_row(&flood, y), x, y);
  flood.last_y = y;
  flood.brush_word = tcolor_to_word(&canvas->_brush_color);
  flood.rows = height;
  int tol = std::clamp(tolerance, 0, 255);
  flood.low_r = flood.seed.r - tol, flood.span_r = unsigned(std::min(flood.seed.r + tol, 255) - flood.low_r);
  flood.low_g = flood.seed.g - tol, flood.span_g = unsigned(std::min(flood.seed.g + tol, 255) - flood.low_g);
  flood.low_b = flood.seed.b - tol, flood.span_b = unsigned(std::min(flood.seed.b + tol, 255) - flood.low_b);
  auto byte_word = [](int r, int g, int b) {
    auto byte = [](int v) { return uint32_t(std::clamp(v, 0, 255)); };
    return byte(b) | byte(g) << 8 | byte(r) << 16;
  };
  flood.low_word = byte_word(flood.low_r, flood.low_g, flood.low_b);
  flood.high_word = byte_word(flood.seed.r + tol, flood.seed.g + tol, flood.seed.b + tol);
  flood.exact_only = tol == 0;
  // The region is found over the whole bitmap; only painting obeys the clip.
  trect bounds = {0, 0, width, height};
  if (flood.reader == FLOOD_READ_32) {
    // The painting canvas: a maze's narrow runs cost little more than the
    // calls that find and paint them, so these are made directly.
    auto test = [&flood](int32_t row, int32_t at) { return passes_32(&flood, flood_row(&flood, row) + 4 * size_t(at)); };
    auto scan = [&flood](int32_t row, int32_t from, int32_t limit, int dir, int want) {
      return scan_32(&flood, row, from, limit, dir, want);
    };
    auto fill = [&flood](int32_t x1, int32_t x2, int32_t row) { fill_run_32(&flood, x1, x2, row); };
    if (paints_out_of_region(&flood)) return fill_new_colour_32(&flood, bounds, x, y);
    return traster_flood::fill_region(bounds, x, y, test, scan, fill);
  }
  return traster_flood_fill_runs(&flood, &bounds, x, y, flood_scan, flood_fill_run);
}

int tcanvas_draw_bitmap(tcanvas *canvas, const tpoint *dst, const tbitmap *bitmap, const trect *src) {
  PORT_CHECK(canvas != nullptr && bitmap != nullptr);
  return tcanvas_draw_bitmap_keyed(canvas, dst, bitmap, src, 0xFFFFFFFFu, 255);
}

int tcanvas_draw_bitmap_alpha(tcanvas *canvas, const tpoint *dst, const tbitmap *bitmap, const trect *src, int alpha) {
  PORT_CHECK(canvas != nullptr && bitmap != nullptr);
  PORT_CHECK(dst != nullptr && src != nullptr);
  if (!canvas->_bitmap) return 0;
  if (!canvas->_clip_on) return tbitmap_blit_alpha(canvas->_bitmap, dst, bitmap, src, alpha);
  tpoint at;
  trect part;
  if (!tcanvas_clip_blit(canvas, dst, src, &at, &part)) return 1;
  return tbitmap_blit_alpha(canvas->_bitmap, &at, bitmap, &part, alpha);
}

int tcanvas_draw_bitmap_masked(tcanvas *canvas, const tpoint *dst, const tbitmap *bitmap, const trect *src,
                               const tbitmap *mask, int alpha) {
  PORT_CHECK(canvas != nullptr && bitmap != nullptr);
  PORT_CHECK(dst != nullptr && src != nullptr && mask != nullptr);
  if (!canvas->_bitmap) return 0;
  if (!canvas->_clip_on) return tbitmap_blit_masked(canvas->_bitmap, dst, bitmap, src, mask, alpha);
  tpoint at;
  trect part;
  if (!tcanvas_clip_blit(canvas, dst, src, &at, &part)) return 1;
  return tbitmap_blit_masked(canvas->_bitmap, &at, bitmap, &part, mask, alpha);
}

int tcanvas_draw_bitmap_keyed(tcanvas *canvas, const tpoint *dst, const tbitmap *bitmap, const trect *src, uint32_t key,
                              int alpha) {
  PORT_CHECK(canvas != nullptr && bitmap != nullptr);
  PORT_CHECK(dst != nullptr && src != nullptr);
  if (!canvas->_bitmap) return 0;
  if (!canvas->_clip_on) return tbitmap_blit_keyed(canvas->_bitmap, dst, bitmap, src, key, alpha);
  tpoint at;
  trect part;
  if (!tcanvas_clip_blit(canvas, dst, src, &at, &part)) return 1;
  return tbitmap_blit_keyed(canvas->_bitmap, &at, bitmap, &part, key, alpha);
}

int tcanvas_clip_blit(const tcanvas *canvas, const tpoint *dst, const trect *src, tpoint *out_dst, trect *out_src) {
  PORT_CHECK(canvas != nullptr && dst != nullptr && src != nullptr && out_dst != nullptr && out_src != nullptr);
  // The blit normalises its source rectangle, so the clipped draw does too.
  trect from = *src;
  trect_normalize(&from);
  const trect &clip = canvas->_clip;
  int64_t left = std::max<int64_t>(dst->x, clip.x1), top = std::max<int64_t>(dst->y, clip.y1);
  int64_t right = std::min<int64_t>(int64_t(dst->x) + from.x2 - from.x1, clip.x2);
  int64_t bottom = std::min<int64_t>(int64_t(dst->y) + from.y2 - from.y1, clip.y2);
  int64_t src_x = int64_t(from.x1) + left - dst->x, src_y = int64_t(from.y1) + top - dst->y;
  *out_dst = {clamp32(left), clamp32(top)};
  *out_src = {clamp32(src_x), clamp32(src_y), clamp32(src_x + right - left), clamp32(src_y + bottom - top)};
  return left <= right && top <= bottom;
}

int tcanvas_scroll(tcanvas *canvas, const trect *area, int32_t dx, int32_t dy) {
  PORT_CHECK(canvas != nullptr && area != nullptr);
  tbitmap *bitmap = canvas->_bitmap;
  if (!bitmap || tbitmap_get_bpp(bitmap) < 8) return 0;
  trect r = *area;
  trect_normalize(&r);
  int64_t x1 = std::max<int64_t>(r.x1, 0), y1 = std::max<int64_t>(r.y1, 0);
  int64_t x2 = std::min<int64_t>(r.x2, tbitmap_get_width(bitmap) - 1);
  int64_t y2 = std::min<int64_t>(r.y2, tbitmap_get_height(bitmap) - 1);
  // The destination part: where a pixel of the area lands inside the area.
  int64_t left = std::max<int64_t>(x1, x1 + dx), right = std::min<int64_t>(x2, x2 + dx);
  int64_t top = std::max<int64_t>(y1, y1 + dy), bottom = std::min<int64_t>(y2, y2 + dy);
  if (left > right || top > bottom || (!dx && !dy)) return 1;
  const int64_t pixel_bytes = tbitmap_get_bpp(bitmap) / 8;
  const size_t row_bytes = size_t((right - left + 1) * pixel_bytes);
  // One image row down in memory: +stride top-down, -stride bottom-up.
  const ptrdiff_t down = tbitmap_is_top_down(bitmap) ? ptrdiff_t(tbitmap_get_stride(bitmap))
                                                      : -ptrdiff_t(tbitmap_get_stride(bitmap));
  uint8_t *first = tbitmap_get_row(bitmap, 0);
  // Whole rows without a gap between them move as one block.
  if (!dx && row_bytes == tbitmap_get_stride(bitmap)) {
    size_t rows = size_t(bottom - top + 1);
    uint8_t *to = first + down * (down > 0 ? top : bottom);
    const uint8_t *from = first + down * (down > 0 ? top - dy : bottom - dy);
    std::memmove(to, from, rows * row_bytes);
    return 1;
  }
  // Rows moving down are taken from the bottom up, so none is read after it was written.
  for (int64_t i = 0, rows = bottom - top + 1; i < rows; i++) {
    int64_t y = dy > 0 ? bottom - i : top + i;
    uint8_t *to = first + down * y + left * pixel_bytes;
    const uint8_t *from = first + down * (y - dy) + (left - dx) * pixel_bytes;
    std::memmove(to, from, row_bytes);
  }
  return 1;
}

int tcanvas_fill_span_pattern(tcanvas *canvas, int32_t x, int32_t y, int32_t count) {
  PORT_CHECK(canvas != nullptr);
  const tbitmap *pattern = canvas->_pattern;
  if (!pattern || !canvas->_bitmap) return 1;
  int64_t pattern_width = tbitmap_get_width(pattern), pattern_height = tbitmap_get_height(pattern);
  if (pattern_width < 1 || pattern_height < 1) return 1;
  // Only the part of the span over the bitmap can change pixels.
  int64_t first = std::max<int64_t>(x, 0);
  int64_t last = std::min<int64_t>(int64_t(x) + count - 1, int64_t(tbitmap_get_width(canvas->_bitmap)) - 1);
  if (y < 0 || y >= tbitmap_get_height(canvas->_bitmap)) return 1;
  int32_t py = int32_t(floor_mod(int64_t(y) - canvas->_pattern_y, pattern_height));
  int alpha = canvas->_brush_color.alpha;
  for (int64_t at = first; at <= last;) {
    int64_t px = floor_mod(at - canvas->_pattern_x, pattern_width);
    int64_t n = std::min(pattern_width - px, last - at + 1);
    tpoint dst = {int32_t(at), y};
    trect src = {int32_t(px), py, int32_t(px + n - 1), py};
    if (!canvas->_clip_on) {
      tbitmap_blit_alpha(canvas->_bitmap, &dst, pattern, &src, alpha);
    } else {
      tpoint clipped_dst;
      trect clipped_src;
      if (tcanvas_clip_blit(canvas, &dst, &src, &clipped_dst, &clipped_src))
        tbitmap_blit_alpha(canvas->_bitmap, &clipped_dst, pattern, &clipped_src, alpha);
    }
    at += n;
  }
  return 1;
}

namespace {

void set_defaults(tcanvas *canvas) {
  canvas->_pen_style = TCANVAS_PEN_SOLID;
  canvas->_pen_width = 1;
  tcolor_make(&canvas->_pen_color, 0, 0, 0, 255);
  canvas->_brush_style = TCANVAS_BRUSH_SOLID;
  tcolor_make(&canvas->_brush_color, 255, 255, 255, 255);
  canvas->_pattern = nullptr;
  canvas->_pattern_x = canvas->_pattern_y = 0;
  canvas->_clip_on = 0;
  canvas->_font_size_index = TFONT_DEFAULT_SIZE_INDEX;
  canvas->_font_size = tfont_size_from_index(TFONT_DEFAULT_SIZE_INDEX);
  static_assert(sizeof TFONT_DEFAULT_FACE <= sizeof canvas->_font_face, "default face fits the canvas");
  std::memcpy(canvas->_font_face, TFONT_DEFAULT_FACE, sizeof TFONT_DEFAULT_FACE);
}

// Pen and brush colours come as words 0xAARRGGBB.
void color_from_word(tcolor *out, uint32_t word) {
  tcolor_make(out, int(word >> 16), int(word >> 8), int(word), int(word >> 24));
}

bool clip_has_point(const tcanvas *canvas, int64_t x, int64_t y) {
  const trect &c = canvas->_clip;
  return !canvas->_clip_on || (x >= c.x1 && x <= c.x2 && y >= c.y1 && y <= c.y2);
}

void line_step(void *ctx, int dx, int dy) {
  line_ctx *line = static_cast<line_ctx *>(ctx);
  line->x += dx;
  line->y += dy;
  if (clip_has_point(line->canvas, line->x, line->y))
    tbitmap_blend_pixel(line->canvas->_bitmap, line->x, line->y, line->color);
}

void polygon_span(void *ctx, int32_t x_left, int32_t x_right, int32_t y) {
  tcanvas *canvas = static_cast<tcanvas *>(ctx);
  if (canvas->_brush_style == TCANVAS_BRUSH_SOLID) {
    tcanvas_draw_line_color(canvas, x_left, y, x_right, y, tcolor_to_word(&canvas->_brush_color));
  } else if (canvas->_brush_style == TCANVAS_BRUSH_PATTERN) {
    int64_t count = std::llabs(int64_t(x_right) - x_left) + 1;
    tcanvas_fill_span_pattern(canvas, std::min(x_left, x_right), y, clamp32(count));
  }
}

// Each row is filled once, at its first (narrowest) report; every report
// puts its two outline pixels.
void ellipse_span(void *ctx, int32_t x_left, int32_t x_right, int32_t y) {
  const ellipse_ctx *ellipse = static_cast<const ellipse_ctx *>(ctx);
  tcanvas *canvas = ellipse->canvas;
  if (canvas->_clip_on && (y < canvas->_clip.y1 || y > canvas->_clip.y2)) return;
  int64_t inner = int64_t(x_right) - x_left - 1;
  if (y >= 0 && y < ellipse->rows && !ellipse->filled[y] && canvas->_brush_style != TCANVAS_BRUSH_NONE) {
    if (canvas->_brush_style == TCANVAS_BRUSH_SOLID && inner >= 1)
      tcanvas_draw_line_color(canvas, x_left + 1, y, x_right - 1, y, tcolor_to_word(&canvas->_brush_color));
    else if (canvas->_brush_style == TCANVAS_BRUSH_PATTERN && inner >= 1)
      tcanvas_fill_span_pattern(canvas, x_left + 1, y, clamp32(inner));
    ellipse->filled[y] = 1;
  }
  if (canvas->_pen_style != TCANVAS_PEN_NONE) {
    uint32_t pen = tcolor_to_word(&canvas->_pen_color);
    if (clip_has_point(canvas, x_left, y)) tbitmap_blend_pixel(canvas->_bitmap, x_left, y, pen);
    if (clip_has_point(canvas, x_right, y)) tbitmap_blend_pixel(canvas->_bitmap, x_right, y, pen);
  }
}

int32_t clamp32(int64_t v) {
  return int32_t(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

int64_t floor_mod(int64_t value, int64_t modulus) {
  int64_t m = value % modulus;
  return m < 0 ? m + modulus : m;
}

void flood_prepare(flood_ctx *flood, tcanvas *canvas) {
  std::memset(flood, 0, sizeof *flood);
  flood->canvas = canvas;
  flood->bitmap = canvas->_bitmap;
  int bpp = tbitmap_get_bpp(flood->bitmap);
  int compression = tbitmap_get_compression(flood->bitmap);
  if (bpp == 24)
    flood->reader = FLOOD_READ_24;
  else if (bpp == 32 && compression == 0)
    flood->reader = FLOOD_READ_32;
  else if (bpp == 32)
    flood->reader = FLOOD_READ_MASKS_32;
  else if (bpp == 16)
    flood->reader = FLOOD_READ_MASKS_16;
  else
    flood->reader = FLOOD_READ_GENERIC;
  flood->first_row = tbitmap_get_row(flood->bitmap, 0);
  flood->row_step = tbitmap_is_top_down(flood->bitmap) ? int64_t(tbitmap_get_stride(flood->bitmap))
                                                        : -int64_t(tbitmap_get_stride(flood->bitmap));
}

const uint8_t *flood_row(const flood_ctx *flood, int32_t y) { return flood->first_row + y * flood->row_step; }

inline int mask_channel(uint32_t raw, uint32_t mask, uint32_t shift, uint32_t loss) {
  return int((((raw & mask) >> shift) << loss) & 0xFF);
}

// Formats without an alpha byte read as opaque: the edge blend hands the
// pixel's alpha to tbitmap_blend_pixel, which would otherwise treat a 24-bit
// pixel as fully transparent and leave it (almost) as it was.
template <flood_reader R>
inline rgba read_pixel(const flood_ctx *flood, const uint8_t *row, int32_t x, int32_t y) {
  const tbitmap *b = flood->bitmap;
  if constexpr (R == FLOOD_READ_24) {
    const uint8_t *p = row + 3 * size_t(x);
    return {p[2], p[1], p[0], 255};
  } else if constexpr (R == FLOOD_READ_32) {
    const uint8_t *p = row + 4 * size_t(x);
    return {p[2], p[1], p[0], p[3]};
  } else if constexpr (R == FLOOD_READ_MASKS_16 || R == FLOOD_READ_MASKS_32) {
    uint32_t raw;
    if constexpr (R == FLOOD_READ_MASKS_16) {
      uint16_t word;
      std::memcpy(&word, row + 2 * size_t(x), 2);
      raw = word;
    } else {
      std::memcpy(&raw, row + 4 * size_t(x), 4);
    }
    return {mask_channel(raw, b->_red_mask, b->_red_shift, b->_red_loss),
            mask_channel(raw, b->_green_mask, b->_green_shift, b->_green_loss),
            mask_channel(raw, b->_blue_mask, b->_blue_shift, b->_blue_loss), 255};
  } else {
    tcolor c;
    tcolor_make(&c, 0, 0, 0, 255);
    tbitmap_get_pixel_color(b, x, y, &c);
    return {c.red, c.green, c.blue, c.alpha};
  }
}

rgba flood_read(const flood_ctx *flood, const uint8_t *row, int32_t x, int32_t y) {
  switch (flood->reader) {
    case FLOOD_READ_24: return read_pixel<FLOOD_READ_24>(flood, row, x, y);
    case FLOOD_READ_32: return read_pixel<FLOOD_READ_32>(flood, row, x, y);
    case FLOOD_READ_MASKS_16: return read_pixel<FLOOD_READ_MASKS_16>(flood, row, x, y);
    case FLOOD_READ_MASKS_32: return read_pixel<FLOOD_READ_MASKS_32>(flood, row, x, y);
    default: return read_pixel<FLOOD_READ_GENERIC>(flood, row, x, y);
  }
}

inline bool flood_passes(const flood_ctx *flood, rgba c) {
  return (unsigned(c.r - flood->low_r) <= flood->span_r) & (unsigned(c.g - flood->low_g) <= flood->span_g) &
         (unsigned(c.b - flood->low_b) <= flood->span_b);
}

template <flood_reader R>
int64_t scan_row(const flood_ctx *flood, int32_t y, int32_t x, int32_t limit, int dir, int want) {
  const uint8_t *row = flood_row(flood, y);
  const bool wanted = want != 0;
  if (dir > 0) {
    for (int32_t at = x; at <= limit; at++)
      if (flood_passes(flood, read_pixel<R>(flood, row, at, y)) != wanted) return at;
  } else {
    for (int32_t at = x; at >= limit; at--)
      if (flood_passes(flood, read_pixel<R>(flood, row, at, y)) != wanted) return at;
  }
  return int64_t(limit) + dir;
}

// One pixel of the 32-bit canvas: at tolerance 0 one compare of the colour
// bytes, else the range test without branches per channel, as the region's
// tests are a coin toss at its edges.
inline bool passes_32(const flood_ctx *flood, const uint8_t *p) {
  if (flood->exact_only) {
    uint32_t pixel;
    std::memcpy(&pixel, p, 4);
    return (pixel & 0xFFFFFFu) == flood->low_word;
  }
  return (unsigned(p[0] - flood->low_b) <= flood->span_b) & (unsigned(p[1] - flood->low_g) <= flood->span_g) &
         (unsigned(p[2] - flood->low_r) <= flood->span_r);
}

// The 32-bit scan tests its first pixels itself: most scans in a maze end
// within a few pixels, before a vector loop would have started.
inline int64_t scan_32(const flood_ctx *flood, int32_t y, int32_t x, int32_t limit, int dir, int want) {
  const uint8_t *row = flood_row(flood, y);
  const uint32_t low = flood->low_word, high = flood->high_word;
  int64_t at = x;
  for (int i = 0; i < 4; i++, at += dir) {
    if (dir > 0 ? at > limit : at < limit) return at;
    if (passes_32(flood, row + 4 * at) != (want != 0)) return at;
  }
  if (dir > 0 ? at > limit : at < limit) return at;
  return tblit_scan_range_32(row, int32_t(at), limit, dir, want, low, high);
}

int64_t flood_scan(void *ctx, int32_t y, int32_t x, int32_t limit, int dir, int want) {
  const flood_ctx *flood = static_cast<const flood_ctx *>(ctx);
  switch (flood->reader) {
    case FLOOD_READ_24: return scan_row<FLOOD_READ_24>(flood, y, x, limit, dir, want);
    case FLOOD_READ_32:
      // The painting canvas: whole vectors of pixels per test.
      return tblit_scan_range_32(flood_row(flood, y), x, limit, dir, want, flood->low_word, flood->high_word);
    case FLOOD_READ_MASKS_16: return scan_row<FLOOD_READ_MASKS_16>(flood, y, x, limit, dir, want);
    case FLOOD_READ_MASKS_32: return scan_row<FLOOD_READ_MASKS_32>(flood, y, x, limit, dir, want);
    default: return scan_row<FLOOD_READ_GENERIC>(flood, y, x, limit, dir, want);
  }
}

// Paints one run of the region. The pixels at either end that only
// approximate the seed colour are blended towards the brush by their
// distance and the brush's alpha; the stretch between the first and last exact seed pixels is
// filled solid.
void flood_fill_run(void *ctx, int32_t x1, int32_t x2, int32_t y) {
  flood_ctx *flood = static_cast<flood_ctx *>(ctx);
  int32_t next = y + (y >= flood->last_y ? 1 : -1);
  flood->last_y = y;
  if (flood->reader == FLOOD_READ_32 && next >= 0 && next < tbitmap_get_height(flood->bitmap) && x2 - x1 >= 64) {
    const uint8_t *row = flood_row(flood, next);
    for (int64_t at = 4 * int64_t(x1); at <= 4 * int64_t(x2); at += 64) __builtin_prefetch(row + at);
  }
  tcanvas *canvas = flood->canvas;
  if (y < 0) return;
  if (canvas->_clip_on && (y < canvas->_clip.y1 || y > canvas->_clip.y2)) return;
  if (canvas->_brush_style == TCANVAS_BRUSH_NONE) return;
  if (canvas->_brush_style == TCANVAS_BRUSH_PATTERN) {
    tcanvas_fill_span_pattern(canvas, x1, y, x2 - x1 + 1);
    return;
  }
  const uint8_t *row = flood_row(flood, y);
  const rgba seed = flood->seed;
  auto exact = [&seed](rgba c) { return c.r == seed.r && c.g == seed.g && c.b == seed.b; };
  int32_t left = x1;
  for (; left <= x2; left++) {
    rgba c = flood_read(flood, row, left, y);
    if (exact(c)) break;
    flood_blend_edge(flood, left, y, c);
  }
  if (left > x2) return;
  int32_t right = x2;
  for (; right > left; right--) {
    rgba c = flood_read(flood, row, right, y);
    if (exact(c)) break;
    flood_blend_edge(flood, right, y, c);
  }
  tcanvas_draw_line_color(canvas, left, y, right, y, tcolor_to_word(&canvas->_brush_color));
}

// flood_fill_run on the 32-bit canvas: a solid run whose two ends are exact
// seed pixels (every run at tolerance 0) is one line of the brush colour,
// stored here when opaque and short. Anything else goes there.
void fill_run_32(flood_ctx *flood, int32_t x1, int32_t x2, int32_t y) {
  tcanvas *canvas = flood->canvas;
  uint8_t *row = flood->first_row + y * flood->row_step;
  const rgba seed = flood->seed;
  auto exact = [row, seed](int32_t x) {
    const uint8_t *p = row + 4 * size_t(x);
    return p[2] == seed.r && p[1] == seed.g && p[0] == seed.b;
  };
  if (canvas->_brush_style != TCANVAS_BRUSH_SOLID || (!flood->exact_only && (!exact(x1) || !exact(x2))))
    return flood_fill_run(flood, x1, x2, y);
  const bool wide = x2 - x1 >= 64;
  // The next row the fill scans is mostly the one beyond this in the
  // direction it goes. Along a corridor the row after next is asked for
  // now, as its pixels are a page away from these; a wide run asks for the
  // next row's span as it paints, so that the scan finds it in the cache.
  const int64_t next = int64_t(y) + (y >= flood->last_y ? 1 : -1);
  const int64_t ahead = wide ? next : int64_t(y) + 2 * (int64_t(y) - flood->last_y);
  const uint8_t *ahead_row = ahead >= 0 && ahead < flood->rows ? flood->first_row + ahead * flood->row_step : nullptr;
  if (!wide && ahead_row) __builtin_prefetch(ahead_row + 4 * int64_t(x1));
  flood->last_y = y;
  if (canvas->_clip_on) {
    const trect &clip = canvas->_clip;
    if (y < clip.y1 || y > clip.y2) return;
    x1 = std::max(x1, clip.x1);
    x2 = std::min(x2, clip.x2);
    if (x1 > x2) return;
  }
  const uint32_t color = flood->brush_word;
  if (wide) {
    tblit_hline_32_ahead(row + 4 * size_t(x1), x2 - x1 + 1, color, flood->bitmap->_opaque != 0,
                         ahead_row ? ahead_row + 4 * size_t(x1) : nullptr);
    return;
  }
  if (color >> 24 != 255) {
    tbitmap_draw_hline(flood->bitmap, x1, x2, y, color);
    return;
  }
  for (int32_t x = x1; x <= x2; x++) {
    uint8_t *p = row + 4 * size_t(x);
    uint32_t pixel;
    std::memcpy(&pixel, p, 4);
    pixel = (pixel & 0xFF000000u) | (color & 0xFFFFFFu);
    std::memcpy(p, &pixel, 4);
  }
}

// Whether every pixel the fill paints on the 32-bit canvas leaves the
// region, so that the fill need not remember where it has been: at
// tolerance 0 every pixel of the region is the seed colour and a solid brush
// paints it one colour, found here by painting one such pixel aside. A clip
// that leaves part of the bitmap unpainted, or a brush that paints the seed
// colour again, needs the marks.
bool paints_out_of_region(const flood_ctx *flood) {
  const tcanvas *canvas = flood->canvas;
  if (!flood->exact_only || canvas->_brush_style != TCANVAS_BRUSH_SOLID) return false;
  if (canvas->_clip_on) {
    const trect &clip = canvas->_clip;
    if (clip.x1 > 0 || clip.y1 > 0 || clip.x2 < tbitmap_get_width(flood->bitmap) - 1 || clip.y2 < flood->rows - 1)
      return false;
  }
  uint8_t pixel[4] = {uint8_t(flood->seed.b), uint8_t(flood->seed.g), uint8_t(flood->seed.r), uint8_t(flood->seed.a)};
  tblit_hline_32(pixel, 1, flood->brush_word);
  return !passes_32(flood, pixel);
}

// The fill when paints_out_of_region holds: the test is one compare, and a
// short run of an opaque colour is stored on the spot, as in fill_run_32,
// where anything else goes. What the loops read is copied here, so that the
// compiler keeps it in registers across the stores to the pixels.
int fill_new_colour_32(flood_ctx *flood, const trect &bounds, int32_t x, int32_t y) {
  uint8_t *const first = flood->first_row;
  const int64_t step = flood->row_step;
  const uint32_t seed = flood->low_word, colour = flood->brush_word & 0xFFFFFFu;
  const bool store = flood->brush_word >> 24 == 255;
  auto test = [first, step, seed](int32_t row, int32_t at) {
    uint32_t pixel;
    std::memcpy(&pixel, first + row * step + 4 * int64_t(at), 4);
    return (pixel & 0xFFFFFFu) == seed;
  };
  auto scan = [flood](int32_t row, int32_t from, int32_t limit, int dir, int want) {
    return scan_32(flood, row, from, limit, dir, want);
  };
  int32_t last_y = flood->last_y;
  auto fill = [=, &last_y](int32_t x1, int32_t x2, int32_t row) {
    if (!store || x2 - x1 >= 64) {
      flood->last_y = last_y;
      fill_run_32(flood, x1, x2, row);
      last_y = row;
      return;
    }
    last_y = row;
    uint8_t *p = first + row * step;
    for (int64_t at = x1; at <= x2; at++) {
      uint32_t pixel;
      std::memcpy(&pixel, p + 4 * at, 4);
      pixel = (pixel & 0xFF000000u) | colour;
      std::memcpy(p + 4 * at, &pixel, 4);
    }
  };
  return traster_flood::fill_region_unmarked(bounds, x, y, test, scan, fill);
}

// An end pixel takes the brush by its nearness to the seed colour, and that
// share is weighed by the brush's alpha too: stored with the pixel's own
// alpha byte (255 on the canvas), a translucent fill would otherwise leave a
// ring of the full brush colour along the antialiased edge it stops at. An
// opaque brush keeps its share whole, so its fills paint as they always did.
void flood_blend_edge(const flood_ctx *flood, int32_t x, int32_t y, rgba pixel) {
  const tcanvas *canvas = flood->canvas;
  if (!clip_has_point(canvas, x, y)) return;
  int distance = std::abs(pixel.r - flood->seed.r) + std::abs(pixel.g - flood->seed.g) +
                 std::abs(pixel.b - flood->seed.b);
  const tcolor &brush = canvas->_brush_color;
  int share = ((255 - distance / 3) * brush.alpha + 127) / 255;
  int k = 255 - share;
  uint32_t r = uint32_t(brush.red * share + pixel.r * k) >> 8;
  uint32_t g = uint32_t(brush.green * share + pixel.g * k) >> 8;
  uint32_t b = uint32_t(brush.blue * share + pixel.b * k) >> 8;
  tbitmap_blend_pixel(flood->bitmap, x, y, uint32_t(pixel.a) << 24 | r << 16 | g << 8 | b);
}

}  // namespace
