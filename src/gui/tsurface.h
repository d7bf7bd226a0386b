// tsurface: the base record of everything visible in the toolkit.
//
// Each surface owns an off-screen canvas of its own size (at the display depth,
// with the frame buffer's row order) into which it paints itself and composes
// its children; a parent composes each child's buffer at the child's rect, and
// the screen stacks the top-level buffers. Behaviour comes through slots that
// the control layer fills. A surface is the first member of every control.
//
// Invariants:
// - rect is inclusive, in the parent's coordinates; the canvas's rect always
//   equals it; a side of 0 pixels (x2 = x1 - 1) is valid and has an empty buffer;
// - a surface with a compose hook, unless it updates directly, has an empty
//   buffer: the hook puts it and its children onto whatever it is composed on;
// - the link points at the surface itself whenever it is not in the screen's
//   list, so removing twice and inserting twice are harmless;
// - only realised surfaces paint, update or collect dirty areas.
#pragma once

#include <cstdint>
#include <type_traits>

#include "tbitmap.h"
#include "tcanvas.h"
#include "trect.h"

struct tsurface;

// Membership in the screen's circular list (the screen holds the head).
struct tsurface_link {
  tsurface_link *next;
  tsurface_link *prev;
};

typedef void (*tsurface_draw_fn)(tsurface *surface, tcanvas *canvas, const trect *rect);
typedef void (*tsurface_rect_fn)(tsurface *surface, const trect *rect);
typedef int (*tsurface_key_fn)(tsurface *surface, uint32_t code, uint32_t repeat, uint32_t modifiers);
typedef int (*tsurface_pen_fn)(tsurface *surface, int type, int32_t x, int32_t y, uint32_t modifiers);
typedef int32_t (*tsurface_child_count_fn)(tsurface *surface);
typedef tsurface *(*tsurface_child_at_fn)(tsurface *surface, int32_t index);
typedef void (*tsurface_compose_fn)(tsurface *surface, tcanvas *canvas, const trect *rect);

struct tsurface {
  tsurface *_parent;
  tcanvas _canvas;
  trect _rect;
  uint8_t _visible;
  uint8_t _realized;
  trect _dirty_rect;
  uint8_t _dirty;
  tcolor _key;
  uint8_t _keyed;
  const tbitmap *_mask;
  uint16_t _mask_alpha;
  uint8_t _masked;
  uint8_t _pen_captured;
  uint8_t _direct_update;
  uint8_t _sync_ancestors;
  uint32_t _redraws;  // counts the redraws of the buffer, so an owner can tell it changed
  uint32_t _popup_stamp;  // the screen's pop-up count when it last showed as a pop-up; 0 never
  tsurface_draw_fn _draw;
  tsurface_rect_fn _rect_changed;
  tsurface_rect_fn _parent_rect_changed;
  tsurface_key_fn _key_fn;
  tsurface_pen_fn _pen_fn;
  tsurface_child_count_fn _child_count;
  tsurface_child_at_fn _child_at;
  tsurface_compose_fn _compose;
  tsurface_compose_fn _backdrop;
  void *_owner;
  tsurface_link _link;
  tsurface *_covered;  // what was modal when it first took the slot
  uint8_t _covering;   // it took the slot with tsurface_take_modal
};

static_assert(std::is_standard_layout_v<tsurface>, "controls are cast to their surface");

int tsurface_init(tsurface *surface, tsurface *parent, const trect *rect, void *owner);
void tsurface_deinit(tsurface *surface);

int tsurface_add_to_screen(tsurface *surface);
int tsurface_remove_from_screen(tsurface *surface);
int tsurface_bring_to_front(tsurface *surface);
int tsurface_send_to_back(tsurface *surface);

void tsurface_set_on_paint(tsurface *surface, tsurface_draw_fn fn);
void tsurface_set_on_rect_changed(tsurface *surface, tsurface_rect_fn fn);
void tsurface_set_on_parent_resized(tsurface *surface, tsurface_rect_fn fn);
void tsurface_set_on_key(tsurface *surface, tsurface_key_fn fn);
void tsurface_set_on_pen(tsurface *surface, tsurface_pen_fn fn);
void tsurface_set_children_fns(tsurface *surface, tsurface_child_count_fn count, tsurface_child_at_fn at);
void tsurface_set_on_compose(tsurface *surface, tsurface_compose_fn fn);
void tsurface_set_on_backdrop(tsurface *surface, tsurface_compose_fn fn);

tcanvas *tsurface_get_canvas(tsurface *surface);
const trect *tsurface_get_rect(const tsurface *surface);
int32_t tsurface_get_width(const tsurface *surface);
int32_t tsurface_get_height(const tsurface *surface);
int tsurface_is_visible(const tsurface *surface);
void tsurface_set_visible(tsurface *surface, int visible);
int tsurface_is_realized(const tsurface *surface);
tsurface *tsurface_get_parent(const tsurface *surface);
void tsurface_set_parent(tsurface *surface, tsurface *parent);
void *tsurface_get_owner(const tsurface *surface);
int tsurface_get_dirty_rect(const tsurface *surface, trect *out);
int tsurface_has_pen_capture(const tsurface *surface);
int tsurface_is_linked(const tsurface *surface);

void tsurface_set_pen_capture(tsurface *surface, int flag);
// Makes the surface the screen's modal one (a dialog, menu or hint being
// shown). The first time, it remembers what was modal then. Torn down while
// it holds the slot, it gives the slot to the pop-up still up nearest the
// front of the screen's list, or, with none left, to what it covered. A
// covered surface torn down first passes what it covered on to the one over
// it, so pop-ups unwind to what was there before them in whatever order they
// are shown again or go.
void tsurface_take_modal(tsurface *surface);
// A pointer to a surface kept past the call that read it is watched: tearing
// that surface down sets it to null. A slot is watched until it is
// unwatched; watching it twice is harmless.
void tsurface_watch(tsurface **slot);
void tsurface_unwatch(tsurface **slot);
void tsurface_set_color_key(tsurface *surface, tcolor key);
void tsurface_set_color_key_enabled(tsurface *surface, int enabled);
void tsurface_set_mask(tsurface *surface, const tbitmap *mask, int alpha);
void tsurface_set_mask_enabled(tsurface *surface, int enabled);
void tsurface_set_update_mode(tsurface *surface, int direct, int sync_ancestors);
void tsurface_get_screen_rect(const tsurface *surface, trect *out);

int tsurface_realize(tsurface *surface);
int tsurface_paint(tsurface *surface);
int tsurface_update(tsurface *surface, const trect *rect);
// tsurface_update for a buffer its owner has already brought up to date: the
// area (or the whole surface) goes up to the parent or the screen, undrawn.
int tsurface_present(tsurface *surface, const trect *rect);
int tsurface_compose_onto(tsurface *surface, tcanvas *canvas);
void tsurface_mark_dirty(tsurface *surface, const trect *old_rect);

void tsurface_move(tsurface *surface, int32_t dx, int32_t dy, int notify);
void tsurface_resize(tsurface *surface, int32_t width, int32_t height);
void tsurface_set_rect(tsurface *surface, int32_t x, int32_t y, int32_t width, int32_t height);
int tsurface_recreate_canvas(tsurface *surface);
void tsurface_handle_parent_resize(tsurface *surface, const trect *parent_rect);
void tsurface_notify_children_resized(tsurface *surface);
