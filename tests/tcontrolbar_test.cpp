// Control bars driven through the screen: each soft key and each tap reaches
// its button and the bar's callback with the button's result, the docking of
// each position, and a click that frees the bar (as a dialog closing does).
#include "tcontrolbar.h"

#include <gtest/gtest.h>

#include <vector>

#include "gui_fixture.h"
#include "screen_fixture.h"
#include "widget_fixture.h"

namespace {

std::vector<intptr_t> g_clicks;
void log_click(tcontrolbar *, intptr_t data) { g_clicks.push_back(data); }
void free_on_click(tcontrolbar *bar, intptr_t data) {
  g_clicks.push_back(data);
  tcontrolbar_free(bar);
}

tcontrolbar *shown_bar(tcontrolbar_click_fn on_click = log_click) {
  g_clicks.clear();
  trect empty = {0, 0, -1, -1};
  tcontrolbar *bar = tcontrolbar_new(nullptr, &empty, nullptr);
  EXPECT_NE(bar, nullptr);
  tcontrolbar_set_on_click(bar, on_click);
  tcontrol_realize(&bar->_control);
  tscreen_paint(tscreen_get(), nullptr);
  return bar;
}

std::vector<int32_t> fields(const tcontrol *c) {
  const trect *r = tsurface_get_rect(&c->_surface);
  return {r->x1, r->y1, r->x2, r->y2};
}

}  // namespace

TEST(ControlBar, SoftKeysClickAfterThePressedLookWithTheirResults) {
  run_widget_test_240x320([](tscreen *screen) {
    tcontrolbar *bar = shown_bar();
    // The left soft key's top-left corner: grey raised, black pressed.
    uint32_t raised = screen_pixel(screen, 0, 280);
    EXPECT_EQ(widget_key(0xF821), 1);
    EXPECT_NE(screen_pixel(screen, 0, 280), raised);
    widget_run_for(90);
    EXPECT_EQ(g_clicks, std::vector<intptr_t>{});
    widget_run_for(10);
    EXPECT_EQ(screen_pixel(screen, 0, 280), raised);
    widget_soft_key(0xF822);
    widget_soft_key(0xF823);
    EXPECT_EQ(widget_key('a'), 0);
    EXPECT_EQ(g_clicks, (std::vector<intptr_t>{1, 0, 2}));
    // The pen reaches every soft key, the middle one between the others.
    g_clicks.clear();
    widget_tap(10, 300);
    widget_tap(230, 300);
    widget_tap(120, 300);
    widget_tap(120, 100);  // above the bar
    EXPECT_EQ(g_clicks, (std::vector<intptr_t>{1, 0, 2}));
    tcontrolbar_free(bar);
  });
}

TEST(ControlBar, EachPositionDocksTheBarAndItsButtons) {
  struct row {
    const char *screen;
    int32_t position;
    std::vector<int32_t> bar, left, middle, right;
    uint32_t left_text, right_text;
    std::vector<int32_t> grown;  // the bar once its parent grows to 400x400
  };
  const row rows[] = {
      {"240x320", 0, {0, 280, 239, 319}, {0, 0, 99, 39}, {0, 0, 239, 39}, {140, 0, 239, 39}, 7, 3, {0, 360, 399, 399}},
      {"240x320", 3, {0, 0, 239, 39}, {0, 0, 99, 39}, {0, 0, 239, 39}, {140, 0, 239, 39}, 7, 3, {0, 0, 399, 39}},
      // At the side the left soft key is the lower button.
      {"320x240", 1, {220, 0, 319, 239}, {0, 200, 99, 239}, {0, 0, 99, 239}, {0, 0, 99, 39}, 3, 3, {300, 0, 399, 399}},
      {"320x240", 2, {0, 0, 99, 239}, {0, 200, 99, 239}, {0, 0, 99, 239}, {0, 0, 99, 39}, 7, 7, {0, 0, 99, 399}},
  };
  for (const row &r : rows) {
    SCOPED_TRACE(r.position);
    run_widget_test(
        [&](tscreen *) {
          tcontrolbar *bar = shown_bar();
          tcontrolbar_set_position(bar, r.position);
          EXPECT_EQ(fields(&bar->_control), r.bar);
          EXPECT_EQ(fields(&tcontrolbar_get_left_button(bar)->_control), r.left);
          EXPECT_EQ(fields(&tcontrolbar_get_middle_button(bar)->_control), r.middle);
          EXPECT_EQ(fields(&tcontrolbar_get_right_button(bar)->_control), r.right);
          EXPECT_EQ(ttdrawer_get_alignment(tbutton_get_pressed_tdrawer(tcontrolbar_get_left_button(bar))), r.left_text);
          EXPECT_EQ(ttdrawer_get_alignment(tbutton_get_tdrawer(tcontrolbar_get_right_button(bar))), r.right_text);
          // The lower button is the left soft key: a tap there gives 1.
          const trect *b = tsurface_get_rect(&bar->_control._surface);
          const trect *left = tsurface_get_rect(&tcontrolbar_get_left_button(bar)->_control._surface);
          widget_tap(b->x1 + left->x1 + 5, b->y1 + left->y1 + 5);
          EXPECT_EQ(g_clicks, std::vector<intptr_t>{1});
          // Docked, it stays on its edge at its thickness as the parent grows.
          const trect grown = {0, 0, 399, 399};
          tcontrol_apply_anchors(&bar->_control, &grown);
          EXPECT_EQ(fields(&bar->_control), r.grown);
          tcontrolbar_free(bar);
        },
        r.screen);
  }
}

int g_middle_draws = 0;
void count_draw(tbutton *, tcanvas *, const trect *, int *) { g_middle_draws++; }

std::vector<uint8_t> buffer_of(tbutton *button) {
  const tbitmap *b = tcanvas_get_bitmap(&button->_control._surface._canvas);
  return std::vector<uint8_t>(b->_pixels, b->_pixels + tbitmap_get_image_size(b));
}

TEST(ControlBar, AHiddenButtonIsNotDrawnAndCatchesUpWhenTheBarIsDrawnAgain) {
  run_widget_test_240x320([](tscreen *) {
    tcontrolbar *bar = shown_bar();
    tbutton *middle = tcontrolbar_get_middle_button(bar);
    tsurface_set_visible(&middle->_control._surface, 0);
    tbutton_set_draw_hooks(middle, count_draw, nullptr, nullptr, nullptr);
    g_middle_draws = 0;
    tcontrolbar_set_position(bar, TCONTROLBAR_TOP);
    tbutton_set_text(middle, u"Middle");
    EXPECT_EQ(g_middle_draws, 0);
    tsurface_set_visible(&middle->_control._surface, 1);
    tsurface_update(&bar->_control._surface, nullptr);
    EXPECT_EQ(g_middle_draws, 1);
    // What it holds now is what drawing it afresh gives: its text.
    std::vector<uint8_t> caught_up = buffer_of(middle);
    tsurface_paint(&middle->_control._surface);
    EXPECT_EQ(caught_up, buffer_of(middle));
    tcontrolbar_free(bar);
  });
}

// Each road closes (frees) the bar in its click callback; ASan sees any later touch.
TEST(ControlBar, AClickMayFreeTheBar) {
  enum { TAP, KEY, KEY_TWICE };
  for (int road : {TAP, KEY, KEY_TWICE}) {
    SCOPED_TRACE(road);
    run_widget_test_240x320([&](tscreen *screen) {
      shown_bar(free_on_click);
      if (road == TAP) {
        widget_tap(10, 300);
      } else {
        widget_key(0xF821);
        if (road == KEY_TWICE) widget_key(0xF821);
        widget_run_for(200);
      }
      EXPECT_EQ(g_clicks, std::vector<intptr_t>{1});
      EXPECT_EQ(tscreen_get_pen_capture(screen), nullptr);
      EXPECT_EQ(widget_key(0xF821), 0);
    });
  }
}
