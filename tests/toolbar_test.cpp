// The tool bar in the running program on the headless display, with the
// clock driven by the test: which button carries which tool, layouts of one
// to nine lines, the tap tolerance, holds that drag, tooltips, auto-hide,
// rotation and tear-down in the middle of a press, and whole sessions whose
// canvas always equals a rebuild from the history.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "app_common.h"
#include "app_test_env.h"
#include "os_clock.h"
#include "os_display.h"
#include "paint_context.h"
#include "paint_fixture.h"
#include "paint_history.h"
#include "paint_main.h"
#include "port_test_app.h"
#include "shape.h"
#include "tbutton.h"
#include "tdock.h"
#include "test_env.h"
#include "tform.h"
#include "thint.h"
#include "tlabel.h"
#include "tlistbox.h"
#include "tmenu.h"
#include "tresource.h"
#include "toolbar.h"
#include "tscreen.h"
#include "wins_timer.h"

namespace {

// The app under a clock that stands still until the test moves it.
void run(const char *screen, const std::function<void(app_context *)> &body) {
  ASSERT_TRUE(app_test_run_fresh(
      [&](app_context *app) {
        os_clock_drive(1);
        body(app);
        os_clock_drive(0);
      },
      screen));
}

// The screen centre of the button carrying id.
tpoint centre_of(app_context *app, int32_t id) {
  tbutton *button = toolbar_get_button(app->_toolbar, id);
  EXPECT_NE(button, nullptr) << id;
  trect r = {0, 0, 0, 0};
  if (button) tsurface_get_screen_rect(&button->_control._surface, &r);
  return {(r.x1 + r.x2) / 2, (r.y1 + r.y2) / 2};
}

void tap(app_context *app, int32_t id) {
  tpoint at = centre_of(app, id);
  app_test_tap(at.x, at.y);
}

// Drags the bar's buttons along it by dx (a scroll: it runs nothing).
void scroll_bar(app_context *app, int dx) {
  tpoint at = centre_of(app, SHAPE_ID_LINE);
  app_test_pen(OS_PEN_DOWN, at.x, at.y);
  for (int step = 1; step <= 4; step++) app_test_pen(OS_PEN_MOVE, at.x + dx * step / 4, at.y);
  app_test_pen(OS_PEN_UP, at.x + dx, at.y);
  app_test_run_for(500);
}

int32_t current_id(app_context *app) { return shape_get_id(app->_current_tool); }

std::vector<int32_t> checked_buttons(app_context *app) {
  std::vector<int32_t> ids;
  for (int32_t i = 0; i < app->_toolbar->button_count; i++)
    if (app->_toolbar->buttons[i]->_checked) ids.push_back(int32_t(tbutton_get_user_data(app->_toolbar->buttons[i])));
  return ids;
}

trect dock_rect(app_context *app) { return *tsurface_get_rect(&app->_toolbar->dock->_control._surface); }

std::string tooltip_text(app_context *app) {
  thint *hint = app->_toolbar->tooltip;
  return hint ? test_utf8(thint_get_label(hint)->_text) : "";
}

// Below the bar in both orientations of 480 x 640.
void stroke_below(int y) {
  const int points[][2] = {{200, y}, {260, y + 30}, {320, y + 10}};
  app_test_stroke(points, 3);
}

// The bar's menu open now (the screen's modal surface, owned by the bar),
// or null.
tmenu *open_menu() {
  tsurface *modal = tscreen_get_modal(tscreen_get());
  app_context *app = app_common_get_app();
  return modal && tsurface_get_owner(modal) == app->_toolbar ? reinterpret_cast<tmenu *>(modal) : nullptr;
}

// Taps a row of the open menu.
void tap_row(tmenu *menu, int32_t row) {
  tlistbox *list = tmenu_get_listbox(menu);
  trect at = app_test_screen_rect(&list->_control._surface);
  const trect *r = tlistbox_get_item_rect(list, row);
  ASSERT_NE(r, nullptr);
  app_test_tap(at.x1 + (r->x1 + r->x2) / 2, at.y1 + (r->y1 + r->y2) / 2);
}

// Fills the timer table; the handles are stopped by the destructor.
struct full_timer_table {
  std::vector<uint32_t> handles;
  full_timer_table() {
    while (uint32_t handle = wins_timer_start(1000000, 0, [](uint32_t, void *) {}, nullptr)) handles.push_back(handle);
  }
  ~full_timer_table() {
    for (uint32_t handle : handles) wins_timer_stop(handle);
  }
};

}  // namespace

TEST(ToolbarGroups, ASelectionKeepsThePreviousToolAndOneCheckedButton) {
  run("480x640", [](app_context *app) {
    EXPECT_EQ(checked_buttons(app), std::vector<int32_t>{1}) << "the Pencil after start-up";
    EXPECT_EQ(int32_t(tbutton_get_user_data(toolbar_get_button(app->_toolbar, 310))), 307)
        << "the polygon button starts on the pentagram";
    tap(app, SHAPE_ID_LINE);
    EXPECT_EQ(current_id(app), SHAPE_ID_LINE);
    EXPECT_EQ(app->_prev_tool_id, SHAPE_ID_PENCIL);
    toolbar_select(app->_toolbar, SHAPE_ID_FILLED_CIRCLE);
    EXPECT_EQ(current_id(app), SHAPE_ID_FILLED_CIRCLE);
    EXPECT_EQ(app->_prev_tool_id, SHAPE_ID_LINE);
    EXPECT_EQ(checked_buttons(app), std::vector<int32_t>{201}) << "the ellipse family's button";
    toolbar_select(app->_toolbar, SHAPE_ID_SPRAY);
    EXPECT_EQ(checked_buttons(app), std::vector<int32_t>{1});
    // The picker returns to the tool before it.
    tap(app, SHAPE_ID_COLOR_PICKER);
    EXPECT_EQ(checked_buttons(app), std::vector<int32_t>{8});
    app_test_tap(300, 400);
    EXPECT_EQ(current_id(app), SHAPE_ID_SPRAY);
    EXPECT_EQ(checked_buttons(app), std::vector<int32_t>{1});
  });
}

TEST(ToolbarGroups, ATapShowsWhatAWholeRepaintWould) {
  run("480x640", [](app_context *app) {
    // Something under the translucent bar, drawn while it is away.
    toolbar_hide(app->_toolbar);
    const int points[][2] = {{20, 20}, {240, 120}, {460, 40}};
    app_test_stroke(points, 3);
    app_test_run_for(2000);
    trect area = dock_rect(app);
    auto shown = [&] { return app_test_shown(&area); };
    // Every part drawn again from scratch, then the whole screen.
    auto redrawn = [&] {
      toolbar *tb = app->_toolbar;
      for (int32_t i = 0; i < tb->button_count; i++) tsurface_paint(&tb->buttons[i]->_control._surface);
      tsurface_paint(&tb->form->_control._surface);
      tsurface_paint(&tb->dock->_control._surface);
      tscreen_paint(tscreen_get(), nullptr);
      return shown();
    };
    for (int32_t id : {int32_t(SHAPE_ID_LINE), int32_t(SHAPE_ID_RECT), int32_t(SHAPE_ID_PAN), int32_t(SHAPE_ID_PAN),
                       int32_t(TOOLBAR_UNDO)}) {
      std::vector<uint32_t> before = shown();
      bool checked = toolbar_get_button(app->_toolbar, id)->_checked;
      tpoint at = centre_of(app, id);
      app_test_pen(OS_PEN_DOWN, at.x, at.y);
      std::vector<uint32_t> pressed = shown();
      EXPECT_EQ(pressed == before, checked) << id << " looks pressed";
      EXPECT_TRUE(pressed == redrawn()) << id << " pressed";
      app_test_pen(OS_PEN_UP, at.x, at.y);
      std::vector<uint32_t> tapped = shown();
      EXPECT_TRUE(tapped == redrawn()) << id;
    }
  });
}

TEST(ToolbarLayout, OneToNineLinesAndTheirCaps) {
  // Flat bar on 480 x 640 (buttons 65): rows by height; upright bar on
  // 640 x 480: columns by width. The length follows the buttons, short of
  // the screen by 10 at most; where the last of the 18 buttons lands.
  const struct {
    int32_t lines, length, flat_last[2], upright_last[2];
  } rows[] = {{1, 470, {1105, 0}, {0, 1105}},   {2, 470, {520, 65}, {65, 520}},  {3, 410, {325, 130}, {130, 325}},
              {4, 345, {130, 195}, {65, 260}},  {5, 280, {65, 260}, {130, 195}}, {6, 215, {130, 325}, {325, 130}},
              {7, 215, {130, 325}, {195, 130}}, {8, 215, {130, 325}, {65, 130}}, {9, 150, {65, 520}, {520, 65}}};
  for (bool vertical : {false, true}) {
    run(vertical ? "640x480" : "480x640", [&](app_context *app) {
      toolbar *tb = app->_toolbar;
      EXPECT_EQ(tb->vertical, vertical ? 1 : 0);
      tdock *dock = tb->dock;
      auto resize = [&](int32_t across) {
        int32_t x = 0, y = 0, along = 300, *w = vertical ? &across : &along, *h = vertical ? &along : &across;
        if (!dock->_resize_check(dock, 8, &x, &y, w, h)) return false;
        tcontrol_set_size(&dock->_control, *w, *h);
        return true;
      };
      for (const auto &r : rows) {
        SCOPED_TRACE(std::to_string(r.lines) + (vertical ? " upright" : " flat"));
        ASSERT_TRUE(resize(r.lines * 65 + 20));
        EXPECT_EQ(tb->per_line, r.lines);
        trect d = dock_rect(app);
        EXPECT_EQ(vertical ? d.y2 - d.y1 + 1 : d.x2 - d.x1 + 1, r.length);
        const trect *last = tsurface_get_rect(&tb->buttons[17]->_control._surface);
        const int32_t *at = vertical ? r.upright_last : r.flat_last;
        EXPECT_EQ((std::vector<int32_t>{last->x1, last->y1}), (std::vector<int32_t>{at[0], at[1]}));
      }
      EXPECT_FALSE(resize(10 * 65 + 20)) << "ten lines";
      EXPECT_FALSE(resize(65 + 19)) << "less than one button across";
    });
  }
}

TEST(ToolbarLayout, EachScreenClassStartsWithTwoLinesOfItsButtons) {
  const struct {
    const char *screen;
    int32_t side;
    std::vector<int32_t> rect;  // x1, y1, x2, y2 of the dock
  } cases[] = {
      {"240x320", 25, {5, 5, 234, 64}},  {"320x240", 25, {5, 5, 64, 234}},  {"320x480", 50, {5, 5, 314, 124}},
      {"480x640", 65, {5, 5, 474, 154}}, {"640x480", 65, {5, 5, 154, 474}},
  };
  for (const auto &c : cases) {
    run(c.screen, [&](app_context *app) {
      SCOPED_TRACE(c.screen);
      EXPECT_EQ(app->_toolbar->button_width, c.side);
      EXPECT_EQ(app->_toolbar->per_line, 2);
      trect r = dock_rect(app);
      EXPECT_EQ((std::vector<int32_t>{r.x1, r.y1, r.x2, r.y2}), c.rect);
      tap(app, SHAPE_ID_CURVE);
      EXPECT_EQ(current_id(app), SHAPE_ID_CURVE);
    });
  }
}

namespace {

// What the bar shows, read from where its buttons lie on the screen: the
// count of lines, and what is wrong: a line cut by the form's edge, a band
// beside the last line, a bar off the screen, a button that no drag along
// the bar brings wholly into view.
struct bar_view {
  int32_t lines = 0;
  std::vector<std::string> faults;
};

bar_view look_at_bar(app_context *app) {
  bar_view view;
  toolbar *tb = app->_toolbar;
  tscreen *screen = tscreen_get();
  bool upright = tscreen_get_width(screen) > tscreen_get_height(screen);
  // Across the bar and along it: the lines stack across, the buttons of a
  // line follow each other along.
  auto across = [&](const trect &r) { return upright ? std::make_pair(r.x1, r.x2) : std::make_pair(r.y1, r.y2); };
  auto along = [&](const trect &r) { return upright ? std::make_pair(r.y1, r.y2) : std::make_pair(r.x1, r.x2); };
  trect dock = app_test_screen_rect(&tb->dock->_control._surface);
  if (dock.x1 < 0 || dock.y1 < 0 || dock.x2 >= tscreen_get_width(screen) || dock.y2 >= tscreen_get_height(screen))
    view.faults.push_back("the bar passes the screen's edge");
  trect form = app_test_screen_rect(&tb->form->_control._surface);
  std::set<int32_t> line_starts;
  int32_t side = 0;
  for (int32_t i = 0; i < tb->button_count; i++) {
    auto [first, last] = across(app_test_screen_rect(&tb->buttons[i]->_control._surface));
    line_starts.insert(first);
    side = last - first + 1;
    if (first < across(form).first || last > across(form).second)
      view.faults.push_back("button " + std::to_string(i) + " is cut across the bar");
  }
  view.lines = int32_t(line_starts.size());
  int32_t band = across(form).second - across(form).first + 1 - view.lines * side;
  if (band != 0) view.faults.push_back("a band of " + std::to_string(band) + " px beside the lines");
  // Dragged along the bar half a form at a time, as far as it goes.
  std::set<int32_t> seen;
  int32_t reach = (along(form).second - along(form).first) / 2;
  for (int drag = 0; drag < 2 * tb->button_count && int32_t(seen.size()) < tb->button_count; drag++) {
    for (int32_t i = 0; i < tb->button_count; i++) {
      trect r = app_test_screen_rect(&tb->buttons[i]->_control._surface);
      if (along(r).first >= along(form).first && along(r).second <= along(form).second) seen.insert(i);
    }
    int x = (form.x1 + form.x2) / 2, y = (form.y1 + form.y2) / 2;
    app_test_pen(OS_PEN_DOWN, x, y);
    for (int step = 1; step <= 4; step++)
      app_test_pen(OS_PEN_MOVE, x - (upright ? 0 : reach * step / 4), y - (upright ? reach * step / 4 : 0));
    app_test_pen(OS_PEN_UP, x - (upright ? 0 : reach), y - (upright ? reach : 0));
    app_test_run_for(500);
  }
  for (int32_t i = 0; i < tb->button_count; i++)
    if (!seen.count(i)) view.faults.push_back("button " + std::to_string(i) + " never comes into view");
  return view;
}

// The settings as a run on another screen leaves them: the bar's depth
// across, in pixels, for both orientations.
void keep_bar_depth(const app_test_folders &folders, int32_t depth) {
  std::filesystem::create_directories(folders.home);
  std::string d = std::to_string(depth);
  ASSERT_TRUE(test_write_file(folders.home + "/config.xml",
                              "<Brivola>\n<TBHeight1>" + d + "</TBHeight1>\n<TBWidth2>" + d + "</TBWidth2>\n</Brivola>\n"));
}

}  // namespace

// The settings keep the bar's size in pixels, and a run on another screen
// class may have kept it: whatever was kept, the bar shows whole lines of
// this screen's buttons and every button can be brought into view; lines
// kept whole on any screen stay as many (as far as the screen has room).
TEST(ToolbarLayout, AKeptSizeFromAnotherScreenGivesWholeLinesOfThisOnesButtons) {
  const struct {
    const char *kept_on;
    int32_t depth, lines;  // lines 0: whole ones, however many
  } kept[] = {
      {"two lines of 240x320", 2 * 25 + 10, 2},  {"two lines of 320x480", 2 * 50 + 20, 2},
      {"two lines of 480x640", 2 * 65 + 20, 2},  {"four lines of 240x320", 4 * 25 + 10, 4},
      {"a line and a half pulled on 480x640", 20 + 97, 0},
  };
  for (const char *screen : {"240x320", "320x240", "320x480", "480x640", "640x480", "480x800"}) {
    for (const auto &k : kept) {
      SCOPED_TRACE(std::string(screen) + ", " + k.kept_on);
      app_test_folders folders;
      keep_bar_depth(folders, k.depth);
      ASSERT_TRUE(app_test_run(
          [&](app_context *app) {
            os_clock_drive(1);
            bar_view view = look_at_bar(app);
            for (const std::string &fault : view.faults) ADD_FAILURE() << fault;
            if (k.lines) {
              EXPECT_EQ(view.lines, k.lines);
            }
            os_clock_drive(0);
          },
          screen));
    }
  }
}

// The window resized (the device turned, or another screen class): the bar
// takes the size kept for the new orientation in whole lines of its buttons.
TEST(ToolbarLayout, AResizedWindowShowsWholeLines) {
  const struct {
    const char *from;
    int32_t width, height;
  } resizes[] = {{"480x640", 320, 240}, {"240x320", 480, 640}, {"320x480", 640, 480},
                 {"640x480", 480, 800}, {"480x640", 240, 320}, {"320x240", 320, 480}};
  for (const auto &r : resizes) {
    SCOPED_TRACE(std::string(r.from) + " to " + std::to_string(r.width) + "x" + std::to_string(r.height));
    run(r.from, [&](app_context *app) {
      os_headless_set_size(r.width, r.height);
      port_test_pump();
      bar_view view = look_at_bar(app);
      for (const std::string &fault : view.faults) ADD_FAILURE() << fault;
      EXPECT_EQ(view.lines, 2) << "the two lines every screen starts with";
    });
  }
}

TEST(ToolbarTap, APressMovedMoreThanTwentyFivePixelsAlongTheBarSelectsNothing) {
  struct {
    const char *screen;
    int32_t moved;
    bool selects;
  } cases[] = {{"480x640", 25, true}, {"480x640", 26, false}, {"480x640", -26, false},
               {"640x480", 25, true}, {"640x480", -25, true}, {"640x480", 26, false}};
  for (const auto &c : cases) {
    run(c.screen, [&](app_context *app) {
      SCOPED_TRACE(std::string(c.screen) + " moved " + std::to_string(c.moved));
      tpoint at = centre_of(app, SHAPE_ID_LINE);
      tpoint to = app->_toolbar->vertical ? tpoint{at.x, at.y + c.moved} : tpoint{at.x + c.moved, at.y};
      app_test_pen(OS_PEN_DOWN, at.x, at.y);
      app_test_pen(OS_PEN_MOVE, to.x, to.y);
      app_test_pen(OS_PEN_UP, to.x, to.y);
      EXPECT_EQ(current_id(app), c.selects ? SHAPE_ID_LINE : SHAPE_ID_PENCIL);
      EXPECT_EQ(checked_buttons(app), std::vector<int32_t>{c.selects ? 2 : 1});
    });
  }
}

TEST(ToolbarHold, HoldingUndoDragsTheBarAndRunsNothing) {
  run("480x640", [](app_context *app) {
    stroke_below(300);
    app_test_run_for(2000);  // the bar comes back
    ASSERT_EQ(paint_history_get_position(app->_history), 0);
    std::string stroked = app_test_canvas_bytes(app);
    trect before = dock_rect(app);
    tpoint at = centre_of(app, TOOLBAR_UNDO);
    app_test_pen(OS_PEN_DOWN, at.x, at.y);
    app_test_run_for(200);
    EXPECT_TRUE(tdock_is_dragging(app->_toolbar->dock));
    EXPECT_NE(app->_toolbar->drag_frame, nullptr);
    constexpr uint32_t blue_565 = (128u >> 3) << 11 | (128u >> 2) << 5 | (255u >> 3);
    EXPECT_EQ(os_headless_get_pixel(240, before.y2 + 10), blue_565) << "the blue frame shows below the bar";
    EXPECT_NE(os_headless_get_pixel(240, before.y2 + 3), blue_565) << "inside it the canvas shows";
    app_test_pen(OS_PEN_MOVE, at.x + 20, at.y + 60);
    EXPECT_EQ(app->_toolbar->drag_frame, nullptr) << "gone with the first move";
    app_test_pen(OS_PEN_UP, at.x + 20, at.y + 60);
    trect after = dock_rect(app);
    EXPECT_EQ(after.x1 - before.x1, 20);
    EXPECT_EQ(after.y1 - before.y1, 60);
    EXPECT_EQ(paint_history_get_position(app->_history), 0) << "no undo ran";
    EXPECT_TRUE(app_test_canvas_bytes(app) == stroked);
    EXPECT_EQ(app->_toolbar->hold_guard, 0);
    EXPECT_EQ(checked_buttons(app), std::vector<int32_t>{1});
    // A press moved beyond the tolerance before the hold is a scroll, not a drag.
    at = centre_of(app, SHAPE_ID_LINE);
    app_test_pen(OS_PEN_DOWN, at.x, at.y);
    app_test_pen(OS_PEN_MOVE, at.x + 30, at.y);
    app_test_run_for(300);
    EXPECT_FALSE(tdock_is_dragging(app->_toolbar->dock));
    app_test_pen(OS_PEN_UP, at.x + 30, at.y);
    EXPECT_EQ(current_id(app), SHAPE_ID_PENCIL);
  });
}

TEST(ToolbarHold, AFamilyButtonHeldOpensItsVariantsAndTheChoiceStays) {
  run("480x640", [](app_context *app) {
    toolbar_select(app->_toolbar, SHAPE_ID_CIRCLE);
    tbutton *button = toolbar_get_button(app->_toolbar, SHAPE_ID_ELLIPSE);
    ASSERT_EQ(int32_t(tbutton_get_user_data(button)), 201) << "the button keeps its picture until a choice";
    tpoint at = centre_of(app, SHAPE_ID_ELLIPSE);
    app_test_pen(OS_PEN_DOWN, at.x, at.y);
    app_test_run_for(190);
    EXPECT_EQ(open_menu(), nullptr);
    app_test_run_for(10);
    tmenu *menu = open_menu();
    ASSERT_NE(menu, nullptr);
    EXPECT_FALSE(tdock_is_dragging(app->_toolbar->dock)) << "a family button does not drag";
    app_test_pen(OS_PEN_UP, at.x, at.y);
    tlistbox *list = tmenu_get_listbox(menu);
    ASSERT_EQ(tlistbox_get_count(list), 4);
    std::vector<int32_t> marks, icons;
    for (int32_t row = 0; row < 4; row++) {
      marks.push_back(tlistbox_get_number(list, row, 2));
      icons.push_back(tlistbox_get_number(list, row, 3));
    }
    EXPECT_EQ(marks, (std::vector<int32_t>{0, -1, -1, -1})) << "the radio on the variant the button carries";
    EXPECT_EQ(icons, (std::vector<int32_t>{1, 2, 3, 4}));
    EXPECT_EQ(test_utf8(tlistbox_get_text(list, 3, 0)), "Filled Circle");
    EXPECT_TRUE(tmenu_get_item(menu, 2)->_separator_above);
    tap_row(menu, 3);
    EXPECT_EQ(open_menu(), nullptr);
    EXPECT_EQ(current_id(app), SHAPE_ID_FILLED_CIRCLE);
    EXPECT_EQ(int32_t(tbutton_get_user_data(button)), 204);
    EXPECT_EQ(button->_images[0], tresource_get_bitmap(15013));
    EXPECT_NE(button->_images[0], nullptr);
    EXPECT_EQ(checked_buttons(app), std::vector<int32_t>{204});
    // The next hold marks the new variant; a tap runs it.
    toolbar_select(app->_toolbar, SHAPE_ID_LINE);
    tap(app, SHAPE_ID_ELLIPSE);
    EXPECT_EQ(current_id(app), SHAPE_ID_FILLED_CIRCLE);
    app_test_pen(OS_PEN_DOWN, at.x, at.y);
    app_test_run_for(200);
    app_test_pen(OS_PEN_UP, at.x, at.y);
    menu = open_menu();
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(tlistbox_get_number(tmenu_get_listbox(menu), 3, 2), 0);
    tmenu_close(menu);
  });
}

TEST(ToolbarOptions, TheGripArrowOpensTheOptions) {
  run("480x640", [](app_context *app) {
    trect r = dock_rect(app);
    ASSERT_EQ(app->_tb_translucent, 1);
    for (int pass = 0; pass < 2; pass++) {
      app_test_tap(r.x1 + 5, r.y1 + 5);
      tmenu *menu = open_menu();
      ASSERT_NE(menu, nullptr);
      tlistbox *list = tmenu_get_listbox(menu);
      ASSERT_EQ(tlistbox_get_count(list), 2);
      EXPECT_EQ(tlistbox_get_number(list, 0, 2), pass == 0 ? 0 : -1);
      EXPECT_EQ(tlistbox_get_number(list, 1, 2), 0);
      tap_row(menu, 0);
      EXPECT_EQ(app->_tb_translucent, pass == 0 ? 0 : 1);
      EXPECT_EQ(app->_toolbar->dock->_control._surface._keyed, pass == 0 ? 0 : 1);
    }
    // Auto Hide turned off there: a stroke leaves the bar shown.
    app_test_tap(r.x1 + 5, r.y1 + 5);
    ASSERT_NE(open_menu(), nullptr);
    tap_row(open_menu(), 1);
    stroke_below(300);
    EXPECT_TRUE(tsurface_is_visible(&app->_toolbar->dock->_control._surface));
  });
}

TEST(ToolbarTooltip, TheNameAtOneHundredAndTheDescriptionAtElevenHundredMilliseconds) {
  run("480x640", [](app_context *app) {
    tpoint at = centre_of(app, SHAPE_ID_LINE);
    app_test_pen(OS_PEN_DOWN, at.x, at.y);
    app_test_run_for(90);
    EXPECT_EQ(tooltip_text(app), "");
    app_test_run_for(10);
    EXPECT_EQ(tooltip_text(app), "Line");
    app_test_run_for(990);
    EXPECT_EQ(tooltip_text(app), "Line");
    app_test_run_for(10);
    EXPECT_EQ(tooltip_text(app), "Line\nDraw a straight line with the selected line width and color.");
    app_test_pen(OS_PEN_UP, at.x, at.y);
    EXPECT_EQ(tooltip_text(app), "") << "closed at the end of the drag";
    // A command's texts come from its own table.
    at = centre_of(app, TOOLBAR_REDO);
    app_test_pen(OS_PEN_DOWN, at.x, at.y);
    app_test_run_for(1100);
    EXPECT_EQ(tooltip_text(app), "Redo\nRedo last action.");
    app_test_pen(OS_PEN_UP, at.x, at.y);
    EXPECT_EQ(tooltip_text(app), "");
  });
}

TEST(ToolbarAutoHide, APenDownOnTheCanvasHidesTheBarForOneToTwoSeconds) {
  run("480x640", [](app_context *app) {
    tsurface *dock = &app->_toolbar->dock->_control._surface;
    stroke_below(300);
    EXPECT_FALSE(tsurface_is_visible(dock));
    app_test_run_for(1000);
    EXPECT_FALSE(tsurface_is_visible(dock)) << "the first tick only clears the skip";
    app_test_run_for(1000);
    EXPECT_TRUE(tsurface_is_visible(dock));
    EXPECT_EQ(app->_toolbar->auto_hide_timer, 0u);
    // Never with the Pan.
    toolbar_select(app->_toolbar, SHAPE_ID_PAN);
    stroke_below(300);
    EXPECT_TRUE(tsurface_is_visible(dock));
    // Without a timer the bar stays.
    toolbar_select(app->_toolbar, SHAPE_ID_PENCIL);
    {
      full_timer_table full;
      stroke_below(400);
      EXPECT_TRUE(tsurface_is_visible(dock));
    }
    app->_tb_auto_hide = 0;
    stroke_below(450);
    EXPECT_TRUE(tsurface_is_visible(dock));
  });
}

TEST(ToolbarLifecycle, RotateFreeAndCreateInTheMiddleOfAPress) {
  for (bool full : {false, true}) {
    run("480x640", [&](app_context *app) {
      SCOPED_TRACE(full ? "timer table full" : "timers free");
      full_timer_table *table = full ? new full_timer_table : nullptr;
      toolbar *tb = app->_toolbar;
      trect portrait = dock_rect(app);
      app->_tb_x2 = 400;  // off a 640 x 480 screen once turned
      app->_tb_y2 = 900;
      tpoint at = centre_of(app, SHAPE_ID_LINE);
      app_test_pen(OS_PEN_DOWN, at.x, at.y);
      app_test_run_for(150);
      EXPECT_EQ(tooltip_text(app), full ? "" : "Line");
      os_headless_set_size(640, 480);
      port_test_pump();
      EXPECT_EQ(tb->vertical, 1);
      EXPECT_EQ(tscreen_get_pen_capture(tscreen_get()), nullptr) << "the press ended";
      EXPECT_EQ((std::vector<int32_t>{app->_tb_x1, app->_tb_y1, app->_tb_width1, app->_tb_height1}),
                (std::vector<int32_t>{portrait.x1, portrait.y1, portrait.x2 - portrait.x1 + 1,
                                      portrait.y2 - portrait.y1 + 1}));
      trect r = dock_rect(app);
      EXPECT_TRUE(r.x1 >= 0 && r.y1 >= 0 && r.x2 < 640 && r.y2 < 480) << r.x1 << "," << r.y1 << "," << r.x2 << ","
                                                                        << r.y2;
      app_test_pen(OS_PEN_UP, at.x, at.y);
      app_test_run_for(300);
      EXPECT_EQ(current_id(app), SHAPE_ID_PENCIL);

      // Freed while a button is held, then made again.
      at = centre_of(app, SHAPE_ID_ERASER);
      app_test_pen(OS_PEN_DOWN, at.x, at.y);
      app_test_run_for(120);
      toolbar_free(app->_toolbar);
      app->_toolbar = nullptr;
      app_test_pen(OS_PEN_MOVE, at.x + 5, at.y);
      app_test_pen(OS_PEN_UP, at.x + 5, at.y);
      app_test_run_for(300);
      trect place = toolbar_settings_rect(app, 1);
      app->_toolbar = toolbar_create(nullptr, &place, app);
      ASSERT_NE(app->_toolbar, nullptr);
      toolbar_apply_settings(app->_toolbar);
      EXPECT_EQ(checked_buttons(app), std::vector<int32_t>{1});
      at = centre_of(app, SHAPE_ID_ERASER);
      app_test_pen(OS_PEN_DOWN, at.x, at.y);
      app_test_run_for(20);
      app_test_pen(OS_PEN_UP, at.x, at.y);
      EXPECT_EQ(current_id(app), SHAPE_ID_ERASER);
      delete table;
      EXPECT_TRUE(canvas_matches_rebuild(app->_paint_context, app->_history));
    });
  }
}

TEST(ToolbarSession, RectangleUndoRedoClearAndUndo) {
  run("480x640", [](app_context *app) {
    std::string blank = app_test_canvas_bytes(app);
    tap(app, SHAPE_ID_RECT);
    EXPECT_EQ(current_id(app), SHAPE_ID_RECT);
    const int drag[][2] = {{100, 300}, {200, 380}, {300, 450}};
    app_test_stroke(drag, 3);
    ASSERT_EQ(paint_history_get_count(app->_history), 1);
    EXPECT_EQ(paint_history_get_record(app->_history, 0)->_operation, SHAPE_ID_RECT);
    std::string drawn = app_test_canvas_bytes(app);
    EXPECT_FALSE(drawn == blank);
    app_test_run_for(2000);  // the bar comes back
    tap(app, TOOLBAR_UNDO);
    EXPECT_TRUE(app_test_canvas_bytes(app) == blank);
    tap(app, TOOLBAR_REDO);
    EXPECT_TRUE(app_test_canvas_bytes(app) == drawn);
    tap(app, TOOLBAR_CLEAR);
    EXPECT_TRUE(app_test_canvas_bytes(app) == blank);
    EXPECT_EQ(paint_history_get_count(app->_history), 2) << "the clear is one step";
    EXPECT_TRUE(canvas_matches_rebuild(app->_paint_context, app->_history));
    tap(app, TOOLBAR_UNDO);
    EXPECT_TRUE(app_test_canvas_bytes(app) == drawn);
    EXPECT_EQ(current_id(app), SHAPE_ID_RECT) << "commands leave the tool";
    EXPECT_EQ(checked_buttons(app), std::vector<int32_t>{101});
    EXPECT_TRUE(canvas_matches_rebuild(app->_paint_context, app->_history));
    // Resize Canvas (scrolled into view) shows the frame and its button stays
    // down until the next tap.
    EXPECT_GT(centre_of(app, TOOLBAR_RESIZE_CANVAS).x, 480);
    scroll_bar(app, -150);
    EXPECT_LT(centre_of(app, TOOLBAR_RESIZE_CANVAS).x, 475);
    EXPECT_EQ(current_id(app), SHAPE_ID_RECT);
    tap(app, TOOLBAR_RESIZE_CANVAS);
    EXPECT_EQ(app->_resizing, 1);
    EXPECT_EQ(app->_handle_points[4].x, 479);
    EXPECT_EQ(checked_buttons(app), (std::vector<int32_t>{101, 1010}));
    tap(app, TOOLBAR_RESIZE_CANVAS);
    EXPECT_EQ(app->_resizing, 0);
    EXPECT_EQ(checked_buttons(app), std::vector<int32_t>{101});
  });
}

TEST(ToolbarSession, AnUndoInTheMiddleOfAFreeHandStrokeEndsItFirst) {
  for (int32_t tool : {SHAPE_ID_PENCIL, SHAPE_ID_ERASER, SHAPE_ID_SPRAY}) {
    run("480x640", [&](app_context *app) {
      SCOPED_TRACE(tool);
      toolbar_select(app->_toolbar, tool);
      stroke_below(300);
      std::string first = app_test_canvas_bytes(app);
      app_test_pen(OS_PEN_DOWN, 100, 500);
      app_test_pen(OS_PEN_MOVE, 150, 520);
      app_test_pen(OS_PEN_MOVE, 200, 540);
      app_test_char(u'B');
      EXPECT_TRUE(app_test_canvas_bytes(app) == first) << "the stroke under way was the step undone";
      app_test_pen(OS_PEN_MOVE, 250, 560);
      app_test_pen(OS_PEN_UP, 300, 580);
      EXPECT_EQ(paint_history_get_position(app->_history), 0);
      EXPECT_TRUE(canvas_matches_rebuild(app->_paint_context, app->_history));
      app_test_char(u'F');
      EXPECT_EQ(paint_history_get_position(app->_history), 1);
      EXPECT_TRUE(canvas_matches_rebuild(app->_paint_context, app->_history));
    });
  }
}

TEST(ToolbarSession, ADraggedBarAndTranslucencyOffAreKeptInTheSettings) {
  app_test_folders folders;
  trect moved = {0, 0, 0, 0};
  ASSERT_TRUE(app_test_run([&](app_context *app) {
    os_clock_drive(1);
    trect r = dock_rect(app);
    app_test_tap(r.x1 + 5, r.y1 + 5);
    ASSERT_NE(open_menu(), nullptr);
    tap_row(open_menu(), 0);
    EXPECT_FALSE(app->_toolbar->dock->_control._surface._keyed);
    // Dragged by its grip (the band along the left of a flat bar).
    app_test_pen(OS_PEN_DOWN, r.x1 + 5, r.y1 + 60);
    app_test_pen(OS_PEN_MOVE, r.x1 + 5, r.y1 + 160);
    app_test_pen(OS_PEN_MOVE, r.x1 + 5, r.y1 + 260);
    app_test_pen(OS_PEN_UP, r.x1 + 5, r.y1 + 260);
    moved = dock_rect(app);
    EXPECT_EQ(moved.y1, r.y1 + 200);
    os_clock_drive(0);
  }));
  std::string config = test_read_text(folders.home + "/config.xml");
  EXPECT_NE(config.find("<TBTranslucent>0</TBTranslucent>"), std::string::npos) << config;
  EXPECT_NE(config.find("<TBY1>" + std::to_string(moved.y1) + "</TBY1>"), std::string::npos) << config;
  EXPECT_NE(config.find("<TBWidth1>" + std::to_string(moved.x2 - moved.x1 + 1) + "</TBWidth1>"), std::string::npos);
  ASSERT_TRUE(app_test_run([&](app_context *app) {
    EXPECT_EQ(dock_rect(app).y1, moved.y1) << "the next start puts it there";
    EXPECT_FALSE(app->_toolbar->dock->_control._surface._keyed);
  }));
}
