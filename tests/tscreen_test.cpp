#include "tscreen.h"

#include <gtest/gtest.h>

#include "os_display.h"
#include "port_test_app.h"

namespace {

int g_paints;
trect g_painted;
void count_paint(tscreen *, const trect *rect) {
  g_paints++;
  g_painted = *rect;
}

}  // namespace

TEST(Screen, LockedPaintNeitherPaintsNorFlushes) {
  port_test_run_app([] {
    tscreen *screen = tscreen_get();
    g_paints = 0;
    tscreen_set_paint_hook(screen, count_paint);
    int presents = os_headless_get_present_count();
    tscreen_set_update_lock(screen, 1);
    EXPECT_EQ(tscreen_paint(screen, nullptr), 1);
    EXPECT_EQ(g_paints, 0);
    EXPECT_EQ(os_headless_get_present_count(), presents);
    tscreen_set_update_lock(screen, 0);
    trect rect = {5, 6, 7, 8};
    tscreen_paint(screen, &rect);
    EXPECT_EQ(g_paints, 1);
    EXPECT_TRUE(trect_is_equal(&g_painted, &rect));
    trect shown = os_headless_get_last_rect();
    EXPECT_TRUE(trect_is_equal(&shown, &rect));
    tscreen_paint(screen, nullptr);  // null: the whole screen
    EXPECT_EQ(g_painted.x2, 479);
    EXPECT_EQ(g_painted.y2, 639);
    return 0;
  });
}

TEST(Screen, WithoutHooksNothingIsTakenButThePenIsRemembered) {
  port_test_run_app([] {
    tscreen *screen = tscreen_get();
    EXPECT_EQ(tscreen_dispatch_key(screen, 'a', 1, 0), 0);
    EXPECT_EQ(tscreen_dispatch_pen(screen, TSCREEN_PEN_DOWN, -4, 9, 0), 0);
    tpoint last;
    tscreen_get_last_pen_pos(screen, &last);
    EXPECT_EQ(last.x, -4);
    EXPECT_EQ(last.y, 9);
    return 0;
  });
}

TEST(Screen, ResizeKeepsTheRowOrder) {
  tscreen screen;
  ASSERT_EQ(tscreen_init(&screen, 30, -20), 1);
  EXPECT_EQ(tbitmap_get_bpp(tscreen_get_bitmap(&screen)), 16);
  ASSERT_EQ(tscreen_resize(&screen, 40, 50), 1);  // positive height asked
  EXPECT_TRUE(tbitmap_is_top_down(tscreen_get_bitmap(&screen)));
  EXPECT_EQ(screen._rect.x2, 39);
  EXPECT_EQ(screen._rect.y2, 49);
  tscreen_deinit(&screen);

  ASSERT_EQ(tscreen_init(&screen, 30, 20), 1);
  ASSERT_EQ(tscreen_resize(&screen, 40, -50), 1);
  EXPECT_FALSE(tbitmap_is_top_down(tscreen_get_bitmap(&screen)));
  tscreen_deinit(&screen);
}

TEST(Screen, FailedResizeLeavesAScreenThatDoesNotPaint) {
  tscreen screen;
  ASSERT_EQ(tscreen_init(&screen, 30, -20), 1);
  uint64_t budget = tbitmap_set_budget(100);
  EXPECT_EQ(tscreen_resize(&screen, 400, 400), 0);
  tbitmap_set_budget(budget);
  g_paints = 0;
  tscreen_set_paint_hook(&screen, count_paint);
  EXPECT_EQ(tscreen_paint(&screen, nullptr), 1);
  EXPECT_EQ(g_paints, 0);
  tscreen_deinit(&screen);
}

TEST(Screen, NullScreenIsFatal) {
  EXPECT_EXIT(tscreen_paint(nullptr, nullptr), ::testing::ExitedWithCode(255), "code = tscreen\\([0-9]+\\)");
}
