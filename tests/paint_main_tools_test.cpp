// The last five tools in the running program, on the headless display at
// both screen classes: each tool driven through the window
// system as a user would, and an undo arriving while a shape is under way.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app_test_env.h"
#include "os_display.h"
#include "paint_context.h"
#include "paint_fixture.h"
#include "paint_history.h"
#include "paint_main.h"
#include "screen_fixture.h"
#include "shape.h"
#include "shape_straw.h"
#include "tedit.h"
#include "textbar.h"
#include "tscreen.h"

namespace {

const char *const SCREENS[] = {"240x320", "480x640"};

void run(const char *screen, const std::function<void(app_context *)> &body) {
  ASSERT_TRUE(app_test_run_fresh(
      [&](app_context *app) {
        app_test_remove_toolbar(app);
        body(app);
      },
      screen));
}

void use(app_context *app, int32_t id) {
  app->_current_tool = paint_context_find_tool(app->_paint_context, id);
  ASSERT_NE(app->_current_tool, nullptr) << id;
}

void drag(int x1, int y1, int x2, int y2) {
  app_test_pen(OS_PEN_DOWN, x1, y1);
  app_test_pen(OS_PEN_MOVE, (x1 + x2) / 2, (y1 + y2) / 2);
  app_test_pen(OS_PEN_MOVE, x2, y2);
  app_test_pen(OS_PEN_UP, x2, y2);
}

int32_t count(app_context *app) { return paint_history_get_count(app->_history); }

int32_t last_operation(app_context *app) {
  const paint_history_record *r = paint_history_get_record(app->_history, count(app) - 1);
  return r ? r->_operation : -1;
}

std::vector<uint32_t> screen_area(const trect &r) {
  std::vector<uint32_t> pixels;
  for (int32_t y = r.y1; y <= r.y2; y++)
    for (int32_t x = r.x1; x <= r.x2; x++) pixels.push_back(screen_pixel(tscreen_get(), x, y));
  return pixels;
}

}  // namespace

TEST(ToolsInTheProgram, ACurveTapEndsWithinTheHandleSizeOfTheClass) {
  struct row {
    const char *screen;
    int handle;
  } rows[] = {{"240x320", 20}, {"480x640", 30}};
  for (const row &r : rows) {
    run(r.screen, [&](app_context *app) {
      use(app, SHAPE_ID_CURVE);
      drag(40, 40, 120, 80);
      app_test_pen(OS_PEN_DOWN, 200, 280);
      app_test_pen(OS_PEN_UP, 200 - (r.handle + 5), 280);
      EXPECT_EQ(count(app), 0) << r.screen;
      app_test_pen(OS_PEN_DOWN, 200, 280);
      app_test_pen(OS_PEN_UP, 200 - (r.handle - 5), 280);
      EXPECT_EQ(count(app), 1) << r.screen;
      EXPECT_EQ(last_operation(app), SHAPE_ID_CURVE);
      EXPECT_EQ(tscreen_get_pen_capture(tscreen_get()), nullptr);
      EXPECT_TRUE(canvas_matches_rebuild(app->_paint_context, app->_history)) << r.screen;
    });
  }
}

TEST(ToolsInTheProgram, WhileACurveIsEditedTheScreenShowsWhatARepaintWould) {
  run("480x640", [](app_context *app) {
    use(app, SHAPE_ID_CURVE);
    tscreen *screen = tscreen_get();
    trect all = *tscreen_get_rect(screen);
    drag(60, 200, 400, 260);
    // The end handle dragged far off and back, then a control bent.
    drag(400, 260, 300, 500);
    drag(300, 500, 380, 240);
    drag(173, 220, 150, 100);
    auto shown = screen_area(all);
    tscreen_paint(screen, nullptr);
    EXPECT_EQ(screen_area(all), shown);
    EXPECT_EQ(count(app), 0);
  });
}

TEST(ToolsInTheProgram, TheBucketFillsWhereItIsTapped) {
  for (const char *screen : SCREENS) {
    run(screen, [&](app_context *app) {
      use(app, SHAPE_ID_PAINT_BUCKET);
      paint_context_set_fore_color(app->_paint_context, test_rgba(0, 120, 240, 255));
      app_test_tap(60, 70);
      tpoint o;
      paint_context_get_origin(app->_paint_context, &o);
      EXPECT_EQ(app_test_canvas_pixel(app, 60 - o.x, 70 - o.y), 0xFF0078F0u) << screen;
      EXPECT_EQ(last_operation(app), SHAPE_ID_PAINT_BUCKET);
      EXPECT_TRUE(canvas_matches_rebuild(app->_paint_context, app->_history)) << screen;
    });
  }
}

TEST(ToolsInTheProgram, ThePickerShowsItsSwatchAndLeavesTheScreenAsItWas) {
  for (const char *screen : SCREENS) {
    run(screen, [&](app_context *app) {
      paint_context *pc = app->_paint_context;
      use(app, SHAPE_ID_PAINT_BUCKET);
      paint_context_set_fore_color(pc, test_rgba(10, 200, 30, 255));
      app_test_tap(100, 150);
      paint_context_set_fore_color(pc, test_rgba(0, 0, 0, 128));
      use(app, SHAPE_ID_COLOR_PICKER);
      trect swatch = shape_straw_popup_rect(100, 150, tscreen_get_width(tscreen_get()),
                                            tscreen_get_height(tscreen_get()));
      auto shown = screen_area(swatch);
      app_test_pen(OS_PEN_DOWN, 100, 150);
      EXPECT_NE(screen_area(swatch), shown) << screen;
      app_test_pen(OS_PEN_UP, 100, 150);
      EXPECT_EQ(screen_area(swatch), shown) << screen;
      tcolor fore;
      paint_context_get_fore_color(pc, &fore);
      EXPECT_EQ(tcolor_to_word(&fore), 0x800AC81Eu) << "the picked colour with the alpha it had";
      EXPECT_EQ(count(app), 1);
    });
  }
}

TEST(ToolsInTheProgram, PanMovesTheCanvasAndAShownFrameFollows) {
  for (const char *screen : SCREENS) {
    run(screen, [&](app_context *app) {
      app->_resizing = 1;
      paint_main_update_frame();
      use(app, SHAPE_ID_PAN);
      tpoint before, after;
      paint_context_get_origin(app->_paint_context, &before);
      tpoint corner = app->_handle_points[0];
      drag(100, 100, 130, 90);
      paint_context_get_origin(app->_paint_context, &after);
      EXPECT_EQ(after.x - before.x, 30) << screen;
      EXPECT_EQ(after.y - before.y, -10) << screen;
      EXPECT_EQ(app->_handle_points[0].x, corner.x + 30);
      EXPECT_EQ(app->_handle_points[0].y, corner.y - 10);
      EXPECT_EQ(count(app), 0);
    });
  }
}

TEST(ToolsInTheProgram, TheTextBoxVanishesAtPenUpAndTheTextBarOpensOverIt) {
  for (const char *screen : SCREENS) {
    run(screen, [&](app_context *app) {
      use(app, SHAPE_ID_TEXT);
      std::string before = app_test_canvas_bytes(app);
      drag(120, 100, 20, 10);
      EXPECT_EQ(app_test_canvas_bytes(app), before) << screen;
      EXPECT_EQ(count(app), 0);
      ASSERT_NE(app->_textbar, nullptr) << screen;
      trect box = app_test_screen_rect(&app->_textbar->_edit->_control._surface);
      EXPECT_EQ(std::vector<int32_t>({box.x1, box.y1, box.x2, box.y2}), std::vector<int32_t>({20, 10, 120, 100}))
          << screen;
    });
  }
}

// One key, one step: B while a line or rectangle is dragged, or while a
// curve's handles show, places the shape and undoes it, so F brings it back;
// a curve still a line is only dropped. The stroke before stays, and the
// rest of the gesture finds the tool idle.
TEST(ToolsInTheProgram, AnUndoDuringAShapeTakesThatShapeAlone) {
  const struct {
    const char *name;
    int32_t tool;
    bool lifted, placed;
  } rows[] = {{"line", SHAPE_ID_LINE, false, true}, {"rectangle", SHAPE_ID_RECT, false, true},
              {"curve with handles", SHAPE_ID_CURVE, true, true}, {"curve, a line yet", SHAPE_ID_CURVE, false, false}};
  for (const char *screen : SCREENS)
    for (const auto &r : rows)
      run(screen, [&](app_context *app) {
        SCOPED_TRACE(std::string(screen) + " " + r.name);
        const int stroke[][2] = {{20, 20}, {100, 90}, {180, 40}};
        app_test_stroke(stroke, 3);
        std::vector<uint32_t> stroked = app_test_shown();
        use(app, r.tool);
        app_test_pen(OS_PEN_DOWN, 40, 150);
        app_test_pen(OS_PEN_MOVE, 150, 200);
        if (r.lifted) app_test_pen(OS_PEN_UP, 150, 200);
        app_test_char(u'B');
        app_test_pen(OS_PEN_MOVE, 200, 260), app_test_pen(OS_PEN_UP, 200, 260);
        EXPECT_TRUE(app_test_shown() == stroked) << "no shape, no handle; the stroke kept";
        EXPECT_EQ(paint_history_get_position(app->_history), 0);
        EXPECT_EQ(tscreen_get_pen_capture(tscreen_get()), nullptr);
        app_test_char(u'F');
        EXPECT_EQ(paint_history_get_position(app->_history), r.placed ? 1 : 0);
        EXPECT_EQ(last_operation(app), r.placed ? r.tool : SHAPE_ID_PENCIL);
        EXPECT_EQ(app_test_shown() == stroked, !r.placed) << "F brings the shape back";
        EXPECT_TRUE(canvas_matches_rebuild(app->_paint_context, app->_history));
      });
}
