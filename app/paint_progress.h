// paint_progress: the small progress bar shown centred on the screen while
// the undo history rebuilds the canvas from many records.
//
// Owns its progress bar, a parentless control realised as a top-level
// surface for as long as the popup lives. Every set reaches the window at
// once, also while the rest of the screen is locked for the rebuild.
#pragma once

#include <cstdint>

#include "trect.h"

struct paint_history;
struct tprogressbar;

struct paint_progress {
  tprogressbar *_bar;
};

// Where the popup sits on a screen of this size (corners inclusive): 100 x 10
// on the small class, 260 x 26 on the large class, 200 x 20 otherwise,
// centred.
trect paint_progress_get_rect(int32_t width, int32_t height);

// The popup, already shown; null when memory is lacking. The history is not
// used.
paint_progress *paint_progress_new(paint_history *history);
void paint_progress_free(paint_progress *pp);
// The bar takes the percent (cut to 0..100) and is shown at once.
void paint_progress_set(paint_progress *pp, int32_t percent);
