// shape_rubber: the Eraser tool.
#include "shape_rubber.h"

#include <cstdlib>

#include "paint_context.h"

static void rubber_flush(shape_points *tool);
static void rubber_draw(shape *tool, cairo_t *cr, const trect *rect, double scale);
static void rubber_reset(shape *tool);
static cairo_surface_t *set_background_source(paint_context *pc, cairo_t *cr);

static const shape_points_protocol RUBBER_PROTOCOL = {nullptr, rubber_flush, nullptr, 1};

shape *shape_rubber_new(int32_t id, const char16_t *name, paint_context *context, paint_history *history,
                        void *extra) {
  shape_points *tool = static_cast<shape_points *>(std::calloc(1, sizeof(shape_points)));
  if (!tool) return nullptr;
  if (!shape_points_init(tool, id, name, context, history, extra, &RUBBER_PROTOCOL)) {
    std::free(tool);
    return nullptr;
  }
  shape_set_draw_fn(&tool->_base, rubber_draw);
  shape_set_reset_fn(&tool->_base, rubber_reset);
  return &tool->_base;
}

void shape_rubber_free(shape *base) {
  PORT_CHECK(base != nullptr);
  shape_points *tool = reinterpret_cast<shape_points *>(base);
  shape_points_deinit(tool);
  std::free(tool);
}

static void rubber_flush(shape_points *tool) {
  shape_draw(&tool->_base, paint_context_get_cairo(tool->_base._context), nullptr, 1.0);
}

static void rubber_draw(shape *base, cairo_t *cr, const trect *, double scale) {
  PORT_CHECK(base != nullptr);
  paint_context *pc = base->_context;
  if (!cr) return;
  double width = double(paint_context_get_rubber_size(pc)) * paint_context_get_zoom(pc);
  cairo_set_line_width(cr, width);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
  cairo_surface_t *background = set_background_source(pc, cr);
  trect dirty;
  int drawn = shape_points_stroke(reinterpret_cast<shape_points *>(base), cr, scale, width, nullptr, &dirty);
  // The source holds the temporary surface: cairo lets go of it before it
  // is destroyed, so no later draw can reach its pixels.
  if (background) {
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_surface_destroy(background);
  }
  if (drawn) paint_context_refresh(pc, &dirty, 0);
}

static void rubber_reset(shape *base) {
  PORT_CHECK(base != nullptr);
  shape_points_reset(reinterpret_cast<shape_points *>(base));
}

// The opened picture at the current zoom as the source, wrapped for cairo
// (returned, to be destroyed after the stroke); else the new colour, or the
// back colour when the picture cannot be had at this zoom.
static cairo_surface_t *set_background_source(paint_context *pc, cairo_t *cr) {
  if (!paint_context_get_base_picture(pc)) {
    cairo_set_source_rgb(cr, paint_context_get_new_r(pc), paint_context_get_new_g(pc), paint_context_get_new_b(pc));
    return nullptr;
  }
  tbitmap *base = paint_context_get_zoomed_base(pc);
  if (base && tbitmap_get_bpp(base) == 32) {
    int32_t width = tbitmap_get_width(base), height = tbitmap_get_height(base);
    int stride = cairo_format_stride_for_width(CAIRO_FORMAT_ARGB32, width);
    if (int64_t(stride) == int64_t(tbitmap_get_stride(base)) && tbitmap_is_top_down(base)) {
      cairo_surface_t *surface =
          cairo_image_surface_create_for_data(base->_pixels, CAIRO_FORMAT_ARGB32, width, height, stride);
      if (cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS) {
        cairo_set_source_surface(cr, surface, 0, 0);
        return surface;
      }
      cairo_surface_destroy(surface);
    }
  }
  cairo_set_source_rgb(cr, paint_context_get_back_r(pc), paint_context_get_back_g(pc), paint_context_get_back_b(pc));
  return nullptr;
}
