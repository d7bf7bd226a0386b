// tcolordialog: the colour picker: a row of up to 8 recently used colours and
// a fixed palette of 5 x 8 swatches on a tdialog; a tap on a swatch picks its
// colour and closes the dialog with 1. "More Colors..." opens the RGB dialog
// (tadvcolordialog) on the picked colour; its OK closes this dialog with 1 as
// well, its Cancel leaves this one open. Only the Cancel soft key shows.
//
// Colours are key words 0x00BBGGRR (red in the low byte). The caller owns the
// colour word, the recent array (8 words) and its count; the dialog reads them
// when built and writes them only on result 1: the colour, then the recent
// list with the colour at the front (moved there when it is among the first
// count entries, else pushed in, the last entry falling off a full list).
// A count outside 0..8 is taken as the nearest of the two.
//
// The dialog owns itself from creation until it closes: the dialog frees
// itself (its swatches, label and separator first), then the record goes,
// and only then is the owner's callback called with (result, user data).
//
// Layout values, by index (tcolordialog_set_layout; the styler sets them
// before the dialog is built):
//
// | index | meaning                                               | default |
// |-------|-------------------------------------------------------|---------|
// | 0     | left margin (building replaces it by the one that centres the swatches) | 5 |
// | 1     | top of the "Recent Colors" label                      | 5       |
// | 2     | label height                                          | 20      |
// | 3     | gap from the label to the recent row                  | 5       |
// | 4     | gap between swatches, across and down                 | 5       |
// | 5     | gap from the recent row to the separator              | 8       |
// | 6     | gap from the separator to the palette                 | 8       |
// | 7     | gap from the palette to the "More Colors..." button   | 5       |
// | 8     | kept; nothing reads it                                | 25      |
//
// A swatch is cell x cell with cell = (client width - 2 x margin) / 8 - gap.
#pragma once

#include <cstdint>

struct tbutton;
struct tdialog;
struct tlabel;
struct tseperator;
struct tcolordialog;

constexpr int TCOLORDIALOG_RECENT = 8;
constexpr int TCOLORDIALOG_PALETTE = 40;
constexpr int TCOLORDIALOG_LAYOUT_VALUES = 9;

typedef void (*tcolordialog_result_fn)(int32_t result, void *user_data);
// Called just before the RGB dialog is shown, with where and how it will be.
typedef void (*tcolordialog_more_fn)(tcolordialog *dialog, int32_t *x, int32_t *y, int32_t *mode);

struct tcolordialog {
  tdialog *_dialog;
  tbutton *_recent[TCOLORDIALOG_RECENT];
  tbutton *_palette[TCOLORDIALOG_PALETTE];
  tbutton *_more;
  tlabel *_label;
  tseperator *_separator;
  int32_t _width;
  uint32_t _picked;
  uint32_t *_color;
  uint32_t *_recent_colors;
  int32_t *_recent_count;
  int32_t _layout[TCOLORDIALOG_LAYOUT_VALUES];
  tcolordialog_result_fn _on_result;
  tcolordialog_more_fn _on_more_colors;
  void *_user_data;
};

// width -1: the screen's width, but not more than its height. Null when
// memory is lacking.
tcolordialog *tcolordialog_new(const char16_t *title, int32_t width, uint32_t *color, uint32_t *recent_colors,
                               int32_t *recent_count, void *user_data);
// Shows the dialog with its width and a height that fits the swatches
// (placement modes of tdialog_show).
void tcolordialog_show(tcolordialog *dialog, int32_t x, int32_t y, int32_t mode);
tcolordialog_result_fn tcolordialog_set_on_result(tcolordialog *dialog, tcolordialog_result_fn fn);
tcolordialog_more_fn tcolordialog_set_on_more_colors(tcolordialog *dialog, tcolordialog_more_fn fn);
tdialog *tcolordialog_get_dialog(const tcolordialog *dialog);
tbutton *tcolordialog_get_more_button(const tcolordialog *dialog);
// Index 0-8 (table above); other indexes are ignored.
void tcolordialog_set_layout(tcolordialog *dialog, int32_t index, int32_t value);
