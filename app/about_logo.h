// about_logo: the about box's animated logo, the product name drawn letter by
// letter with cairo, each letter in its own slowly cycling colour.
//
// Every 50 ms each letter's red, green and blue step by 5, 12 and 13 in their
// own directions, bouncing at 0 and 255, and the logo repaints. Letter i
// (a whole UTF-8 character of the name) takes colour i mod 10.
//
// Owns the 32-bit bitmap cairo draws in (made on the first paint, the size
// of the control, filled grey again before every paint so that anti-aliased
// edges never build up) and the timer (0 when none: a refused timer leaves a
// still logo).
#pragma once

#include <cstdint>
#include <type_traits>

#include "tcontrol.h"

struct tbitmap;

constexpr int ABOUT_LOGO_COLORS = 10;
constexpr uint32_t ABOUT_LOGO_TICK_MS = 50;

struct about_logo {
  tcontrol _control;
  uint32_t _timer;
  uint32_t _colors[ABOUT_LOGO_COLORS];  // 0x00BBGGRR
  int32_t _red_dir[ABOUT_LOGO_COLORS], _green_dir[ABOUT_LOGO_COLORS], _blue_dir[ABOUT_LOGO_COLORS];
  tbitmap *_bitmap;
};

static_assert(std::is_standard_layout_v<about_logo>, "the logo is cast to its control");

// Random start colours, every direction +1, the 50 ms timer started. Null
// when the control cannot be made.
about_logo *about_logo_new(tcontrol *parent, const trect *rect, void *owner);
void about_logo_free(about_logo *logo);

// Font size, baseline and gap between letters by screen class.
struct about_logo_font {
  double size;
  double baseline;
  double gap;
};
about_logo_font about_logo_get_font();
