// Hints: placement on the screen, and timed hints that free themselves (on
// their timer, or at once when no timer can be had) and leave the modal slot
// and the screen as they found them; the end frees the timed ones.
#include "thint.h"

#include <gtest/gtest.h>

#include <vector>

#include "gui_fixture.h"
#include "os_message.h"
#include "screen_fixture.h"
#include "widget_fixture.h"
#include "wins_timer.h"

namespace {

// A wrapped hint keeps the width it was given: 100 pixels.
thint *hint_100() {
  trect rect = {0, 0, 99, 19};
  thint *hint = thint_new(&rect, u"Saved", 1, nullptr);
  EXPECT_NE(hint, nullptr);
  return hint;
}

std::vector<int32_t> placed(thint *hint) {
  const trect *r = tsurface_get_rect(&thint_get_label(hint)->_control._surface);
  return {r->x1, r->y1};
}

}  // namespace

TEST(Hint, ShowCentresAndKeepsTheLabelOnTheScreen) {
  run_widget_test_240x320([](tscreen *screen) {
    thint *hint = hint_100();
    int32_t height = tsurface_get_height(&thint_get_label(hint)->_control._surface);
    struct row {
      int32_t x, y;
      std::vector<int32_t> at;
    };
    const row rows[] = {
        {-1, -1, {70, (320 - height) / 2}},
        {-5, -7, {0, 0}},
        {200, 315, {240 - 100 - 2, 320 - height - 2}},
        {140, 0, {140, 0}},  // right on the edge still fits
    };
    for (const row &r : rows) {
      thint_show(hint, r.x, r.y);
      EXPECT_EQ(placed(hint), r.at);
      EXPECT_EQ(tscreen_get_modal(screen), &thint_get_label(hint)->_control._surface);
    }
    thint_free(hint);
    EXPECT_EQ(tscreen_get_modal(screen), nullptr);
  });
}

TEST(Hint, ATimedHintFreesItselfAndClearsTheModalSlot) {
  run_widget_test_240x320([](tscreen *screen) {
    // The painting behind, as the application's paint hook draws it.
    tscreen_set_paint_hook(screen, [](tscreen *s, const trect *r) {
      tbitmap_fill_rect(tscreen_get_bitmap(s), r->x1, r->y1, r->x2, r->y2, 0xFF0000FFu);
    });
    tscreen_paint(screen, nullptr);
    uint32_t before = screen_pixel(screen, 72, 160);
    thint *hint = hint_100();
    tbdrawer_set_fill_color(thint_get_label(hint)->_control._bdrawer, tcolor_rgba(255, 0, 0));
    thint_show_timed(hint, -1, -1, 2000);
    EXPECT_EQ(screen_pixel(screen, 72, 160), 0xF800u);
    widget_run_for(1990);
    EXPECT_NE(tscreen_get_modal(screen), nullptr);
    widget_run_for(10);
    EXPECT_EQ(tscreen_get_modal(screen), nullptr);
    EXPECT_EQ(screen_pixel(screen, 72, 160), before);
    EXPECT_EQ(os_next_timer_in(), -1);
  });
}

TEST(Hint, WithoutATimerATimedHintGoesAtOnce) {
  run_widget_test_240x320([](tscreen *screen) {
    widget_take_all_timers();
    thint_show_timed(hint_100(), -1, -1, 2000);
    EXPECT_EQ(tscreen_get_modal(screen), nullptr);
    wins_timer_stop_all();
    // Time -1: shown until its owner frees it.
    thint *kept = hint_100();
    thint_show_timed(kept, -1, -1, -1);
    widget_run_for(3000);
    EXPECT_EQ(tscreen_get_modal(screen), &thint_get_label(kept)->_control._surface);
    thint_free(kept);
  });
}

// A hint over a dialog (or the application's own modal surface) gives the
// keys back when it goes, also when a control has come to the front
// meanwhile; the program's end frees the hints that wait for their time.
TEST(Hint, GoingGivesTheModalSlotBackAndTheEndFreesTimedHints) {
  run_widget_test_240x320([](tscreen *screen) {
    int main_keys = 0, front_keys = 0;
    tcontrol *main = widget_new_key_taker(0, &main_keys);
    tscreen_set_modal(screen, &main->_surface);
    thint_show_timed(hint_100(), -1, -1, 2000);
    thint *kept = hint_100();
    thint_show(kept, 0, 0);
    tcontrol *front = widget_new_key_taker(20, &front_keys);
    thint_free(kept);
    widget_run_for(2000);
    widget_key('x');
    EXPECT_EQ(main_keys, 1);
    EXPECT_EQ(front_keys, 0);
    thint_show_timed(hint_100(), -1, -1, 2000);
    thint_close_timed();
    EXPECT_EQ(tscreen_get_modal(screen), &main->_surface);
    tcontrol_free(front);
    tcontrol_free(main);
    EXPECT_EQ(screen->_surfaces.next, &screen->_surfaces) << "nothing of the hint is left";
    EXPECT_EQ(os_next_timer_in(), -1);
  });
}
