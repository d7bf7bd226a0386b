// tbdrawer: box backgrounds and borders, with a cached gradient.
#include "tbdrawer.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "port_log.h"
#include "tblit.h"

static void select_brush(tbdrawer *drawer, tcanvas *canvas, const trect *rect);
typedef void (*fill_rows_fn)(uint8_t *start, uint32_t stride, int32_t columns, int32_t rows, uint32_t color,
                             bool top_down);

static bool fill_rows_fast(tbdrawer *drawer, tcanvas *canvas, const trect *rect);
static fill_rows_fn fill_rows_of(const tbitmap *target);
static void fill_line(tbitmap *bitmap, int horizontal, int32_t line, uint32_t word);
static uint32_t word_of(int low, int middle, int high, int alpha);

tbdrawer *tbdrawer_new(tbdrawer_draw_fn draw) {
  tbdrawer *drawer = static_cast<tbdrawer *>(std::calloc(1, sizeof(tbdrawer)));
  if (!drawer) return nullptr;
  drawer->_fill_mode = TBDRAWER_FILL_SOLID;
  drawer->_fill_color = tcolor_rgba(255, 255, 255);
  drawer->_border_style = TBDRAWER_BORDER_PLAIN;
  drawer->_border_color = tcolor_rgba(0, 0, 0);
  drawer->_border_width = 1;
  drawer->_draw = draw;
  return drawer;
}

tbdrawer *tbdrawer_new_default() { return tbdrawer_new(tbdrawer_draw_standard); }

tbdrawer *tbdrawer_copy(const tbdrawer *src_drawer) {
  PORT_CHECK(src_drawer != nullptr);
  tbdrawer *drawer = static_cast<tbdrawer *>(std::malloc(sizeof(tbdrawer)));
  if (!drawer) return nullptr;
  *drawer = *src_drawer;
  if (src_drawer->_gradient_cache) {
    drawer->_gradient_cache = tbitmap_new_copy(src_drawer->_gradient_cache);
    // Without its own cache the copy paints one at its first draw.
    if (!drawer->_gradient_cache) drawer->_cache_stale = 1;
  }
  return drawer;
}

void tbdrawer_free(tbdrawer *drawer) {
  PORT_CHECK(drawer != nullptr);
  if (drawer->_gradient_cache) tbitmap_free(drawer->_gradient_cache);
  std::free(drawer);
}

void tbdrawer_set_fill_color(tbdrawer *drawer, tcolor color) {
  PORT_CHECK(drawer != nullptr);
  drawer->_fill_color = color;
  drawer->_cache_stale = 1;  // the cache carries the fill alpha
}

void tbdrawer_set_pattern(tbdrawer *drawer, tbitmap *pattern, int canvas_anchored) {
  PORT_CHECK(drawer != nullptr);
  drawer->_pattern = pattern;
  drawer->_canvas_anchored = canvas_anchored != 0;
}

void tbdrawer_set_fill_none(tbdrawer *drawer) {
  PORT_CHECK(drawer != nullptr);
  drawer->_fill_mode = TBDRAWER_FILL_NONE;
}

void tbdrawer_set_fill_solid(tbdrawer *drawer) {
  PORT_CHECK(drawer != nullptr);
  drawer->_fill_mode = TBDRAWER_FILL_SOLID;
}

void tbdrawer_set_fill_gradient(tbdrawer *drawer, int horizontal, uint32_t start, uint32_t end,
                                int32_t length_percent, int32_t start_percent) {
  PORT_CHECK(drawer != nullptr);
  drawer->_fill_mode = horizontal ? TBDRAWER_FILL_HGRADIENT : TBDRAWER_FILL_VGRADIENT;
  drawer->_gradient_start = start;
  drawer->_gradient_end = end;
  drawer->_gradient_length_percent = length_percent;
  drawer->_gradient_start_percent = start_percent;
  drawer->_cache_stale = 1;
}

void tbdrawer_set_border(tbdrawer *drawer, tcolor color, int32_t width) {
  PORT_CHECK(drawer != nullptr);
  drawer->_border_style = TBDRAWER_BORDER_PLAIN;
  drawer->_border_color = color;
  drawer->_border_width = width;
}

void tbdrawer_set_round_border(tbdrawer *drawer, tcolor color, int32_t width, int32_t radius) {
  PORT_CHECK(drawer != nullptr);
  drawer->_border_style = TBDRAWER_BORDER_ROUND;
  drawer->_border_color = color;
  drawer->_border_width = width;
  drawer->_corner_radius = radius;
}

void tbdrawer_set_raised_border(tbdrawer *drawer, tcolor first, tcolor second) {
  PORT_CHECK(drawer != nullptr);
  drawer->_border_style = TBDRAWER_BORDER_RAISED;
  drawer->_first_color = first;
  drawer->_second_color = second;
}

void tbdrawer_set_sunken_border(tbdrawer *drawer, tcolor first, tcolor second) {
  PORT_CHECK(drawer != nullptr);
  drawer->_border_style = TBDRAWER_BORDER_SUNKEN;
  drawer->_first_color = first;
  drawer->_second_color = second;
}

void tbdrawer_set_no_border(tbdrawer *drawer) {
  PORT_CHECK(drawer != nullptr);
  drawer->_border_width = 0;
}

void tbdrawer_set_draw_func(tbdrawer *drawer, tbdrawer_draw_fn draw) {
  PORT_CHECK(drawer != nullptr);
  drawer->_draw = draw;
}

tbdrawer_draw_fn tbdrawer_get_draw_func(const tbdrawer *drawer) {
  PORT_CHECK(drawer != nullptr);
  return drawer->_draw;
}

void tbdrawer_set_user_data(tbdrawer *drawer, void *user_data) {
  PORT_CHECK(drawer != nullptr);
  drawer->_user_data = user_data;
}

void *tbdrawer_get_user_data(const tbdrawer *drawer) {
  PORT_CHECK(drawer != nullptr);
  return drawer->_user_data;
}

void tbdrawer_set_always_draw(tbdrawer *drawer, int always) {
  PORT_CHECK(drawer != nullptr);
  drawer->_always_draw = always != 0;
}

void tbdrawer_set_gradient_stale(tbdrawer *drawer) {
  PORT_CHECK(drawer != nullptr);
  drawer->_cache_stale = 1;
}

void tbdrawer_draw(tbdrawer *drawer, tcanvas *canvas, const trect *rect) {
  PORT_CHECK(drawer != nullptr && canvas != nullptr && rect != nullptr);
  if (!drawer->_draw) return;
  bool empty = int64_t(rect->x2) - rect->x1 + 1 < 1 || int64_t(rect->y2) - rect->y1 + 1 < 1;
  if (!empty || drawer->_always_draw) drawer->_draw(drawer, canvas, rect);
}

void tbdrawer_draw_standard(tbdrawer *drawer, tcanvas *canvas, const trect *rect) {
  PORT_CHECK(drawer != nullptr && canvas != nullptr && rect != nullptr);
  // Reached through always-draw with an empty rect: there is no box to paint,
  // and a gradient cache of that size would be a zero-sized bitmap.
  if (int64_t(rect->x2) - rect->x1 + 1 < 1 || int64_t(rect->y2) - rect->y1 + 1 < 1) return;
  uint32_t style = drawer->_border_style;
  if (style < TBDRAWER_BORDER_PLAIN || style > TBDRAWER_BORDER_SUNKEN) return;
  if (fill_rows_fast(drawer, canvas, rect))
    tcanvas_set_brush_style(canvas, TCANVAS_BRUSH_NONE);
  else
    select_brush(drawer, canvas, rect);

  const trect &r = *rect;
  int32_t width = drawer->_border_width;
  uint32_t first = tcolor_to_word(style <= TBDRAWER_BORDER_ROUND ? &drawer->_border_color : &drawer->_first_color);
  tcanvas_set_pen(canvas, width > 0 ? TCANVAS_PEN_SOLID : TCANVAS_PEN_NONE, width, first);
  switch (style) {
    case TBDRAWER_BORDER_PLAIN:
      tcanvas_draw_rect(canvas, r.x1, r.y1, r.x2, r.y2);
      break;
    case TBDRAWER_BORDER_ROUND:
      tcanvas_draw_round_rect(canvas, r.x1, r.y1, r.x2, r.y2, drawer->_corner_radius);
      break;
    case TBDRAWER_BORDER_RAISED:
      tcanvas_draw_rect(canvas, r.x1, r.y1, r.x2 - 1, r.y2 - 1);
      if (width > 0) {
        tcanvas_set_pen_color(canvas, tcolor_to_word(&drawer->_second_color));
        tcanvas_draw_line(canvas, r.x2, r.y2, r.x2, r.y1);
        tcanvas_draw_line(canvas, r.x2, r.y2, r.x1, r.y2);
      }
      break;
    case TBDRAWER_BORDER_SUNKEN:
      tcanvas_draw_rect(canvas, r.x1, r.y1, r.x2, r.y2);
      if (width > 0) {
        tcanvas_set_pen_color(canvas, tcolor_to_word(&drawer->_second_color));
        tcanvas_draw_line(canvas, r.x1, r.y1, r.x1, r.y2);
        tcanvas_draw_line(canvas, r.x1, r.y1, r.x2, r.y1);
      }
      break;
  }
}

int tbdrawer_update_gradient_cache(tbdrawer *drawer, int32_t w, int32_t h) {
  PORT_CHECK(drawer != nullptr);
  tbitmap *cache = drawer->_gradient_cache;
  if (cache && !drawer->_cache_stale && tbitmap_get_width(cache) == w && tbitmap_get_height(cache) == h) return 1;
  if (cache) tbitmap_free(cache);
  drawer->_gradient_cache = nullptr;
  if (w < 1 || h < 1) return 0;
  cache = tbitmap_new(w, h, 32);
  if (!cache) return 0;
  int horizontal = drawer->_fill_mode == TBDRAWER_FILL_HGRADIENT;
  int64_t extent = horizontal ? w : h;
  tbdrawer_paint_gradient(cache, horizontal, drawer->_gradient_start, drawer->_gradient_end,
                          drawer->_gradient_start_percent * extent / 100,
                          drawer->_gradient_length_percent * extent / 100, drawer->_fill_color.alpha);
  drawer->_gradient_cache = cache;
  drawer->_cache_stale = 0;
  return 1;
}

void tbdrawer_paint_gradient(tbitmap *bitmap, int horizontal, uint32_t start, uint32_t end, int64_t ramp_start,
                             int64_t ramp_length, int alpha) {
  PORT_CHECK(bitmap != nullptr);
  int64_t lines = horizontal ? tbitmap_get_width(bitmap) : tbitmap_get_height(bitmap);
  int64_t across = horizontal ? tbitmap_get_height(bitmap) : tbitmap_get_width(bitmap);
  if (lines < 1 || across < 1) return;
  int from[3] = {int(start & 0xFF), int(start >> 8 & 0xFF), int(start >> 16 & 0xFF)};
  int to[3] = {int(end & 0xFF), int(end >> 8 & 0xFF), int(end >> 16 & 0xFF)};
  uint32_t start_word = word_of(from[0], from[1], from[2], alpha);
  uint32_t end_word = word_of(to[0], to[1], to[2], alpha);

  for (int64_t line = 0; line < std::min(ramp_start, lines); line++) fill_line(bitmap, horizontal, int32_t(line), start_word);
  // A ramp of length 0 has no steps; lines outside the bitmap are skipped.
  if (ramp_length > 0) {
    float step[3];
    for (int c = 0; c < 3; c++) step[c] = float(to[c] - from[c]) / float(ramp_length);
    int64_t count = std::min(lines + ramp_start, ramp_length);
    int64_t first = std::max<int64_t>(0, -ramp_start), last = std::min(count, lines - ramp_start);
    for (int64_t i = first; i < last; i++) {
      int byte[3];
      for (int c = 0; c < 3; c++) byte[c] = int(float(from[c]) + float(i) * step[c]);
      fill_line(bitmap, horizontal, int32_t(ramp_start + i), word_of(byte[0], byte[1], byte[2], alpha));
    }
  }
  for (int64_t line = std::max<int64_t>(0, ramp_start + ramp_length); line < lines; line++)
    fill_line(bitmap, horizontal, int32_t(line), end_word);
}

// The brush of the fill mode; any other mode leaves the canvas brush alone.
static void select_brush(tbdrawer *drawer, tcanvas *canvas, const trect *rect) {
  switch (drawer->_fill_mode) {
    case TBDRAWER_FILL_NONE:
      tcanvas_set_brush_style(canvas, TCANVAS_BRUSH_NONE);
      return;
    case TBDRAWER_FILL_SOLID:
      if (drawer->_pattern) {
        tcanvas_set_brush_style(canvas, TCANVAS_BRUSH_PATTERN);
        tcanvas_set_pattern(canvas, drawer->_pattern);
      } else {
        tcanvas_set_brush_style(canvas, TCANVAS_BRUSH_SOLID);
      }
      break;
    case TBDRAWER_FILL_VGRADIENT:
    case TBDRAWER_FILL_HGRADIENT:
      if (!tbdrawer_update_gradient_cache(drawer, rect->x2 - rect->x1 + 1, rect->y2 - rect->y1 + 1)) {
        tcanvas_set_brush_style(canvas, TCANVAS_BRUSH_NONE);
        return;
      }
      tcanvas_set_brush_style(canvas, TCANVAS_BRUSH_PATTERN);
      tcanvas_set_pattern(canvas, drawer->_gradient_cache);
      break;
    default:
      return;
  }
  if (drawer->_canvas_anchored)
    tcanvas_set_pattern_origin(canvas, 0, 0);
  else
    tcanvas_set_pattern_origin(canvas, rect->x1, rect->y1);
  tcanvas_set_brush_color(canvas, tcolor_to_word(&drawer->_fill_color));
}

// The fast path of an opaque vertical gradient: every row of the cache is one
// colour, so the box is filled row by row with solid spans instead of being
// blended pixel by pixel from the pattern (which weighs an opaque brush at
// 255/256, so the two may differ by one level). It covers only fills that are
// whole rectangles with the pattern anchored at the rect, and paints exactly
// the area the general path's rectangle would.
static bool fill_rows_fast(tbdrawer *drawer, tcanvas *canvas, const trect *rect) {
  uint32_t style = drawer->_border_style;
  if (drawer->_fill_mode != TBDRAWER_FILL_VGRADIENT || drawer->_canvas_anchored || drawer->_fill_color.alpha != 255 ||
      style == TBDRAWER_BORDER_ROUND)
    return false;
  tbitmap *target = tcanvas_get_bitmap(canvas);
  fill_rows_fn fill = target ? fill_rows_of(target) : nullptr;
  int32_t w = rect->x2 - rect->x1 + 1, h = rect->y2 - rect->y1 + 1;
  if (!fill || !tbdrawer_update_gradient_cache(drawer, w, h)) return false;
  // The raised border's rectangle leaves out the last column and row.
  trect area = {rect->x1, rect->y1, style == TBDRAWER_BORDER_RAISED ? rect->x2 - 1 : rect->x2,
                style == TBDRAWER_BORDER_RAISED ? rect->y2 - 1 : rect->y2};
  if (canvas->_clip_on) trect_intersect(&area, &area, &canvas->_clip);
  trect bitmap_rect = {0, 0, tbitmap_get_width(target) - 1, tbitmap_get_height(target) - 1};
  trect_intersect(&area, &area, &bitmap_rect);
  if (area.x1 > area.x2 || area.y1 > area.y2) return true;

  // Rows that give the same pixel in the target go in one fill (a 16-bit
  // target drops the low bits of each channel).
  bool sixteen = tbitmap_get_bpp(target) == 16;
  const tbitmap *cache = drawer->_gradient_cache;
  const uint8_t *first_row = tbitmap_get_row(cache, 0);
  std::ptrdiff_t row_step = h > 1 ? tbitmap_get_row(cache, 1) - first_row : 0;
  auto row_at = [&](int32_t y) { return first_row + (y - rect->y1) * row_step; };
  auto pixel_of = [&](int32_t y) {
    const uint8_t *p = row_at(y);
    if (!sixteen) return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
    return uint32_t(p[0] >> target->_blue_loss) | uint32_t(p[1] >> target->_green_loss) << 8 |
           uint32_t(p[2] >> target->_red_loss) << 16;
  };
  bool top_down = tbitmap_is_top_down(target);
  uint8_t *area_start = tbitmap_get_pixel_ptr(target, area.x1, area.y1);
  std::ptrdiff_t target_step = top_down ? std::ptrdiff_t(target->_stride) : -std::ptrdiff_t(target->_stride);
  for (int32_t y = area.y1; y <= area.y2;) {
    uint32_t pixel = pixel_of(y);
    int32_t last = y;
    while (last < area.y2 && pixel_of(last + 1) == pixel) last++;
    const uint8_t *p = row_at(y);
    uint32_t word = 0xFF000000u | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
    fill(area_start + (y - area.y1) * target_step, target->_stride, area.x2 - area.x1 + 1, last - y + 1, word,
         top_down);
    y = last + 1;
  }
  return true;
}

// The solid fill of the target's pixel format; null for formats it has none for.
static fill_rows_fn fill_rows_of(const tbitmap *target) {
  switch (tblit_source_format(tbitmap_get_bpp(target), target->_red_mask, target->_green_mask, target->_blue_mask)) {
    case TBLIT_FORMAT_555: return tblit_fill_rect_555;
    case TBLIT_FORMAT_565: return tblit_fill_rect_565;
    case TBLIT_FORMAT_24: return tblit_fill_rect_24;
    case TBLIT_FORMAT_32: return tblit_fill_rect_32;
    default: return nullptr;
  }
}

static void fill_line(tbitmap *bitmap, int horizontal, int32_t line, uint32_t word) {
  if (horizontal)
    tbitmap_fill_rect(bitmap, line, 0, line, tbitmap_get_height(bitmap) - 1, word);
  else
    tbitmap_fill_rect(bitmap, 0, line, tbitmap_get_width(bitmap) - 1, line, word);
}

// The low byte of a key word is red, the high byte blue.
static uint32_t word_of(int low, int middle, int high, int alpha) {
  tcolor c = tcolor_rgba(low, middle, high, alpha);
  return tcolor_to_word(&c);
}
