// tadvcolordialog: the RGB dialog: three slider bars for red, green and blue,
// each over a gradient of its own channel from 0 to 255 with the other two at
// their current values and a marker at its fill edge; the channel values in
// disabled edits and a preview of the colour, on a tdialog with OK and Cancel.
//
// Colours are key words 0x00BBGGRR (red in the low byte). The caller owns the
// colour word; the dialog reads it when built and writes it only on OK.
// A bar at p per cent gives the channel p x 255 / 100; a channel c starts its
// bar at c x 100 / 255 per cent.
//
// The dialog owns itself from creation until it closes: the dialog frees
// itself (bars, labels, edits and preview first), then the record goes, and
// only then is the owner's callback called with (result, user data).
//
// Layout values, by index (tadvcolordialog_set_layout; the styler sets them
// before the dialog is built):
//
// | index | meaning                          | default |
// |-------|----------------------------------|---------|
// | 0     | left and right margin            | 5       |
// | 1     | top of the first bar             | 5       |
// | 2     | bar height                       | 30      |
// | 3     | gap between bars                 | 8       |
// | 4     | label width                      | 60      |
// | 5     | label height                     | 20      |
// | 6     | gap from the bars to the first label and edit | 10 |
// | 7     | gap between label rows           | 5       |
// | 8     | value edit width                 | 40      |
// | 9     | value edit height                | 20      |
// | 10    | gap between edit rows            | 5       |
// | 11    | gap from the bars to the preview | 10      |
// | 12    | gap from the edits to the preview | 10     |
#pragma once

#include <cstdint>

#include "tbitmap.h"
#include "tcontrol.h"

struct tdialog;
struct tedit;
struct tlabel;
struct tprogressbar;

constexpr int TADVCOLORDIALOG_CHANNELS = 3;  // red, green, blue
constexpr int TADVCOLORDIALOG_LAYOUT_VALUES = 13;

typedef void (*tadvcolordialog_result_fn)(int32_t result, void *user_data);

struct tadvcolordialog {
  tdialog *_dialog;
  tprogressbar *_bars[TADVCOLORDIALOG_CHANNELS];
  tlabel *_labels[TADVCOLORDIALOG_CHANNELS];
  tedit *_edits[TADVCOLORDIALOG_CHANNELS];
  tcontrol *_preview;
  uint32_t *_color;
  uint32_t _current;
  // Each bar's gradient as one row of 32-bit pixels (owned), and the colour
  // it was painted from.
  tbitmap *_ramps[TADVCOLORDIALOG_CHANNELS];
  uint32_t _ramp_of[TADVCOLORDIALOG_CHANNELS];
  int32_t _width;
  int32_t _layout[TADVCOLORDIALOG_LAYOUT_VALUES];
  // The bars' own input handlers, which this dialog wraps, and whether the
  // one running changed the colour.
  tcontrol_pen_fn _bar_pen;
  tcontrol_key_fn _bar_key;
  uint8_t _changed;
  tadvcolordialog_result_fn _on_result;
  void *_user_data;
};

// width -1: the screen's width, but not more than its height. Null when
// memory is lacking.
tadvcolordialog *tadvcolordialog_new(const char16_t *title, int32_t width, uint32_t *color, void *user_data);
// Shows the dialog with its width and a height that fits its parts
// (placement modes of tdialog_show).
void tadvcolordialog_show(tadvcolordialog *dialog, int32_t x, int32_t y, int32_t mode);
tadvcolordialog_result_fn tadvcolordialog_set_on_result(tadvcolordialog *dialog, tadvcolordialog_result_fn fn);
tdialog *tadvcolordialog_get_dialog(const tadvcolordialog *dialog);
// Index 0-12 (table above); other indexes are ignored.
void tadvcolordialog_set_layout(tadvcolordialog *dialog, int32_t index, int32_t value);
