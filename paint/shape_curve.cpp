// shape_curve: the Curve tool.
#include "shape_curve.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "app_common.h"
#include "paint_context.h"
#include "paint_history.h"
#include "tcanvas.h"
#include "tcontrol.h"
#include "tfile.h"
#include "tscreen.h"
#include "win_ao.h"

constexpr double ONE_THIRD = 0.3333333333333333, TWO_THIRDS = 0.6666666666666666;
constexpr uint32_t HANDLE_OUTLINE = 0x40404040u;  // (64, 64, 64) at alpha 64
constexpr uint32_t HANDLE_FILL = 0x60808080u;     // (128, 128, 128) at alpha 96

// What a preview run does about the backup: keep the pixels first, or draw
// regardless (the final drawing, which needs no way back).
enum { PREVIEW_LIVE = 1, PREVIEW_FINAL = 2 };

static int32_t curve_input(shape *tool, int32_t type, int32_t x, int32_t y, int32_t modifiers);
static void curve_draw(shape *tool, cairo_t *cr, const trect *rect, double scale);
static void curve_reset(shape *tool);
static void curve_set_data(shape *tool, const void *payload, int32_t length);
static void pen_down(shape_curve *tool, int32_t x, int32_t y, const double p[2]);
static void pen_up(shape_curve *tool, int32_t x, int32_t y);
static int record(shape_curve *tool);
static int put_back_curve(void *user);
static void place_controls(shape_curve *tool);
static void compute_handles(shape_curve *tool);
static int32_t handle_at(const shape_curve *tool, int32_t x, int32_t y);
static int32_t handle_radius(const shape_curve *tool, double line_width);
static void draw_handles(shape_curve *tool, cairo_t *cr, double scale, int32_t radius);
static int make_stamp(shape_curve *tool, int32_t radius);
static void free_stamp(shape_curve *tool);
static void signal_preview(shape_curve *tool);
static void preview_run(win_ao *ao, void *user_data);
static void preview(shape_curve *tool, int mode);
static void put_back_canvas(shape_curve *tool);
static void show(shape_curve *tool, const trect *dirty);
static void show_put_back(shape_curve *tool, const trect *restored);
static int open_overlay(shape_curve *tool);
static void close_overlay(shape_curve *tool);
static int overlay_pen(tcontrol *control, int type, int32_t x, int32_t y, uint32_t modifiers);
static int32_t clamp_i32(double v);

shape *shape_curve_new(int32_t id, const char16_t *name, paint_context *context, paint_history *history,
                       void *extra) {
  shape_curve *tool = static_cast<shape_curve *>(std::calloc(1, sizeof(shape_curve)));
  if (!tool) return nullptr;
  shape_init(&tool->_base, id, name, context, history, extra);
  shape_set_input_fn(&tool->_base, curve_input);
  shape_set_query_fn(&tool->_base, shape_query_none);
  shape_set_draw_fn(&tool->_base, curve_draw);
  shape_set_reset_fn(&tool->_base, curve_reset);
  shape_set_data_fn(&tool->_base, curve_set_data);
  tscreen *screen = tscreen_get();
  bool large = screen && app_common_is_vga_size(tscreen_get_width(screen), tscreen_get_height(screen));
  tool->_handle_size = large ? SHAPE_CURVE_HANDLE_LARGE : SHAPE_CURVE_HANDLE;
  tool->_selected = -1;
  return &tool->_base;
}

void shape_curve_free(shape *base) {
  PORT_CHECK(base != nullptr);
  shape_curve *tool = reinterpret_cast<shape_curve *>(base);
  close_overlay(tool);
  if (tool->_preview) win_ao_free(tool->_preview);
  shape_backup_end(&tool->_backup);
  free_stamp(tool);
  shape_deinit(base);
  std::free(tool);
}

void shape_curve_cancel(shape *base) {
  PORT_CHECK(base != nullptr);
  shape_curve *tool = reinterpret_cast<shape_curve *>(base);
  if (!base->_active && !tool->_editing) return;
  put_back_canvas(tool);
  close_overlay(tool);
  tool->_editing = 0;
  tool->_selected = -1;
  base->_active = 0;
}

int shape_curve_finish(shape *base) {
  PORT_CHECK(base != nullptr);
  shape_curve *tool = reinterpret_cast<shape_curve *>(base);
  if (!tool->_editing) {
    int under_way = base->_active;
    shape_curve_cancel(base);
    return under_way;
  }
  int recorded = record(tool);
  tool->_selected = -1;
  base->_active = 0;
  if (!recorded) shape_report_refused(base);
  return 1;
}

static int32_t curve_input(shape *base, int32_t type, int32_t x, int32_t y, int32_t) {
  PORT_CHECK(base != nullptr);
  shape_curve *tool = reinterpret_cast<shape_curve *>(base);
  tpoint origin = {0, 0};
  paint_context_get_origin(base->_context, &origin);
  // Live points stay within 32 bits, like every payload a replay takes.
  double p[2] = {double(clamp_i32(double(int64_t(x) - origin.x))), double(clamp_i32(double(int64_t(y) - origin.y)))};
  if (type == SHAPE_PEN_DOWN) {
    pen_down(tool, x, y, p);
    return 1;
  }
  if (!base->_active) return 0;
  if (type == SHAPE_PEN_MOVE) {
    if (tool->_editing) {
      if (tool->_selected < 0) return 1;
      std::copy(p, p + 2, tool->_points[tool->_selected]);
    } else {
      std::copy(p, p + 2, tool->_points[SHAPE_CURVE_END]);
      place_controls(tool);
    }
    signal_preview(tool);
    return 1;
  }
  if (type == SHAPE_PEN_UP) {
    pen_up(tool, x, y);
    return 1;
  }
  return 0;
}

// The line stage starts over the canvas as it is (a second pen-down without
// a pen-up first takes back what the first drew); the editing stage picks
// the first handle under the pen, in the order start, end, control 1, control 2.
static void pen_down(shape_curve *tool, int32_t x, int32_t y, const double p[2]) {
  shape *base = &tool->_base;
  if (base->_active && !tool->_editing) put_back_canvas(tool);
  shape_reset(base);
  base->_active = 1;
  if (tool->_editing) {
    tool->_selected = handle_at(tool, int32_t(p[0]), int32_t(p[1]));
    tool->_down_x = x;
    tool->_down_y = y;
    return;
  }
  for (double *point : tool->_points) std::copy(p, p + 2, point);
  tool->_has_points = 1;
  tool->_remembered_set = 0;
  shape_backup_begin(&tool->_backup);
  tool->_backup_short = 0;
}

static void pen_up(shape_curve *tool, int32_t x, int32_t y) {
  shape *base = &tool->_base;
  bool refused = false;
  if (!tool->_editing) {
    tool->_editing = 1;
    compute_handles(tool);
    signal_preview(tool);
    open_overlay(tool);
  } else if (tool->_selected >= 0) {
    compute_handles(tool);
  } else if (std::abs(int64_t(x) - tool->_down_x) <= tool->_handle_size &&
             std::abs(int64_t(y) - tool->_down_y) <= tool->_handle_size) {
    refused = !record(tool);
  }
  base->_active = 0;
  shape_reset(base);
  // The screen ends the capture with this pen-up: the editing keeps the pen.
  if (tool->_editing && tool->_overlay) tsurface_set_pen_capture(&tool->_overlay->_surface, 1);
  if (refused) shape_report_refused(base);
}

// Ends the editing: the curve without handles is what gets recorded. One the
// history refuses leaves the canvas of the first pen-down. 1 unless refused.
static int record(shape_curve *tool) {
  shape *base = &tool->_base;
  tool->_editing = 0;
  if (tool->_preview) win_ao_cancel(tool->_preview);
  preview(tool, PREVIEW_FINAL);
  close_overlay(tool);
  uint8_t payload[SHAPE_CURVE_PAYLOAD];
  for (int i = 0; i < 2 * SHAPE_CURVE_POINTS; i++) {
    uint64_t bits;
    std::memcpy(&bits, &tool->_points[i / 2][i % 2], sizeof bits);
    tfile_put_u32(payload + 8 * i, uint32_t(bits));
    tfile_put_u32(payload + 8 * i + 4, uint32_t(bits >> 32));
  }
  int recorded = !base->_history || shape_record_step(base->_history, base->_id, payload, SHAPE_CURVE_PAYLOAD,
                                                      put_back_curve, tool);
  shape_backup_end(&tool->_backup);
  return recorded;
}

// The canvas of the first pen-down, when the backup holds every pixel drawn
// since (none held: the curve lay off the canvas).
static int put_back_curve(void *user) {
  shape_curve *tool = static_cast<shape_curve *>(user);
  if (tool->_backup_short) return 0;
  if (!tool->_backup._pixels) return 1;
  trect restored;
  if (!shape_backup_restore(&tool->_backup, tool->_base._context, &restored)) return 0;
  show_put_back(tool, &restored);
  return 1;
}

// The controls on the straight line from the start to the end, at a third
// and two thirds of the way across; a vertical line leaves them where they are.
static void place_controls(shape_curve *tool) {
  const double *start = tool->_points[SHAPE_CURVE_START], *end = tool->_points[SHAPE_CURVE_END];
  double dx = end[0] - start[0];
  if (dx == 0.0) return;
  double *c1 = tool->_points[SHAPE_CURVE_CONTROL1], *c2 = tool->_points[SHAPE_CURVE_CONTROL2];
  c1[0] = start[0] + dx * ONE_THIRD;
  c2[0] = start[0] + dx * TWO_THIRDS;
  for (double *c : {c1, c2}) c[1] = start[1] + (c[0] - start[0]) * (end[1] - start[1]) / dx;
}

static void compute_handles(shape_curve *tool) {
  int32_t width = int32_t(shape_line_width(tool->_base._context));
  int32_t r = std::max(tool->_handle_size + width / 2, tool->_handle_size);
  for (int i = 0; i < SHAPE_CURVE_POINTS; i++) {
    double x = tool->_points[i][0], y = tool->_points[i][1];
    tool->_handles[i] = {clamp_i32(x - r), clamp_i32(y - r), clamp_i32(x + r), clamp_i32(y + r)};
  }
}

// Right and bottom edges excluded; -1 for none.
static int32_t handle_at(const shape_curve *tool, int32_t x, int32_t y) {
  for (int32_t i = 0; i < SHAPE_CURVE_POINTS; i++) {
    const trect &r = tool->_handles[i];
    if (x >= r.x1 && x < r.x2 && y >= r.y1 && y < r.y2) return i;
  }
  return -1;
}

static int32_t handle_radius(const shape_curve *tool, double line_width) {
  return std::max(int32_t(line_width * 0.5 + tool->_handle_size), tool->_handle_size);
}

static void curve_draw(shape *base, cairo_t *cr, const trect *, double scale) {
  PORT_CHECK(base != nullptr);
  shape_curve *tool = reinterpret_cast<shape_curve *>(base);
  if (!cr || !tool->_has_points) return;
  paint_context *pc = base->_context;
  double width = shape_line_width(pc);
  cairo_set_line_width(cr, width);
  cairo_set_source_rgba(cr, paint_context_get_fore_r(pc), paint_context_get_fore_g(pc),
                        paint_context_get_fore_b(pc), paint_context_get_fore_a(pc));
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
  cairo_new_path(cr);
  bool scaled = scale != 1.0;
  if (scaled) {
    cairo_save(cr);
    cairo_scale(cr, scale, scale);
  }
  const double(*pt)[2] = tool->_points;
  cairo_move_to(cr, pt[SHAPE_CURVE_START][0], pt[SHAPE_CURVE_START][1]);
  cairo_curve_to(cr, pt[SHAPE_CURVE_CONTROL1][0], pt[SHAPE_CURVE_CONTROL1][1], pt[SHAPE_CURVE_CONTROL2][0],
                 pt[SHAPE_CURVE_CONTROL2][1], pt[SHAPE_CURVE_END][0], pt[SHAPE_CURVE_END][1]);
  if (scaled) cairo_restore(cr);

  // The curve lies within the hull of its points; its stroke reaches half
  // the line width beyond (a pixel more for the edge's shading), a handle
  // its radius.
  int32_t radius = handle_radius(tool, width);
  double reach = std::ceil(width / 2) + 1;
  if (tool->_editing) reach = std::max(reach, double(radius) + 1);
  double box[4] = {pt[0][0], pt[0][1], pt[0][0], pt[0][1]};
  for (const double *point : tool->_points) {
    box[0] = std::min(box[0], point[0]);
    box[1] = std::min(box[1], point[1]);
    box[2] = std::max(box[2], point[0]);
    box[3] = std::max(box[3], point[1]);
  }
  trect dirty = shape_dirty_rect(box[0] * scale, box[1] * scale, box[2] * scale, box[3] * scale, reach);
  // A live preview keeps the pixels it is about to cover; when it cannot,
  // only the final drawing goes ahead, which a refused record then takes
  // back by a replay.
  if (tool->_previewing && !shape_backup_extend(&tool->_backup, pc, &dirty)) {
    if (tool->_previewing == PREVIEW_LIVE) {
      cairo_new_path(cr);
      return;
    }
    tool->_backup_short = 1;
  }
  // A live preview lasts until the next pen move: it is stroked with cairo's
  // faster shading; the final drawing (and every replay) with the usual one,
  // which the shared context keeps for every other tool.
  if (tool->_previewing == PREVIEW_LIVE) cairo_set_antialias(cr, CAIRO_ANTIALIAS_FAST);
  cairo_stroke(cr);
  cairo_set_antialias(cr, CAIRO_ANTIALIAS_DEFAULT);
  if (tool->_editing) draw_handles(tool, cr, scale, radius);
  show(tool, &dirty);
}

// Round handles painted into the canvas through the toolkit canvas, which
// keeps the fourth byte at 255; cairo lets go of the pixels first and learns
// of the change after. A handle is drawn once per radius and then stamped.
static void draw_handles(shape_curve *tool, cairo_t *cr, double scale, int32_t radius) {
  tbitmap *bitmap = paint_context_get_canvas(tool->_base._context);
  if (!bitmap || !make_stamp(tool, radius)) return;
  cairo_surface_flush(cairo_get_target(cr));
  tcanvas canvas;
  tcanvas_init_on_bitmap(&canvas, bitmap);
  const trect whole = {0, 0, 2 * radius, 2 * radius};
  for (const double *point : tool->_points) {
    tpoint at = {clamp_i32(point[0] * scale - radius), clamp_i32(point[1] * scale - radius)};
    tcanvas_draw_bitmap_masked(&canvas, &at, tool->_stamp_color, &whole, tool->_stamp_mask, 255);
  }
  tcanvas_deinit(&canvas);
  cairo_surface_mark_dirty(cairo_get_target(cr));
}

// The handle: a disc of the fill colour with a rim of the outline colour,
// drawn opaque, and its coverage: the same disc drawn in the two alphas.
static int make_stamp(shape_curve *tool, int32_t radius) {
  if (tool->_stamp_color && tool->_stamp_radius == radius) return 1;
  free_stamp(tool);
  int32_t side = 2 * radius + 1;
  tbitmap *color = tbitmap_new(side, -side, 24), *coverage = tbitmap_new(side, -side, 24);
  tbitmap *mask = tbitmap_new(side, -side, 8);
  bool made = color && coverage && mask;
  if (made) {
    const uint32_t opaque = 0xFF000000u;
    const uint32_t words[2][2] = {
        {opaque | (HANDLE_OUTLINE & 0xFFFFFFu), opaque | (HANDLE_FILL & 0xFFFFFFu)},
        {opaque | (HANDLE_OUTLINE >> 24) * 0x010101u, opaque | (HANDLE_FILL >> 24) * 0x010101u}};
    tbitmap *targets[2] = {color, coverage};
    for (int i = 0; i < 2; i++) {
      tbitmap_fill_rect(targets[i], 0, 0, side - 1, side - 1, opaque);
      tcanvas canvas;
      tcanvas_init_on_bitmap(&canvas, targets[i]);
      tcanvas_set_pen(&canvas, TCANVAS_PEN_SOLID, 1, words[i][0]);
      tcanvas_set_brush(&canvas, TCANVAS_BRUSH_SOLID, words[i][1]);
      tcanvas_draw_circle(&canvas, radius, radius, radius);
      tcanvas_deinit(&canvas);
    }
    for (int32_t y = 0; y < side; y++)
      for (int32_t x = 0; x < side; x++) *tbitmap_get_pixel_ptr(mask, x, y) = *tbitmap_get_pixel_ptr(coverage, x, y);
  }
  if (coverage) tbitmap_free(coverage);
  if (!made) {
    if (color) tbitmap_free(color);
    if (mask) tbitmap_free(mask);
    return 0;
  }
  tool->_stamp_color = color;
  tool->_stamp_mask = mask;
  tool->_stamp_radius = radius;
  return 1;
}

static void free_stamp(shape_curve *tool) {
  if (tool->_stamp_color) tbitmap_free(tool->_stamp_color);
  if (tool->_stamp_mask) tbitmap_free(tool->_stamp_mask);
  tool->_stamp_color = tool->_stamp_mask = nullptr;
}

static void curve_reset(shape *base) { PORT_CHECK(base != nullptr); }

static void curve_set_data(shape *base, const void *payload, int32_t length) {
  PORT_CHECK(base != nullptr);
  shape_curve *tool = reinterpret_cast<shape_curve *>(base);
  tool->_editing = 0;
  tool->_remembered_set = 0;
  tool->_has_points = 0;
  if (!payload || length != SHAPE_CURVE_PAYLOAD) return;
  const uint8_t *bytes = static_cast<const uint8_t *>(payload);
  double values[2 * SHAPE_CURVE_POINTS];
  for (int i = 0; i < 2 * SHAPE_CURVE_POINTS; i++) {
    uint64_t bits = uint64_t(tfile_get_u32(bytes + 8 * i)) | uint64_t(tfile_get_u32(bytes + 8 * i + 4)) << 32;
    std::memcpy(&values[i], &bits, sizeof bits);
    if (!std::isfinite(values[i])) return;
  }
  for (int i = 0; i < 2 * SHAPE_CURVE_POINTS; i++)
    tool->_points[i / 2][i % 2] = std::clamp(values[i], double(INT32_MIN), double(INT32_MAX));
  tool->_has_points = 1;
}

static void signal_preview(shape_curve *tool) {
  if (!tool->_preview) {
    tool->_preview = win_ao_new(0);
    if (!tool->_preview) return;
    win_ao_set_user_data(tool->_preview, tool);
    win_ao_set_run(tool->_preview, preview_run);
  }
  win_ao_cancel(tool->_preview);
  win_ao_signal(tool->_preview);
}

static void preview_run(win_ao *, void *user_data) { preview(static_cast<shape_curve *>(user_data), PREVIEW_LIVE); }

// Puts back the canvas of the first pen-down, then draws the curve (with its
// handles while editing) at scale 1.0.
static void preview(shape_curve *tool, int mode) {
  paint_context *pc = tool->_base._context;
  // Only the last draw's rect differs from the canvas of the first pen-down.
  trect restored;
  int put_back = tool->_remembered_set && shape_backup_restore_part(&tool->_backup, pc, &tool->_remembered, &restored);
  tool->_drawn = 0;
  tool->_previewing = mode;
  shape_draw(&tool->_base, paint_context_get_cairo(pc), nullptr, 1.0);
  tool->_previewing = 0;
  if (put_back && !tool->_drawn) show_put_back(tool, &restored);
}

// Drops a pending preview and puts back the canvas of the first pen-down.
static void put_back_canvas(shape_curve *tool) {
  if (tool->_preview) win_ao_cancel(tool->_preview);
  trect restored;
  if (shape_backup_restore(&tool->_backup, tool->_base._context, &restored)) show_put_back(tool, &restored);
  shape_backup_end(&tool->_backup);
}

// The screen shows the canvas again over this draw's rect and the last one's:
// every rect before them was shown again by the draw that followed it, and
// the pixels put back under them all are those the screen showed before.
static void show(shape_curve *tool, const trect *dirty) {
  trect area = *dirty;
  if (tool->_remembered_set) trect_union(&area, dirty, &tool->_remembered);
  paint_context_refresh(tool->_base._context, &area, 0);
  tool->_remembered = *dirty;
  tool->_remembered_set = 1;
  tool->_drawn = 1;
}

// Nothing was drawn over the canvas put back: the screen shows all of it again.
static void show_put_back(shape_curve *tool, const trect *restored) {
  trect area = *restored;
  if (tool->_remembered_set) trect_union(&area, restored, &tool->_remembered);
  paint_context_refresh(tool->_base._context, &area, 0);
  tool->_remembered_set = 0;
}

// The overlay: a top-level control of no size that holds the pen capture
// and hands every pen event to the tool. 0 when it cannot be made (the
// canvas hook still brings the events of the current tool).
static int open_overlay(shape_curve *tool) {
  if (tool->_overlay) return 1;
  if (!tscreen_get()) return 0;
  const trect empty = {0, 0, -1, -1};
  tool->_overlay = tcontrol_new(nullptr, &empty, tool);
  if (!tool->_overlay) return 0;
  tcontrol_set_on_pen(tool->_overlay, overlay_pen);
  tcontrol_realize(tool->_overlay);
  tsurface_set_pen_capture(&tool->_overlay->_surface, 1);
  return 1;
}

static void close_overlay(shape_curve *tool) {
  if (!tool->_overlay) return;
  tsurface_set_pen_capture(&tool->_overlay->_surface, 0);
  tcontrol_free(tool->_overlay);
  tool->_overlay = nullptr;
}

// The tool may free the overlay while it takes the event: nothing of the
// overlay is touched after.
static int overlay_pen(tcontrol *control, int type, int32_t x, int32_t y, uint32_t modifiers) {
  shape *tool = static_cast<shape *>(tsurface_get_owner(&control->_surface));
  return shape_input(tool, type, x, y, int32_t(modifiers));
}

static int32_t clamp_i32(double v) {
  if (!(v > double(INT32_MIN))) return INT32_MIN;
  if (!(v < double(INT32_MAX))) return INT32_MAX;
  return int32_t(v);
}
