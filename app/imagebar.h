// imagebar: the floating frame in which a picture file is shown over the
// canvas, moved, sized, and then stamped onto the canvas as history
// operation 1009. Also the frame machinery the text bar shares: the dock's
// margins, look, resize limit and decoration, and the corner menu's set-up.
//
// The bar is a dock holding one image control over a snapshot of the screen.
// The picture loads as a background job (a wait note shows meanwhile); one
// wider or higher than the screen is first reduced to fit (W - 20) x
// (H - 20). Resizing the frame rescales the shown picture (keeping its
// proportions while Constrain Proportions is on); Actual Size restores it.
//
// Owns the dock, the image control, the load job, the picture and its mask,
// the shown copies, the snapshot and the menu's check bitmap; borrows the
// application's state. At most one bar exists (app_context's _imagebar).
//
// Image-stamp record, the payload of operation 1009 (little-endian, kept
// byte for byte in documents), 32 + I + M bytes:
//
//   | offset | size | field                                                |
//   |--------|------|------------------------------------------------------|
//   | 0      | 16   | left, top, right, bottom (inclusive, canvas pixels   |
//   |        |      | at the record's zoom)                                |
//   | 16     | 4    | I, the image blob's size                             |
//   | 20     | 4    | 0 (a pointer word)                                   |
//   | 24     | 4    | M, the mask blob's size, 0 without a mask            |
//   | 28     | 4    | 0 (a pointer word)                                   |
//   | 32     | I    | image blob                                           |
//   | 32 + I | M    | mask blob                                            |
//
// A blob: the bitmap record (13 u32: 0, 0, stride, red/green/blue masks,
// shifts, losses, 0), the info (the 40-byte header, then for 8 bits per
// pixel the 256-entry palette, for 16 the first 4 bytes of the masks; zero
// padded to 44 bytes above 8 bits per pixel, else (2^bpp + 11) x 4), then
// the rows as in memory (stride x |height|). A record is drawn only when
// 32 + I + M is its size and each blob is a sound bitmap of 8 (with its
// palette), 16, 24 or 32 bits per pixel within the pixel budget, the mask
// 8 bits and of the image's size; the bitmaps drawn are views over the
// record.
#pragma once

#include <cstdint>

#include "app_context.h"
#include "tbdrawer.h"
#include "tdock.h"

struct image_job;
struct paint_context;
struct tbitmap;
struct tcanvas;
struct timage;
struct tmenu;

constexpr int32_t IMAGEBAR_RECORD_HEAD = 32;
constexpr int32_t IMAGEBAR_BLOB_HEAD = 52;
constexpr int32_t IMAGEBAR_SCREEN_MARGIN = 20;  // a picture is reduced to the screen less this

struct imagebar {
  tdock *_dock;
  timage *_image;
  char16_t _path[APP_PATH_CHARS];
  image_job *_job;
  int32_t _constrain;  // bit 0: Constrain Proportions
  tbitmap *_picture;
  tbitmap *_picture_mask;
  tbitmap *_shown;
  tbitmap *_shown_mask;
  tbitmap *_snapshot;
  tbitmap *_check_bitmap;
  tbdrawer_draw_fn _frame_draw;
  app_context *_app;
};

// A bar over rect (screen coordinates) for the picture file at path; null
// when memory for it or its snapshot is lacking, or the path does not fit.
imagebar *imagebar_new(tcontrol *parent, const trect *rect, const char16_t *path, app_context *app);
// Starts loading the picture; 1 when the load started. On 0 the caller frees
// the bar. A load that fails later frees the bar and clears _imagebar.
int imagebar_load(imagebar *ib);
// Stamps the shown picture and records operation 1009; nothing without one.
void imagebar_commit(imagebar *ib);
// Frees without committing; the Constrain Proportions choice goes into
// _picture_style first.
void imagebar_free(imagebar *ib);
void imagebar_show_option_menu(imagebar *ib, int32_t x, int32_t y);

// Draws a record onto the canvas at scale s (history replay); 0 when the
// record is refused or nothing could be drawn.
int imagebar_draw_image_record(paint_context *pc, const uint8_t *record, int32_t size, double scale);
// The blob of a bitmap: its size (0 for a bitmap no blob can hold) and the
// bytes written at `at` (that many).
uint64_t imagebar_blob_size(const tbitmap *bitmap);
void imagebar_store_blob(uint8_t *at, const tbitmap *bitmap);

// value x scale truncated toward zero (both bars' replays); 0 when that is
// no 32-bit number.
int imagebar_scale_coordinate(int32_t value, double scale, int32_t *out);

// The frame both bars share. The box of a rect widened and raised to at
// least 20 pixels; the dock's margins (left, top, right, bottom) by screen
// class; a dock over the box plus margins with the bars' look and behaviour
// (never docks, 100 ms hold, resize limit), whose box drawer's own draw
// function goes into *saved and is replaced by frame.
trect imagebar_get_box(const trect *rect);
void imagebar_get_margins(int32_t margins[4]);
tdock *imagebar_make_dock(const trect *box, void *owner, tdock_can_drag_fn can_drag, tdock_child_at_fn child_at,
                          tbdrawer_draw_fn frame, tbdrawer_draw_fn *saved);
// Side of the corner square that opens the bar's menu.
int32_t imagebar_corner_size();
int imagebar_check_resize(tdock *dock, int32_t zone, int32_t *x, int32_t *y, int32_t *width, int32_t *height);
void imagebar_on_moved(tdock *dock);
// The frame's arrow, grip dots and resize marks over rect.
void imagebar_draw_arrow(tcanvas *canvas, const trect *rect);
void imagebar_draw_dot(tcanvas *canvas, int32_t x1, int32_t y1, int32_t x2, int32_t y2);
void imagebar_draw_decoration(tcanvas *canvas, const trect *rect);
// The corner menu: no soft keys, dimmed, smooth scrolling, a check-mark
// column; *check is made black on first use. Null when memory is lacking.
tmenu *imagebar_make_menu(void *owner, tbitmap **check);
// The snapshot part under a control, drawn into its own canvas.
void imagebar_draw_snapshot(const tbitmap *snapshot, tcontrol *control, tcanvas *canvas, const trect *rect);
