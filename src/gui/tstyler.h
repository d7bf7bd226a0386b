// tstyler: the styler every control's init hands its new object to, and the
// default style set: the default box drawer that every control copies, the
// default image and text drawers, the default styler and the toolkit's two
// resource files (gui.tmbm, gui.tres).
//
// The set lives in the platform context from tstyler_load_defaults (first in
// the application's start-up, before any control) to tstyler_free_defaults
// (after the last control is gone); it owns its four members and the loaded
// resource files (ids above 0). A control made without a set is fatal.
#pragma once

#include <cstdint>

struct tbdrawer;
struct tidrawer;
struct ttdrawer;
struct tstyler;

// target is the new object, kind its style kind (tstyle_kind), owner the owner
// word its init was given; extra is 0 at every call site of the toolkit.
typedef void (*tstyler_apply_fn)(tstyler *styler, void *target, int32_t kind, void *owner, intptr_t extra);

struct tstyler {
  tstyler_apply_fn _apply;
  void *_user_data;
};

struct tstyler_set {
  tbdrawer *_bdrawer;
  tidrawer *_idrawer;
  ttdrawer *_tdrawer;
  tstyler *_styler;
  int32_t _gui_tmbm_id;  // 0: not loaded
  int32_t _gui_tres_id;
};

tstyler *tstyler_new(tstyler_apply_fn apply);
// A styler whose apply does nothing.
tstyler *tstyler_new_default();
void tstyler_free(tstyler *styler);
void tstyler_set_user_data(tstyler *styler, void *user_data);
void *tstyler_get_user_data(const tstyler *styler);
// Calls the apply function, when one is set, with the same arguments.
void tstyler_apply(tstyler *styler, void *target, int32_t kind, void *owner, intptr_t extra);

// Builds the set into the platform context (a set already there is kept).
// 1 when the set exists afterwards; missing resource files keep id 0.
int tstyler_load_defaults();
void tstyler_free_defaults();
tstyler_set *tstyler_get_defaults();

// The members, null without a set.
tbdrawer *tstyler_get_default_bdrawer();
tidrawer *tstyler_get_default_idrawer();
ttdrawer *tstyler_get_default_tdrawer();
tstyler *tstyler_get_default();
// Free the member they replace, then store the new one; nothing without a set.
void tstyler_set_default_bdrawer(tbdrawer *drawer);
void tstyler_set_default_idrawer(tidrawer *drawer);
void tstyler_set_default_tdrawer(ttdrawer *drawer);
void tstyler_set_default(tstyler *styler);
