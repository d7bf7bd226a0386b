// shape_pentagram: the Pentagram tools.
#include "shape_pentagram.h"

#include <algorithm>
#include <cmath>

constexpr double TWO_PI_FIFTHS = 1.2566370614359172;
constexpr double PI_FIFTHS = 0.6283185307179586;

static int pentagram_path(const shape_two_point *tool, cairo_t *cr, double *box);
static void pentagram_draw(shape *tool, cairo_t *cr, const trect *rect, double scale);

shape *shape_pentagram_new(int32_t id, const char16_t *name, paint_context *context, paint_history *history,
                           int32_t mode, void *extra) {
  return shape_two_point_new(id, name, context, history, pentagram_draw, mode, 0, 0, extra);
}

void shape_pentagram_free(shape *tool) {
  PORT_CHECK(tool != nullptr);
  shape_two_point_free(tool);
}

int shape_pentagram_path(cairo_t *cr, int32_t x0, int32_t y0, int32_t x1, int32_t y1, double box[4]) {
  PORT_CHECK(cr != nullptr && box != nullptr);
  double dx = double(x1) - double(x0), dy = double(y1) - double(y0);
  double outer = std::sqrt(dx * dx + dy * dy);
  if (outer == 0) return 0;
  double inner = outer * std::cos(TWO_PI_FIFTHS) / std::cos(PI_FIFTHS);
  cairo_move_to(cr, x1, y1);
  double a0 = shape_angle_of(x0, y0, x1, y1, outer);
  for (int k = 0;; k++) {
    double a = a0 + PI_FIFTHS + k * PI_FIFTHS;
    if (!(a < a0 + PI_FIFTHS + 2 * M_PI)) break;
    double radius = k % 2 == 0 ? inner : outer;
    cairo_line_to(cr, x0 + std::cos(a) * radius, y0 + std::sin(a) * radius);
  }
  box[0] = std::trunc(x0 - outer);
  box[1] = std::trunc(y0 - outer);
  box[2] = std::trunc(x0 + outer);
  box[3] = std::trunc(y0 + outer);
  return 1;
}

static int pentagram_path(const shape_two_point *tool, cairo_t *cr, double *box) {
  return shape_pentagram_path(cr, tool->_x0, tool->_y0, tool->_x1, tool->_y1, box);
}

static void pentagram_draw(shape *base, cairo_t *cr, const trect *, double scale) {
  PORT_CHECK(base != nullptr);
  shape_two_point *tool = reinterpret_cast<shape_two_point *>(base);
  shape_two_point_render(tool, cr, scale, CAIRO_LINE_CAP_ROUND, CAIRO_LINE_JOIN_ROUND,
                         shape_paint_of_mode(tool->_mode), pentagram_path);
}
