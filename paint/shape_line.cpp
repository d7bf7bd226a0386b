// shape_line: the Line tool.
#include "shape_line.h"

#include <algorithm>

static int line_path(const shape_two_point *tool, cairo_t *cr, double *box);
static void line_draw(shape *tool, cairo_t *cr, const trect *rect, double scale);

shape *shape_line_new(int32_t id, const char16_t *name, paint_context *context, paint_history *history,
                      void *extra) {
  return shape_two_point_new(id, name, context, history, line_draw, SHAPE_MODE_OUTLINE, 0, 0, extra);
}

void shape_line_free(shape *tool) {
  PORT_CHECK(tool != nullptr);
  shape_two_point_free(tool);
}

int shape_line_path(cairo_t *cr, int32_t x0, int32_t y0, int32_t x1, int32_t y1, double box[4]) {
  PORT_CHECK(cr != nullptr && box != nullptr);
  cairo_move_to(cr, x0, y0);
  cairo_line_to(cr, x1, y1);
  box[0] = std::min(x0, x1);
  box[1] = std::min(y0, y1);
  box[2] = std::max(x0, x1);
  box[3] = std::max(y0, y1);
  return 1;
}

static int line_path(const shape_two_point *tool, cairo_t *cr, double *box) {
  return shape_line_path(cr, tool->_x0, tool->_y0, tool->_x1, tool->_y1, box);
}

static void line_draw(shape *tool, cairo_t *cr, const trect *, double scale) {
  PORT_CHECK(tool != nullptr);
  shape_two_point_render(reinterpret_cast<shape_two_point *>(tool), cr, scale, CAIRO_LINE_CAP_ROUND,
                         CAIRO_LINE_JOIN_ROUND, SHAPE_PAINT_STROKE, line_path);
}
