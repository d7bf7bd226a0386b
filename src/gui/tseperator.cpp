// tseperator: a two-pixel etched line.
#include "tseperator.h"

#include <cstdlib>

#include "port_log.h"
#include "tstyler.h"

namespace {

constexpr uint32_t k_black = 0xFF000000u, k_grey = 0xFF808080u, k_light_grey = 0xFFC0C0C0u;

}  // namespace

static void on_paint(tcontrol *control, tcanvas *canvas, const trect *rect);

tseperator *tseperator_new(tcontrol *parent, const trect *rect, int vertical, void *owner) {
  PORT_CHECK(rect != nullptr);
  tseperator *sep = static_cast<tseperator *>(std::calloc(1, sizeof(tseperator)));
  if (!sep) return nullptr;
  trect line = *rect;
  if (vertical)
    line.x2 = line.x1 + 1;
  else
    line.y2 = line.y1 + 1;
  if (!tcontrol_init(&sep->_control, parent, &line, owner)) {
    std::free(sep);
    return nullptr;
  }
  sep->_vertical = vertical != 0;
  tsurface_set_color_key(&sep->_control._surface, tcolor_rgba(255, 0, 255, 128));
  tcontrol_set_on_paint(&sep->_control, on_paint);
  tstyler_apply(tstyler_get_default(), sep, TSTYLE_SEPARATOR, owner, 0);
  return sep;
}

void tseperator_free(tseperator *sep) {
  PORT_CHECK(sep != nullptr);
  tcontrol_deinit(&sep->_control);
  std::free(sep);
}

static void on_paint(tcontrol *control, tcanvas *canvas, const trect *rect) {
  const tseperator *sep = reinterpret_cast<tseperator *>(control);
  int32_t x1 = rect->x1, y1 = rect->y1, x2 = rect->x2, y2 = rect->y2;
  tcanvas_set_pen(canvas, TCANVAS_PEN_SOLID, 1, k_black);
  if (sep->_vertical) {
    tcanvas_draw_line_color(canvas, x1, y1, x1, y2 - 1, k_black);
    tcanvas_draw_line_color(canvas, x1, y2, x1, y2, k_grey);
    tcanvas_draw_line_color(canvas, x1 + 1, y1, x1 + 1, y1, k_black);
    tcanvas_draw_line_color(canvas, x1 + 1, y1 + 1, x1 + 1, y2, k_light_grey);
  } else {
    tcanvas_draw_line_color(canvas, x1, y1, x2 - 1, y1, k_black);
    tcanvas_draw_line_color(canvas, x2, y1, x2, y1, k_grey);
    tcanvas_draw_line_color(canvas, x1, y1 + 1, x1, y1 + 1, k_black);
    tcanvas_draw_line_color(canvas, x1 + 1, y1 + 1, x2, y1 + 1, k_light_grey);
  }
}
