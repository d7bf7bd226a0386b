// shape_brush1: the Spray Brush tool.
#include "shape_brush1.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "paint_context.h"
#include "traster.h"

constexpr double DAB_CENTRE_ALPHA = 0.45;

struct walk_scale {
  shape_brush1 *tool;
  double scale;
};

static void brush_flush(shape_points *tool);
static void brush_draw(shape *tool, cairo_t *cr, const trect *rect, double scale);
static void brush_reset(shape *tool);
static int ensure_dab(shape_brush1 *tool, int32_t size, tcolor color);
static tbitmap *make_mask(int32_t size, double alpha);
static tbitmap *make_color(int32_t size, tcolor color);
static void walk_move(void *user, int32_t x, int32_t y);
static void walk_line(void *user, int32_t x, int32_t y);
static tpoint scaled_point(int32_t x, int32_t y, double scale);
static void walk_segment(shape_brush1 *tool, tpoint a, tpoint b);
static void on_step(void *ctx, int dx, int dy);
static void count_or_stamp(shape_brush1 *tool);
static int64_t major_steps(int64_t ax, int64_t ay, int64_t bx, int64_t by);
static int clip_segment(double ax, double ay, double bx, double by, const double box[4], double *t0, double *t1);

static const shape_points_protocol BRUSH_PROTOCOL = {nullptr, brush_flush, nullptr, 1};

shape *shape_brush1_new(int32_t id, const char16_t *name, paint_context *context, paint_history *history,
                        void *extra) {
  shape_brush1 *tool = static_cast<shape_brush1 *>(std::calloc(1, sizeof(shape_brush1)));
  if (!tool) return nullptr;
  if (!shape_points_init(&tool->_points, id, name, context, history, extra, &BRUSH_PROTOCOL)) {
    std::free(tool);
    return nullptr;
  }
  shape_set_draw_fn(&tool->_points._base, brush_draw);
  shape_set_reset_fn(&tool->_points._base, brush_reset);
  return &tool->_points._base;
}

void shape_brush1_free(shape *base) {
  PORT_CHECK(base != nullptr);
  shape_brush1 *tool = reinterpret_cast<shape_brush1 *>(base);
  if (tool->_dab_color) tbitmap_free(tool->_dab_color);
  if (tool->_dab_mask) tbitmap_free(tool->_dab_mask);
  shape_points_deinit(&tool->_points);
  std::free(tool);
}

int32_t shape_brush1_spacing(int32_t dab_size) {
  if (dab_size <= 12) return dab_size / 3;
  if (dab_size <= 29) return 4;
  if (dab_size <= 43) return 5;
  if (dab_size <= 60) return 6;
  if (dab_size <= 120) return 12;
  return 24;
}

static void brush_flush(shape_points *tool) {
  shape_draw(&tool->_base, paint_context_get_cairo(tool->_base._context), nullptr, 1.0);
}

static void brush_draw(shape *base, cairo_t *cr, const trect *, double scale) {
  PORT_CHECK(base != nullptr);
  shape_brush1 *tool = reinterpret_cast<shape_brush1 *>(base);
  paint_context *pc = base->_context;
  double size = shape_line_width(pc);
  tcolor color;
  paint_context_get_fore_color(pc, &color);
  tool->_target = nullptr;
  // Below one pixel nothing is stamped, but the points still go into the stroke.
  if (size >= 1.0 && ensure_dab(tool, int32_t(std::min(size, double(TBITMAP_MAX_SIDE))), color))
    tool->_target = paint_context_get_canvas(pc);
  if (tool->_target) {
    tool->_dab_rect = {0, 0, tool->_dab_size - 1, tool->_dab_size - 1};
    tool->_spacing = shape_brush1_spacing(tool->_dab_size);
    if (cr) cairo_surface_flush(cairo_get_target(cr));
  }
  walk_scale walk_state = {tool, scale};
  shape_points_walk walk = {walk_move, walk_line, &walk_state};
  int32_t box[4];
  int found = shape_points_take_batch(&tool->_points, &walk, box);
  if (tool->_target && cr) cairo_surface_mark_dirty(cairo_get_target(cr));
  tool->_target = nullptr;
  if (!found) return;
  trect dirty = shape_dirty_rect(box[0] * scale, box[1] * scale, box[2] * scale, box[3] * scale, size);
  paint_context_refresh(pc, &dirty, 0);
}

static void brush_reset(shape *base) {
  PORT_CHECK(base != nullptr);
  shape_brush1 *tool = reinterpret_cast<shape_brush1 *>(base);
  shape_points_reset(&tool->_points);
  tool->_steps = 0;
}

// Keeps the dab when size and all four colour bytes match; otherwise makes a
// new one, or keeps the old one when the new cannot be made. 0 without any.
static int ensure_dab(shape_brush1 *tool, int32_t size, tcolor color) {
  if (tool->_dab_color && tool->_dab_size == size && std::memcmp(&tool->_color, &color, sizeof color) == 0)
    return 1;
  tbitmap *mask = make_mask(size, color.alpha / 255.0 * DAB_CENTRE_ALPHA);
  tbitmap *fill = mask ? make_color(size, color) : nullptr;
  if (!mask || !fill) {
    if (mask) tbitmap_free(mask);
    return tool->_dab_color != nullptr;
  }
  if (tool->_dab_color) tbitmap_free(tool->_dab_color);
  if (tool->_dab_mask) tbitmap_free(tool->_dab_mask);
  tool->_dab_color = fill;
  tool->_dab_mask = mask;
  tool->_dab_size = size;
  tool->_color = color;
  return 1;
}

// A radial gradient from alpha at the centre to 0 at the rim, in an 8-bit
// mask; cairo draws it on its own A8 surface and the rows are copied over.
static tbitmap *make_mask(int32_t size, double alpha) {
  tbitmap *mask = tbitmap_new(size, -size, 8);
  if (!mask) return nullptr;
  cairo_surface_t *surface = cairo_image_surface_create(CAIRO_FORMAT_A8, size, size);
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(surface);
    tbitmap_free(mask);
    return nullptr;
  }
  cairo_t *cr = cairo_create(surface);
  double c = double(size / 2);
  cairo_pattern_t *pattern = cairo_pattern_create_radial(c, c, 0, c, c, c);
  cairo_pattern_add_color_stop_rgba(pattern, 0, 1, 1, 1, alpha);
  cairo_pattern_add_color_stop_rgba(pattern, 1, 1, 1, 1, 0);
  cairo_set_source(cr, pattern);
  cairo_save(cr);
  double h = size * 0.5;
  cairo_translate(cr, h, h);
  cairo_scale(cr, h, h);
  cairo_arc(cr, 0, 0, 1, 0, 2 * M_PI);
  cairo_restore(cr);
  cairo_fill(cr);
  cairo_pattern_destroy(pattern);
  cairo_destroy(cr);
  cairo_surface_flush(surface);
  const uint8_t *data = cairo_image_surface_get_data(surface);
  int stride = cairo_image_surface_get_stride(surface);
  for (int32_t y = 0; y < size; y++) std::memcpy(tbitmap_get_row(mask, y), data + size_t(y) * stride, size_t(size));
  cairo_surface_destroy(surface);
  return mask;
}

static tbitmap *make_color(int32_t size, tcolor color) {
  tbitmap *fill = tbitmap_new(size, -size, 24);
  if (!fill) return nullptr;
  for (int32_t y = 0; y < size; y++) {
    uint8_t *row = tbitmap_get_row(fill, y);
    for (int32_t x = 0; x < size; x++) {
      row[3 * x] = color.blue;
      row[3 * x + 1] = color.green;
      row[3 * x + 2] = color.red;
    }
  }
  return fill;
}

static void walk_move(void *user, int32_t x, int32_t y) {
  walk_scale *state = static_cast<walk_scale *>(user);
  state->tool->_previous = scaled_point(x, y, state->scale);
}

static void walk_line(void *user, int32_t x, int32_t y) {
  walk_scale *state = static_cast<walk_scale *>(user);
  tpoint next = scaled_point(x, y, state->scale);
  walk_segment(state->tool, state->tool->_previous, next);
  state->tool->_previous = next;
}

static tpoint scaled_point(int32_t x, int32_t y, double scale) {
  auto one = [scale](int32_t v) {
    double s = std::trunc(v * scale);
    return int32_t(std::clamp(s, double(INT32_MIN), double(INT32_MAX)));
  };
  return {one(x), one(y)};
}

// Walks a to b, stamping only where a dab can reach the canvas. Outside that
// area the steps are counted without walking, so the stamps inside keep the
// places a full walk would give them.
static void walk_segment(shape_brush1 *tool, tpoint a, tpoint b) {
  if (!tool->_target) return;
  int64_t reach = tool->_dab_size;
  double box[4] = {double(-reach), double(-reach), double(tbitmap_get_width(tool->_target) - 1 + reach),
                   double(tbitmap_get_height(tool->_target) - 1 + reach)};
  auto inside = [&box](tpoint p) { return p.x >= box[0] && p.y >= box[1] && p.x <= box[2] && p.y <= box[3]; };
  if (inside(a) && inside(b)) {
    tool->_position = a;
    traster_line(tool, a.x, a.y, b.x, b.y, on_step);
    return;
  }
  double t0, t1;
  double dx = double(b.x) - a.x, dy = double(b.y) - a.y;
  if (!clip_segment(a.x, a.y, b.x, b.y, box, &t0, &t1)) {
    tool->_steps += (tool->_steps == 0 ? 1 : 0) + major_steps(a.x, a.y, b.x, b.y);
    return;
  }
  auto at = [&](double t) {
    double x = std::clamp(std::nearbyint(a.x + t * dx), box[0], box[2]);
    double y = std::clamp(std::nearbyint(a.y + t * dy), box[1], box[3]);
    return tpoint{int32_t(x), int32_t(y)};
  };
  tpoint entry = at(t0), exit = at(t1);
  int64_t before = major_steps(a.x, a.y, entry.x, entry.y);
  if (before > 0) {
    // The steps up to the entry, then the entry pixel as the step it is.
    tool->_steps += (tool->_steps == 0 ? 1 : 0) + before - 1;
    tool->_position = entry;
    count_or_stamp(tool);
  }
  tool->_position = entry;
  traster_line(tool, entry.x, entry.y, exit.x, exit.y, on_step);
  tool->_steps += major_steps(exit.x, exit.y, b.x, b.y);
}

static void on_step(void *ctx, int dx, int dy) {
  shape_brush1 *tool = static_cast<shape_brush1 *>(ctx);
  // The first pixel of a segment is the last of the one before.
  if (dx == 0 && dy == 0 && tool->_steps != 0) return;
  tool->_position.x += dx;
  tool->_position.y += dy;
  count_or_stamp(tool);
}

static void count_or_stamp(shape_brush1 *tool) {
  if (tool->_spacing != 0 && tool->_steps % tool->_spacing != 0) {
    tool->_steps++;
    return;
  }
  tpoint at = {tool->_position.x - tool->_dab_size / 2, tool->_position.y - tool->_dab_size / 2};
  tbitmap_blit_masked(tool->_target, &at, tool->_dab_color, &tool->_dab_rect, tool->_dab_mask, 255);
  tool->_stamps++;
  tool->_steps++;
}

static int64_t major_steps(int64_t ax, int64_t ay, int64_t bx, int64_t by) {
  return std::max(std::llabs(bx - ax), std::llabs(by - ay));
}

// Liang-Barsky: the part t0..t1 of a + t (b - a) that lies in the box.
static int clip_segment(double ax, double ay, double bx, double by, const double box[4], double *t0, double *t1) {
  double dx = bx - ax, dy = by - ay;
  double p[4] = {-dx, dx, -dy, dy};
  double q[4] = {ax - box[0], box[2] - ax, ay - box[1], box[3] - ay};
  double lo = 0, hi = 1;
  for (int i = 0; i < 4; i++) {
    if (p[i] == 0) {
      if (q[i] < 0) return 0;
      continue;
    }
    double t = q[i] / p[i];
    if (p[i] < 0)
      lo = std::max(lo, t);
    else
      hi = std::min(hi, t);
  }
  if (lo > hi) return 0;
  *t0 = lo;
  *t1 = hi;
  return 1;
}
