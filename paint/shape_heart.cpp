// shape_heart: the Heart tools.
#include "shape_heart.h"

#include <algorithm>
#include <cmath>

constexpr double LOBE_NOTCH_TURN = 1.0471975511965976;  // pi / 3
constexpr double LOBE_TIP_TURN = 0.8975979010256552;    // 2 pi / 7

static void widen(double box[4], double x, double y);
static int heart_path(const shape_two_point *tool, cairo_t *cr, double *box);
static void heart_draw(shape *tool, cairo_t *cr, const trect *rect, double scale);

shape *shape_heart_new(int32_t id, const char16_t *name, paint_context *context, paint_history *history,
                       int32_t mode, void *extra) {
  shape *tool = shape_two_point_new(id, name, context, history, heart_draw, mode, 0, 0, extra);
  if (tool) shape_set_reserved_fn(tool, shape_reserved_true);
  return tool;
}

void shape_heart_free(shape *tool) {
  PORT_CHECK(tool != nullptr);
  shape_two_point_free(tool);
}

int shape_heart_path(cairo_t *cr, int32_t x0, int32_t y0, int32_t x1, int32_t y1, double box[4]) {
  PORT_CHECK(cr != nullptr && box != nullptr);
  double dx = double(x1) - double(x0), dy = double(y1) - double(y0);
  double d = std::sqrt(dx * dx + dy * dy);
  if (d == 0) return 0;
  double a = shape_angle_of(x0, y0, x1, y1, d);
  box[0] = std::min(x0, x1);
  box[1] = std::min(y0, y1);
  box[2] = std::max(x0, x1);
  box[3] = std::max(y0, y1);
  for (int side = -1; side <= 1; side += 2) {
    double c1x = x0 + std::cos(a + side * LOBE_NOTCH_TURN) * d, c1y = y0 + std::sin(a + side * LOBE_NOTCH_TURN) * d;
    double c2x = x1 + std::cos(a + side * LOBE_TIP_TURN) * d, c2y = y1 + std::sin(a + side * LOBE_TIP_TURN) * d;
    cairo_move_to(cr, x0, y0);
    cairo_curve_to(cr, c1x, c1y, c2x, c2y, x1, y1);
    widen(box, std::trunc(c1x), std::trunc(c1y));
    widen(box, std::trunc(c2x), std::trunc(c2y));
  }
  return 1;
}

static void widen(double box[4], double x, double y) {
  box[0] = std::min(box[0], x);
  box[1] = std::min(box[1], y);
  box[2] = std::max(box[2], x);
  box[3] = std::max(box[3], y);
}

static int heart_path(const shape_two_point *tool, cairo_t *cr, double *box) {
  return shape_heart_path(cr, tool->_x0, tool->_y0, tool->_x1, tool->_y1, box);
}

static void heart_draw(shape *base, cairo_t *cr, const trect *, double scale) {
  PORT_CHECK(base != nullptr);
  shape_two_point *tool = reinterpret_cast<shape_two_point *>(base);
  shape_two_point_render(tool, cr, scale, CAIRO_LINE_CAP_ROUND, CAIRO_LINE_JOIN_ROUND,
                         shape_paint_of_mode(tool->_mode), heart_path);
}
