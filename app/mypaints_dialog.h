// my_paints_dialog: the My Paints dialog, a grid of thumbnail buttons, one
// per native document in the My Paints folder and in the recent save folders.
// A tap on a button pops up "Open" and "Delete"; Open closes the dialog with
// result 1 after the chosen path is written to the caller's buffer, Delete
// deletes the file after a question and closes the gap in the grid.
//
// The dialog opens at once with placeholder pictures; an active object reads
// one thumbnail per turn of the loop for the cells near the view: those in
// view first, in grid order, then those below it, then those above (a
// document whose thumbnail cannot be read keeps its placeholder). Near is
// within one view's height above or below the view. A cell that is not near
// holds neither its thumbnail nor its button's buffer: scrolled away, it
// gives both back and shows the placeholder again; scrolled back near, its
// thumbnail is read again in turn. So a folder of any size holds at most
// the cells of three views' heights in pictures.
//
// Owns the items (button, path, thumbnail) and the active object until the
// tdialog closes; then the dialog frees itself with the items, the record
// goes, and only then is the owner's callback called with (result, user
// data). The caller's path buffer (MY_PAINTS_PATH_CHARS chars) is written
// only on result 1. Paths are as long as the file system lets them be: a
// name of 255 bytes deep in a folder is listed, opened and deleted as itself.
//
// Invariants:
// - items[0 .. count - 1] sit in the grid's cells in order;
// - only items near the view (as the last scroll, layout or loader turn
//   found it) hold a thumbnail or a button buffer, so at most kept_bound
//   of each are held;
// - an item in view that its button has drawn holds its buffer;
// - selected is null or one of the items (a delete clears it).
//
// Layout values, by index (my_paints_dialog_set_layout, the styler's kind
// MY_PAINTS_STYLE_BEFORE sets them before the dialog is built):
//
// | index | meaning                                  | default |
// |-------|------------------------------------------|---------|
// | 0     | left margin of a row                     | 10      |
// | 1     | top margin of the first row              | 10      |
// | 2     | cell (button) width                      | 110     |
// | 3     | cell height                              | 130     |
// | 4     | gap between cells, across and down       | 5       |
#pragma once

#include <cstdint>
#include <type_traits>

#include "app_context.h"
#include "port_fs.h"
#include "tbitmap.h"
#include "tbutton.h"
#include "trect.h"

struct tdialog;
struct win_ao;
struct my_paints_dialog;

constexpr int MY_PAINTS_LAYOUT_VALUES = 5;
// The caller's result buffer: any path the system takes, terminator included.
constexpr int MY_PAINTS_PATH_CHARS = PORT_FS_PATH_CHARS;
constexpr int32_t MY_PAINTS_ITEMS_STEP = 64;
// A drag that moved the pen more than this up or down was a scroll, not a tap.
constexpr int32_t MY_PAINTS_TAP_SLOP = 25;

// Style kinds: the record before the dialog is built, the active object after.
enum { MY_PAINTS_STYLE = 140, MY_PAINTS_STYLE_BEFORE = 141 };

// Texts and pictures, by id.
enum {
  MY_PAINTS_TEXT_TITLE = 25180,
  MY_PAINTS_TEXT_OPEN = 25181,
  MY_PAINTS_TEXT_DELETE = 25182,
  MY_PAINTS_TEXT_ASK_DELETE = 25027,
  MY_PAINTS_TEXT_DELETE_FAILED = 25028,
  MY_PAINTS_PLACEHOLDER = 15139,
  MY_PAINTS_PLACEHOLDER_MASK = 15140,
};

// Ids of the menu's rows.
enum { MY_PAINTS_MENU_OPEN = 1, MY_PAINTS_MENU_DELETE = 2 };

typedef void (*my_paints_result_fn)(int32_t result, void *user_data);

struct my_paints_item {
  tbutton _button;
  char16_t *_path;      // owned: the document's full path
  tbitmap *_thumbnail;  // owned; null until read and again once far from the view
  my_paints_dialog *_dialog;
  // The button's buffer shows its present look. A button outside the form's
  // view is drawn when a scroll or a move brings it in, not before; one far
  // from it has no buffer until then.
  uint8_t _drawn;
  uint8_t _unreadable;  // its thumbnail could not be read: not tried again
};

static_assert(std::is_standard_layout_v<my_paints_item>, "an item is its button's owner and cast from it");

struct my_paints_dialog {
  tdialog *_dialog;
  my_paints_item **_items;
  int32_t _count, _capacity;
  my_paints_item *_selected;
  uint8_t _open;
  int32_t _width;
  char16_t *_folder;       // owned
  char16_t *_result_path;  // the caller's, MY_PAINTS_PATH_CHARS chars
  win_ao *_loader;
  int32_t _layout[MY_PAINTS_LAYOUT_VALUES];
  trect _client;  // the form's client rect at its last layout
  int32_t _ahead_dy;  // while a scroll is about to move the items by this much
  my_paints_result_fn _on_result;
  void *_user_data;
};

// width -1: the screen's width, but not more than its height. folder is the
// My Paints folder, searched first; result_path receives the chosen document.
// Null when memory is lacking.
my_paints_dialog *my_paints_dialog_new(const char16_t *title, int32_t width, const char16_t *folder,
                                       char16_t *result_path, void *user_data);
// Shows the dialog modal with its width and a height that fits the grid
// (placement modes of tdialog_show), then starts the thumbnails.
void my_paints_dialog_show(my_paints_dialog *dialog, int32_t x, int32_t y, int32_t mode);
my_paints_result_fn my_paints_dialog_set_on_result(my_paints_dialog *dialog, my_paints_result_fn fn);
tdialog *my_paints_dialog_get_dialog(const my_paints_dialog *dialog);
// Index 0-4; others are ignored.
void my_paints_dialog_set_layout(my_paints_dialog *dialog, int32_t index, int32_t value);

// An item's button in the cell (x, y) of the dialog's form, labelled with the
// file name of path and showing the placeholder; null when memory is lacking.
my_paints_item *my_paints_item_new(my_paints_dialog *dialog, const char16_t *path, int32_t x, int32_t y);
void my_paints_item_free(my_paints_item *item);
tbutton *my_paints_item_get_button(my_paints_item *item);
const char16_t *my_paints_item_get_path(const my_paints_item *item);
