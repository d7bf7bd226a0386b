// The command panel in the running program on the headless display: where
// it lies open and closed on every screen class and orientation, how its
// buttons wrap into rows, a slide seen step by step on the display, the
// tooltips on the test clock, and Save, Save As and Quit driven by taps.
#include "commandpanel.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "alphapanel.h"
#include "app_common.h"
#include "app_test_env.h"
#include "colorpanel.h"
#include "os_clock.h"
#include "os_display.h"
#include "paint_file.h"
#include "paint_fixture.h"
#include "paint_history.h"
#include "paint_main.h"
#include "port_test_app.h"
#include "scalebar.h"
#include "screen_fixture.h"
#include "shape.h"
#include "tbutton.h"
#include "tcontrolbar.h"
#include "tdialog.h"
#include "tdock.h"
#include "tform.h"
#include "thint.h"
#include "thumbnail.h"
#include "tlabel.h"
#include "tmenu.h"
#include "tmessagedialog.h"
#include "toolbar.h"
#include "tresource.h"
#include "tscreen.h"
#include "tseperator.h"
#include "test_env.h"
#include "ttdrawer.h"
#include "wins_graphics.h"
#include "wins_timer.h"
#include "wins_window.h"

namespace {

using rect4 = std::vector<int32_t>;

rect4 of(const trect &r) { return {r.x1, r.y1, r.x2, r.y2}; }
rect4 rect_of(void *control) { return of(*tsurface_get_rect(&static_cast<tcontrol *>(control)->_surface)); }

void run(const char *screen, const std::function<void(app_context *)> &body) {
  app_test_folders folders;
  ASSERT_TRUE(app_test_run(body, screen));
}

// A tap in the middle of a control, as the window system gives it.
void tap(void *control) {
  trect r;
  tsurface_get_screen_rect(&static_cast<tcontrol *>(control)->_surface, &r);
  app_test_pen(OS_PEN_DOWN, (r.x1 + r.x2) / 2, (r.y1 + r.y2) / 2);
  app_test_pen(OS_PEN_UP, (r.x1 + r.x2) / 2, (r.y1 + r.y2) / 2);
}

tbutton *button(app_context *app, int32_t command) {
  for (tbutton *b : app->_commandpanel->_buttons)
    if (tbutton_get_user_data(b) == command) return b;
  ADD_FAILURE() << "no button " << command;
  return nullptr;
}

void open_panel(app_context *app) {
  tap(app->_commandpanel->_tab);
  ASSERT_EQ(app->_commandpanel->_open, 1);
}

}  // namespace

// Closed, only the strip lies on the screen; the large class opens 400 px
// whatever the screen; the tab sits centred right against the panel.
TEST(CommandPanelGeometry, RectanglesForEveryClassOrientationAndState) {
  struct row {
    int32_t width, height;
    int open;
    rect4 panel, tab;
  } rows[] = {
      {240, 320, 1, {0, 160, 239, 319}, {95, 140, 144, 159}},
      {240, 320, 0, {0, 317, 239, 476}, {95, 297, 144, 316}},
      {320, 240, 1, {160, 0, 319, 239}, {140, 95, 159, 144}},
      {320, 240, 0, {317, 0, 476, 239}, {297, 95, 316, 144}},
      {320, 480, 1, {0, 240, 319, 479}, {110, 200, 209, 239}},
      {320, 480, 0, {0, 475, 319, 714}, {110, 435, 209, 474}},
      {480, 320, 1, {240, 0, 479, 319}, {200, 110, 239, 209}},
      {480, 320, 0, {475, 0, 714, 319}, {435, 110, 474, 209}},
      {480, 640, 1, {0, 240, 479, 639}, {185, 195, 294, 239}},
      {480, 640, 0, {0, 635, 479, 1034}, {185, 590, 294, 634}},
      {800, 480, 1, {400, 0, 799, 479}, {355, 185, 399, 294}},
      {800, 480, 0, {795, 0, 1194, 479}, {750, 185, 794, 294}},
  };
  for (const row &r : rows) {
    SCOPED_TRACE(std::to_string(r.width) + "x" + std::to_string(r.height) + (r.open ? " open" : " closed"));
    trect panel, tab;
    commandpanel_compute_rects(r.width, r.height, r.open, &panel, &tab);
    EXPECT_EQ(of(panel), r.panel);
    EXPECT_EQ(of(tab), r.tab);
    bool landscape = r.width > r.height;
    int32_t on_screen = landscape ? r.width - panel.x1 : r.height - panel.y1;
    int32_t strip = r.width == 240 || r.height == 240 ? 3 : 5;
    if (!r.open) {
      EXPECT_EQ(on_screen, strip) << "what a closed panel leaves";
    }
    if (app_common_is_vga_size(r.width, r.height)) {
      EXPECT_EQ(landscape ? panel.x2 - panel.x1 + 1 : panel.y2 - panel.y1 + 1, 400);
    }
    // Beside the panel, centred along it.
    if (landscape) {
      EXPECT_EQ(tab.x2 + 1, panel.x1);
      EXPECT_EQ(tab.y1 - panel.y1, panel.y2 - tab.y2);
    } else {
      EXPECT_EQ(tab.y2 + 1, panel.y1);
      EXPECT_EQ(tab.x1 - panel.x1, panel.x2 - tab.x2);
    }
  }
}

// The first eight commands run in rows as wide as the panel allows, the
// separator under them, Share, About and Quit in a row of their own below.
TEST(CommandPanelLayout, ButtonsWrapIntoRowsAroundTheSeparator) {
  struct row {
    const char *screen;
    std::vector<int32_t> xs, ys;  // of the eleven buttons in creation order
    rect4 separator;
  } rows[] = {
      {"240x320", {5, 63, 121, 179, 5, 63, 121, 179, 5, 63, 121}, {5, 5, 5, 5, 54, 54, 54, 54, 107, 107, 107},
       {5, 102, 235, 103}},
      {"320x240", {5, 56, 107, 5, 56, 107, 5, 56, 5, 56, 107}, {5, 5, 5, 54, 54, 54, 103, 103, 156, 156, 156},
       {5, 151, 152, 152}},
      {"480x640", {13, 127, 241, 355, 13, 127, 241, 355, 13, 127, 241},
       {13, 13, 13, 13, 140, 140, 140, 140, 279, 279, 279},
       {13, 266, 467, 267}},
  };
  for (const row &r : rows) {
    SCOPED_TRACE(r.screen);
    run(r.screen, [&](app_context *app) {
      commandpanel *cp = app->_commandpanel;
      std::vector<int32_t> xs, ys;
      for (tbutton *b : cp->_buttons) {
        xs.push_back(rect_of(b)[0]);
        ys.push_back(rect_of(b)[1]);
      }
      EXPECT_EQ(xs, r.xs);
      EXPECT_EQ(ys, r.ys);
      EXPECT_EQ(rect_of(cp->_separator), r.separator);
      EXPECT_EQ(tform_get_child_by_id(cp->_form, 9), &cp->_separator->_control) << "the separator is ninth";
      EXPECT_EQ(std::u16string(button(app, COMMANDPANEL_MY_PAINTS)->_caption),
                std::string(r.screen).find("240") != std::string::npos ? u"MyPaints" : u"My Paints");
    });
  }
}

// With no text file at all the captions are the built-in English ones; the
// small class's My Paints has its own.
TEST(CommandPanelLayout, BuiltInCaptionsServeWithoutTexts) {
  for (const char *screen : {"240x320", "480x640"}) {
    SCOPED_TRACE(screen);
    run(screen, [&](app_context *app) {
      tresource_file **table = tresource_get_table();
      std::vector<tresource_file *> loaded(table, table + TRESOURCE_MAX_FILES);
      std::fill(table, table + TRESOURCE_MAX_FILES, nullptr);
      const trect none = {0, 0, -1, -1};
      commandpanel *bare = commandpanel_new(nullptr, &none, app);
      std::copy(loaded.begin(), loaded.end(), table);
      ASSERT_NE(bare, nullptr);
      std::u16string caption;
      for (tbutton *b : bare->_buttons)
        if (tbutton_get_user_data(b) == COMMANDPANEL_MY_PAINTS) caption = b->_caption;
      EXPECT_EQ(caption, screen[0] == '2' ? u"MyPaints" : u"My Paints");
      commandpanel_free(bare);
    });
  }
}

// A tap on the tab slides the panel open in four steps, each composed and
// shown on the display and followed by a 10 ms sleep on the port's clock; it
// ends exactly where the open panel lies. A second tap closes it the same way.
TEST(CommandPanelSlide, EachStepReachesTheDisplayAndTheSlideEndsAtItsTarget) {
  for (const char *screen : {"240x320", "320x240", "480x640"}) {
    SCOPED_TRACE(screen);
    run(screen, [&](app_context *app) {
      os_clock_drive(1);
      commandpanel *cp = app->_commandpanel;
      int32_t width = tscreen_get_width(tscreen_get()), height = tscreen_get_height(tscreen_get());
      for (int open : {1, 0}) {
        uint64_t started = os_clock_now_ms();
        int presents = os_headless_get_present_count();
        tap(cp->_tab);
        EXPECT_EQ(cp->_open, open);
        trect panel, tab;
        commandpanel_compute_rects(width, height, open, &panel, &tab);
        EXPECT_EQ(rect_of(cp->_dock), of(panel));
        EXPECT_EQ(rect_of(cp->_tab), of(tab));
        EXPECT_EQ(os_clock_now_ms() - started, 40u) << "four 10 ms waits";
        // The tap's own pressed and released looks, four steps and the end.
        EXPECT_GE(os_headless_get_present_count() - presents, 7);
        EXPECT_EQ(tscreen_get_modal(tscreen_get()), &cp->_tab->_control._surface);
        // What the display shows is what a full repaint gives.
        std::vector<uint32_t> shown;
        for (int32_t y = 0; y < height; y += 7)
          for (int32_t x = 0; x < width; x += 5) shown.push_back(os_headless_get_pixel(x, y));
        tscreen_paint(tscreen_get(), nullptr);
        std::vector<uint32_t> repainted;
        for (int32_t y = 0; y < height; y += 7)
          for (int32_t x = 0; x < width; x += 5) repainted.push_back(os_headless_get_pixel(x, y));
        EXPECT_EQ(shown, repainted);
      }
      os_clock_drive(0);
    });
  }
}

// Open when the screen turns, the panel stays open on the new edge with the
// tab beside it.
TEST(CommandPanelSlide, ARotationKeepsTheStateOnTheNewEdge) {
  run("320x480", [](app_context *app) {
    commandpanel *cp = app->_commandpanel;
    open_panel(app);
    wins_window_resize(480, 320);
    port_test_pump();
    trect panel, tab;
    commandpanel_compute_rects(480, 320, 1, &panel, &tab);
    EXPECT_EQ(rect_of(cp->_dock), of(panel));
    EXPECT_EQ(rect_of(cp->_tab), of(tab));
    EXPECT_EQ(cp->_landscape, 1);
    EXPECT_EQ(rect_of(cp->_buttons[3]), (rect4{98, 108, 175, 195})) << "two to a row in 235 px";
  });
}

// None of the floating panels (side bar tab, colour swatch, thumbnail of the
// Pan tool, zoom bar) shows through the open panel, where a tap reaches the
// panel's buttons; closed, they are back. A rotation keeps that, and the tab
// shows the new orientation's arrow.
TEST(CommandPanelSlide, NothingShowsThroughTheOpenPanel) {
  for (const char *screen : {"480x640", "640x480", "240x320"}) {
    SCOPED_TRACE(screen);
    run(screen, [&](app_context *app) {
      tscreen *s = tscreen_get();
      toolbar_select(app->_toolbar, SHAPE_ID_PAN);
      ASSERT_EQ(paint_main_toggle_zoom_bar(), 1);
      scalebar *zoom = app->_scalebar;
      tsurface *under[] = {&tsidebar_get_tab(&app->_alphapanel->_sidebar)->_control._surface,
                           &app->_colorpanel->_control._surface,
                           &app->_thumbnail->_control._surface,
                           &zoom->_label->_control._surface,
                           &zoom->_zoom_in->_control._surface,
                           &zoom->_zoom_out->_control._surface,
                           &zoom->_menu->_control._surface};
      // Whether the panel's area changes when both are taken away.
      auto shows_through = [&] {
        trect r = *tsurface_get_rect(&app->_commandpanel->_dock->_control._surface);
        auto area = [&] {
          std::vector<uint32_t> pixels;
          for (int32_t y = std::max(r.y1, 0); y <= std::min(r.y2, tscreen_get_height(s) - 1); y++)
            for (int32_t x = std::max(r.x1, 0); x <= std::min(r.x2, tscreen_get_width(s) - 1); x++)
              pixels.push_back(screen_pixel(s, x, y));
          return pixels;
        };
        std::vector<uint32_t> shown = area();
        std::vector<int> was;
        for (tsurface *u : under) was.push_back(tsurface_is_visible(u)), tsurface_set_visible(u, 0);
        tscreen_paint(s, nullptr);
        bool differs = area() != shown;
        for (size_t i = 0; i < was.size(); i++) tsurface_set_visible(under[i], was[i]);
        tscreen_paint(s, nullptr);
        return differs;
      };
      open_panel(app);
      EXPECT_FALSE(shows_through());
      wins_window_resize(tscreen_get_height(s), tscreen_get_width(s));
      port_test_pump();
      EXPECT_FALSE(shows_through()) << "turned";
      std::vector<uint32_t> shown = screen_all_pixels(s);
      screen_repaint_all(s);
      EXPECT_EQ(screen_count_unlike(screen_all_pixels(s), shown), 0u) << "turned: a full repaint differs";
      // Closed after another tool was picked: all back but the thumbnail.
      toolbar_select(app->_toolbar, SHAPE_ID_PENCIL);
      tap(app->_commandpanel->_tab);
      for (tsurface *u : under) EXPECT_EQ(tsurface_is_visible(u), u != under[2]) << "closed";
    });
  }
}

// Held 200 ms, a command shows what it does above the pen; released, the
// tooltip goes and the command runs.
TEST(CommandPanelTooltip, ShowsTheDescriptionAfter200msAndGoesOnRelease) {
  run("480x640", [](app_context *app) {
    os_clock_drive(1);
    commandpanel *cp = app->_commandpanel;
    open_panel(app);
    trect r;
    tsurface_get_screen_rect(&button(app, COMMANDPANEL_HELP)->_control._surface, &r);
    int32_t x = r.x1 + 20, y = r.y1 + 20;
    app_test_pen(OS_PEN_DOWN, x, y);
    os_clock_advance(190);
    port_test_pump();
    EXPECT_EQ(cp->_tooltip, nullptr);
    os_clock_advance(10);
    port_test_pump();
    ASSERT_NE(cp->_tooltip, nullptr);
    tlabel *label = thint_get_label(cp->_tooltip);
    EXPECT_EQ(std::u16string(label->_text), u"Show Brivola help document.");
    EXPECT_EQ(tscreen_get_modal(tscreen_get()), &label->_control._surface);
    EXPECT_EQ(rect_of(label)[1], y - 250) << "80 px above the pen and 170 more on the large class";
    EXPECT_EQ(cp->_tooltip_timer, 0u);
    app_test_pen(OS_PEN_UP, x, y);
    EXPECT_EQ(cp->_tooltip, nullptr);
    // Help ran: its viewer shows; closed, it leaves nothing behind.
    tsurface *modal = tscreen_get_modal(tscreen_get());
    ASSERT_NE(modal, nullptr);
    tdialog *help = reinterpret_cast<tdialog *>(modal);
    EXPECT_EQ(std::u16string(tdialog_get_title(help)), u"Help");
    tdialog_close(help, 0);
    os_clock_drive(0);
  });
}

// With every timer taken, the tooltip cannot wait: it shows at once.
TEST(CommandPanelTooltip, WithNoTimerLeftItShowsAtOnce) {
  run("240x320", [](app_context *app) {
    commandpanel *cp = app->_commandpanel;
    open_panel(app);
    std::vector<uint32_t> taken;
    while (uint32_t id = wins_timer_start(100000, 0, [](uint32_t, void *) {}, nullptr)) taken.push_back(id);
    trect r;
    tsurface_get_screen_rect(&button(app, COMMANDPANEL_NEW)->_control._surface, &r);
    app_test_pen(OS_PEN_DOWN, r.x1 + 5, r.y1 + 5);
    EXPECT_NE(cp->_tooltip, nullptr);
    EXPECT_EQ(cp->_tooltip_timer, 0u);
    app_test_pen(OS_PEN_UP, r.x1 + 5, r.y1 + 5);
    EXPECT_EQ(cp->_tooltip, nullptr);
    // The tap opened the New menu; it goes before the program does.
    if (tsurface *menu = tscreen_get_modal(tscreen_get())) tmenu_close(reinterpret_cast<tmenu *>(menu));
    for (uint32_t id : taken) wins_timer_stop(id);
  });
}

namespace {

// Stands in for the Save As dialog: records the call, types a name and
// answers OK 10 ms later, inside the save flow's nested loop.
struct save_as_double {
  int calls = 0;
  std::u16string title;
  int open_after_save = 0;  // the flag as the dialog found it
  paint_file *file = nullptr;
};
save_as_double g_save_as;

int show_save_as(void *, const paint_file_save_dialog *dialog) {
  g_save_as.calls++;
  g_save_as.title = dialog->title;
  g_save_as.file = dialog->file;
  g_save_as.open_after_save = dialog->file->_open_after_save;
  std::u16string name = g_save_as.calls == 1 ? u"Mine" : u"Mine2";
  std::copy(name.c_str(), name.c_str() + name.size() + 1, dialog->name);
  *dialog->type = PAINT_FILE_TYPE_NATIVE;
  wins_timer_start(
      10, 0,
      [](uint32_t id, void *) {
        wins_timer_stop(id);
        if (paint_file_check_name(g_save_as.file, 1)) paint_file_on_save_as_result(g_save_as.file, 1);
      },
      nullptr);
  os_clock_advance(10);  // the test drives the clock
  return 1;
}

void draw_something(app_context *app) {
  // Below the tool bar, whatever the screen.
  int y = tscreen_get_height(tscreen_get()) * 2 / 3;
  const int stroke[][2] = {{60, y}, {90, y + 20}, {120, y + 10}};
  app_test_stroke(stroke, 3);
  ASSERT_TRUE(paint_history_is_modified(app->_history));
}

}  // namespace

// Save on an untitled painting asks the save flow's dialog slot (a stand-in
// here; the real dialog has its own tests), and the flow then writes the
// document named there. Save As asks the slot whatever the document.
TEST(CommandPanelCommands, SaveOnAnUntitledPaintingAsksForTheSaveAsDialog) {
  run("480x640", [](app_context *app) {
    os_clock_drive(1);
    // Each save ends with a timed "Saved Ok" note, which frees itself when
    // its time is up.
    auto note_goes = [] {
      os_clock_advance(2000);
      port_test_pump();
    };
    draw_something(app);
    g_save_as = {};
    app->_file->_ui.show_save_dialog = show_save_as;
    open_panel(app);
    tap(button(app, COMMANDPANEL_SAVE));
    note_goes();
    EXPECT_EQ(g_save_as.calls, 1);
    EXPECT_EQ(g_save_as.title, u"Save Untitled As");
    std::u16string saved = std::u16string(app->_my_paints_dir) + u"/Mine.bvf";
    EXPECT_EQ(std::u16string(app->_file->_path), saved);
    EXPECT_EQ(app->_file->_last_result, 1);
    EXPECT_EQ(g_save_as.open_after_save, 1);
    EXPECT_FALSE(paint_history_is_modified(app->_history));
    tap(button(app, COMMANDPANEL_SAVE));
    note_goes();
    EXPECT_EQ(g_save_as.calls, 1) << "a named painting saves where it is";
    tap(button(app, COMMANDPANEL_SAVE_AS));
    note_goes();
    EXPECT_EQ(g_save_as.calls, 2);
    EXPECT_EQ(g_save_as.open_after_save, 1);
    EXPECT_EQ(std::u16string(app->_file->_path), std::u16string(app->_my_paints_dir) + u"/Mine2.bvf");
    EXPECT_TRUE(canvas_matches_rebuild(app->_paint_context, app->_history));
    os_clock_drive(0);
  });
}

namespace {

std::u16string g_question;
tsurface *g_modal_before;  // the command panel's tab, no box

// Taps No on the question box from inside its nested loop; the timer goes on
// until the box is up, however late the tap that opens it comes.
void tap_no(uint32_t id, void *) {
  tsurface *modal = tscreen_get_modal(tscreen_get());
  if (!modal || modal == g_modal_before) return;
  wins_timer_stop(id);
  tmessagedialog *box = static_cast<tmessagedialog *>(tsurface_get_owner(modal));
  g_question = tmessagedialog_get_label(box)->_text;
  tbutton *no = tcontrolbar_get_right_button(tdialog_get_controlbar(tmessagedialog_get_dialog(box)));
  trect r;
  tsurface_get_screen_rect(&no->_control._surface, &r);
  os_input_pen(OS_PEN_DOWN, (r.x1 + r.x2) / 2, (r.y1 + r.y2) / 2, 0);
  os_input_pen(OS_PEN_UP, (r.x1 + r.x2) / 2, (r.y1 + r.y2) / 2, 0);
}

}  // namespace

// Quit on a changed painting asks whether to save it; No lets the program
// end with exit code 1, and nothing is written.
TEST(CommandPanelCommands, QuitOnAChangedPaintingAsksAndNoEndsTheLoop) {
  run("240x320", [](app_context *app) {
    draw_something(app);
    open_panel(app);
    g_question.clear();
    g_modal_before = tscreen_get_modal(tscreen_get());
    wins_timer_start(10, 0, tap_no, nullptr);
    tap(button(app, COMMANDPANEL_QUIT));
    EXPECT_EQ(g_question, u"Save paint changes to file?");
    EXPECT_EQ(wins_window_run(), 1) << "the loop ends with Quit's code";
    EXPECT_EQ(std::u16string(app->_file->_path), u"") << "nothing saved";
    EXPECT_TRUE(canvas_matches_rebuild(app->_paint_context, app->_history));
  });
}

// A curve being edited holds the pen, so a command comes by key (the click
// it runs is what is called here): Send records the curve as it shows,
// without its handles; New drops it.
TEST(CommandPanelCommands, SendKeepsTheCurveBeingEditedAndNewDropsIt) {
  run("480x640", [](app_context *app) {
    toolbar_select(app->_toolbar, SHAPE_ID_CURVE);
    auto edit_curve = [] {
      app_test_pen(OS_PEN_DOWN, 100, 400);
      app_test_pen(OS_PEN_MOVE, 300, 430);
      app_test_pen(OS_PEN_UP, 300, 430);
      port_test_pump();
    };
    auto command = [&](int32_t id) {
      tbutton *b = button(app, id);
      b->_on_click(b, id);
      port_test_pump();
    };
    std::string before = app_test_canvas_bytes(app);
    os_clock_drive(1);
    edit_curve();
    command(COMMANDPANEL_SEND);
    os_clock_advance(2000);  // the note the export shows has gone
    port_test_pump();
    os_clock_drive(0);
    EXPECT_EQ(paint_history_get_count(app->_history), 1);
    EXPECT_EQ(tscreen_get_pen_capture(tscreen_get()), nullptr);
    EXPECT_TRUE(canvas_matches_rebuild(app->_paint_context, app->_history)) << "no handle in what was sent";
    tmenu_close_all();
    paint_history_undo(app->_history);
    edit_curve();
    command(COMMANDPANEL_NEW);
    EXPECT_EQ(paint_history_get_position(app->_history), -1) << "nothing recorded";
    EXPECT_EQ(app_test_canvas_bytes(app), before);
  });
}

// An open text bar is stamped before a command runs.
TEST(CommandPanelCommands, ACommandStampsAnOpenTextBarFirst) {
  run("480x640", [](app_context *app) {
    app->_current_tool = paint_context_find_tool(app->_paint_context, SHAPE_ID_TEXT);
    app_test_pen(OS_PEN_DOWN, 100, 400);
    app_test_pen(OS_PEN_MOVE, 300, 460);
    app_test_pen(OS_PEN_UP, 300, 460);
    ASSERT_NE(app->_textbar, nullptr);
    app_test_char(u'a');
    open_panel(app);
    tap(button(app, COMMANDPANEL_ABOUT));
    EXPECT_EQ(app->_textbar, nullptr);
    ASSERT_EQ(paint_history_get_count(app->_history), 1);
    EXPECT_EQ(paint_history_get_record(app->_history, 0)->_operation, PAINT_HISTORY_OP_TEXT);
    if (tsurface *modal = tscreen_get_modal(tscreen_get())) tdialog_close(reinterpret_cast<tdialog *>(modal), 0);
  });
}

// The tab's pictures are drawn for the large class; where the tab is
// smaller they are used as copies scaled to it, each made once. Where the
// sizes agree the resource picture serves as it is.
TEST(CommandPanelTab, PicturesFitTheTabScaledOnceWhereSizesDiffer) {
  struct row {
    const char *screen;
    int32_t width, height;
    bool scaled;
  } rows[] = {{"320x480", 100, 40, true}, {"480x320", 40, 100, true}, {"480x640", 110, 45, false}};
  for (const row &r : rows) {
    SCOPED_TRACE(r.screen);
    run(r.screen, [&](app_context *app) {
      commandpanel *cp = app->_commandpanel;
      int landscape = r.width < r.height;
      tbitmap *resource = tresource_get_bitmap(landscape ? 15092 : 15090);
      ASSERT_NE(resource, nullptr);
      tbitmap *closed = cp->_tab->_images[TBUTTON_NORMAL];
      ASSERT_NE(closed, nullptr);
      EXPECT_EQ(std::vector<int32_t>({tbitmap_get_width(closed), tbitmap_get_height(closed)}),
                std::vector<int32_t>({r.width, r.height}));
      EXPECT_EQ(closed != resource, r.scaled);
      const tbitmap *surface_mask = cp->_tab->_control._surface._mask;
      ASSERT_NE(surface_mask, nullptr);
      EXPECT_EQ(tbitmap_get_width(surface_mask), r.width);
      tap(cp->_tab);
      EXPECT_NE(cp->_tab->_images[TBUTTON_NORMAL], closed) << "the open picture";
      tap(cp->_tab);
      EXPECT_EQ(cp->_tab->_images[TBUTTON_NORMAL], closed) << "the same copy again";
    });
  }
}

namespace {

// Rows [first, last] of one run of caption ink and its columns.
struct ink_run {
  int32_t first, last, left, right;
};

// The runs of rows where two pictures of a w x h area differ, top down.
std::vector<ink_run> ink_runs(const std::vector<uint32_t> &a, const std::vector<uint32_t> &b, int32_t w, int32_t h) {
  std::vector<ink_run> runs;
  bool in_run = false;
  for (int32_t y = 0; y < h; y++) {
    int32_t left = w, right = -1;
    for (int32_t x = 0; x < w; x++)
      if (a[size_t(y) * w + x] != b[size_t(y) * w + x]) {
        left = std::min(left, x);
        right = x;
      }
    if (right < 0) {
      in_run = false;
      continue;
    }
    if (!in_run) runs.push_back({y, y, left, right});
    in_run = true;
    ink_run &run = runs.back();
    run.last = y;
    run.left = std::min(run.left, left);
    run.right = std::max(run.right, right);
  }
  return runs;
}

// The height and width of the ink of one line of text drawn alone in the
// caption's colours on a canvas of the screen's depth, in the given point
// size: what a caption at that size shows at the least.
ink_run reference_ink(const std::u16string &text, const ttdrawer *caption, int32_t size) {
  constexpr int32_t w = 400, h = 120;
  tcanvas canvas{};
  EXPECT_EQ(tcanvas_init(&canvas, nullptr, 16, w, h), 1);
  tcanvas_set_pen_style(&canvas, TCANVAS_PEN_NONE);
  tcanvas_set_brush(&canvas, TCANVAS_BRUSH_SOLID, 0xFF404040);
  tcanvas_fill_rect(&canvas, 0, 0, w - 1, h - 1);
  std::vector<uint32_t> blank(size_t(w) * h), drawn(size_t(w) * h);
  auto read = [&](std::vector<uint32_t> &out) {
    for (int32_t y = 0; y < h; y++)
      for (int32_t x = 0; x < w; x++) out[size_t(y) * w + x] = tbitmap_get_pixel(canvas._bitmap, x, y);
  };
  read(blank);
  ttdrawer *drawer = ttdrawer_copy(caption);
  ttdrawer_set_draw_func(drawer, ttdrawer_draw_standard);
  ttdrawer_set_truncation(drawer, TTDRAWER_TRUNCATE_NONE);
  ttdrawer_set_offset_y(drawer, 0);
  ttdrawer_set_font_size(drawer, size);
  ttdrawer_set_alignment(drawer, 0);
  const trect all = {0, 0, w - 1, h - 1};
  ttdrawer_draw(drawer, &canvas, text.c_str(), int32_t(text.size()), &all);
  read(drawn);
  ttdrawer_free(drawer);
  tcanvas_deinit(&canvas);
  std::vector<ink_run> runs = ink_runs(blank, drawn, w, h);
  ink_run whole = {0, -1, 0, -1};
  if (!runs.empty()) whole = {runs.front().first, runs.back().last, runs.front().left, runs.front().right};
  for (const ink_run &run : runs) {
    whole.left = std::min(whole.left, run.left);
    whole.right = std::max(whole.right, run.right);
  }
  return whole;
}

void draw_nothing(ttdrawer *, tcanvas *, wins_graphics_pass *, const char16_t *, int32_t, const trect *) {}

}  // namespace

// Every caption reads at no less than the size of the dialogs' text, inside
// its button, below its picture and whole, in each language on each screen;
// and no screen shows its captions smaller than a smaller screen does.
// The caption's ink is what the screen shows with it less what it shows
// without it; each of its lines must be as tall as that line drawn alone at
// the dialogs' size, and as wide as the button allows (a cut line is not).
// A caption broken in two at a space shows the second word at the start of
// its second line, without the space before it.
TEST(CommandPanelLabels, EveryCaptionReadsAtTheDialogSizeInsideItsButton) {
  std::string saved = getenv("LC_ALL") ? getenv("LC_ALL") : "";
  for (const char *locale : {"C", "ru_RU.UTF-8", "zh_CN.UTF-8"}) {
    std::map<std::string, int32_t> lowest;  // the lowest caption line of each screen, in rows
    for (const char *screen : {"240x320", "320x240", "320x480", "480x640", "640x480", "480x800"}) {
      SCOPED_TRACE(std::string(locale) + " " + screen);
      lowest[screen] = INT32_MAX;
      setenv("LC_ALL", locale, 1);
      run(screen, [&](app_context *app) {
        open_panel(app);
        tscreen *display = tscreen_get();
        const int32_t floor = app_common_get_default_font_size();
        int32_t checked = 0;
        for (tbutton *b : app->_commandpanel->_buttons) {
          trect r;
          tsurface_get_screen_rect(&b->_control._surface, &r);
          if (r.y2 >= tscreen_get_height(display) || r.x2 >= tscreen_get_width(display)) continue;  // scrolled off
          const int32_t w = r.x2 - r.x1 + 1, h = r.y2 - r.y1 + 1;
          auto pixels = [&] {
            tscreen_paint(display, nullptr);
            std::vector<uint32_t> out;
            for (int32_t y = r.y1; y <= r.y2; y++)
              for (int32_t x = r.x1; x <= r.x2; x++) out.push_back(screen_pixel(display, x, y));
            return out;
          };
          std::vector<uint32_t> shown = pixels();
          ttdrawer *drawers[] = {tbutton_get_tdrawer(b), tbutton_get_focused_tdrawer(b), tbutton_get_pressed_tdrawer(b)};
          ttdrawer_draw_fn draw = drawers[0]->_draw;
          for (ttdrawer *drawer : drawers) ttdrawer_set_draw_func(drawer, draw_nothing);
          tsurface_update(&b->_control._surface, nullptr);
          std::vector<uint32_t> bare = pixels();
          for (ttdrawer *drawer : drawers) ttdrawer_set_draw_func(drawer, draw);
          tsurface_update(&b->_control._surface, nullptr);
          // The picture: what the bare button shows besides its fill.
          std::vector<uint32_t> fill(bare.size(), bare[0]);
          std::vector<ink_run> picture = ink_runs(fill, bare, w, h);
          std::vector<ink_run> lines = ink_runs(bare, shown, w, h);
          std::u16string caption = b->_caption, text;
          std::vector<std::u16string> words;
          for (size_t at = 0, feed; at <= caption.size(); at = feed + 1) {
            feed = std::min(caption.find(u'\n', at), caption.size());
            words.push_back(caption.substr(at, feed - at));
          }
          ASSERT_EQ(lines.size(), words.size()) << test_utf8(caption);
          for (size_t i = 0; i < words.size(); i++) {
            SCOPED_TRACE(test_utf8(words[i]));
            EXPECT_TRUE(words[i].empty() || (words[i].front() != u' ' && words[i].back() != u' '))
                << "a line of the caption starts or ends with the space it was broken at";
            lowest[screen] = std::min(lowest[screen], lines[i].last - lines[i].first + 1);
            ink_run alone = reference_ink(words[i], drawers[0], floor);
            EXPECT_GE(lines[i].last - lines[i].first, alone.last - alone.first) << "smaller than the dialogs' text";
            EXPECT_GE(lines[i].right - lines[i].left, alone.right - alone.left) << "shown cut";
            EXPECT_GT(lines[i].left, 0);
            EXPECT_LT(lines[i].right, w - 1);
            if (!picture.empty()) {
              EXPECT_GT(lines[i].first, picture.back().last) << "over the picture";
            }
          }
          checked++;
        }
        EXPECT_GE(checked, 6);
      });
    }
    for (const char *small : {"240x320", "320x240"}) EXPECT_GE(lowest["320x480"], lowest[small]) << locale;
    for (const char *large : {"480x640", "640x480", "480x800"}) EXPECT_GE(lowest[large], lowest["320x480"]) << locale;
  }
  setenv("LC_ALL", saved.c_str(), 1);
}
