// tcontrol: the widget base. A tsurface (first member) plus a client rect,
// docking (alignment) and anchoring with recorded margins, enabled and focus
// flags, an owned box drawer for the background, and hooks a widget sets to
// change behaviour (it never sets the surface slots, which stay on the
// defaults of this file).
//
// Every widget's init runs tcontrol_init first, adds its own fields and hooks
// and ends by handing the object to the default styler with its style kind
// (tstyle_kind); the kind is the only type code there is.
//
// Invariants:
// - the client rect is reset to {0, 0, w - 1, h - 1} on every rect change;
//   containers narrow it afterwards in their layout hook;
// - margins are distances from the parent's client rect (the screen rect for
//   a top-level control), recorded whenever the control is placed by hand;
// - a top-level control is in the screen's list from realise to deinit.
#pragma once

#include <cstdint>
#include <type_traits>

#include "tbdrawer.h"
#include "tcanvas.h"
#include "trect.h"
#include "tsurface.h"

struct tcontrol;

// The kinds every init passes to the styler. Dialogs apply a before-kind
// (the higher number of their pair) as soon as their record exists, before
// their parts are built, and an after-kind when complete. The application's
// own dialogs use kinds above 100.
enum tstyle_kind : int32_t {
  TSTYLE_CONTROL = 0,
  TSTYLE_BUTTON = 1,
  TSTYLE_SCROLLBAR = 2,
  TSTYLE_LABEL = 3,
  TSTYLE_LISTBOX = 4,
  TSTYLE_CONTROLBAR = 5,
  TSTYLE_MENU = 6,
  TSTYLE_IMAGE = 7,
  TSTYLE_LINKLABEL = 8,  // after TSTYLE_LABEL
  TSTYLE_FORM = 10,
  TSTYLE_EDIT = 11,
  TSTYLE_DOCK = 12,
  TSTYLE_PROGRESSBAR = 13,
  TSTYLE_TITLEBAR = 14,
  TSTYLE_DIALOG = 15,
  TSTYLE_DIALOG_BEFORE = 16,
  TSTYLE_SEPARATOR = 17,
  TSTYLE_COLORDIALOG = 18,
  TSTYLE_COLORDIALOG_BEFORE = 19,
  TSTYLE_ADVCOLORDIALOG = 20,
  TSTYLE_ADVCOLORDIALOG_BEFORE = 21,
  TSTYLE_MESSAGEDIALOG = 22,
  TSTYLE_MESSAGEDIALOG_BEFORE = 23,
  TSTYLE_SAVEDIALOG = 24,
  TSTYLE_SAVEDIALOG_BEFORE = 25,
  TSTYLE_COMBOBOX = 26,
  TSTYLE_HINT = 27,
  TSTYLE_FILELIST = 28,
  TSTYLE_OPENDIALOG = 29,
  TSTYLE_OPENDIALOG_BEFORE = 30,
  TSTYLE_INPUTDIALOG = 31,
  TSTYLE_INPUTDIALOG_BEFORE = 32,
  TSTYLE_APPLICATION = 100,  // the application's own kinds lie above this
};

enum {
  TCONTROL_ALIGN_NONE = 0,
  TCONTROL_ALIGN_LEFT = 1,
  TCONTROL_ALIGN_TOP = 2,
  TCONTROL_ALIGN_RIGHT = 3,
  TCONTROL_ALIGN_BOTTOM = 4,
  TCONTROL_ALIGN_FILL = 5,
};

enum {
  TCONTROL_ANCHOR_LEFT = 1,
  TCONTROL_ANCHOR_TOP = 2,
  TCONTROL_ANCHOR_RIGHT = 4,
  TCONTROL_ANCHOR_BOTTOM = 8,
};

typedef void (*tcontrol_paint_fn)(tcontrol *control, tcanvas *canvas, const trect *rect);
typedef void (*tcontrol_rect_fn)(tcontrol *control, const trect *rect);
typedef int (*tcontrol_key_fn)(tcontrol *control, uint32_t code, uint32_t repeat, uint32_t modifiers);
typedef int (*tcontrol_pen_fn)(tcontrol *control, int type, int32_t x, int32_t y, uint32_t modifiers);
typedef int32_t (*tcontrol_child_count_fn)(tcontrol *control);
typedef tcontrol *(*tcontrol_child_at_fn)(tcontrol *control, int32_t index);
typedef int (*tcontrol_test_fn)(tcontrol *control);
typedef void (*tcontrol_notify_fn)(tcontrol *control);

struct tcontrol {
  tsurface _surface;
  trect _client_rect;
  int32_t _align;
  uint32_t _anchors;
  uint8_t _focused;
  uint8_t _disabled;
  tbdrawer *_bdrawer;
  tcontrol_paint_fn _on_paint;
  tcontrol_rect_fn _on_layout;
  tcontrol_rect_fn _on_parent_resized;
  tcontrol_key_fn _on_key;
  tcontrol_pen_fn _on_pen;
  tcontrol_child_count_fn _child_count;
  tcontrol_child_at_fn _child_at;
  tcontrol_test_fn _is_focusable;
  tcontrol_notify_fn _on_focus_in;
  tcontrol_notify_fn _on_focus_out;
  int32_t _margin_left, _margin_top, _margin_right, _margin_bottom;
};

static_assert(std::is_standard_layout_v<tcontrol>, "controls are cast to their surface");

// The result of the surface init (0: no buffer). Fatal without a style set.
int tcontrol_init(tcontrol *control, tcontrol *parent, const trect *rect, void *owner);
tcontrol *tcontrol_new(tcontrol *parent, const trect *rect, void *owner);
void tcontrol_deinit(tcontrol *control);
void tcontrol_free(tcontrol *control);
int tcontrol_realize(tcontrol *control);

// The default surface slots, for widgets that wrap them.
void tcontrol_on_paint(tsurface *surface, tcanvas *canvas, const trect *rect);
void tcontrol_on_rect_changed(tsurface *surface, const trect *rect);
void tcontrol_on_parent_resized(tsurface *surface, const trect *parent_rect);
int tcontrol_on_key(tsurface *surface, uint32_t code, uint32_t repeat, uint32_t modifiers);
int tcontrol_on_pen(tsurface *surface, int type, int32_t x, int32_t y, uint32_t modifiers);
int32_t tcontrol_on_child_count(tsurface *surface);
tsurface *tcontrol_on_child_at(tsurface *surface, int32_t index);

// Each returns the hook it replaces, so a widget can wrap its base's.
tcontrol_paint_fn tcontrol_set_on_paint(tcontrol *control, tcontrol_paint_fn hook);
tcontrol_rect_fn tcontrol_set_on_layout(tcontrol *control, tcontrol_rect_fn hook);
tcontrol_rect_fn tcontrol_set_on_parent_resized(tcontrol *control, tcontrol_rect_fn hook);
tcontrol_key_fn tcontrol_set_on_key(tcontrol *control, tcontrol_key_fn hook);
tcontrol_pen_fn tcontrol_set_on_pen(tcontrol *control, tcontrol_pen_fn hook);
void tcontrol_set_children_fns(tcontrol *control, tcontrol_child_count_fn count, tcontrol_child_at_fn at);
void tcontrol_set_focusable_test(tcontrol *control, tcontrol_test_fn test);
void tcontrol_set_on_focus_in(tcontrol *control, tcontrol_notify_fn hook);
void tcontrol_set_on_focus_out(tcontrol *control, tcontrol_notify_fn hook);

// 0 or null where no hook is set.
int tcontrol_handle_key(tcontrol *control, uint32_t code, uint32_t repeat, uint32_t modifiers);
int tcontrol_handle_pen(tcontrol *control, int type, int32_t x, int32_t y, uint32_t modifiers);
void tcontrol_layout(tcontrol *control, const trect *rect);
int32_t tcontrol_get_child_count(tcontrol *control);
tcontrol *tcontrol_get_child_at(tcontrol *control, int32_t index);
int tcontrol_is_focusable(tcontrol *control);

void tcontrol_set_enabled(tcontrol *control, int enabled);
int tcontrol_is_enabled(const tcontrol *control);
// Calls focus-in or focus-out only when the flag changes.
void tcontrol_set_focus(tcontrol *control, int focused);
int tcontrol_has_focus(const tcontrol *control);
tbdrawer *tcontrol_get_box_drawer(const tcontrol *control);
void tcontrol_set_client_rect(tcontrol *control, const trect *rect);
const trect *tcontrol_get_client_rect(const tcontrol *control);
// The parent's client rect, or the screen rect for a top-level control.
void tcontrol_get_parent_client_rect(const tcontrol *control, trect *out);

// Docks the control in its parent's client rect: placement first, anchors
// (and margins) last. Values outside 0-5 are stored and do nothing more.
void tcontrol_set_align(tcontrol *control, int32_t align);
void tcontrol_set_anchors(tcontrol *control, int left, int top, int right, int bottom);
void tcontrol_update_margins(tcontrol *control);
void tcontrol_apply_anchors(tcontrol *control, const trect *parent_client);
// Refused while docked (alignment 1-5).
void tcontrol_move_by(tcontrol *control, int32_t dx, int32_t dy, int notify);
void tcontrol_move_to(tcontrol *control, int32_t x, int32_t y, int notify);
// A docked control takes only its thickness; a filling one takes nothing.
void tcontrol_set_size(tcontrol *control, int32_t width, int32_t height);
void tcontrol_set_rect(tcontrol *control, int32_t x, int32_t y, int32_t width, int32_t height);
void tcontrol_set_width(tcontrol *control, int32_t width);
void tcontrol_set_height(tcontrol *control, int32_t height);
