// The program's boxes and notes on the screen of the running application,
// on both screen classes (and so both picture sets): error and stop boxes
// closed by their Back key, the question answered from a timer inside its
// nested loop or ended by a quit, the information and wait notes.
#include <gtest/gtest.h>

#include <string>

#include "app_common.h"
#include "app_test_env.h"
#include "os_clock.h"
#include "os_display.h"
#include "port_test_app.h"
#include "tbutton.h"
#include "tcontrolbar.h"
#include "tdialog.h"
#include "timage.h"
#include "tlabel.h"
#include "tmessagedialog.h"
#include "tresource.h"
#include "tscreen.h"
#include "wins_timer.h"

namespace {

const char *const k_screens[] = {"240x320", "480x640"};

tsurface *surface_of(void *control) { return &static_cast<tcontrol *>(control)->_surface; }

std::string screen_bytes() {
  tbitmap *bitmap = tscreen_get_bitmap(tscreen_get());
  size_t bytes = size_t(tbitmap_get_stride(bitmap)) * size_t(tbitmap_get_height(bitmap));
  return std::string(reinterpret_cast<const char *>(bitmap->_pixels), bytes);
}

// The screen as the application paints it with nothing on top.
std::string painted_screen() {
  tscreen_paint(tscreen_get(), nullptr);
  return screen_bytes();
}

// The box whose dialog holds the modal slot (the dialog's owner), or null.
tmessagedialog *shown_box() {
  tsurface *modal = app_test_popup();
  return modal ? static_cast<tmessagedialog *>(tsurface_get_owner(modal)) : nullptr;
}

tbutton *soft_key(tmessagedialog *box, int right) {
  tcontrolbar *bar = tdialog_get_controlbar(tmessagedialog_get_dialog(box));
  return right ? tcontrolbar_get_right_button(bar) : tcontrolbar_get_left_button(bar);
}

// Which soft key the timer taps (0 left, 1 right), and how wide the box's
// icon was then (0 when hidden).
struct tap_plan {
  int right;
  int32_t icon_width = 0;
};

// Fires once inside the nested loop of the box it taps.
void tap_from_timer(uint32_t id, void *user_data) {
  wins_timer_stop(id);
  tap_plan *plan = static_cast<tap_plan *>(user_data);
  tmessagedialog *box = shown_box();
  if (!box) return;
  if (tsurface_is_visible(surface_of(box->_icon))) plan->icon_width = tsurface_get_width(surface_of(box->_icon));
  app_test_post_tap(soft_key(box, plan->right));
}

}  // namespace

// The error and stop boxes: title, picture, one Back key; a tap on it
// closes the box and the painting shows as before. Nothing goes to stderr.
TEST(AppBoxes, ErrorAndStopBoxesShowTheirPictureAndCloseOnBack) {
  for (const char *screen : k_screens) {
    SCOPED_TRACE(screen);
    ASSERT_TRUE(app_test_run_fresh(
        [](app_context *) {
          struct row {
            void (*show)(const char16_t *);
            const char16_t *title;
            int32_t picture;
          };
          for (const row &r : {row{app_common_show_error, u"Error", 2}, row{app_common_show_stop, u"Stop", 10}}) {
            std::string before = painted_screen();
            testing::internal::CaptureStderr();
            r.show(u"The card is full.");
            tmessagedialog *box = shown_box();
            ASSERT_NE(box, nullptr);
            ASSERT_NE(tresource_get_bitmap(r.picture), nullptr) << "the picture of this screen class";
            EXPECT_TRUE(tsurface_is_visible(surface_of(box->_icon)));
            EXPECT_EQ(timage_get_bitmap(box->_icon), tresource_get_bitmap(r.picture));
            EXPECT_FALSE(tsurface_is_visible(surface_of(soft_key(box, 0))));
            EXPECT_EQ(tdialog_get_title(tmessagedialog_get_dialog(box)), std::u16string(r.title));
            EXPECT_TRUE(tdialog_is_dimmed(tmessagedialog_get_dialog(box)));
            EXPECT_NE(screen_bytes(), before);
            app_test_post_tap(soft_key(box, 1));
            port_test_pump();
            EXPECT_EQ(shown_box(), nullptr);
            EXPECT_TRUE(screen_bytes() == before) << "the painting shows again";
            EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
          }
        },
        screen));
  }
}

// The question waits in its nested loop; a timer inside that loop taps Yes
// or No, and the answer comes back once the box has gone.
TEST(AppBoxes, AQuestionAnswersWhatItsTimerTapped) {
  for (const char *screen : k_screens) {
    SCOPED_TRACE(screen);
    ASSERT_TRUE(app_test_run_fresh(
        [](app_context *) {
          for (int right : {0, 1}) {
            tap_plan plan{right};
            ASSERT_NE(wins_timer_start(10, 0, tap_from_timer, &plan), 0u);
            EXPECT_EQ(app_common_ask_yes_no(u"Brivola", u"Save paint changes to file?", 0, 0), right ? 0 : 1);
            EXPECT_EQ(plan.icon_width, tbitmap_get_width(tresource_get_bitmap(8)));
            EXPECT_EQ(shown_box(), nullptr);
          }
          // The caller's picture replaces the question mark.
          tap_plan plan{0};
          wins_timer_start(10, 0, tap_from_timer, &plan);
          EXPECT_EQ(app_common_ask_yes_no(u"Brivola", u"Replace?", 4, 5), 1);
          EXPECT_EQ(plan.icon_width, tbitmap_get_width(tresource_get_bitmap(4)));
        },
        screen));
  }
}

// Closing the window under a question ends its loop: the question answers
// No and its box is gone before the program's tear-down.
TEST(AppBoxes, AQuitUnderAQuestionClosesItsBoxAsNo) {
  ASSERT_TRUE(app_test_run_fresh(
      [](app_context *) {
        wins_timer_start(
            10, 0,
            [](uint32_t id, void *) {
              wins_timer_stop(id);
              os_input_close();
            },
            nullptr);
        EXPECT_EQ(app_common_ask_yes_no(u"Brivola", u"Save paint changes to file?", 0, 0), 0);
        EXPECT_EQ(shown_box(), nullptr);
      },
      "240x320"));
}

// Notes are centred hints: the information note goes after 2000 ms of the
// test clock, the wait note stays until closed; either way the painting
// shows again.
TEST(AppBoxes, TheInformationNoteGoesAfterTwoSecondsTheWaitNoteWhenClosed) {
  for (const char *screen : k_screens) {
    SCOPED_TRACE(screen);
    ASSERT_TRUE(app_test_run_fresh(
        [](app_context *) {
          os_clock_drive(1);
          tscreen *screen = tscreen_get();
          for (bool wait : {false, true}) {
            std::string before = painted_screen();
            wait ? app_common_show_wait_note(u"Please wait...") : app_common_show_info(u"Saved.");
            tsurface *note = tscreen_get_modal(screen);
            ASSERT_NE(note, nullptr);
            trect area = app_test_screen_rect(note);
            EXPECT_EQ(area.x1 + area.x2 + 1, tscreen_get_width(screen)) << "centred";
            os_clock_advance(1999);
            port_test_pump();
            EXPECT_EQ(tscreen_get_modal(screen), note);
            os_clock_advance(wait ? 10000 : 1);
            port_test_pump();
            EXPECT_EQ(app_test_popup(), wait ? note : nullptr);
            EXPECT_EQ(app_common_is_wait_note_shown(), wait ? 1 : 0);
            app_common_close_wait_note();
            EXPECT_EQ(app_test_popup(), nullptr);
            EXPECT_TRUE(screen_bytes() == before);
          }
          os_clock_drive(0);
        },
        screen));
  }
}

// A language file's format with another conversion than one %s is shown as
// it stands.
TEST(AppBoxes, AnErrorFormatTakesOneTextOnly) {
  ASSERT_TRUE(app_test_run_fresh(
      [](app_context *) {
        const char16_t *formats[][2] = {{u"Cannot open file \"%s\" (100%%)", u"Cannot open file \"a.bvf\" (100%)"},
                                        {u"Fail %d of %s", u"Fail %d of %s"}};
        for (const auto &f : formats) {
          app_common_show_error_fmt(f[0], u"a.bvf");
          tmessagedialog *box = shown_box();
          ASSERT_NE(box, nullptr);
          tlabel *label = tmessagedialog_get_label(box);
          EXPECT_EQ(std::u16string(label->_text, size_t(label->_length)), std::u16string(f[1]));
          tdialog_close(tmessagedialog_get_dialog(box), TMESSAGEDIALOG_RESULT_BACK);
        }
      },
      "240x320"));
}
