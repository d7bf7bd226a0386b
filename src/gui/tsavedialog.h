// tsavedialog: the save dialog: a name, a location and a type. The location
// button opens an open dialog in folder mode ("Select Location") that picks
// the folder.
//
// The dialog owns itself from creation until its dialog closes: the dialog
// frees itself (its children first); a result of 1 has written the name
// (cut to capacity - 1, terminated), the selected type index and the chosen
// folder (cut to the caller's capacity - 1) into the caller's buffers; the
// record goes; and only then is the owner's callback called with (result,
// user data). Borrows the type strings, which must outlive it.
//
// Layout values (tsavedialog_set_layout; the styler sets them before the
// build):
//
// | index | default | use                                              |
// |-------|---------|--------------------------------------------------|
// | 0     | 10      | side margin of the labels                        |
// | 1     | 10      | top                                              |
// | 2     | 25      | label height                                     |
// | 3     | 5       | gap from the "Name:" label to the name edit      |
// | 4     | 10      | side margin of the name edit                     |
// | 5     | 25      | name edit height                                 |
// | 6     | 10      | gap from the name edit to the "Location:" label  |
// | 7     | 5       | gap from that label to the location button       |
// | 8     | 10      | side margin of the location button               |
// | 9     | 25      | location button height                           |
// | 10    | 10      | gap from the button to the "Type:" label         |
// | 11    | 10      | side margin of the type combo box                |
// | 12    | 25      | type combo box height                            |
// | 13    | 5       | gap from the "Type:" label to the combo box      |
#pragma once

#include <cstdint>

#include "tfilelist.h"

struct tbutton;
struct tcombobox;
struct tdialog;
struct tedit;
struct tlabel;

constexpr int TSAVEDIALOG_LAYOUT_VALUES = 14;
constexpr int TSAVEDIALOG_NAME_CHARS = 32;

struct tsavedialog;

typedef void (*tsavedialog_result_fn)(int32_t result, void *user_data);
typedef void (*tsavedialog_place_fn)(tsavedialog *dialog, int32_t *x, int32_t *y, int32_t *mode);

struct tsavedialog {
  tdialog *_dialog;
  tlabel *_name_label;
  tedit *_name_edit;
  tlabel *_location_label;
  tbutton *_location_button;
  tlabel *_type_label;
  tcombobox *_type_combo;
  char16_t *_name;  // the caller's
  int32_t _name_capacity;
  char16_t *_folder;  // the caller's
  int32_t _folder_capacity;
  int32_t *_type;  // the caller's
  char16_t _location_name[TSAVEDIALOG_NAME_CHARS];  // what "Select Location" hands back
  char16_t _location_folder[TFILELIST_PATH_MAX];
  char16_t *_closing_name;  // the name edit's text as the dialog went; owned
  int32_t _closing_type;
  int32_t _width;
  int32_t _layout[TSAVEDIALOG_LAYOUT_VALUES];
  tsavedialog_result_fn _on_result;
  tsavedialog_place_fn _place_location, _place_error;
  void *_user_data;
};

// Width -1 is the screen's smaller side. Null when memory is lacking.
tsavedialog *tsavedialog_new(const char16_t *title, int32_t width, char16_t *name, int32_t name_capacity,
                             char16_t *folder, int32_t folder_capacity, const char16_t *const *types,
                             int32_t type_count, int32_t *type, void *user_data);
// Shows the dialog with its width and a height that fits its parts.
void tsavedialog_show(tsavedialog *dialog, int32_t x, int32_t y, int32_t mode);
tsavedialog_result_fn tsavedialog_set_on_result(tsavedialog *dialog, tsavedialog_result_fn fn);
void tsavedialog_set_placement_hooks(tsavedialog *dialog, tsavedialog_place_fn location, tsavedialog_place_fn error);
tdialog *tsavedialog_get_dialog(const tsavedialog *dialog);
tedit *tsavedialog_get_name_edit(const tsavedialog *dialog);
tbutton *tsavedialog_get_location_button(const tsavedialog *dialog);
tcombobox *tsavedialog_get_type_combobox(const tsavedialog *dialog);
// The name edit's current text.
const char16_t *tsavedialog_get_name(const tsavedialog *dialog);
void *tsavedialog_get_user_data(const tsavedialog *dialog);
// Index 0-13 (table above); other indexes are ignored.
void tsavedialog_set_layout(tsavedialog *dialog, int32_t index, int32_t value);
