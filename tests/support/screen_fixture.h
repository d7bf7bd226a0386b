// A screen installed in the platform context for the length of one test, and
// surfaces whose slots write what happened into a shared log.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "tscreen.h"
#include "tsurface.h"

// Runs body on the screen of a started port (headless display of the given
// size) with an empty log.
void run_on_screen(const std::function<void(tscreen *)> &body, const char *size = "64x64");

struct named_surface;
void named_surface_init(named_surface *s, const char *name, tsurface *parent, trect rect, uint32_t fill);

// A surface with a name, for slots that log; torn down when it goes out of
// scope unless deinit() did it before.
struct named_surface {
  named_surface() = default;
  // Filled with `fill` (a colour word) on every draw.
  named_surface(const char *n, tsurface *parent, trect rect, uint32_t fill_word = 0) {
    named_surface_init(this, n, parent, rect, fill_word);
  }
  tsurface surface;  // its owner word points back here
  std::string name;
  int pen_answer = 0;
  int key_answer = 0;
  uint32_t fill = 0;
  int draws = 0;
  std::vector<tsurface *> children;
  bool live = false;
  void deinit() {
    if (live) tsurface_deinit(&surface);
    live = false;
  }
  ~named_surface() { deinit(); }
};

extern std::vector<std::string> g_screen_log;

// Slots that log "<name>:pen type x y", "<name>:key code" and answer as set.
void named_surface_log_input(named_surface *s);
// A compose override that only logs "<name>:compose".
void named_surface_log_compose(named_surface *s);
void named_surface_add_children(named_surface *s);

// The frame buffer pixel as a raw 16-bit word.
uint32_t screen_pixel(tscreen *screen, int32_t x, int32_t y);

// Every pixel of the frame buffer, row by row.
std::vector<uint32_t> screen_all_pixels(tscreen *screen);
// What a full repaint shows: every listed surface drawn again from its
// deepest children up, then the whole screen composed.
void screen_repaint_all(tscreen *screen);
// A canvas colour word (0xAARRGGBB) as the 565 screen shows it.
uint32_t screen_rgb565(uint32_t word);
// How many 565 pixels of two screens differ by more than one step in a
// channel: an opaque pattern or mask blend keeps 1/256 of what lay beneath,
// so a surface drawn again over other pixels may differ by that much.
size_t screen_count_unlike(const std::vector<uint32_t> &a, const std::vector<uint32_t> &b);

// How many rows of a surface on the screen hold something besides its most
// common colour, two pixels in from each side (a frame left out): the height
// of the words it shows.
int32_t surface_ink_rows(tsurface *surface);
// How many rows the words take drawn alone in a drawer's font on white.
struct ttdrawer;
int32_t text_ink_rows(const ttdrawer *font, const char16_t *text);
