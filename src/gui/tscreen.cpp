// tscreen: frame buffer, top-level surface list, modal and capture, input
// dispatch and composition.
#include "tscreen.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "port_device.h"
#include "port_log.h"
#include "wins_window.h"

namespace {

constexpr int MAX_CAPTURE_ANCESTORS = 32;

}  // namespace

static tsurface *surface_of(tsurface_link *link);
static void link_front(tscreen *screen, tsurface *surface);
static void link_back(tscreen *screen, tsurface *surface);
static int init_canvas(tscreen *screen, int32_t width, int32_t height);
static int clip_to_screen(const tscreen *screen, const trect *rect, trect *out);
static int to_hook(tscreen *screen, int type, int32_t x, int32_t y, uint32_t modifiers);
static const tsurface *opaque_cover(const tscreen *screen, const trect *area);

int tscreen_init(tscreen *screen, int32_t width, int32_t height) {
  PORT_CHECK(screen != nullptr);
  std::memset(screen, 0, sizeof *screen);
  screen->_rect = {0, 0, width - 1, (height < 0 ? -height : height) - 1};
  screen->_surfaces.next = screen->_surfaces.prev = &screen->_surfaces;
  return init_canvas(screen, width, height);
}

void tscreen_deinit(tscreen *screen) {
  PORT_CHECK(screen != nullptr);
  if (tcanvas_get_bitmap(&screen->_canvas)) tcanvas_deinit(&screen->_canvas);
  // Surfaces still listed are not ours; unlinked, they stay safe to remove.
  tsurface_link *head = &screen->_surfaces;
  for (tsurface_link *link = head->next; link && link != head;) {
    tsurface_link *next = link->next == link ? head : link->next;
    link->next = link->prev = link;
    link = next;
  }
  std::memset(screen, 0, sizeof *screen);
}

tscreen *tscreen_get() {
  wins_window_context *context = wins_window_get_context();
  return context ? context->_screen : nullptr;
}

tcanvas *tscreen_get_canvas(tscreen *screen) {
  PORT_CHECK(screen != nullptr);
  return &screen->_canvas;
}

tbitmap *tscreen_get_bitmap(tscreen *screen) {
  PORT_CHECK(screen != nullptr);
  return tcanvas_get_bitmap(&screen->_canvas);
}

void tscreen_get_size(const tscreen *screen, int32_t *width, int32_t *height) {
  PORT_CHECK(screen != nullptr);
  int32_t w = 0, h = 0;
  port_device_get_screen_size(&w, &h);
  if (width) *width = w;
  if (height) *height = h;
}

int32_t tscreen_get_width(const tscreen *screen) {
  int32_t w = 0;
  tscreen_get_size(screen, &w, nullptr);
  return w;
}

int32_t tscreen_get_height(const tscreen *screen) {
  int32_t h = 0;
  tscreen_get_size(screen, nullptr, &h);
  return h;
}

const trect *tscreen_get_rect(const tscreen *screen) {
  PORT_CHECK(screen != nullptr);
  return &screen->_rect;
}

int tscreen_insert_surface(tscreen *screen, tsurface *surface) {
  PORT_CHECK(screen != nullptr && surface != nullptr);
  tscreen_remove_surface(screen, surface);
  link_front(screen, surface);
  return 1;
}

int tscreen_append_surface(tscreen *screen, tsurface *surface) {
  PORT_CHECK(screen != nullptr && surface != nullptr);
  tscreen_remove_surface(screen, surface);
  link_back(screen, surface);
  return 1;
}

int tscreen_remove_surface(tscreen *screen, tsurface *surface) {
  PORT_CHECK(screen != nullptr && surface != nullptr);
  tsurface_link *link = &surface->_link;
  if (link->next && link->next != link) {
    link->prev->next = link->next;
    link->next->prev = link->prev;
  }
  link->next = link->prev = link;
  return 1;
}

int tscreen_bring_to_front(tscreen *screen, tsurface *surface) {
  PORT_CHECK(screen != nullptr && surface != nullptr);
  return tscreen_insert_surface(screen, surface);
}

int tscreen_send_to_back(tscreen *screen, tsurface *surface) {
  PORT_CHECK(screen != nullptr && surface != nullptr);
  return tscreen_append_surface(screen, surface);
}

int tscreen_paint(tscreen *screen, const trect *rect) {
  PORT_CHECK(screen != nullptr);
  if (screen->_update_lock) return 1;
  if (!tcanvas_get_bitmap(&screen->_canvas)) return 1;
  trect area;
  if (!clip_to_screen(screen, rect, &area)) return 1;
  // Everything drawn here is clipped to the area: outside it the frame buffer
  // keeps what was last composed and shown, and a backdrop (a dimmed dialog)
  // darkens nothing twice.
  tcanvas *canvas = &screen->_canvas;
  trect saved_clip = canvas->_clip;
  uint8_t saved_clip_on = canvas->_clip_on;
  tcanvas_set_clip(canvas, &area);
  // Under a surface that covers the area with its own pixels nothing behind
  // it can show: the hook and the surfaces behind are not drawn.
  const tsurface *cover = opaque_cover(screen, &area);
  if (cover) {
    tsurface_compose_onto(const_cast<tsurface *>(cover), canvas);
  } else if (screen->_paint_hook) {
    screen->_paint_hook(screen, rect ? &area : &screen->_rect);
    tcanvas_set_clip(canvas, &area);
  }
  tscreen_compose_above(screen, cover, &area);
  canvas->_clip = saved_clip;
  canvas->_clip_on = saved_clip_on;
  wins_window_flush_screen(rect ? &area : nullptr);
  return 1;
}

int tscreen_dispatch_key(tscreen *screen, uint32_t code, uint32_t repeat, uint32_t modifiers) {
  PORT_CHECK(screen != nullptr);
  tsurface *modal = screen->_modal;
  if (modal && modal->_visible && modal->_key_fn && modal->_key_fn(modal, code, repeat, modifiers)) return 1;
  tsurface_link *head = &screen->_surfaces;
  for (tsurface_link *link = head->next; link != head;) {
    tsurface_link *next = link->next;  // the handler may unlink its own surface
    tsurface *surface = surface_of(link);
    if (surface->_visible && surface->_key_fn && surface->_key_fn(surface, code, repeat, modifiers)) return 1;
    link = next;
  }
  return screen->_key_hook ? screen->_key_hook(code, repeat, modifiers) : 0;
}

int tscreen_dispatch_pen(tscreen *screen, int type, int32_t x, int32_t y, uint32_t modifiers) {
  PORT_CHECK(screen != nullptr);
  int32_t last_x = screen->_last_pen_x, last_y = screen->_last_pen_y;
  screen->_last_pen_x = x;
  screen->_last_pen_y = y;
  if (screen->_hook_holds_pen) {
    // The hook's stroke goes on over surfaces and pop-ups, and off the window.
    if (type != TSCREEN_PEN_DOWN) return to_hook(screen, type, x, y, modifiers);
    // Its pen-up never came (the display lost it): it ends where the pen was
    // last seen, before anyone sees the new stroke.
    to_hook(screen, TSCREEN_PEN_UP, last_x, last_y, modifiers);
  }
  tsurface *capture = screen->_capture;
  if (capture && capture->_pen_fn) {
    // The capture gets the point in its parent's coordinates, as every pen slot.
    int64_t cx = x, cy = y;
    const tsurface *ancestor = capture->_parent;
    for (int i = 0; ancestor && i < MAX_CAPTURE_ANCESTORS; i++, ancestor = ancestor->_parent) {
      cx -= ancestor->_rect.x1;
      cy -= ancestor->_rect.y1;
    }
    uint32_t sets = screen->_capture_sets;
    int taken = capture->_pen_fn(capture, type, int32_t(cx), int32_t(cy), modifiers);
    // A torn-down capture has already left the slot; one still there is
    // alive, and keeps the pen when it took it again during the pen-up.
    if (type == TSCREEN_PEN_UP && screen->_capture == capture && screen->_capture_sets == sets) {
      capture->_pen_captured = 0;
      screen->_capture = nullptr;
    }
    if (taken) return 1;
  }
  tsurface *modal = screen->_modal;
  if (modal && modal->_visible && modal->_pen_fn && modal->_pen_fn(modal, type, x, y, modifiers)) return 1;
  tsurface_link *head = &screen->_surfaces;
  for (tsurface_link *link = head->next; link != head;) {
    tsurface_link *next = link->next;
    tsurface *surface = surface_of(link);
    if (surface->_visible && surface->_pen_fn && surface->_pen_fn(surface, type, x, y, modifiers)) return 1;
    link = next;
  }
  if (type != TSCREEN_PEN_DOWN || !screen->_pen_hook) return to_hook(screen, type, x, y, modifiers);
  // Held while the hook handles its pen-down too: a box it shows waits in a
  // nested loop, which hands the rest of the stroke back to it.
  screen->_hook_holds_pen = 1;
  int taken = screen->_pen_hook(type, x, y, modifiers);
  if (!taken) screen->_hook_holds_pen = 0;
  return taken;
}

void tscreen_set_paint_hook(tscreen *screen, tscreen_paint_hook hook) {
  PORT_CHECK(screen != nullptr);
  screen->_paint_hook = hook;
}

void tscreen_set_resize_hook(tscreen *screen, tscreen_resize_hook hook) {
  PORT_CHECK(screen != nullptr);
  screen->_resize_hook = hook;
}

void tscreen_set_key_hook(tscreen *screen, tscreen_key_hook hook) {
  PORT_CHECK(screen != nullptr);
  screen->_key_hook = hook;
}

void tscreen_set_pen_hook(tscreen *screen, tscreen_pen_hook hook) {
  PORT_CHECK(screen != nullptr);
  screen->_pen_hook = hook;
  screen->_hook_holds_pen = 0;
}

int tscreen_resize(tscreen *screen, int32_t width, int32_t height) {
  PORT_CHECK(screen != nullptr);
  tbitmap *old = tcanvas_get_bitmap(&screen->_canvas);
  bool top_down = old && tbitmap_is_top_down(old);
  int32_t rows = height < 0 ? -height : height;
  screen->_rect = {0, 0, width - 1, rows - 1};
  if (old) tcanvas_deinit(&screen->_canvas);
  return init_canvas(screen, width, top_down ? -rows : rows);
}

void tscreen_notify_resize(tscreen *screen, const trect *rect) {
  PORT_CHECK(screen != nullptr && rect != nullptr);
  tsurface_link *head = &screen->_surfaces;
  for (tsurface_link *link = head->prev; link != head;) {
    tsurface_link *prev = link->prev;
    tsurface_handle_parent_resize(surface_of(link), rect);
    link = prev;
  }
  if (screen->_resize_hook) screen->_resize_hook(rect);
}

void tscreen_set_update_lock(tscreen *screen, uint32_t flag) {
  PORT_CHECK(screen != nullptr);
  screen->_update_lock = flag;
}

uint32_t tscreen_get_update_lock(const tscreen *screen) {
  PORT_CHECK(screen != nullptr);
  return screen->_update_lock;
}

void tscreen_set_pen_capture(tscreen *screen, tsurface *surface) {
  PORT_CHECK(screen != nullptr);
  screen->_capture = surface;
  screen->_capture_sets++;
}

tsurface *tscreen_get_pen_capture(const tscreen *screen) {
  PORT_CHECK(screen != nullptr);
  return screen->_capture;
}

void tscreen_set_modal(tscreen *screen, tsurface *surface) {
  PORT_CHECK(screen != nullptr);
  screen->_modal = surface;
}

tsurface *tscreen_get_modal(const tscreen *screen) {
  PORT_CHECK(screen != nullptr);
  return screen->_modal;
}

tpoint *tscreen_get_last_pen_pos(const tscreen *screen, tpoint *point) {
  PORT_CHECK(screen != nullptr && point != nullptr);
  point->x = screen->_last_pen_x;
  point->y = screen->_last_pen_y;
  return point;
}

void tscreen_note_popup(tscreen *screen, tsurface *surface) {
  PORT_CHECK(screen != nullptr && surface != nullptr);
  surface->_popup_stamp = ++screen->_popups;
}

uint32_t tscreen_get_popup_count(const tscreen *screen) {
  PORT_CHECK(screen != nullptr);
  return screen->_popups;
}

int tscreen_has_popup_since(const tscreen *screen, uint32_t count) {
  PORT_CHECK(screen != nullptr);
  const tsurface_link *head = &screen->_surfaces;
  for (const tsurface_link *link = head->next; link != head; link = link->next)
    if (surface_of(const_cast<tsurface_link *>(link))->_popup_stamp > count) return 1;
  return 0;
}

void tscreen_compose_above(tscreen *screen, const tsurface *below, const trect *area) {
  PORT_CHECK(screen != nullptr && area != nullptr);
  tcanvas *canvas = &screen->_canvas;
  trect saved_clip = canvas->_clip;
  uint8_t saved_clip_on = canvas->_clip_on;
  tcanvas_set_clip(canvas, area);
  tsurface_link *head = &screen->_surfaces;
  // Back to front; nothing lies in front of a surface that is not listed.
  tsurface_link *start = !below ? head->prev : tsurface_is_linked(below) ? below->_link.prev : head;
  for (tsurface_link *link = start; link != head; link = link->prev) {
    tsurface *surface = surface_of(link);
    // The modal surface is composed once, last, above the rest.
    if (surface != screen->_modal) tsurface_compose_onto(surface, canvas);
  }
  if (screen->_modal && screen->_modal != below) tsurface_compose_onto(screen->_modal, canvas);
  canvas->_clip = saved_clip;
  canvas->_clip_on = saved_clip_on;
}

static tsurface *surface_of(tsurface_link *link) {
  return reinterpret_cast<tsurface *>(reinterpret_cast<char *>(link) - offsetof(tsurface, _link));
}

static void link_front(tscreen *screen, tsurface *surface) {
  tsurface_link *head = &screen->_surfaces, *link = &surface->_link;
  link->prev = head;
  link->next = head->next;
  head->next->prev = link;
  head->next = link;
}

static void link_back(tscreen *screen, tsurface *surface) {
  tsurface_link *head = &screen->_surfaces, *link = &surface->_link;
  link->next = head;
  link->prev = head->prev;
  head->prev->next = link;
  head->prev = link;
}

static int init_canvas(tscreen *screen, int32_t width, int32_t height) {
  int depth = port_device_get_screen_depth();
  return tcanvas_init(&screen->_canvas, nullptr, depth, width, height);
}

// The screen part of rect (null: the whole screen); 0 when none of it is on it.
static int clip_to_screen(const tscreen *screen, const trect *rect, trect *out) {
  *out = screen->_rect;
  if (!rect) return out->x1 <= out->x2 && out->y1 <= out->y2;
  trect r = *rect;
  trect_normalize(&r);
  out->x1 = std::max(r.x1, screen->_rect.x1);
  out->y1 = std::max(r.y1, screen->_rect.y1);
  out->x2 = std::min(r.x2, screen->_rect.x2);
  out->y2 = std::min(r.y2, screen->_rect.y2);
  return out->x1 <= out->x2 && out->y1 <= out->y2;
}

// A pen-up ends the hook's hold before the hook sees it: what it does then
// (a text bar opened, a box shown) starts afresh.
static int to_hook(tscreen *screen, int type, int32_t x, int32_t y, uint32_t modifiers) {
  if (type == TSCREEN_PEN_UP) screen->_hook_holds_pen = 0;
  return screen->_pen_hook ? screen->_pen_hook(type, x, y, modifiers) : 0;
}

// The frontmost listed surface (not the modal one) that is shown, plain (no
// key, mask, backdrop or compose hook), has its buffer and holds the whole area.
static const tsurface *opaque_cover(const tscreen *screen, const trect *area) {
  const tsurface_link *head = &screen->_surfaces;
  for (tsurface_link *link = head->next; link != head; link = link->next) {
    const tsurface *surface = surface_of(link);
    if (surface == screen->_modal || !surface->_visible || surface->_keyed || surface->_masked ||
        surface->_compose || surface->_backdrop)
      continue;
    const trect &r = surface->_rect;
    if (r.x1 > area->x1 || r.y1 > area->y1 || r.x2 < area->x2 || r.y2 < area->y2) continue;
    const tbitmap *own = tcanvas_get_bitmap(&surface->_canvas);
    if (own && tbitmap_get_width(own) == r.x2 - r.x1 + 1 && tbitmap_get_height(own) == r.y2 - r.y1 + 1) return surface;
  }
  return nullptr;
}
