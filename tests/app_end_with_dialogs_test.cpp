// The program ended with something still up: each kind of dialog, box and
// note a user can leave open, in a run of its own. The fixture's check that
// nothing is left on the screen after the tear-down fails when one outlives
// it, and the sanitizer build's leak check says the same. Closing them all
// while a nested loop waits for one ends that loop as a Cancel would.
#include <gtest/gtest.h>

#include <functional>

#include "app_common.h"
#include "app_test_env.h"
#include "colorpanel.h"
#include "commandpanel.h"
#include "os_display.h"
#include "os_message.h"
#include "paint_file.h"
#include "paint_main.h"
#include "paint_new.h"
#include "port_test_app.h"
#include "shape.h"
#include "tbutton.h"
#include "tcolordialog.h"
#include "tdialog.h"
#include "tedit.h"
#include "tscreen.h"
#include "toolbar.h"
#include "upload_info_dialog.h"

namespace {

tsurface *surface_of(void *control) { return &static_cast<tcontrol *>(control)->_surface; }

void command(app_context *app, intptr_t id) {
  for (tbutton *b : app->_commandpanel->_buttons)
    if (tbutton_get_user_data(b) == id) b->_on_click(b, id);
  port_test_pump();
}

template <typename T>
T *shown() {
  tdialog *dialog = app_test_dialog();
  return dialog ? static_cast<T *>(tsurface_get_owner(&dialog->_control._surface)) : nullptr;
}

// A quit from the window system ends the nested loop open() runs.
void quit_inside(const std::function<void()> &open) {
  app_test_script script;
  script.steps = {[] { os_post_quit_message(0); }};
  app_test_script_start(&script);
  open();
}

const struct {
  const char *what;
  std::function<void(app_context *)> open;
} k_left_open[] = {
    {"My Paints", [](app_context *app) { command(app, COMMANDPANEL_MY_PAINTS); }},
    {"a stop or error box", [](app_context *) { app_common_show_stop(u"Stop."); }},
    {"a question in its loop", [](app_context *) { quit_inside([] { app_common_ask_yes_no(u"B", u"?", 0, 0); }); }},
    {"Save As on an untitled painting", [](app_context *app) { quit_inside([app] { command(app, COMMANDPANEL_SAVE_AS); }); }},
    {"Insert Picture's open dialog", [](app_context *) { paint_main_insert_picture(); }},
    {"the New menu's dialog", [](app_context *app) { commandpanel_on_new_menu(PAINT_NEW_EMPTY, app->_commandpanel); }},
    {"the colour dialog under its RGB dialog",
     [](app_context *app) {
       app_test_tap_surface(surface_of(app->_colorpanel));
       ASSERT_NE(shown<tcolordialog>(), nullptr);
       app_test_tap_surface(surface_of(shown<tcolordialog>()->_more));
     }},
    {"the upload dialog under its error box",
     [](app_context *app) {
       command(app, COMMANDPANEL_UPLOAD);
       upload_info_dialog *info = shown<upload_info_dialog>();
       ASSERT_NE(info, nullptr);
       tedit_set_text(info->_title_edit, u"", 0);
       tdialog_close(info->_dialog, TDIALOG_RESULT_OK);  // refused over a box
     }},
    {"the note Send shows with a curve being edited",
     [](app_context *app) {
       toolbar_select(app->_toolbar, SHAPE_ID_CURVE);
       app_test_pen(OS_PEN_DOWN, 100, 400);
       app_test_pen(OS_PEN_UP, 300, 430);
       command(app, COMMANDPANEL_SEND);
     }},
};

}  // namespace

TEST(AppEndWithDialogs, NothingLeftOpenOutlivesTheTearDown) {
  for (const auto &row : k_left_open) {
    SCOPED_TRACE(row.what);
    ASSERT_TRUE(app_test_run_fresh([&](app_context *app) {
      uint32_t popups = tscreen_get_popup_count(tscreen_get());
      row.open(app);
      EXPECT_GT(tscreen_get_popup_count(tscreen_get()), popups) << "it was shown";
    }));
  }
}

// The loop ends at once, its caller sees a cancel and touches nothing freed;
// the quit a turn later would have ended it otherwise.
TEST(AppEndWithDialogs, ClosingAllInsideANestedLoopEndsItAsACancel) {
  const std::function<int(app_context *)> waits[] = {
      [](app_context *) { return app_common_ask_yes_no(u"B", u"?", 0, 0); },
      [](app_context *app) { return paint_file_save_as(app->_file); }};
  for (const auto &wait : waits) {
    ASSERT_TRUE(app_test_run_fresh([&](app_context *app) {
      bool still_waiting = false;
      app_test_script script;
      script.steps = {[] { tdialog_close_all(); }, [&] { still_waiting = true, os_post_quit_message(0); }};
      app_test_script_start(&script);
      EXPECT_EQ(wait(app), 0);
      EXPECT_FALSE(still_waiting);
      EXPECT_EQ(tdialog_get_top(), nullptr);
    }));
  }
}
