// thint: a floating label shown as the screen's modal surface, either until
// its owner frees it or for a time after which it frees itself.
//
// Owns its label (a top-level label, listed on the screen only while shown)
// and its timer. A timed hint belongs to itself: its owner keeps no pointer
// to it once thint_show_timed has been called with a time. Showing takes the
// modal slot with tsurface_take_modal: what it covered has it again once the
// hint has gone.
#pragma once

#include <cstdint>

#include "tlabel.h"

struct thint {
  tlabel *_label;
  uint32_t _timer;  // 0 when none runs
  void *_owner;
};

// wrap: the text is wrapped in the rect's width and the height follows it
// (label mode 5); else the label sizes itself to the one line (mode 3).
// Null when the hint or its label cannot be made.
thint *thint_new(const trect *rect, const char16_t *text, int wrap, void *owner);
void thint_free(thint *hint);
// x or y -1 centres on the screen; the label is kept on the screen.
void thint_show(thint *hint, int32_t x, int32_t y);
// x or y -1 centres. Unless ms is -1, the hint frees itself after ms
// milliseconds (at once when no timer can be had) and repaints where it was.
void thint_show_timed(thint *hint, int32_t x, int32_t y, int32_t ms);
// Frees every hint still waiting for its time, for the program's end.
void thint_close_timed();
tlabel *thint_get_label(const thint *hint);
