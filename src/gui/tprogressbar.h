// tprogressbar: a percentage bar with the percent centred over it as "N%".
// An interactive bar is also a slider: the pen sets the percent where it
// touches, the direction keys step it by one.
//
// Owns its bar drawer (the filled part) and text drawer; the whole bar is the
// control's box drawer. Invariant: 0 <= percent <= 100.
#pragma once

#include <cstdint>
#include <type_traits>

#include "tbdrawer.h"
#include "tcontrol.h"
#include "ttdrawer.h"

struct tprogressbar;

// Called with the new percent after the user changed it.
typedef void (*tprogressbar_change_fn)(tprogressbar *pb, int32_t percent);

struct tprogressbar {
  tcontrol _control;
  tbdrawer *_bar_drawer;
  ttdrawer *_text_drawer;
  int32_t _vertical;
  int32_t _percent;
  uint8_t _hide_text;
  tprogressbar_change_fn _on_change;
  uint8_t _pressed;
  uint8_t _interactive;
};

static_assert(std::is_standard_layout_v<tprogressbar>, "a progress bar is cast to its control");

int tprogressbar_init(tprogressbar *pb, tcontrol *parent, const trect *rect, int vertical, void *owner);
tprogressbar *tprogressbar_new(tcontrol *parent, const trect *rect, int vertical, void *owner);
void tprogressbar_deinit(tprogressbar *pb);
void tprogressbar_free(tprogressbar *pb);

// Clamped to 0..100; no repaint.
void tprogressbar_set_percent(tprogressbar *pb, int32_t percent);
// Returns the callback it replaces.
tprogressbar_change_fn tprogressbar_set_on_change(tprogressbar *pb, tprogressbar_change_fn on_change);
tbdrawer *tprogressbar_get_bar_drawer(const tprogressbar *pb);
// Only an interactive bar takes keys and the pen (0 by default).
void tprogressbar_set_interactive(tprogressbar *pb, uint8_t interactive);
void tprogressbar_set_hide_text(tprogressbar *pb, uint8_t hide);
