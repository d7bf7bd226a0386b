// tfilelist: a list box showing one folder: an "Up" row, the folders, then
// the files, each with its icon; it goes into folders and up, reports a
// chosen file by its full path and can show the drive list (on Linux one row,
// the root "/" with its free and total bytes).
//
// Owns, beside its list box, what each row was listed as: the entry's name
// and icon. Names, kinds, find and activation read those, never the row
// string, because a name ending in '\' would run into the row's next field
// there ("a\" + "/1" reads "a/1").
// Invariants:
// - the path is the folder the rows show ("" = the drive list) and changes
//   only when a listing succeeds; a joined path is at most
//   TFILELIST_PATH_MAX - 1 characters, the longest the system takes (a
//   name of 255 bytes is found, entered and chosen wherever it lies);
// - row i of the list box was listed as kept row i.
//
// Icons (field 1 of a row; the image table): 0 drive, 1 file, 2 folder, 3 up.
// Kinds: 1 file (icon 1), 2 folder (icon 2) or the Up row (icon 3), 3 drive
// (icon 0), 0 anything else.
#pragma once

#include <cstdint>
#include <type_traits>

#include "port_fs.h"
#include "tlistbox.h"

constexpr int TFILELIST_PATH_MAX = PORT_FS_PATH_CHARS;  // characters with the terminator

enum { TFILELIST_ICON_DRIVE = 0, TFILELIST_ICON_FILE = 1, TFILELIST_ICON_FOLDER = 2, TFILELIST_ICON_UP = 3 };
enum { TFILELIST_KIND_NONE = 0, TFILELIST_KIND_FILE = 1, TFILELIST_KIND_FOLDER = 2, TFILELIST_KIND_DRIVE = 3 };

struct tfilelist;
struct tfilelist_rows;

typedef void (*tfilelist_path_fn)(tfilelist *filelist, const char16_t *path);
typedef void (*tfilelist_notify_fn)(tfilelist *filelist);
typedef void (*tfilelist_row_fn)(tfilelist *filelist, int32_t row);
// Asked for each entry before its row is added: name, kind (1 file, 2 folder,
// 3 drive), the icon it will get (may be changed) and the entry (a
// tdirfile_entry, or a port_fs_drive_info for a drive). 0 leaves it out.
typedef int (*tfilelist_filter_fn)(tfilelist *filelist, const char16_t *name, int32_t kind, int32_t *icon,
                                   const void *entry, intptr_t extra);

struct tfilelist {
  tlistbox _listbox;
  char16_t _path[TFILELIST_PATH_MAX];
  int32_t _item_height;
  const char16_t *_up_text;
  tcontrol_key_fn _list_key;
  tfilelist_path_fn _on_error;
  tfilelist_notify_fn _on_change;
  tfilelist_row_fn _on_select;
  tfilelist_path_fn _on_file;
  tfilelist_filter_fn _filter;
  void *_owner;
  tfilelist_rows *_rows;
};

static_assert(std::is_standard_layout_v<tfilelist>, "a file list is cast to its list box");

// The path is kept, not listed: the list shows nothing until set_dir or
// reload. Null on failure.
int tfilelist_init(tfilelist *filelist, tcontrol *parent, const trect *rect, const char16_t *path, void *owner);
tfilelist *tfilelist_new(tcontrol *parent, const trect *rect, const char16_t *path, void *owner);
void tfilelist_deinit(tfilelist *filelist);
void tfilelist_free(tfilelist *filelist);

// Lists a folder ("" the drives). 1 when listed; 0 when the folder cannot be
// read or the path is too long: the error callback has heard of it and the
// rows and path are as they were. No repaint.
int tfilelist_set_dir(tfilelist *filelist, const char16_t *path);
int tfilelist_reload(tfilelist *filelist);
// The parent folder ("/a" gives "/", "/" stays, a path without '/' the
// drives), shown on screen.
void tfilelist_go_up(tfilelist *filelist);
const char16_t *tfilelist_get_path(const tfilelist *filelist);

// The row's name as listed ("/" for the root in the drive list); nothing
// written for a bad row. buffer holds TFILELIST_PATH_MAX characters.
void tfilelist_get_name(const tfilelist *filelist, int32_t row, char16_t *buffer);
void tfilelist_get_selected_name(const tfilelist *filelist, char16_t *buffer);
// The first row listed with exactly this name, else -1.
int32_t tfilelist_find(const tfilelist *filelist, const char16_t *name);
// Kind as above, the icon through icon (may be null); 0 for a bad row.
int32_t tfilelist_get_kind(const tfilelist *filelist, int32_t row, int32_t *icon);
int32_t tfilelist_get_selected_kind(const tfilelist *filelist, int32_t *icon);

void tfilelist_set_item_height(tfilelist *filelist, int32_t height);
void tfilelist_set_on_error(tfilelist *filelist, tfilelist_path_fn fn);
void tfilelist_set_on_change(tfilelist *filelist, tfilelist_notify_fn fn);
void tfilelist_set_on_select(tfilelist *filelist, tfilelist_row_fn fn);
void tfilelist_set_on_file(tfilelist *filelist, tfilelist_path_fn fn);
void tfilelist_set_filter(tfilelist *filelist, tfilelist_filter_fn fn);
void *tfilelist_get_owner(const tfilelist *filelist);
