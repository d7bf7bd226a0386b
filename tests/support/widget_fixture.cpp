// Test clock, fixed metrics, screen input and the shared screens for the
// widget tests.
#include "widget_fixture.h"

#include "gui_fixture.h"
#include "os_clock.h"
#include "port_test_app.h"
#include "tcontrol.h"
#include "wins_graphics.h"
#include "wins_timer.h"

widget_env::widget_env() {
  os_clock_drive(1);
  wins_graphics_set_dpi(72);
  wins_graphics_set_fixed_metrics(1);
}

widget_env::~widget_env() {
  wins_graphics_set_fixed_metrics(0);
  wins_graphics_set_dpi(0);
  wins_timer_stop_all();
  os_clock_drive(0);
}

void widget_run_for(uint32_t ms) {
  for (uint32_t t = 0; t < ms; t += 10) {
    os_clock_advance(10);
    port_test_pump();
  }
}

int widget_pen(int type, int32_t x, int32_t y) { return tscreen_dispatch_pen(tscreen_get(), type, x, y, 0); }

int widget_key(uint32_t code) { return tscreen_dispatch_key(tscreen_get(), code, 0, 0); }

void widget_tap(int32_t x, int32_t y) {
  widget_pen(TSCREEN_PEN_DOWN, x, y);
  widget_pen(TSCREEN_PEN_UP, x, y);
}

void run_widget_test(const std::function<void(tscreen *)> &body, const char *size) {
  widget_env env;
  run_on_styled_screen(body, size);
}

void run_widget_test_240x320(const std::function<void(tscreen *)> &body) { run_widget_test(body, "240x320"); }

void widget_flick(int32_t x, int32_t y, int32_t dy) {
  widget_pen(TSCREEN_PEN_DOWN, x, y);
  widget_run_for(10);
  widget_pen(TSCREEN_PEN_MOVE, x, y + dy);
  widget_run_for(10);
  widget_pen(TSCREEN_PEN_UP, x, y + dy);
}

trect widget_screen_rect(void *control) {
  trect r;
  tsurface_get_screen_rect(&static_cast<tcontrol *>(control)->_surface, &r);
  return r;
}

void widget_tap_control(void *control) {
  trect r = widget_screen_rect(control);
  widget_tap((r.x1 + r.x2) / 2, (r.y1 + r.y2) / 2);
}

void widget_soft_key(uint32_t code) {
  widget_key(code);
  widget_run_for(100);
}

void *widget_modal_owner() {
  tsurface *modal = tscreen_get_modal(tscreen_get());
  return modal ? tsurface_get_owner(modal) : nullptr;
}

tcontrol *widget_new_key_taker(int32_t y, int *keys) {
  trect r = {0, y, 9, y + 9};
  tcontrol *taker = tcontrol_new(nullptr, &r, keys);
  tcontrol_set_on_key(taker, [](tcontrol *control, uint32_t, uint32_t, uint32_t) {
    ++*static_cast<int *>(tsurface_get_owner(&control->_surface));
    return 1;
  });
  tcontrol_realize(taker);
  return taker;
}

void widget_take_all_timers() {
  while (wins_timer_start(1000000, 0, [](uint32_t, void *) {}, nullptr)) {
  }
}

tpoint widget_list_row_point(tlistbox *list, int32_t row) {
  trect at;
  tsurface_get_screen_rect(&list->_control._surface, &at);
  const trect *r = tlistbox_get_item_rect(list, row);
  return {at.x1 + (r->x1 + r->x2) / 2, at.y1 + (r->y1 + r->y2) / 2};
}

void widget_tap_list_row(tlistbox *list, int32_t row) {
  tpoint p = widget_list_row_point(list, row);
  widget_tap(p.x, p.y);
}
