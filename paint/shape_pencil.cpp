// shape_pencil: the Pencil tool.
#include "shape_pencil.h"

#include <cstdlib>

#include "paint_context.h"

static void pencil_down(shape_points *tool);
static void pencil_flush(shape_points *tool);
static void pencil_up(shape_points *tool);
static void pencil_draw(shape *tool, cairo_t *cr, const trect *rect, double scale);
static void pencil_reset(shape *tool);

static const shape_points_protocol PENCIL_PROTOCOL = {pencil_down, pencil_flush, pencil_up, 0};

shape *shape_pencil_new(int32_t id, const char16_t *name, paint_context *context, paint_history *history,
                        void *extra) {
  shape_pencil *tool = static_cast<shape_pencil *>(std::calloc(1, sizeof(shape_pencil)));
  if (!tool) return nullptr;
  if (!shape_points_init(&tool->_points, id, name, context, history, extra, &PENCIL_PROTOCOL)) {
    std::free(tool);
    return nullptr;
  }
  shape_set_draw_fn(&tool->_points._base, pencil_draw);
  shape_set_reset_fn(&tool->_points._base, pencil_reset);
  return &tool->_points._base;
}

void shape_pencil_free(shape *base) {
  PORT_CHECK(base != nullptr);
  shape_pencil *tool = reinterpret_cast<shape_pencil *>(base);
  shape_points_cover_end(&tool->_cover);
  shape_points_deinit(&tool->_points);
  std::free(tool);
}

static void pencil_down(shape_points *points) {
  shape_pencil *tool = reinterpret_cast<shape_pencil *>(points);
  tcolor fore;
  paint_context_get_fore_color(points->_base._context, &fore);
  tool->_translucent = fore.alpha < 255;
  shape_points_cover_begin(&tool->_cover, 1);
}

static void pencil_flush(shape_points *points) {
  shape_draw(&points->_base, paint_context_get_cairo(points->_base._context), nullptr, 1.0);
}

static void pencil_up(shape_points *points) {
  shape_pencil *tool = reinterpret_cast<shape_pencil *>(points);
  cairo_t *cr = paint_context_get_cairo(points->_base._context);
  if (cr) cairo_new_path(cr);
  shape_points_cover_end(&tool->_cover);
}

static void pencil_draw(shape *base, cairo_t *cr, const trect *, double scale) {
  PORT_CHECK(base != nullptr);
  shape_pencil *tool = reinterpret_cast<shape_pencil *>(base);
  paint_context *pc = base->_context;
  if (!cr) return;
  double width = shape_line_width(pc);
  double alpha = paint_context_get_fore_a(pc);
  cairo_set_line_width(cr, width);
  cairo_set_source_rgba(cr, paint_context_get_fore_r(pc), paint_context_get_fore_g(pc),
                        paint_context_get_fore_b(pc), alpha);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
  // A translucent stroke is painted through its coverage: live, the cover
  // of the whole stroke; in a replay (all of it in one batch) a cover of its own.
  trect dirty;
  int drawn;
  if (alpha < 1.0 && tool->_translucent && base->_active) {
    drawn = shape_points_stroke(&tool->_points, cr, scale, width, &tool->_cover, &dirty);
  } else if (alpha < 1.0) {
    shape_points_cover cover = {};
    shape_points_cover_begin(&cover, 0);
    drawn = shape_points_stroke(&tool->_points, cr, scale, width, &cover, &dirty);
    shape_points_cover_end(&cover);
  } else {
    drawn = shape_points_stroke(&tool->_points, cr, scale, width, nullptr, &dirty);
  }
  if (drawn) paint_context_refresh(pc, &dirty, 0);
}

static void pencil_reset(shape *base) {
  PORT_CHECK(base != nullptr);
  shape_pencil *tool = reinterpret_cast<shape_pencil *>(base);
  shape_points_reset(&tool->_points);
  tool->_translucent = 0;
}
