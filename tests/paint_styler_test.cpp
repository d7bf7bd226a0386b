// The application's look on the running program, on the three screen
// classes: control bars keep their class's sizes through any number of
// layouts, dialogs get their title height and frame, buttons their
// gradients, hints their frame, all read back from the screen.
#include "paint_styler.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app_test_env.h"
#include "os_display.h"
#include "screen_fixture.h"
#include "tbutton.h"
#include "tcontrolbar.h"
#include "tdialog.h"
#include "thint.h"
#include "tlabel.h"
#include "tmessagedialog.h"
#include "tscreen.h"
#include "ttdrawer.h"
#include "ttitlebar.h"

namespace {

void run(const char *screen, const std::function<void(app_context *)> &body) {
  app_test_folders folders;
  ASSERT_TRUE(app_test_run(body, screen));
}

int32_t width_of(void *control) { return tsurface_get_width(&static_cast<tcontrol *>(control)->_surface); }
int32_t height_of(void *control) { return tsurface_get_height(&static_cast<tcontrol *>(control)->_surface); }

// (r, g, b) as the 16-bit display shows it.
uint32_t rgb565(int r, int g, int b) { return uint32_t(r >> 3) << 11 | uint32_t(g >> 2) << 5 | uint32_t(b >> 3); }

}  // namespace

// The bar's own layout sets 40 across and 100 along for its buttons (100
// and 40 at a side); the small class halves that, the large one takes 1.3
// times, the normal one leaves it. Layouts repeated in any order never drift.
TEST(PaintStyler, ControlBarsKeepTheirClassSizesThroughRepeatedLayouts) {
  struct row {
    const char *screen;
    int32_t across, along;  // bar thickness and soft-key length at the bottom or top
    int32_t side_across, side_along;
  } rows[] = {
      {"240x320", 20, 50, 50, 20},
      {"320x480", 40, 100, 100, 40},
      {"480x640", 52, 130, 130, 52},
  };
  for (const row &r : rows) {
    SCOPED_TRACE(r.screen);
    run(r.screen, [&](app_context *) {
      trect empty = {0, 0, -1, -1};
      tcontrolbar *bar = tcontrolbar_new(nullptr, &empty, nullptr);
      ASSERT_NE(bar, nullptr);
      tbutton *left = tcontrolbar_get_left_button(bar), *right = tcontrolbar_get_right_button(bar);
      for (int32_t position : {0, 0, 3, 1, 1, 2, 0, 3, 3}) {
        SCOPED_TRACE(position);
        tcontrolbar_set_position(bar, position);
        if (position == TCONTROLBAR_BOTTOM || position == TCONTROLBAR_TOP) {
          EXPECT_EQ(height_of(bar), r.across);
          EXPECT_EQ(std::vector<int32_t>({width_of(left), width_of(right)}), std::vector<int32_t>(2, r.along));
        } else {
          EXPECT_EQ(width_of(bar), r.side_across);
          EXPECT_EQ(std::vector<int32_t>({height_of(left), height_of(right)}),
                    std::vector<int32_t>(2, r.side_along));
        }
        for (tbutton *b : {left, right})
          for (ttdrawer *d : {tbutton_get_tdrawer(b), tbutton_get_pressed_tdrawer(b), tbutton_get_focused_tdrawer(b)})
            EXPECT_EQ(ttdrawer_get_alignment(d), 8u) << "captions centred after the bar's own alignment";
      }
      tcontrolbar_free(bar);
    });
  }
}

// A message box: title 15 high on the small class, 48 on the large one, the
// toolkit's 25 on the normal one; the panel framed in black, the form
// without a frame, its gradient starting light at the top. (The colour
// dialog, which keeps its form's frame, comes with its own row.)
TEST(PaintStyler, DialogsGetTheirTitleHeightAndFrames) {
  struct row {
    const char *screen;
    int32_t title_height;
    int32_t label_top;  // the box's layout value 1: 20 on the large class
  } rows[] = {{"240x320", 15, 10}, {"320x480", 25, 10}, {"480x640", 48, 20}};
  for (const row &r : rows) {
    SCOPED_TRACE(r.screen);
    run(r.screen, [&](app_context *) {
      tscreen *screen = tscreen_get();
      tmessagedialog *box = tmessagedialog_new(u"Brivola", 200, u"Hello", TMESSAGEDIALOG_OK, 0, nullptr);
      ASSERT_NE(box, nullptr);
      EXPECT_EQ(box->_layout[1], r.label_top);
      tmessagedialog_show(box, -1, -1, TDIALOG_PLACE_CENTRE);
      tdialog *dialog = tmessagedialog_get_dialog(box);
      EXPECT_EQ(height_of(tdialog_get_titlebar(dialog)), r.title_height);
      trect panel, form;
      tsurface_get_screen_rect(&tdialog_get_panel(dialog)->_surface, &panel);
      tsurface_get_screen_rect(&reinterpret_cast<tcontrol *>(tdialog_get_form(dialog))->_surface, &form);
      EXPECT_EQ(screen_pixel(screen, panel.x1, panel.y1 + panel.y2 - panel.y1 - 1), 0u) << "black frame";
      EXPECT_EQ(screen_pixel(screen, form.x1, form.y1), rgb565(200, 200, 200)) << "no frame on the form";
      EXPECT_EQ(screen_pixel(screen, panel.x1 + 1, panel.y2 - 1), rgb565(128, 128, 128)) << "grey panel";
      tdialog_close(dialog, 0);
    });
  }
}

// Light to dark at rest, dark to light while held.
TEST(PaintStyler, ButtonsShowTheirGradientTurnedOverWhilePressed) {
  run("240x320", [](app_context *) {
    tscreen *screen = tscreen_get();
    trect rect = {20, 20, 69, 59};
    tbutton *button = tbutton_new(nullptr, &rect, u"", 0, nullptr);
    ASSERT_NE(button, nullptr);
    tcontrol_realize(&button->_control);
    tscreen_paint(screen, nullptr);
    // Red fifths of the first and last rows inside the frame: near 200 and
    // near 128.
    auto red = [&](int32_t y) { return screen_pixel(screen, 40, y) >> 11; };
    EXPECT_EQ(std::vector<uint32_t>({red(21), red(58)}), std::vector<uint32_t>({24, 16}));
    app_test_pen(OS_PEN_DOWN, 40, 40);
    EXPECT_EQ(std::vector<uint32_t>({red(21), red(58)}), std::vector<uint32_t>({16, 24}));
    app_test_pen(OS_PEN_MOVE, 200, 200);
    app_test_pen(OS_PEN_UP, 200, 200);
    tbutton_free(button);
    tscreen_paint(screen, nullptr);
  });
}

// A hint is framed in black on light blue.
TEST(PaintStyler, HintsAreFramedInBlackOnLightBlue) {
  run("480x640", [](app_context *) {
    tscreen *screen = tscreen_get();
    trect rect = {0, 0, 199, 0};
    thint *hint = thint_new(&rect, u"Tip", 1, nullptr);
    ASSERT_NE(hint, nullptr);
    thint_show(hint, 50, 60);
    trect r;
    tsurface_get_screen_rect(&thint_get_label(hint)->_control._surface, &r);
    EXPECT_EQ(screen_pixel(screen, r.x1, r.y1), 0u);
    EXPECT_EQ(screen_pixel(screen, r.x2 - 1, r.y2 - 1), rgb565(128, 128, 255));
    thint_free(hint);
    tscreen_paint(screen, nullptr);
  });
}
