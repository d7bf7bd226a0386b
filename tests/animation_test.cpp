// The frame animation: frames step on the test clock and wrap, the frame
// callback sees the new index before the picture changes, at most 32 frames
// are kept, and without a frame nothing ticks (nor divides by zero).
#include "animation.h"

#include <gtest/gtest.h>

#include <vector>

#include "gui_fixture.h"
#include "test_bitmap.h"
#include "widget_fixture.h"
#include "wins_timer.h"

namespace {

std::vector<int32_t> g_seen;
tbitmap *g_bitmap_at_callback;

void record_frame(animation *a) {
  g_seen.push_back(animation_get_index(a));
  g_bitmap_at_callback = a->_image._bitmap;
}

}  // namespace

TEST(Animation, StepsWrapAndStop) {
  run_on_styled_screen([](tscreen *) {
    widget_env env;
    std::vector<bitmap_ptr> owned;
    tbitmap *frames[3], *masks[3];
    for (int i = 0; i < 3; i++) {
      owned.push_back(test_bitmap(4 + i, 4, 32));
      frames[i] = owned.back().get();
      owned.push_back(test_bitmap(4 + i, 4, 8));
      masks[i] = owned.back().get();
    }
    trect rect = {0, 0, 9, 9};
    animation *a = animation_new(nullptr, &rect, frames, masks, 3, 0, nullptr);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->_image._bitmap, frames[0]);
    EXPECT_EQ(animation_get_mask(a, 2), masks[2]);
    EXPECT_EQ(animation_get_mask(a, 3), nullptr);
    EXPECT_EQ(animation_get_mask(a, -1), nullptr);
    animation_set_frame_callback(a, record_frame);
    g_seen.clear();
    uint32_t timer = animation_start(a, 100);
    ASSERT_NE(timer, 0u);
    widget_run_for(400);
    EXPECT_EQ(g_seen, (std::vector<int32_t>{1, 2, 0, 1}));
    EXPECT_EQ(g_bitmap_at_callback, frames[0]) << "the callback comes before the picture changes";
    EXPECT_EQ(a->_image._bitmap, frames[1]);
    EXPECT_EQ(a->_image._mask, masks[1]);
    animation_stop(a);
    widget_run_for(300);
    EXPECT_EQ(g_seen.size(), 4u);
    animation_start(a, 100);
    animation_free(a);  // the running timer goes with it
    widget_run_for(300);
    EXPECT_EQ(g_seen.size(), 4u);
  });
}

TEST(Animation, NoFramesNeverTicksAndManyAreCut) {
  run_on_styled_screen([](tscreen *) {
    widget_env env;
    trect rect = {0, 0, 9, 9};
    animation *none = animation_new(nullptr, &rect, nullptr, nullptr, 0, 0, nullptr);
    ASSERT_NE(none, nullptr);
    EXPECT_EQ(animation_start(none, 10), 0u);
    widget_run_for(50);
    EXPECT_EQ(animation_get_index(none), 0);
    animation_free(none);

    bitmap_ptr one = test_bitmap(2, 2, 32);
    std::vector<tbitmap *> frames(40, one.get());
    animation *many = animation_new(nullptr, &rect, frames.data(), nullptr, 40, 0, nullptr);
    ASSERT_NE(many, nullptr);
    EXPECT_EQ(many->_count, ANIMATION_MAX_FRAMES);
    animation_start(many, 10);
    widget_run_for(ANIMATION_MAX_FRAMES * 10);
    EXPECT_EQ(animation_get_index(many), 0) << "32 ticks bring it round";
    animation_free(many);
  });
}
