// Message boxes: which soft keys a set shows and what they answer, where the
// text goes beside an icon, the layout values a styler sets before the box
// is built, and the width on both orientations.
#include "tmessagedialog.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "gui_fixture.h"
#include "os_clock.h"
#include "port_test_app.h"
#include "tbutton.h"
#include "tcontrolbar.h"
#include "tdialog.h"
#include "timage.h"
#include "tlabel.h"
#include "tstyler.h"
#include "wins_timer.h"

namespace {

std::vector<int32_t> fields(const trect &r) { return {r.x1, r.y1, r.x2, r.y2}; }
tsurface *surface_of(void *control) { return &static_cast<tcontrol *>(control)->_surface; }
const trect &rect_of(void *control) { return *tsurface_get_rect(surface_of(control)); }

std::vector<std::string> g_results;
void record_result(int32_t result, void *user_data) {
  g_results.push_back(std::to_string(result) + " " + static_cast<const char *>(user_data));
}

struct driven_clock {
  driven_clock() { os_clock_drive(1); }
  ~driven_clock() {
    wins_timer_stop_all();
    os_clock_drive(0);
  }
  void run(uint32_t ms) {
    os_clock_advance(ms);
    port_test_pump();
  }
};

tmessagedialog *new_box(int32_t buttons, int32_t icon_kind = TMESSAGEDIALOG_ICON_NONE, int32_t width = -1) {
  static char user[] = "user";
  tmessagedialog *box = tmessagedialog_new(u"Title", width, u"Some words to show", buttons, icon_kind, user);
  EXPECT_NE(box, nullptr);
  tmessagedialog_set_on_result(box, record_result);
  return box;
}

}  // namespace

// Each set answers through the keys it shows; a hidden key does nothing.
TEST(MessageDialog, EachButtonSetClosesWithItsResult) {
  struct row {
    int32_t set;
    uint32_t shown_key, hidden_key;
    const char *result;
  };
  const row rows[] = {
      {TMESSAGEDIALOG_YES, 0xF821, 0xF822, "2 user"},
      {TMESSAGEDIALOG_BACK, 0xF822, 0xF821, "5 user"},
      {TMESSAGEDIALOG_CANCEL, 0xF822, 0xF821, "0 user"},
      {TMESSAGEDIALOG_YES_NO, 0xF822, 0, "3 user"},
      {TMESSAGEDIALOG_OK, 0xF821, 0xF822, "1 user"},
  };
  run_on_styled_screen(
      [&](tscreen *screen) {
        driven_clock clock;
        for (const row &r : rows) {
          SCOPED_TRACE(r.set);
          g_results.clear();
          tmessagedialog *box = new_box(r.set);
          tmessagedialog_show(box, -1, -1, TDIALOG_PLACE_CENTRE);
          if (r.hidden_key) {
            tscreen_dispatch_key(screen, r.hidden_key, 0, 0);
            clock.run(100);
            EXPECT_TRUE(g_results.empty());
          }
          tscreen_dispatch_key(screen, r.shown_key, 0, 0);
          clock.run(100);
          EXPECT_EQ(g_results, std::vector<std::string>{r.result});
          EXPECT_EQ(tscreen_get_modal(screen), nullptr);
        }
      },
      "240x320");
}

TEST(MessageDialog, SetSixShowsNoSoftKey) {
  g_results.clear();
  run_on_styled_screen(
      [](tscreen *screen) {
        driven_clock clock;
        tmessagedialog *box = new_box(TMESSAGEDIALOG_NO_BUTTONS);
        tmessagedialog_show(box, -1, -1, TDIALOG_PLACE_CENTRE);
        tcontrolbar *bar = tdialog_get_controlbar(tmessagedialog_get_dialog(box));
        EXPECT_FALSE(tsurface_is_visible(surface_of(tcontrolbar_get_left_button(bar))));
        EXPECT_FALSE(tsurface_is_visible(surface_of(tcontrolbar_get_right_button(bar))));
        for (uint32_t key : {0xF821u, 0xF822u, 0xF823u}) tscreen_dispatch_key(screen, key, 0, 0);
        clock.run(100);
        EXPECT_TRUE(g_results.empty());
        tdialog_close(tmessagedialog_get_dialog(box), 4);
        EXPECT_EQ(g_results, std::vector<std::string>{"4 user"});
      },
      "240x320");
}

// Without an icon the text starts at 9; beside a 32-pixel icon at
// 10 + 32 - 1 + 20 = 61; both end 11 short of the form's width.
TEST(MessageDialog, TheTextStartsBesideTheIcon) {
  run_on_styled_screen(
      [](tscreen *) {
        std::unique_ptr<tbitmap, void (*)(tbitmap *)> icon(tbitmap_new(32, 32, 16), tbitmap_free);
        tmessagedialog *box = new_box(TMESSAGEDIALOG_OK, TMESSAGEDIALOG_ICON_NONE, 200);
        const trect &label = rect_of(tmessagedialog_get_label(box));
        int32_t form_width = tsurface_get_width(surface_of(tdialog_get_form(tmessagedialog_get_dialog(box))));
        EXPECT_EQ(form_width, 194) << "the panel less its insets";
        EXPECT_EQ(std::vector<int32_t>({label.x1, label.y1, label.x2}), std::vector<int32_t>({9, 10, 194 - 11}));
        tmessagedialog_set_icon(box, icon.get(), nullptr);
        EXPECT_EQ(std::vector<int32_t>({label.x1, label.y1, label.x2}), std::vector<int32_t>({61, 10, 194 - 11}));
        tmessagedialog_set_icon(box, nullptr, nullptr);
        EXPECT_EQ(label.x1, 9);
        tdialog_close(tmessagedialog_get_dialog(box), 0);
      },
      "240x320");
}

// A styler sets the layout before the box is built (the large screen class
// sets values 1 and 3 to 20): icon left, top of icon and label, the label's
// first height, the gap from the icon to the label. Other indexes change
// nothing.
TEST(MessageDialog, LayoutValuesFromTheStylerPlaceIconAndText) {
  run_on_styled_screen(
      [](tscreen *) {
        tstyler_set_default(tstyler_new([](tstyler *, void *target, int32_t kind, void *, intptr_t) {
          if (kind != TSTYLE_MESSAGEDIALOG_BEFORE) return;
          auto *box = static_cast<tmessagedialog *>(target);
          const int32_t values[][2] = {{0, 12}, {1, 20}, {2, 40}, {3, 30}, {4, 99}, {-1, 99}};
          for (const auto &v : values) tmessagedialog_set_layout(box, v[0], v[1]);
        }));
        std::unique_ptr<tbitmap, void (*)(tbitmap *)> picture(tbitmap_new(32, 32, 16), tbitmap_free);
        tmessagedialog *box = new_box(TMESSAGEDIALOG_OK);
        tdialog *dialog = tmessagedialog_get_dialog(box);
        tmessagedialog_set_icon(box, picture.get(), nullptr);
        EXPECT_EQ(fields(rect_of(box->_icon)), std::vector<int32_t>({12, 20, 43, 51}));
        const trect &label = rect_of(tmessagedialog_get_label(box));
        EXPECT_EQ(std::vector<int32_t>({label.x1, label.y1}), std::vector<int32_t>({43 + 30, 20}));
        tdialog_close(dialog, 0);
      },
      "240x320");
}

TEST(MessageDialog, WidthMinusOneIsTheShortSide) {
  for (const char *screen : {"240x320", "320x240"}) {
    SCOPED_TRACE(screen);
    run_on_styled_screen(
        [](tscreen *) {
          tmessagedialog *box = new_box(TMESSAGEDIALOG_OK);
          EXPECT_EQ(box->_width, 240);
          tdialog_close(tmessagedialog_get_dialog(box), 0);
        },
        screen);
  }
}
