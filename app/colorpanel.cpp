// colorpanel: the drawing colour's swatch and the way to the colour dialog.
#include "colorpanel.h"

#include <algorithm>
#include <cstdlib>

#include "app_common.h"
#include "app_context.h"
#include "paint_context.h"
#include "panel_links.h"
#include "port_log.h"
#include "tcolordialog.h"
#include "tcontrolbar.h"
#include "tdialog.h"
#include "tscreen.h"
#include "tstyler.h"

namespace {

constexpr tcolor k_panel_key = tcolor_rgba(221, 0, 221, 216);
constexpr uint32_t k_key_word = 0xFFDD00DDu;
constexpr uint32_t k_outline = 0xFF808080u, k_check = 0xFFC0C0C0u, k_black = 0xFF000000u;
constexpr int32_t k_swatch_inset = 3;
constexpr int32_t k_more_colors_mode = 1;

app_context *app_of(const colorpanel *cp) {
  return static_cast<app_context *>(tsurface_get_owner(&cp->_control._surface));
}
void on_paint(tcontrol *control, tcanvas *canvas, const trect *rect);
int on_pen(tcontrol *control, int type, int32_t x, int32_t y, uint32_t modifiers);
void open_dialog(colorpanel *cp);
void on_more_colors(tcolordialog *dialog, int32_t *x, int32_t *y, int32_t *mode);
void on_result(int32_t result, void *user_data);
tbitmap *make_pattern();

}  // namespace

colorpanel *colorpanel_new(tcontrol *parent, const trect *rect, app_context *app) {
  PORT_CHECK(rect != nullptr && app != nullptr);
  colorpanel *cp = static_cast<colorpanel *>(std::calloc(1, sizeof(colorpanel)));
  if (!cp) return nullptr;
  if (!tcontrol_init(&cp->_control, parent, rect, app)) {
    std::free(cp);
    return nullptr;
  }
  cp->_pattern = make_pattern();
  if (!cp->_pattern) {
    colorpanel_free(cp);
    return nullptr;
  }
  tcontrol_set_on_paint(&cp->_control, on_paint);
  tcontrol_set_on_pen(&cp->_control, on_pen);
  tsurface_set_color_key(&cp->_control._surface, k_panel_key);
  tsurface_set_color_key_enabled(&cp->_control._surface, 1);
  return cp;
}

void colorpanel_free(colorpanel *cp) {
  PORT_CHECK(cp != nullptr);
  if (tsurface_has_pen_capture(&cp->_control._surface)) tsurface_set_pen_capture(&cp->_control._surface, 0);
  tcontrol_deinit(&cp->_control);
  if (cp->_pattern) tbitmap_free(cp->_pattern);
  std::free(cp);
}

void colorpanel_realize(colorpanel *cp) {
  PORT_CHECK(cp != nullptr);
  tcontrol_realize(&cp->_control);
}

void colorpanel_show(colorpanel *cp) {
  PORT_CHECK(cp != nullptr);
  tsurface_set_visible(&cp->_control._surface, 1);
  tsurface_update(&cp->_control._surface, nullptr);
}

void colorpanel_hide(colorpanel *cp) {
  PORT_CHECK(cp != nullptr);
  tsurface_set_visible(&cp->_control._surface, 0);
  trect area;
  tsurface_get_screen_rect(&cp->_control._surface, &area);
  tscreen_paint(tscreen_get(), &area);
}

void colorpanel_repaint(colorpanel *cp) {
  PORT_CHECK(cp != nullptr);
  tsurface_update(&cp->_control._surface, nullptr);
}

namespace {

void on_paint(tcontrol *control, tcanvas *canvas, const trect *) {
  colorpanel *cp = reinterpret_cast<colorpanel *>(control);
  int32_t right = tsurface_get_width(&control->_surface) - 1, bottom = tsurface_get_height(&control->_surface) - 1;
  // The ring between the outlines and the swatch shows what lies beneath.
  tcanvas_set_brush(canvas, TCANVAS_BRUSH_SOLID, k_key_word);
  tcanvas_fill_rect(canvas, 0, 0, right, bottom);
  tcanvas_set_brush_style(canvas, TCANVAS_BRUSH_NONE);
  tcanvas_set_pen(canvas, TCANVAS_PEN_SOLID, 1, k_outline);
  tcanvas_draw_rect(canvas, 0, 0, right, bottom);
  tcanvas_draw_rect(canvas, 1, 1, right - 1, bottom - 1);
  int32_t in = k_swatch_inset;
  tcanvas_set_brush(canvas, TCANVAS_BRUSH_PATTERN, k_black);
  tcanvas_set_pattern(canvas, cp->_pattern);
  tcanvas_fill_rect(canvas, in, in, right - in, bottom - in);
  app_context *app = app_of(cp);
  if (!app->_paint_context) return;
  tcolor fore;
  paint_context_get_fore_color(app->_paint_context, &fore);
  tcanvas_set_brush(canvas, TCANVAS_BRUSH_SOLID, tcolor_to_word(&fore));
  tcanvas_fill_rect(canvas, in, in, right - in, bottom - in);
}

// A press captures the pen; only a release still on the swatch opens the
// dialog, so a press that slides off it opens nothing.
int on_pen(tcontrol *control, int type, int32_t x, int32_t y, uint32_t) {
  colorpanel *cp = reinterpret_cast<colorpanel *>(control);
  tsurface *surface = &control->_surface;
  const trect *r = tsurface_get_rect(surface);
  bool inside = x >= r->x1 && x <= r->x2 && y >= r->y1 && y <= r->y2;
  if (!inside && !tsurface_has_pen_capture(surface)) return 0;
  switch (type) {
    case TSCREEN_PEN_DOWN:
      cp->_pressed = 1;
      tsurface_set_pen_capture(surface, 1);
      return 1;
    case TSCREEN_PEN_MOVE:
      return cp->_pressed;
    case TSCREEN_PEN_UP:
      if (!cp->_pressed) return 0;
      cp->_pressed = 0;
      tsurface_set_pen_capture(surface, 0);
      if (inside) open_dialog(cp);
      return 1;
    default:
      return 0;
  }
}

void open_dialog(colorpanel *cp) {
  app_context *app = app_of(cp);
  if (!app->_paint_context) return;
  tcolor fore;
  paint_context_get_fore_color(app->_paint_context, &fore);
  cp->_dialog_color = tcolor_key_of(fore);
  tscreen *screen = tscreen_get();
  int32_t width = std::min(tscreen_get_width(screen), tscreen_get_height(screen)) - 30;
  static_assert(sizeof app->_recent_colors[0] == sizeof(uint32_t), "the dialog keeps the recent colours as words");
  tcolordialog *dialog = tcolordialog_new(u"", width, &cp->_dialog_color,
                                          reinterpret_cast<uint32_t *>(app->_recent_colors), &app->_recent_color_num,
                                          app);
  if (!dialog) return;
  tdialog *box = tcolordialog_get_dialog(dialog);
  tsurface_set_visible(&reinterpret_cast<tcontrol *>(tdialog_get_controlbar(box))->_surface, 0);
  tdialog_set_dimmed(box, 1);
  tdialog_set_close_on_outside_tap(box, 1);
  tcolordialog_set_on_more_colors(dialog, on_more_colors);
  tcolordialog_set_on_result(dialog, on_result);
  const trect *r = tsurface_get_rect(&cp->_control._surface);
  tcolordialog_show(dialog, r->x1, r->y2 + COLORPANEL_DIALOG_GAP, 0);
}

void on_more_colors(tcolordialog *, int32_t *, int32_t *, int32_t *mode) { *mode = k_more_colors_mode; }

// The pick keeps the opacity the drawing colour had.
void on_result(int32_t result, void *user_data) {
  app_context *app = static_cast<app_context *>(user_data);
  if (result != 1 || !app->_paint_context || !app->_colorpanel) return;
  colorpanel *cp = app->_colorpanel;
  tcolor fore;
  paint_context_get_fore_color(app->_paint_context, &fore);
  paint_context_set_fore_color(app->_paint_context, tcolor_of_key(cp->_dialog_color, fore.alpha));
  colorpanel_repaint(cp);
  if (app->_textbar && textbar_update_color) textbar_update_color(app->_textbar);
}

tbitmap *make_pattern() {
  int side = COLORPANEL_PATTERN_SIDE, half = side / 2;
  tbitmap *pattern = tbitmap_new(side, side, tbitmap_get_bpp(tscreen_get_bitmap(tscreen_get())));
  if (!pattern) return nullptr;
  tbitmap_fill_rect(pattern, 0, 0, half - 1, half - 1, k_check);
  tbitmap_fill_rect(pattern, half, half, side - 1, side - 1, k_check);
  return pattern;
}

}  // namespace
