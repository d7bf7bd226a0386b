// tlistbox: the scrolling list: rows of any height held as row strings (see
// trowstr.h), shown in up to ten text or image columns, one selected row, a
// vertical scroll bar on the right; selection by pen or up/down, activation
// by a tap or the action key; flick scrolling and an animated scroll on a
// 10 ms timer. Menus, the combo box's drop-down and the file list build on it.
//
// Owns its rows, columns, scroll bar, selection drawer, the image table's
// arrays (not the bitmaps, which are the caller's) and the animation timer
// while it runs.
// Invariants:
// - the offset is the pixels from the top of the rows to the top of the
//   client area; only a pen drag takes it outside [0, total - shown height];
// - a row's stored rect is where it was last drawn, in the list's own
//   coordinates (the client rect's system);
// - the timer handle is 0 whenever no animation runs;
// - no select or activate callback receives an index outside the rows;
// - while _drawn_valid is set, the buffer's client area holds the rows as
//   _drawn describes them. A scroll that finds them so moves the drawn pixels
//   and draws only what came into view; a change of look made through a
//   column's or the box's drawers shows with the next paint the owner asks for.
// Row hooks draw within their row and the two lines above it (a separator).
#pragma once

#include <cstdint>
#include <type_traits>

#include "tbdrawer.h"
#include "tcontrol.h"
#include "tlistcolumn.h"
#include "tlistitems.h"
#include "tscrollbar.h"
#include "wins_graphics.h"

constexpr int32_t TLISTBOX_MAX_COLUMNS = 10;

struct tlistbox;

typedef void (*tlistbox_index_fn)(tlistbox *listbox, int32_t row);
// Paint hooks leave *draw at 1 to let the default drawing run after them.
typedef void (*tlistbox_background_fn)(tlistbox *listbox, tcanvas *canvas, const trect *rect, int *draw);
typedef void (*tlistbox_row_background_fn)(tlistbox *listbox, tcanvas *canvas, const trect *rect, int32_t row,
                                           int *draw);
typedef void (*tlistbox_text_cell_fn)(tlistbox *listbox, tcanvas *canvas, wins_graphics_pass *pass,
                                      const char16_t *text, int32_t length, const trect *cell, int32_t row,
                                      int32_t column, int *draw);
typedef void (*tlistbox_image_cell_fn)(tlistbox *listbox, tcanvas *canvas, int32_t image, const trect *cell,
                                       int32_t row, int32_t column, int *draw);

// What the rows in the buffer were drawn from.
struct tlistbox_view {
  const tbitmap *bitmap;
  trect client;
  int32_t rows_right;
  int32_t offset;
  int32_t selected;
  int32_t count, total_height;
  uint32_t generation;
  uint8_t sticky;
};

struct tlistbox {
  tcontrol _control;
  tlistcolumn *_columns[TLISTBOX_MAX_COLUMNS];
  int32_t _column_count;
  tlistitems *_items;
  tscrollbar *_scrollbar;
  tbdrawer *_selection_drawer;
  int32_t _margin_left, _margin_top, _margin_right, _margin_bottom;
  tbitmap **_images;  // the arrays are owned, the bitmaps borrowed
  tbitmap **_masks;
  int32_t _image_count, _image_capacity;
  int32_t _selected;
  int32_t _visible_height;
  int32_t _shown_height;  // min(visible height, total height)
  int32_t _row_height;    // of the row added last: bar step, drag and flick threshold
  int32_t _offset;
  int32_t _first_visible;
  uint8_t _moved;
  uint8_t _pressed;
  int32_t _press_y, _last_y;
  uint8_t _single_tap;
  int32_t _scrollbar_width;
  int32_t _scrollbar_gap;
  tlistbox_index_fn _on_activate;
  tlistbox_index_fn _on_select;
  tlistbox_background_fn _on_background;
  tlistbox_row_background_fn _on_row_background;
  tlistbox_text_cell_fn _on_text_cell;
  tlistbox_image_cell_fn _on_image_cell;
  uint8_t _sticky;
  trect _sticky_rect;  // where the highlight is held while a key scroll animates
  uint8_t _smooth;
  int32_t _anim_start, _anim_target, _anim_current;
  int32_t _anim_step;       // signed pixels per tick
  int32_t _anim_threshold;  // percent of the way left at which the step shrinks
  int32_t _scroll_steps;
  uint32_t _timer;
  uint32_t _last_pen_tick;
  int32_t _last_pen_delta;
  bool *_alive;  // cleared by deinit while a callback runs
  uint32_t _generation;  // counts changes to rows, columns, images, margins and hooks
  uint8_t _scrolling;    // the paint under way follows a change of the offset alone
  uint8_t _drawn_valid;
  tlistbox_view _drawn;
};

static_assert(std::is_standard_layout_v<tlistbox>, "a list box is cast to its control");

int tlistbox_init(tlistbox *listbox, tcontrol *parent, const trect *rect, void *owner);
tlistbox *tlistbox_new(tcontrol *parent, const trect *rect, void *owner);
void tlistbox_deinit(tlistbox *listbox);
void tlistbox_free(tlistbox *listbox);

// The new column, or null past the tenth column or out of memory.
tlistcolumn *tlistbox_add_column(tlistbox *listbox, int32_t type, const char16_t *title, int32_t width);
tlistcolumn *tlistbox_get_column(const tlistbox *listbox, int32_t index);
int32_t tlistbox_get_column_count(const tlistbox *listbox);
void tlistbox_set_column_from_right(tlistbox *listbox, int32_t index, uint32_t flag);

// Appends a row; its height becomes the row height. No repaint. 1 when added.
int tlistbox_add_item(tlistbox *listbox, const char16_t *text, int32_t height, void *user_data);
// Removes every row; the selected index stays as it was.
void tlistbox_clear(tlistbox *listbox);
int32_t tlistbox_get_count(const tlistbox *listbox);
int32_t tlistbox_get_total_height(const tlistbox *listbox);
void *tlistbox_get_user_data(const tlistbox *listbox, int32_t row);
const char16_t *tlistbox_get_text(const tlistbox *listbox, int32_t row, int32_t field);
int32_t tlistbox_get_number(const tlistbox *listbox, int32_t row, int32_t field);
// Where the row was last drawn, in the list's coordinates; null for a bad row.
const trect *tlistbox_get_item_rect(const tlistbox *listbox, int32_t row);
int32_t tlistbox_get_selected(const tlistbox *listbox);
// Accepted for 0 <= row < count only; no repaint, no callback.
void tlistbox_set_selected(tlistbox *listbox, int32_t row);
// 0 when the table cannot grow.
int tlistbox_add_image(tlistbox *listbox, tbitmap *bitmap, tbitmap *mask);

void tlistbox_set_margins(tlistbox *listbox, int32_t left, int32_t top, int32_t right, int32_t bottom);
void tlistbox_get_margins(const tlistbox *listbox, int32_t *left, int32_t *top, int32_t *right, int32_t *bottom);
void tlistbox_set_smooth_scroll(tlistbox *listbox, int smooth);
int tlistbox_get_smooth_scroll(const tlistbox *listbox);
void tlistbox_set_scroll_steps(tlistbox *listbox, int32_t steps);
void tlistbox_set_single_tap(tlistbox *listbox, int single_tap);
void tlistbox_set_scrollbar_width(tlistbox *listbox, int32_t width);
int32_t tlistbox_get_scrollbar_width(const tlistbox *listbox);
tscrollbar *tlistbox_get_scrollbar(const tlistbox *listbox);
void tlistbox_repaint_scrollbar(tlistbox *listbox);
tbdrawer *tlistbox_get_selection_drawer(const tlistbox *listbox);

void tlistbox_set_on_activate(tlistbox *listbox, tlistbox_index_fn fn);
void tlistbox_set_on_select(tlistbox *listbox, tlistbox_index_fn fn);
void tlistbox_set_paint_hooks(tlistbox *listbox, tlistbox_background_fn background,
                              tlistbox_row_background_fn row_background, tlistbox_text_cell_fn text_cell,
                              tlistbox_image_cell_fn image_cell);
// Call the selection or activate callback; an index outside the rows calls
// nothing. Either callback may free the list box.
void tlistbox_notify_select(tlistbox *listbox, int32_t row);
void tlistbox_activate(tlistbox *listbox, int32_t row);
