// The pressed look of a soft key against a full-screen repaint, on the
// headless display at 480 x 640 over a painting as the application shows it.
// The soft key sits in a control bar docked at the bottom of the screen (the
// bar a dialog shows); each press is the road of a key from the screen's
// dispatch to the flush of the button's area. The key clicks the press before
// it when it comes within 100 ms, as here, so each step also runs a click.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>

#include "bench_figures.h"
#include "os_display.h"
#include "os_signal.h"
#include "tbitmap.h"
#include "tcontrolbar.h"
#include "tscreen.h"
#include "tstyler.h"
#include "wins_window.h"

namespace {

constexpr int32_t SCREEN_W = 480, SCREEN_H = 640;

std::function<void(tscreen *)> g_body;
tbitmap *g_painting = nullptr;

// The application's paint hook shows its 32-bit canvas behind everything.
void paint_painting(tscreen *screen, const trect *rect) {
  tpoint at = {rect->x1, rect->y1};
  tcanvas_draw_bitmap(tscreen_get_canvas(screen), &at, g_painting, rect);
}

// A control bar with its two soft keys over the painting.
int bench_main(void *, const char16_t *) {
  if (!tstyler_load_defaults()) return 1;
  tscreen *screen = tscreen_get();
  g_painting = tbitmap_new(SCREEN_W, -SCREEN_H, 32);
  for (int32_t y = 0; y < SCREEN_H; y++)
    for (int32_t x = 0; x < SCREEN_W; x++) tbitmap_set_pixel(g_painting, x, y, 0xFF000000u | uint32_t(x * 977 + y * 131));
  tscreen_set_paint_hook(screen, paint_painting);
  trect empty = {0, 0, -1, -1};
  tcontrolbar *bar = tcontrolbar_new(nullptr, &empty, nullptr);
  tbutton_set_text(tcontrolbar_get_left_button(bar), u"OK");
  tbutton_set_text(tcontrolbar_get_right_button(bar), u"Cancel");
  tsurface_set_visible(&tcontrolbar_get_middle_button(bar)->_control._surface, 0);
  tcontrol_realize(&bar->_control);
  tscreen_paint(screen, nullptr);
  g_body(screen);
  tcontrolbar_free(bar);
  tscreen_set_paint_hook(screen, nullptr);
  tbitmap_free(g_painting);
  tstyler_free_defaults();
  return 0;
}

char16_t *bench_app_name(char16_t *buffer) {
  const char16_t name[] = u"Brivola";
  std::memcpy(buffer, name, sizeof name);
  return buffer;
}

int run_on_screen(const std::function<void(tscreen *)> &body) {
  static std::string home = (std::filesystem::temp_directory_path() / ("brivola-widget-bench-" + std::to_string(getpid()))).string();
  setenv("BRIVOLA_HOME", home.c_str(), 1);
  setenv("BRIVOLA_PROGRAM_DIR", BRIVOLA_PROGRAM_DIR, 1);
  static const wins_window_app app = {bench_app_name, bench_main, nullptr, nullptr};
  os_display_select(os_display_headless_backend());
  g_body = body;
  char arg0[] = "brivola", arg1[] = "--screen", arg2[] = "480x640";
  char *argv[] = {arg0, arg1, arg2, nullptr};
  int result = wins_window_main(3, argv, &app);
  // The program's end leaves its exit signals blocked for good; the bench
  // goes on, and the processes it starts must take a SIGTERM.
  os_signal_give_back();
  os_display_select(os_display_sdl_backend());
  std::error_code ignored;
  std::filesystem::remove_all(home, ignored);
  return result;
}

void BM_softkey_pressed_look(benchmark::State &state) {
  int result = run_on_screen([&](tscreen *screen) {
    for (auto _ : state) tscreen_dispatch_key(screen, TCONTROLBAR_LEFT_KEY, 0, 0);
  });
  if (result != 0) state.SkipWithError("the port did not start");
}

void BM_softkey_full_repaint(benchmark::State &state) {
  int result = run_on_screen([&](tscreen *screen) {
    for (auto _ : state) tscreen_paint(screen, nullptr);
  });
  if (result != 0) state.SkipWithError("the port did not start");
}

}  // namespace

BENCHMARK(BM_softkey_pressed_look);
BENCHMARK(BM_softkey_full_repaint);
BENCH_RATIO("button_press_in_dialog_vs_full_repaint", "BM_softkey_pressed_look", "BM_softkey_full_repaint", 0.3);
