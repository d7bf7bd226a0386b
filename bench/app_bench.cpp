// The application in process on the headless display at 480 x 640: the time
// from the port's start to the first paint of the painting, and one pencil
// pen-move through the whole road (dispatch, tool, cairo, refresh, screen
// paint of the dirty rectangle, flush) against a full-screen repaint; one pen
// move dragging a curve handle (restore, stroke, handles, refresh) against
// the same repaint; a Paint Bucket tap on an open 2000 x 2000 canvas (fill,
// record, refresh) against the toolkit canvas's flood fill of that area alone;
// the error box's opening against the full-screen repaint; a tap on a tool
// button of the translucent tool bar (dispatch, the old button unchecked, the
// new one checked, flush) against the full-screen repaint; a zoom-in tap on
// the zoom bar (blank, and over 200 pencil strokes, against the history's
// rebuild alone at the new zoom) and renewing the shown navigation thumbnail;
// the command panel's whole slide open (four composed and flushed steps, the
// port's 10 ms waits on a driven clock) against the same repaint; a tap
// stamping a text bar of 20 characters (commit, record, close, screen paint)
// against the same repaint.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app_common.h"
#include "bench_figures.h"
#include "commandpanel.h"
#include "os_clock.h"
#include "os_display.h"
#include "os_signal.h"
#include "os_message.h"
#include "paint_context.h"
#include "paint_history.h"
#include "paint_main.h"
#include "scalebar.h"
#include "shape.h"
#include "tbutton.h"
#include "tcanvas.h"
#include "tdialog.h"
#include "tedit.h"
#include "textbar.h"
#include "tmessagedialog.h"
#include "toolbar.h"
#include "tscreen.h"
#include "wins_window.h"

namespace {

using clock_type = std::chrono::steady_clock;

// A private user and documents folder, and the build's resources.
struct bench_folders {
  std::string root;
  bench_folders() {
    root = (std::filesystem::temp_directory_path() / ("brivola-app-bench-" + std::to_string(getpid()))).string();
    std::filesystem::create_directories(root);
    setenv("BRIVOLA_HOME", (root + "/home").c_str(), 1);
    setenv("XDG_DOCUMENTS_DIR", (root + "/docs").c_str(), 1);
    setenv("BRIVOLA_PROGRAM_DIR", BRIVOLA_PROGRAM_DIR, 1);
  }
  ~bench_folders() {
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
  }
};

std::function<void(app_context *)> g_body;
clock_type::time_point g_started;
double g_startup_ms = -1;

int bench_main(void *instance, const char16_t *command_line) {
  (void)instance;
  (void)command_line;
  app_context *app = paint_main_init();
  g_startup_ms = std::chrono::duration<double, std::milli>(clock_type::now() - g_started).count();
  if (!app) return 1;
  g_body(app);
  paint_main_deinit(app);
  return 0;
}

char16_t *bench_app_name(char16_t *buffer) {
  const char16_t name[] = u"Brivola";
  std::copy(name, name + sizeof name / sizeof name[0], buffer);
  return buffer;
}

// Runs the application's start-up, body and tear-down; 0 when it started.
int run_app(const std::function<void(app_context *)> &body) {
  static bench_folders folders;
  static const wins_window_app app = {bench_app_name, bench_main, nullptr, nullptr};
  os_display_select(os_display_headless_backend());
  g_body = body;
  char arg0[] = "brivola", arg1[] = "--screen", arg2[] = "480x640";
  char *argv[] = {arg0, arg1, arg2, nullptr};
  g_started = clock_type::now();
  int result = wins_window_main(3, argv, &app);
  // The program's end leaves its exit signals blocked for good; the bench
  // goes on, and the processes it starts must take a SIGTERM.
  os_signal_give_back();
  os_display_select(os_display_sdl_backend());
  return result;
}

// What a turn of the main loop does with the messages waiting now.
void pump() {
  os_message message;
  while (os_peek_message(&message)) {
    if (message.message == WM_QUIT) break;
    os_dispatch_message(&message);
  }
}

// Every repetition's starts go into one median.
void BM_startup_to_first_paint(benchmark::State &state) {
  static std::vector<double> times;
  for (auto _ : state) {
    if (run_app([](app_context *) {}) != 0) {
      state.SkipWithError("the application did not start");
      return;
    }
    state.SetIterationTime(g_startup_ms / 1000.0);
    times.push_back(g_startup_ms);
  }
  bench_set_median("startup_to_first_paint_ms", times);
}

void BM_pen_move_to_flush(benchmark::State &state) {
  int result = run_app([&](app_context *) {
    os_input_pen(OS_PEN_DOWN, 240, 320, 0);
    pump();
    int step = 0;
    for (auto _ : state) {
      double angle = 0.1 * step++;
      os_input_pen(OS_PEN_MOVE, 240 + int(std::lround(60 * std::cos(angle))), 320 + int(std::lround(60 * std::sin(angle))), 0);
      pump();
    }
    os_input_pen(OS_PEN_UP, 240, 320, 0);
    pump();
  });
  if (result != 0) state.SkipWithError("the application did not start");
}

void BM_full_repaint(benchmark::State &state) {
  int result = run_app([&](app_context *) {
    tscreen *screen = tscreen_get();
    for (auto _ : state) tscreen_paint(screen, nullptr);
  });
  if (result != 0) state.SkipWithError("the application did not start");
}

void BM_curve_handle_drag(benchmark::State &state) {
  int result = run_app([&](app_context *app) {
    app->_current_tool = paint_context_find_tool(app->_paint_context, SHAPE_ID_CURVE);
    // The line stage, then the end handle taken and dragged round its place.
    for (int type : {OS_PEN_DOWN, OS_PEN_MOVE, OS_PEN_UP}) {
      os_input_pen(type, type == OS_PEN_DOWN ? 100 : 380, type == OS_PEN_DOWN ? 300 : 340, 0);
      pump();
    }
    os_input_pen(OS_PEN_DOWN, 380, 340, 0);
    pump();
    int step = 0;
    for (auto _ : state) {
      double angle = 0.2 * step++;
      os_input_pen(OS_PEN_MOVE, 380 + int(std::lround(40 * std::cos(angle))),
                   340 + int(std::lround(40 * std::sin(angle))), 0);
      pump();
    }
    os_input_pen(OS_PEN_UP, 380, 340, 0);
    pump();
  });
  if (result != 0) state.SkipWithError("the application did not start");
}

constexpr int32_t BUCKET_SIDE = 2000;
const uint32_t BUCKET_COLORS[2] = {0xFF2080C0u, 0xFFC08020u};

void BM_bucket_tap_2000(benchmark::State &state) {
  int result = run_app([&](app_context *app) {
    paint_context *pc = app->_paint_context;
    tcolor white;
    tcolor_make(&white, 255, 255, 255, 255);
    if (!paint_context_load_blank(pc, BUCKET_SIDE, BUCKET_SIDE, white)) {
      state.SkipWithError("no memory for the canvas");
      return;
    }
    paint_context_clear(pc);
    paint_history_reset(app->_history);
    app->_current_tool = paint_context_find_tool(pc, SHAPE_ID_PAINT_BUCKET);
    int step = 0;
    for (auto _ : state) {
      // Every 25th record writes a checkpoint of the whole canvas: the
      // history's cost, measured by its own benchmark, not the tap's.
      if (paint_history_get_count(app->_history) == PAINT_HISTORY_CHECKPOINT_STEP - 1) {
        state.PauseTiming();
        paint_history_reset(app->_history);
        state.ResumeTiming();
      }
      tcolor fore;
      uint32_t word = BUCKET_COLORS[step++ % 2];
      tcolor_make(&fore, int(word >> 16 & 0xFF), int(word >> 8 & 0xFF), int(word & 0xFF), 255);
      paint_context_set_fore_color(pc, fore);
      os_input_pen(OS_PEN_DOWN, 240, 320, 0);
      os_input_pen(OS_PEN_UP, 240, 320, 0);
      pump();
    }
  });
  if (result != 0) state.SkipWithError("the application did not start");
}

void BM_flood_fill_2000(benchmark::State &state) {
  tbitmap *bitmap = tbitmap_new(BUCKET_SIDE, -BUCKET_SIDE, 32);
  if (!bitmap) {
    state.SkipWithError("no memory for the bitmap");
    return;
  }
  tbitmap_fill_rect(bitmap, 0, 0, BUCKET_SIDE - 1, BUCKET_SIDE - 1, 0xFFFFFFFFu);
  tcanvas canvas;
  tcanvas_init_on_bitmap(&canvas, bitmap);
  int step = 0;
  for (auto _ : state) {
    tcanvas_set_brush(&canvas, TCANVAS_BRUSH_SOLID, BUCKET_COLORS[step++ % 2]);
    tcanvas_flood_fill(&canvas, 1000, 1000, 32);
  }
  tcanvas_deinit(&canvas);
  tbitmap_free(bitmap);
}

// The error box from nothing to the screen: build, show, the dimmed paint of
// the whole screen. Closing it (a second whole-screen paint) is not timed.
void BM_message_box_open(benchmark::State &state) {
  int result = run_app([&](app_context *) {
    tscreen *screen = tscreen_get();
    for (auto _ : state) {
      app_common_show_error(u"The storage card is full.");
      state.PauseTiming();
      tdialog_close(reinterpret_cast<tdialog *>(tscreen_get_modal(screen)), TMESSAGEDIALOG_RESULT_BACK);
      state.ResumeTiming();
    }
  });
  if (result != 0) state.SkipWithError("the application did not start");
}

// Taps alternate between two tool buttons, so that each one unchecks the
// other's button and checks its own.
void BM_toolbar_tap(benchmark::State &state) {
  int result = run_app([&](app_context *app) {
    const int32_t tools[2] = {SHAPE_ID_LINE, SHAPE_ID_RECT};
    tpoint centres[2];
    for (int i = 0; i < 2; i++) {
      trect r;
      tsurface_get_screen_rect(&toolbar_get_button(app->_toolbar, tools[i])->_control._surface, &r);
      centres[i] = {(r.x1 + r.x2) / 2, (r.y1 + r.y2) / 2};
    }
    int step = 0;
    for (auto _ : state) {
      tpoint at = centres[step++ % 2];
      os_input_pen(OS_PEN_DOWN, at.x, at.y, 0);
      os_input_pen(OS_PEN_UP, at.x, at.y, 0);
      pump();
    }
    if (shape_get_id(app->_current_tool) != tools[(step + 1) % 2]) state.SkipWithError("the taps selected nothing");
  });
  if (result != 0) state.SkipWithError("the application did not start");
}

constexpr int32_t ZOOM_STEP_PERCENT = 110;
constexpr int ZOOM_STROKES = 200;

// Pencil strokes across the painting, each its own history record.
void draw_strokes(int count) {
  for (int i = 0; i < count; i++) {
    int y = 20 + (i * 3) % 600, x = 20 + (i * 7) % 200;
    os_input_pen(OS_PEN_DOWN, x, y, 0);
    for (int k = 1; k <= 8; k++) os_input_pen(OS_PEN_MOVE, x + 30 * k, y + ((k & 1) ? 15 : -15), 0);
    os_input_pen(OS_PEN_UP, x + 240, y, 0);
    pump();
  }
}

// Back to 100% and the 110% checkpoints gone, untimed, before each tap.
void zoom_taps(benchmark::State &state, app_context *app) {
  if (!paint_main_toggle_zoom_bar()) {
    state.SkipWithError("no zoom bar");
    return;
  }
  trect in;
  tsurface_get_screen_rect(&app->_scalebar->_zoom_in->_control._surface, &in);
  int x = (in.x1 + in.x2) / 2, y = (in.y1 + in.y2) / 2;
  for (auto _ : state) {
    state.PauseTiming();
    scalebar_zoom_to(app->_scalebar, 1.0, 1);
    paint_history_delete_zoom_checkpoints(app->_history, ZOOM_STEP_PERCENT);
    pump();
    state.ResumeTiming();
    os_input_pen(OS_PEN_DOWN, x, y, 0);
    os_input_pen(OS_PEN_UP, x, y, 0);
    pump();
  }
  if (std::fabs(paint_context_get_zoom(app->_paint_context) - 1.1) > 1e-9) state.SkipWithError("the tap missed");
}

void BM_zoom_step(benchmark::State &state) {
  int result = run_app([&](app_context *app) { zoom_taps(state, app); });
  if (result != 0) state.SkipWithError("the application did not start");
}

void BM_zoom_step_200_strokes(benchmark::State &state) {
  int result = run_app([&](app_context *app) {
    draw_strokes(ZOOM_STROKES);
    zoom_taps(state, app);
  });
  if (result != 0) state.SkipWithError("the application did not start");
}

void BM_rebuild_200_strokes_at_zoom(benchmark::State &state) {
  int result = run_app([&](app_context *app) {
    draw_strokes(ZOOM_STROKES);
    paint_context_set_zoom(app->_paint_context, ZOOM_STEP_PERCENT / 100.0);
    for (auto _ : state) {
      state.PauseTiming();
      paint_history_delete_zoom_checkpoints(app->_history, ZOOM_STEP_PERCENT);
      state.ResumeTiming();
      paint_history_rebuild(app->_history);
    }
  });
  if (result != 0) state.SkipWithError("the application did not start");
}

void BM_thumbnail_update(benchmark::State &state) {
  int result = run_app([&](app_context *) {
    paint_main_show_thumbnail(1);
    for (auto _ : state) paint_main_renew_thumbnail();
  });
  if (result != 0) state.SkipWithError("the application did not start");
}

// Closing again (the same work the other way) is not timed.
void BM_commandpanel_slide(benchmark::State &state) {
  int result = run_app([&](app_context *app) {
    commandpanel *cp = app->_commandpanel;
    os_clock_drive(1);
    for (auto _ : state) {
      commandpanel_toggle(cp->_tab, 1);
      state.PauseTiming();
      commandpanel_toggle(cp->_tab, 1);
      state.ResumeTiming();
    }
    os_clock_drive(0);
  });
  if (result != 0) state.SkipWithError("the application did not start");
}

// A tap outside an open text bar holding 20 characters: the text stamped and
// recorded (no checkpoint falls due), the bar freed, the screen painted.
void BM_text_commit(benchmark::State &state) {
  int result = run_app([&](app_context *app) {
    shape *text_tool = paint_context_find_tool(app->_paint_context, SHAPE_ID_TEXT);
    const trect box = {60, 200, 400, 260};
    for (auto _ : state) {
      state.PauseTiming();
      if (paint_history_get_count(app->_history) == PAINT_HISTORY_CHECKPOINT_STEP - 1)
        paint_history_reset(app->_history);
      paint_main_open_textbar(text_tool, &box);
      if (app->_textbar) tedit_set_text(app->_textbar->_edit, u"Twenty characters ok", -1);
      pump();
      state.ResumeTiming();
      os_input_pen(OS_PEN_DOWN, 420, 420, 0);  // clear of every panel
      os_input_pen(OS_PEN_UP, 420, 420, 0);
      pump();
    }
  });
  if (result != 0) state.SkipWithError("the application did not start");
}

}  // namespace

BENCHMARK(BM_startup_to_first_paint)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_pen_move_to_flush);
BENCHMARK(BM_full_repaint);
BENCHMARK(BM_message_box_open);
static int startup_figure = bench_register_value("startup_to_first_paint_ms", 150);
BENCH_RATIO("pen_to_flush_vs_full_repaint", "BM_pen_move_to_flush", "BM_full_repaint", 0.15);
BENCHMARK(BM_curve_handle_drag);
BENCHMARK(BM_bucket_tap_2000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_flood_fill_2000)->Unit(benchmark::kMillisecond);
BENCH_RATIO("curve_handle_drag_vs_full_repaint", "BM_curve_handle_drag", "BM_full_repaint", 0);
// What holds the step: a quarter of a 60 Hz frame.
BENCH_MS_GOAL("curve_handle_drag_ms", "BM_curve_handle_drag", 4);
// Reported only: it compares with our own fill, whose speed-ups shrink its
// reference. What a tap adds to the fill (record, refresh) is held instead:
// at most 2 ms over the fill measured in the same run.
BENCH_RATIO("bucket_tap_2000_vs_flood_fill", "BM_bucket_tap_2000", "BM_flood_fill_2000", 0);
BENCH_MS_BESIDE("bucket_tap_2000_ms", "BM_bucket_tap_2000", "BM_flood_fill_2000", 2);
BENCHMARK(BM_toolbar_tap);
BENCH_RATIO("toolbar_tap_to_flush_vs_full_repaint", "BM_toolbar_tap", "BM_full_repaint", 0.25);
BENCH_RATIO("message_box_open_vs_full_repaint", "BM_message_box_open", "BM_full_repaint", 3);
BENCHMARK(BM_zoom_step)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_zoom_step_200_strokes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_rebuild_200_strokes_at_zoom)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_thumbnail_update);
BENCH_RATIO("zoom_step_vs_full_repaint", "BM_zoom_step", "BM_full_repaint", 4);
// Reported only: a zoom step ends in that very rebuild, so the ratio is about 1 by construction.
BENCH_RATIO("zoom_step_200_strokes_vs_rebuild", "BM_zoom_step_200_strokes", "BM_rebuild_200_strokes_at_zoom", 0);
BENCH_RATIO("thumbnail_update_vs_full_repaint", "BM_thumbnail_update", "BM_full_repaint", 0);
// What holds the step: a quarter of a 60 Hz frame.
BENCH_MS_GOAL("thumbnail_update_ms", "BM_thumbnail_update", 4);
BENCHMARK(BM_commandpanel_slide);
BENCH_RATIO("commandpanel_slide_vs_full_repaint", "BM_commandpanel_slide", "BM_full_repaint", 4);
BENCHMARK(BM_text_commit);
BENCH_RATIO("text_commit_vs_full_repaint", "BM_text_commit", "BM_full_repaint", 1.5);
