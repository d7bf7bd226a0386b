// tcontrol: the widget base: default slots, docking, anchoring, focus.
#include "tcontrol.h"

#include <cstdlib>
#include <cstring>

#include "port_log.h"
#include "tscreen.h"
#include "tstyler.h"

static tcontrol *control_of(tsurface *surface);
static int32_t side(int32_t from, int32_t to);

int tcontrol_init(tcontrol *control, tcontrol *parent, const trect *rect, void *owner) {
  PORT_CHECK(control != nullptr && rect != nullptr);
  // A control made before the style set has nothing to copy its look from.
  tstyler *styler = tstyler_get_default();
  PORT_CHECK(styler != nullptr);
  std::memset(control, 0, sizeof *control);
  if (!tsurface_init(&control->_surface, parent ? &parent->_surface : nullptr, rect, owner)) return 0;
  tsurface *surface = &control->_surface;
  tsurface_set_on_paint(surface, tcontrol_on_paint);
  tsurface_set_on_rect_changed(surface, tcontrol_on_rect_changed);
  tsurface_set_on_parent_resized(surface, tcontrol_on_parent_resized);
  tsurface_set_on_key(surface, tcontrol_on_key);
  tsurface_set_on_pen(surface, tcontrol_on_pen);
  tsurface_set_children_fns(surface, tcontrol_on_child_count, tcontrol_on_child_at);
  const trect *r = tsurface_get_rect(surface);
  control->_client_rect = {0, 0, r->x2 - r->x1, r->y2 - r->y1};
  control->_bdrawer = tbdrawer_copy(tstyler_get_default_bdrawer());
  if (!control->_bdrawer) {
    tsurface_deinit(surface);
    return 0;
  }
  tstyler_apply(styler, control, TSTYLE_CONTROL, owner, 0);
  return 1;
}

tcontrol *tcontrol_new(tcontrol *parent, const trect *rect, void *owner) {
  tcontrol *control = static_cast<tcontrol *>(std::calloc(1, sizeof(tcontrol)));
  if (!control) return nullptr;
  if (!tcontrol_init(control, parent, rect, owner)) {
    std::free(control);
    return nullptr;
  }
  return control;
}

void tcontrol_deinit(tcontrol *control) {
  PORT_CHECK(control != nullptr);
  tsurface *surface = &control->_surface;
  if (!tsurface_get_parent(surface) && tsurface_is_realized(surface)) tsurface_remove_from_screen(surface);
  tbdrawer *drawer = control->_bdrawer;
  tsurface_deinit(surface);
  if (drawer) tbdrawer_free(drawer);
  std::memset(reinterpret_cast<uint8_t *>(control) + sizeof(tsurface), 0, sizeof *control - sizeof(tsurface));
}

void tcontrol_free(tcontrol *control) {
  PORT_CHECK(control != nullptr);
  tcontrol_deinit(control);
  std::free(control);
}

int tcontrol_realize(tcontrol *control) {
  PORT_CHECK(control != nullptr);
  if (!tsurface_get_parent(&control->_surface)) tsurface_add_to_screen(&control->_surface);
  return tsurface_realize(&control->_surface);
}

void tcontrol_on_paint(tsurface *surface, tcanvas *canvas, const trect *rect) {
  tcontrol *control = control_of(surface);
  if (control->_on_paint)
    control->_on_paint(control, canvas, rect);
  else if (control->_bdrawer)
    tbdrawer_draw(control->_bdrawer, canvas, rect);
}

void tcontrol_on_rect_changed(tsurface *surface, const trect *rect) {
  tcontrol *control = control_of(surface);
  PORT_CHECK(rect != nullptr);
  control->_client_rect = {0, 0, rect->x2 - rect->x1, rect->y2 - rect->y1};
  if (control->_on_layout)
    control->_on_layout(control, rect);
  else
    tsurface_update(surface, nullptr);
}

void tcontrol_on_parent_resized(tsurface *surface, const trect *parent_rect) {
  tcontrol *control = control_of(surface);
  trect client;
  tcontrol_get_parent_client_rect(control, &client);
  tcontrol_apply_anchors(control, &client);
  if (control->_on_parent_resized) control->_on_parent_resized(control, parent_rect);
}

int tcontrol_on_key(tsurface *surface, uint32_t code, uint32_t repeat, uint32_t modifiers) {
  return tcontrol_handle_key(control_of(surface), code, repeat, modifiers);
}

int tcontrol_on_pen(tsurface *surface, int type, int32_t x, int32_t y, uint32_t modifiers) {
  return tcontrol_handle_pen(control_of(surface), type, x, y, modifiers);
}

int32_t tcontrol_on_child_count(tsurface *surface) { return tcontrol_get_child_count(control_of(surface)); }

tsurface *tcontrol_on_child_at(tsurface *surface, int32_t index) {
  tcontrol *child = tcontrol_get_child_at(control_of(surface), index);
  return child ? &child->_surface : nullptr;
}

tcontrol_paint_fn tcontrol_set_on_paint(tcontrol *control, tcontrol_paint_fn hook) {
  PORT_CHECK(control != nullptr);
  tcontrol_paint_fn previous = control->_on_paint;
  control->_on_paint = hook;
  return previous;
}

tcontrol_rect_fn tcontrol_set_on_layout(tcontrol *control, tcontrol_rect_fn hook) {
  PORT_CHECK(control != nullptr);
  tcontrol_rect_fn previous = control->_on_layout;
  control->_on_layout = hook;
  return previous;
}

tcontrol_rect_fn tcontrol_set_on_parent_resized(tcontrol *control, tcontrol_rect_fn hook) {
  PORT_CHECK(control != nullptr);
  tcontrol_rect_fn previous = control->_on_parent_resized;
  control->_on_parent_resized = hook;
  return previous;
}

tcontrol_key_fn tcontrol_set_on_key(tcontrol *control, tcontrol_key_fn hook) {
  PORT_CHECK(control != nullptr);
  tcontrol_key_fn previous = control->_on_key;
  control->_on_key = hook;
  return previous;
}

tcontrol_pen_fn tcontrol_set_on_pen(tcontrol *control, tcontrol_pen_fn hook) {
  PORT_CHECK(control != nullptr);
  tcontrol_pen_fn previous = control->_on_pen;
  control->_on_pen = hook;
  return previous;
}

void tcontrol_set_children_fns(tcontrol *control, tcontrol_child_count_fn count, tcontrol_child_at_fn at) {
  PORT_CHECK(control != nullptr);
  control->_child_count = count;
  control->_child_at = at;
}

void tcontrol_set_focusable_test(tcontrol *control, tcontrol_test_fn test) {
  PORT_CHECK(control != nullptr);
  control->_is_focusable = test;
}

void tcontrol_set_on_focus_in(tcontrol *control, tcontrol_notify_fn hook) {
  PORT_CHECK(control != nullptr);
  control->_on_focus_in = hook;
}

void tcontrol_set_on_focus_out(tcontrol *control, tcontrol_notify_fn hook) {
  PORT_CHECK(control != nullptr);
  control->_on_focus_out = hook;
}

int tcontrol_handle_key(tcontrol *control, uint32_t code, uint32_t repeat, uint32_t modifiers) {
  PORT_CHECK(control != nullptr);
  return control->_on_key ? control->_on_key(control, code, repeat, modifiers) : 0;
}

int tcontrol_handle_pen(tcontrol *control, int type, int32_t x, int32_t y, uint32_t modifiers) {
  PORT_CHECK(control != nullptr);
  return control->_on_pen ? control->_on_pen(control, type, x, y, modifiers) : 0;
}

void tcontrol_layout(tcontrol *control, const trect *rect) {
  PORT_CHECK(control != nullptr);
  if (control->_on_layout) control->_on_layout(control, rect);
}

int32_t tcontrol_get_child_count(tcontrol *control) {
  PORT_CHECK(control != nullptr);
  return control->_child_count ? control->_child_count(control) : 0;
}

tcontrol *tcontrol_get_child_at(tcontrol *control, int32_t index) {
  PORT_CHECK(control != nullptr);
  return control->_child_at ? control->_child_at(control, index) : nullptr;
}

int tcontrol_is_focusable(tcontrol *control) {
  PORT_CHECK(control != nullptr);
  return control->_is_focusable ? control->_is_focusable(control) : 0;
}

void tcontrol_set_enabled(tcontrol *control, int enabled) {
  PORT_CHECK(control != nullptr);
  control->_disabled = !enabled;
}

int tcontrol_is_enabled(const tcontrol *control) {
  PORT_CHECK(control != nullptr);
  return !control->_disabled;
}

void tcontrol_set_focus(tcontrol *control, int focused) {
  PORT_CHECK(control != nullptr);
  uint8_t was = control->_focused;
  control->_focused = focused != 0;
  if (!was && control->_focused && control->_on_focus_in) control->_on_focus_in(control);
  if (was && !control->_focused && control->_on_focus_out) control->_on_focus_out(control);
}

int tcontrol_has_focus(const tcontrol *control) {
  PORT_CHECK(control != nullptr);
  return control->_focused;
}

tbdrawer *tcontrol_get_box_drawer(const tcontrol *control) {
  PORT_CHECK(control != nullptr);
  return control->_bdrawer;
}

void tcontrol_set_client_rect(tcontrol *control, const trect *rect) {
  PORT_CHECK(control != nullptr && rect != nullptr);
  control->_client_rect = *rect;
}

const trect *tcontrol_get_client_rect(const tcontrol *control) {
  PORT_CHECK(control != nullptr);
  return &control->_client_rect;
}

void tcontrol_get_parent_client_rect(const tcontrol *control, trect *out) {
  PORT_CHECK(control != nullptr && out != nullptr);
  tsurface *parent = tsurface_get_parent(&control->_surface);
  if (parent) {
    *out = reinterpret_cast<const tcontrol *>(parent)->_client_rect;
    return;
  }
  tscreen *screen = tscreen_get();
  PORT_CHECK(screen != nullptr);
  *out = *tscreen_get_rect(screen);
}

void tcontrol_set_align(tcontrol *control, int32_t align) {
  PORT_CHECK(control != nullptr);
  control->_align = align;
  trect p;
  tcontrol_get_parent_client_rect(control, &p);
  int32_t pw = side(p.x1, p.x2), ph = side(p.y1, p.y2);
  tsurface *surface = &control->_surface;
  switch (align) {
    case TCONTROL_ALIGN_NONE:
      tcontrol_set_anchors(control, 0, 0, 0, 0);
      break;
    case TCONTROL_ALIGN_LEFT:
      tsurface_set_rect(surface, p.x1, p.y1, pw / 2, ph);
      tcontrol_set_anchors(control, 1, 1, 0, 1);
      break;
    case TCONTROL_ALIGN_TOP:
      tsurface_set_rect(surface, p.x1, p.y1, pw, ph / 2);
      tcontrol_set_anchors(control, 1, 1, 1, 0);
      break;
    case TCONTROL_ALIGN_RIGHT: {
      int32_t x = p.x1 + pw / 2;
      tsurface_set_rect(surface, x, p.y1, p.x2 - x + 1, ph);
      tcontrol_set_anchors(control, 0, 1, 1, 1);
      break;
    }
    case TCONTROL_ALIGN_BOTTOM: {
      int32_t y = p.y1 + ph / 2;
      tsurface_set_rect(surface, p.x1, y, pw, p.y2 - y + 1);
      tcontrol_set_anchors(control, 1, 0, 1, 1);
      break;
    }
    case TCONTROL_ALIGN_FILL:
      tsurface_set_rect(surface, p.x1, p.y1, pw, ph);
      tcontrol_set_anchors(control, 1, 1, 1, 1);
      break;
    default:
      break;
  }
}

void tcontrol_set_anchors(tcontrol *control, int left, int top, int right, int bottom) {
  PORT_CHECK(control != nullptr);
  control->_anchors = (left ? TCONTROL_ANCHOR_LEFT : 0) | (top ? TCONTROL_ANCHOR_TOP : 0) |
                      (right ? TCONTROL_ANCHOR_RIGHT : 0) | (bottom ? TCONTROL_ANCHOR_BOTTOM : 0);
  tcontrol_update_margins(control);
}

void tcontrol_update_margins(tcontrol *control) {
  PORT_CHECK(control != nullptr);
  trect p;
  tcontrol_get_parent_client_rect(control, &p);
  const trect *r = tsurface_get_rect(&control->_surface);
  control->_margin_left = r->x1 - p.x1;
  control->_margin_top = r->y1 - p.y1;
  control->_margin_right = p.x2 - r->x2;
  control->_margin_bottom = p.y2 - r->y2;
}

void tcontrol_apply_anchors(tcontrol *control, const trect *parent_client) {
  PORT_CHECK(control != nullptr && parent_client != nullptr);
  const trect &p = *parent_client;
  // A parent empty both ways (not yet laid out) would collapse the control.
  if (side(p.x1, p.x2) < 1 && side(p.y1, p.y2) < 1) return;
  trect r = *tsurface_get_rect(&control->_surface);
  int32_t w = side(r.x1, r.x2), h = side(r.y1, r.y2);
  uint32_t anchors = control->_anchors;
  if (anchors & TCONTROL_ANCHOR_LEFT) r.x1 = p.x1 + control->_margin_left;
  if (anchors & TCONTROL_ANCHOR_TOP) r.y1 = p.y1 + control->_margin_top;
  // Right alone moves only the right edge, so the control stretches; bottom
  // alone keeps the height and follows the bottom edge. Both are intended.
  if (anchors & TCONTROL_ANCHOR_RIGHT) r.x2 = p.x2 - control->_margin_right;
  if (anchors & TCONTROL_ANCHOR_BOTTOM) {
    r.y2 = p.y2 - control->_margin_bottom;
    if (control->_align != TCONTROL_ALIGN_BOTTOM && !(anchors & TCONTROL_ANCHOR_TOP)) r.y1 = r.y2 - h + 1;
  }
  if (control->_align == TCONTROL_ALIGN_RIGHT) r.x1 = r.x2 - w + 1;
  if (control->_align == TCONTROL_ALIGN_BOTTOM) r.y1 = r.y2 - h + 1;
  tsurface_set_rect(&control->_surface, r.x1, r.y1, side(r.x1, r.x2), side(r.y1, r.y2));
}

void tcontrol_move_by(tcontrol *control, int32_t dx, int32_t dy, int notify) {
  PORT_CHECK(control != nullptr);
  if (control->_align >= TCONTROL_ALIGN_LEFT && control->_align <= TCONTROL_ALIGN_FILL) return;
  tsurface_move(&control->_surface, dx, dy, notify);
  tcontrol_update_margins(control);
}

void tcontrol_move_to(tcontrol *control, int32_t x, int32_t y, int notify) {
  PORT_CHECK(control != nullptr);
  const trect *r = tsurface_get_rect(&control->_surface);
  tcontrol_move_by(control, x - r->x1, y - r->y1, notify);
}

void tcontrol_set_size(tcontrol *control, int32_t width, int32_t height) {
  PORT_CHECK(control != nullptr);
  tsurface *surface = &control->_surface;
  const trect r = *tsurface_get_rect(surface);
  switch (control->_align) {
    case TCONTROL_ALIGN_FILL:
      return;
    case TCONTROL_ALIGN_LEFT:
      tsurface_resize(surface, width, side(r.y1, r.y2));
      break;
    case TCONTROL_ALIGN_RIGHT:
      tsurface_set_rect(surface, r.x2 - width + 1, r.y1, width, side(r.y1, r.y2));
      break;
    case TCONTROL_ALIGN_TOP:
      tsurface_resize(surface, side(r.x1, r.x2), height);
      break;
    case TCONTROL_ALIGN_BOTTOM:
      tsurface_set_rect(surface, r.x1, r.y2 - height + 1, side(r.x1, r.x2), height);
      break;
    default:
      tsurface_resize(surface, width, height);
      break;
  }
  tcontrol_update_margins(control);
}

void tcontrol_set_rect(tcontrol *control, int32_t x, int32_t y, int32_t width, int32_t height) {
  PORT_CHECK(control != nullptr);
  const trect *r = tsurface_get_rect(&control->_surface);
  tcontrol_move_by(control, x - r->x1, y - r->y1, 0);
  tcontrol_set_size(control, width, height);
}

void tcontrol_set_width(tcontrol *control, int32_t width) {
  PORT_CHECK(control != nullptr);
  tcontrol_set_size(control, width, tsurface_get_height(&control->_surface));
}

void tcontrol_set_height(tcontrol *control, int32_t height) {
  PORT_CHECK(control != nullptr);
  tcontrol_set_size(control, tsurface_get_width(&control->_surface), height);
}

// The surface is the control's first member.
static tcontrol *control_of(tsurface *surface) {
  PORT_CHECK(surface != nullptr);
  return reinterpret_cast<tcontrol *>(surface);
}

static int32_t side(int32_t from, int32_t to) { return to - from + 1; }
