// textbar: the floating frame in which text is typed over the picture and
// then stamped onto the canvas as history operation 1007.
//
// The bar is a dock holding one edit; the edit shows the screen as it was
// when the bar opened (a snapshot), so the text appears on the picture in the
// drawing colour and the font style. The frame's corner opens the style menu
// (bold, italic, underline, strike-out). A tap on the canvas outside the bar
// commits and frees it (the canvas hooks).
//
// Owns the dock, the edit, the snapshot and the menu's check bitmap;
// borrows the application's state. At most one bar exists (app_context's
// _textbar).
//
// Text-stamp record, the payload of operation 1007: n UTF-16 characters of
// text, (n + 57) x 2 bytes, little-endian, kept byte for byte in documents.
//
//   | offset | size          | field                                         |
//   |--------|---------------|-----------------------------------------------|
//   | 0      | 4             | alignment code of the text drawer (0 to 8)    |
//   | 4      | 4             | horizontal text offset in pixels (i32): the   |
//   |        |               | drawer's less the edit's scroll, so the stamp |
//   |        |               | is what the bar showed                        |
//   | 8      | 4             | vertical text offset (i32)                    |
//   | 12     | 4             | font size in points (i32)                     |
//   | 16     | 64            | font face: 32 UTF-16 units, NUL-ended, zeroed |
//   | 80     | 4             | colour B, G, R, A                             |
//   | 84     | 4             | style bits: bold 1, italic 2, underline 4,    |
//   |        |               | strike-out 8                                  |
//   | 88     | 16            | text box left, top, right, bottom (inclusive, |
//   |        |               | canvas pixels at the record's zoom)           |
//   | 104    | 4             | n (i32)                                       |
//   | 108    | 4             | 0 (a pointer word, no meaning in the file)    |
//   | 112    | 2 x (n + 1)   | the text, NUL-ended                           |
//
// A colour whose alpha byte is 0 is read as R + G*256 + B*65536 (R at 80,
// G at 81, B at 82) and drawn opaque. A record is drawn only when its size
// is exactly (n + 57) x 2 for an n >= 0 and its face ends within its 32
// units; the text drawn stops at n, and the box clips it at every scale.
#pragma once

#include <cstdint>

#include "tbdrawer.h"
#include "trect.h"

struct app_context;
struct paint_context;
struct tbitmap;
struct tcontrol;
struct tdock;
struct tedit;

constexpr int32_t TEXTBAR_RECORD_HEAD = 112;
constexpr int32_t TEXTBAR_FACE_UNITS = 32;
constexpr int32_t TEXTBAR_MIN_BOX = 20;

struct textbar {
  tdock *_dock;
  tedit *_edit;
  tbitmap *_snapshot;
  tbitmap *_check_bitmap;  // made when the style menu first opens
  tbdrawer_draw_fn _frame_draw;
  app_context *_app;
};

// A bar over rect (screen coordinates; the text box is at least 20 x 20);
// null when memory for it or the screen snapshot is lacking. parent: none.
textbar *textbar_new(tcontrol *parent, const trect *rect, app_context *app);
// Frees without committing; the edit's font style goes into the painting
// context first, so the next bar and the settings carry it.
void textbar_free(textbar *tb);
// Focus to the edit, the dock on screen; 1 when shown.
int textbar_show(textbar *tb);
// The edit's text takes the drawing colour and is shown again.
void textbar_update_color(textbar *tb);
// Stamps the text onto the canvas and records operation 1007; nothing for an
// empty text or when memory is lacking.
void textbar_commit(textbar *tb);
// The style menu at a screen point.
void textbar_show_style_menu(textbar *tb, int32_t x, int32_t y);

// Draws a record onto the canvas at scale s (history replay); 0 when the
// record is refused.
int textbar_draw_text_record(paint_context *pc, const uint8_t *record, int32_t size, double scale);
