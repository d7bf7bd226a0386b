// The program ended while something is still up: every kind of dialog, box,
// menu and note the user can leave open, each in a run of its own. The
// fixture's check after the tear-down (nothing left on the screen) is what
// fails when one of them outlives it; under the sanitizer build the leak
// check at exit says the same. Closing them all while a box's nested loop
// runs ends that loop as a Cancel would.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "app_common.h"
#include "app_test_env.h"
#include "colorpanel.h"
#include "commandpanel.h"
#include "os_clock.h"
#include "os_display.h"
#include "os_message.h"
#include "paint_file.h"
#include "paint_main.h"
#include "paint_new.h"
#include "port_test_app.h"
#include "shape.h"
#include "tbutton.h"
#include "tcolordialog.h"
#include "tcontrolbar.h"
#include "tdialog.h"
#include "tedit.h"
#include "tmessagedialog.h"
#include "toolbar.h"
#include "tscreen.h"
#include "upload_info_dialog.h"

namespace {

tsurface *surface_of(void *control) { return &static_cast<tcontrol *>(control)->_surface; }

void command(app_context *app, intptr_t id) {
  for (tbutton *b : app->_commandpanel->_buttons)
    if (b && tbutton_get_user_data(b) == id) {
      b->_on_click(b, id);
      port_test_pump();
      return;
    }
  ADD_FAILURE() << "no command " << id;
}

// The owner record of the dialog holding the modal slot.
template <typename T>
T *modal_owner() {
  tsurface *modal = tscreen_get_modal(tscreen_get());
  return modal ? static_cast<T *>(tsurface_get_owner(modal)) : nullptr;
}

// A nested loop the program ends while it runs, as a quit from the window
// system ends it; then what opened it returns.
void quit_inside(const std::function<void()> &open) {
  app_test_script script;
  script.steps = {[] { os_post_quit_message(0); }};
  app_test_script_start(&script);
  open();
}

struct left_open {
  const char *what;
  std::function<void(app_context *)> open;
};

const left_open k_left_open[] = {
    {"My Paints", [](app_context *app) { command(app, COMMANDPANEL_MY_PAINTS); }},
    {"a stop box", [](app_context *) { app_common_show_stop(u"Stop."); }},
    {"the upload's error box", [](app_context *) { app_common_show_error(u"Upload painting fail"); }},
    {"a message box in its loop",
     [](app_context *) { quit_inside([] { app_common_show_message(u"Note.", u"Brivola", APP_BUTTONS_BACK, 0); }); }},
    {"a question in its loop",
     [](app_context *) { quit_inside([] { app_common_ask_yes_no(u"Brivola", u"Save?", 0, 0); }); }},
    {"Save As on an untitled painting",
     [](app_context *app) { quit_inside([app] { command(app, COMMANDPANEL_SAVE_AS); }); }},
    {"Insert Picture's open dialog", [](app_context *) { paint_main_insert_picture(); }},
    {"the New menu's dialog",
     [](app_context *app) { commandpanel_on_new_menu(PAINT_NEW_EMPTY, app->_commandpanel); }},
    {"the New menu itself", [](app_context *app) { command(app, COMMANDPANEL_NEW); }},
    {"the colour dialog under its RGB dialog",
     [](app_context *app) {
       app_test_tap_surface(surface_of(app->_colorpanel));
       tcolordialog *colors = modal_owner<tcolordialog>();
       ASSERT_NE(colors, nullptr);
       app_test_tap_surface(surface_of(colors->_more));
     }},
    {"the upload dialog under its error box",
     [](app_context *app) {
       command(app, COMMANDPANEL_UPLOAD);
       upload_info_dialog *info = modal_owner<upload_info_dialog>();
       ASSERT_NE(info, nullptr);
       tedit_set_text(info->_title_edit, u"", 0);
       tdialog_close(info->_dialog, TDIALOG_RESULT_OK);  // refused over a box
       port_test_pump();
     }},
    {"About over Help",
     [](app_context *app) {
       command(app, COMMANDPANEL_HELP);
       command(app, COMMANDPANEL_ABOUT);
     }},
};

}  // namespace

TEST(AppEndWithDialogs, NothingLeftOpenOutlivesTheTearDown) {
  for (const left_open &row : k_left_open) {
    SCOPED_TRACE(row.what);
    ASSERT_TRUE(app_test_run_fresh([&](app_context *app) {
      uint32_t popups = tscreen_get_popup_count(tscreen_get());
      row.open(app);
      EXPECT_GT(tscreen_get_popup_count(tscreen_get()), popups) << "it was shown";
    }));
  }
}

// Send with a curve being edited saves the painting and shows a timed note
// on the way: the program ending before its time frees it.
TEST(AppEndWithDialogs, TheNoteOfSendIsFreedAtTheEnd) {
  ASSERT_TRUE(app_test_run_fresh([](app_context *app) {
    toolbar_select(app->_toolbar, SHAPE_ID_CURVE);
    app_test_pen(OS_PEN_DOWN, 100, 400);
    app_test_pen(OS_PEN_MOVE, 300, 430);
    app_test_pen(OS_PEN_UP, 300, 430);
    command(app, COMMANDPANEL_SEND);
  }));
}

// The dialogs closed from inside the nested loop that waits for one of them:
// the loop ends at once, and its caller sees a cancel and touches nothing
// freed; a quit a turn later would end it otherwise.
TEST(AppEndWithDialogs, ClosingAllInsideANestedLoopEndsItAsACancel) {
  struct waited {
    const char *what;
    std::function<int(app_context *)> wait;
  };
  const waited rows[] = {
      {"a question", [](app_context *) { return app_common_ask_yes_no(u"Brivola", u"Save?", 0, 0); }},
      {"Save As", [](app_context *app) { return paint_file_save_as(app->_file); }},
  };
  for (const waited &row : rows) {
    SCOPED_TRACE(row.what);
    ASSERT_TRUE(app_test_run_fresh([&](app_context *app) {
      bool still_waiting = false;
      app_test_script script;
      script.steps = {[] { tdialog_close_all(); },
                      [&] {
                        still_waiting = true;
                        os_post_quit_message(0);
                      }};
      app_test_script_start(&script);
      EXPECT_EQ(row.wait(app), 0);
      EXPECT_FALSE(still_waiting);
      EXPECT_EQ(tdialog_get_top(), nullptr);
    }));
  }
}
