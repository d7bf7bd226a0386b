// The canvas hooks: what the painting area shows, the resize frame and its
// crop records, the keys, and the layout after a rotation.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

#include "app_test_env.h"
#include "test_env.h"
#include "os_clock.h"
#include "os_display.h"
#include "paint_context.h"
#include "paint_fixture.h"
#include "paint_history.h"
#include "paint_main.h"
#include "scalebar.h"
#include "port_test_app.h"
#include "screen_fixture.h"
#include "shape.h"
#include "tbitmap.h"
#include "tdialog.h"
#include "test_bitmap.h"
#include "tdock.h"
#include "tlabel.h"
#include "tmessagedialog.h"
#include "toolbar.h"
#include "tscreen.h"

namespace {

constexpr uint32_t k_background_565 = (64u >> 3) << 11 | (64u >> 2) << 5 | (64u >> 3);
constexpr uint32_t k_new_color = 0xFFFFFF99u;  // the new painting's (255, 255, 153)

// The application on a screen of `screen` with a canvas of width x height
// (through config.xml), the resize frame shown.
void with_canvas(int32_t width, int32_t height, const std::function<void(app_context *)> &body,
                 const char *screen = "480x640") {
  app_test_folders folders;
  mkdir(folders.home.c_str(), 0755);
  char config[160];
  std::snprintf(config, sizeof config, "<Brivola><NewWidth>%d</NewWidth><NewHeight>%d</NewHeight></Brivola>", width,
                height);
  test_write_file(folders.home + "/config.xml", config);
  ASSERT_TRUE(app_test_run(
      [&](app_context *app) {
        app_test_remove_toolbar(app);
        app->_resizing = 1;
        paint_main_update_frame();
        body(app);
      },
      screen));
}

// The fields of the last history record, which must be a crop.
std::vector<int32_t> last_crop(app_context *app) {
  paint_history_record *record = paint_history_get_record(app->_history, paint_history_get_count(app->_history) - 1);
  if (!record || record->_operation != PAINT_HISTORY_OP_CROP || record->_size != 32) return {};
  test_bytes payload(record->_payload, record->_payload + 32);
  std::vector<int32_t> fields;
  for (size_t i = 0; i < 8; i++) fields.push_back(int32_t(test_le32(payload, 4 * i)));
  return fields;
}

void drag(tpoint from, tpoint to) {
  app_test_pen(OS_PEN_DOWN, from.x, from.y);
  app_test_pen(OS_PEN_MOVE, to.x, to.y);
  app_test_pen(OS_PEN_UP, to.x, to.y);
}

int32_t canvas_width(app_context *app) { return tbitmap_get_width(paint_context_get_canvas(app->_paint_context)); }
int32_t canvas_height(app_context *app) { return tbitmap_get_height(paint_context_get_canvas(app->_paint_context)); }
std::vector<int32_t> canvas_size(app_context *app) { return {canvas_width(app), canvas_height(app)}; }
std::vector<int32_t> origin_of(app_context *app) {
  tpoint o;
  paint_context_get_origin(app->_paint_context, &o);
  return {o.x, o.y};
}
std::vector<int32_t> handle(app_context *app, int i) { return {app->_handle_points[i].x, app->_handle_points[i].y}; }

// A pen slot that takes every event landing on its surface, whatever came before.
int takes_what_lands_on_it(tsurface *surface, int, int32_t x, int32_t y, uint32_t) {
  const trect *r = tsurface_get_rect(surface);
  return x >= r->x1 && x <= r->x2 && y >= r->y1 && y <= r->y2;
}

int refusals = 0;
void *refusing_grow(void *block, size_t bytes) {
  return refusals > 0 && refusals-- ? nullptr : std::realloc(block, bytes);
}

// The stop box's text, the box closed; empty when none is up.
std::u16string close_box() {
  tdialog *box = app_test_dialog();
  if (!box) return u"";
  tlabel *label = tmessagedialog_get_label(static_cast<tmessagedialog *>(tsurface_get_owner(app_test_popup())));
  std::u16string text(label->_text, size_t(label->_length));
  tdialog_close(box, TMESSAGEDIALOG_RESULT_BACK);
  return text;
}

}  // namespace

// Each kind of step on a restored painting of 64 records (62 clears, a crop
// that grows the canvas, a stroke) whose list is refused one growth. Without
// memory for a replay over the crop either, a step not put back otherwise is
// recorded at a second try.
TEST(RefusedRecord, AStepTheHistoryCannotTakeLeavesNothingOnTheScreenAndSaysSo) {
  test_bytes kept;
  std::string picture;
  with_canvas(200, 101, [&](app_context *app) {
    for (int i = 0; i < 62; i++) paint_history_add(app->_history, PAINT_HISTORY_OP_CLEAR, nullptr, 0);
    drag({140, 270}, {120, 250});
    app->_resizing = 0;
    drag({170, 300}, {320, 350});
    app_test_char(u'Q');
    kept = test_read_file(std::string(getenv("BRIVOLA_HOME")) + "/cache/paint.cache");
  });
  typedef std::function<void(app_context *, const trect &)> action;
  auto use = [](int32_t id) {
    return [id](app_context *app, const trect &) {
      app->_current_tool = paint_context_find_tool(app->_paint_context, id);
    };
  };
  action shape = [](app_context *, const trect &c) { drag({c.x1 + 30, c.y1 + 30}, {c.x1 + 140, c.y1 + 80}); };
  action tap_away = [](app_context *, const trect &) { app_test_tap(60, 100); };
  action frame = [](app_context *app, const trect &) { toolbar_select(app->_toolbar, TOOLBAR_RESIZE_CANVAS); };
  const struct { const char *name; bool puts_back; action prepare, step; } rows[] = {
      {"pencil", false, use(SHAPE_ID_PENCIL), shape},
      {"line", true, use(SHAPE_ID_LINE), shape},
      {"curve", true, use(SHAPE_ID_CURVE), [&](app_context *app, const trect &c) { shape(app, c), tap_away(app, c); }},
      {"bucket", false, use(SHAPE_ID_PAINT_BUCKET), [](app_context *, const trect &c) { app_test_tap(c.x1, c.y2); }},
      {"text", false,
       [&](app_context *app, const trect &c) { use(SHAPE_ID_TEXT)(app, c), shape(app, c), app_test_char(u'H'); },
       tap_away},
      {"picture", false, [&](app_context *, const trect &) { paint_main_open_imagebar(test_wide(picture).c_str()); },
       tap_away},
      {"crop", true, frame,
       [&](app_context *app, const trect &c) { drag({c.x2, c.y2}, {c.x2 - 40, c.y2}), frame(app, c); }},
      {"clear", false, use(SHAPE_ID_PENCIL),
       [](app_context *app, const trect &) { toolbar_select(app->_toolbar, TOOLBAR_CLEAR); }},
  };
  for (bool replay_short : {false, true})
    for (const auto &r : rows) {
      SCOPED_TRACE(std::string(r.name) + (replay_short ? ", no memory to replay" : ""));
      app_test_folders folders;
      std::filesystem::create_directories(folders.home + "/cache");
      test_write_file(folders.home + "/cache/paint.cache", kept);
      tbitmap_save_bmp(test_pattern_bitmap(100, 100, 24).get(), test_wide(picture = folders.root + "/p.bmp").c_str());
      ASSERT_TRUE(app_test_run([&](app_context *app) {
        os_clock_drive(1);
        app_test_run_for(PAINT_MAIN_RESTORE_DELAY_MS);
        toolbar_hide(app->_toolbar);
        std::string before = app_test_canvas_bytes(app);
        trect area = paint_main_canvas_rect();
        std::vector<uint32_t> shown = app_test_shown(&area);
        r.prepare(app, area), port_test_pump();
        refusals = 1;
        paint_history_grow_fn grow = paint_history_set_list_grow(refusing_grow);
        uint64_t budget = tbitmap_set_budget(replay_short ? 220 * 121 * 4 - 1 : tbitmap_get_budget());
        r.step(app, area);
        tbitmap_set_budget(budget), paint_history_set_list_grow(grow);
        EXPECT_TRUE(canvas_matches_rebuild(app->_paint_context, app->_history));
        if (!replay_short || r.puts_back) {
          EXPECT_EQ(close_box(), u"Not enough memory to complete this task.");
          EXPECT_TRUE(app_test_canvas_bytes(app) == before && app_test_shown(&area) == shown);
          app_test_char(u'b');
          EXPECT_EQ(paint_history_get_position(app->_history), 62);
          app_test_char(u'f');
          EXPECT_TRUE(app_test_shown(&area) == shown);
          r.prepare(app, area), port_test_pump(), r.step(app, area);
        }
        EXPECT_EQ(close_box(), u"");
        EXPECT_EQ(paint_history_get_count(app->_history), 65);
        EXPECT_FALSE(app_test_canvas_bytes(app) == before) << "the step shows";
        EXPECT_TRUE(canvas_matches_rebuild(app->_paint_context, app->_history));
        os_clock_drive(0);
      }));
    }
}

TEST(ResizeFrame, HandlesSitOnTheCanvasCornersAndEdgeMiddles) {
  // A 200 x 101 canvas centred on 480 x 640: (140, 270) to (339, 370).
  with_canvas(200, 101, [](app_context *app) {
    const tpoint expected[8] = {{140, 270}, {240, 270}, {339, 270}, {339, 320},
                                {339, 370}, {240, 370}, {140, 370}, {140, 320}};
    for (int i = 0; i < 8; i++) {
      EXPECT_EQ(handle(app, i), (std::vector<int32_t>{expected[i].x, expected[i].y})) << i;
      trect square = {expected[i].x - 15, expected[i].y - 15, expected[i].x + 15, expected[i].y + 15};
      EXPECT_TRUE(trect_is_equal(&app->_handle_rects[i], &square)) << i;
    }
    // The square's right and bottom edges do not start a drag.
    paint_main_mouse(1, 339 + 15, 320, 0);  // the pencil's
    EXPECT_EQ(app->_drag_handle, -1);
    paint_main_mouse(2, 339 + 15, 320, 0);
    paint_main_mouse(1, 339 + 14, 320 + 14, 0);
    EXPECT_EQ(app->_drag_handle, 3);
    paint_main_mouse(2, 339 + 14, 320 + 14, 0);
    EXPECT_EQ(last_crop(app), (std::vector<int32_t>{0, 0, 199, 100, 0, 0, 199, 100})) << "lifted without a move";
    EXPECT_EQ(paint_main_mouse(4, 200, 300, 0), 1) << "a cancel is taken and does nothing";
  });
  with_canvas(100, 100, [](app_context *app) {
    EXPECT_EQ(app->_handle_rects[0].x2 - app->_handle_points[0].x, 7) << "small squares on the small class";
  }, "240x320");
}

TEST(ResizeFrame, ADragKeepsAtLeastSixteenPixels) {
  with_canvas(200, 101, [](app_context *app) {
    int32_t count = paint_history_get_count(app->_history);
    app_test_pen(OS_PEN_DOWN, 339, 320);
    app_test_pen(OS_PEN_MOVE, 154, 320);  // width 15: refused
    EXPECT_EQ(app->_handle_points[3].x, 339);
    app_test_pen(OS_PEN_MOVE, 155, 320);  // width 16: taken
    EXPECT_EQ(app->_handle_points[3].x, 155);
    app_test_pen(OS_PEN_MOVE, 140, 320);  // refused again, the frame stays
    EXPECT_EQ(app->_handle_points[3].x, 155);
    app_test_pen(OS_PEN_UP, 155, 320);
    EXPECT_EQ(paint_history_get_count(app->_history), count + 1);
    EXPECT_EQ(last_crop(app), (std::vector<int32_t>{0, 0, 15, 100, 0, 0, 199, 100}));
    EXPECT_EQ(canvas_size(app), (std::vector<int32_t>{16, 101}));
  });
}

TEST(ResizeFrame, GrowingUpAndLeftAddsBackgroundStripsAndKeepsThePicture) {
  with_canvas(200, 101, [](app_context *app) {
    const int stroke[][2] = {{170, 300}, {220, 340}};
    app_test_stroke(stroke, 2);
    uint32_t painted = app_test_canvas_pixel(app, 30, 30);
    ASSERT_NE(painted, k_new_color);
    drag({140, 270}, {120, 250});
    EXPECT_EQ(last_crop(app), (std::vector<int32_t>{-20, -20, 199, 100, 0, 0, 199, 100}));
    EXPECT_EQ(canvas_size(app), (std::vector<int32_t>{220, 121}));
    EXPECT_EQ(app_test_canvas_pixel(app, 5, 60), k_new_color);
    EXPECT_EQ(app_test_canvas_pixel(app, 60, 5), k_new_color);
    EXPECT_EQ(app_test_canvas_pixel(app, 50, 50), painted);
    EXPECT_EQ(origin_of(app), (std::vector<int32_t>{120, 250}));
    EXPECT_EQ(app->_handle_points[0].x, 120) << "the frame stays on the new canvas";
    EXPECT_EQ(app->_handle_points[4].y, 370);
  });
}

TEST(ResizeFrame, ACropMadeAtZoomTwoReplaysAtHalfScaleAtZoomOne) {
  with_canvas(200, 101, [](app_context *app) {
    paint_context_set_zoom(app->_paint_context, 2.0);
    paint_history_rebuild(app->_history);
    paint_context_set_origin(app->_paint_context, 40, 100);
    paint_main_update_frame();
    drag({40, 100}, {20, 80});
    EXPECT_EQ(last_crop(app), (std::vector<int32_t>{-20, -20, 399, 201, 0, 0, 399, 201}));
    EXPECT_EQ(canvas_width(app), 420);
    paint_context_set_zoom(app->_paint_context, 1.0);
    paint_history_rebuild(app->_history);
    EXPECT_EQ(canvas_size(app), (std::vector<int32_t>{210, 111}));
  });
}

TEST(ResizeFrame, TheCanvasEqualsARebuildAfterCropsStrokesAndUndo) {
  with_canvas(200, 101, [](app_context *app) {
    // Strokes start and end away from the handle squares.
    const int first[][2] = {{170, 300}, {320, 350}}, second[][2] = {{150, 280}, {260, 330}};
    app_test_stroke(first, 2);
    drag({339, 320}, {300, 320});
    drag({140, 270}, {110, 240});
    app_test_stroke(second, 2);
    EXPECT_TRUE(canvas_matches_rebuild(app->_paint_context, app->_history));
    app_test_char(u'b');
    app_test_char(u'b');
    EXPECT_TRUE(canvas_matches_rebuild(app->_paint_context, app->_history));
    app_test_char(u'f');
    EXPECT_TRUE(canvas_matches_rebuild(app->_paint_context, app->_history));
  });
}

TEST(ResizeFrame, UndoingACropFromTheKeyboardMovesTheFrameBack) {
  with_canvas(200, 101, [](app_context *app) {
    drag({339, 370}, {300, 330});
    EXPECT_EQ(app->_handle_points[4].x, 300);
    app_test_char(u'B');
    EXPECT_EQ(canvas_width(app), 200);
    EXPECT_EQ(handle(app, 4), (std::vector<int32_t>{339, 370})) << "no stale frame after the keyboard's undo";
    app_test_char(u'F');
    EXPECT_EQ(app->_handle_points[4].x, 300);
  });
}

TEST(ResizeFrame, ACropWithoutMemoryChangesAndRecordsNothing) {
  with_canvas(200, 101, [](app_context *app) {
    int32_t count = paint_history_get_count(app->_history);
    uint64_t budget = tbitmap_set_budget(200 * 101 * 4);
    drag({140, 270}, {100, 230});
    tbitmap_set_budget(budget);
    EXPECT_EQ(paint_history_get_count(app->_history), count);
    EXPECT_EQ(canvas_width(app), 200);
    EXPECT_EQ(origin_of(app), (std::vector<int32_t>{140, 270}));
    EXPECT_EQ(app->_handle_points[0].x, 140) << "the frame returns to the canvas";
  });
}

// Undo, redo and a zoom step over a grown canvas that memory cannot hold
// again: the painting stays as it was, the stop box says why, and the step
// is taken once memory is back.
TEST(ResizeFrame, AStepWithoutMemoryForTheGrownCanvasKeepsThePaintingAndSaysSo) {
  with_canvas(200, 101, [](app_context *app) {
    const int first[][2] = {{170, 300}, {320, 350}}, second[][2] = {{150, 280}, {260, 330}};
    app_test_stroke(first, 2);
    drag({140, 270}, {120, 250});  // 220 x 121
    app_test_stroke(second, 2);
    ASSERT_EQ(paint_main_toggle_zoom_bar(), 1);
    app_test_char(u'b');
    const std::function<void()> steps[] = {[] { app_test_char(u'f'); }, [] { app_test_char(u'b'); },
                                           [app] { scalebar_run(app->_scalebar, SCALEBAR_ZOOM_IN); }};
    for (const auto &step : steps) {
      std::string before = app_test_canvas_bytes(app);
      int32_t position = paint_history_get_position(app->_history);
      uint64_t budget = tbitmap_set_budget(220 * 121 * 4 - 1);
      step();
      tbitmap_set_budget(budget);
      EXPECT_TRUE(app_test_canvas_bytes(app) == before) << "the canvas as it was";
      EXPECT_EQ(paint_history_get_position(app->_history), position);
      EXPECT_EQ(paint_context_get_zoom(app->_paint_context), 1.0);
      tdialog *box = app_test_dialog();
      ASSERT_NE(box, nullptr) << "the stop box";
      tlabel *label = tmessagedialog_get_label(static_cast<tmessagedialog *>(tsurface_get_owner(app_test_popup())));
      EXPECT_EQ(std::u16string(label->_text, size_t(label->_length)), u"Not enough memory to complete this task.");
      tdialog_close(box, TMESSAGEDIALOG_RESULT_BACK);
      step();
      EXPECT_EQ(app_test_dialog(), nullptr);
      EXPECT_FALSE(app_test_canvas_bytes(app) == before) << "the step taken";
      EXPECT_TRUE(canvas_matches_rebuild(app->_paint_context, app->_history));
    }
  });
}

TEST(CropRecord, ReplayRefusesBadRecords) {
  with_canvas(200, 101, [](app_context *app) {
    paint_context *pc = app->_paint_context;
    uint8_t record[33] = {};
    auto put = [&](int field, int32_t value) {
      for (int i = 0; i < 4; i++) record[4 * field + i] = uint8_t(uint32_t(value) >> (8 * i));
    };
    put(2, 49);
    put(3, 9);
    EXPECT_EQ(paint_main_apply_crop(pc, record, 31, 1.0), 0);
    EXPECT_EQ(paint_main_apply_crop(pc, record, 33, 1.0), 0);
    EXPECT_EQ(paint_main_apply_crop(pc, nullptr, 32, 1.0), 0);
    EXPECT_EQ(canvas_width(app), 200);
    put(0, 50);  // left beyond right: no pixel left
    EXPECT_EQ(paint_main_apply_crop(pc, record, 32, 1.0), 0);
    put(0, INT32_MIN);
    EXPECT_EQ(paint_main_apply_crop(pc, record, 32, 1e10), 0);
    put(0, 0);
    EXPECT_EQ(paint_main_apply_crop(pc, record, 32, 0.0), 0);
    EXPECT_EQ(paint_main_apply_crop(pc, record, 32, std::nan("")), 0);
    EXPECT_EQ(canvas_width(app), 200);
    EXPECT_EQ(paint_main_apply_crop(pc, record, 32, 1.0), 1);
    EXPECT_EQ(canvas_size(app), (std::vector<int32_t>{50, 10}));
  });
}

TEST(CanvasHooks, PaintShowsTheCanvasOnTheGreyBackgroundAndTheFrameAboveIt) {
  with_canvas(200, 101, [](app_context *app) {
    app->_resizing = 0;
    tscreen_paint(tscreen_get(), nullptr);
    EXPECT_EQ(os_headless_get_pixel(5, 5), k_background_565);
    EXPECT_EQ(os_headless_get_pixel(240, 320), 0xFFF3u);
    uint32_t plain = os_headless_get_pixel(140, 300);
    app->_resizing = 1;
    tscreen_paint(tscreen_get(), nullptr);
    EXPECT_NE(os_headless_get_pixel(140, 300), plain) << "the frame's left edge";
    EXPECT_NE(os_headless_get_pixel(240, 262), k_background_565) << "a handle square";
  });
}

// The background goes only where the canvas leaves an area: repaints of
// areas that straddle the canvas's edges and corners, over a frame buffer
// scribbled on first, give the pixels of one whole-screen paint.
TEST(CanvasHooks, PartialPaintsAroundTheCanvasEdgesMatchAWholePaint) {
  with_canvas(200, 101, [](app_context *app) {
    app->_resizing = 0;
    tscreen *screen = tscreen_get();
    tscreen_paint(screen, nullptr);
    const std::vector<uint32_t> whole = app_test_shown();
    trect canvas = paint_main_canvas_rect();
    tcanvas *frame = tscreen_get_canvas(screen);
    tcanvas_set_brush(frame, TCANVAS_BRUSH_SOLID, 0xFF12AB34u);
    tcanvas_fill_rect(frame, 0, 0, 479, 639);
    // Columns and rows cut at, just inside and just outside each canvas edge.
    const int32_t xs[] = {0, canvas.x1 - 1, canvas.x1 + 1, canvas.x2, canvas.x2 + 2, 480};
    const int32_t ys[] = {0, canvas.y1, canvas.y1 + 2, canvas.y2 - 1, canvas.y2 + 1, 640};
    for (int i = 0; i + 1 < 6; i++)
      for (int j = 0; j + 1 < 6; j++) {
        trect part = {xs[i], ys[j], xs[i + 1] - 1, ys[j + 1] - 1};
        tscreen_paint(screen, &part);
      }
    EXPECT_TRUE(app_test_shown() == whole);
  });
}

TEST(CanvasHooks, ARotationMovesTheCanvasAndTheFrameFollows) {
  with_canvas(200, 101, [](app_context *app) {
    os_headless_set_size(640, 480);
    port_test_pump();
    EXPECT_EQ(origin_of(app), (std::vector<int32_t>{140 + 80, 270 - 80}));
    EXPECT_EQ(handle(app, 0), (std::vector<int32_t>{220, 190}));
    // Sizes that are not a swap: the canvas comes back where it was.
    for (auto size : {std::make_pair(480, 200), std::make_pair(301, 901), std::make_pair(640, 480)}) {
      os_headless_set_size(size.first, size.second);
      port_test_pump();
    }
    EXPECT_EQ(origin_of(app), (std::vector<int32_t>{140 + 80, 270 - 80}));
    os_headless_set_size(480, 200);
    port_test_pump();
    EXPECT_EQ(origin_of(app), (std::vector<int32_t>{140, 270 - 220}));
  });
}

// Each tool that holds the pen is pressed on the canvas and lifted over a
// surface that takes every pen event it is offered (as the side bar's slider
// or a tool bar button does); then the pen gets another width and colour and
// draws elsewhere. The gesture ends where it was lifted, with its own
// settings: the canvas equals a rebuild from the history, and undoing the
// second drawing gives back the canvas as the first gesture left it.
TEST(CanvasPen, AGestureLiftedOverASurfaceEndsThereWithItsOwnSettings) {
  enum gesture { STROKE, CURVE, PAN, RESIZE };
  struct row {
    const char *name;
    int32_t tool;
    gesture kind;
  } rows[] = {{"pencil", SHAPE_ID_PENCIL, STROKE}, {"spray", SHAPE_ID_SPRAY, STROKE},
              {"line", SHAPE_ID_LINE, STROKE},     {"filled heart", SHAPE_ID_FILLED_HEART, STROKE},
              {"curve", SHAPE_ID_CURVE, CURVE},    {"pan", SHAPE_ID_PAN, PAN},
              {"resize frame", SHAPE_ID_PENCIL, RESIZE}};
  for (const char *screen : {"240x320", "480x640"}) {
    for (const row &r : rows) {
      SCOPED_TRACE(std::string(screen) + " " + r.name);
      ASSERT_TRUE(app_test_run_fresh(
          [&](app_context *app) {
            os_clock_drive(1);
            paint_context *pc = app->_paint_context;
            trect all = *tscreen_get_rect(tscreen_get());
            int32_t w = all.x2 + 1, h = all.y2 + 1;
            auto at = [&](int x_percent, int y_percent) { return tpoint{w * x_percent / 100, h * y_percent / 100}; };
            named_surface over("over", nullptr, {w * 35 / 100, h * 55 / 100, w * 70 / 100, h * 62 / 100});
            tsurface_set_on_pen(&over.surface, takes_what_lands_on_it);
            tscreen_insert_surface(tscreen_get(), &over.surface);
            app->_current_tool = paint_context_find_tool(pc, r.tool);
            pc->_pen_size = 2;
            paint_context_set_fore_color(pc, tcolor_rgba(200, 30, 30));
            tpoint down = at(30, 45), lift = at(50, 58), tap = at(20, 80), origin;
            if (r.kind == RESIZE) {
              app->_resizing = 1;
              paint_main_update_frame();
              down = app->_handle_points[3];
            }
            paint_context_get_origin(pc, &origin);
            app_test_pen(OS_PEN_DOWN, down.x, down.y);
            app_test_pen(OS_PEN_MOVE, at(40, 50).x, at(40, 50).y);
            app_test_pen(OS_PEN_MOVE, lift.x, lift.y);
            app_test_pen(OS_PEN_UP, lift.x, lift.y);
            if (r.kind == CURVE) app_test_tap(tap.x, tap.y);
            if (r.kind == PAN) {
              tpoint moved;
              paint_context_get_origin(pc, &moved);
              EXPECT_EQ(std::make_pair(moved.x, moved.y),
                        std::make_pair(origin.x + lift.x - down.x, origin.y + lift.y - down.y));
            }
            if (r.kind == RESIZE) {
              EXPECT_EQ(canvas_width(app), lift.x - origin.x + 1);
            }

            app_test_run_for(2000);
            EXPECT_TRUE(tsurface_is_visible(&app->_toolbar->dock->_control._surface)) << "the tool bar is back";
            std::string drawn = app_test_canvas_bytes(app);

            pc->_pen_size = 20;
            paint_context_set_fore_color(pc, tcolor_rgba(30, 30, 200));
            tpoint from = at(25, 35), to = at(45, 42);
            app_test_pen(OS_PEN_DOWN, from.x, from.y);
            app_test_pen(OS_PEN_MOVE, to.x, to.y);
            app_test_pen(OS_PEN_UP, to.x, to.y);
            if (r.kind == CURVE) app_test_tap(tap.x, tap.y);
            EXPECT_TRUE(canvas_matches_rebuild(pc, app->_history));
            app_test_char(u'b');
            EXPECT_TRUE(app_test_canvas_bytes(app) == drawn) << "the first gesture is kept as it was drawn";
            tscreen_remove_surface(tscreen_get(), &over.surface);
            os_clock_drive(0);
          },
          screen));
    }
  }
}
