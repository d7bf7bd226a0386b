// The application started for a test.
#include "app_test_env.h"

#include <cairo.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "app_common.h"
#include "commandpanel.h"
#include "os_clock.h"
#include "os_display.h"
#include "paint_context.h"
#include "paint_main.h"
#include "port_test_app.h"
#include "test_env.h"
#include "tdialog.h"
#include "tmenu.h"
#include "toolbar.h"
#include "tcontrol.h"
#include "tscreen.h"
#include "tstyler.h"
#include "wins_timer.h"

app_test_folders::app_test_folders() {
  port_test_user_dir();  // the port's own, made once; ours replaces it
  root = test_make_temp_dir("app");
  home = root + "/home";
  docs = root + "/docs";
  setenv("BRIVOLA_HOME", home.c_str(), 1);
  setenv("XDG_DOCUMENTS_DIR", docs.c_str(), 1);
  // The resources are the build's, also when the test runs outside ctest.
  const char *program = std::getenv("BRIVOLA_PROGRAM_DIR");
  if (!program || !*program) setenv("BRIVOLA_PROGRAM_DIR", BRIVOLA_PROGRAM_DIR, 1);
}

app_test_folders::~app_test_folders() {
  setenv("BRIVOLA_HOME", port_test_user_dir().c_str(), 1);
  unsetenv("XDG_DOCUMENTS_DIR");
  test_remove_tree(root);
}

int app_test_run(const std::function<void(app_context *)> &body, const char *screen) {
  int started = 0;
  port_test_run_app(
      [&] {
        // The clock stands still through the start, so that no timer of the
        // start (the restore of a kept painting) fires before the body can
        // answer what it shows, however slowly the machine runs.
        int was_driven = os_clock_is_driven();
        os_clock_drive(1);
        app_context *app = paint_main_init();
        if (!app) {
          if (!was_driven) os_clock_drive(0);
          return 1;
        }
        started = 1;
        port_test_pump();
        if (!was_driven) os_clock_drive(0);
        body(app);
        paint_main_deinit(app);
        EXPECT_EQ(tstyler_get_defaults(), nullptr) << "the tear-down frees the style set";
        tscreen *screen = tscreen_get();
        EXPECT_EQ(screen->_surfaces.next, &screen->_surfaces) << "the tear-down leaves nothing on the screen";
        return 0;
      },
      screen);
  return started;
}

void app_test_remove_toolbar(app_context *app) {
  if (!app->_toolbar) return;
  toolbar_free(app->_toolbar);
  app->_toolbar = nullptr;
  tscreen_paint(tscreen_get(), nullptr);
}

void app_test_pen(int type, int x, int y) {
  os_input_pen(type, x, y, 0);
  port_test_pump();
}

void app_test_char(char16_t c) {
  os_input_char(c);
  port_test_pump();
}

void app_test_stroke(const int (*points)[2], int count) {
  for (int i = 0; i < count; i++)
    app_test_pen(i == 0 ? OS_PEN_DOWN : i == count - 1 ? OS_PEN_UP : OS_PEN_MOVE, points[i][0], points[i][1]);
}

namespace {
void run_script_step(uint32_t id, void *user_data) {
  app_test_script *script = static_cast<app_test_script *>(user_data);
  if (script->next >= script->steps.size()) {
    wins_timer_stop(id);
    return;
  }
  script->steps[script->next++]();
}
}  // namespace

void app_test_script_start(app_test_script *script, uint32_t period_ms) {
  script->next = 0;
  wins_timer_start(period_ms, 0, run_script_step, script);
}

void app_test_post_tap_at(int32_t x, int32_t y) {
  os_input_pen(OS_PEN_DOWN, x, y, 0);
  os_input_pen(OS_PEN_UP, x, y, 0);
}

void app_test_post_tap(void *control) {
  trect r;
  tsurface_get_screen_rect(&static_cast<tcontrol *>(control)->_surface, &r);
  app_test_post_tap_at((r.x1 + r.x2) / 2, (r.y1 + r.y2) / 2);
}

uint32_t app_test_canvas_pixel(app_context *app, int x, int y) {
  cairo_surface_flush(cairo_get_target(paint_context_get_cairo(app->_paint_context)));
  return tbitmap_get_pixel(paint_context_get_canvas(app->_paint_context), x, y);
}

std::string app_test_canvas_bytes(app_context *app) {
  cairo_surface_flush(cairo_get_target(paint_context_get_cairo(app->_paint_context)));
  tbitmap *canvas = paint_context_get_canvas(app->_paint_context);
  size_t bytes = size_t(tbitmap_get_stride(canvas)) * size_t(tbitmap_get_height(canvas));
  return std::string(reinterpret_cast<const char *>(canvas->_pixels), bytes);
}

int app_test_run_fresh(const std::function<void(app_context *)> &body, const char *screen) {
  app_test_folders folders;
  return app_test_run(body, screen);
}

trect app_test_screen_rect(tsurface *surface) {
  trect r;
  tsurface_get_screen_rect(surface, &r);
  return r;
}

void app_test_tap(int x, int y) {
  app_test_pen(OS_PEN_DOWN, x, y);
  app_test_pen(OS_PEN_UP, x, y);
}

void app_test_tap_surface(tsurface *surface) {
  trect r = app_test_screen_rect(surface);
  app_test_tap((r.x1 + r.x2) / 2, (r.y1 + r.y2) / 2);
}

void app_test_run_for(uint32_t ms) {
  for (uint32_t t = 0; t < ms; t += 10) {
    os_clock_advance(10);
    port_test_pump();
  }
}

tlistbox *app_test_modal_list() {
  tsurface *modal = tscreen_get_modal(tscreen_get());
  return modal ? tmenu_get_listbox(reinterpret_cast<tmenu *>(modal)) : nullptr;
}

void app_test_close_modal() {
  if (tdialog *dialog = app_test_dialog()) tdialog_close(dialog, 0);
  port_test_pump();
}

tdialog *app_test_dialog() {
  tdialog *top = tdialog_get_top();
  return top && tscreen_get_modal(tscreen_get()) == &top->_control._surface ? top : nullptr;
}

tsurface *app_test_popup() {
  tsurface *modal = tscreen_get_modal(tscreen_get());
  app_context *app = app_common_find_app();
  commandpanel *cp = app ? app->_commandpanel : nullptr;
  return cp && modal == &reinterpret_cast<tcontrol *>(cp->_tab)->_surface ? nullptr : modal;
}

std::vector<uint32_t> app_test_shown(const trect *r) {
  tscreen *screen = tscreen_get();
  trect all = {0, 0, tscreen_get_width(screen) - 1, tscreen_get_height(screen) - 1};
  if (!r) r = &all;
  std::vector<uint32_t> pixels;
  for (int32_t y = r->y1; y <= r->y2; y++)
    for (int32_t x = r->x1; x <= r->x2; x++) pixels.push_back(os_headless_get_pixel(x, y));
  return pixels;
}
