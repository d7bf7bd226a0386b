// topendialog: the open dialog, a folder and file browser: a location combo
// box with the drives, Back, Forward, Up and New Folder buttons, a file list,
// a name field and a type combo box. In folder mode it picks a folder: files
// are hidden and the name field and type combo box are hidden too.
//
// The dialog owns itself from creation until its dialog closes: the dialog
// frees itself (its children first), a result of 1 has copied the listed
// folder and the name into the caller's buffers (each cut to capacity - 1,
// terminated; a name typed from the root gives its own folder and its last
// part instead), the record goes, and only then is the owner's callback called
// with (result, user data). Borrows the type strings, which must outlive it.
//
// Folder history: up to 32 paths; a listing adds its path after the current
// entry (dropping those after it; a full history drops its oldest; a path
// equal to the current entry is not added again) unless Back or Forward made
// it.
//
// Layout values (topendialog_set_layout; the styler sets them before the
// build):
//
// | index | default | use                                              |
// |-------|---------|--------------------------------------------------|
// | 0     | 10      | side margin of the location combo box            |
// | 1     | 10      | its top                                          |
// | 2     | 25      | its height                                       |
// | 3     | 10      | gap from the location row to the tool buttons    |
// | 4     | 10      | left of the first tool button                    |
// | 5     | 30      | tool button side                                 |
// | 6     | 10      | gap between tool buttons                         |
// | 7     | 10      | gap from the tool buttons to the file list       |
// | 8     | 10      | side margin of the file list                     |
// | 9     | 100     | kept; the list runs down to the name edit        |
// | 10    | 10      | gap from the file list to the name edit          |
// | 11    | 10      | side margin of the name edit                     |
// | 12    | 25      | name edit height                                 |
// | 13    | 10      | gap from the name edit to the type combo box     |
// | 14    | 10      | side margin of the type combo box                |
// | 15    | 10      | bottom margin                                    |
// | 16    | 25      | type combo box height                            |
// | 17    | 5       | inner margin of the file list                    |
#pragma once

#include <cstdint>

#include "port_fs.h"
#include "tfilelist.h"

struct tbutton;
struct tcombobox;
struct tdialog;
struct tedit;
struct timage;

constexpr int TOPENDIALOG_LAYOUT_VALUES = 18;
constexpr int TOPENDIALOG_HISTORY = 32;
constexpr int TOPENDIALOG_PATTERNS = 16;
constexpr int TOPENDIALOG_PATTERN_CHARS = 32;
constexpr int TOPENDIALOG_DRIVE_CHARS = 32;
constexpr int TOPENDIALOG_NEW_FOLDER_CHARS = 32;

enum { TOPENDIALOG_BACK = 1, TOPENDIALOG_FORWARD = 2, TOPENDIALOG_UP = 3, TOPENDIALOG_NEW_FOLDER = 4 };

struct topendialog;

typedef void (*topendialog_result_fn)(int32_t result, void *user_data);
// 0 leaves the drive out.
typedef int (*topendialog_drive_filter_fn)(topendialog *dialog, const char16_t *entry);
typedef void (*topendialog_place_fn)(topendialog *dialog, int32_t *x, int32_t *y, int32_t *mode);
typedef void (*topendialog_name_fn)(topendialog *dialog, const char16_t *name);
typedef void (*topendialog_notify_fn)(topendialog *dialog);

struct topendialog {
  tdialog *_dialog;
  tcombobox *_location;
  timage *_location_icon;
  tbutton *_tools[4];
  tfilelist *_filelist;
  tedit *_name_edit;
  tcombobox *_type_combo;
  char16_t *_file_name;  // the caller's
  int32_t _file_name_capacity;
  char16_t *_folder;  // the caller's
  int32_t _folder_capacity;
  int32_t _type;
  uint8_t _folder_mode;
  int32_t _width;
  char16_t _drives[PORT_FS_DRIVE_COUNT][TOPENDIALOG_DRIVE_CHARS];
  const char16_t *_drive_entries[PORT_FS_DRIVE_COUNT];
  int32_t _drive_count;
  char16_t _patterns[TOPENDIALOG_PATTERNS][TOPENDIALOG_PATTERN_CHARS];
  int32_t _pattern_count;
  uint8_t _all_files;
  char16_t _history[TOPENDIALOG_HISTORY][TFILELIST_PATH_MAX];
  int32_t _history_index, _history_count;
  uint8_t _history_moving;
  char16_t _new_folder[TOPENDIALOG_NEW_FOLDER_CHARS];
  char16_t *_closing_folder, *_closing_name;  // kept as the dialog went; owned
  int32_t _layout[TOPENDIALOG_LAYOUT_VALUES];
  topendialog_result_fn _on_result;
  topendialog_drive_filter_fn _drive_filter;
  topendialog_place_fn _place_new_folder, _place_error;
  topendialog_name_fn _on_file_selected, _on_folder_selected;
  topendialog_notify_fn _on_folder_changed;
  void *_user_data;
};

// Type strings are row strings whose last '/'-field lists patterns split at
// ';' ("All Files(*.*)/*.*"). Width -1 is the screen's smaller side. Null
// when memory is lacking.
topendialog *topendialog_new(const char16_t *title, int32_t width, char16_t *file_name, int32_t file_name_capacity,
                             char16_t *folder, int32_t folder_capacity, const char16_t *const *types,
                             int32_t type_count, int32_t type, int folder_mode, void *user_data);
// Lists the folder again and shows the dialog: in mode 1 as high as the
// screen's larger side, otherwise as high as its content; the list has the
// focus.
void topendialog_show(topendialog *dialog, int32_t x, int32_t y, int32_t mode);

topendialog_result_fn topendialog_set_on_result(topendialog *dialog, topendialog_result_fn fn);
void topendialog_set_on_file_selected(topendialog *dialog, topendialog_name_fn fn);
void topendialog_set_on_folder_selected(topendialog *dialog, topendialog_name_fn fn);
void topendialog_set_on_folder_changed(topendialog *dialog, topendialog_notify_fn fn);
void topendialog_set_drive_filter(topendialog *dialog, topendialog_drive_filter_fn fn);
void topendialog_set_placement_hooks(topendialog *dialog, topendialog_place_fn new_folder, topendialog_place_fn error);
tdialog *topendialog_get_dialog(const topendialog *dialog);
tcombobox *topendialog_get_location_combobox(const topendialog *dialog);
tfilelist *topendialog_get_filelist(const topendialog *dialog);
tedit *topendialog_get_name_edit(const topendialog *dialog);
tcombobox *topendialog_get_type_combobox(const topendialog *dialog);
tbutton *topendialog_get_tool_button(const topendialog *dialog, int32_t index);
// The file list's folder.
const char16_t *topendialog_get_path(const topendialog *dialog);
void *topendialog_get_user_data(const topendialog *dialog);
// Index 0-17 (table above); other indexes are ignored.
void topendialog_set_layout(topendialog *dialog, int32_t index, int32_t value);
// The toolkit's error box over an open dialog: titled "Error", as wide as
// it, a Back key and the error icon, at its position and dimmed like it.
void topendialog_show_error(topendialog *dialog, const char16_t *title, const char16_t *text);
