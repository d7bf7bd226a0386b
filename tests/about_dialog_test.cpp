// The about box on the headless display: a logo tick repaints and flushes
// only the logo, the colours bounce at 255 and stop at 0, the web link and
// Feedback reach the browser (a refused one shows the error box), the
// Feedback button stops 6 or 11 pixels short of the edge, and every letter of
// the logo lies inside its bitmap on each screen class under the
// application's layout values.
#include "about_dialog.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "about_logo.h"
#include "gui_fixture.h"
#include "os_display.h"
#include "os_shell.h"
#include "port_test_app.h"
#include "tbitmap.h"
#include "tbutton.h"
#include "tdialog.h"
#include "tform.h"
#include "tlabel.h"
#include "tlinklabel.h"
#include "tmessagedialog.h"
#include "tscreen.h"
#include "tstyler.h"
#include "test_env.h"
#include "widget_fixture.h"

namespace {

std::vector<std::string> g_launched;
int g_launch_answer = 1;
int record_launch(const std::vector<std::string> &argv) {
  std::string line;
  for (const std::string &arg : argv) line += (line.empty() ? "" : " ") + arg;
  g_launched.push_back(line);
  return g_launch_answer;
}


// A letter's colour and the ways its red, green and blue are moving.
void set_letter(about_logo *logo, int i, uint32_t color, int red, int green, int blue) {
  logo->_colors[i] = color;
  logo->_red_dir[i] = red;
  logo->_green_dir[i] = green;
  logo->_blue_dir[i] = blue;
}

// The application's layout values for the about box (its styler's row).
void apply_about_row(tstyler *, void *target, int32_t kind, void *, intptr_t) {
  if (kind != ABOUT_DIALOG_STYLE_BEFORE) return;
  about_dialog *dialog = static_cast<about_dialog *>(target);
  int32_t width, height;
  tscreen_get_size(tscreen_get(), &width, &height);
  bool small = width == 240 || height == 240 || (width == 320 && height == 320);
  bool large = width >= 480 && height >= 480;
  const std::vector<std::pair<int32_t, int32_t>> values =
      small ? std::vector<std::pair<int32_t, int32_t>>{{2, 35}, {5, 35}, {6, 35}, {10, 5}, {8, 5}, {3, 5}, {7, 5}, {9, 16}}
      : large ? std::vector<std::pair<int32_t, int32_t>>{{2, 130}, {5, 91}, {6, 91}, {10, 13}, {8, 26}, {3, 26}, {7, 26}, {9, 33}}
              : std::vector<std::pair<int32_t, int32_t>>{};
  for (const auto &value : values) about_dialog_set_layout(dialog, value.first, value.second);
}

about_dialog *show_about() {
  about_dialog *dialog = about_dialog_new(u"About", -1, nullptr);
  tdialog_set_dimmed(about_dialog_get_dialog(dialog), 1);
  about_dialog_show(dialog, -1, -1, TDIALOG_PLACE_CENTRE);
  return dialog;
}

void with_about(const std::function<void()> &body, const char *screen = "480x640", bool app_layout = false) {
  g_launched.clear();
  g_launch_answer = 1;
  os_launcher_fn old = os_shell_set_launcher(record_launch);
  run_on_styled_screen(
      [&](tscreen *) {
        widget_env env;
        if (app_layout) tstyler_set_default(tstyler_new(apply_about_row));
        body();
      },
      screen);
  os_shell_set_launcher(old);
}

}  // namespace

// One tick: only pixels of the logo change on the display, and only the
// logo's rectangle goes to it.
TEST(AboutDialog, ATickRepaintsOnlyTheLogo) {
  with_about([] {
    about_dialog *dialog = show_about();
    widget_run_for(10);
    std::vector<uint32_t> before;
    for (int32_t y = 0; y < 640; y++)
      for (int32_t x = 0; x < 480; x++) before.push_back(os_headless_get_pixel(x, y));
    int presents = os_headless_get_present_count();
    widget_run_for(40);
    EXPECT_EQ(os_headless_get_present_count(), presents + 1);
    trect logo = widget_screen_rect(dialog->_logo);
    trect flushed = os_headless_get_last_rect();
    EXPECT_TRUE(trect_is_equal(&flushed, &logo));
    int changed = 0;
    for (int32_t y = 0; y < 640; y++)
      for (int32_t x = 0; x < 480; x++) {
        if (os_headless_get_pixel(x, y) == before[size_t(y) * 480 + x]) continue;
        changed++;
        ASSERT_TRUE(x >= logo.x1 && x <= logo.x2 && y >= logo.y1 && y <= logo.y2) << x << "," << y;
      }
    EXPECT_GT(changed, 0);
    tdialog_close(about_dialog_get_dialog(dialog), 0);
  });
}

// Red steps 5, green 12, blue 13; a channel passing 255 stops there and
// turns, one passing 0 stops at 0 and turns.
TEST(AboutDialog, ColoursBounceAtTheirEnds) {
  with_about([] {
    about_dialog *dialog = show_about();
    about_logo *logo = dialog->_logo;
    set_letter(logo, 0, tcolor_key_rgb(255, 250, 5), 1, 1, -1);
    // Reaching 255 or 0 exactly is not passing it: the direction holds.
    set_letter(logo, 5, tcolor_key_rgb(250, 0, 13), 1, -1, -1);
    set_letter(logo, 9, tcolor_key_rgb(100, 0, 255), -1, -1, 1);
    auto state = [&](int i) {
      return std::vector<int>{int(logo->_colors[i]), logo->_red_dir[i], logo->_green_dir[i], logo->_blue_dir[i]};
    };
    widget_run_for(50);
    EXPECT_EQ(state(0), (std::vector<int>{int(tcolor_key_rgb(255, 255, 0)), -1, -1, 1}));
    EXPECT_EQ(logo->_colors[9], tcolor_key_rgb(95, 0, 255));
    EXPECT_EQ(logo->_colors[5], tcolor_key_rgb(255, 0, 0));
    widget_run_for(50);
    EXPECT_EQ(logo->_colors[0], tcolor_key_rgb(250, 243, 13));
    EXPECT_EQ(logo->_colors[9], tcolor_key_rgb(90, 12, 242));
    EXPECT_EQ(state(5), (std::vector<int>{int(tcolor_key_rgb(255, 12, 0)), -1, 1, 1}));

    // Painted again in the same colours the logo is the same: the letters'
    // soft edges do not build up.
    auto bytes = [&] {
      tbitmap *bitmap = logo->_bitmap;
      const uint8_t *row = tbitmap_get_row(bitmap, 0);
      return std::vector<uint8_t>(row, row + size_t(tbitmap_get_stride(bitmap)) * tbitmap_get_height(bitmap));
    };
    std::vector<uint8_t> once = bytes();
    tsurface_paint(&logo->_control._surface);
    EXPECT_TRUE(once == bytes());
    tdialog_close(about_dialog_get_dialog(dialog), 0);
  });
}

// The web link opens from the loop, Feedback at once; a refused browser
// shows "Fail to open url." over the box.
TEST(AboutDialog, LinksReachTheBrowser) {
  with_about([] {
    about_dialog *dialog = show_about();
    widget_tap_control(dialog->_web);
    EXPECT_TRUE(g_launched.empty()) << "not inside the tap";
    port_test_pump();
    ASSERT_TRUE(port_test_finish_launches());
    ASSERT_EQ(g_launched.size(), 1u);
    EXPECT_EQ(g_launched[0], "xdg-open " + test_utf8(about_dialog_get_web_address()));
    widget_tap_control(dialog->_feedback);
    widget_run_for(200);
    ASSERT_TRUE(port_test_finish_launches());
    ASSERT_EQ(g_launched.size(), 2u);
    EXPECT_EQ(g_launched[1].rfind("xdg-open http://", 0), 0u);
    EXPECT_NE(g_launched[1].find("/cgi-bin/feedback.pl?product=brivola"), std::string::npos);

    g_launch_answer = 0;
    tsurface *about = &about_dialog_get_dialog(dialog)->_control._surface;
    widget_tap_control(dialog->_web);
    port_test_pump();
    ASSERT_TRUE(port_test_finish_launches());
    tsurface *modal = tscreen_get_modal(tscreen_get());
    ASSERT_NE(modal, about);
    tmessagedialog *box = static_cast<tmessagedialog *>(tsurface_get_owner(modal));
    EXPECT_EQ(std::u16string(tmessagedialog_get_label(box)->_text), u"Fail to open url.");
    tdialog_close(tmessagedialog_get_dialog(box), 0);
    tdialog_close(about_dialog_get_dialog(dialog), 0);
  });
}

// The Feedback button's right edge, with the box's own values and with the
// application's, on the small class and the others.
TEST(AboutDialog, FeedbackStopsShortOfTheEdge) {
  for (bool app_layout : {false, true})
    for (const auto &row : {std::make_pair("240x320", 6), std::make_pair("480x640", 11), std::make_pair("320x480", 11)}) {
      SCOPED_TRACE(std::string(row.first) + (app_layout ? " app" : ""));
      with_about(
          [&] {
            about_dialog *dialog = show_about();
            const trect *client = tcontrol_get_client_rect(&tdialog_get_form(about_dialog_get_dialog(dialog))->_control);
            trect button = *tsurface_get_rect(&dialog->_feedback->_control._surface);
            EXPECT_EQ(button.x2, client->x2 - client->x1 - row.second);
            EXPECT_EQ(button.y2 - button.y1 + 1, row.second == 6 ? 25 : 40);
            trect web = *tsurface_get_rect(&dialog->_web->_label._control._surface);
            EXPECT_EQ(button.y1, web.y2 + 10);
            EXPECT_EQ(button.x1, web.x1);
            tdialog_close(about_dialog_get_dialog(dialog), 0);
          },
          row.first, app_layout);
    }
}

// Every letter's ink within the logo's bitmap: the bitmap's outer rows and
// columns stay grey while letters are drawn.
TEST(AboutDialog, EveryLetterLiesInsideTheLogo) {
  for (const char *screen : {"240x320", "320x240", "320x480", "480x640", "640x480"}) {
    SCOPED_TRACE(screen);
    with_about(
        [&] {
          about_dialog *dialog = show_about();
          widget_run_for(50);
          tbitmap *bitmap = dialog->_logo->_bitmap;
          ASSERT_NE(bitmap, nullptr);
          int32_t width = tbitmap_get_width(bitmap), height = tbitmap_get_height(bitmap);
          int inked = 0;
          for (int32_t y = 0; y < height; y++)
            for (int32_t x = 0; x < width; x++) {
              if ((tbitmap_get_pixel(bitmap, x, y) & 0xFFFFFF) == 0xC0C0C0) continue;
              inked++;
              EXPECT_TRUE(x > 0 && y > 0 && x < width - 1 && y < height - 1) << x << "," << y;
            }
          EXPECT_GT(inked, 0);
          tdialog_close(about_dialog_get_dialog(dialog), 0);
        },
        screen, true);
  }
}
