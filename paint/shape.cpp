// shape: the drawing-tool base, the two-point pen protocol and the preview backup.
#include "shape.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "paint_context.h"
#include "paint_history.h"
#include "tscreen.h"
#include "win_ao.h"

// What a draw of a two-point tool does about the backup: nothing (a replay),
// keep the pixels first (a preview), or draw regardless (pen-up).
enum { BACKUP_NONE, BACKUP_PREVIEW, BACKUP_FINAL };

static void copy_name(char16_t *dst, const char16_t *src, int capacity);
static int32_t clamp_i32(double v);
static int32_t clamp_i32(int64_t v);
static tpoint canvas_point(const paint_context *pc, int32_t x, int32_t y);
static int backup_matches(const shape_backup *backup, const tbitmap *canvas);
static void copy_rect(tbitmap *dst, int32_t dst_x, int32_t dst_y, const tbitmap *src, const trect *src_rect);
static void preview_run(win_ao *ao, void *user_data);
static void preview_draw(shape_two_point *tool, int final);
static void refresh_with_remembered(shape_two_point *tool, const trect *dirty);
static void abandon_drag(shape_two_point *tool);
static void end_drag(shape_two_point *tool);
static int put_back_drag(void *user);

static shape_refused_fn on_refused = nullptr;

int shape_init(shape *tool, int32_t id, const char16_t *name, paint_context *context, paint_history *history,
               void *extra) {
  PORT_CHECK(tool != nullptr);
  tool->_id = id;
  copy_name(tool->_name, name, SHAPE_NAME_CHARS);
  tool->_context = context;
  tool->_history = history;
  tool->_extra = extra;
  return 1;
}

void shape_deinit(shape *tool) { PORT_CHECK(tool != nullptr); }

int32_t shape_get_id(const shape *tool) {
  PORT_CHECK(tool != nullptr);
  return tool->_id;
}

const char16_t *shape_get_name(const shape *tool) {
  PORT_CHECK(tool != nullptr);
  return tool->_name;
}

const char16_t *shape_get_description(const shape *tool) {
  PORT_CHECK(tool != nullptr);
  return tool->_description;
}

void shape_set_description(shape *tool, const char16_t *text) {
  PORT_CHECK(tool != nullptr);
  copy_name(tool->_description, text, SHAPE_DESCRIPTION_CHARS);
}

void shape_set_active(shape *tool, int32_t flag) {
  PORT_CHECK(tool != nullptr);
  tool->_active = flag;
}

int32_t shape_is_active(const shape *tool) {
  PORT_CHECK(tool != nullptr);
  return tool->_active;
}

paint_context *shape_get_context(const shape *tool) {
  PORT_CHECK(tool != nullptr);
  return tool->_context;
}

paint_history *shape_get_history(const shape *tool) {
  PORT_CHECK(tool != nullptr);
  return tool->_history;
}

void *shape_get_extra(const shape *tool) {
  PORT_CHECK(tool != nullptr);
  return tool->_extra;
}

void shape_set_input_fn(shape *tool, shape_input_slot fn) {
  PORT_CHECK(tool != nullptr);
  tool->_input = fn;
}

void shape_set_query_fn(shape *tool, shape_query_slot fn) {
  PORT_CHECK(tool != nullptr);
  tool->_query = fn;
}

void shape_set_draw_fn(shape *tool, shape_draw_slot fn) {
  PORT_CHECK(tool != nullptr);
  tool->_draw = fn;
}

void shape_set_reset_fn(shape *tool, shape_reset_slot fn) {
  PORT_CHECK(tool != nullptr);
  tool->_reset = fn;
}

void shape_set_data_fn(shape *tool, shape_data_slot fn) {
  PORT_CHECK(tool != nullptr);
  tool->_set_data = fn;
}

void shape_set_reserved_fn(shape *tool, shape_reserved_slot fn) {
  PORT_CHECK(tool != nullptr);
  tool->_reserved = fn;
}

int32_t shape_input(shape *tool, int32_t type, int32_t x, int32_t y, int32_t modifiers) {
  PORT_CHECK(tool != nullptr);
  return tool->_input ? tool->_input(tool, type, x, y, modifiers) : 0;
}

void shape_draw(shape *tool, cairo_t *cr, const trect *rect, double scale) {
  PORT_CHECK(tool != nullptr);
  if (tool->_draw) tool->_draw(tool, cr, rect, scale);
}

void shape_reset(shape *tool) {
  PORT_CHECK(tool != nullptr);
  if (tool->_reset) tool->_reset(tool);
}

void shape_set_data(shape *tool, const void *payload, int32_t length) {
  PORT_CHECK(tool != nullptr);
  if (tool->_set_data) tool->_set_data(tool, payload, length);
}

shape_refused_fn shape_set_on_refused(shape_refused_fn fn) {
  shape_refused_fn replaced = on_refused;
  on_refused = fn;
  return replaced;
}

void shape_report_refused(shape *tool) {
  PORT_CHECK(tool != nullptr);
  if (on_refused) on_refused(tool);
}

int shape_record_step(paint_history *history, int32_t operation, const void *payload, int32_t size,
                      int (*put_back)(void *user), void *user) {
  PORT_CHECK(history != nullptr);
  if (paint_history_add(history, operation, payload, size)) return 1;
  if (put_back && put_back(user)) return 0;
  paint_context *pc = history->_context;
  tscreen *screen = pc ? paint_context_get_screen(pc) : nullptr;
  uint32_t lock_found = screen ? tscreen_get_update_lock(screen) : 0;
  if (screen) tscreen_set_update_lock(screen, 1);
  int replayed = paint_history_replay(history, 0);
  if (screen) tscreen_set_update_lock(screen, lock_found);
  if (pc) paint_context_refresh(pc, nullptr, 1);
  // A canvas that cannot lose the step had better be the history's: the
  // memory the replay looked for may have let the list grow.
  return !replayed && paint_history_add(history, operation, payload, size);
}

int32_t shape_query_none(shape *tool) {
  PORT_CHECK(tool != nullptr);
  return 0;
}

int32_t shape_reserved_true(shape *tool) {
  PORT_CHECK(tool != nullptr);
  return 1;
}

double shape_line_width(const paint_context *pc) {
  PORT_CHECK(pc != nullptr);
  return double(paint_context_get_pen_size(pc)) * paint_context_get_zoom(pc);
}

trect shape_dirty_rect(double min_x, double min_y, double max_x, double max_y, double line_width) {
  double grow = line_width + 1;
  return {clamp_i32(min_x - grow), clamp_i32(min_y - grow), clamp_i32(max_x + grow), clamp_i32(max_y + grow)};
}

void shape_refresh_remembered(paint_context *pc, trect *remembered, int32_t *remembered_set, const trect *dirty) {
  PORT_CHECK(remembered != nullptr && remembered_set != nullptr && dirty != nullptr);
  trect area = *dirty;
  if (*remembered_set) trect_union(&area, dirty, remembered);
  *remembered = area;
  *remembered_set = 1;
  paint_context_refresh(pc, &area, 0);
}

double shape_angle_of(int32_t x0, int32_t y0, int32_t x1, int32_t y1, double r) {
  double a = std::acos(std::clamp((double(x1) - double(x0)) / r, -1.0, 1.0));
  return y1 <= y0 ? -a : a;
}

void shape_backup_begin(shape_backup *backup) {
  PORT_CHECK(backup != nullptr);
  shape_backup_end(backup);
}

int shape_backup_extend(shape_backup *backup, paint_context *pc, const trect *area) {
  PORT_CHECK(backup != nullptr && pc != nullptr && area != nullptr);
  tbitmap *canvas = paint_context_get_canvas(pc);
  if (!canvas) return 0;
  if (backup->_pixels && !backup_matches(backup, canvas)) shape_backup_end(backup);
  int32_t width = tbitmap_get_width(canvas), height = tbitmap_get_height(canvas);
  trect want = *area;
  trect_normalize(&want);
  want = {std::max(want.x1, 0), std::max(want.y1, 0), std::min(want.x2, width - 1), std::min(want.y2, height - 1)};
  if (want.x1 > want.x2 || want.y1 > want.y2) return 1;
  if (backup->_pixels) {
    const trect &held = backup->_area;
    if (want.x1 >= held.x1 && want.y1 >= held.y1 && want.x2 <= held.x2 && want.y2 <= held.y2) return 1;
    want = {std::min(want.x1, held.x1), std::min(want.y1, held.y1), std::max(want.x2, held.x2),
            std::max(want.y2, held.y2)};
  }
  tbitmap *pixels = tbitmap_new(want.x2 - want.x1 + 1, -(want.y2 - want.y1 + 1), 32);
  if (!pixels) return 0;
  cairo_t *cr = paint_context_get_cairo(pc);
  if (cr) cairo_surface_flush(cairo_get_target(cr));
  // The canvas holds no preview now, so the whole widened area is as it was at pen-down.
  copy_rect(pixels, 0, 0, canvas, &want);
  if (backup->_pixels) tbitmap_free(backup->_pixels);
  backup->_pixels = pixels;
  backup->_area = want;
  backup->_canvas_pixels = canvas->_pixels;
  backup->_canvas_width = width;
  backup->_canvas_height = height;
  return 1;
}

int shape_backup_restore(shape_backup *backup, paint_context *pc, trect *restored) {
  PORT_CHECK(backup != nullptr && pc != nullptr);
  return backup->_pixels ? shape_backup_restore_part(backup, pc, &backup->_area, restored) : 0;
}

int shape_backup_restore_part(shape_backup *backup, paint_context *pc, const trect *part, trect *restored) {
  PORT_CHECK(backup != nullptr && pc != nullptr && part != nullptr);
  tbitmap *canvas = paint_context_get_canvas(pc);
  if (!backup->_pixels) return 0;
  if (!canvas || !backup_matches(backup, canvas)) {
    shape_backup_end(backup);
    return 0;
  }
  const trect &held = backup->_area;
  trect area = *part;
  trect_normalize(&area);
  area = {std::max(area.x1, held.x1), std::max(area.y1, held.y1), std::min(area.x2, held.x2),
          std::min(area.y2, held.y2)};
  if (area.x1 > area.x2 || area.y1 > area.y2) return 0;
  cairo_t *cr = paint_context_get_cairo(pc);
  if (cr) cairo_surface_flush(cairo_get_target(cr));
  trect from = {area.x1 - held.x1, area.y1 - held.y1, area.x2 - held.x1, area.y2 - held.y1};
  copy_rect(canvas, area.x1, area.y1, backup->_pixels, &from);
  if (cr) cairo_surface_mark_dirty(cairo_get_target(cr));
  if (restored) *restored = area;
  return 1;
}

void shape_backup_end(shape_backup *backup) {
  PORT_CHECK(backup != nullptr);
  if (backup->_pixels) tbitmap_free(backup->_pixels);
  *backup = shape_backup{};
}

shape *shape_two_point_new(int32_t id, const char16_t *name, paint_context *context, paint_history *history,
                           shape_draw_slot draw, int32_t mode, int32_t sides, int32_t rotate, void *extra) {
  shape_two_point *tool = static_cast<shape_two_point *>(std::calloc(1, sizeof(shape_two_point)));
  if (!tool) return nullptr;
  shape_two_point_init(tool, id, name, context, history, draw, mode, sides, rotate, extra);
  return &tool->_base;
}

void shape_two_point_free(shape *base) {
  PORT_CHECK(base != nullptr);
  shape_two_point *tool = reinterpret_cast<shape_two_point *>(base);
  shape_two_point_deinit(tool);
  std::free(tool);
}

int shape_two_point_init(shape_two_point *tool, int32_t id, const char16_t *name, paint_context *context,
                         paint_history *history, shape_draw_slot draw, int32_t mode, int32_t sides, int32_t rotate,
                         void *extra) {
  PORT_CHECK(tool != nullptr);
  shape_init(&tool->_base, id, name, context, history, extra);
  shape_set_input_fn(&tool->_base, shape_two_point_input);
  shape_set_query_fn(&tool->_base, shape_query_none);
  shape_set_draw_fn(&tool->_base, draw);
  shape_set_reset_fn(&tool->_base, shape_two_point_reset);
  shape_set_data_fn(&tool->_base, shape_copy_two_points);
  tool->_mode = mode;
  tool->_sides = sides;
  tool->_rotate = rotate;
  return 1;
}

void shape_two_point_deinit(shape_two_point *tool) {
  PORT_CHECK(tool != nullptr);
  if (tool->_preview) win_ao_free(tool->_preview);
  tool->_preview = nullptr;
  shape_backup_end(&tool->_backup);
  shape_deinit(&tool->_base);
}

int32_t shape_two_point_input(shape *base, int32_t type, int32_t x, int32_t y, int32_t) {
  PORT_CHECK(base != nullptr);
  shape_two_point *tool = reinterpret_cast<shape_two_point *>(base);
  paint_context *pc = base->_context;
  if (type == SHAPE_PEN_DOWN) {
    // A second pen-down without a pen-up abandons the first drag: its
    // preview goes, since it will never be recorded.
    if (base->_active) abandon_drag(tool);
    shape_reset(base);
    base->_active = 1;
    tpoint p = canvas_point(pc, x, y);
    tool->_x0 = tool->_x1 = p.x;
    tool->_y0 = tool->_y1 = p.y;
    tool->_has_points = 1;
    shape_backup_begin(&tool->_backup);
    tool->_backup_short = 0;
    tool->_remembered_set = 0;
    tool->_preview_shown = 1;
    return 1;
  }
  if (!base->_active) return 0;
  if (type == SHAPE_PEN_MOVE) {
    tpoint p = canvas_point(pc, x, y);
    tool->_x1 = p.x;
    tool->_y1 = p.y;
    tool->_preview_shown = 0;
    if (!tool->_preview) {
      tool->_preview = win_ao_new(0);
      win_ao_set_user_data(tool->_preview, tool);
      win_ao_set_run(tool->_preview, preview_run);
    }
    win_ao_cancel(tool->_preview);
    win_ao_signal(tool->_preview);
    return 1;
  }
  if (type == SHAPE_PEN_UP) {
    end_drag(tool);
    return 1;
  }
  return 0;
}

void shape_two_point_preview(shape_two_point *tool) {
  PORT_CHECK(tool != nullptr);
  preview_draw(tool, 0);
}

void shape_copy_two_points(shape *base, const void *payload, int32_t length) {
  PORT_CHECK(base != nullptr);
  shape_two_point *tool = reinterpret_cast<shape_two_point *>(base);
  tool->_remembered_set = 0;
  tool->_has_points = payload && length == SHAPE_TWO_POINT_PAYLOAD;
  if (!tool->_has_points) {
    tool->_x0 = tool->_y0 = tool->_x1 = tool->_y1 = 0;
    return;
  }
  const uint8_t *bytes = static_cast<const uint8_t *>(payload);
  int32_t v[4];
  for (int i = 0; i < 4; i++) {
    uint32_t word = 0;
    for (int b = 0; b < 4; b++) word |= uint32_t(bytes[i * 4 + b]) << (8 * b);
    v[i] = int32_t(word);
  }
  tool->_x0 = v[0];
  tool->_y0 = v[1];
  tool->_x1 = v[2];
  tool->_y1 = v[3];
}

void shape_two_point_reset(shape *base) { PORT_CHECK(base != nullptr); }

void shape_two_point_cancel(shape *base) {
  PORT_CHECK(base != nullptr);
  if (!base->_active) return;
  abandon_drag(reinterpret_cast<shape_two_point *>(base));
  base->_active = 0;
  shape_reset(base);
}

int shape_two_point_finish(shape *base) {
  PORT_CHECK(base != nullptr);
  if (!base->_active) return 0;
  end_drag(reinterpret_cast<shape_two_point *>(base));
  return 1;
}

shape_paint shape_paint_of_mode(int32_t mode) {
  if (mode == SHAPE_MODE_OUTLINE || mode == SHAPE_MODE_CIRCLE_OUTLINE) return SHAPE_PAINT_STROKE;
  if (mode == SHAPE_MODE_FILLED || mode == SHAPE_MODE_CIRCLE_FILLED) return SHAPE_PAINT_FILL;
  return SHAPE_PAINT_NONE;
}

void shape_two_point_render(shape_two_point *tool, cairo_t *cr, double scale, cairo_line_cap_t cap,
                            cairo_line_join_t join, shape_paint paint, shape_path_fn path) {
  PORT_CHECK(tool != nullptr && path != nullptr);
  if (!cr || !tool->_has_points) return;
  paint_context *pc = tool->_base._context;
  double width = shape_line_width(pc);
  cairo_set_line_width(cr, width);
  cairo_set_source_rgba(cr, paint_context_get_fore_r(pc), paint_context_get_fore_g(pc),
                        paint_context_get_fore_b(pc), paint_context_get_fore_a(pc));
  cairo_set_line_cap(cr, cap);
  cairo_set_line_join(cr, join);
  cairo_new_path(cr);
  bool scaled = scale != 1.0;
  if (scaled) {
    cairo_save(cr);
    cairo_scale(cr, scale, scale);
  }
  double box[4];
  int has_shape = path(tool, cr, box);
  if (scaled) cairo_restore(cr);
  if (!has_shape) {
    cairo_new_path(cr);
    return;
  }
  trect dirty = shape_dirty_rect(box[0] * scale, box[1] * scale, box[2] * scale, box[3] * scale, width);
  // A preview keeps the pixels it is about to cover; when it cannot, only the
  // final drawing at pen-up goes ahead, which a refused record then takes
  // back by a replay.
  if (tool->_backup_mode != BACKUP_NONE && !shape_backup_extend(&tool->_backup, pc, &dirty)) {
    if (tool->_backup_mode == BACKUP_FINAL) {
      tool->_backup_short = 1;
    } else {
      cairo_new_path(cr);
      tool->_preview_shown = 0;
      return;
    }
  }
  if (paint == SHAPE_PAINT_STROKE)
    cairo_stroke(cr);
  else if (paint == SHAPE_PAINT_FILL)
    cairo_fill(cr);
  else
    cairo_new_path(cr);
  refresh_with_remembered(tool, &dirty);
}

static void copy_name(char16_t *dst, const char16_t *src, int capacity) {
  int n = 0;
  if (src)
    while (n < capacity - 1 && src[n]) {
      dst[n] = src[n];
      n++;
    }
  std::fill(dst + n, dst + capacity, u'\0');
}

static int32_t clamp_i32(double v) {
  if (!(v > double(INT32_MIN))) return INT32_MIN;
  if (!(v < double(INT32_MAX))) return INT32_MAX;
  return int32_t(v);
}

static int32_t clamp_i32(int64_t v) { return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

static tpoint canvas_point(const paint_context *pc, int32_t x, int32_t y) {
  tpoint origin = {0, 0};
  if (pc) paint_context_get_origin(pc, &origin);
  return {clamp_i32(int64_t(x) - origin.x), clamp_i32(int64_t(y) - origin.y)};
}

static int backup_matches(const shape_backup *backup, const tbitmap *canvas) {
  return backup->_canvas_pixels == canvas->_pixels && backup->_canvas_width == tbitmap_get_width(canvas) &&
         backup->_canvas_height == tbitmap_get_height(canvas);
}

// Both bitmaps are 32 bpp; src_rect lies inside src and its image at
// (dst_x, dst_y) inside dst.
static void copy_rect(tbitmap *dst, int32_t dst_x, int32_t dst_y, const tbitmap *src, const trect *src_rect) {
  size_t row_bytes = size_t(src_rect->x2 - src_rect->x1 + 1) * 4;
  for (int32_t y = src_rect->y1; y <= src_rect->y2; y++) {
    const uint8_t *from = tbitmap_get_pixel_ptr(src, src_rect->x1, y);
    uint8_t *to = tbitmap_get_pixel_ptr(dst, dst_x, dst_y + (y - src_rect->y1));
    std::memcpy(to, from, row_bytes);
  }
}

static void preview_run(win_ao *, void *user_data) {
  shape_two_point_preview(static_cast<shape_two_point *>(user_data));
}

// Puts back the canvas of pen-down, then draws the current points. The final
// run at pen-up draws even when the backup cannot grow.
static void preview_draw(shape_two_point *tool, int final) {
  paint_context *pc = tool->_base._context;
  trect restored;
  if (shape_backup_restore(&tool->_backup, pc, &restored)) refresh_with_remembered(tool, &restored);
  tool->_preview_shown = 1;
  // Equal points are no shape: nothing is drawn, and no angle of a zero-length
  // vector (a NaN) reaches cairo.
  if (tool->_x0 == tool->_x1 && tool->_y0 == tool->_y1) return;
  tool->_backup_mode = final ? BACKUP_FINAL : BACKUP_PREVIEW;
  shape_draw(&tool->_base, paint_context_get_cairo(pc), nullptr, 1.0);
  tool->_backup_mode = BACKUP_NONE;
}

static void abandon_drag(shape_two_point *tool) {
  if (tool->_preview) win_ao_cancel(tool->_preview);
  trect restored;
  if (shape_backup_restore(&tool->_backup, tool->_base._context, &restored))
    refresh_with_remembered(tool, &restored);
  shape_backup_end(&tool->_backup);
}

// Pen-up: what the record says must be what the canvas shows, so a preview
// still waiting for the loop, or one that could not draw, is run here. A
// record the history refuses takes the shape off the canvas again.
static void end_drag(shape_two_point *tool) {
  shape *base = &tool->_base;
  if (tool->_preview && win_ao_is_signalled(tool->_preview)) win_ao_cancel(tool->_preview);
  if (!tool->_preview_shown) preview_draw(tool, 1);
  bool refused = false;
  if (base->_history && (tool->_x0 != tool->_x1 || tool->_y0 != tool->_y1)) {
    uint8_t payload[SHAPE_TWO_POINT_PAYLOAD];
    int32_t points[4] = {tool->_x0, tool->_y0, tool->_x1, tool->_y1};
    for (int i = 0; i < 4; i++) {
      uint32_t v = uint32_t(points[i]);
      for (int b = 0; b < 4; b++) payload[i * 4 + b] = uint8_t(v >> (8 * b));
    }
    refused = !shape_record_step(base->_history, base->_id, payload, SHAPE_TWO_POINT_PAYLOAD, put_back_drag, tool);
  }
  shape_backup_end(&tool->_backup);
  base->_active = 0;
  shape_reset(base);
  if (refused) shape_report_refused(base);
}

// The canvas of pen-down, when the backup holds every pixel the shape drew
// (none held: the shape lay off the canvas).
static int put_back_drag(void *user) {
  shape_two_point *tool = static_cast<shape_two_point *>(user);
  if (tool->_backup_short) return 0;
  if (!tool->_backup._pixels) return 1;
  trect restored;
  if (!shape_backup_restore(&tool->_backup, tool->_base._context, &restored)) return 0;
  refresh_with_remembered(tool, &restored);
  return 1;
}

static void refresh_with_remembered(shape_two_point *tool, const trect *dirty) {
  shape_refresh_remembered(tool->_base._context, &tool->_remembered, &tool->_remembered_set, dirty);
}
