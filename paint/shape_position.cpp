// shape_position: the Pan tool.
#include "shape_position.h"

#include <algorithm>
#include <cstdlib>

#include "app_context.h"
#include "paint_context.h"
#include "tsurface.h"

static int32_t position_input(shape *tool, int32_t type, int32_t x, int32_t y, int32_t modifiers);
static void position_draw(shape *tool, cairo_t *cr, const trect *rect, double scale);
static void position_nothing(shape *tool);
static void position_set_data(shape *tool, const void *payload, int32_t length);

shape *shape_position_new(int32_t id, const char16_t *name, paint_context *context, paint_history *history,
                          void *extra) {
  shape_position *tool = static_cast<shape_position *>(std::calloc(1, sizeof(shape_position)));
  if (!tool) return nullptr;
  shape_init(&tool->_base, id, name, context, history, extra);
  shape_set_input_fn(&tool->_base, position_input);
  shape_set_query_fn(&tool->_base, shape_query_none);
  shape_set_draw_fn(&tool->_base, position_draw);
  shape_set_reset_fn(&tool->_base, position_nothing);
  shape_set_data_fn(&tool->_base, position_set_data);
  return &tool->_base;
}

void shape_position_free(shape *base) {
  PORT_CHECK(base != nullptr);
  shape_deinit(base);
  std::free(base);
}

shape_position_move_fn shape_position_set_on_move(shape *base, shape_position_move_fn fn) {
  PORT_CHECK(base != nullptr);
  shape_position *tool = reinterpret_cast<shape_position *>(base);
  shape_position_move_fn previous = tool->_on_move;
  tool->_on_move = fn;
  return previous;
}

static int32_t position_input(shape *base, int32_t type, int32_t x, int32_t y, int32_t) {
  PORT_CHECK(base != nullptr);
  shape_position *tool = reinterpret_cast<shape_position *>(base);
  paint_context *pc = base->_context;
  if (type == SHAPE_PEN_DOWN) {
    base->_active = 1;
    tool->_last_x = x;
    tool->_last_y = y;
    return 1;
  }
  if (!base->_active) return 0;
  if (type == SHAPE_PEN_MOVE) {
    tpoint origin = {0, 0};
    paint_context_get_origin(pc, &origin);
    auto moved = [](int32_t at, int32_t pen, int32_t last) {
      return int32_t(std::clamp<int64_t>(int64_t(at) + pen - last, INT32_MIN, INT32_MAX));
    };
    paint_context_set_origin(pc, moved(origin.x, x, tool->_last_x), moved(origin.y, y, tool->_last_y));
    if (tool->_on_move) tool->_on_move(base);
    app_context *app = static_cast<app_context *>(base->_extra);
    // The thumbnail is a control, so its record begins with its surface.
    if (app && app->_thumbnail) tsurface_paint(reinterpret_cast<tsurface *>(app->_thumbnail));
    paint_context_refresh(pc, nullptr, 1);
    tool->_last_x = x;
    tool->_last_y = y;
    return 1;
  }
  if (type == SHAPE_PEN_UP) {
    base->_active = 0;
    return 1;
  }
  return 0;
}

static void position_draw(shape *base, cairo_t *, const trect *, double) { PORT_CHECK(base != nullptr); }

static void position_nothing(shape *base) { PORT_CHECK(base != nullptr); }

static void position_set_data(shape *base, const void *, int32_t) { PORT_CHECK(base != nullptr); }
