// What widget tests share beyond the styled screen: the test clock with the
// timer pump, fixed text metrics, and input through the screen.
#pragma once

#include <cstdint>
#include <functional>

#include "tlistbox.h"
#include "tscreen.h"

// While it lives: the clock stands still until run_for moves it, and text
// uses the fixed-advance metrics at 72 dpi (a 10-point font is 10 pixels
// high, 5 pixels a character).
struct widget_env {
  widget_env();
  ~widget_env();
};

// Moves the test clock on in 10 ms steps, dispatching timers that come due.
void widget_run_for(uint32_t ms);
// One pen event or key through the screen, as the port hands them over.
int widget_pen(int type, int32_t x, int32_t y);
int widget_key(uint32_t code);
// A whole tap: down and up at one point.
void widget_tap(int32_t x, int32_t y);

// A widget_env and the styled screen together: the body of most widget tests.
void run_widget_test(const std::function<void(tscreen *)> &body, const char *size = "64x64");
// The same on a 240 x 320 screen, the size most widget tests use.
void run_widget_test_240x320(const std::function<void(tscreen *)> &body);
// A pen pressed at (x, y), moved 10 ms later by dy and released 10 ms after
// that: a flick fast enough to glide.
void widget_flick(int32_t x, int32_t y, int32_t dy);
// A control's rect in screen coordinates, and a tap in its middle.
trect widget_screen_rect(void *control);
void widget_tap_control(void *control);
// A key, then the 100 ms a soft key's pressed look lasts.
void widget_soft_key(uint32_t code);
// The owner of the surface in the modal slot, or null.
void *widget_modal_owner();
// A 10 x 10 top-level control at (0, y), listed at the front of the screen,
// that takes every key and counts it in *keys; freed with tcontrol_free.
tcontrol *widget_new_key_taker(int32_t y, int *keys);
// Starts do-nothing timers until the table refuses one, so the next start a
// widget makes fails; widget_env's end stops them.
void widget_take_all_timers();
// The screen point in the middle of row `row` of a shown list box, and a
// tap there.
tpoint widget_list_row_point(tlistbox *list, int32_t row);
void widget_tap_list_row(tlistbox *list, int32_t row);
