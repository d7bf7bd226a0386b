// tform: entries, bars, focus moves, key and pen scrolling, animation.
#include "tform.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "port_device.h"
#include "port_log.h"
#include "tscreen.h"
#include "tstyler.h"
#include "wins_timer.h"

constexpr uint32_t KEY_LEFT = 0xF807, KEY_RIGHT = 0xF808, KEY_UP = 0xF809, KEY_DOWN = 0xF80A;
constexpr int32_t ENTRY_GROWTH = 16;
constexpr int32_t FRAME_GAP = 2;          // the focus frame lies this far outside the child
constexpr int32_t DRAG_SLOP = 4;          // pen travel that does not scroll yet
constexpr int32_t FLING_SCALE = 400;      // velocity = pixels x 400 / ms
constexpr uint32_t TIMER_MS = 10;
constexpr int32_t NO_DISTANCE = 0x0FFFFFFF;

enum direction { GO_UP, GO_DOWN, GO_LEFT, GO_RIGHT };

static void tform_on_paint(tcontrol *control, tcanvas *canvas, const trect *rect);
static void tform_on_layout(tcontrol *control, const trect *rect);
static int tform_on_key(tcontrol *control, uint32_t code, uint32_t repeat, uint32_t modifiers);
static int tform_on_pen(tcontrol *control, int type, int32_t x, int32_t y, uint32_t modifiers);
static int32_t child_count(tcontrol *control);
static tcontrol *child_at(tcontrol *control, int32_t index);
static void tform_on_scrollbar_change(tscrollbar *bar, int32_t position);
static void tform_on_scroll_timer(uint32_t id, void *user_data);
static tform *form_of(tcontrol *control);
static void update(tform *form);
static bool scroll_in_place(tform *form);
static bool plain_background(const tform *form, int32_t dx, int32_t dy, trect *out);
static void redraw_part(tform *form, const trect *part);
static uint64_t drawn_signature(const tform *form);
static void measure_extent(tform *form);
static void widen_extent(tform *form, const trect *home);
static void compute_content(tform *form);
static void tform_update_scrollbar_visibility(tform *form);
static void tform_update_scrollbar_ranges(tform *form);
static int32_t max_x(const tform *form);
static int32_t max_y(const tform *form);
static int32_t clamp_offset(int32_t offset, int32_t max);
static void tform_apply_scroll(tform *form, bool horizontal, bool vertical);
static void tform_show_focus_frame(tform *form);
static void hide_focus_frame(tform *form);
static void change_focus(tform *form, int32_t index);
static bool can_take_focus(tcontrol *control);
static std::vector<int32_t> tform_get_children_in_view(const tform *form);
static int focus_move(tform *form, direction dir);
static int focus_first_in_view(tform *form);
static void tform_scroll_into_view(tform *form, tcontrol *child);
static void tform_scroll_animated(tform *form, int32_t target_x, int32_t target_y);
static void start_timer(tform *form);
static void stop_timer(tform *form);
static void finish_animation(tform *form);
static void pen_up(tform *form);
static const trect *rect_of(const tcontrol *control);
static int32_t width_of(const trect *r);
static int32_t height_of(const trect *r);

static tform_measure_fn g_measure_hook = nullptr;

int tform_init(tform *form, tcontrol *parent, const trect *rect, void *owner) {
  PORT_CHECK(form != nullptr);
  std::memset(form, 0, sizeof *form);
  tcontrol *control = &form->_control;
  if (!tcontrol_init(control, parent, rect, owner)) return 0;
  form->_entries = static_cast<tform_entry **>(std::calloc(ENTRY_GROWTH, sizeof(tform_entry *)));
  form->_capacity = form->_entries ? ENTRY_GROWTH : 0;
  form->_bar_size = 5;
  form->_step = 20;
  form->_focus = -1;
  form->_animation_steps = 4;
  measure_extent(form);
  trect empty = {0, 0, -1, -1};
  form->_vbar = tscrollbar_new(control, &empty, 1, form);
  form->_hbar = tscrollbar_new(control, &empty, 0, form);
  form->_focus_frame = tcontrol_new(control, &empty, nullptr);
  if (!form->_entries || !form->_vbar || !form->_hbar || !form->_focus_frame) {
    tform_deinit(form);
    return 0;
  }
  tscrollbar_set_on_change(form->_vbar, tform_on_scrollbar_change);
  tcontrol_set_align(&form->_vbar->_control, TCONTROL_ALIGN_RIGHT);
  tcontrol_set_width(&form->_vbar->_control, form->_bar_size);
  tscrollbar_set_on_change(form->_hbar, tform_on_scrollbar_change);
  tcontrol_set_align(&form->_hbar->_control, TCONTROL_ALIGN_BOTTOM);
  tcontrol_set_height(&form->_hbar->_control, form->_bar_size);

  // Only the light blue outline shows: the fill is the key colour.
  tcontrol *frame = form->_focus_frame;
  tsurface_set_visible(&frame->_surface, 0);
  tbdrawer *look = tcontrol_get_box_drawer(frame);
  tbdrawer_set_fill_color(look, tcolor_rgba(255, 0, 255));
  tbdrawer_set_border(look, tcolor_rgba(128, 128, 255), 1);
  tsurface_set_color_key(&frame->_surface, tcolor_rgba(255, 0, 255));

  tcontrol_set_on_paint(control, tform_on_paint);
  tcontrol_set_on_layout(control, tform_on_layout);
  tcontrol_set_children_fns(control, child_count, child_at);
  tcontrol_set_on_key(control, tform_on_key);
  tcontrol_set_on_pen(control, tform_on_pen);
  tstyler_apply(tstyler_get_default(), form, TSTYLE_FORM, owner, 0);
  return 1;
}

tform *tform_new(tcontrol *parent, const trect *rect, void *owner) {
  tform *form = static_cast<tform *>(std::calloc(1, sizeof(tform)));
  if (!form) return nullptr;
  if (!tform_init(form, parent, rect, owner)) {
    std::free(form);
    return nullptr;
  }
  return form;
}

void tform_deinit(tform *form) {
  PORT_CHECK(form != nullptr);
  stop_timer(form);
  if (form->_alive) *form->_alive = false;
  for (int32_t i = 0; i < form->_count; i++) std::free(form->_entries[i]);
  std::free(form->_entries);
  form->_entries = nullptr;
  form->_count = form->_capacity = 0;
  if (form->_focus_frame) tcontrol_free(form->_focus_frame);
  if (form->_vbar) tscrollbar_free(form->_vbar);
  if (form->_hbar) tscrollbar_free(form->_hbar);
  form->_focus_frame = nullptr;
  form->_vbar = form->_hbar = nullptr;
  tcontrol_deinit(&form->_control);
}

void tform_free(tform *form) {
  PORT_CHECK(form != nullptr);
  tform_deinit(form);
  std::free(form);
}

int tform_add_child(tform *form, int32_t id, tcontrol *control) {
  PORT_CHECK(form != nullptr && control != nullptr);
  if (form->_count == form->_capacity) {
    int32_t capacity = form->_capacity + ENTRY_GROWTH;
    void *grown = std::realloc(form->_entries, size_t(capacity) * sizeof(tform_entry *));
    if (!grown) return 0;
    form->_entries = static_cast<tform_entry **>(grown);
    form->_capacity = capacity;
  }
  tform_entry *entry = static_cast<tform_entry *>(std::calloc(1, sizeof(tform_entry)));
  if (!entry) return 0;
  entry->_id = id;
  entry->_control = control;
  entry->_home = *rect_of(control);
  form->_entries[form->_count++] = entry;
  tsurface_set_parent(&control->_surface, &form->_control._surface);
  // A child joining a form already on screen needs a buffer with its look.
  if (tsurface_is_realized(&form->_control._surface)) tsurface_realize(&control->_surface);
  widen_extent(form, &entry->_home);
  compute_content(form);
  tform_update_scrollbar_visibility(form);
  tform_update_scrollbar_ranges(form);
  return 1;
}

int tform_remove_child(tform *form, tcontrol *control) {
  PORT_CHECK(form != nullptr);
  // From the end: the child taken out is most often the one added last.
  int32_t index = form->_count - 1;
  while (index >= 0 && form->_entries[index]->_control != control) index--;
  if (index < 0) return 0;
  trect home = form->_entries[index]->_home;
  std::free(form->_entries[index]);
  std::copy(form->_entries + index + 1, form->_entries + form->_count, form->_entries + index);
  form->_count--;
  // Only a child on an edge of the extent can have held it out there.
  trect_normalize(&home);
  const trect &extent = form->_extent;
  if (home.x1 <= extent.x1 || home.y1 <= extent.y1 || home.x2 >= extent.x2 || home.y2 >= extent.y2) {
    measure_extent(form);
    compute_content(form);
    tform_update_scrollbar_visibility(form);
    tform_update_scrollbar_ranges(form);
  }
  // The index follows its child; a focused child that goes takes the focus along.
  if (form->_focus == index) {
    form->_focus = -1;
    hide_focus_frame(form);
  } else if (form->_focus > index) {
    form->_focus--;
  }
  return 1;
}

void tform_clear_children(tform *form) {
  PORT_CHECK(form != nullptr);
  stop_timer(form);
  if (form->_focus >= 0) tcontrol_set_focus(form->_entries[form->_focus]->_control, 0);
  hide_focus_frame(form);
  for (int32_t i = 0; i < form->_count; i++) std::free(form->_entries[i]);
  form->_count = 0;
  form->_focus = -1;
  form->_scroll_x = form->_scroll_y = 0;
  measure_extent(form);
  compute_content(form);
}

tcontrol *tform_get_child_by_id(const tform *form, int32_t id) {
  PORT_CHECK(form != nullptr);
  for (int32_t i = 0; i < form->_count; i++)
    if (form->_entries[i]->_id == id) return form->_entries[i]->_control;
  return nullptr;
}

int32_t tform_get_child_count(const tform *form) {
  PORT_CHECK(form != nullptr);
  return form->_count;
}

tcontrol *tform_get_child_at(const tform *form, int32_t index) {
  PORT_CHECK(form != nullptr);
  return index >= 0 && index < form->_count ? form->_entries[index]->_control : nullptr;
}

int32_t tform_get_child_index(const tform *form, const tcontrol *control) {
  PORT_CHECK(form != nullptr);
  for (int32_t i = 0; i < form->_count; i++)
    if (form->_entries[i]->_control == control) return i;
  return -1;
}

int tform_set_focus(tform *form, tcontrol *control) {
  PORT_CHECK(form != nullptr && control != nullptr);
  int32_t index = tform_get_child_index(form, control);
  if (index < 0 || !tcontrol_is_focusable(control)) return 0;
  change_focus(form, index);
  update(form);
  return 1;
}

void tform_focus_first(tform *form) {
  PORT_CHECK(form != nullptr);
  stop_timer(form);
  form->_scroll_x = form->_scroll_y = 0;
  tform_apply_scroll(form, true, true);
  focus_first_in_view(form);
  update(form);
}

void tform_scroll_to_focused(tform *form) {
  PORT_CHECK(form != nullptr);
  if (form->_focus < 0) return;
  tform_scroll_into_view(form, form->_entries[form->_focus]->_control);
  update(form);
}

void tform_set_focus_frame_hidden(tform *form, int hidden) {
  PORT_CHECK(form != nullptr);
  form->_focus_frame_hidden = hidden ? 1 : 0;
  if (hidden)
    hide_focus_frame(form);
  else if (form->_focus >= 0)
    tform_show_focus_frame(form);
}

void tform_set_scrollbar_size(tform *form, int32_t size) {
  PORT_CHECK(form != nullptr);
  form->_bar_size = size;
  tcontrol_set_width(&form->_vbar->_control, size);
  tcontrol_set_height(&form->_hbar->_control, size);
  tform_update_scrollbar_visibility(form);
  tform_update_scrollbar_ranges(form);
}

tscrollbar *tform_get_vscrollbar(const tform *form) {
  PORT_CHECK(form != nullptr);
  return form->_vbar;
}

void tform_set_hscroll_hidden(tform *form, int hidden) {
  PORT_CHECK(form != nullptr);
  form->_hide_h = hidden ? 1 : 0;
  tform_update_scrollbar_visibility(form);
  tform_update_scrollbar_ranges(form);
}

void tform_set_vscroll_hidden(tform *form, int hidden) {
  PORT_CHECK(form != nullptr);
  form->_hide_v = hidden ? 1 : 0;
  tform_update_scrollbar_visibility(form);
  tform_update_scrollbar_ranges(form);
}

void tform_set_vdrag_locked(tform *form, int locked) {
  PORT_CHECK(form != nullptr);
  form->_lock_v = locked ? 1 : 0;
}

void tform_set_hdrag_locked(tform *form, int locked) {
  PORT_CHECK(form != nullptr);
  form->_lock_h = locked ? 1 : 0;
}

void tform_set_drag_through_children(tform *form, int flag) {
  PORT_CHECK(form != nullptr);
  form->_drag_through = flag ? 1 : 0;
}

void tform_set_animated_scroll(tform *form, int animated) {
  PORT_CHECK(form != nullptr);
  form->_animated = animated ? 1 : 0;
}

void tform_set_margins(tform *form, int32_t left, int32_t top, int32_t right, int32_t bottom) {
  PORT_CHECK(form != nullptr);
  form->_margin_left = left;
  form->_margin_top = top;
  form->_margin_right = right;
  form->_margin_bottom = bottom;
  compute_content(form);
}

void tform_reset_scroll_offsets(tform *form) {
  PORT_CHECK(form != nullptr);
  form->_scroll_x = form->_scroll_y = 0;
}

void tform_save_child_rects(tform *form) {
  PORT_CHECK(form != nullptr);
  for (int32_t i = 0; i < form->_count; i++) {
    trect home = *rect_of(form->_entries[i]->_control);
    home.x1 += form->_scroll_x;
    home.x2 += form->_scroll_x;
    home.y1 += form->_scroll_y;
    home.y2 += form->_scroll_y;
    form->_entries[i]->_home = home;
  }
  measure_extent(form);
  compute_content(form);
}

const trect *tform_get_content_rect(const tform *form) {
  PORT_CHECK(form != nullptr);
  return &form->_content;
}

int32_t tform_get_drag_dx(const tform *form) {
  PORT_CHECK(form != nullptr);
  return form->_last_x - form->_press_x;
}

int32_t tform_get_drag_dy(const tform *form) {
  PORT_CHECK(form != nullptr);
  return form->_last_y - form->_press_y;
}

tform_layout_fn tform_set_on_layout(tform *form, tform_layout_fn on_layout) {
  PORT_CHECK(form != nullptr);
  tform_layout_fn previous = form->_on_layout;
  form->_on_layout = on_layout;
  return previous;
}

tform_scroll_fn tform_set_on_scroll(tform *form, tform_scroll_fn on_scroll) {
  PORT_CHECK(form != nullptr);
  tform_scroll_fn previous = form->_on_scroll;
  form->_on_scroll = on_scroll;
  return previous;
}

tform_notify_fn tform_set_on_pen_down(tform *form, tform_notify_fn on_pen_down) {
  PORT_CHECK(form != nullptr);
  tform_notify_fn previous = form->_on_pen_down;
  form->_on_pen_down = on_pen_down;
  return previous;
}

tform_notify_fn tform_set_on_pen_up(tform *form, tform_notify_fn on_pen_up) {
  PORT_CHECK(form != nullptr);
  tform_notify_fn previous = form->_on_pen_up;
  form->_on_pen_up = on_pen_up;
  return previous;
}

tform_measure_fn tform_set_measure_hook(tform_measure_fn hook) {
  tform_measure_fn previous = g_measure_hook;
  g_measure_hook = hook;
  return previous;
}

// The box over the whole rect, then a clip to the client rect so that the
// children, frame and bars composed next stay inside it.
static void tform_on_paint(tcontrol *control, tcanvas *canvas, const trect *rect) {
  tcanvas_clear_clip(canvas);
  if (control->_bdrawer && tbdrawer_get_draw_func(control->_bdrawer)) tbdrawer_draw(control->_bdrawer, canvas, rect);
  tcanvas_set_clip(canvas, &control->_client_rect);
}

static void tform_on_layout(tcontrol *control, const trect *rect) {
  tform *form = form_of(control);
  trect client = control->_client_rect;
  client.x1 += form->_margin_left;
  client.y1 += form->_margin_top;
  client.x2 -= form->_margin_right;
  client.y2 -= form->_margin_bottom;
  control->_client_rect = client;
  tsurface_notify_children_resized(&control->_surface);
  if (form->_on_layout) form->_on_layout(form, rect);
  if (form->_focus >= 0) tform_show_focus_frame(form);
  tform_save_child_rects(form);
  tform_update_scrollbar_visibility(form);
  tform_update_scrollbar_ranges(form);
  update(form);
}

static int tform_on_key(tcontrol *control, uint32_t code, uint32_t repeat, uint32_t modifiers) {
  tform *form = form_of(control);
  if (form->_count == 0) return 0;
  if (form->_focus >= 0) {
    bool alive = true;
    bool *outer = form->_alive;
    form->_alive = &alive;
    // The child may close the dialog that holds this form.
    int taken = tcontrol_handle_key(form->_entries[form->_focus]->_control, code, repeat, modifiers);
    if (!alive) return 1;
    form->_alive = outer;
    if (taken) return 1;
  }
  if (code != KEY_LEFT && code != KEY_RIGHT && code != KEY_UP && code != KEY_DOWN) return 0;
  if (form->_timer) finish_animation(form);
  int32_t before_x = form->_scroll_x, before_y = form->_scroll_y;
  bool vertical = code == KEY_UP || code == KEY_DOWN;
  bool back = code == KEY_UP || code == KEY_LEFT;
  direction dir = vertical ? (back ? GO_UP : GO_DOWN) : (back ? GO_LEFT : GO_RIGHT);
  int32_t &offset = vertical ? form->_scroll_y : form->_scroll_x;
  int32_t limit = vertical ? max_y(form) : max_x(form);
  if (!focus_move(form, dir)) {
    bool scrolled = false;
    if (back && offset > 0) {
      offset = std::max(0, offset - form->_step);
      scrolled = true;
    } else if (!back && offset < limit) {
      offset = std::min(limit, offset + form->_step);
      scrolled = true;
    }
    if (scrolled) tform_apply_scroll(form, !vertical, vertical);
    if (form->_focus >= 0)
      focus_move(form, dir);
    else
      focus_first_in_view(form);
  }
  if (form->_animated && (form->_scroll_x != before_x || form->_scroll_y != before_y)) {
    int32_t target_x = form->_scroll_x, target_y = form->_scroll_y;
    form->_scroll_x = before_x;
    form->_scroll_y = before_y;
    tform_apply_scroll(form, true, true);
    tform_scroll_animated(form, target_x, target_y);
  }
  update(form);
  return 1;
}

static int tform_on_pen(tcontrol *control, int type, int32_t x, int32_t y, uint32_t) {
  tform *form = form_of(control);
  tsurface *surface = &control->_surface;
  const trect *r = tsurface_get_rect(surface);
  int32_t lx = x - r->x1, ly = y - r->y1;
  for (tscrollbar *bar : {form->_hbar, form->_vbar})
    if (tsurface_is_visible(&bar->_control._surface) && tcontrol_handle_pen(&bar->_control, type, lx, ly, 0)) return 1;

  bool alive = true;
  bool *outer = form->_alive;
  form->_alive = &alive;
  for (int32_t i = form->_count - 1; i >= 0; i--) {
    tcontrol *child = form->_entries[i]->_control;
    // A child's click may close the dialog and free this form with it.
    int taken = tcontrol_handle_pen(child, type, lx, ly, 0);
    if (!alive) return 1;
    if (!taken) continue;
    if (tcontrol_has_focus(child) && form->_focus != i) {
      change_focus(form, i);
      update(form);
    }
    if (!form->_drag_through) {
      form->_alive = outer;
      return 1;
    }
  }
  form->_alive = outer;

  const trect &c = control->_client_rect;
  bool inside = lx >= c.x1 && lx < c.x2 && ly >= c.y1 && ly < c.y2;
  if (!inside && !tsurface_has_pen_capture(surface)) return 0;
  switch (type) {
    case 1:
      form->_dragging = 1;
      form->_press_x = form->_last_x = x;
      form->_press_y = form->_last_y = y;
      form->_last_move_time = port_device_get_ticks();
      form->_velocity_x = form->_velocity_y = 0;
      stop_timer(form);
      tsurface_set_pen_capture(surface, 1);
      if (form->_on_pen_down) form->_on_pen_down(form);
      return 1;
    case 3: {
      if (!form->_dragging) return 0;
      int32_t dx = 0, dy = 0;
      if (!form->_lock_h && std::abs(form->_last_x - form->_press_x) > DRAG_SLOP) dx = form->_last_x - x;
      if (!form->_lock_v && std::abs(form->_last_y - form->_press_y) > DRAG_SLOP) dy = form->_last_y - y;
      form->_scroll_x += dx;
      form->_scroll_y += dy;
      form->_last_x = x;
      form->_last_y = y;
      form->_velocity_x = dx;
      form->_velocity_y = dy;
      form->_last_move_time = port_device_get_ticks();
      tform_apply_scroll(form, dx != 0, dy != 0);
      update(form);
      return 1;
    }
    case 2:
      if (!form->_dragging) return 0;
      pen_up(form);
      return 1;
    default:
      return 0;
  }
}

static int32_t child_count(tcontrol *control) { return form_of(control)->_count + 3; }

static tcontrol *child_at(tcontrol *control, int32_t index) {
  tform *form = form_of(control);
  if (index >= 0 && index < form->_count) return form->_entries[index]->_control;
  if (index == form->_count) return form->_focus_frame;
  if (index == form->_count + 1) return &form->_vbar->_control;
  if (index == form->_count + 2) return &form->_hbar->_control;
  return nullptr;
}

// The bar's owner word is its form.
static void tform_on_scrollbar_change(tscrollbar *bar, int32_t position) {
  tform *form = static_cast<tform *>(tsurface_get_owner(&bar->_control._surface));
  bool vertical = bar == form->_vbar;
  int32_t content = vertical ? height_of(&form->_content) : width_of(&form->_content);
  int32_t view = vertical ? height_of(&form->_view) : width_of(&form->_view);
  int32_t offset = int64_t(view) + position > content ? std::max(0, content - view) : position;
  (vertical ? form->_scroll_y : form->_scroll_x) = offset;
  tform_apply_scroll(form, !vertical, vertical);
  update(form);
}

static void tform_on_scroll_timer(uint32_t, void *user_data) {
  tform *form = static_cast<tform *>(user_data);
  auto advance = [](int32_t current, int32_t speed, int32_t target) {
    if (speed > 0) return std::min(current + speed, target);
    if (speed < 0) return std::max(current + speed, target);
    return current;
  };
  form->_current_x = advance(form->_current_x, form->_speed_x, form->_target_x);
  form->_current_y = advance(form->_current_y, form->_speed_y, form->_target_y);
  if (form->_current_x == form->_target_x && form->_current_y == form->_target_y) {
    finish_animation(form);
    update(form);
    return;
  }
  auto slow_down = [](int32_t current, int32_t start, int32_t target, int32_t threshold, int32_t &speed) {
    int64_t remaining = int64_t(target - current) * 100 / (target - start);
    if (threshold < remaining) return;
    speed += speed > 0 ? -1 : speed < 0 ? 1 : 0;
    if (speed == 0) speed = target - current;
  };
  if (!form->_lock_h && form->_target_x != form->_start_x)
    slow_down(form->_current_x, form->_start_x, form->_target_x, form->_threshold_x, form->_speed_x);
  if (!form->_lock_v && form->_target_y != form->_start_y)
    slow_down(form->_current_y, form->_start_y, form->_target_y, form->_threshold_y, form->_speed_y);
  form->_scroll_x = form->_current_x;
  form->_scroll_y = form->_current_y;
  tform_apply_scroll(form, true, true);
  update(form);
}

// The control is the form's first member.
static tform *form_of(tcontrol *control) { return reinterpret_cast<tform *>(control); }

static void update(tform *form) {
  tsurface *surface = &form->_control._surface;
  if (!scroll_in_place(form) && !tsurface_update(surface, nullptr)) {
    form->_drawn = 0;
    return;
  }
  form->_drawn = 1;
  form->_drawn_scroll_x = form->_scroll_x;
  form->_drawn_scroll_y = form->_scroll_y;
  form->_drawn_signature = drawn_signature(form);
}

// The buffer as last drawn, its view moved by the scroll since; the rest of
// the buffer (what the move uncovers, the border, margins and bars) drawn
// again. False when a full redraw is due: something besides the offsets
// changed, the background would not move as a whole, or nothing would stay.
static bool scroll_in_place(tform *form) {
  tsurface *surface = &form->_control._surface;
  trect moving;
  if (!form->_drawn || !tsurface_is_realized(surface) || surface->_dirty) return false;
  int32_t dx = form->_drawn_scroll_x - form->_scroll_x, dy = form->_drawn_scroll_y - form->_scroll_y;
  if (drawn_signature(form) != form->_drawn_signature || !plain_background(form, dx, dy, &moving)) return false;
  const trect &m = moving;
  if (std::abs(int64_t(dx)) >= width_of(&m) || std::abs(int64_t(dy)) >= height_of(&m)) return false;
  // The bars stay where they are: none may lie over what moves.
  for (tscrollbar *bar : {form->_vbar, form->_hbar}) {
    const trect &b = *rect_of(&bar->_control);
    if (tsurface_is_visible(&bar->_control._surface) && b.x1 <= m.x2 && b.x2 >= m.x1 && b.y1 <= m.y2 && b.y2 >= m.y1)
      return false;
  }
  tcanvas *canvas = &surface->_canvas;
  // A vertical move takes whole rows, bars and border sides with them, as
  // one block; all but the part that keeps its pixels is drawn again below.
  trect taken = dx ? m : trect{0, m.y1, tsurface_get_width(surface) - 1, m.y2};
  if (!tcanvas_scroll(canvas, &taken, dx, dy)) return false;
  trect kept = {std::max(m.x1, m.x1 + dx), std::max(m.y1, m.y1 + dy), std::min(m.x2, m.x2 + dx),
                std::min(m.y2, m.y2 + dy)};
  const trect whole = {0, 0, tsurface_get_width(surface) - 1, tsurface_get_height(surface) - 1};
  const trect parts[4] = {{whole.x1, whole.y1, whole.x2, kept.y1 - 1},
                          {whole.x1, kept.y2 + 1, whole.x2, whole.y2},
                          {whole.x1, kept.y1, kept.x1 - 1, kept.y2},
                          {kept.x2 + 1, kept.y1, whole.x2, kept.y2}};
  for (const trect &part : parts)
    if (part.x1 <= part.x2 && part.y1 <= part.y2) redraw_part(form, &part);
  // As a full redraw leaves it: the children's clip.
  tcanvas_set_clip(canvas, &form->_control._client_rect);
  tsurface_present(surface, nullptr);
  return true;
}

// Where the buffer's pixels may move with the content by (dx, dy): the
// view, less the border across the direction moved, when the background is
// the same all along that direction (the form's own paint slot, the
// standard box drawer, an opaque solid fill without pattern, a square
// border: each of its sides is one colour but for the corners).
static bool plain_background(const tform *form, int32_t dx, int32_t dy, trect *out) {
  const tcontrol &control = form->_control;
  const tbdrawer *look = control._bdrawer;
  if (control._surface._draw != tcontrol_on_paint || control._on_paint != tform_on_paint || !look ||
      look->_draw != tbdrawer_draw_standard || look->_fill_mode != TBDRAWER_FILL_SOLID || look->_pattern ||
      look->_fill_color.alpha != 255 || look->_border_style == TBDRAWER_BORDER_ROUND)
    return false;
  int32_t edge = std::max(look->_border_width, 0);
  const trect &v = form->_view;
  const tsurface &surface = control._surface;
  int32_t across_x = dx ? edge : 0, across_y = dy ? edge : 0;
  *out = {std::max(v.x1, across_x), std::max(v.y1, across_y),
          std::min(v.x2, tsurface_get_width(&surface) - 1 - across_x),
          std::min(v.y2, tsurface_get_height(&surface) - 1 - across_y)};
  return out->x1 <= out->x2 && out->y1 <= out->y2;
}

// What tform_on_paint and the children's composition give, within part only.
static void redraw_part(tform *form, const trect *part) {
  tsurface *surface = &form->_control._surface;
  tcanvas *canvas = &surface->_canvas;
  const trect whole = {0, 0, tsurface_get_width(surface) - 1, tsurface_get_height(surface) - 1};
  tcanvas_set_clip(canvas, part);
  tbdrawer_draw(form->_control._bdrawer, canvas, &whole);
  trect inside;
  trect_intersect(&inside, part, &form->_control._client_rect);
  if (inside.x1 > inside.x2 || inside.y1 > inside.y2) return;
  tcanvas_set_clip(canvas, &inside);
  for (int32_t i = 0, count = child_count(&form->_control); i < count; i++) {
    tcontrol *child = child_at(&form->_control, i);
    if (!child || !tsurface_is_visible(&child->_surface)) continue;
    const trect &r = *rect_of(child);
    if (r.x1 > inside.x2 || r.x2 < inside.x1 || r.y1 > inside.y2 || r.y2 < inside.y1) continue;
    tsurface_compose_onto(&child->_surface, canvas);
  }
}

// Everything but the offsets that the buffer's pixels depend on: the
// buffer itself and its redraws, the form's geometry, and each child's
// buffer, redraws, look and place in the content (rect + offsets, which a
// scroll leaves as it is). The bars lie outside the view and are drawn anew.
static uint64_t drawn_signature(const tform *form) {
  uint64_t h = 1469598103934665603ull;
  auto mix = [&h](int64_t v) { h = (h ^ uint64_t(v)) * 1099511628211ull; };
  auto mix_rect = [&mix](const trect &r) { mix(r.x1), mix(r.y1), mix(r.x2), mix(r.y2); };
  const tsurface &own = form->_control._surface;
  mix(reinterpret_cast<intptr_t>(tcanvas_get_bitmap(&own._canvas)));
  mix(own._redraws);
  mix_rect(own._rect);
  mix_rect(form->_control._client_rect);
  mix_rect(form->_view);
  mix(form->_count);
  auto mix_child = [&](const tcontrol *child) {
    const tsurface &c = child->_surface;
    mix(reinterpret_cast<intptr_t>(child));
    mix(reinterpret_cast<intptr_t>(tcanvas_get_bitmap(&c._canvas)));
    mix(c._redraws);
    mix(c._visible | c._keyed << 1 | c._masked << 2);
    // A hidden focus frame stays where it is while the content moves.
    if (!c._visible) return;
    mix(int64_t(c._rect.x1) + form->_scroll_x), mix(int64_t(c._rect.y1) + form->_scroll_y);
    mix(int64_t(c._rect.x2) + form->_scroll_x), mix(int64_t(c._rect.y2) + form->_scroll_y);
  };
  for (int32_t i = 0; i < form->_count; i++) mix_child(form->_entries[i]->_control);
  mix_child(form->_focus_frame);
  return h;
}

// The extent measured afresh over every home rect: where the homes moved
// together or a child on its edge went.
static void measure_extent(tform *form) {
  form->_extent = {0, 0, 0, 0};
  for (int32_t i = 0; i < form->_count; i++) widen_extent(form, &form->_entries[i]->_home);
}

// A new home rect only ever widens the extent.
static void widen_extent(tform *form, const trect *home) {
  if (g_measure_hook) g_measure_hook(form, home);
  trect_union(&form->_extent, &form->_extent, home);
}

// The extent, widened by the right and bottom margins as they are now.
static void compute_content(tform *form) {
  trect content = form->_extent;
  content.x2 += form->_margin_right;
  content.y2 += form->_margin_bottom;
  form->_content = content;
}

static void tform_update_scrollbar_visibility(tform *form) {
  trect view = form->_control._client_rect;
  bool show_v = (form->_always_show_v || height_of(&form->_content) > height_of(&view)) && !form->_hide_v;
  bool show_h = (form->_always_show_h || width_of(&form->_content) > width_of(&view)) && !form->_hide_h;
  if (show_v) view.x2 -= tsurface_get_width(&form->_vbar->_control._surface);
  if (show_h) view.y2 -= tsurface_get_height(&form->_hbar->_control._surface);
  tsurface_set_visible(&form->_vbar->_control._surface, show_v);
  tsurface_set_visible(&form->_hbar->_control._surface, show_h);
  form->_view = view;
}

static void tform_update_scrollbar_ranges(tform *form) {
  struct axis {
    tscrollbar *bar;
    int32_t content, view, offset;
  };
  const axis axes[] = {
      {form->_vbar, height_of(&form->_content), height_of(&form->_view), form->_scroll_y},
      {form->_hbar, width_of(&form->_content), width_of(&form->_view), form->_scroll_x},
  };
  for (const axis &a : axes) {
    if (!tsurface_is_visible(&a.bar->_control._surface)) continue;
    tscrollbar_set_min(a.bar, 0);
    tscrollbar_set_max(a.bar, a.content);
    tscrollbar_set_page(a.bar, a.view);
    tscrollbar_set_pos(a.bar, a.offset);
    tscrollbar_set_step(a.bar, form->_step);
    // The form composes the bar's buffer as it stands: it follows the range now.
    tsurface_paint(&a.bar->_control._surface);
  }
}

static int32_t max_x(const tform *form) { return width_of(&form->_content) - width_of(&form->_view); }
static int32_t max_y(const tform *form) { return height_of(&form->_content) - height_of(&form->_view); }

static int32_t clamp_offset(int32_t offset, int32_t max) { return std::max(0, std::min(offset, std::max(0, max))); }

// Children move to home - offsets under the update lock (restored as found);
// the caller updates the form once afterwards.
static void tform_apply_scroll(tform *form, bool horizontal, bool vertical) {
  if (form->_count > 0) {
    const trect &first = *rect_of(form->_entries[0]->_control);
    const trect &home = form->_entries[0]->_home;
    int32_t planned = vertical ? (home.y1 - form->_scroll_y) - first.y1 : (home.x1 - form->_scroll_x) - first.x1;
    if (form->_on_scroll) form->_on_scroll(form, planned);
  }
  tscreen *screen = tscreen_get();
  uint32_t lock = screen ? tscreen_get_update_lock(screen) : 0;
  if (screen) tscreen_set_update_lock(screen, 1);
  int32_t moved_x = 0, moved_y = 0;
  for (int32_t i = 0; i < form->_count; i++) {
    tcontrol *child = form->_entries[i]->_control;
    const trect &home = form->_entries[i]->_home;
    trect was = *rect_of(child);
    int32_t x = horizontal ? home.x1 - form->_scroll_x : was.x1;
    int32_t y = vertical ? home.y1 - form->_scroll_y : was.y1;
    tcontrol_move_to(child, x, y, 0);
    if (i == 0) {
      moved_x = rect_of(child)->x1 - was.x1;
      moved_y = rect_of(child)->y1 - was.y1;
    }
  }
  if (tsurface_is_visible(&form->_focus_frame->_surface)) tcontrol_move_by(form->_focus_frame, moved_x, moved_y, 0);
  if (tsurface_is_visible(&form->_vbar->_control._surface)) {
    tscrollbar_set_pos(form->_vbar, form->_scroll_y);
    tsurface_paint(&form->_vbar->_control._surface);
  }
  if (tsurface_is_visible(&form->_hbar->_control._surface)) {
    tscrollbar_set_pos(form->_hbar, form->_scroll_x);
    tsurface_paint(&form->_hbar->_control._surface);
  }
  if (screen) tscreen_set_update_lock(screen, lock);
}

static void tform_show_focus_frame(tform *form) {
  if (form->_focus_frame_hidden || form->_focus < 0) return;
  const trect &c = *rect_of(form->_entries[form->_focus]->_control);
  tcontrol *frame = form->_focus_frame;
  tcontrol_set_rect(frame, c.x1 - FRAME_GAP, c.y1 - FRAME_GAP, width_of(&c) + 2 * FRAME_GAP,
                    height_of(&c) + 2 * FRAME_GAP);
  tsurface_set_visible(&frame->_surface, 1);
  tsurface_paint(&frame->_surface);
}

static void hide_focus_frame(tform *form) { tsurface_set_visible(&form->_focus_frame->_surface, 0); }

static void change_focus(tform *form, int32_t index) {
  if (form->_focus >= 0) {
    tcontrol *old = form->_entries[form->_focus]->_control;
    tcontrol_set_focus(old, 0);
    tsurface_paint(&old->_surface);
  }
  hide_focus_frame(form);
  form->_focus = index;
  if (index < 0) return;
  tcontrol *child = form->_entries[index]->_control;
  tcontrol_set_focus(child, 1);
  tsurface_paint(&child->_surface);
  tform_show_focus_frame(form);
}

static bool can_take_focus(tcontrol *control) {
  return tcontrol_is_focusable(control) && tcontrol_is_enabled(control) && tsurface_is_visible(&control->_surface);
}

// In entry order, children inside or overlapping the view, up to the first
// that starts below it (children are expected top to bottom).
static std::vector<int32_t> tform_get_children_in_view(const tform *form) {
  std::vector<int32_t> shown;
  const trect &view = form->_view;
  for (int32_t i = 0; i < form->_count; i++) {
    const trect &r = *rect_of(form->_entries[i]->_control);
    if (r.y1 > view.y2) break;
    if (r.x1 <= view.x2 && r.x2 >= view.x1 && r.y1 <= view.y2 && r.y2 >= view.y1) shown.push_back(i);
  }
  return shown;
}

static int focus_move(tform *form, direction dir) {
  // Without a focused child there is nowhere to move from.
  if (form->_focus < 0 || form->_focus >= form->_count) return 0;
  std::vector<int32_t> shown = tform_get_children_in_view(form);
  bool forward = dir == GO_DOWN || dir == GO_RIGHT;
  const trect &from = *rect_of(form->_entries[form->_focus]->_control);
  int32_t cx = from.x1, cy = from.y1;
  int32_t winner = -1;
  int64_t best_distance = NO_DISTANCE, best_square = NO_DISTANCE;
  bool can_go = forward ? form->_focus < form->_count - 1 : form->_focus >= 1;
  if (!forward) std::reverse(shown.begin(), shown.end());
  for (int32_t i : can_go ? shown : std::vector<int32_t>{}) {
    if (forward ? i <= form->_focus : i >= form->_focus) continue;
    tcontrol *child = form->_entries[i]->_control;
    if (!can_take_focus(child)) continue;
    const trect &r = *rect_of(child);
    int64_t distance;
    switch (dir) {
      case GO_DOWN: distance = r.y1 > cy ? int64_t(r.y1) - cy : -1; break;
      case GO_RIGHT: distance = r.x1 > cx ? int64_t(r.x1) - cx : -1; break;
      case GO_UP: distance = r.y1 < cy ? int64_t(cy) - r.y1 : -1; break;
      default: distance = r.x1 < cx ? int64_t(cx) - r.x1 : -1; break;
    }
    if (distance < 0) continue;
    int64_t mx = r.x1 + width_of(&r) / 2 - int64_t(cx), my = r.y1 + height_of(&r) / 2 - int64_t(cy);
    int64_t square = mx * mx + my * my;
    if (distance <= best_distance && square < best_square) {
      winner = i;
      best_distance = distance;
      best_square = square;
    }
  }
  if (winner >= 0) {
    change_focus(form, winner);
    tform_scroll_into_view(form, form->_entries[winner]->_control);
    return 1;
  }
  if (std::find(shown.begin(), shown.end(), form->_focus) == shown.end()) change_focus(form, -1);
  return 0;
}

static int focus_first_in_view(tform *form) {
  for (int32_t i : tform_get_children_in_view(form)) {
    if (!can_take_focus(form->_entries[i]->_control)) continue;
    change_focus(form, i);
    return 1;
  }
  return 0;
}

static void tform_scroll_into_view(tform *form, tcontrol *child) {
  const trect &c = *rect_of(child);
  const trect &v = form->_view;
  int32_t dy = c.y1 < v.y1 ? v.y1 - c.y1 : c.y2 > v.y2 ? v.y2 - c.y2 : 0;
  int32_t dx = c.x1 < v.x1 ? v.x1 - c.x1 : c.x2 > v.x2 ? v.x2 - c.x2 : 0;
  if (!dx && !dy) return;
  if (dy) form->_scroll_y = clamp_offset(form->_scroll_y - dy, max_y(form));
  if (dx) form->_scroll_x = clamp_offset(form->_scroll_x - dx, max_x(form));
  tform_apply_scroll(form, dx != 0, dy != 0);
}

static void tform_scroll_animated(tform *form, int32_t target_x, int32_t target_y) {
  form->_start_x = form->_current_x = form->_scroll_x;
  form->_start_y = form->_current_y = form->_scroll_y;
  form->_target_x = target_x;
  form->_target_y = target_y;
  // A share that rounds to 0 would never arrive: one pixel toward the target.
  auto speed_of = [form](int32_t start, int32_t target) {
    int32_t speed = int32_t(std::lround(double(target - start) / form->_animation_steps));
    if (speed == 0 && target != start) speed = target > start ? 1 : -1;
    return speed;
  };
  form->_speed_x = speed_of(form->_start_x, target_x);
  form->_speed_y = speed_of(form->_start_y, target_y);
  form->_threshold_x = form->_threshold_y = 0;
  start_timer(form);
}

// A refused timer would leave the content short of its target: go there at once.
static void start_timer(tform *form) {
  stop_timer(form);
  form->_timer = wins_timer_start(TIMER_MS, 0, tform_on_scroll_timer, form);
  if (form->_timer) return;
  form->_current_x = form->_target_x;
  form->_current_y = form->_target_y;
  finish_animation(form);
  update(form);
}

static void stop_timer(tform *form) {
  if (!form->_timer) return;
  wins_timer_stop(form->_timer);
  form->_timer = 0;
}

static void finish_animation(tform *form) {
  stop_timer(form);
  form->_scroll_x = form->_target_x;
  form->_scroll_y = form->_target_y;
  tform_apply_scroll(form, true, true);
}

// Snap back when pulled past an end, else fling; the owner hears of it last.
static void pen_up(tform *form) {
  form->_dragging = 0;
  tsurface_set_pen_capture(&form->_control._surface, 0);
  int32_t in_x = clamp_offset(form->_scroll_x, max_x(form)), in_y = clamp_offset(form->_scroll_y, max_y(form));
  if (in_x != form->_scroll_x || in_y != form->_scroll_y) {
    if (form->_animated) {
      tform_scroll_animated(form, in_x, in_y);
    } else {
      form->_scroll_x = in_x;
      form->_scroll_y = in_y;
      tform_apply_scroll(form, true, true);
      update(form);
    }
  } else {
    int64_t dt = int64_t(port_device_get_ticks()) - form->_last_move_time;
    int64_t vx = dt >= 1 ? int64_t(form->_velocity_x) * FLING_SCALE / dt : 0;
    int64_t vy = dt >= 1 ? int64_t(form->_velocity_y) * FLING_SCALE / dt : 0;
    int32_t step = form->_step;
    bool fling = dt >= 1 && form->_animated && (std::abs(vx) > step || std::abs(vy) > step);
    if (fling) {
      form->_start_x = form->_current_x = form->_scroll_x;
      form->_start_y = form->_current_y = form->_scroll_y;
      auto aim = [step](int64_t v, int32_t offset, int32_t max, int32_t &speed, int32_t &target, int32_t &threshold) {
        speed = v > step ? step : v < -step ? -step : 0;
        target = speed ? clamp_offset(int32_t(std::clamp<int64_t>(offset + v, INT32_MIN, INT32_MAX)), max) : offset;
        int32_t distance = std::abs(target - offset);
        // Already at the end: nothing to slow down over.
        threshold = speed && distance ? (1000 * step - 5500) / distance : 0;
      };
      aim(vx, form->_scroll_x, max_x(form), form->_speed_x, form->_target_x, form->_threshold_x);
      aim(vy, form->_scroll_y, max_y(form), form->_speed_y, form->_target_y, form->_threshold_y);
      start_timer(form);
    }
  }
  if (form->_on_pen_up) form->_on_pen_up(form);
}

static const trect *rect_of(const tcontrol *control) { return tsurface_get_rect(&control->_surface); }
static int32_t width_of(const trect *r) { return r->x2 - r->x1 + 1; }
static int32_t height_of(const trect *r) { return r->y2 - r->y1 + 1; }
