// tlistcolumn: one column of a list box. A text column shows row field n
// (n = the column's index) as text; an image column reads it as an index
// into the list box's image table. Each column owns three text drawers and
// three image drawers: normal rows, second rows and the selected row (the
// second and selected text drawers draw white).
//
// The requested width is the caller's (-1: the rest of the row); x and the
// laid-out width are written by the list box's column layout.
#pragma once

#include <cstdint>

#include "tidrawer.h"
#include "ttdrawer.h"

enum {
  TLISTCOLUMN_IMAGE = 0,
  TLISTCOLUMN_TEXT = 1,
};

constexpr int TLISTCOLUMN_TITLE_UNITS = 32;  // 31 characters and the terminator

struct tlistcolumn {
  int32_t _type;
  ttdrawer *_tdrawer, *_second_tdrawer, *_selected_tdrawer;
  tidrawer *_idrawer, *_second_idrawer, *_selected_idrawer;
  char16_t _title[TLISTCOLUMN_TITLE_UNITS];
  int32_t _width;  // requested; -1 fills
  uint32_t _from_right;
  int32_t _x;
  int32_t _laid_out_width;
};

// Copies of the style set's default drawers; null when memory runs out.
tlistcolumn *tlistcolumn_new(int32_t type, const char16_t *title, int32_t width);
void tlistcolumn_free(tlistcolumn *column);

// Keeps at most 31 characters; null empties the title.
void tlistcolumn_set_title(tlistcolumn *column, const char16_t *title);
// The requested width (-1: fill); the list box is not laid out again.
void tlistitems_set_column_width(tlistcolumn *column, int32_t width);
// Nonzero lays the column out from the right edge inward.
void tlistcolumn_set_from_right(tlistcolumn *column, uint32_t from_right);
// The list box's column layout stores where the column landed.
void tlistcolumn_set_layout(tlistcolumn *column, int32_t x, int32_t width);

int32_t tlistcolumn_get_type(const tlistcolumn *column);
int32_t tlistcolumn_get_x(const tlistcolumn *column);
// The laid-out width.
int32_t tlistcolumn_get_width(const tlistcolumn *column);
ttdrawer *tlistcolumn_get_text_drawer(const tlistcolumn *column);
ttdrawer *tlistcolumn_get_second_text_drawer(const tlistcolumn *column);
ttdrawer *tlistcolumn_get_selected_text_drawer(const tlistcolumn *column);
tidrawer *tlistcolumn_get_image_drawer(const tlistcolumn *column);
tidrawer *tlistcolumn_get_second_image_drawer(const tlistcolumn *column);
tidrawer *tlistcolumn_get_selected_image_drawer(const tlistcolumn *column);
