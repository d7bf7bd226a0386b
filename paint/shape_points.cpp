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

struct stroke_state {
  cairo_t *cr;
  double scale;
  bool whole;
  bool open;
  int32_t points;  // in the path since the last stroke
  tpoint last;
};

static int add_point(tpoint **points, int32_t *count, int32_t *capacity, tpoint point);
static int is_marker(tpoint point);
static void flush_run(win_ao *ao, void *user_data);
static void finish_stroke(shape_points *tool);
static void begin_scale(const stroke_state *state);
static void end_scale(const stroke_state *state);
static void stroke_move(void *user, int32_t x, int32_t y);
static void stroke_line(void *user, int32_t x, int32_t y);

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

void shape_points_finish(shape *base) {
  PORT_CHECK(base != nullptr);
  if (base->_active) finish_stroke(reinterpret_cast<shape_points *>(base));
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
    if (!found) {
      box[0] = box[2] = point.x;
      box[1] = box[3] = point.y;
      found = 1;
    } else {
      box[0] = std::min(box[0], point.x);
      box[1] = std::min(box[1], point.y);
      box[2] = std::max(box[2], point.x);
      box[3] = std::max(box[3], point.y);
    }
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

int shape_points_stroke(shape_points *tool, cairo_t *cr, double scale, double width, int whole, int keep,
                        int (*guard)(shape_points *tool, const trect *dirty), trect *dirty) {
  PORT_CHECK(tool != nullptr && cr != nullptr && dirty != nullptr);
  stroke_state state = {cr, scale, whole != 0, false, 0, {0, 0}};
  shape_points_walk walk = {stroke_move, stroke_line, &state};
  begin_scale(&state);
  int32_t box[4];
  int found = shape_points_take_batch(tool, &walk, box);
  end_scale(&state);
  if (!found) {
    if (!keep) cairo_new_path(cr);
    return 0;
  }
  *dirty = shape_dirty_rect(box[0] * scale, box[1] * scale, box[2] * scale, box[3] * scale, width);
  if (whole && guard && !guard(tool, dirty)) {
    if (!keep) cairo_new_path(cr);
    return 1;
  }
  if (keep)
    cairo_stroke_preserve(cr);
  else
    cairo_stroke(cr);
  return 1;
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
static void finish_stroke(shape_points *tool) {
  shape *base = &tool->_base;
  if (tool->_flush) win_ao_cancel(tool->_flush);
  tool->_finishing = 1;
  tool->_protocol->flush(tool);
  tool->_finishing = 0;
  int32_t size = 0;
  const uint8_t *payload = shape_points_payload(tool, &size);
  if (base->_history && size > 0) paint_history_add(base->_history, base->_id, payload, size);
  base->_active = 0;
  if (tool->_protocol->on_up) tool->_protocol->on_up(tool);
  shape_reset(base);
}

static void begin_scale(const stroke_state *state) {
  if (state->scale == 1.0) return;
  cairo_save(state->cr);
  cairo_scale(state->cr, state->scale, state->scale);
}

static void end_scale(const stroke_state *state) {
  if (state->scale != 1.0) cairo_restore(state->cr);
}

static void stroke_move(void *user, int32_t x, int32_t y) {
  stroke_state *state = static_cast<stroke_state *>(user);
  // Each piece is its own stroke, as each batch was when it was drawn live:
  // the antialiased rims where pieces meet are painted twice both times.
  if (!state->whole && state->open) {
    end_scale(state);
    cairo_stroke(state->cr);
    begin_scale(state);
  }
  cairo_move_to(state->cr, x, y);
  state->open = true;
  state->points = 1;
  state->last = {x, y};
}

// An opaque piece longer than SHAPE_POINTS_PIECE_POINTS goes on as a new
// piece from its last point: what a stroke costs cairo grows faster than its
// length once it crosses itself, so no stroke is longer than that.
static void stroke_line(void *user, int32_t x, int32_t y) {
  stroke_state *state = static_cast<stroke_state *>(user);
  if (!state->whole && state->points >= SHAPE_POINTS_PIECE_POINTS) stroke_move(user, state->last.x, state->last.y);
  cairo_line_to(state->cr, x, y);
  state->points++;
  state->last = {x, y};
}
