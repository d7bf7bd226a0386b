// shape_text: the Text tool.
#include "shape_text.h"

#include <algorithm>
#include <cstdlib>

#include "paint_context.h"
#include "tscreen.h"

constexpr double DASH[2] = {5.0, 5.0};
constexpr double BOX_GREY = 0.25;
constexpr int32_t BOX_MARGIN = 5;  // the dirty rectangle around the box

static int32_t text_input(shape *tool, int32_t type, int32_t x, int32_t y, int32_t modifiers);
static void text_draw(shape *tool, cairo_t *cr, const trect *rect, double scale);
static void text_reset(shape *tool);

shape *shape_text_new(int32_t id, const char16_t *name, paint_context *context, paint_history *history,
                      void *extra) {
  shape_text *tool = static_cast<shape_text *>(std::calloc(1, sizeof(shape_text)));
  if (!tool) return nullptr;
  shape_two_point_init(&tool->_points, id, name, context, history, text_draw, 0, 0, 0, extra);
  shape_set_input_fn(&tool->_points._base, text_input);
  shape_set_reset_fn(&tool->_points._base, text_reset);
  return &tool->_points._base;
}

void shape_text_free(shape *base) {
  PORT_CHECK(base != nullptr);
  shape_text *tool = reinterpret_cast<shape_text *>(base);
  shape_two_point_deinit(&tool->_points);
  std::free(tool);
}

shape_text_place_fn shape_text_set_on_place(shape *base, shape_text_place_fn fn) {
  PORT_CHECK(base != nullptr);
  shape_text *tool = reinterpret_cast<shape_text *>(base);
  shape_text_place_fn previous = tool->_on_place;
  tool->_on_place = fn;
  return previous;
}

// Down and move are the two-point protocol; pen-up records nothing: the box
// leaves the canvas (in the tap branch too, where a preview may be pending
// or shown) and, when it has a size, goes to the owner.
static int32_t text_input(shape *base, int32_t type, int32_t x, int32_t y, int32_t modifiers) {
  PORT_CHECK(base != nullptr);
  if (type != SHAPE_PEN_UP || !base->_active) return shape_two_point_input(base, type, x, y, modifiers);
  shape_text *tool = reinterpret_cast<shape_text *>(base);
  const shape_two_point &points = tool->_points;
  trect box = {points._x0, points._y0, points._x1, points._y1};
  trect_normalize(&box);
  bool tap = points._x0 == points._x1 && points._y0 == points._y1;
  shape_two_point_cancel(base);
  if (tap) return 1;
  if (tscreen *screen = paint_context_get_screen(base->_context)) tscreen_paint(screen, nullptr);
  if (tool->_on_place) tool->_on_place(base, &box);
  return 1;
}

// The box between the two points, dashed, one pixel wide, whatever the scale.
static void text_draw(shape *base, cairo_t *cr, const trect *, double) {
  PORT_CHECK(base != nullptr);
  shape_two_point *tool = reinterpret_cast<shape_two_point *>(base);
  if (!cr || !tool->_has_points) return;
  // The box inflated by 5 (4 and the 1 every dirty rectangle gets).
  trect dirty = shape_dirty_rect(std::min(tool->_x0, tool->_x1), std::min(tool->_y0, tool->_y1),
                                 std::max(tool->_x0, tool->_x1), std::max(tool->_y0, tool->_y1), BOX_MARGIN - 1);
  paint_context *pc = base->_context;
  // A live box keeps the pixels it covers first; without room for them it is not shown.
  if (base->_active && !shape_backup_extend(&tool->_backup, pc, &dirty)) {
    tool->_preview_shown = 0;
    return;
  }
  cairo_set_line_width(cr, 1.0);
  cairo_set_source_rgb(cr, BOX_GREY, BOX_GREY, BOX_GREY);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_MITER);
  cairo_set_dash(cr, DASH, 2, 0);
  cairo_new_path(cr);
  cairo_rectangle(cr, tool->_x0, tool->_y0, double(tool->_x1) - tool->_x0 + 1, double(tool->_y1) - tool->_y0 + 1);
  cairo_stroke(cr);
  cairo_set_dash(cr, nullptr, 0, 0);
  shape_refresh_remembered(pc, &tool->_remembered, &tool->_remembered_set, &dirty);
}

static void text_reset(shape *base) {
  PORT_CHECK(base != nullptr);
  shape_two_point *tool = reinterpret_cast<shape_two_point *>(base);
  tool->_x0 = tool->_y0 = tool->_x1 = tool->_y1 = 0;
}
