// The floating panels of the painting view: the side bar's places, the alpha
// panel's levels and its closing by the clock, the colour swatch, the zoom
// bar, the line-width previews and the navigation thumbnail, in the started
// application on the headless display.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "alphapanel.h"
#include "app_common.h"
#include "app_test_env.h"
#include "colorpanel.h"
#include "commandpanel.h"
#include "tcolordialog.h"
#include "os_clock.h"
#include "os_display.h"
#include "paint_context.h"
#include "paint_history.h"
#include "paint_main.h"
#include "port_test_app.h"
#include "scalebar.h"
#include "screen_fixture.h"
#include "shape.h"
#include "tdialog.h"
#include "tdock.h"
#include "tlistbox.h"
#include "tmenu.h"
#include "thick_menu.h"
#include "thumbnail.h"
#include "tscreen.h"
#include "wins_timer.h"

namespace {

std::vector<int32_t> fields(const trect &r) { return {r.x1, r.y1, r.x2, r.y2}; }

std::string label_text(const scalebar *sb) {
  std::string out;
  for (const char16_t *c = sb->_label->_text; *c; c++) out += char(*c);
  return out;
}

// The clock stands still until a test moves it, for as long as this lives.
struct driven_clock {
  driven_clock() { os_clock_drive(1); }
  ~driven_clock() {
    wins_timer_stop_all();
    os_clock_drive(0);
  }
};

int key(uint32_t code) { return tscreen_dispatch_key(tscreen_get(), code, 0, 0); }

uint8_t fore_alpha(app_context *app) {
  tcolor fore;
  paint_context_get_fore_color(app->_paint_context, &fore);
  return fore.alpha;
}

void expect_sidebar(tsidebar *sb, int32_t width, int32_t height, int open, int32_t side,
                    const std::vector<int32_t> &frame, const std::vector<int32_t> &tab) {
  trect f, t;
  int32_t s = -1;
  tsidebar_compute_rects(sb, width, height, open, &f, &t, &s);
  EXPECT_EQ(fields(f), frame) << "open " << open;
  EXPECT_EQ(fields(t), tab) << "open " << open;
  EXPECT_EQ(s, side);
}

}  // namespace

TEST(SideBar, RectanglesByClassAndOrientationOpenAndClosed) {
  // The alpha panel's bar: at the left edge in portrait with the tab at the
  // lower end of its right side; at the bottom in landscape with the tab at
  // the right end of its top. Closed, the frame lies off the screen.
  const struct {
    int32_t width, height;
    std::vector<int32_t> open_frame, open_tab, closed_frame, closed_tab;
    int32_t side;
  } cases[] = {
      {240, 320, {0, 190, 29, 279}, {30, 240, 44, 279}, {-30, 190, -1, 279}, {0, 240, 14, 279}, TSIDEBAR_LEFT},
      {320, 240, {190, 210, 279, 239}, {240, 195, 279, 209}, {190, 240, 279, 269}, {240, 225, 279, 239},
       TSIDEBAR_BOTTOM},
      {320, 480, {0, 220, 59, 399}, {60, 320, 89, 399}, {-60, 220, -1, 399}, {0, 320, 29, 399}, TSIDEBAR_LEFT},
      {480, 320, {220, 260, 399, 319}, {320, 230, 399, 259}, {220, 320, 399, 379}, {320, 290, 399, 319},
       TSIDEBAR_BOTTOM},
      {480, 640, {0, 250, 79, 549}, {80, 440, 119, 549}, {-80, 250, -1, 549}, {0, 440, 39, 549}, TSIDEBAR_LEFT},
      {640, 480, {250, 400, 549, 479}, {440, 360, 549, 399}, {250, 480, 549, 559}, {440, 440, 549, 479},
       TSIDEBAR_BOTTOM},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
    tsidebar sb = {};
    tpoint portrait_tab, landscape_tab;
    alphapanel_layout_for(c.width, c.height, &sb._portrait_rect, &sb._landscape_rect, &portrait_tab,
                          &landscape_tab);
    sb._portrait_tab_width = portrait_tab.x;
    sb._portrait_tab_height = portrait_tab.y;
    sb._landscape_tab_width = landscape_tab.x;
    sb._landscape_tab_height = landscape_tab.y;
    sb._alignment = TSIDEBAR_ALIGN_END;
    expect_sidebar(&sb, c.width, c.height, 1, c.side, c.open_frame, c.open_tab);
    expect_sidebar(&sb, c.width, c.height, 0, c.side, c.closed_frame, c.closed_tab);
  }
}

TEST(SideBar, TopAndRightSidesPutTheTabOnTheInnerEdge) {
  tsidebar sb = {};
  sb._portrait_rect = {100, 0, 199, 59};   // top
  sb._landscape_rect = {540, 100, 639, 199};  // right
  sb._portrait_tab_width = 20;
  sb._portrait_tab_height = 10;
  sb._landscape_tab_width = 10;
  sb._landscape_tab_height = 20;
  sb._alignment = TSIDEBAR_ALIGN_CENTRE;
  expect_sidebar(&sb, 480, 640, 0, TSIDEBAR_TOP, {100, -50, 199, -1}, {140, 0, 159, 9});
  expect_sidebar(&sb, 640, 480, 1, TSIDEBAR_RIGHT, {550, 100, 639, 199}, {540, 140, 549, 159});
}

TEST(AlphaPanel, StepKeysOpenItAndItClosesOneToTwoSecondsAfterTheLastStep) {
  driven_clock clock;
  ASSERT_TRUE(app_test_run_fresh([](app_context *app) {
    alphapanel *ap = app->_alphapanel;
    ASSERT_NE(ap, nullptr);
    EXPECT_EQ(alphapanel_get_level(ap), 8);
    EXPECT_EQ(paint_main_key(0xF80F, 0, 0), 0) << "the step keys are not taken";
    EXPECT_EQ(alphapanel_get_level(ap), 8) << "a step past level 8 leaves it";
    EXPECT_EQ(fore_alpha(app), 255);
    EXPECT_TRUE(tsidebar_is_open(&ap->_sidebar)) << "and still opens the panel";
    app_test_run_for(900);
    key(0xF810);
    EXPECT_EQ(fore_alpha(app), 223);
    app_test_run_for(990);
    EXPECT_TRUE(tsidebar_is_open(&ap->_sidebar)) << "the step re-armed the close";
    app_test_run_for(1020);
    EXPECT_FALSE(tsidebar_is_open(&ap->_sidebar));
    for (int i = 0; i < 10; i++) key(0xF810);
    EXPECT_EQ(alphapanel_get_level(ap), 1);
    EXPECT_EQ(fore_alpha(app), 31);
    app_test_run_for(2100);
    EXPECT_FALSE(tsidebar_is_open(&ap->_sidebar));

    // Held 200 ms while closed, the tab explains itself until released;
    // opened by its tab, the panel stays open through steps.
    trect tab = app_test_screen_rect(&tsidebar_get_tab(&ap->_sidebar)->_control._surface);
    app_test_pen(OS_PEN_DOWN, (tab.x1 + tab.x2) / 2, (tab.y1 + tab.y2) / 2);
    app_test_run_for(190);
    EXPECT_EQ(ap->_hint, nullptr);
    app_test_run_for(20);
    EXPECT_NE(ap->_hint, nullptr);
    app_test_pen(OS_PEN_UP, (tab.x1 + tab.x2) / 2, (tab.y1 + tab.y2) / 2);
    EXPECT_EQ(ap->_hint, nullptr);
    ASSERT_TRUE(tsidebar_is_open(&ap->_sidebar));
    key(0xF80F);
    EXPECT_EQ(alphapanel_get_level(ap), 2);
    app_test_run_for(3000);
    EXPECT_TRUE(tsidebar_is_open(&ap->_sidebar));
  }));
}

TEST(ColorPanel, APressEndingOutsideOpensNothingATapOpensTheDialog) {
  ASSERT_TRUE(app_test_run_fresh([](app_context *app) {
    trect r = app_test_screen_rect(&app->_colorpanel->_control._surface);
    int32_t x = (r.x1 + r.x2) / 2, y = (r.y1 + r.y2) / 2;
    tscreen *screen = tscreen_get();
    EXPECT_EQ(screen_pixel(screen, r.x1 + 2, y), screen_pixel(screen, r.x1 - 3, y)) << "the ring is see-through";
    EXPECT_NE(screen_pixel(screen, r.x1 + 1, y), screen_pixel(screen, r.x1 - 3, y)) << "the outline is not";
    tsurface *modal_before = tscreen_get_modal(screen);  // the command panel's tab
    app_test_pen(OS_PEN_DOWN, x, y);
    app_test_pen(OS_PEN_MOVE, r.x2 + 20, y);
    app_test_pen(OS_PEN_UP, r.x2 + 20, y);
    EXPECT_EQ(tscreen_get_modal(screen), modal_before);
    EXPECT_EQ(app_test_canvas_pixel(app, r.x2 + 20, y), app_test_canvas_pixel(app, 5, 5))
        << "the canvas saw none of it";
    // A pick from the dialog keeps the opacity of the drawing colour.
    paint_main_key(0xF810, 0, 0);
    ASSERT_EQ(fore_alpha(app), 223);
    app_test_tap(x, y);
    tsurface *modal = tscreen_get_modal(tscreen_get());
    ASSERT_NE(modal, nullptr);
    auto *dialog = static_cast<tcolordialog *>(tsurface_get_owner(modal));
    app_test_tap_surface(&dialog->_palette[TCOLORDIALOG_PALETTE - 8]->_control._surface);  // (255, 153, 204)
    EXPECT_EQ(tscreen_get_modal(tscreen_get()), modal_before) << "the dialog gave the slot back";
    tcolor fore;
    paint_context_get_fore_color(app->_paint_context, &fore);
    EXPECT_EQ((std::vector<int>{fore.red, fore.green, fore.blue, fore.alpha}), (std::vector<int>{255, 153, 204, 223}));
    EXPECT_EQ(app->_recent_colors[0], 0xCC99FF);
    app_test_close_modal();
  }));
}

TEST(ScaleBar, LayoutByClassAndOrientation) {
  const struct {
    const char *screen;
    std::vector<int32_t> bar;
  } cases[] = {
      {"240x320", {206, 104, 236, 214}}, {"320x240", {94, 3, 224, 33}},   {"320x480", {260, 110, 314, 309}},
      {"480x320", {85, 5, 309, 59}},     {"480x640", {402, 175, 473, 437}}, {"640x480", {142, 6, 437, 77}},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.screen);
    ASSERT_TRUE(app_test_run_fresh(
        [&](app_context *app) {
          ASSERT_EQ(paint_main_toggle_zoom_bar(), 1);
          EXPECT_EQ(fields(app->_scalebar->_rect), c.bar);
          trect in = app_test_screen_rect(&app->_scalebar->_zoom_in->_control._surface);
          EXPECT_TRUE(in.x1 >= c.bar[0] && in.x2 <= c.bar[2] && in.y1 >= c.bar[1] && in.y2 <= c.bar[3]);
          trect thumb = paint_main_thumbnail_rect(tscreen_get_width(tscreen_get()), tscreen_get_height(tscreen_get()));
          EXPECT_FALSE(trect_is_intersecting(&app->_scalebar->_rect, &thumb)) << "clear of the thumbnail";
          EXPECT_EQ(label_text(app->_scalebar), "100%");
        },
        c.screen));
  }
}

TEST(ScaleBar, TheSmallLabelOverhangingTheBarIsOnTheScreenAtOnce) {
  ASSERT_TRUE(app_test_run_fresh(
      [](app_context *app) {
        tscreen *screen = tscreen_get();
        uint32_t lock = tscreen_get_update_lock(screen);
        tscreen_set_update_lock(screen, 1);
        ASSERT_EQ(paint_main_toggle_zoom_bar(), 1);
        tscreen_set_update_lock(screen, lock);
        // Only the bar's own paint may reach the screen: the whole screen
        // shows the canvas again first.
        trect bar = app->_scalebar->_rect;
        trect label = app_test_screen_rect(&app->_scalebar->_label->_control._surface);
        ASSERT_GT(label.x2, bar.x2) << "35 wide over a 31 wide bar";
        uint32_t before = screen_pixel(screen, label.x2 - 1, (label.y1 + label.y2) / 2);
        scalebar_layout(app->_scalebar);
        EXPECT_NE(screen_pixel(screen, label.x2 - 1, (label.y1 + label.y2) / 2), before);
      },
      "240x320"));
}

TEST(ScaleBar, StepsKeepTheCentreOrCentreACanvasThatWouldLeaveTheScreen) {
  ASSERT_TRUE(app_test_run_fresh([](app_context *app) {
    ASSERT_EQ(paint_main_toggle_zoom_bar(), 1);
    paint_context *pc = app->_paint_context;
    paint_context_set_origin(pc, -100, -50);
    scalebar_run(app->_scalebar, SCALEBAR_ZOOM_IN);
    EXPECT_EQ(label_text(app->_scalebar), "110%");
    // The canvas centre stays at (140, 270) on the screen.
    EXPECT_EQ(fields(paint_main_canvas_rect()), (std::vector<int32_t>{-124, -82, 403, 621}));
    scalebar_run(app->_scalebar, SCALEBAR_ZOOM_100);
    paint_context_set_origin(pc, 0, 0);
    scalebar_run(app->_scalebar, SCALEBAR_ZOOM_OUT);
    EXPECT_EQ(label_text(app->_scalebar), "90%");
    tpoint origin;
    paint_context_get_origin(pc, &origin);
    EXPECT_EQ((std::vector<int32_t>{origin.x, origin.y}), (std::vector<int32_t>{22, 30})) << "436 x 581 centred";
    // While the command panel shows, the menu offers "Hide"; hidden (as in
    // framing), it does not.
    for (int shown : {1, 0}) {
      tsurface_set_visible(&app->_commandpanel->_dock->_control._surface, shown);
      scalebar_run(app->_scalebar, SCALEBAR_MENU);
      ASSERT_NE(app_test_modal_list(), nullptr);
      EXPECT_EQ(tlistbox_get_count(app_test_modal_list()), shown ? 8 : 7);
      tmenu_close(reinterpret_cast<tmenu *>(tscreen_get_modal(tscreen_get())));
    }
    tsurface_set_visible(&app->_commandpanel->_dock->_control._surface, 1);
    // Kept where it was, the canvas would lie wholly left of the screen.
    paint_context_set_origin(pc, -2000, 0);
    scalebar_run(app->_scalebar, SCALEBAR_ZOOM_IN);
    paint_context_get_origin(pc, &origin);
    tbitmap *canvas = paint_context_get_canvas(pc);
    EXPECT_EQ(origin.x, 240 - tbitmap_get_width(canvas) / 2);
    EXPECT_EQ(origin.y, 320 - tbitmap_get_height(canvas) / 2);
  }));
}

TEST(ScaleBar, ALoweredPixelBudgetShowsTheStopBoxAfterTheRepaint) {
  ASSERT_TRUE(app_test_run_fresh([](app_context *app) {
    ASSERT_EQ(paint_main_toggle_zoom_bar(), 1);
    uint64_t budget = tbitmap_set_budget(480 * 640 * 4);
    scalebar_run(app->_scalebar, SCALEBAR_ZOOM_IN);
    tbitmap_set_budget(budget);
    EXPECT_EQ(paint_context_get_zoom(app->_paint_context), 1.0);
    EXPECT_EQ(label_text(app->_scalebar), "100%");
    EXPECT_NE(tscreen_get_modal(tscreen_get()), nullptr) << "25020 is shown";
    app_test_close_modal();
  }));
}

TEST(ScaleBar, AHundredZoomOutsLeaveAOnePixelCanvasWithASaneLabelAndThumbnail) {
  ASSERT_TRUE(app_test_run_fresh([](app_context *app) {
    ASSERT_EQ(paint_main_toggle_zoom_bar(), 1);
    paint_main_show_thumbnail(1);
    for (int i = 0; i < 100; i++) scalebar_run(app->_scalebar, SCALEBAR_ZOOM_OUT);
    tbitmap *canvas = paint_context_get_canvas(app->_paint_context);
    EXPECT_EQ(tbitmap_get_width(canvas), 1);
    EXPECT_EQ(tbitmap_get_height(canvas), 1);
    EXPECT_EQ(label_text(app->_scalebar), "0%");
    ASSERT_NE(app->_thumbnail->_scaled, nullptr);
    EXPECT_GE(tbitmap_get_width(app->_thumbnail->_scaled), 1);
    EXPECT_LE(tbitmap_get_width(app->_thumbnail->_scaled), tsurface_get_width(&app->_thumbnail->_control._surface));
    scalebar_run(app->_scalebar, SCALEBAR_WHOLE_CANVAS);
    EXPECT_EQ(label_text(app->_scalebar), "100%") << "the whole canvas fits the screen at 100%";
  }));
}

// The width numbers keep clear of the list's frame and the selection's
// (3 pixels in): the columns just inside show row backgrounds alone, which
// do not change across.
static void expect_numbers_inside(tlistbox *list) {
  tscreen_paint(tscreen_get(), nullptr);
  trect r = app_test_screen_rect(&list->_control._surface);
  int ink = 0;
  for (int32_t y = r.y1 + 1; y < r.y2; y++)
    for (int32_t x : {r.x1 + 5, r.x1 + 6})
      ink += screen_pixel(tscreen_get(), x, y) != screen_pixel(tscreen_get(), r.x1 + 4, y);
  EXPECT_EQ(ink, 0);
}

TEST(ThickMenu, APreviewsInkLiesOnItsStrokeWidenedByHalfItsWidth) {
  for (int large = 0; large <= 1; large++) {
    for (int row = 0; row < THICK_MENU_ROWS; row++) {
      int32_t w = thick_menu_preview_width_at(large, row);
      SCOPED_TRACE(std::to_string(large) + " width " + std::to_string(w));
      tbitmap *mask = thick_menu_make_preview(w, large);
      ASSERT_NE(mask, nullptr);
      double from = large ? 24 : 12, to = large ? 76 : 88;
      int outside = 0;
      for (int y = 0; y < THICK_MENU_PREVIEW_HEIGHT; y++) {
        for (int x = 0; x < THICK_MENU_PREVIEW_WIDTH; x++) {
          if (!tbitmap_get_row(mask, y)[x]) continue;
          double cx = x + 0.5, cy = y + 0.5, nearest = std::min(std::max(cx, from), to);
          if (std::hypot(cx - nearest, cy - 15) > w / 2.0 + 0.75) outside++;
        }
      }
      EXPECT_EQ(outside, 0);
      uint8_t middle = tbitmap_get_row(mask, 14)[50];
      if (w >= 2) {
        EXPECT_EQ(middle, 255) << "the stroke's middle is full ink";
      }
      EXPECT_GT(middle, 0);
      EXPECT_GT(tbitmap_get_row(mask, 14)[int(from)], 0) << "the stroke reaches its start";
      tbitmap_free(mask);
    }
  }
}

TEST(Thumbnail, BothAspectsAndATapOnTheFramesCentreKeepsTheOrigin) {
  ASSERT_TRUE(app_test_run_fresh([](app_context *app) {
    thumbnail *pt = app->_thumbnail;
    paint_main_show_thumbnail(1);
    // 480 x 640 in a 132 x 192 control: wider than the control, full width.
    ASSERT_NE(pt->_scaled, nullptr);
    // (The copy keeps the aspect within 130 x 173, so it may lose a column.)
    EXPECT_GE(tbitmap_get_width(pt->_scaled), 129);
    EXPECT_LE(tbitmap_get_width(pt->_scaled), 130);
    EXPECT_EQ(tbitmap_get_height(pt->_scaled), 173);
    tcolor white = tcolor_rgba(255, 255, 255);
    ASSERT_TRUE(paint_context_load_blank(app->_paint_context, 100, 400, white));
    paint_main_after_rebuild();
    EXPECT_EQ(tbitmap_get_width(pt->_scaled), 190 * 100 / 400);
    EXPECT_EQ(tbitmap_get_height(pt->_scaled), 188);

    ASSERT_TRUE(paint_context_load_blank(app->_paint_context, 1600, 1200, white));
    paint_context_set_origin(app->_paint_context, -300, -200);
    paint_main_after_rebuild();
    // The frame stays put within a thumbnail pixel, so the origin within
    // one thumbnail pixel's worth of canvas.
    trect v = pt->_view_rect;
    trect at = app_test_screen_rect(&pt->_control._surface);
    int32_t x = at.x1 + v.x1 + pt->_view_width / 2, y = at.y1 + v.y1 + pt->_view_height / 2;
    app_test_tap(x, y);
    EXPECT_NEAR(pt->_view_rect.x1, v.x1, 1);
    EXPECT_NEAR(pt->_view_rect.y1, v.y1, 1);
    tpoint origin;
    paint_context_get_origin(app->_paint_context, &origin);
    EXPECT_NEAR(origin.x, -300, 1 / pt->_scale + 1);
    EXPECT_NEAR(origin.y, -200, 1 / pt->_scale + 1);
  }));
}

TEST(AppPanels, EndToEnd) {
  ASSERT_TRUE(app_test_run_fresh([](app_context *app) {
    tscreen_dispatch_key(tscreen_get(), 0xF810, 0, 0);
    EXPECT_EQ(fore_alpha(app), 223);

    ASSERT_EQ(paint_main_toggle_zoom_bar(), 1);
    trect in = app_test_screen_rect(&app->_scalebar->_zoom_in->_control._surface);
    app_test_tap((in.x1 + in.x2) / 2, (in.y1 + in.y2) / 2);
    EXPECT_EQ(label_text(app->_scalebar), "110%");
    EXPECT_NEAR(paint_context_get_zoom(app->_paint_context), 1.1, 1e-9);
    EXPECT_EQ(paint_main_toggle_zoom_bar(), 0);
    EXPECT_EQ(app->_scalebar, nullptr);

    app->_current_tool = paint_context_find_tool(app->_paint_context, SHAPE_ID_PAN);
    paint_main_show_thumbnail(1);
    EXPECT_TRUE(tsurface_is_visible(&app->_thumbnail->_control._surface));
    tpoint before, after;
    paint_context_get_origin(app->_paint_context, &before);
    trect thumb = app_test_screen_rect(&app->_thumbnail->_control._surface);
    app_test_tap(thumb.x2 - 3, thumb.y2 - 3);
    paint_context_get_origin(app->_paint_context, &after);
    EXPECT_LT(after.x, before.x);
    EXPECT_LT(after.y, before.y);
    paint_main_show_thumbnail(0);
    EXPECT_FALSE(tsurface_is_visible(&app->_thumbnail->_control._surface));
  }));
}

TEST(AppPanels, RotationMovesThePanels) {
  ASSERT_TRUE(app_test_run_fresh([](app_context *app) {
    ASSERT_EQ(paint_main_toggle_zoom_bar(), 1);
    os_display_set_size(640, 480);
    os_input_display_changed();
    port_test_pump();
    EXPECT_EQ(fields(app_test_screen_rect(&app->_colorpanel->_control._surface)), fields(paint_main_colorpanel_rect(640, 480)));
    EXPECT_EQ(fields(app_test_screen_rect(&app->_thumbnail->_control._surface)), fields(paint_main_thumbnail_rect(640, 480)));
    EXPECT_EQ(fields(app->_scalebar->_rect), (std::vector<int32_t>{142, 6, 437, 77}));
    EXPECT_TRUE(tsidebar_is_landscape(&app->_alphapanel->_sidebar));
    EXPECT_EQ(fields(app_test_screen_rect(&app->_alphapanel->_sidebar._dock->_control._surface)),
              (std::vector<int32_t>{250, 480, 549, 559}));
  }));
}

TEST(ThickMenu, APickWritesTheWidthOfTheToolInUse) {
  // On a large screen the pen's 14 is preselected and row 7 gives 24; on a
  // small one the eraser's 12, and row 2 changes its width alone.
  const struct {
    const char *screen;
    int32_t tool, selected, pick, pen, rubber;
  } cases[] = {{"480x640", SHAPE_ID_PENCIL, 5, 7, 24, -1}, {"240x320", SHAPE_ID_ERASER, 6, 2, 7, 4}};
  for (const auto &c : cases) {
    ASSERT_TRUE(app_test_run_fresh(
        [&](app_context *app) {
          paint_context *pc = app->_paint_context;
          app->_current_tool = paint_context_find_tool(pc, c.tool);
          trect button = {10, 10, 34, 34};
          paint_main_show_line_width_menu(&button);
          ASSERT_NE(app->_thick_menu, nullptr);
          tlistbox *list = app_test_modal_list();
          ASSERT_NE(list, nullptr);
          EXPECT_EQ(tlistbox_get_selected(list), c.selected);
          expect_numbers_inside(list);
          tlistbox_activate(list, c.pick);
          port_test_pump();
          EXPECT_EQ(paint_context_get_pen_size(pc), c.pen);
          EXPECT_TRUE(c.rubber < 0 || paint_context_get_rubber_size(pc) == c.rubber);
          EXPECT_EQ(app_test_popup(), nullptr);
        },
        c.screen));
  }
}

TEST(ScaleBar, CanvasWidthFromTheMenuZoomsAndCentres) {
  ASSERT_TRUE(app_test_run_fresh([](app_context *app) {
    paint_context *pc = app->_paint_context;
    ASSERT_TRUE(paint_context_load_blank(pc, 960, 600, tcolor_rgba(255, 255, 255)));
    paint_context_set_origin(pc, -300, -200);
    ASSERT_EQ(paint_main_toggle_zoom_bar(), 1);
    scalebar_run(app->_scalebar, SCALEBAR_MENU);
    ASSERT_NE(app_test_modal_list(), nullptr);
    tlistbox_activate(app_test_modal_list(), 1);
    port_test_pump();
    EXPECT_EQ(label_text(app->_scalebar), "50%");
    EXPECT_EQ(fields(paint_main_canvas_rect()), (std::vector<int32_t>{0, 170, 479, 469}));
  }));
}

TEST(Thumbnail, ATapBesideTheScaledCanvasStillRecentres) {
  ASSERT_TRUE(app_test_run_fresh([](app_context *app) {
    ASSERT_TRUE(paint_context_load_blank(app->_paint_context, 100, 400, tcolor_rgba(255, 255, 255)));
    paint_main_show_thumbnail(1);
    thumbnail *pt = app->_thumbnail;
    trect at = app_test_screen_rect(&pt->_control._surface);
    ASSERT_GT(thumbnail_get_offset(pt).x, 10) << "a narrow canvas leaves room beside it";
    app_test_tap(at.x1 + 2, at.y1);
    tpoint origin;
    paint_context_get_origin(app->_paint_context, &origin);
    // The view's centre is now left of and above the canvas.
    EXPECT_GT(origin.x, 240);
    EXPECT_GT(origin.y, 320);
  }));
}

// The thumbnail's frame follows a Pan drag on the canvas as it goes.
TEST(Thumbnail, APanDragRepaintsTheFrame) {
  ASSERT_TRUE(app_test_run_fresh([](app_context *app) {
    ASSERT_TRUE(paint_context_load_blank(app->_paint_context, 1600, 1200, tcolor_rgba(255, 255, 255)));
    paint_main_after_rebuild();
    app->_current_tool = paint_context_find_tool(app->_paint_context, SHAPE_ID_PAN);
    paint_main_show_thumbnail(1);
    tsurface *thumb = &app->_thumbnail->_control._surface;
    const trect at = app_test_screen_rect(thumb);
    auto shown = [&] {
      std::vector<uint32_t> pixels;
      for (int32_t y = at.y1; y <= at.y2; y++)
        for (int32_t x = at.x1; x <= at.x2; x++) pixels.push_back(screen_pixel(tscreen_get(), x, y));
      return pixels;
    };
    auto before = shown();
    app_test_pen(OS_PEN_DOWN, 100, 400);
    for (int32_t i = 1; i <= 10; i++) app_test_pen(OS_PEN_MOVE, 100 - 6 * i, 400 - 6 * i);
    app_test_pen(OS_PEN_UP, 40, 340);
    auto after = shown();
    EXPECT_NE(after, before);
    tsurface_paint(thumb);  // what a whole repaint shows
    tscreen_paint(tscreen_get(), nullptr);
    EXPECT_EQ(after, shown());
  }));
}

// Whole Canvas fits the side that needs the smaller zoom, and the drawing is
// rebuilt at the new zoom.
TEST(ScaleBar, WholeCanvasFitsTheTallPictureAndRedrawsIt) {
  ASSERT_TRUE(app_test_run_fresh([](app_context *app) {
    ASSERT_TRUE(paint_context_load_blank(app->_paint_context, 240, 1280, tcolor_rgba(255, 255, 255)));
    paint_main_after_rebuild();
    const int points[][2] = {{100, 300}, {150, 350}, {200, 320}};
    app_test_stroke(points, 3);
    ASSERT_EQ(paint_history_get_count(app->_history), 1);
    ASSERT_EQ(paint_main_toggle_zoom_bar(), 1);
    scalebar_run(app->_scalebar, SCALEBAR_WHOLE_CANVAS);
    EXPECT_EQ(label_text(app->_scalebar), "50%");
    std::string shown = app_test_canvas_bytes(app);
    paint_history_rebuild(app->_history);
    EXPECT_TRUE(shown == app_test_canvas_bytes(app));
  }));
}

// The 480 x 640 painting cut to 160 x 320: Whole Canvas fits its height and
// Canvas Width its width, live, after an undo and a redo, and after a restart.
TEST(ScaleBar, TheFitsMeasureThePaintingAsACropLeftIt) {
  app_test_folders folders;
  auto fits = [](app_context *app) {
    if (!app->_scalebar) paint_main_toggle_zoom_bar();
    std::string labels;
    for (int32_t id : {SCALEBAR_WHOLE_CANVAS, SCALEBAR_CANVAS_WIDTH, SCALEBAR_ZOOM_100}) {
      scalebar_run(app->_scalebar, id);
      labels += label_text(app->_scalebar) + " ";
    }
    return labels;
  };
  ASSERT_TRUE(app_test_run([&](app_context *app) {
    app_test_remove_toolbar(app);
    app->_resizing = 1;
    paint_main_update_frame();
    app_test_pen(OS_PEN_DOWN, 479, 0);  // the top-right handle
    app_test_pen(OS_PEN_MOVE, 159, 320);
    app_test_pen(OS_PEN_UP, 159, 320);
    app->_resizing = 0;
    EXPECT_EQ(fits(app), "200% 300% 100% ") << "live";
    app_test_char(u'b');
    app_test_char(u'f');
    EXPECT_EQ(fits(app), "200% 300% 100% ") << "after an undo and a redo";
    app_test_char(u'Q');
  }));
  ASSERT_TRUE(app_test_run([&](app_context *app) {
    driven_clock clock;
    app_test_run_for(PAINT_MAIN_RESTORE_DELAY_MS);
    EXPECT_EQ(fits(app), "200% 300% 100% ") << "after a restart";
  }));
}
