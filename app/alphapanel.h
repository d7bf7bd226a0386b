// alphapanel: the side bar with the eight-step opacity slider of the drawing
// colour. Level n gives alpha n x 32 - 1 (31 ... 255); the slider runs from
// position 1 (level 8, at the top or left) to 8 (level 1).
//
// Owns its side bar (embedded first), the slider, the thumb blocks, the text
// drawer, the hint and both timers, and the scaled copies of its pictures;
// borrows the app_context and its painting context.
// Invariants: 1 <= level <= 8 and position = 9 - level; a timer handle is 0
// whenever its timer does not run. The panel closes by itself only when a
// step key opened it: open by its tab, it stays open.
#pragma once

#include <cstdint>
#include <type_traits>

#include "panel_picture.h"
#include "sidebar.h"
#include "thint.h"
#include "tscrollbar.h"
#include "ttdrawer.h"

struct app_context;

constexpr int32_t ALPHAPANEL_LEVELS = 8;
constexpr uint32_t ALPHAPANEL_CLOSE_MS = 1000;
constexpr uint32_t ALPHAPANEL_HINT_MS = 200;

enum {
  ALPHAPANEL_TAB_PORTRAIT = 0,   // 15160 and its mask 15161
  ALPHAPANEL_TAB_PORTRAIT_MASK,  // 15161
  ALPHAPANEL_TAB_LANDSCAPE,      // 15162
  ALPHAPANEL_TAB_LANDSCAPE_MASK, // 15163
  ALPHAPANEL_TAB_LANDSCAPE_SURFACE,  // 15164
  ALPHAPANEL_TAB_PORTRAIT_SURFACE,   // 15165
  ALPHAPANEL_TAB_PICTURES
};

struct alphapanel {
  tsidebar _sidebar;
  tscrollbar *_slider;
  int32_t _level;
  int32_t _landscape;
  uint32_t _hint_timer;
  thint *_hint;
  tbitmap *_thumb;
  tbitmap *_thumb_dragged;
  panel_picture _thumb_mask;  // 15159
  ttdrawer *_tdrawer;
  panel_picture _tabs[ALPHAPANEL_TAB_PICTURES];  // 15160-15165
  uint32_t _close_timer;
  uint8_t _close_skip;
  app_context *_app;
};

static_assert(std::is_standard_layout_v<alphapanel>, "the panel is found from its side bar");

// Places itself by the screen class (the rect argument is not used); null
// when memory is lacking.
alphapanel *alphapanel_new(tcontrol *parent, const trect *unused, app_context *app);
void alphapanel_free(alphapanel *ap);
void alphapanel_realize(alphapanel *ap);
void alphapanel_show(alphapanel *ap);
void alphapanel_hide(alphapanel *ap);
// One level more (up) or less (down): the panel opens if closed and, unless
// the user opened it, closes again one to two seconds after the last step.
void alphapanel_level_up(alphapanel *ap);
void alphapanel_level_down(alphapanel *ap);
// The slider's change: position p gives level 9 - p and the drawing
// colour's alpha level x 32 - 1.
void alphapanel_set_level(tscrollbar *slider, int32_t position);
int32_t alphapanel_get_level(const alphapanel *ap);

// The level a drawing colour's alpha starts the slider at: (alpha + 1) / 32,
// at least 1.
int32_t alphapanel_level_of_alpha(int32_t alpha);
// The whole side bar when open, and its tab, by screen size (corners inclusive).
void alphapanel_layout_for(int32_t width, int32_t height, trect *portrait, trect *landscape, tpoint *portrait_tab,
                           tpoint *landscape_tab);
