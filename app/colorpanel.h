// colorpanel: the swatch of the drawing colour over a checker pattern, so a
// translucent colour shows as such; a tap on it opens the colour dialog,
// whose pick becomes the drawing colour with the opacity it had.
//
// Owns its checker pattern; borrows the app_context (its owner), the
// painting context and the recent colours kept in the app_context.
#pragma once

#include <cstdint>
#include <type_traits>

#include "tcontrol.h"

struct app_context;

constexpr int32_t COLORPANEL_PATTERN_SIDE = 10;
constexpr int32_t COLORPANEL_DIALOG_GAP = 5;

struct colorpanel {
  tcontrol _control;
  uint8_t _pressed;
  uint32_t _dialog_color;  // 0x00BBGGRR while the colour dialog is open
  tbitmap *_pattern;
};

static_assert(std::is_standard_layout_v<colorpanel>, "the panel is cast to its control");

// Null when memory is lacking.
colorpanel *colorpanel_new(tcontrol *parent, const trect *rect, app_context *app);
void colorpanel_free(colorpanel *cp);
void colorpanel_realize(colorpanel *cp);
void colorpanel_show(colorpanel *cp);
void colorpanel_hide(colorpanel *cp);
// Shows the drawing colour again (it changed).
void colorpanel_repaint(colorpanel *cp);
