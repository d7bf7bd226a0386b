// tseperator: a two-pixel etched line that divides groups of controls,
// composed at half strength over its parent.
//
//   horizontal  row y1:      black from x1 to x2 - 1, grey (128) at x2
//               row y1 + 1:  black at x1, light grey (192) from x1 + 1 to x2
//   vertical    the same with rows and columns swapped
#pragma once

#include <cstdint>
#include <type_traits>

#include "tcontrol.h"

struct tseperator {
  tcontrol _control;
  int32_t _vertical;
};

static_assert(std::is_standard_layout_v<tseperator>, "separators are cast to their control");

// The rect is narrowed to two pixels across the line. Null when the control
// cannot be made.
tseperator *tseperator_new(tcontrol *parent, const trect *rect, int vertical, void *owner);
void tseperator_free(tseperator *sep);
