// shape_rect: the Rectangle and Round Rectangle tools.
#include "shape_rect.h"

#include <algorithm>

constexpr double ROUNDRECT_RADIUS = 20.0;
constexpr double ROUNDRECT_KAPPA = 0.55228475;

static void normalised_box(int32_t x0, int32_t y0, int32_t x1, int32_t y1, double box[4]);
static int rect_path(const shape_two_point *tool, cairo_t *cr, double *box);
static int roundrect_path(const shape_two_point *tool, cairo_t *cr, double *box);
static void rect_draw(shape *tool, cairo_t *cr, const trect *rect, double scale);
static void roundrect_draw(shape *tool, cairo_t *cr, const trect *rect, double scale);

shape *shape_rect_new(int32_t id, const char16_t *name, paint_context *context, paint_history *history, int32_t mode,
                      void *extra) {
  shape *tool = shape_two_point_new(id, name, context, history, rect_draw, mode, 0, 0, extra);
  if (tool) shape_set_reserved_fn(tool, shape_reserved_true);
  return tool;
}

shape *shape_roundrect_new(int32_t id, const char16_t *name, paint_context *context, paint_history *history,
                           int32_t mode, void *extra) {
  return shape_two_point_new(id, name, context, history, roundrect_draw, mode, 0, 0, extra);
}

void shape_rect_free(shape *tool) {
  PORT_CHECK(tool != nullptr);
  shape_two_point_free(tool);
}

void shape_roundrect_free(shape *tool) {
  PORT_CHECK(tool != nullptr);
  shape_two_point_free(tool);
}

int shape_rect_path(cairo_t *cr, int32_t x0, int32_t y0, int32_t x1, int32_t y1, double box[4]) {
  PORT_CHECK(cr != nullptr && box != nullptr);
  cairo_rectangle(cr, x0, y0, double(int64_t(x1) - x0 + 1), double(int64_t(y1) - y0 + 1));
  normalised_box(x0, y0, x1, y1, box);
  return 1;
}

int shape_roundrect_path(cairo_t *cr, int32_t x0, int32_t y0, int32_t x1, int32_t y1, double box[4]) {
  PORT_CHECK(cr != nullptr && box != nullptr);
  normalised_box(x0, y0, x1, y1, box);
  int64_t width = int64_t(box[2]) - int64_t(box[0]) + 1, height = int64_t(box[3]) - int64_t(box[1]) + 1;
  double x = box[0], y = box[1], w = double(width), h = double(height);
  double rx = ROUNDRECT_RADIUS, ry = ROUNDRECT_RADIUS;
  if (rx > w - rx) rx = double(width / 2);
  if (ry > h - ry) ry = double(height / 2);
  double c1 = rx * ROUNDRECT_KAPPA, c2 = ry * ROUNDRECT_KAPPA;
  cairo_new_path(cr);
  cairo_move_to(cr, x + rx, y);
  cairo_rel_line_to(cr, w - 2 * rx, 0);
  cairo_rel_curve_to(cr, c1, 0, rx, c2, rx, ry);
  cairo_rel_line_to(cr, 0, h - 2 * ry);
  cairo_rel_curve_to(cr, 0, c2, c1 - rx, ry, -rx, ry);
  cairo_rel_line_to(cr, -w + 2 * rx, 0);
  cairo_rel_curve_to(cr, -c1, 0, -rx, -c2, -rx, -ry);
  cairo_rel_line_to(cr, 0, -h + 2 * ry);
  cairo_rel_curve_to(cr, 0, -c2, rx - c1, -ry, rx, -ry);
  cairo_close_path(cr);
  return 1;
}

static void normalised_box(int32_t x0, int32_t y0, int32_t x1, int32_t y1, double box[4]) {
  box[0] = std::min(x0, x1);
  box[1] = std::min(y0, y1);
  box[2] = std::max(x0, x1);
  box[3] = std::max(y0, y1);
}

static int rect_path(const shape_two_point *tool, cairo_t *cr, double *box) {
  return shape_rect_path(cr, tool->_x0, tool->_y0, tool->_x1, tool->_y1, box);
}

static int roundrect_path(const shape_two_point *tool, cairo_t *cr, double *box) {
  return shape_roundrect_path(cr, tool->_x0, tool->_y0, tool->_x1, tool->_y1, box);
}

static void rect_draw(shape *base, cairo_t *cr, const trect *, double scale) {
  PORT_CHECK(base != nullptr);
  shape_two_point *tool = reinterpret_cast<shape_two_point *>(base);
  shape_two_point_render(tool, cr, scale, CAIRO_LINE_CAP_BUTT, CAIRO_LINE_JOIN_MITER, shape_paint_of_mode(tool->_mode), rect_path);
}

static void roundrect_draw(shape *base, cairo_t *cr, const trect *, double scale) {
  PORT_CHECK(base != nullptr);
  shape_two_point *tool = reinterpret_cast<shape_two_point *>(base);
  shape_two_point_render(tool, cr, scale, CAIRO_LINE_CAP_ROUND, CAIRO_LINE_JOIN_ROUND, shape_paint_of_mode(tool->_mode),
                         roundrect_path);
}
