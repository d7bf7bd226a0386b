// tlistitem: one row of a list, menu, combo box or file list.
//
// The row owns a copy of its row string (see trowstr.h), split in place: each
// field pointer points into that copy, so the fields live exactly as long as
// the text they came from. The user data word belongs to the caller (a menu
// keeps its item record there). height and top are the row's extent in the
// list; rect is where the list box last drew it, in the list's client
// coordinates.
#pragma once

#include <cstdint>

#include "trect.h"
#include "trowstr.h"

struct tlistitem {
  char16_t *_text;  // owned; fields point into it
  char16_t *_fields[TROWSTR_MAX_FIELDS];  // null where absent
  void *_user_data;
  int32_t _height;
  int32_t _top;
  trect _rect;
};

// A row of text (null is the empty row); null when out of memory.
tlistitem *tlistitem_new(const char16_t *text, void *user_data);
void tlistitem_free(tlistitem *item);

// Replaces the text and its fields; a null text changes nothing. Returns 0
// (and keeps the old text) when the copy cannot be made.
int tlistitem_set_text(tlistitem *item, const char16_t *text);
// Field index 0..9; null when absent or out of range.
const char16_t *tlistitem_get_field(const tlistitem *item, int32_t index);
// The field read as a number; -1 when absent or out of range.
int32_t tlistitem_get_field_number(const tlistitem *item, int32_t index);
void tlistitem_set_rect(tlistitem *item, const trect *rect);
