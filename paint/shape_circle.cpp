// shape_circle: the Ellipse and Circle tools.
#include "shape_circle.h"

#include <algorithm>
#include <cmath>

static int circle_path(const shape_two_point *tool, cairo_t *cr, double *box);
static void circle_draw(shape *tool, cairo_t *cr, const trect *rect, double scale);

shape *shape_circle_new(int32_t id, const char16_t *name, paint_context *context, paint_history *history,
                        int32_t mode, void *extra) {
  return shape_two_point_new(id, name, context, history, circle_draw, mode, 0, 0, extra);
}

void shape_circle_free(shape *tool) {
  PORT_CHECK(tool != nullptr);
  shape_two_point_free(tool);
}

int shape_circle_path(cairo_t *cr, int32_t mode, int32_t x0, int32_t y0, int32_t x1, int32_t y1, double box[4]) {
  PORT_CHECK(cr != nullptr && box != nullptr);
  int64_t left = std::min(x0, x1), top = std::min(y0, y1), right = std::max(x0, x1), bottom = std::max(y0, y1);
  int64_t w = right - left + 1, h = bottom - top + 1;
  if (mode == SHAPE_MODE_CIRCLE_OUTLINE || mode == SHAPE_MODE_CIRCLE_FILLED) {
    if (x0 <= x1 && y0 <= y1) {
      if (w > h)
        right = left + (bottom - top);
      else
        bottom = top + (right - left);
    } else {
      if (w > h)
        left = right - (bottom - top);
      else
        top = bottom - (right - left);
    }
    w = right - left + 1;
    h = bottom - top + 1;
  }
  cairo_save(cr);
  cairo_translate(cr, double(left) + double(w) * 0.5, double(top) + double(h) * 0.5);
  cairo_scale(cr, double(w) * 0.5, double(h) * 0.5);
  cairo_arc(cr, 0, 0, 1.0, 0, 2 * M_PI);
  cairo_restore(cr);
  box[0] = double(left);
  box[1] = double(top);
  box[2] = double(right);
  box[3] = double(bottom);
  return 1;
}

static int circle_path(const shape_two_point *tool, cairo_t *cr, double *box) {
  return shape_circle_path(cr, tool->_mode, tool->_x0, tool->_y0, tool->_x1, tool->_y1, box);
}

static void circle_draw(shape *base, cairo_t *cr, const trect *, double scale) {
  PORT_CHECK(base != nullptr);
  shape_two_point *tool = reinterpret_cast<shape_two_point *>(base);
  shape_two_point_render(tool, cr, scale, CAIRO_LINE_CAP_ROUND, CAIRO_LINE_JOIN_ROUND,
                         shape_paint_of_mode(tool->_mode), circle_path);
}
