// paint_styler: the application's look. Every toolkit control hands itself
// to the default styler at the end of its init with a style kind; this one,
// installed at start-up in place of the toolkit's empty styler, gives the
// controls their grey gradients and fits sizes and layout values to the
// screen class (small, normal, large). Kinds it has no row for keep the
// toolkit's defaults.
//
// Owns only its record. The tstyler it installs belongs to the default style
// set from then on (the set frees it at tear-down); the record must outlive
// every control made while it is installed.
//
// Control bars (kind 5) are resized after each of their own layouts: from
// the sizes that layout has just set (the bar's own values), never from the
// result of an earlier pass, so repeated layouts do not compound.
#pragma once

#include <cstdint>

#include "app_context.h"

struct tstyler;

struct paint_styler {
  tstyler *_styler;  // owned by the default style set once installed
  app_context *_app;
};

// Installs the styler as the default one (freeing the previous); null when
// memory is lacking (the previous styler then stays).
paint_styler *paint_styler_create(app_context *app);
// Frees the record only.
void paint_styler_free(paint_styler *styler);
