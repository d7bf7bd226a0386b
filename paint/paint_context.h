// paint_context: the painting document in memory.
//
// Owns the 32-bit canvas (the picture at the current zoom, rows top-down), the
// screen-sized view bitmap that tools back the visible canvas up into, the
// base picture a painting was opened from (32 bpp, zoom 1.0) with its cached
// copy at the current zoom, and the cairo surface and context every vector
// tool draws through. Borrows the screen (null: no refreshes) and the tools.
//
// Invariants:
// - the picture size is the painting's start: a canvas made for the painting
//   as a whole (a new picture, a zoom, the start of a replay) has side =
//   trunc(picture side x zoom), never below 1 pixel; crops and resizes then
//   give the canvas any size, and the picture size stays (a document stores
//   it, a replay starts from it);
// - the cairo surface always wraps the current canvas pixels, and every canvas
//   pixel keeps its fourth byte at 255 (cairo reads ARGB32, we show RGB);
// - a canvas point is a screen point minus the view origin;
// - the base picture lies under the painting at _base_offset (canvas pixels at
//   the current zoom): a crop moves both, a fresh canvas of the picture size
//   puts it back at 0, 0.
#pragma once

#include <cairo.h>

#include <cstdint>

#include "tbitmap.h"
#include "trect.h"

struct tscreen;
struct shape;
struct paint_history_record;

constexpr int PAINT_CONTEXT_MAX_TOOLS = 128;

// The pixels of a starting canvas that is not there (see
// paint_context_defer_crops_from): copies the rectangle from of it (inclusive
// corners) to canvas at to; 0 when they cannot be had.
typedef int (*paint_context_pixels_fn)(void *user, tbitmap *canvas, const trect *from, const tpoint *to);

// Crops a replay puts off (see paint_context_defer_crops): the canvas they
// lead to, as a window on the canvas they started from. Coordinates are
// pixels of that starting canvas; the clip is the part of it that still shows
// through every crop so far (right and bottom exclusive).
struct paint_context_crops {
  uint8_t deferring, pending;
  paint_context_pixels_fn source;
  void *source_user;
  int64_t x, y;
  int64_t clip_x1, clip_y1, clip_x2, clip_y2;
  int32_t width, height;
  tpoint base_offset;  // the base picture's place when the crops began
};

// The canvas a step that may run short of memory halfway started from (see
// paint_context_hold_canvas), with what goes with it.
struct paint_context_held {
  tbitmap *canvas;
  double zoom;
  tpoint base_offset;
};

constexpr double PAINT_CONTEXT_MAX_ZOOM = 10.0;

struct paint_context {
  tscreen *_screen;
  shape *_tools[PAINT_CONTEXT_MAX_TOOLS];
  int32_t _tool_count;
  tpoint _origin;
  tcolor _fore_color;
  tcolor _back_color;
  double _fore_rgba[4];
  double _back_rgba[4];
  uint8_t _pen_size;
  int32_t _pen_style;
  int32_t _fill_style;
  int32_t _font_style;
  double _zoom;
  uint8_t _rubber_size;
  tcolor _new_color;
  double _new_rgb[3];
  tbitmap *_canvas;
  tbitmap *_view;
  tbitmap *_base;
  tbitmap *_zoomed_base;
  int32_t _picture_width, _picture_height;
  int32_t _last_screen_width, _last_screen_height;
  cairo_surface_t *_surface;
  cairo_t *_cairo;
  uint8_t _partial_refresh;
  tpoint _base_offset;
  paint_context_crops _crops;
  paint_context_held _held;
};

paint_context *paint_context_new(tscreen *screen, int32_t width, int32_t height, tcolor fore, tcolor back,
                                 tcolor new_color, uint8_t pen_size, int32_t pen_style, int32_t fill_style,
                                 int32_t font_style, uint8_t rubber_size);
void paint_context_free(paint_context *pc);

void paint_context_set_fore_color(paint_context *pc, tcolor color);
void paint_context_set_back_color(paint_context *pc, tcolor color);
void paint_context_set_new_color(paint_context *pc, tcolor color);
tcolor *paint_context_get_fore_color(const paint_context *pc, tcolor *out);
tcolor *paint_context_get_back_color(const paint_context *pc, tcolor *out);
tcolor *paint_context_get_new_color(const paint_context *pc, tcolor *out);
double paint_context_get_fore_r(const paint_context *pc);
double paint_context_get_fore_g(const paint_context *pc);
double paint_context_get_fore_b(const paint_context *pc);
double paint_context_get_fore_a(const paint_context *pc);
double paint_context_get_back_r(const paint_context *pc);
double paint_context_get_back_g(const paint_context *pc);
double paint_context_get_back_b(const paint_context *pc);
double paint_context_get_new_r(const paint_context *pc);
double paint_context_get_new_g(const paint_context *pc);
double paint_context_get_new_b(const paint_context *pc);

uint8_t paint_context_get_pen_size(const paint_context *pc);
uint8_t paint_context_get_rubber_size(const paint_context *pc);
int32_t paint_context_get_pen_style(const paint_context *pc);
int32_t paint_context_get_fill_style(const paint_context *pc);
int32_t paint_context_get_font_style(const paint_context *pc);
void paint_context_set_font_style(paint_context *pc, int32_t style);
double paint_context_get_zoom(const paint_context *pc);
tpoint *paint_context_get_origin(const paint_context *pc, tpoint *out);
tpoint *paint_context_get_origin_ptr(paint_context *pc);
void paint_context_set_origin(paint_context *pc, int32_t x, int32_t y);
tscreen *paint_context_get_screen(const paint_context *pc);
tbitmap *paint_context_get_canvas(const paint_context *pc);
tbitmap *paint_context_get_base_picture(const paint_context *pc);
int32_t paint_context_get_picture_width(const paint_context *pc);
int32_t paint_context_get_picture_height(const paint_context *pc);
// The painting's size at zoom 1.0 as the canvas is now, crops and resizes
// included: what a zoom that fits the painting to the screen divides by.
void paint_context_get_painting_size(const paint_context *pc, double *width, double *height);
cairo_t *paint_context_get_cairo(const paint_context *pc);
int paint_context_is_partial_refresh(const paint_context *pc);

// Tools, in registration order; the 129th is refused.
int paint_context_add_tool(paint_context *pc, shape *tool);
shape *paint_context_find_tool(const paint_context *pc, int32_t id);

// Picture operations: 1 on success unless said otherwise. A failed allocation
// leaves the painting as it was.
int paint_context_load_blank(paint_context *pc, int32_t width, int32_t height, tcolor color);
int paint_context_load_picture(paint_context *pc, const tbitmap *bitmap);
// A canvas of the picture size at the zoom, the base picture at its top-left;
// 0 when it cannot be made (the painting is then as it was).
int paint_context_apply_zoom(paint_context *pc);
// 1 done, 0 refused (zoom not above 0, or no canvas), -1 the canvas kept its old
// size for lack of memory (the zoom is unchanged in both failures).
int paint_context_set_zoom(paint_context *pc, double zoom);
int paint_context_set_canvas_size(paint_context *pc, int32_t width, int32_t height);
int paint_context_resize_canvas(paint_context *pc, int32_t x, int32_t y, int32_t width, int32_t height);
// While crops are deferred, a resize that would succeed only notes its
// rectangle (1), and the canvas is made once when deferring ends, with the
// pixels the crops in turn would have left: a run of crops costs one canvas.
// Ending gives 0 when that canvas finds no memory (the canvas and the base
// picture's place are then as before the run), else 1.
int paint_context_defer_crops(paint_context *pc, int on);
// Deferring that starts from a canvas of width x height whose pixels source
// gives when deferring ends (only the part the crops keep is asked for), with
// the base picture at base_offset: a checkpoint that a run of crops follows
// is never made whole. Ending then gives -1 when source fails (the canvas is
// then the one from before this call, the base picture where it said).
int paint_context_defer_crops_from(paint_context *pc, int32_t width, int32_t height, const tpoint *base_offset,
                                   paint_context_pixels_fn source, void *user);
// The canvas of a checkpoint: a canvas of this size (a new one, its pixels
// undefined, only when the size differs) and the base picture at base_offset.
// 0 when no such canvas can be made (the painting is then unchanged).
int paint_context_set_canvas_shape(paint_context *pc, int32_t width, int32_t height, const tpoint *base_offset);
// A step that may find no memory halfway (a replay that crops, a zoom change
// and its rebuild) holds the canvas it starts from, to go back to: from then
// on that canvas is never freed when another replaces it, and the operations
// that give the canvas a size make a new one rather than reuse it, so the
// holder, drawing only after one of them, never writes into it. 0 (nothing
// changes) when a canvas is held already: the step holding it decides.
int paint_context_hold_canvas(paint_context *pc);
// Ends holding: keep_new 1 frees the held canvas (the step succeeded); 0
// makes it the canvas again, with its zoom and the base picture's place, and
// frees what was made since.
void paint_context_release_canvas(paint_context *pc, int keep_new);
void paint_context_clear(paint_context *pc);
tbitmap *paint_context_get_zoomed_base(paint_context *pc);
tbitmap *paint_context_copy_visible(const paint_context *pc);
int paint_context_save_view(paint_context *pc);
int paint_context_restore_view(paint_context *pc);
int paint_context_update_screen_size(paint_context *pc);
int paint_context_refresh(paint_context *pc, const trect *rect, int full);
// The drawing state a history record keeps: view origin, colours, pen and
// rubber sizes, pen style. The zoom is not part of it (the history stores it).
void paint_context_snapshot(const paint_context *pc, paint_history_record *record);
void paint_context_restore(paint_context *pc, const paint_history_record *record);
cairo_t *paint_context_rebuild_cairo(paint_context *pc);
