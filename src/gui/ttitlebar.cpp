// ttitlebar: drawers, title and drawing.
#include "ttitlebar.h"

#include <cstdlib>
#include <cstring>

#include "port_log.h"
#include "tstyler.h"

static void on_paint(tcontrol *control, tcanvas *canvas, const trect *rect);

int ttitlebar_init(ttitlebar *tb, tcontrol *parent, const trect *rect, const char16_t *title, void *owner) {
  PORT_CHECK(tb != nullptr);
  std::memset(tb, 0, sizeof *tb);
  if (!tcontrol_init(&tb->_control, parent, rect, owner)) return 0;
  tb->_background = tbdrawer_copy(tstyler_get_default_bdrawer());
  tb->_text_drawer = ttdrawer_copy(tstyler_get_default_tdrawer());
  if (!tb->_background || !tb->_text_drawer) {
    ttitlebar_deinit(tb);
    return 0;
  }
  tbdrawer_set_fill_color(tb->_background, tcolor_rgba(0, 0, 255));
  ttdrawer_set_alignment(tb->_text_drawer, 8);
  ttdrawer_set_color(tb->_text_drawer, tcolor_rgba(255, 255, 255));
  ttitlebar_set_title(tb, title);
  tcontrol_set_on_paint(&tb->_control, on_paint);
  tstyler_apply(tstyler_get_default(), tb, TSTYLE_TITLEBAR, owner, 0);
  return 1;
}

ttitlebar *ttitlebar_new(tcontrol *parent, const trect *rect, const char16_t *title, void *owner) {
  ttitlebar *tb = static_cast<ttitlebar *>(std::calloc(1, sizeof(ttitlebar)));
  if (!tb) return nullptr;
  if (!ttitlebar_init(tb, parent, rect, title, owner)) {
    std::free(tb);
    return nullptr;
  }
  return tb;
}

void ttitlebar_deinit(ttitlebar *tb) {
  PORT_CHECK(tb != nullptr);
  if (tb->_background) tbdrawer_free(tb->_background);
  if (tb->_text_drawer) ttdrawer_free(tb->_text_drawer);
  tb->_background = nullptr;
  tb->_text_drawer = nullptr;
  tcontrol_deinit(&tb->_control);
}

void ttitlebar_free(ttitlebar *tb) {
  PORT_CHECK(tb != nullptr);
  ttitlebar_deinit(tb);
  std::free(tb);
}

void ttitlebar_set_title(ttitlebar *tb, const char16_t *title) {
  PORT_CHECK(tb != nullptr);
  int n = 0;
  if (title)
    for (; n < TTITLEBAR_TITLE_UNITS - 1 && title[n]; n++) tb->_title[n] = title[n];
  tb->_title[n] = 0;
}

const char16_t *ttitlebar_get_title(const ttitlebar *tb) {
  PORT_CHECK(tb != nullptr);
  return tb->_title;
}

ttdrawer *ttitlebar_get_text_drawer(const ttitlebar *tb) {
  PORT_CHECK(tb != nullptr);
  return tb->_text_drawer;
}

tbdrawer *ttitlebar_get_background_drawer(const ttitlebar *tb) {
  PORT_CHECK(tb != nullptr);
  return tb->_background;
}

static void on_paint(tcontrol *control, tcanvas *canvas, const trect *rect) {
  ttitlebar *tb = reinterpret_cast<ttitlebar *>(control);
  if (control->_bdrawer) tbdrawer_draw(control->_bdrawer, canvas, rect);
  tbdrawer_draw(tb->_background, canvas, rect);
  ttdrawer_draw(tb->_text_drawer, canvas, tb->_title, -1, rect);
}
