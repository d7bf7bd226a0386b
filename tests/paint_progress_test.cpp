// The progress popup: where it sits, what it shows, and which rebuilds of
// the application's history show it.
#include <gtest/gtest.h>

#include <vector>

#include "app_test_env.h"
#include "paint_context.h"
#include "paint_history.h"
#include "paint_progress.h"
#include "screen_fixture.h"
#include "tprogressbar.h"
#include "tscreen.h"

namespace {

std::vector<int32_t> corners(const trect &r) { return {r.x1, r.y1, r.x2, r.y2}; }

constexpr uint32_t rgb565(int r, int g, int b) {
  return uint32_t(r >> 3) << 11 | uint32_t(g >> 2) << 5 | uint32_t(b >> 3);
}

// The application's own hooks, counted: each popup made, and where it was.
paint_history_hooks g_installed;
int g_popups;
std::vector<trect> g_popup_rects;

void *counted_new(paint_history *history) {
  void *popup = g_installed.progress_new(history);
  if (popup) {
    g_popups++;
    tsurface *bar = &static_cast<paint_progress *>(popup)->_bar->_control._surface;
    EXPECT_TRUE(tsurface_is_realized(bar));
    g_popup_rects.push_back(*tsurface_get_rect(bar));
  }
  return popup;
}

void count_popups(paint_history *history) {
  g_installed = history->_hooks;
  ASSERT_NE(g_installed.progress_new, nullptr);
  ASSERT_NE(g_installed.progress_set, nullptr);
  ASSERT_NE(g_installed.progress_free, nullptr);
  paint_history_hooks counted = g_installed;
  counted.progress_new = counted_new;
  paint_history_set_hooks(history, &counted);
  g_popups = 0;
  g_popup_rects.clear();
}

int popups_of(const std::function<void()> &step) {
  g_popups = 0;
  step();
  return g_popups;
}

}  // namespace

TEST(ProgressPopup, SitsCentredWithTheSizeOfTheScreenClass) {
  EXPECT_EQ(corners(paint_progress_get_rect(240, 320)), (std::vector<int32_t>{70, 155, 169, 164}));
  EXPECT_EQ(corners(paint_progress_get_rect(480, 640)), (std::vector<int32_t>{110, 307, 369, 332}));
  EXPECT_EQ(corners(paint_progress_get_rect(320, 480)), (std::vector<int32_t>{60, 230, 259, 249}));
  EXPECT_EQ(corners(paint_progress_get_rect(640, 480)), (std::vector<int32_t>{190, 227, 449, 252}));
}

TEST(ProgressPopup, EverySetReachesTheScreenAndAPercentAboveAHundredFillsTheBar) {
  ASSERT_TRUE(app_test_run_fresh(
      [](app_context *) {
        tscreen *screen = tscreen_get();
        paint_progress *pp = paint_progress_new(nullptr);
        ASSERT_NE(pp, nullptr);
        uint32_t fill = rgb565(128, 128, 255);
        // The screen is locked as during a rebuild; the popup shows all the same.
        tscreen_set_update_lock(screen, 1);
        paint_progress_set(pp, 10);
        EXPECT_NE(screen_pixel(screen, 165, 160), fill);
        tscreen_set_update_lock(screen, 0);
        paint_progress_set(pp, 250);
        EXPECT_EQ(pp->_bar->_percent, 100);
        EXPECT_EQ(screen_pixel(screen, 165, 160), fill) << "the bar's far end";
        paint_progress_free(pp);
      },
      "240x320"));
}

TEST(ProgressPopup, ShownOnRebuildsThatApplyARecordAndOnLongUndosOnly) {
  ASSERT_TRUE(app_test_run_fresh([](app_context *app) {
    paint_history *history = app->_history;
    count_popups(history);
    EXPECT_EQ(popups_of([&] { paint_history_rebuild(history); }), 0) << "nothing to apply";
    paint_history_add(history, PAINT_HISTORY_OP_CLEAR, nullptr, 0);
    EXPECT_EQ(popups_of([&] { paint_history_rebuild(history); }), 1);
    ASSERT_EQ(g_popup_rects.size(), 1u);
    EXPECT_EQ(corners(g_popup_rects[0]), corners(paint_progress_get_rect(480, 640)));
    EXPECT_EQ(popups_of([&] { paint_history_undo(history); }), 0) << "position 0 to -1";
    EXPECT_EQ(popups_of([&] { paint_history_redo(history); }), 0);
    for (int i = 1; i < 60; i++) paint_history_add(history, PAINT_HISTORY_OP_CLEAR, nullptr, 0);
    EXPECT_EQ(popups_of([&] { paint_history_undo(history); }), 0) << "a checkpoint at zoom 1.0";
    paint_context_set_zoom(app->_paint_context, 2.0);
    EXPECT_EQ(popups_of([&] { paint_history_rebuild(history); }), 1);
    EXPECT_EQ(popups_of([&] { paint_history_undo(history); }), 1) << "at zoom 2.0";
    paint_history_set_hooks(history, &g_installed);
  }));
}
