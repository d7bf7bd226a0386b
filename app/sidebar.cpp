// tsidebar: the slide-out container of the floating panels.
#include "sidebar.h"

#include <algorithm>

#include "os_clock.h"
#include "port_log.h"
#include "tscreen.h"

namespace {

constexpr intptr_t k_tab_user_data = 1;

tsidebar *sidebar_of_dock(tdock *dock);
int never_drag(tdock *dock, int32_t x, int32_t y);
int never_dock(tdock *dock, int32_t side);
int never_resize(tdock *dock, int32_t zone, int32_t *x, int32_t *y, int32_t *width, int32_t *height);
int32_t content_count(tdock *dock);
tcontrol *content_at(tdock *dock, int32_t index);
int content_key(tdock *dock, uint32_t code, uint32_t repeat, uint32_t modifiers);
void dock_layout(tcontrol *control, const trect *rect);
void dock_parent_resized(tcontrol *control, const trect *rect);
void tab_click(tbutton *button, intptr_t user_data);
void apply_rects(tsidebar *sb);
void place(tcontrol *control, const trect &r);
trect align_tab(const tsidebar *sb, const trect &strip, int32_t side, int32_t tab_width, int32_t tab_height);
int32_t width_of(const trect &r) { return r.x2 - r.x1 + 1; }
int32_t height_of(const trect &r) { return r.y2 - r.y1 + 1; }
tsurface *surface_of(void *control) { return &static_cast<tcontrol *>(control)->_surface; }
trect join(const trect &a, const trect &b) {
  return {std::min(a.x1, b.x1), std::min(a.y1, b.y1), std::max(a.x2, b.x2), std::max(a.y2, b.y2)};
}

// The dock's own layout hook, which the side bar's wraps (the same for every dock).
tcontrol_rect_fn g_dock_layout = nullptr;

}  // namespace

int tsidebar_init(tsidebar *sb, tcontrol *parent, const trect *portrait, const trect *landscape,
                  const tpoint *portrait_tab, const tpoint *landscape_tab, int32_t alignment, int open, void *owner) {
  PORT_CHECK(sb != nullptr);
  PORT_CHECK(portrait != nullptr && landscape != nullptr && portrait_tab != nullptr && landscape_tab != nullptr);
  sb->_dock = nullptr;
  sb->_tab = nullptr;
  sb->_content = nullptr;
  sb->_portrait_rect = *portrait;
  sb->_landscape_rect = *landscape;
  sb->_portrait_tab_width = portrait_tab->x;
  sb->_portrait_tab_height = portrait_tab->y;
  sb->_landscape_tab_width = landscape_tab->x;
  sb->_landscape_tab_height = landscape_tab->y;
  sb->_alignment = alignment;
  sb->_open = open ? 1 : 0;
  sb->_on_layout = nullptr;
  sb->_owner = owner;
  tscreen *screen = tscreen_get();
  trect frame, tab;
  tsidebar_compute_rects(sb, tscreen_get_width(screen), tscreen_get_height(screen), sb->_open, &frame, &tab,
                         &sb->_side);
  sb->_landscape = tscreen_get_width(screen) > tscreen_get_height(screen);
  sb->_dock = tdock_new(parent, &frame, sb);
  if (sb->_dock) sb->_tab = tbutton_new(parent, &tab, u"", k_tab_user_data, sb);
  if (!sb->_tab) {
    if (sb->_dock) tdock_free(sb->_dock);
    sb->_dock = nullptr;
    return 0;
  }
  tdock *dock = sb->_dock;
  tdock_set_can_drag_func(dock, never_drag);
  tdock_set_can_dock_func(dock, never_dock);
  tdock_set_resize_func(dock, never_resize);
  tdock_set_child_funcs(dock, content_count, content_at);
  tdock_set_key_func(dock, content_key);
  tcontrol *control = &dock->_control;
  tcontrol_rect_fn previous = tcontrol_set_on_layout(control, dock_layout);
  if (previous != dock_layout) g_dock_layout = previous;
  tcontrol_set_on_parent_resized(control, dock_parent_resized);
  tbutton_set_on_click(sb->_tab, tab_click);
  return 1;
}

void tsidebar_deinit(tsidebar *sb) {
  PORT_CHECK(sb != nullptr);
  if (sb->_tab) tbutton_free(sb->_tab);
  sb->_tab = nullptr;
  if (sb->_dock) tdock_free(sb->_dock);
  sb->_dock = nullptr;
  sb->_content = nullptr;
}

void tsidebar_set_content(tsidebar *sb, tcontrol *content) {
  PORT_CHECK(sb != nullptr);
  sb->_content = content;
}

void tsidebar_set_on_layout(tsidebar *sb, tsidebar_layout_fn fn) {
  PORT_CHECK(sb != nullptr);
  sb->_on_layout = fn;
}

tdock *tsidebar_get_dock(const tsidebar *sb) {
  PORT_CHECK(sb != nullptr);
  return sb->_dock;
}

tbutton *tsidebar_get_tab(const tsidebar *sb) {
  PORT_CHECK(sb != nullptr);
  return sb->_tab;
}

void *tsidebar_get_owner(const tsidebar *sb) {
  PORT_CHECK(sb != nullptr);
  return sb->_owner;
}

int tsidebar_is_open(const tsidebar *sb) {
  PORT_CHECK(sb != nullptr);
  return sb->_open;
}

int tsidebar_is_landscape(const tsidebar *sb) {
  PORT_CHECK(sb != nullptr);
  return sb->_landscape;
}

void tsidebar_realize(tsidebar *sb) {
  PORT_CHECK(sb != nullptr);
  tcontrol_realize(&sb->_dock->_control);
  tcontrol_realize(&sb->_tab->_control);
}

void tsidebar_show(tsidebar *sb) {
  PORT_CHECK(sb != nullptr);
  tsurface_set_visible(surface_of(sb->_dock), 1);
  tsurface_set_visible(surface_of(sb->_tab), 1);
  tsurface_update(surface_of(sb->_dock), nullptr);
  tsurface_update(surface_of(sb->_tab), nullptr);
}

void tsidebar_hide(tsidebar *sb) {
  PORT_CHECK(sb != nullptr);
  tsurface_set_visible(surface_of(sb->_dock), 0);
  tsurface_set_visible(surface_of(sb->_tab), 0);
  trect area = join(*tsurface_get_rect(surface_of(sb->_dock)), *tsurface_get_rect(surface_of(sb->_tab)));
  tscreen_paint(tscreen_get(), &area);
}

// Three moves by a quarter of the longer travel and a last one onto the
// targets, each shown before a short pause; a travel that does not divide
// by four ends exactly where it should all the same.
void tsidebar_toggle(tsidebar *sb) {
  PORT_CHECK(sb != nullptr);
  tscreen *screen = tscreen_get();
  sb->_open = !sb->_open;
  trect frame, tab;
  tsidebar_compute_rects(sb, tscreen_get_width(screen), tscreen_get_height(screen), sb->_open, &frame, &tab,
                         &sb->_side);
  tsurface *dock = surface_of(sb->_dock), *button = surface_of(sb->_tab);
  bool across = sb->_side == TSIDEBAR_LEFT || sb->_side == TSIDEBAR_RIGHT;
  const trect &now = *tsurface_get_rect(dock);
  int32_t step = std::max(across ? width_of(now) : height_of(now), across ? width_of(frame) : height_of(frame)) /
                 TSIDEBAR_SLIDE_STEPS;
  int32_t direction = sb->_side == TSIDEBAR_LEFT || sb->_side == TSIDEBAR_TOP ? 1 : -1;
  if (!sb->_open) direction = -direction;
  for (int i = 1; i <= TSIDEBAR_SLIDE_STEPS; i++) {
    trect before = join(*tsurface_get_rect(dock), *tsurface_get_rect(button));
    if (i < TSIDEBAR_SLIDE_STEPS) {
      int32_t dx = across ? step * direction : 0, dy = across ? 0 : step * direction;
      tcontrol_move_by(&sb->_dock->_control, dx, dy, 1);
      tcontrol_move_by(&sb->_tab->_control, dx, dy, 1);
    } else {
      place(&sb->_dock->_control, frame);
      place(&sb->_tab->_control, tab);
    }
    trect after = join(*tsurface_get_rect(dock), *tsurface_get_rect(button));
    trect area = join(before, after);
    tscreen_paint(screen, &area);
    os_sleep_ms(TSIDEBAR_SLIDE_PAUSE_MS);
  }
  tsurface_update(dock, nullptr);
  tsurface_update(button, nullptr);
  tcontrol_set_focus(&sb->_tab->_control, 0);
}

void tsidebar_open(tsidebar *sb) {
  PORT_CHECK(sb != nullptr);
  if (!sb->_open) tsidebar_toggle(sb);
}

void tsidebar_close(tsidebar *sb) {
  PORT_CHECK(sb != nullptr);
  if (sb->_open) tsidebar_toggle(sb);
}

void tsidebar_compute_rects(const tsidebar *sb, int32_t screen_width, int32_t screen_height, int open, trect *frame,
                            trect *tab, int32_t *side) {
  PORT_CHECK(sb != nullptr && frame != nullptr && tab != nullptr && side != nullptr);
  bool landscape = screen_width > screen_height;
  const trect &r = landscape ? sb->_landscape_rect : sb->_portrait_rect;
  int32_t tab_width = landscape ? sb->_landscape_tab_width : sb->_portrait_tab_width;
  int32_t tab_height = landscape ? sb->_landscape_tab_height : sb->_portrait_tab_height;
  int32_t s = r.x1 == 0                    ? TSIDEBAR_LEFT
              : r.y1 == 0                  ? TSIDEBAR_TOP
              : r.x2 >= screen_width - 1   ? TSIDEBAR_RIGHT
              : r.y2 >= screen_height - 1  ? TSIDEBAR_BOTTOM
                                           : TSIDEBAR_LEFT;
  trect f = r, t = r;
  switch (s) {
    case TSIDEBAR_LEFT:
      f.x2 = r.x2 - tab_width;
      t = {f.x2 + 1, r.y1, r.x2, r.y2};
      break;
    case TSIDEBAR_TOP:
      f.y2 = r.y2 - tab_height;
      t = {r.x1, f.y2 + 1, r.x2, r.y2};
      break;
    case TSIDEBAR_RIGHT:
      f.x1 = r.x1 + tab_width;
      t = {r.x1, r.y1, f.x1 - 1, r.y2};
      break;
    default:
      f.y1 = r.y1 + tab_height;
      t = {r.x1, r.y1, r.x2, f.y1 - 1};
      break;
  }
  if (!open) {
    int32_t dx = 0, dy = 0;
    if (s == TSIDEBAR_LEFT) dx = -width_of(f);
    if (s == TSIDEBAR_RIGHT) dx = width_of(f);
    if (s == TSIDEBAR_TOP) dy = -height_of(f);
    if (s == TSIDEBAR_BOTTOM) dy = height_of(f);
    f = {f.x1 + dx, f.y1 + dy, f.x2 + dx, f.y2 + dy};
    t = {t.x1 + dx, t.y1 + dy, t.x2 + dx, t.y2 + dy};
  }
  *frame = f;
  *tab = align_tab(sb, t, s, tab_width, tab_height);
  *side = s;
}

namespace {

tsidebar *sidebar_of_dock(tdock *dock) {
  return static_cast<tsidebar *>(tsurface_get_owner(&dock->_control._surface));
}

int never_drag(tdock *, int32_t, int32_t) { return 0; }
int never_dock(tdock *, int32_t) { return 0; }
int never_resize(tdock *, int32_t, int32_t *, int32_t *, int32_t *, int32_t *) { return 0; }

int32_t content_count(tdock *dock) { return sidebar_of_dock(dock)->_content ? 1 : 0; }

tcontrol *content_at(tdock *dock, int32_t index) { return index == 0 ? sidebar_of_dock(dock)->_content : nullptr; }

int content_key(tdock *dock, uint32_t code, uint32_t repeat, uint32_t modifiers) {
  tcontrol *content = sidebar_of_dock(dock)->_content;
  return content ? tcontrol_handle_key(content, code, repeat, modifiers) : 0;
}

void dock_layout(tcontrol *control, const trect *rect) {
  if (g_dock_layout) g_dock_layout(control, rect);
  tsidebar *sb = sidebar_of_dock(reinterpret_cast<tdock *>(control));
  if (sb->_on_layout) sb->_on_layout(sb, rect);
}

// A rotation: the rectangles of the new orientation, in the state the bar is in.
void dock_parent_resized(tcontrol *control, const trect *) {
  apply_rects(sidebar_of_dock(reinterpret_cast<tdock *>(control)));
}

// The owner learns of the click last: nothing of the tab is read after it.
void tab_click(tbutton *button, intptr_t user_data) {
  if (user_data != k_tab_user_data) return;
  tsidebar_toggle(static_cast<tsidebar *>(tsurface_get_owner(&button->_control._surface)));
}

void apply_rects(tsidebar *sb) {
  tscreen *screen = tscreen_get();
  int32_t width = tscreen_get_width(screen), height = tscreen_get_height(screen);
  trect frame, tab;
  tsidebar_compute_rects(sb, width, height, sb->_open, &frame, &tab, &sb->_side);
  sb->_landscape = width > height;
  place(&sb->_dock->_control, frame);
  place(&sb->_tab->_control, tab);
}

void place(tcontrol *control, const trect &r) { tcontrol_set_rect(control, r.x1, r.y1, width_of(r), height_of(r)); }

trect align_tab(const tsidebar *sb, const trect &strip, int32_t side, int32_t tab_width, int32_t tab_height) {
  trect t = strip;
  if (side == TSIDEBAR_TOP || side == TSIDEBAR_BOTTOM) {
    int32_t room = width_of(strip) - tab_width;
    int32_t x = sb->_alignment == TSIDEBAR_ALIGN_CENTRE ? room / 2 : sb->_alignment == TSIDEBAR_ALIGN_END ? room : 0;
    t.x1 = strip.x1 + x;
    t.x2 = t.x1 + tab_width - 1;
  } else {
    int32_t room = height_of(strip) - tab_height;
    int32_t y = sb->_alignment == TSIDEBAR_ALIGN_CENTRE ? room / 2 : sb->_alignment == TSIDEBAR_ALIGN_END ? room : 0;
    t.y1 = strip.y1 + y;
    t.y2 = t.y1 + tab_height - 1;
  }
  return t;
}

}  // namespace
