// Message boxes: the soft keys each set shows and what they answer, where
// the text goes beside an icon and under a styler's layout values, the
// width on both orientations, and a box that cannot be made.
#include "tmessagedialog.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "gui_fixture.h"
#include "tcontrolbar.h"
#include "tdialog.h"
#include "tform.h"
#include "timage.h"
#include "tlabel.h"
#include "tstyler.h"
#include "widget_fixture.h"

namespace {

using ints = std::vector<int32_t>;
const trect &rect_of(void *control) { return *tsurface_get_rect(&static_cast<tcontrol *>(control)->_surface); }

std::vector<std::string> g_results;
char g_user[] = "user";
void record_result(int32_t result, void *user_data) {
  g_results.push_back(std::to_string(result) + " " + static_cast<const char *>(user_data));
}

tmessagedialog *new_box(int32_t buttons, int32_t width = -1) {
  tmessagedialog *box = tmessagedialog_new(u"Title", width, u"Some words to show", buttons, 0, g_user);
  tmessagedialog_set_on_result(box, record_result);
  return box;
}

}  // namespace

// The keys a set shows answer its results; a hidden key does nothing (set 6
// shows none and closes only by other means).
TEST(MessageDialog, EachButtonSetAnswersThroughTheKeysItShows) {
  struct row {
    int32_t set;
    uint32_t shown, hidden;
    const char *result;
  };
  const row rows[] = {
      {TMESSAGEDIALOG_YES, 0xF821, 0xF822, "2 user"},    {TMESSAGEDIALOG_BACK, 0xF822, 0xF821, "5 user"},
      {TMESSAGEDIALOG_CANCEL, 0xF822, 0xF821, "0 user"}, {TMESSAGEDIALOG_YES_NO, 0xF822, 0, "3 user"},
      {TMESSAGEDIALOG_OK, 0xF821, 0xF822, "1 user"},     {TMESSAGEDIALOG_NO_BUTTONS, 0, 0xF821, "4 user"},
  };
  run_widget_test_240x320([&](tscreen *screen) {
    for (const row &r : rows) {
      SCOPED_TRACE(r.set);
      g_results.clear();
      tmessagedialog *box = new_box(r.set);
      tmessagedialog_show(box, -1, -1, TDIALOG_PLACE_CENTRE);
      widget_soft_key(r.hidden);
      EXPECT_TRUE(g_results.empty());
      if (r.shown) {
        widget_soft_key(r.shown);
      } else {
        tdialog_close(tmessagedialog_get_dialog(box), 4);
      }
      EXPECT_EQ(g_results, std::vector<std::string>{r.result});
      EXPECT_EQ(tscreen_get_modal(screen), nullptr);
    }
  });
}

// Without an icon the text starts at 9, beside a 32-pixel one at
// 10 + 31 + 20 = 61, and ends 11 short of the form; a styler's values (here
// icon left 12, top 20, gap 30) move both, other indexes change nothing.
TEST(MessageDialog, TheTextStartsBesideTheIcon) {
  run_on_styled_screen(
      [](tscreen *) {
        std::unique_ptr<tbitmap, void (*)(tbitmap *)> picture(tbitmap_new(32, 32, 16), tbitmap_free);
        tmessagedialog *box = new_box(TMESSAGEDIALOG_OK, 200);
        const trect &label = rect_of(tmessagedialog_get_label(box));
        EXPECT_EQ(tsurface_get_width(&reinterpret_cast<tcontrol *>(tdialog_get_form(box->_dialog))->_surface), 194);
        EXPECT_EQ(ints({label.x1, label.y1, label.x2}), ints({9, 10, 194 - 11}));
        tmessagedialog_set_icon(box, picture.get(), nullptr);
        EXPECT_EQ(ints({label.x1, label.y1, label.x2}), ints({61, 10, 194 - 11}));
        tdialog_close(tmessagedialog_get_dialog(box), 0);

        tstyler_set_default(tstyler_new([](tstyler *, void *target, int32_t kind, void *, intptr_t) {
          if (kind != TSTYLE_MESSAGEDIALOG_BEFORE) return;
          const int32_t values[][2] = {{0, 12}, {1, 20}, {3, 30}, {4, 99}, {-1, 99}};
          for (const auto &v : values) tmessagedialog_set_layout(static_cast<tmessagedialog *>(target), v[0], v[1]);
        }));
        box = new_box(TMESSAGEDIALOG_OK, 200);
        tmessagedialog_set_icon(box, picture.get(), nullptr);
        const trect &icon = rect_of(box->_icon);
        const trect &moved = rect_of(tmessagedialog_get_label(box));
        EXPECT_EQ(ints({icon.x1, icon.y1, moved.x1, moved.y1}), ints({12, 20, 43 + 30, 20}));
        tdialog_close(tmessagedialog_get_dialog(box), 0);
      },
      "240x320");
}

TEST(MessageDialog, WidthMinusOneIsTheShortSideAndNoBoxWithoutMemory) {
  for (const char *screen : {"240x320", "320x240"}) {
    SCOPED_TRACE(screen);
    run_on_styled_screen(
        [](tscreen *screen) {
          tmessagedialog *box = new_box(TMESSAGEDIALOG_OK);
          EXPECT_EQ(box->_width, 240);
          tdialog_close(tmessagedialog_get_dialog(box), 0);
          // Without memory for its parts' buffers (the dialog itself holds
          // none) the box is not made and leaves nothing behind.
          uint64_t budget = tbitmap_set_budget(240 * 8 * 2 - 1);
          EXPECT_EQ(tmessagedialog_new(u"Title", -1, u"Text", TMESSAGEDIALOG_OK, 3, nullptr), nullptr);
          tbitmap_set_budget(budget);
          EXPECT_EQ(tscreen_get_modal(screen), nullptr);
        },
        screen);
  }
}
