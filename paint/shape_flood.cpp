// shape_flood: the Paint Bucket tool.
#include "shape_flood.h"

#include <cmath>
#include <cstdlib>

#include "paint_context.h"
#include "paint_history.h"
#include "tcanvas.h"
#include "tfile.h"

static int32_t flood_input(shape *tool, int32_t type, int32_t x, int32_t y, int32_t modifiers);
static void flood_draw(shape *tool, cairo_t *cr, const trect *rect, double scale);
static void flood_reset(shape *tool);
static void flood_set_data(shape *tool, const void *payload, int32_t length);
static int64_t scaled(int32_t v, double scale);

shape *shape_flood_new(int32_t id, const char16_t *name, paint_context *context, paint_history *history,
                       void *extra) {
  shape_flood *tool = static_cast<shape_flood *>(std::calloc(1, sizeof(shape_flood)));
  if (!tool) return nullptr;
  shape_init(&tool->_base, id, name, context, history, extra);
  shape_set_input_fn(&tool->_base, flood_input);
  shape_set_query_fn(&tool->_base, shape_query_none);
  shape_set_draw_fn(&tool->_base, flood_draw);
  shape_set_reset_fn(&tool->_base, flood_reset);
  shape_set_data_fn(&tool->_base, flood_set_data);
  flood_reset(&tool->_base);
  return &tool->_base;
}

void shape_flood_free(shape *base) {
  PORT_CHECK(base != nullptr);
  shape_deinit(base);
  std::free(base);
}

int shape_flood_tolerance(double zoom) {
  if (zoom >= 0.25) return 32;
  if (zoom >= 0.125) return 16;
  return 0;
}

static int32_t flood_input(shape *base, int32_t type, int32_t x, int32_t y, int32_t) {
  PORT_CHECK(base != nullptr);
  shape_flood *tool = reinterpret_cast<shape_flood *>(base);
  paint_context *pc = base->_context;
  if (type == SHAPE_PEN_DOWN) {
    base->_active = 1;
    tpoint origin = {0, 0};
    paint_context_get_origin(pc, &origin);
    int64_t seed_x = int64_t(x) - origin.x, seed_y = int64_t(y) - origin.y;
    const tbitmap *canvas = paint_context_get_canvas(pc);
    // A tap beside the canvas fills and records nothing, but it is still the bucket's.
    if (!canvas || seed_x < 0 || seed_y < 0 || seed_x >= tbitmap_get_width(canvas) ||
        seed_y >= tbitmap_get_height(canvas))
      return 1;
    tool->_seed_x = int32_t(seed_x);
    tool->_seed_y = int32_t(seed_y);
    tool->_has_seed = 1;
    shape_draw(base, paint_context_get_cairo(pc), nullptr, 1.0);
    uint8_t payload[SHAPE_FLOOD_PAYLOAD];
    tfile_put_u32(payload, uint32_t(tool->_seed_x));
    tfile_put_u32(payload + 4, uint32_t(tool->_seed_y));
    if (base->_history && !shape_record_step(base->_history, base->_id, payload, SHAPE_FLOOD_PAYLOAD, nullptr, nullptr))
      shape_report_refused(base);
    return 1;
  }
  if (!base->_active) return 0;
  if (type == SHAPE_PEN_MOVE) return 1;
  if (type == SHAPE_PEN_UP) {
    base->_active = 0;
    shape_reset(base);
    return 1;
  }
  return 0;
}

static void flood_draw(shape *base, cairo_t *cr, const trect *, double scale) {
  PORT_CHECK(base != nullptr);
  shape_flood *tool = reinterpret_cast<shape_flood *>(base);
  paint_context *pc = base->_context;
  tbitmap *bitmap = paint_context_get_canvas(pc);
  if (!tool->_has_seed || !bitmap) return;
  int64_t x = scaled(tool->_seed_x, scale), y = scaled(tool->_seed_y, scale);
  if (x < 0 || y < 0 || x >= tbitmap_get_width(bitmap) || y >= tbitmap_get_height(bitmap)) return;
  tcolor fore;
  paint_context_get_fore_color(pc, &fore);
  // The fill writes the pixels cairo wraps: cairo lets go of them first and
  // learns of the change after; the toolkit canvas keeps the fourth byte at 255.
  if (cr) cairo_surface_flush(cairo_get_target(cr));
  tcanvas canvas;
  tcanvas_init_on_bitmap(&canvas, bitmap);
  tcanvas_set_brush(&canvas, TCANVAS_BRUSH_SOLID, tcolor_to_word(&fore));
  tcanvas_flood_fill(&canvas, int32_t(x), int32_t(y), shape_flood_tolerance(paint_context_get_zoom(pc)));
  tcanvas_deinit(&canvas);
  if (cr) cairo_surface_mark_dirty(cairo_get_target(cr));
  paint_context_refresh(pc, nullptr, 0);
}

static void flood_reset(shape *base) {
  PORT_CHECK(base != nullptr);
  shape_flood *tool = reinterpret_cast<shape_flood *>(base);
  tool->_seed_x = tool->_seed_y = -1;
}

// A payload of another length is no seed; the one held stays as it was.
static void flood_set_data(shape *base, const void *payload, int32_t length) {
  PORT_CHECK(base != nullptr);
  shape_flood *tool = reinterpret_cast<shape_flood *>(base);
  if (!payload || length != SHAPE_FLOOD_PAYLOAD) {
    tool->_has_seed = 0;
    return;
  }
  const uint8_t *bytes = static_cast<const uint8_t *>(payload);
  tool->_seed_x = int32_t(tfile_get_u32(bytes));
  tool->_seed_y = int32_t(tfile_get_u32(bytes + 4));
  tool->_has_seed = 1;
}

// trunc(v x scale) in 64 bits; a product beyond them lies off any canvas (-1).
static int64_t scaled(int32_t v, double scale) {
  double product = std::trunc(double(v) * scale);
  if (!(product > -4e18 && product < 4e18)) return -1;
  return int64_t(product);
}
