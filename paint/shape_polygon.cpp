// shape_polygon: the Triangle, Rhombus and Pentagon tools.
#include "shape_polygon.h"

#include <algorithm>
#include <cmath>

// The last angle of a rotated polygon's walk (3 pi / 2, as the walk compares it).
constexpr double ROTATED_LAST_ANGLE = 4.71238898038469;
// Sides beyond this are a circle for any purpose, and keep the walk short.
constexpr int32_t POLYGON_MAX_SIDES = 1024;

static int polygon_path(const shape_two_point *tool, cairo_t *cr, double *box);
static void polygon_draw(shape *tool, cairo_t *cr, const trect *rect, double scale);

shape *shape_polygon_new(int32_t id, const char16_t *name, paint_context *context, paint_history *history,
                         int32_t mode, int32_t sides, int32_t rotate, void *extra) {
  return shape_two_point_new(id, name, context, history, polygon_draw, mode, sides, rotate, extra);
}

void shape_polygon_free(shape *tool) {
  PORT_CHECK(tool != nullptr);
  shape_two_point_free(tool);
}

int shape_polygon_path(cairo_t *cr, int32_t sides, int32_t rotate, int32_t x0, int32_t y0, int32_t x1, int32_t y1,
                       double box[4]) {
  PORT_CHECK(cr != nullptr && box != nullptr);
  if (sides < 1 || sides > POLYGON_MAX_SIDES) return 0;
  int64_t left = std::min(x0, x1), top = std::min(y0, y1), right = std::max(x0, x1), bottom = std::max(y0, y1);
  double step = 2 * M_PI / sides;
  if (rotate) {
    int64_t rx = (right - left + 1) / 2, ry = (bottom - top + 1) / 2;
    int64_t cx = left + rx, cy = top + ry;
    cairo_move_to(cr, double(cx), double(top));
    for (double a = step - M_PI / 2; a <= ROTATED_LAST_ANGLE; a += step)
      cairo_line_to(cr, double(cx) + std::cos(a) * double(rx), double(cy) + std::sin(a) * double(ry));
    box[0] = double(left);
    box[1] = double(top);
    box[2] = double(right);
    box[3] = double(bottom);
    return 1;
  }
  double dx = double(right - left), dy = double(bottom - top);
  double r = std::sqrt(dx * dx + dy * dy);
  if (r == 0) return 0;
  double a0 = shape_angle_of(x0, y0, x1, y1, r);
  cairo_move_to(cr, x1, y1);
  for (double a = a0 + step; a < a0 + step + 2 * M_PI; a += step)
    cairo_line_to(cr, x0 + std::cos(a) * r, y0 + std::sin(a) * r);
  box[0] = std::trunc(x0 - r);
  box[1] = std::trunc(y0 - r);
  box[2] = std::trunc(x0 + r);
  box[3] = std::trunc(y0 + r);
  return 1;
}

static int polygon_path(const shape_two_point *tool, cairo_t *cr, double *box) {
  return shape_polygon_path(cr, tool->_sides, tool->_rotate, tool->_x0, tool->_y0, tool->_x1, tool->_y1, box);
}

static void polygon_draw(shape *base, cairo_t *cr, const trect *, double scale) {
  PORT_CHECK(base != nullptr);
  shape_two_point *tool = reinterpret_cast<shape_two_point *>(base);
  shape_two_point_render(tool, cr, scale, CAIRO_LINE_CAP_ROUND, CAIRO_LINE_JOIN_ROUND,
                         shape_paint_of_mode(tool->_mode), polygon_path);
}
