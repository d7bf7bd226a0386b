// tsurface: off-screen buffers, composition, updates, geometry.
#include "tsurface.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "port_device.h"
#include "port_log.h"
#include "tscreen.h"
#include "wins_window.h"

static int make_canvas(tsurface *surface, tcanvas *canvas, int32_t width, int32_t height);
static void redraw(tsurface *surface);
static void compose_children(tsurface *surface);
static const tsurface *top_level_of(const tsurface *surface);
static bool is_shown(const tsurface *surface);
static int32_t side_of(int32_t v1, int32_t v2);
static bool clip_to(const trect *bounds, trect *r);
static void geometry_changed(tsurface *surface, const trect *old_rect, bool notify_same_size);
static tsurface *top_popup(const tscreen *screen);

// The watched slots (GUI thread only).
static std::vector<tsurface **> g_watched;
// The surfaces that took the modal slot and remember what they covered (GUI
// thread only).
static std::vector<tsurface *> g_covering;

int tsurface_init(tsurface *surface, tsurface *parent, const trect *rect, void *owner) {
  PORT_CHECK(surface != nullptr && rect != nullptr);
  std::memset(surface, 0, sizeof *surface);
  surface->_link.next = surface->_link.prev = &surface->_link;
  trect r = *rect;
  // x2 = x1 - 1 is an empty side, not a reversed one.
  if (r.x2 < r.x1 - 1) std::swap(r.x1, r.x2);
  if (r.y2 < r.y1 - 1) std::swap(r.y1, r.y2);
  if (!make_canvas(surface, &surface->_canvas, side_of(r.x1, r.x2), side_of(r.y1, r.y2))) {
    std::memset(surface, 0, sizeof *surface);
    surface->_link.next = surface->_link.prev = &surface->_link;
    return 0;
  }
  surface->_rect = r;
  surface->_canvas._rect = r;
  surface->_parent = parent;
  surface->_visible = 1;
  surface->_owner = owner;
  return 1;
}

void tsurface_deinit(tsurface *surface) {
  PORT_CHECK(surface != nullptr);
  tscreen *screen = tscreen_get();
  tsurface *covered = surface->_covering ? surface->_covered : nullptr;
  if (surface->_covering) g_covering.erase(std::remove(g_covering.begin(), g_covering.end(), surface), g_covering.end());
  for (tsurface *above : g_covering)
    if (above->_covered == surface) above->_covered = covered != above ? covered : nullptr;
  if (screen) {
    if (tscreen_get_modal(screen) == surface) {
      tsurface *top = top_popup(screen);
      tscreen_set_modal(screen, top ? top : covered);
    }
    if (tscreen_get_pen_capture(screen) == surface) tscreen_set_pen_capture(screen, nullptr);
  }
  for (tsurface **slot : g_watched)
    if (*slot == surface) *slot = nullptr;
  // A record torn down while still listed would leave the list pointing at
  // freed memory; whichever screen holds it, the neighbours close ranks.
  if (tsurface_is_linked(surface)) {
    surface->_link.prev->next = surface->_link.next;
    surface->_link.next->prev = surface->_link.prev;
  }
  if (tcanvas_get_bitmap(&surface->_canvas)) tcanvas_deinit(&surface->_canvas);
  std::memset(surface, 0, sizeof *surface);
  surface->_link.next = surface->_link.prev = &surface->_link;
}

int tsurface_add_to_screen(tsurface *surface) {
  PORT_CHECK(surface != nullptr);
  return tscreen_insert_surface(tscreen_get(), surface);
}

int tsurface_remove_from_screen(tsurface *surface) {
  PORT_CHECK(surface != nullptr);
  return tscreen_remove_surface(tscreen_get(), surface);
}

int tsurface_bring_to_front(tsurface *surface) {
  PORT_CHECK(surface != nullptr);
  return tscreen_bring_to_front(tscreen_get(), surface);
}

int tsurface_send_to_back(tsurface *surface) {
  PORT_CHECK(surface != nullptr);
  return tscreen_send_to_back(tscreen_get(), surface);
}

void tsurface_set_on_paint(tsurface *surface, tsurface_draw_fn fn) {
  PORT_CHECK(surface != nullptr);
  surface->_draw = fn;
}

void tsurface_set_on_rect_changed(tsurface *surface, tsurface_rect_fn fn) {
  PORT_CHECK(surface != nullptr);
  surface->_rect_changed = fn;
}

void tsurface_set_on_parent_resized(tsurface *surface, tsurface_rect_fn fn) {
  PORT_CHECK(surface != nullptr);
  surface->_parent_rect_changed = fn;
}

void tsurface_set_on_key(tsurface *surface, tsurface_key_fn fn) {
  PORT_CHECK(surface != nullptr);
  surface->_key_fn = fn;
}

void tsurface_set_on_pen(tsurface *surface, tsurface_pen_fn fn) {
  PORT_CHECK(surface != nullptr);
  surface->_pen_fn = fn;
}

void tsurface_set_children_fns(tsurface *surface, tsurface_child_count_fn count, tsurface_child_at_fn at) {
  PORT_CHECK(surface != nullptr);
  surface->_child_count = count;
  surface->_child_at = at;
}

void tsurface_set_on_compose(tsurface *surface, tsurface_compose_fn fn) {
  PORT_CHECK(surface != nullptr);
  bool had = surface->_compose != nullptr;
  surface->_compose = fn;
  if (had != (fn != nullptr)) tsurface_recreate_canvas(surface);
}

void tsurface_set_on_backdrop(tsurface *surface, tsurface_compose_fn fn) {
  PORT_CHECK(surface != nullptr);
  surface->_backdrop = fn;
}

void tsurface_set_visible(tsurface *surface, int visible) {
  PORT_CHECK(surface != nullptr);
  surface->_visible = visible ? 1 : 0;
}

void tsurface_set_parent(tsurface *surface, tsurface *parent) {
  PORT_CHECK(surface != nullptr);
  surface->_parent = parent;
}

void tsurface_set_pen_capture(tsurface *surface, int flag) {
  PORT_CHECK(surface != nullptr);
  surface->_pen_captured = flag ? 1 : 0;
  tscreen *screen = tscreen_get();
  if (!screen) return;
  if (flag)
    tscreen_set_pen_capture(screen, surface);
  else if (tscreen_get_pen_capture(screen) == surface)
    tscreen_set_pen_capture(screen, nullptr);
}

void tsurface_take_modal(tsurface *surface) {
  PORT_CHECK(surface != nullptr);
  tscreen *screen = tscreen_get();
  if (!screen) return;
  if (!surface->_covering) {
    tsurface *modal = tscreen_get_modal(screen);
    surface->_covered = modal != surface ? modal : nullptr;
    surface->_covering = 1;
    g_covering.push_back(surface);
  }
  tscreen_set_modal(screen, surface);
}

void tsurface_watch(tsurface **slot) {
  PORT_CHECK(slot != nullptr);
  if (std::find(g_watched.begin(), g_watched.end(), slot) == g_watched.end()) g_watched.push_back(slot);
}

void tsurface_unwatch(tsurface **slot) {
  PORT_CHECK(slot != nullptr);
  g_watched.erase(std::remove(g_watched.begin(), g_watched.end(), slot), g_watched.end());
}

void tsurface_set_color_key(tsurface *surface, tcolor key) {
  PORT_CHECK(surface != nullptr);
  surface->_key = key;
  surface->_keyed = 1;
}

void tsurface_set_color_key_enabled(tsurface *surface, int enabled) {
  PORT_CHECK(surface != nullptr);
  surface->_keyed = enabled ? 1 : 0;
}

void tsurface_set_mask(tsurface *surface, const tbitmap *mask, int alpha) {
  PORT_CHECK(surface != nullptr);
  surface->_mask = mask;
  surface->_mask_alpha = uint16_t(alpha);
  surface->_masked = 1;
}

void tsurface_set_mask_enabled(tsurface *surface, int enabled) {
  PORT_CHECK(surface != nullptr);
  surface->_masked = enabled ? 1 : 0;
}

void tsurface_set_update_mode(tsurface *surface, int direct, int sync_ancestors) {
  PORT_CHECK(surface != nullptr);
  bool was_direct = surface->_direct_update;
  surface->_direct_update = direct ? 1 : 0;
  surface->_sync_ancestors = sync_ancestors ? 1 : 0;
  if (surface->_compose && was_direct != bool(surface->_direct_update)) tsurface_recreate_canvas(surface);
}

tcanvas *tsurface_get_canvas(tsurface *surface) {
  PORT_CHECK(surface != nullptr);
  return &surface->_canvas;
}

const trect *tsurface_get_rect(const tsurface *surface) {
  PORT_CHECK(surface != nullptr);
  return &surface->_rect;
}

int32_t tsurface_get_width(const tsurface *surface) {
  PORT_CHECK(surface != nullptr);
  return surface->_rect.x2 - surface->_rect.x1 + 1;
}

int32_t tsurface_get_height(const tsurface *surface) {
  PORT_CHECK(surface != nullptr);
  return surface->_rect.y2 - surface->_rect.y1 + 1;
}

int tsurface_is_visible(const tsurface *surface) {
  PORT_CHECK(surface != nullptr);
  return surface->_visible;
}

int tsurface_is_realized(const tsurface *surface) {
  PORT_CHECK(surface != nullptr);
  return surface->_realized;
}

tsurface *tsurface_get_parent(const tsurface *surface) {
  PORT_CHECK(surface != nullptr);
  return surface->_parent;
}

void *tsurface_get_owner(const tsurface *surface) {
  PORT_CHECK(surface != nullptr);
  return surface->_owner;
}

int tsurface_get_dirty_rect(const tsurface *surface, trect *out) {
  PORT_CHECK(surface != nullptr && out != nullptr);
  if (!surface->_dirty) return 0;
  *out = surface->_dirty_rect;
  return 1;
}

int tsurface_has_pen_capture(const tsurface *surface) {
  PORT_CHECK(surface != nullptr);
  return surface->_pen_captured;
}

int tsurface_is_linked(const tsurface *surface) {
  PORT_CHECK(surface != nullptr);
  return surface->_link.next && surface->_link.next != &surface->_link;
}

void tsurface_get_screen_rect(const tsurface *surface, trect *out) {
  PORT_CHECK(surface != nullptr && out != nullptr);
  *out = surface->_rect;
  for (const tsurface *ancestor = surface->_parent; ancestor; ancestor = ancestor->_parent) {
    out->x1 += ancestor->_rect.x1;
    out->x2 += ancestor->_rect.x1;
    out->y1 += ancestor->_rect.y1;
    out->y2 += ancestor->_rect.y1;
  }
}

int tsurface_realize(tsurface *surface) {
  PORT_CHECK(surface != nullptr);
  if (surface->_realized) return 1;
  if (surface->_rect_changed) {
    surface->_rect_changed(surface, &surface->_rect);
    tsurface_notify_children_resized(surface);
  }
  if (!surface->_compose && surface->_draw) {
    trect local = {0, 0, tsurface_get_width(surface) - 1, tsurface_get_height(surface) - 1};
    surface->_draw(surface, &surface->_canvas, &local);
  }
  if (surface->_child_count && surface->_child_at) {
    int32_t count = surface->_child_count(surface);
    for (int32_t i = 0; i < count; i++) {
      tsurface *child = surface->_child_at(surface, i);
      if (child) tsurface_realize(child);
    }
    compose_children(surface);
  }
  surface->_realized = 1;
  surface->_redraws++;
  return 1;
}

int tsurface_paint(tsurface *surface) {
  PORT_CHECK(surface != nullptr);
  if (!surface->_realized) return 0;
  redraw(surface);
  return 1;
}

int tsurface_update(tsurface *surface, const trect *rect) {
  PORT_CHECK(surface != nullptr);
  if (!surface->_realized) return 0;
  redraw(surface);
  return tsurface_present(surface, rect);
}

int tsurface_present(tsurface *surface, const trect *rect) {
  PORT_CHECK(surface != nullptr);
  if (!surface->_realized) return 0;
  trect area = surface->_rect;
  if (rect) {
    area = *rect;
    trect_normalize(&area);
    area.x1 += surface->_rect.x1;
    area.x2 += surface->_rect.x1;
    area.y1 += surface->_rect.y1;
    area.y2 += surface->_rect.y1;
  }
  if (surface->_dirty) {
    surface->_dirty = 0;
    trect_union(&area, &area, &surface->_dirty_rect);
  }

  tscreen *screen = tscreen_get();
  if (!surface->_direct_update) {
    if (surface->_parent)
      tsurface_update(surface->_parent, &area);
    else if (screen)
      tscreen_paint(screen, &area);
    return 1;
  }

  // Direct: the buffer goes straight to the frame buffer, unless updates are
  // locked or the surface is not shown (it stays current in its own buffer).
  if (!screen || tscreen_get_update_lock(screen) || !is_shown(surface)) return 1;
  trect local = {area.x1 - surface->_rect.x1, area.y1 - surface->_rect.y1, area.x2 - surface->_rect.x1,
                 area.y2 - surface->_rect.y1};
  if (surface->_sync_ancestors)
    for (tsurface *s = surface; s->_parent; s = s->_parent) tsurface_compose_onto(s, &s->_parent->_canvas);
  trect on_screen;
  tsurface_get_screen_rect(surface, &on_screen);
  tpoint dst = {on_screen.x1 + local.x1, on_screen.y1 + local.y1};
  tcanvas *frame = tscreen_get_canvas(screen);
  tcanvas_draw_bitmap(frame, &dst, tcanvas_get_bitmap(&surface->_canvas), &local);
  // Whatever lies above is composed again over the updated area only, so a
  // backdrop (a dialog's dimming) darkens nothing twice.
  trect screen_area = {dst.x, dst.y, dst.x + local.x2 - local.x1, dst.y + local.y2 - local.y1};
  if (clip_to(tscreen_get_rect(screen), &screen_area)) tscreen_compose_above(screen, top_level_of(surface), &screen_area);
  if (clip_to(tscreen_get_rect(screen), &on_screen)) wins_window_flush_screen(&on_screen);
  return 1;
}

int tsurface_compose_onto(tsurface *surface, tcanvas *canvas) {
  PORT_CHECK(surface != nullptr && canvas != nullptr);
  if (!surface->_visible) return 1;
  if (surface->_backdrop) {
    const tbitmap *bitmap = tcanvas_get_bitmap(canvas);
    trect bounds = {0, 0, bitmap ? tbitmap_get_width(bitmap) - 1 : -1, bitmap ? tbitmap_get_height(bitmap) - 1 : -1};
    // Under a clip only the clipped area is recomposed: the backdrop covers just that.
    if (canvas->_clip_on) clip_to(&canvas->_clip, &bounds);
    surface->_backdrop(surface, canvas, &bounds);
  }
  if (surface->_compose) {
    surface->_compose(surface, canvas, &surface->_rect);
    return 1;
  }
  int32_t w = tsurface_get_width(surface), h = tsurface_get_height(surface);
  tbitmap *own = tcanvas_get_bitmap(&surface->_canvas);
  if (w < 1 || h < 1 || !own) return 1;
  tpoint dst = {surface->_rect.x1, surface->_rect.y1};
  trect src = {0, 0, w - 1, h - 1};
  if (surface->_masked && surface->_mask)
    tcanvas_draw_bitmap_masked(canvas, &dst, own, &src, surface->_mask, surface->_mask_alpha);
  else if (surface->_keyed)
    tcanvas_draw_bitmap_keyed(canvas, &dst, own, &src,
                              uint32_t(surface->_key.blue) << 16 | uint32_t(surface->_key.green) << 8 |
                                  surface->_key.red,
                              surface->_key.alpha);
  else
    tcanvas_draw_bitmap(canvas, &dst, own, &src);
  return 1;
}

void tsurface_mark_dirty(tsurface *surface, const trect *old_rect) {
  PORT_CHECK(surface != nullptr && old_rect != nullptr);
  if (!surface->_realized) return;
  if (!surface->_dirty) {
    surface->_dirty = 1;
    surface->_dirty_rect = surface->_rect;
  }
  trect_union(&surface->_dirty_rect, &surface->_dirty_rect, &surface->_rect);
  trect_union(&surface->_dirty_rect, &surface->_dirty_rect, old_rect);
}

void tsurface_move(tsurface *surface, int32_t dx, int32_t dy, int notify) {
  PORT_CHECK(surface != nullptr);
  trect old = surface->_rect;
  surface->_rect.x1 += dx;
  surface->_rect.x2 += dx;
  surface->_rect.y1 += dy;
  surface->_rect.y2 += dy;
  surface->_canvas._rect = surface->_rect;
  tsurface_mark_dirty(surface, &old);
  if (notify && (dx || dy) && surface->_rect_changed) surface->_rect_changed(surface, &surface->_rect);
}

void tsurface_resize(tsurface *surface, int32_t width, int32_t height) {
  PORT_CHECK(surface != nullptr);
  trect old = surface->_rect;
  surface->_rect.x2 = surface->_rect.x1 + std::max(width, 0) - 1;
  surface->_rect.y2 = surface->_rect.y1 + std::max(height, 0) - 1;
  geometry_changed(surface, &old, false);
}

void tsurface_set_rect(tsurface *surface, int32_t x, int32_t y, int32_t width, int32_t height) {
  PORT_CHECK(surface != nullptr);
  trect old = surface->_rect;
  surface->_rect = {x, y, x + std::max(width, 0) - 1, y + std::max(height, 0) - 1};
  geometry_changed(surface, &old, true);
}

int tsurface_recreate_canvas(tsurface *surface) {
  PORT_CHECK(surface != nullptr);
  // The old buffer stays until the new one exists: drawing into a buffer of
  // the old size is clipped, drawing into none would not be.
  tcanvas fresh;
  if (!make_canvas(surface, &fresh, tsurface_get_width(surface), tsurface_get_height(surface))) return 0;
  if (tcanvas_get_bitmap(&surface->_canvas)) tcanvas_deinit(&surface->_canvas);
  surface->_canvas = fresh;
  surface->_canvas._rect = surface->_rect;
  return 1;
}

void tsurface_handle_parent_resize(tsurface *surface, const trect *parent_rect) {
  PORT_CHECK(surface != nullptr && parent_rect != nullptr);
  if (surface->_parent_rect_changed) surface->_parent_rect_changed(surface, parent_rect);
  tsurface_notify_children_resized(surface);
}

void tsurface_notify_children_resized(tsurface *surface) {
  PORT_CHECK(surface != nullptr);
  if (!surface->_child_count || !surface->_child_at) return;
  int32_t count = surface->_child_count(surface);
  for (int32_t i = 0; i < count; i++) {
    tsurface *child = surface->_child_at(surface, i);
    if (child) tsurface_handle_parent_resize(child, &surface->_rect);
  }
}

// A buffer at the display depth with the frame buffer's row order; an empty
// one for a surface that composes itself through its hook (a whole-screen
// dialog) and so never shows its buffer.
static int make_canvas(tsurface *surface, tcanvas *canvas, int32_t width, int32_t height) {
  if (surface->_compose && !surface->_direct_update) width = height = 0;
  tscreen *screen = tscreen_get();
  const tbitmap *frame = screen ? tscreen_get_bitmap(screen) : nullptr;
  bool top_down = frame && tbitmap_is_top_down(frame);
  return tcanvas_init(canvas, surface, port_device_get_screen_depth(), width, top_down ? -height : height);
}

static void redraw(tsurface *surface) {
  surface->_redraws++;
  if (!surface->_compose && surface->_draw) {
    trect local = {0, 0, tsurface_get_width(surface) - 1, tsurface_get_height(surface) - 1};
    surface->_draw(surface, &surface->_canvas, &local);
  }
  compose_children(surface);
}

// A surface with a compose hook puts itself onto its parent through the
// hook, never through its buffer, unless it updates the frame buffer
// directly from it: only then do its children need composing into it.
static void compose_children(tsurface *surface) {
  if (!surface->_child_count || !surface->_child_at) return;
  if (surface->_compose && !surface->_direct_update) return;
  int32_t count = surface->_child_count(surface);
  for (int32_t i = 0; i < count; i++) {
    tsurface *child = surface->_child_at(surface, i);
    if (child) tsurface_compose_onto(child, &surface->_canvas);
  }
}

static const tsurface *top_level_of(const tsurface *surface) {
  while (surface->_parent) surface = surface->_parent;
  return surface;
}

static bool is_shown(const tsurface *surface) {
  for (; surface; surface = surface->_parent)
    if (!surface->_visible) return false;
  return true;
}

static int32_t side_of(int32_t v1, int32_t v2) {
  return int32_t(std::clamp<int64_t>(int64_t(v2) - v1 + 1, 0, INT32_MAX));
}

// Cuts r to bounds (inclusive corners); false when nothing is left.
static bool clip_to(const trect *bounds, trect *r) {
  r->x1 = std::max(r->x1, bounds->x1);
  r->y1 = std::max(r->y1, bounds->y1);
  r->x2 = std::min(r->x2, bounds->x2);
  r->y2 = std::min(r->y2, bounds->y2);
  return r->x1 <= r->x2 && r->y1 <= r->y2;
}

// After resize or set_rect: the canvas follows the rect, the old area is due
// for repainting, and a new size means a new (blank) buffer.
static void geometry_changed(tsurface *surface, const trect *old_rect, bool notify_same_size) {
  surface->_canvas._rect = surface->_rect;
  tsurface_mark_dirty(surface, old_rect);
  bool same_size = surface->_rect.x2 - surface->_rect.x1 == old_rect->x2 - old_rect->x1 &&
                   surface->_rect.y2 - surface->_rect.y1 == old_rect->y2 - old_rect->y1;
  if (same_size) {
    if (notify_same_size && !trect_is_equal(&surface->_rect, old_rect) && surface->_rect_changed)
      surface->_rect_changed(surface, &surface->_rect);
    return;
  }
  tsurface_recreate_canvas(surface);
  if (surface->_rect_changed) surface->_rect_changed(surface, &surface->_rect);
  tsurface_notify_children_resized(surface);
}

// The pop-up still up nearest the front of the screen's list, or null. Both
// lists hold a handful of surfaces.
static tsurface *top_popup(const tscreen *screen) {
  const tsurface_link *head = &screen->_surfaces;
  for (const tsurface_link *link = head->next; link != head; link = link->next)
    for (tsurface *popup : g_covering)
      if (&popup->_link == link) return popup;
  return nullptr;
}
