// thumbnail: the scaled-down canvas with the visible part framed.
#include "thumbnail.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "paint_context.h"
#include "port_log.h"
#include "tscale.h"
#include "tscreen.h"
#include "tstyler.h"

namespace {

constexpr tcolor k_fill = tcolor_rgba(128, 128, 128);
constexpr uint32_t k_fill_word = 0xFF808080u;
constexpr tcolor k_frame = tcolor_rgba(128, 128, 255);

void on_paint(tcontrol *control, tcanvas *canvas, const trect *rect);
int on_pen(tcontrol *control, int type, int32_t x, int32_t y, uint32_t modifiers);

}  // namespace

thumbnail *thumbnail_new(tcontrol *parent, const trect *rect, paint_context *pc, void *owner) {
  PORT_CHECK(rect != nullptr && pc != nullptr);
  thumbnail *pt = static_cast<thumbnail *>(std::calloc(1, sizeof(thumbnail)));
  if (!pt) return nullptr;
  if (!tcontrol_init(&pt->_control, parent, rect, owner)) {
    std::free(pt);
    return nullptr;
  }
  pt->_paint_context = pc;
  pt->_frame = tbdrawer_copy(tstyler_get_default_bdrawer());
  if (!pt->_frame) {
    thumbnail_free(pt);
    return nullptr;
  }
  tbdrawer_set_border(pt->_frame, k_frame, 1);
  tbdrawer_set_fill_none(pt->_frame);
  tbdrawer_set_fill_color(tcontrol_get_box_drawer(&pt->_control), k_fill);
  tcontrol_set_on_paint(&pt->_control, on_paint);
  tcontrol_set_on_pen(&pt->_control, on_pen);
  return pt;
}

void thumbnail_free(thumbnail *pt) {
  PORT_CHECK(pt != nullptr);
  if (tsurface_has_pen_capture(&pt->_control._surface)) tsurface_set_pen_capture(&pt->_control._surface, 0);
  tcontrol_deinit(&pt->_control);
  if (pt->_frame) tbdrawer_free(pt->_frame);
  if (pt->_scaled) tbitmap_free(pt->_scaled);
  std::free(pt);
}

void thumbnail_update(thumbnail *pt) {
  PORT_CHECK(pt != nullptr);
  tbitmap *canvas = paint_context_get_canvas(pt->_paint_context);
  if (!canvas) return;
  if (cairo_t *cr = paint_context_get_cairo(pt->_paint_context)) cairo_surface_flush(cairo_get_target(cr));
  double cw = tbitmap_get_width(canvas), ch = tbitmap_get_height(canvas);
  double width = tsurface_get_width(&pt->_control._surface), height = tsurface_get_height(&pt->_control._surface);
  if (cw < 1 || ch < 1 || width < 3 || height < 3) return;
  double thumb_width = cw / ch > width / height ? width - 2 : std::trunc((height - 2) * cw / ch);
  pt->_scale = std::max(thumb_width, 1.0) / cw;
  tscreen *screen = tscreen_get();
  pt->_view_width = int32_t(tscreen_get_width(screen) * pt->_scale);
  pt->_view_height = int32_t(tscreen_get_height(screen) * pt->_scale);
  // s x cw is the thumbnail width itself; the nudge keeps 479.99... from
  // losing a pixel to the division.
  constexpr double nudge = 1e-9;
  int32_t scaled_width = std::max(int32_t(cw * pt->_scale + nudge), int32_t(1));
  int32_t scaled_height = std::max(int32_t(ch * pt->_scale + nudge), int32_t(1));
  // A copy made for the same size is scaled into again (the common case:
  // the canvas changed, not its size); the aspect fitting gives the same box.
  tbitmap *old = pt->_scaled;
  if (old && pt->_asked_width == scaled_width && pt->_asked_height == scaled_height && tscale_scale_into(canvas, old))
    return;
  tbitmap *scaled = tscale_new_scaled(canvas, scaled_width, -scaled_height, 1);
  if (!scaled) return;  // the old copy stays: stale beats none
  if (old) tbitmap_free(old);
  pt->_scaled = scaled;
  pt->_asked_width = scaled_width;
  pt->_asked_height = scaled_height;
}

void thumbnail_realize(thumbnail *pt) {
  PORT_CHECK(pt != nullptr);
  thumbnail_update(pt);
  tcontrol_realize(&pt->_control);
}

void thumbnail_set_on_move(thumbnail *pt, thumbnail_move_fn fn) {
  PORT_CHECK(pt != nullptr);
  pt->_on_move = fn;
}

tpoint thumbnail_get_offset(const thumbnail *pt) {
  PORT_CHECK(pt != nullptr);
  int32_t width = tsurface_get_width(&pt->_control._surface), height = tsurface_get_height(&pt->_control._surface);
  int32_t shown_width = pt->_scaled ? tbitmap_get_width(pt->_scaled) : 0;
  int32_t shown_height = pt->_scaled ? tbitmap_get_height(pt->_scaled) : 0;
  return {(width - shown_width) / 2, (height - shown_height) / 2};
}

namespace {

void on_paint(tcontrol *control, tcanvas *canvas, const trect *rect) {
  thumbnail *pt = reinterpret_cast<thumbnail *>(control);
  if (!pt->_scaled) {
    tbdrawer_draw(tcontrol_get_box_drawer(control), canvas, rect);
    return;
  }
  // The box only where the copy does not cover it: above, below, left, right.
  tpoint at = thumbnail_get_offset(pt);
  trect whole = {0, 0, tbitmap_get_width(pt->_scaled) - 1, tbitmap_get_height(pt->_scaled) - 1};
  const trect strips[4] = {{rect->x1, rect->y1, rect->x2, at.y - 1},
                           {rect->x1, at.y + whole.y2 + 1, rect->x2, rect->y2},
                           {rect->x1, at.y, at.x - 1, at.y + whole.y2},
                           {at.x + whole.x2 + 1, at.y, rect->x2, at.y + whole.y2}};
  tcanvas_set_brush(canvas, TCANVAS_BRUSH_SOLID, k_fill_word);
  for (const trect &strip : strips)
    if (strip.x1 <= strip.x2 && strip.y1 <= strip.y2) tcanvas_fill_rect(canvas, strip.x1, strip.y1, strip.x2, strip.y2);
  tcanvas_draw_bitmap(canvas, &at, pt->_scaled, &whole);
  tpoint origin;
  paint_context_get_origin(pt->_paint_context, &origin);
  int32_t left = int32_t(at.x - origin.x * pt->_scale), top = int32_t(at.y - origin.y * pt->_scale);
  pt->_view_rect = {left, top, left + pt->_view_width - 1, top + pt->_view_height - 1};
  const trect &v = pt->_view_rect;
  tbdrawer_draw(pt->_frame, canvas, &v);
  trect outer = {v.x1 - 1, v.y1 - 1, v.x2 + 1, v.y2 + 1};
  tbdrawer_draw(pt->_frame, canvas, &outer);
}

// Only a press moves the view: the tapped point becomes its centre.
int on_pen(tcontrol *control, int type, int32_t x, int32_t y, uint32_t) {
  thumbnail *pt = reinterpret_cast<thumbnail *>(control);
  tsurface *surface = &control->_surface;
  const trect *r = tsurface_get_rect(surface);
  bool inside = x >= r->x1 && x <= r->x2 && y >= r->y1 && y <= r->y2;
  if (!inside && !tsurface_has_pen_capture(surface)) return 0;
  if (type == TSCREEN_PEN_UP) {
    tsurface_set_pen_capture(surface, 0);
    return 1;
  }
  if (type != TSCREEN_PEN_DOWN) return 0;
  tsurface_set_pen_capture(surface, 1);
  if (!pt->_scaled || pt->_scale <= 0) return 1;
  tpoint at = thumbnail_get_offset(pt);
  int32_t origin_x = int32_t((pt->_view_width / 2 + r->x1 - x + at.x) / pt->_scale);
  int32_t origin_y = int32_t((pt->_view_height / 2 + r->y1 - y + at.y) / pt->_scale);
  paint_context_set_origin(pt->_paint_context, origin_x, origin_y);
  if (pt->_on_move) pt->_on_move(pt);
  tsurface_update(surface, nullptr);
  tscreen_paint(tscreen_get(), nullptr);
  return 1;
}

}  // namespace
