// tdock: docking, dragging, the side preview and the press-and-hold resize.
#include "tdock.h"

#include <cstdlib>
#include <cstring>

#include "port_log.h"
#include "tscreen.h"
#include "tstyler.h"
#include "wins_timer.h"

constexpr tcolor OVERLAY_COLOR = tcolor_rgba(128, 128, 255);
constexpr tcolor OVERLAY_KEY = tcolor_rgba(255, 0, 255, 128);  // keyed at half alpha

static void on_layout(tcontrol *control, const trect *rect);
static int on_pen(tcontrol *control, int type, int32_t x, int32_t y, uint32_t modifiers);
static int on_key(tcontrol *control, uint32_t code, uint32_t repeat, uint32_t modifiers);
static int32_t on_child_count(tcontrol *control);
static tcontrol *on_child_at(tcontrol *control, int32_t index);
static void on_hold(uint32_t id, void *user_data);

static tcontrol *new_overlay(tcontrol *parent, const trect *rect, tdock *dock);
static int offer_to_children(tdock *dock, int type, int32_t x, int32_t y, uint32_t modifiers);
static void pen_down(tdock *dock, int32_t x, int32_t y, bool may_drag);
static void drag_step(tdock *dock, int32_t x, int32_t y);
static void resize_step(tdock *dock, int32_t dx, int32_t dy);
static void pen_up(tdock *dock);
static void enter_resize_mode(tdock *dock);
static void stop_hold_timer(tdock *dock);
static int32_t zone_at(const tdock *dock, int32_t x, int32_t y);
static bool side_holds(int32_t side, const trect *p, int32_t x, int32_t y, int32_t distance);
static trect preview_rect(const tdock *dock, int32_t side, const trect *p);
static void show_preview(tdock *dock, const trect *rect);
static void hide_preview(tdock *dock);
static bool allows_side(tdock *dock, int32_t side);
static trect *rect_of(tdock *dock);
static int32_t extent(int32_t from, int32_t to);

int tdock_init(tdock *dock, tcontrol *parent, const trect *rect, void *owner) {
  PORT_CHECK(dock != nullptr && rect != nullptr);
  std::memset(dock, 0, sizeof *dock);
  tcontrol *control = &dock->_control;
  if (!tcontrol_init(control, parent, rect, owner)) return 0;
  const trect *own = tsurface_get_rect(&control->_surface);
  // The overlays stay hidden until a drag or a press-and-hold gives them the
  // rectangle they show: until then each holds a one-pixel canvas, not one
  // the size of the dock.
  trect dot = {own->x1, own->y1, own->x1, own->y1}, corner = {0, 0, 0, 0};
  dock->_preview = new_overlay(parent, &dot, dock);
  dock->_frame = dock->_preview ? new_overlay(control, &corner, dock) : nullptr;
  if (!dock->_frame) {
    if (dock->_preview) tcontrol_free(dock->_preview);
    tcontrol_deinit(control);
    return 0;
  }
  tcontrol_realize(dock->_preview);
  dock->_hold_time = 1000;
  dock->_top_height = dock->_left_width = dock->_right_width = dock->_bottom_height = -1;
  dock->_floating_rect = *own;
  dock->_snap_distance = 5;
  tcontrol_set_on_layout(control, on_layout);
  tcontrol_set_on_pen(control, on_pen);
  tcontrol_set_on_key(control, on_key);
  tcontrol_set_children_fns(control, on_child_count, on_child_at);
  tstyler_apply(tstyler_get_default(), dock, TSTYLE_DOCK, owner, 0);
  return 1;
}

tdock *tdock_new(tcontrol *parent, const trect *rect, void *owner) {
  tdock *dock = static_cast<tdock *>(std::calloc(1, sizeof(tdock)));
  if (!dock) return nullptr;
  if (!tdock_init(dock, parent, rect, owner)) {
    std::free(dock);
    return nullptr;
  }
  return dock;
}

void tdock_deinit(tdock *dock) {
  PORT_CHECK(dock != nullptr);
  stop_hold_timer(dock);
  tcontrol_free(dock->_frame);
  tcontrol_free(dock->_preview);
  tcontrol_deinit(&dock->_control);
  std::memset(reinterpret_cast<uint8_t *>(dock) + sizeof(tcontrol), 0, sizeof *dock - sizeof(tcontrol));
}

void tdock_free(tdock *dock) {
  PORT_CHECK(dock != nullptr);
  tdock_deinit(dock);
  std::free(dock);
}

void tdock_set_margins(tdock *dock, int32_t left, int32_t top, int32_t right, int32_t bottom) {
  PORT_CHECK(dock != nullptr);
  dock->_margin_left = left;
  dock->_margin_top = top;
  dock->_margin_right = right;
  dock->_margin_bottom = bottom;
  const trect *r = rect_of(dock);
  trect client = {left, top, r->x2 - r->x1 - right, r->y2 - r->y1 - bottom};
  tcontrol_set_client_rect(&dock->_control, &client);
}

tdock_can_drag_fn tdock_set_can_drag_func(tdock *dock, tdock_can_drag_fn fn) {
  PORT_CHECK(dock != nullptr);
  tdock_can_drag_fn previous = dock->_can_drag;
  dock->_can_drag = fn;
  return previous;
}

tdock_can_dock_fn tdock_set_can_dock_func(tdock *dock, tdock_can_dock_fn fn) {
  PORT_CHECK(dock != nullptr);
  tdock_can_dock_fn previous = dock->_can_dock;
  dock->_can_dock = fn;
  return previous;
}

tdock_notify_fn tdock_set_on_move(tdock *dock, tdock_notify_fn fn) {
  PORT_CHECK(dock != nullptr);
  tdock_notify_fn previous = dock->_on_move;
  dock->_on_move = fn;
  return previous;
}

tdock_notify_fn tdock_set_on_drag_end(tdock *dock, tdock_notify_fn fn) {
  PORT_CHECK(dock != nullptr);
  tdock_notify_fn previous = dock->_on_drag_end;
  dock->_on_drag_end = fn;
  return previous;
}

tdock_resize_fn tdock_set_resize_func(tdock *dock, tdock_resize_fn fn) {
  PORT_CHECK(dock != nullptr);
  tdock_resize_fn previous = dock->_resize_check;
  dock->_resize_check = fn;
  return previous;
}

tdock_key_fn tdock_set_key_func(tdock *dock, tdock_key_fn fn) {
  PORT_CHECK(dock != nullptr);
  tdock_key_fn previous = dock->_on_key;
  dock->_on_key = fn;
  return previous;
}

void tdock_set_child_funcs(tdock *dock, tdock_child_count_fn count, tdock_child_at_fn at) {
  PORT_CHECK(dock != nullptr);
  dock->_child_count = count;
  dock->_child_at = at;
}

void tdock_set_hold_time(tdock *dock, int32_t ms) {
  PORT_CHECK(dock != nullptr);
  dock->_hold_time = ms;
}

void tdock_set_snap_distance(tdock *dock, int32_t pixels) {
  PORT_CHECK(dock != nullptr);
  dock->_snap_distance = pixels;
}

void tdock_begin_drag(tdock *dock, int32_t x, int32_t y) {
  PORT_CHECK(dock != nullptr);
  const trect *r = rect_of(dock);
  dock->_dragging = 1;
  dock->_pressed = 1;
  dock->_last = {x, y};
  dock->_grab = {x - r->x1, y - r->y1};
  tsurface_set_pen_capture(&dock->_control._surface, 1);
}

int tdock_is_dragging(const tdock *dock) {
  PORT_CHECK(dock != nullptr);
  return dock->_dragging;
}

int tdock_set_side(tdock *dock, int32_t side) {
  PORT_CHECK(dock != nullptr);
  if (side < TDOCK_FLOATING || side > TDOCK_BOTTOM) return 0;
  if (!allows_side(dock, side)) return 0;
  const trect r = *rect_of(dock);
  switch (dock->_side) {
    case TDOCK_FLOATING: dock->_floating_rect = r; break;
    case TDOCK_LEFT: dock->_left_width = extent(r.x1, r.x2); break;
    case TDOCK_RIGHT: dock->_right_width = extent(r.x1, r.x2); break;
    case TDOCK_TOP: dock->_top_height = extent(r.y1, r.y2); break;
    default: dock->_bottom_height = extent(r.y1, r.y2); break;
  }
  dock->_side = side;
  tscreen *screen = tscreen_get();
  uint32_t lock = tscreen_get_update_lock(screen);
  tscreen_set_update_lock(screen, 1);
  tcontrol *control = &dock->_control;
  if (side == TDOCK_FLOATING) {
    tcontrol_set_align(control, TCONTROL_ALIGN_NONE);
    const trect &f = dock->_floating_rect;
    tcontrol_set_rect(control, f.x1, f.y1, extent(f.x1, f.x2), extent(f.y1, f.y2));
  } else {
    tcontrol_set_align(control, side);
    const trect now = *rect_of(dock);
    int32_t width = side == TDOCK_LEFT ? dock->_left_width : side == TDOCK_RIGHT ? dock->_right_width : -1;
    int32_t height = side == TDOCK_TOP ? dock->_top_height : side == TDOCK_BOTTOM ? dock->_bottom_height : -1;
    if (width > 0) tcontrol_set_size(control, width, extent(now.y1, now.y2));
    if (height > 0) tcontrol_set_size(control, extent(now.x1, now.x2), height);
  }
  tscreen_set_update_lock(screen, lock);
  tsurface *parent = tsurface_get_parent(&control->_surface);
  if (parent)
    tsurface_update(parent, nullptr);
  else
    tscreen_paint(screen, nullptr);
  return 1;
}

static void on_layout(tcontrol *control, const trect *) {
  tdock *dock = reinterpret_cast<tdock *>(control);
  tdock_set_margins(dock, dock->_margin_left, dock->_margin_top, dock->_margin_right, dock->_margin_bottom);
  tsurface_update(&control->_surface, nullptr);
}

static int on_key(tcontrol *control, uint32_t code, uint32_t repeat, uint32_t modifiers) {
  tdock *dock = reinterpret_cast<tdock *>(control);
  return dock->_on_key ? dock->_on_key(dock, code, repeat, modifiers) : 0;
}

// The owner's children, then the frame overlay at index = the owner's count.
static int32_t on_child_count(tcontrol *control) {
  tdock *dock = reinterpret_cast<tdock *>(control);
  return (dock->_child_count ? dock->_child_count(dock) : 0) + 1;
}

static tcontrol *on_child_at(tcontrol *control, int32_t index) {
  tdock *dock = reinterpret_cast<tdock *>(control);
  tcontrol *child = dock->_child_at ? dock->_child_at(dock, index) : nullptr;
  if (!child && index == on_child_count(control) - 1) child = dock->_frame;
  return child;
}

static int on_pen(tcontrol *control, int type, int32_t x, int32_t y, uint32_t modifiers) {
  tdock *dock = reinterpret_cast<tdock *>(control);
  const trect *r = rect_of(dock);
  bool captured = tsurface_has_pen_capture(&control->_surface);
  bool inside = x >= r->x1 && x <= r->x2 && y >= r->y1 && y <= r->y2;
  if (!inside && !captured) return 0;
  int32_t local_x = x - r->x1, local_y = y - r->y1;
  const trect *client = tcontrol_get_client_rect(control);
  bool in_client = local_x >= client->x1 && local_x <= client->x2 && local_y >= client->y1 && local_y <= client->y2;
  if (!captured && in_client && !dock->_resizing && offer_to_children(dock, type, local_x, local_y, modifiers))
    return 1;
  switch (type) {
    case 1: {
      bool may_drag = dock->_resizing || !dock->_can_drag || dock->_can_drag(dock, local_x, local_y);
      if (!may_drag && in_client) return 0;
      pen_down(dock, x, y, may_drag);
      return 1;
    }
    case 3:
      if (!dock->_pressed) return 0;
      if (dock->_dragging)
        drag_step(dock, x, y);
      else if (dock->_resizing)
        resize_step(dock, x - dock->_last.x, y - dock->_last.y);
      dock->_last = {x, y};
      return 1;
    case 2:
      if (!dock->_pressed) return 0;
      pen_up(dock);
      return 1;
    default:
      return 0;
  }
}

// The hold timer is one-shot: it stops itself before anything else.
static void on_hold(uint32_t id, void *user_data) {
  tdock *dock = static_cast<tdock *>(user_data);
  wins_timer_stop(id);
  if (dock->_hold_timer == id) dock->_hold_timer = 0;
  if (dock->_pressed) enter_resize_mode(dock);
}

static tcontrol *new_overlay(tcontrol *parent, const trect *rect, tdock *dock) {
  tcontrol *overlay = tcontrol_new(parent, rect, dock);
  if (!overlay) return nullptr;
  tbdrawer *drawer = tcontrol_get_box_drawer(overlay);
  tbdrawer_set_fill_color(drawer, OVERLAY_COLOR);
  tbdrawer_set_fill_solid(drawer);
  tbdrawer_set_border(drawer, OVERLAY_COLOR, 1);
  tsurface_set_color_key(&overlay->_surface, OVERLAY_KEY);
  tsurface_set_visible(&overlay->_surface, 0);
  return overlay;
}

static int offer_to_children(tdock *dock, int type, int32_t x, int32_t y, uint32_t modifiers) {
  int32_t count = dock->_child_count ? dock->_child_count(dock) : 0;
  for (int32_t i = 0; i < count && dock->_child_at; i++) {
    tcontrol *child = dock->_child_at(dock, i);
    if (!child || !tsurface_is_visible(&child->_surface)) continue;
    tsurface_pen_fn pen = child->_surface._pen_fn;
    if (pen && pen(&child->_surface, type, x, y, modifiers)) return 1;
  }
  return 0;
}

// A press that may drag drags; one refused (always on the frame here) may
// become a resize once it has been held; in resize mode it picks the zone.
static void pen_down(tdock *dock, int32_t x, int32_t y, bool may_drag) {
  const trect *r = rect_of(dock);
  bool hold = false;
  if (dock->_resizing)
    dock->_zone = zone_at(dock, x, y);
  else if (may_drag)
    dock->_dragging = 1;
  else
    hold = true;
  dock->_pressed = 1;
  dock->_last = {x, y};
  dock->_grab = {x - r->x1, y - r->y1};
  tsurface_set_pen_capture(&dock->_control._surface, 1);
  if (!hold) return;
  stop_hold_timer(dock);
  dock->_hold_timer = wins_timer_start(uint32_t(dock->_hold_time), 0, on_hold, dock);
  // Without a timer the hold would never end: resize at once.
  if (!dock->_hold_timer) enter_resize_mode(dock);
}

static void drag_step(tdock *dock, int32_t x, int32_t y) {
  tcontrol *control = &dock->_control;
  tcontrol_move_by(control, x - dock->_last.x, y - dock->_last.y, 1);
  if (dock->_on_move) dock->_on_move(dock);
  tsurface_update(&control->_surface, nullptr);
  trect p;
  tcontrol_get_parent_client_rect(control, &p);
  int32_t d = dock->_snap_distance;
  if (dock->_side == TDOCK_FLOATING && !dock->_pending_side) {
    for (int32_t side = TDOCK_LEFT; side <= TDOCK_BOTTOM; side++) {
      if (!side_holds(side, &p, x, y, d) || !allows_side(dock, side)) continue;
      trect preview = preview_rect(dock, side, &p);
      show_preview(dock, &preview);
      dock->_pending_side = side;
      break;
    }
  } else if (dock->_side == TDOCK_FLOATING) {
    if (!side_holds(dock->_pending_side, &p, x, y, d)) {
      hide_preview(dock);
      dock->_pending_side = 0;
    }
  } else if (!side_holds(dock->_side, &p, x, y, d) && tdock_set_side(dock, TDOCK_FLOATING)) {
    const trect *r = rect_of(dock);
    if (dock->_grab.x > extent(r->x1, r->x2)) dock->_grab.x /= 2;
    if (dock->_grab.y > extent(r->y1, r->y2)) dock->_grab.y /= 2;
    tcontrol_move_to(control, x - dock->_grab.x, y - dock->_grab.y, 1);
    tsurface_update(&control->_surface, nullptr);
  }
}

static void resize_step(tdock *dock, int32_t dx, int32_t dy) {
  tcontrol *control = &dock->_control;
  trect old_rect;
  tsurface_get_screen_rect(&control->_surface, &old_rect);
  tscreen *screen = tscreen_get();
  uint32_t lock = tscreen_get_update_lock(screen);
  tscreen_set_update_lock(screen, 1);
  const trect r = *rect_of(dock);
  int32_t x = r.x1, y = r.y1, width = extent(r.x1, r.x2), height = extent(r.y1, r.y2);
  int32_t zone = dock->_zone;
  if (zone == 1 || zone == 4 || zone == 6) x += dx, width -= dx;
  if (zone == 3 || zone == 5 || zone == 8) width += dx;
  if (zone >= 1 && zone <= 3) y += dy, height -= dy;
  if (zone >= 6 && zone <= 8) height += dy;
  bool accepted = !dock->_resize_check || dock->_resize_check(dock, zone, &x, &y, &width, &height);
  // A dock must keep at least one pixel inside its frame.
  if (width < dock->_margin_left + dock->_margin_right + 1 || height < dock->_margin_top + dock->_margin_bottom + 1)
    accepted = false;
  if (accepted) {
    tcontrol_set_rect(control, x, y, width, height);
    const trect *now = rect_of(dock);
    tcontrol_set_size(dock->_frame, extent(now->x1, now->x2), extent(now->y1, now->y2));
  }
  tscreen_set_update_lock(screen, lock);
  trect new_rect, area;
  tsurface_get_screen_rect(&control->_surface, &new_rect);
  trect_union(&area, &old_rect, &new_rect);
  tscreen_paint(screen, &area);
}

static void pen_up(tdock *dock) {
  stop_hold_timer(dock);
  dock->_pressed = 0;
  tsurface_set_pen_capture(&dock->_control._surface, 0);
  if (!dock->_dragging) {
    if (dock->_resizing) {
      dock->_resizing = 0;
      tsurface_set_visible(&dock->_frame->_surface, 0);
      tsurface_update(&dock->_control._surface, nullptr);
    }
    return;
  }
  dock->_dragging = 0;
  if (dock->_side == TDOCK_FLOATING && dock->_pending_side) {
    int32_t side = dock->_pending_side;
    hide_preview(dock);
    dock->_pending_side = 0;
    tdock_set_side(dock, side);
  }
  if (dock->_on_drag_end) dock->_on_drag_end(dock);
}

static void enter_resize_mode(tdock *dock) {
  dock->_resizing = 1;
  const trect *r = rect_of(dock);
  tcontrol_set_rect(dock->_frame, 0, 0, extent(r->x1, r->x2), extent(r->y1, r->y2));
  tsurface_set_visible(&dock->_frame->_surface, 1);
  tsurface_update(&dock->_control._surface, nullptr);
  dock->_zone = zone_at(dock, dock->_last.x, dock->_last.y);
}

static void stop_hold_timer(tdock *dock) {
  if (!dock->_hold_timer) return;
  wins_timer_stop(dock->_hold_timer);
  dock->_hold_timer = 0;
}

// Thirds of the dock by integer division; the middle band is split in halves.
static int32_t zone_at(const tdock *dock, int32_t x, int32_t y) {
  const trect *r = &dock->_control._surface._rect;
  int32_t width = extent(r->x1, r->x2), height = extent(r->y1, r->y2);
  int32_t lx = x - r->x1, ly = y - r->y1;
  int32_t column = lx < width / 3 ? 0 : lx < 2 * (width / 3) ? 1 : 2;
  if (ly >= height / 3 && ly < 2 * (height / 3)) return lx < width / 2 ? 4 : 5;
  return (ly < height / 3 ? 1 : 6) + column;
}

// The pen is within the snap distance of that side's edge of p.
static bool side_holds(int32_t side, const trect *p, int32_t x, int32_t y, int32_t distance) {
  switch (side) {
    case TDOCK_LEFT: return x - p->x1 < distance;
    case TDOCK_TOP: return y - p->y1 < distance;
    case TDOCK_RIGHT: return p->x2 - x < distance;
    case TDOCK_BOTTOM: return p->y2 - y < distance;
    default: return false;
  }
}

// Where docking to side would put the dock: the thickness it last had there,
// else the half that docking itself gives.
static trect preview_rect(const tdock *dock, int32_t side, const trect *p) {
  int32_t pw = extent(p->x1, p->x2), ph = extent(p->y1, p->y2);
  trect r = *p;
  switch (side) {
    case TDOCK_LEFT: r.x2 = p->x1 + (dock->_left_width > 0 ? dock->_left_width : pw / 2) - 1; break;
    case TDOCK_TOP: r.y2 = p->y1 + (dock->_top_height > 0 ? dock->_top_height : ph / 2) - 1; break;
    case TDOCK_RIGHT: r.x1 = p->x2 - (dock->_right_width > 0 ? dock->_right_width : pw - pw / 2) + 1; break;
    default: r.y1 = p->y2 - (dock->_bottom_height > 0 ? dock->_bottom_height : ph - ph / 2) + 1; break;
  }
  return r;
}

static void show_preview(tdock *dock, const trect *rect) {
  tcontrol *preview = dock->_preview;
  tcontrol_set_rect(preview, rect->x1, rect->y1, extent(rect->x1, rect->x2), extent(rect->y1, rect->y2));
  tsurface_set_visible(&preview->_surface, 1);
  if (!tsurface_get_parent(&preview->_surface)) tsurface_bring_to_front(&preview->_surface);
  tsurface_update(&preview->_surface, nullptr);
}

static void hide_preview(tdock *dock) {
  tsurface_set_visible(&dock->_preview->_surface, 0);
  tsurface_update(&dock->_preview->_surface, nullptr);
}

static bool allows_side(tdock *dock, int32_t side) { return !dock->_can_dock || dock->_can_dock(dock, side); }

static trect *rect_of(tdock *dock) { return &dock->_control._surface._rect; }

static int32_t extent(int32_t from, int32_t to) { return to - from + 1; }
