// shape_points: the free-hand tools' point arrays, pen protocol and batches.
#include "shape_points.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "paint_context.h"
#include "paint_history.h"
#include "tfile.h"
#include "win_ao.h"

// The payload's size in bytes must fit its i32 field.
constexpr int32_t MAX_POINTS = INT32_MAX / 8;
// The most points of a piece stroked into a cover: the coverage of a
// scribble is the sum of its pieces' costs, which grow faster than their
// length once they cross themselves.
constexpr int32_t COVER_PIECE = 64;

struct stroke_state {
  cairo_t *cr;
  double scale;
  double width;
  shape_points_cover *cover;  // null: the pieces are stroked onto cr
  trect within;               // on a cover: the batch's pixels inside the canvas
  bool open;
  int32_t points;  // in the piece so far
  tpoint last;
  tpoint piece[COVER_PIECE];  // the piece so far, when it goes into a cover
};

static int add_point(tpoint **points, int32_t *count, int32_t *capacity, tpoint point);
static int is_marker(tpoint point);
static void flush_run(win_ao *ao, void *user_data);
static void finish_stroke(shape_points *tool);
static void begin_scale(const stroke_state *state);
static void end_scale(const stroke_state *state);
static void end_piece(stroke_state *state);
static void stroke_move(void *user, int32_t x, int32_t y);
static void stroke_line(void *user, int32_t x, int32_t y);
static int pending_box(const shape_points *tool, int32_t box[4]);
static void add_to_box(int32_t box[4], tpoint point, int *found);
static trect device_rect(const int32_t box[4], double scale, double width, const trect &canvas);
static void cover_follow_canvas(shape_points_cover *cover, cairo_surface_t *target);
static int cover_grow(shape_points_cover *cover, cairo_surface_t *target, const trect &want);
static int cover_reserve(shape_points_cover *cover, const trect &batch);
static void cover_drop(shape_points_cover *cover);
static void cover_add_piece(stroke_state *state);
static void cover_paint(shape_points_cover *cover, cairo_t *cr, const trect &part);

int shape_points_init(shape_points *tool, int32_t id, const char16_t *name, paint_context *context,
                      paint_history *history, void *extra, const shape_points_protocol *protocol) {
  PORT_CHECK(tool != nullptr && protocol != nullptr);
  shape_init(&tool->_base, id, name, context, history, extra);
  tool->_pending = static_cast<tpoint *>(std::malloc(SHAPE_POINTS_GROWTH * sizeof(tpoint)));
  tool->_stroke = static_cast<tpoint *>(std::malloc(SHAPE_POINTS_GROWTH * sizeof(tpoint)));
  if (!tool->_pending || !tool->_stroke) {
    std::free(tool->_pending);
    std::free(tool->_stroke);
    tool->_pending = tool->_stroke = nullptr;
    return 0;
  }
  tool->_pending_capacity = tool->_stroke_capacity = SHAPE_POINTS_GROWTH;
  tool->_protocol = protocol;
  shape_set_input_fn(&tool->_base, shape_points_input);
  shape_set_query_fn(&tool->_base, shape_query_none);
  shape_set_data_fn(&tool->_base, shape_points_set_data);
  return 1;
}

void shape_points_deinit(shape_points *tool) {
  PORT_CHECK(tool != nullptr);
  if (tool->_flush) win_ao_free(tool->_flush);
  tool->_flush = nullptr;
  std::free(tool->_pending);
  std::free(tool->_stroke);
  tool->_pending = tool->_stroke = nullptr;
  tool->_pending_count = tool->_stroke_count = 0;
  tool->_pending_capacity = tool->_stroke_capacity = 0;
  shape_deinit(&tool->_base);
}

int32_t shape_points_input(shape *base, int32_t type, int32_t x, int32_t y, int32_t) {
  PORT_CHECK(base != nullptr);
  shape_points *tool = reinterpret_cast<shape_points *>(base);
  tpoint origin = {0, 0};
  if (base->_context) paint_context_get_origin(base->_context, &origin);
  tpoint point = {int32_t(std::clamp<int64_t>(int64_t(x) - origin.x, INT32_MIN, INT32_MAX)),
                  int32_t(std::clamp<int64_t>(int64_t(y) - origin.y, INT32_MIN, INT32_MAX))};
  if (type == SHAPE_PEN_DOWN) {
    // A pen-down inside a stroke ends that stroke as it stands: what it drew
    // is recorded rather than left on the canvas without a record.
    if (base->_active) finish_stroke(tool);
    shape_reset(base);
    base->_active = 1;
    tool->_full = 0;
    tool->_replaying = 0;
    if (!add_point(&tool->_pending, &tool->_pending_count, &tool->_pending_capacity, point)) tool->_full = 1;
    if (tool->_protocol->on_down) tool->_protocol->on_down(tool);
    return 1;
  }
  if (!base->_active) return 0;
  if (type == SHAPE_PEN_MOVE) {
    if (!tool->_full && !add_point(&tool->_pending, &tool->_pending_count, &tool->_pending_capacity, point))
      tool->_full = 1;
    if (!tool->_flush) {
      tool->_flush = win_ao_new(0);
      win_ao_set_user_data(tool->_flush, tool);
      win_ao_set_run(tool->_flush, flush_run);
    }
    if (tool->_protocol->signal_always) {
      win_ao_cancel(tool->_flush);
      win_ao_signal(tool->_flush);
    } else if (!win_ao_is_signalled(tool->_flush)) {
      win_ao_signal(tool->_flush);
    }
    return 1;
  }
  if (type == SHAPE_PEN_UP) {
    if (!tool->_full && !add_point(&tool->_pending, &tool->_pending_count, &tool->_pending_capacity, point))
      tool->_full = 1;
    finish_stroke(tool);
    return 1;
  }
  return 0;
}

int shape_points_finish(shape *base) {
  PORT_CHECK(base != nullptr);
  if (!base->_active) return 0;
  finish_stroke(reinterpret_cast<shape_points *>(base));
  return 1;
}

void shape_points_reset(shape_points *tool) {
  PORT_CHECK(tool != nullptr);
  tool->_pending_count = 0;
  tool->_stroke_count = 0;
}

void shape_points_set_data(shape *base, const void *payload, int32_t length) {
  PORT_CHECK(base != nullptr);
  shape_points *tool = reinterpret_cast<shape_points *>(base);
  shape_reset(base);
  tool->_replaying = 1;
  if (!payload || length < 8) return;
  int32_t count = length / 8;
  if (count > tool->_pending_capacity) {
    // Grown in one step to the size asked (a multiple of 1024); a payload too
    // large for memory is drawn as far as the old capacity goes.
    int64_t capacity = (int64_t(count) + SHAPE_POINTS_GROWTH - 1) / SHAPE_POINTS_GROWTH * SHAPE_POINTS_GROWTH;
    void *grown = std::realloc(tool->_pending, size_t(capacity) * sizeof(tpoint));
    if (grown) {
      tool->_pending = static_cast<tpoint *>(grown);
      tool->_pending_capacity = int32_t(capacity);
    }
    count = std::min(count, tool->_pending_capacity);
  }
  const uint8_t *bytes = static_cast<const uint8_t *>(payload);
  for (int32_t i = 0; i < count; i++) {
    const uint8_t *at = bytes + size_t(i) * 8;
    tool->_pending[i] = {int32_t(tfile_get_u32(at)), int32_t(tfile_get_u32(at + 4))};
  }
  tool->_pending_count = count;
}

int shape_points_take_batch(shape_points *tool, const shape_points_walk *walk, int32_t box[4]) {
  PORT_CHECK(tool != nullptr && walk != nullptr && box != nullptr);
  if (tool->_pending_count == 0) return 0;
  bool gather = !tool->_replaying;
  if (gather && tool->_stroke_count > 0) {
    tpoint marker = {SHAPE_POINT_MARKER, SHAPE_POINT_MARKER};
    if (!add_point(&tool->_stroke, &tool->_stroke_count, &tool->_stroke_capacity, marker)) {
      tool->_full = 1;
      return 0;
    }
  }
  int found = 0;
  bool new_piece = true;
  int32_t taken = 0;
  for (; taken < tool->_pending_count; taken++) {
    tpoint point = tool->_pending[taken];
    // A point the stroke cannot hold is not drawn either: the record and the
    // canvas end at the same point.
    if (gather && !add_point(&tool->_stroke, &tool->_stroke_count, &tool->_stroke_capacity, point)) {
      tool->_full = 1;
      break;
    }
    if (is_marker(point)) {
      new_piece = true;
      continue;
    }
    add_to_box(box, point, &found);
    if (new_piece)
      walk->move(walk->user, point.x, point.y);
    else
      walk->line(walk->user, point.x, point.y);
    new_piece = false;
  }
  if (taken > 0) tool->_pending[0] = tool->_pending[taken - 1];
  tool->_pending_count = taken > 0 ? 1 : 0;
  return found;
}

int shape_points_stroke(shape_points *tool, cairo_t *cr, double scale, double width, shape_points_cover *cover,
                        trect *dirty) {
  PORT_CHECK(tool != nullptr && cr != nullptr && dirty != nullptr);
  int32_t box[4];
  if (!pending_box(tool, box)) {
    int32_t ignored[4];
    shape_points_walk none = {[](void *, int32_t, int32_t) {}, [](void *, int32_t, int32_t) {}, nullptr};
    shape_points_take_batch(tool, &none, ignored);
    return 0;
  }
  cairo_surface_t *target = cairo_get_target(cr);
  trect painted = {0, 0, -1, -1};
  if (cover && !cover->_failed) {
    PORT_CHECK(cairo_surface_get_type(target) == CAIRO_SURFACE_TYPE_IMAGE &&
               cairo_image_surface_get_format(target) == CAIRO_FORMAT_ARGB32);
    cover_follow_canvas(cover, target);
    trect canvas = {0, 0, cairo_image_surface_get_width(target) - 1, cairo_image_surface_get_height(target) - 1};
    painted = device_rect(box, scale, width, canvas);
    if (painted.x1 <= painted.x2 && painted.y1 <= painted.y2 &&
        (!cover_grow(cover, target, painted) || !cover_reserve(cover, painted))) {
      cover_drop(cover);
      cover->_failed = 1;
    }
  }
  stroke_state state = {cr, scale, width, cover && !cover->_failed ? cover : nullptr, painted, false, 0, {0, 0}, {}};
  shape_points_walk walk = {stroke_move, stroke_line, &state};
  if (!state.cover) {
    cairo_new_path(cr);
    begin_scale(&state);
  }
  int found = shape_points_take_batch(tool, &walk, box);
  end_piece(&state);
  if (!state.cover) end_scale(&state);
  bool covered = state.cover != nullptr;
  if (!found) return 0;
  *dirty = shape_dirty_rect(box[0] * scale, box[1] * scale, box[2] * scale, box[3] * scale, width);
  if (covered && painted.x1 <= painted.x2 && painted.y1 <= painted.y2) cover_paint(cover, cr, painted);
  return 1;
}

void shape_points_cover_begin(shape_points_cover *cover, int keep_under) {
  PORT_CHECK(cover != nullptr);
  shape_points_cover_end(cover);
  cover->_keep_under = keep_under;
}

void shape_points_cover_end(shape_points_cover *cover) {
  PORT_CHECK(cover != nullptr);
  std::free(cover->_mask);
  std::free(cover->_under);
  std::free(cover->_scratch);
  *cover = shape_points_cover{};
}

const uint8_t *shape_points_payload(shape_points *tool, int32_t *size) {
  PORT_CHECK(tool != nullptr && size != nullptr);
  static_assert(sizeof(tpoint) == 8, "a stored point is two 32-bit words");
  uint8_t *bytes = reinterpret_cast<uint8_t *>(tool->_stroke);
  for (int32_t i = 0; i < tool->_stroke_count; i++) {
    uint32_t x = uint32_t(tool->_stroke[i].x), y = uint32_t(tool->_stroke[i].y);
    uint8_t *at = bytes + size_t(i) * 8;
    for (int b = 0; b < 4; b++) {
      at[b] = uint8_t(x >> (8 * b));
      at[4 + b] = uint8_t(y >> (8 * b));
    }
  }
  *size = tool->_stroke_count * 8;
  return bytes;
}

static int add_point(tpoint **points, int32_t *count, int32_t *capacity, tpoint point) {
  if (*count >= MAX_POINTS) return 0;
  if (*count == *capacity) {
    int32_t grown_capacity = std::min(*capacity + SHAPE_POINTS_GROWTH, MAX_POINTS);
    void *grown = std::realloc(*points, size_t(grown_capacity) * sizeof(tpoint));
    if (!grown) return 0;
    *points = static_cast<tpoint *>(grown);
    *capacity = grown_capacity;
  }
  (*points)[(*count)++] = point;
  return 1;
}

static int is_marker(tpoint point) { return point.x == SHAPE_POINT_MARKER && point.y == SHAPE_POINT_MARKER; }

static void flush_run(win_ao *, void *user_data) {
  shape_points *tool = static_cast<shape_points *>(user_data);
  tool->_protocol->flush(tool);
}

// Pen-up: a flush still waiting for the loop is cancelled (it would run on
// the emptied arrays), the last batch is drawn here and the stroke recorded.
// The tool is idle before: a refused record is taken back by a replay, which
// draws strokes through this tool (the stroke's array stays as it is).
static void finish_stroke(shape_points *tool) {
  shape *base = &tool->_base;
  if (tool->_flush) win_ao_cancel(tool->_flush);
  tool->_finishing = 1;
  tool->_protocol->flush(tool);
  tool->_finishing = 0;
  int32_t size = 0;
  const uint8_t *payload = shape_points_payload(tool, &size);
  base->_active = 0;
  if (tool->_protocol->on_up) tool->_protocol->on_up(tool);
  bool refused =
      base->_history && size > 0 && !shape_record_step(base->_history, base->_id, payload, size, nullptr, nullptr);
  shape_reset(base);
  if (refused) shape_report_refused(base);
}

static void begin_scale(const stroke_state *state) {
  if (state->scale == 1.0) return;
  cairo_save(state->cr);
  cairo_scale(state->cr, state->scale, state->scale);
}

static void end_scale(const stroke_state *state) {
  if (state->scale != 1.0) cairo_restore(state->cr);
}

// Each piece is its own stroke, as each batch was when it was drawn live:
// the antialiased rims where pieces meet are painted twice both times (on a
// cover, the larger coverage of the two is kept).
static void end_piece(stroke_state *state) {
  if (!state->open) return;
  if (state->cover) {
    cover_add_piece(state);
  } else {
    end_scale(state);
    cairo_stroke(state->cr);
    begin_scale(state);
  }
  state->open = false;
}

static void stroke_move(void *user, int32_t x, int32_t y) {
  stroke_state *state = static_cast<stroke_state *>(user);
  end_piece(state);
  if (!state->cover) cairo_move_to(state->cr, x, y);
  state->piece[0] = {x, y};
  state->open = true;
  state->points = 1;
  state->last = {x, y};
}

// A piece longer than SHAPE_POINTS_PIECE_POINTS (COVER_PIECE on a cover)
// goes on as a new piece from its last point: what a stroke costs cairo grows
// faster than its length once it crosses itself, so no stroke is longer.
static void stroke_line(void *user, int32_t x, int32_t y) {
  stroke_state *state = static_cast<stroke_state *>(user);
  if (state->points >= (state->cover ? COVER_PIECE : SHAPE_POINTS_PIECE_POINTS)) stroke_move(user, state->last.x, state->last.y);
  if (state->cover)
    state->piece[state->points] = {x, y};
  else
    cairo_line_to(state->cr, x, y);
  state->points++;
  state->last = {x, y};
}

// Widens box to take point in; the first point (found 0) starts it.
static void add_to_box(int32_t box[4], tpoint point, int *found) {
  if (!*found) {
    box[0] = box[2] = point.x;
    box[1] = box[3] = point.y;
    *found = 1;
    return;
  }
  box[0] = std::min(box[0], point.x);
  box[1] = std::min(box[1], point.y);
  box[2] = std::max(box[2], point.x);
  box[3] = std::max(box[3], point.y);
}

// The bounding box of the pending points, markers left out; 0 when there is
// none.
static int pending_box(const shape_points *tool, int32_t box[4]) {
  int found = 0;
  for (int32_t i = 0; i < tool->_pending_count; i++) {
    tpoint point = tool->_pending[i];
    if (is_marker(point)) continue;
    add_to_box(box, point, &found);
  }
  return found;
}

// The pixels a stroke of these points may touch, within the canvas (empty,
// x1 > x2, when none).
static trect device_rect(const int32_t box[4], double scale, double width, const trect &canvas) {
  trect r = shape_dirty_rect(box[0] * scale, box[1] * scale, box[2] * scale, box[3] * scale, width);
  return {std::max(r.x1, canvas.x1), std::max(r.y1, canvas.y1), std::min(r.x2, canvas.x2), std::min(r.y2, canvas.y2)};
}

// A cover belongs to one canvas: on another one (after a zoom or an open)
// it starts afresh.
static void cover_follow_canvas(shape_points_cover *cover, cairo_surface_t *target) {
  const uint8_t *data = cairo_image_surface_get_data(target);
  int32_t width = cairo_image_surface_get_width(target), height = cairo_image_surface_get_height(target);
  int32_t stride = cairo_image_surface_get_stride(target);
  if (cover->_mask && cover->_canvas_data == data && cover->_canvas_width == width &&
      cover->_canvas_height == height && cover->_canvas_stride == stride)
    return;
  cover_drop(cover);
  cover->_canvas_data = data;
  cover->_canvas_width = width;
  cover->_canvas_height = height;
  cover->_canvas_stride = stride;
}

// Makes the cover hold `want` (inside the canvas) too. A growing side moves
// out by at least half the area's size, within the canvas. The canvas outside
// the old area holds no stroke yet, so its pixels there are the pen-down ones.
static int cover_grow(shape_points_cover *cover, cairo_surface_t *target, const trect &want) {
  trect held = cover->_area;
  if (cover->_mask && want.x1 >= held.x1 && want.y1 >= held.y1 && want.x2 <= held.x2 && want.y2 <= held.y2)
    return 1;
  int32_t canvas_w = cairo_image_surface_get_width(target), canvas_h = cairo_image_surface_get_height(target);
  trect area = want;
  if (cover->_mask) {
    int32_t half_w = (held.x2 - held.x1 + 1) / 2, half_h = (held.y2 - held.y1 + 1) / 2;
    if (want.x1 < held.x1) area.x1 = std::max(0, std::min(want.x1, held.x1 - half_w));
    else area.x1 = held.x1;
    if (want.y1 < held.y1) area.y1 = std::max(0, std::min(want.y1, held.y1 - half_h));
    else area.y1 = held.y1;
    if (want.x2 > held.x2) area.x2 = std::min(canvas_w - 1, std::max(want.x2, held.x2 + half_w));
    else area.x2 = held.x2;
    if (want.y2 > held.y2) area.y2 = std::min(canvas_h - 1, std::max(want.y2, held.y2 + half_h));
    else area.y2 = held.y2;
  }
  int32_t width = area.x2 - area.x1 + 1, height = area.y2 - area.y1 + 1;
  int32_t mask_stride = cairo_format_stride_for_width(CAIRO_FORMAT_A8, width);
  if (mask_stride <= 0) return 0;
  auto *mask = static_cast<uint8_t *>(std::calloc(size_t(mask_stride) * size_t(height), 1));
  uint32_t *under = nullptr;
  if (mask && cover->_keep_under) under = static_cast<uint32_t *>(std::malloc(size_t(width) * size_t(height) * 4));
  if (!mask || (cover->_keep_under && !under)) {
    std::free(mask);
    std::free(under);
    return 0;
  }
  if (under) {
    cairo_surface_flush(target);
    const uint8_t *canvas = cairo_image_surface_get_data(target);
    int32_t canvas_stride = cairo_image_surface_get_stride(target);
    for (int32_t y = area.y1; y <= area.y2; y++)
      std::memcpy(under + size_t(y - area.y1) * size_t(width), canvas + size_t(y) * size_t(canvas_stride) + size_t(area.x1) * 4,
                  size_t(width) * 4);
  }
  if (cover->_mask) {
    int32_t held_w = held.x2 - held.x1 + 1;
    for (int32_t y = held.y1; y <= held.y2; y++) {
      std::memcpy(mask + size_t(y - area.y1) * size_t(mask_stride) + size_t(held.x1 - area.x1),
                  cover->_mask + size_t(y - held.y1) * size_t(cover->_mask_stride), size_t(held_w));
      if (under)
        std::memcpy(under + size_t(y - area.y1) * size_t(width) + size_t(held.x1 - area.x1),
                    cover->_under + size_t(y - held.y1) * size_t(held_w), size_t(held_w) * 4);
    }
  }
  std::free(cover->_mask);
  std::free(cover->_under);
  cover->_mask = mask;
  cover->_mask_stride = mask_stride;
  cover->_under = under;
  cover->_area = area;
  return 1;
}

// The scratch is made large enough for any piece of the batch: a piece lies
// within the batch's rectangle.
static int cover_reserve(shape_points_cover *cover, const trect &batch) {
  size_t size = size_t(cairo_format_stride_for_width(CAIRO_FORMAT_A8, batch.x2 - batch.x1 + 1)) *
                size_t(batch.y2 - batch.y1 + 1);
  if (size <= cover->_scratch_size) return 1;
  void *grown = std::realloc(cover->_scratch, size);
  if (!grown) return 0;
  cover->_scratch = static_cast<uint8_t *>(grown);
  cover->_scratch_size = size;
  return 1;
}

// Forgets the coverage and the pen-down pixels.
static void cover_drop(shape_points_cover *cover) {
  std::free(cover->_mask);
  std::free(cover->_under);
  cover->_mask = nullptr;
  cover->_under = nullptr;
}

// Strokes the piece opaque into the scratch over the pixels it may touch
// (those inside the cover's area) and keeps the larger coverage in the mask.
static void cover_add_piece(stroke_state *state) {
  shape_points_cover *cover = state->cover;
  int32_t box[4];
  int found = 0;
  for (int32_t i = 0; i < state->points; i++) add_to_box(box, state->piece[i], &found);
  trect r = device_rect(box, state->scale, state->width, state->within);
  if (r.x1 > r.x2 || r.y1 > r.y2) return;
  int32_t width = r.x2 - r.x1 + 1, height = r.y2 - r.y1 + 1;
  int32_t stride = cairo_format_stride_for_width(CAIRO_FORMAT_A8, width);
  size_t size = size_t(stride) * size_t(height);
  std::memset(cover->_scratch, 0, size);
  cairo_surface_t *surface = cairo_image_surface_create_for_data(cover->_scratch, CAIRO_FORMAT_A8, width, height, stride);
  cairo_t *cr = cairo_create(surface);
  if (cairo_status(cr) == CAIRO_STATUS_SUCCESS) {
    cairo_translate(cr, -r.x1, -r.y1);
    cairo_set_line_width(cr, state->width);
    cairo_set_line_cap(cr, cairo_get_line_cap(state->cr));
    cairo_set_line_join(cr, cairo_get_line_join(state->cr));
    cairo_save(cr);
    if (state->scale != 1.0) cairo_scale(cr, state->scale, state->scale);
    cairo_move_to(cr, state->piece[0].x, state->piece[0].y);
    for (int32_t i = 1; i < state->points; i++) cairo_line_to(cr, state->piece[i].x, state->piece[i].y);
    cairo_restore(cr);
    cairo_stroke(cr);
  }
  cairo_destroy(cr);
  cairo_surface_flush(surface);
  cairo_surface_destroy(surface);
  for (int32_t y = 0; y < height; y++) {
    const uint8_t *from = cover->_scratch + size_t(y) * size_t(stride);
    uint8_t *to = cover->_mask + size_t(r.y1 - cover->_area.y1 + y) * size_t(cover->_mask_stride) +
                  size_t(r.x1 - cover->_area.x1);
    for (int32_t x = 0; x < width; x++) to[x] = std::max(to[x], from[x]);
  }
}

// Paints `part` (inside the cover's area) as the pen-down pixels with cr's
// source through the mask over them.
static void cover_paint(shape_points_cover *cover, cairo_t *cr, const trect &part) {
  cairo_surface_t *target = cairo_get_target(cr);
  const trect &area = cover->_area;
  int32_t area_w = area.x2 - area.x1 + 1, area_h = area.y2 - area.y1 + 1;
  if (cover->_under) {
    cairo_surface_flush(target);
    uint8_t *canvas = cairo_image_surface_get_data(target);
    int32_t canvas_stride = cairo_image_surface_get_stride(target);
    for (int32_t y = part.y1; y <= part.y2; y++)
      std::memcpy(canvas + size_t(y) * size_t(canvas_stride) + size_t(part.x1) * 4,
                  cover->_under + size_t(y - area.y1) * size_t(area_w) + size_t(part.x1 - area.x1),
                  size_t(part.x2 - part.x1 + 1) * 4);
    cairo_surface_mark_dirty_rectangle(target, part.x1, part.y1, part.x2 - part.x1 + 1, part.y2 - part.y1 + 1);
  }
  cairo_surface_t *mask =
      cairo_image_surface_create_for_data(cover->_mask, CAIRO_FORMAT_A8, area_w, area_h, cover->_mask_stride);
  cairo_save(cr);
  cairo_new_path(cr);
  cairo_rectangle(cr, part.x1, part.y1, part.x2 - part.x1 + 1, part.y2 - part.y1 + 1);
  cairo_clip(cr);
  cairo_mask_surface(cr, mask, area.x1, area.y1);
  cairo_restore(cr);
  cairo_surface_destroy(mask);
}
