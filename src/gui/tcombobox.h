// tcombobox: an edit field with a drop-down button. The button (or, in the
// list-only mode, a press anywhere on the control, or the action key) opens a
// menu of the entries right below the control; picking one puts its text
// into the field.
//
// Owns its edit and button; borrows the caller's array of entries (row
// strings, see trowstr.h), which must outlive it. An entry's text is its
// field 0, so "\//-1/0" shows as "/".
#pragma once

#include <cstdint>
#include <type_traits>

#include "tbutton.h"
#include "tcontrol.h"
#include "tedit.h"
#include "tmenu.h"

enum {
  TCOMBOBOX_EDITABLE = 0,
  TCOMBOBOX_LIST_ONLY = 1,
};

struct tcombobox;

typedef void (*tcombobox_change_fn)(tcombobox *combox);
// Runs before the entries are added to a drop-down about to open.
typedef void (*tcombobox_popup_fn)(tcombobox *combox, tmenu *menu);

struct tcombobox {
  tcontrol _control;
  tedit *_edit;
  tbutton *_button;
  int32_t _mode;
  const char16_t *const *_entries;
  int32_t _count;
  int32_t _selected;
  uint8_t _pressed;
  tcombobox_change_fn _on_change;
  tcombobox_popup_fn _on_popup;
};

static_assert(std::is_standard_layout_v<tcombobox>, "a combo box is cast to its control");

// The field starts with text; in the list-only mode with a selected entry in
// range, with that entry's text instead. Null on failure.
tcombobox *tcombobox_new(tcontrol *parent, const trect *rect, int32_t mode, const char16_t *text,
                         const char16_t *const *entries, int32_t count, int32_t selected, void *owner);
void tcombobox_free(tcombobox *combox);

void tcombobox_set_on_change(tcombobox *combox, tcombobox_change_fn fn);
void tcombobox_set_on_popup(tcombobox *combox, tcombobox_popup_fn fn);
tedit *tcombobox_get_edit(const tcombobox *combox);
int32_t tcombobox_get_selected(const tcombobox *combox);
// Null out of range.
const char16_t *tcombobox_get_entry(const tcombobox *combox, int32_t index);
// The list the next drop-down shows (borrowed, as given to _new); a selection
// outside it is dropped.
void tcombobox_set_entries(tcombobox *combox, const char16_t *const *entries, int32_t count);
// Replaces the field's text and shows it.
void tcombobox_set_text(tcombobox *combox, const char16_t *text);
const char16_t *tcombobox_get_text(const tcombobox *combox);
